#include "kit/registration.h"

#include <gtest/gtest.h>

namespace {

class Probe final : public vdj::DspPlugin {
public:
    static int alive;
    Probe() { ++alive; }
    void VDJ_API Destroy() override { delete this; }
    vdj::Result VDJ_API OnProcessSamples(float*, int) override { return 0; }

private:
    ~Probe() { --alive; }
};
int Probe::alive = 0;

vdj::Plugin* makeProbe() { return new Probe; }

TEST(Registration, AcceptsExactlyTheClassAndTwoInterfaces) {
    struct Case {
        const vdj::Guid* cls;
        const vdj::Guid* iid;
        bool accepted;
    };
    const vdj::Guid wrong{0xED8A8D87, 0xF4F9, 0x4DCD, {0xBD, 0x24, 0x29, 0x14, 0x12, 0xE9, 0x3B, 0x61}};
    const Case cases[] = {
        {&vdj::kPluginClass, &vdj::kBasePluginInterface, true},
        {&vdj::kPluginClass, &vdj::kDspInterface, true},
        {&vdj::kPluginClass, &vdj::kVideoFxInterface, false},
        {&vdj::kPluginClass, &vdj::kStartStopInterface, false},
        {&vdj::kPluginClass, &wrong, false},
        {&wrong, &vdj::kDspInterface, false},
        {&vdj::kBasePluginInterface, &vdj::kBasePluginInterface, false},
    };
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        const vdj::Result r = qk::getClassObject(*c.cls, *c.iid, &out, vdj::kDspInterface, makeProbe);
        if (c.accepted) {
            EXPECT_EQ(r, vdj::kOk);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(Probe::alive, 1);
            static_cast<vdj::Plugin*>(out)->Release();
            EXPECT_EQ(Probe::alive, 0);
        } else {
            EXPECT_EQ(r, vdj::kClassNotAvailable);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(Probe::alive, 0);
        }
    }
}

TEST(Registration, ObjectLayoutMatchesTheHost) {
    // [table pointer, module handle, host services], then the DSP members.
    Probe* p = new Probe;
    auto* base = reinterpret_cast<char*>(static_cast<vdj::Plugin*>(p));
    EXPECT_EQ(reinterpret_cast<char*>(&p->moduleHandle) - base, static_cast<std::ptrdiff_t>(sizeof(void*)));
    EXPECT_EQ(reinterpret_cast<char*>(&p->host) - base, static_cast<std::ptrdiff_t>(2 * sizeof(void*)));
    EXPECT_EQ(reinterpret_cast<char*>(&p->SampleRate) - base, static_cast<std::ptrdiff_t>(3 * sizeof(void*)));
    p->Release();
}

}  // namespace
