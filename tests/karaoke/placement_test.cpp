// The main window's stored placement: the 44-byte record, what is restored when
// the window is made and what is stored when it changes, on the UI doubles.
#include <gtest/gtest.h>

#include <filesystem>

#include "karaoke/karaoke_plugin.h"
#include "karaoke/window_placement.h"
#include "tests/support/fake_ui.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xdg_home.h"

namespace {

using qk::karaoke::PlacementRecord;

std::string storedFile(const qktest::XdgHome& xdg) { return xdg.configHome() + "/QuorvaleKaraoke/WindowPlacement"; }

PlacementRecord record(std::uint32_t showCmd, int left, int top, int right, int bottom) {
    PlacementRecord r;
    r.showCmd = showCmd;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

TEST(PlacementRecord, RoundTripsAndRefusesWrongSizesAndLengths) {
    const PlacementRecord r = record(3, -1200, 40, -200, 900);
    const std::string bytes = qk::karaoke::serializePlacement(r);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x2c\0\0\0", 4));
    EXPECT_EQ(bytes.substr(28, 4), std::string("\x50\xfb\xff\xff", 4));  // -1200, little-endian
    const auto back = qk::karaoke::parsePlacement(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->showCmd, 3u);
    EXPECT_EQ(back->left, -1200);
    EXPECT_EQ(back->bottom, 900);

    std::string wrongLength = bytes;
    wrongLength[0] = 40;
    for (const std::string& bad : {bytes.substr(0, 40), bytes + "1234", wrongLength, std::string()})
        EXPECT_FALSE(qk::karaoke::parsePlacement(bad).has_value()) << bad.size();
}

class Placement : public ::testing::Test {
protected:
    void TearDown() override { release(); }
    void store(const std::string& bytes) {
        std::filesystem::create_directories(xdg.configHome() + "/QuorvaleKaraoke");
        qktest::writeFile(storedFile(xdg), bytes);
    }
    void open() {
        plugin = new QuorvaleKaraokePlugin(std::make_unique<qktest::FakeUiLoop>(ui));
        plugin->OnLoad();
        plugin->OnStart();
        ASSERT_NE(ui->window, nullptr);
    }
    void release() {
        if (plugin != nullptr) plugin->Release();
        plugin = nullptr;
    }
    std::optional<PlacementRecord> saved() const {
        return qk::karaoke::parsePlacement(qktest::readFile(storedFile(xdg)));
    }
    static void expectDefaults(const qk::platform::WindowRect& r) {
        EXPECT_EQ(r.left, 140);
        EXPECT_EQ(r.top, 100);
        EXPECT_EQ(r.right, 700);
        EXPECT_EQ(r.bottom, 880);
    }

    qktest::KaraokeLogCapture log;
    qktest::XdgHome xdg;
    std::shared_ptr<qktest::FakeUi> ui = std::make_shared<qktest::FakeUi>();
    QuorvaleKaraokePlugin* plugin = nullptr;
};

TEST_F(Placement, StoredMaximisedOpensMaximisedOverItsNormalRectangle) {
    store(qk::karaoke::serializePlacement(record(3, 300, 200, 1100, 900)));
    open();
    EXPECT_TRUE(ui->window->shownMaximised);
    EXPECT_EQ(ui->window->rect.left, 300);
    EXPECT_EQ(ui->window->rect.bottom, 900);
    EXPECT_TRUE(log.hasLine("restored placement (300,200,1100,900) maximized=1")) << log.text();
}

TEST_F(Placement, OffScreenFallsBackToTheDefaultsAndDropsMaximised) {
    store(qk::karaoke::serializePlacement(record(3, 4000, 100, 4500, 800)));  // a monitor that is gone
    open();
    expectDefaults(ui->window->rect);
    EXPECT_FALSE(ui->window->shownMaximised);
    EXPECT_TRUE(log.hasLine("restored placement (140,100,700,880) maximized=0")) << log.text();
}

TEST_F(Placement, AShortOrMislabelledRecordIsIgnoredSilently) {
    const std::string good = qk::karaoke::serializePlacement(record(3, 300, 200, 1100, 900));
    std::string mislabelled = good;
    mislabelled[0] = 0x2b;
    for (const std::string& bad : {good.substr(0, 40), mislabelled}) {
        store(bad);
        open();
        expectDefaults(ui->window->rect);
        EXPECT_FALSE(ui->window->shownMaximised);
        EXPECT_EQ(log.text().find("restored placement"), std::string::npos);
        release();
    }
}

TEST_F(Placement, SavedOnCloseResizeMoveEndAndReleaseWithMinimisedStoredAsNormal) {
    open();
    EXPECT_FALSE(saved().has_value());  // nothing stored just by opening

    ui->window->rect = {10, 20, 610, 820};
    ui->window->events->onMoveSizeEnd();
    ASSERT_TRUE(saved().has_value());
    EXPECT_EQ(saved()->left, 10);
    EXPECT_EQ(saved()->showCmd, 1u);

    ui->window->maximised = true;
    ui->window->events->onResize(qk::platform::SizeKind::Maximized);
    EXPECT_EQ(saved()->showCmd, 3u);

    ui->window->minimised = true;
    ui->window->events->onClose();
    EXPECT_EQ(saved()->showCmd, 1u);
    EXPECT_FALSE(ui->window->visible);

    ui->window->minimised = false;
    ui->window->maximised = false;
    ui->window->rect = {50, 60, 650, 860};
    release();
    EXPECT_EQ(saved()->left, 50);
    EXPECT_EQ(saved()->bottom, 860);
}

}  // namespace
