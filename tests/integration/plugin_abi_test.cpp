// The three deliverables as the host sees them: one export, the class request,
// the callback table slot by slot, and the info records.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "host/plugin_library.h"
#include "tests/support/run_command.h"

namespace {

struct Deliverable {
    const char* file;
    const vdj::Guid* ownInterface;
    const char* name;
    const char* description;
    const char* version;
    std::uint32_t flags;
};

#if defined(_WIN32)
#define QK_PLUGIN_SUFFIX ".dll"
#else
#define QK_PLUGIN_SUFFIX ".so"
#endif

// The Windows build has the sound board and the karaoke plug-in so far.
const Deliverable kDeliverables[] = {
    {"QuorvaleSound" QK_PLUGIN_SUFFIX, &vdj::kDspInterface, "QuorvaleSound",
     "QuorvaleKaraoke sound board: plays sound-board audio directly in the master output (no decks, no sampler). "
     "Driven by QuorvaleKaraoke/sound-inbox.jsonl.",
     "1.0.0", 0},
#if !defined(_WIN32)
    {"QuorvaleOverlay.so", &vdj::kVideoFxInterface, "QuorvaleOverlay",
     "QuorvaleKaraoke audience overlay rendered directly in the video output (ticker + idle screen). Driven by "
     "QuorvaleKaraoke/audience.json.",
     "1.6.0", 0x50000},
#endif
#if !defined(_WIN32) || defined(QK_WINDOWS_KARAOKE)
    {"QuorvaleKaraoke" QK_PLUGIN_SUFFIX, &vdj::kStartStopInterface, "QuorvaleKaraoke",
     "Karaoke rotation & singer management", "0.9.40", 0},
#endif
};

std::string pluginPath(const char* file) { return std::string(QK_PLUGIN_DIR) + "/" + file; }

// Calls slot `slot` of the object's callback table, the way the host does.
template <class... Args>
vdj::Result callSlot(void* object, int slot, Args... args) {
    void** table = *static_cast<void***>(object);
    using Fn = vdj::Result (*)(void*, Args...);
    return reinterpret_cast<Fn>(table[slot])(object, args...);
}

std::unique_ptr<qkhost::PluginLibrary> openLibrary(const char* file) {
    std::string error;
    auto lib = qkhost::PluginLibrary::open(pluginPath(file), &error);
    EXPECT_TRUE(lib) << error;
    return lib;
}

#if !defined(_WIN32)
// On Windows a CTest script reads the DLLs' export and import tables instead.
TEST(PluginAbi, ExportsOnlyDllGetClassObject) {
    for (const auto& d : kDeliverables) {
        const auto r = qktest::runCommand("nm -D --defined-only '" + pluginPath(d.file) + "'");
        ASSERT_EQ(r.exitCode, 0) << d.file;
        std::istringstream lines(r.output);
        std::string line;
        std::vector<std::string> symbols;
        while (std::getline(lines, line))
            if (!line.empty()) symbols.push_back(line.substr(line.rfind(' ') + 1));
        EXPECT_EQ(symbols, std::vector<std::string>{"DllGetClassObject"}) << d.file;
    }
}
#endif

TEST(PluginAbi, EachAcceptsExactlyTheBaseAndItsOwnInterface) {
    const vdj::Guid* interfaces[] = {&vdj::kBasePluginInterface, &vdj::kDspInterface, &vdj::kVideoFxInterface,
                                     &vdj::kStartStopInterface};
    const vdj::Guid notTheClass{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const auto& d : kDeliverables) {
        auto lib = openLibrary(d.file);
        ASSERT_TRUE(lib);
        for (const vdj::Guid* iid : interfaces) {
            const bool expected = iid == &vdj::kBasePluginInterface || iid == d.ownInterface;
            void* object = reinterpret_cast<void*>(0x1);
            const vdj::Result r = lib->getClassObject()(vdj::kPluginClass, *iid, &object);
            if (expected) {
                EXPECT_EQ(r, vdj::kOk) << d.file;
                ASSERT_NE(object, nullptr);
                EXPECT_EQ(callSlot(object, 2), 0);  // Release
            } else {
                EXPECT_EQ(r, vdj::kClassNotAvailable) << d.file;
                EXPECT_EQ(object, nullptr) << d.file;
            }
            // The wrong class is refused even with a valid interface.
            object = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(lib->getClassObject()(notTheClass, *iid, &object), vdj::kClassNotAvailable);
            EXPECT_EQ(object, nullptr);
        }
    }
}

TEST(PluginAbi, InfoRecordsThroughSlotOne) {
    for (const auto& d : kDeliverables) {
        auto lib = openLibrary(d.file);
        ASSERT_TRUE(lib);
        void* object = nullptr;
        ASSERT_EQ(lib->getClassObject()(vdj::kPluginClass, *d.ownInterface, &object), vdj::kOk);
        vdj::PluginInfo info{};
        info.picture = reinterpret_cast<void*>(0x1);
        info.flags = 0xFFFFFFFF;
        EXPECT_EQ(callSlot(object, 1, &info), 0);
        EXPECT_STREQ(info.name, d.name);
        EXPECT_STREQ(info.description, d.description);
        EXPECT_STREQ(info.version, d.version);
        EXPECT_EQ(info.picture, nullptr);
        EXPECT_EQ(info.flags, d.flags);
        ASSERT_NE(info.author, nullptr);
        EXPECT_GT(std::strlen(info.author), 0u);
        callSlot(object, 2);
    }
#if !defined(_WIN32)
    // The sound board and the overlay share an author; the karaoke plug-in's is shorter.
    const char* authors[3];
    for (int i = 0; i < 3; ++i) {
        auto lib = openLibrary(kDeliverables[i].file);
        void* object = nullptr;
        lib->getClassObject()(vdj::kPluginClass, vdj::kBasePluginInterface, &object);
        vdj::PluginInfo info{};
        callSlot(object, 1, &info);
        authors[i] = info.author;  // static texts outlive the object
        callSlot(object, 2);
    }
    EXPECT_STREQ(authors[0], authors[1]);
    EXPECT_LT(std::strlen(authors[2]), std::strlen(authors[0]));
#endif
}

TEST(PluginAbi, BaseSlotsAnswerAsTheHostExpects) {
    {
        auto lib = openLibrary("QuorvaleSound" QK_PLUGIN_SUFFIX);
        void* o = nullptr;
        lib->getClassObject()(vdj::kPluginClass, vdj::kDspInterface, &o);
        char buffer[16];
        EXPECT_EQ(callSlot(o, 4, 1), 0);                                     // parameter callback
        EXPECT_EQ(callSlot(o, 5, 1, buffer, 16), vdj::kNotImplemented);       // parameter string
        EXPECT_EQ(callSlot(o, 6, static_cast<void*>(nullptr)), vdj::kNotImplemented);  // user interface
        callSlot(o, 2);
    }
#if !defined(_WIN32)
    {
        auto lib = openLibrary("QuorvaleOverlay.so");
        void* o = nullptr;
        lib->getClassObject()(vdj::kPluginClass, vdj::kVideoFxInterface, &o);
        EXPECT_EQ(callSlot(o, 4, 1), 0);
        EXPECT_EQ(callSlot(o, 6, static_cast<void*>(nullptr)), vdj::kNotImplemented);
        EXPECT_EQ(callSlot(o, 10), 0);                                                  // device init
        EXPECT_EQ(callSlot(o, 12, static_cast<float*>(nullptr), 0), vdj::kNotImplemented);  // further callback
        callSlot(o, 2);
    }
    {
        auto lib = openLibrary("QuorvaleKaraoke.so");
        void* o = nullptr;
        lib->getClassObject()(vdj::kPluginClass, vdj::kStartStopInterface, &o);
        char buffer[16];
        EXPECT_EQ(callSlot(o, 5, 1, buffer, 16), vdj::kNotImplemented);
        callSlot(o, 2);
    }
#endif
}

}  // namespace
