// The audience window driven by the page's actions, with the UI seams doubled
// and the monitor list given through QK_MONITORS: which monitor it covers, that
// it stays one window with one web view, the panic hotkey, and release.
#include <gtest/gtest.h>

#include <cstdlib>

#include "bridge/dispatch.h"
#include "karaoke/karaoke_plugin.h"
#include "platform/monitors.h"
#include "tests/support/fake_ui.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/xdg_home.h"

namespace {

using qk::platform::WindowRect;

int countLines(const std::string& text, const std::string& needle) {
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

bool sameRect(const WindowRect& a, const WindowRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class Audience : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QK_MONITORS", "1280x1024+0+0;1920x1080+1280+0", 1);
        plugin = new QuorvaleKaraokePlugin(std::make_unique<qktest::FakeUiLoop>(ui));
        plugin->OnLoad();
    }
    void TearDown() override {
        if (plugin != nullptr) plugin->Release();
        ::unsetenv("QK_MONITORS");
    }
    // The page asks through the bridge; the answer comes back as a script.
    std::string ask(const std::string& request) {
        sender->postFromPage(request);
        ui->pumpUntil([&] { return !sender->scripts().empty(); });
        const auto scripts = sender->scripts();
        return scripts.empty() ? std::string() : scripts.back();
    }
    void openPage() {
        plugin->OnStart();
        ASSERT_TRUE(ui->pumpUntil([&] { return ui->webView != nullptr; }));
        sender = ui->webView;
    }

    qktest::KaraokeLogCapture log;
    qktest::XdgHome xdg;
    std::shared_ptr<qktest::FakeUi> ui = std::make_shared<qktest::FakeUi>();
    QuorvaleKaraokePlugin* plugin = nullptr;
    std::shared_ptr<qktest::FakeWebView> sender = std::make_shared<qktest::FakeWebView>();
};

TEST_F(Audience, ShowingCoversTheChosenMonitorAndMovesTheOneWindow) {
    openPage();
    sender->events = ui->webView->events;
    EXPECT_EQ(ask(R"({"id":"a","action":"audience_show","screen":-3})"),
              R"(window.qkResolve({"hr":0,"id":"a","result":"shown"});)");
    ASSERT_NE(ui->audience, nullptr);
    EXPECT_TRUE(ui->audience->overlay);
    EXPECT_TRUE(ui->audience->visible);
    EXPECT_TRUE(sameRect(ui->audience->rect, {0, 0, 1280, 1024}));
    EXPECT_EQ(ui->audience->timers.at(1), 1000u);
    ASSERT_TRUE(ui->pumpUntil([&] { return ui->audienceWebView != nullptr; }));
    EXPECT_TRUE(ui->audienceWebView->transparent);
    EXPECT_TRUE(ui->audienceWebView->events) << "the audience page gets the same handlers";
    // The panic hotkey sits on the main window: Ctrl+Alt+Shift+A.
    ASSERT_EQ(ui->window->hotkeys.count(0xA001), 1u);
    EXPECT_EQ(ui->window->hotkeys.at(0xA001), std::make_pair(7u, unsigned('A')));

    ask(R"({"id":"b","action":"audience_show","screen":7})");
    EXPECT_TRUE(sameRect(ui->audience->rect, {1280, 0, 3200, 1080}));
    EXPECT_EQ(ui->windowsCreated, 2);  // the main window and the one audience window
    ui->pump();
    EXPECT_EQ(ui->webViewsCreated, 2);
    const std::string text = log.text();
    EXPECT_EQ(countLines(text, "audience window created on display 0 (1280x1024)"), 1) << text;
    EXPECT_EQ(countLines(text, "audience shown; panic hotkey Ctrl+Alt+Shift+A registered=1"), 1) << text;
    EXPECT_TRUE(log.hasLine("audience: ui\\audience.html NOT FOUND")) << text;
    // The focus stays with the main window.
    EXPECT_TRUE(ui->window->foreground);
}

TEST_F(Audience, BeforeTheEngineIsReadyTheWindowStaysEmptyUntilTheNextShow) {
    plugin->EnsureWindow();  // the engine has been asked for but has not answered
    sender->events = nullptr;
    qk::bridge::dispatchBridgeMessage(plugin->bridge(), sender, R"({"id":"a","action":"audience_show","screen":1})");
    ASSERT_NE(ui->audience, nullptr);
    EXPECT_TRUE(ui->audience->visible);
    ASSERT_TRUE(ui->pumpUntil([&] { return ui->webView != nullptr; }));
    EXPECT_EQ(ui->audienceWebView, nullptr);

    qk::bridge::dispatchBridgeMessage(plugin->bridge(), sender, R"({"id":"b","action":"audience_show","screen":1})");
    ASSERT_TRUE(ui->pumpUntil([&] { return ui->audienceWebView != nullptr; }));
    EXPECT_EQ(ui->windowsCreated, 2);
}

TEST_F(Audience, TheHotkeyHidesTheWindowAndIsRetriedWhenTaken) {
    openPage();
    sender->events = ui->webView->events;
    ui->window->hotkeyTaken = true;  // another program holds Ctrl+Alt+Shift+A
    ask(R"({"id":"a","action":"audience_show","screen":0})");
    EXPECT_TRUE(log.hasLine("audience shown; panic hotkey Ctrl+Alt+Shift+A registered=0"));
    EXPECT_TRUE(ui->window->hotkeys.empty());

    ui->window->hotkeyTaken = false;
    ask(R"({"id":"b","action":"audience_show","screen":0})");
    EXPECT_TRUE(log.hasLine("audience shown; panic hotkey Ctrl+Alt+Shift+A registered=1"));

    // Only its own id hides the window; the timer keeps it on top while shown.
    ui->window->events->onHotkey(0xA002);
    EXPECT_TRUE(ui->audience->visible);
    ui->audience->events->onTimer(1);
    EXPECT_EQ(ui->audience->keptOnTop, 1);

    ui->window->events->onHotkey(0xA001);
    EXPECT_TRUE(log.hasLine("panic hotkey — hiding the audience window"));
    EXPECT_FALSE(ui->audience->visible);
    EXPECT_TRUE(ui->audience->timers.empty());
    EXPECT_TRUE(ui->window->hotkeys.empty()) << "the key is free for other programs again";
    ui->audience->events->onTimer(1);
    EXPECT_EQ(ui->audience->keptOnTop, 1) << "a hidden window is not raised";

    // Closing it from outside only hides it; the page stays.
    ask(R"({"id":"c","action":"audience_show","screen":0})");
    ui->audience->events->onClose();
    EXPECT_FALSE(ui->audience->visible);
    EXPECT_NE(ui->audience, nullptr);
}

TEST_F(Audience, ReleaseClosesThePageFreesTheHotkeyAndDestroysTheWindow) {
    openPage();
    sender->events = ui->webView->events;
    ask(R"({"id":"a","action":"audience_show","screen":1})");
    ASSERT_TRUE(ui->pumpUntil([&] { return ui->audienceWebView != nullptr; }));
    const auto page = ui->audienceWebView;
    plugin->Release();
    plugin = nullptr;
    EXPECT_TRUE(page->closed);
    EXPECT_EQ(ui->audience, nullptr);
    EXPECT_EQ(ui->window, nullptr);
}

TEST(MonitorLayout, ParsesGeometriesAndRefusesAnythingElse) {
    const auto two = qk::platform::parseMonitorLayout("1280x1024+0+0;800x600-800+10");
    ASSERT_TRUE(two.has_value());
    ASSERT_EQ(two->size(), 2u);
    EXPECT_TRUE((*two)[0].primary);
    EXPECT_FALSE((*two)[1].primary);
    EXPECT_EQ((*two)[1].left, -800);
    EXPECT_EQ((*two)[1].top, 10);
    EXPECT_EQ((*two)[1].right, 0);
    EXPECT_EQ((*two)[1].bottom, 610);
    for (const char* bad : {"", "abc", "0x10+0+0", "10x10+0", "10x10+0+0+5", "10x10+0+0;;", "x10+0+0",
                            "10x10 +0+0", "99999999999x10+0+0"})
        EXPECT_FALSE(qk::platform::parseMonitorLayout(bad).has_value()) << bad;
}

}  // namespace
