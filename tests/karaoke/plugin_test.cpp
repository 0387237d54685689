// The plug-in object through its host callbacks, with the UI seams doubled: the
// buttons, the window on first use, the pad script, and the order of release.
#include <gtest/gtest.h>

#include <filesystem>

#include "karaoke/karaoke_plugin.h"
#include "tests/support/fake_ui.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xdg_home.h"

namespace {

using qktest::FakeUi;

struct Declared {
    void* storage;
    int kind, id;
    std::string name, shortName;
    float defaultValue;
};

class RecordingHost final : public vdj::HostServices {
public:
    std::vector<std::string> commands;
    std::vector<Declared> declared;
    vdj::Result VDJ_API SendCommand(const char* script) override {
        commands.emplace_back(script);
        return 0;
    }
    vdj::Result VDJ_API GetInfo(const char*, double*) override { return -1; }
    vdj::Result VDJ_API GetStringInfo(const char*, char*, int) override { return -1; }
    vdj::Result VDJ_API DeclareParameter(void* storage, int kind, int id, const char* name, const char* shortName,
                                         float value) override {
        declared.push_back({storage, kind, id, name, shortName, value});
        return 0;
    }
    vdj::Result VDJ_API GetSongBuffer(int, int, short**) override { return vdj::kNotImplemented; }
};

class KaraokePlugin : public ::testing::Test {
protected:
    void SetUp() override { load(std::make_unique<qktest::FakeUiLoop>(ui)); }
    void TearDown() override { release(); }
    void load(std::unique_ptr<qk::platform::UiLoop> loop) {
        plugin = new QuorvaleKaraokePlugin(std::move(loop));
        plugin->host = &host;
        plugin->OnLoad();
    }
    void release() {
        if (plugin != nullptr) plugin->Release();
        plugin = nullptr;
    }
    // Opens the window and lets the engine bring the page up.
    std::shared_ptr<qktest::FakeWebView> openPage() {
        plugin->OnStart();
        EXPECT_TRUE(ui->pumpUntil([&] { return ui->webView != nullptr; }));
        return ui->webView;
    }
    static std::string padScript(const char* word) {
        return std::string("window.qkPadCommand && window.qkPadCommand('") + word + "')";
    }

    qktest::KaraokeLogCapture log;
    qktest::XdgHome xdg;
    qktest::TempDir dir;
    std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
    RecordingHost host;
    QuorvaleKaraokePlugin* plugin = nullptr;
};

TEST_F(KaraokePlugin, OnLoadDeclaresTheFourButtonsAndOpensNothing) {
    ASSERT_EQ(host.declared.size(), 4u);
    const char* names[][2] = {{"Play Next Singer", "PlayNext"},
                              {"BG Music Play/Pause", "BGMusic"},
                              {"BG Music Skip", "BGSkip"},
                              {"Audience Screen Toggle", "Audience"}};
    for (int i = 0; i < 4; ++i) {
        const Declared& d = host.declared[static_cast<size_t>(i)];
        EXPECT_EQ(d.id, i + 1);
        EXPECT_EQ(d.kind, 0);
        EXPECT_EQ(d.defaultValue, 0.0f);
        EXPECT_EQ(d.name, names[i][0]);
        EXPECT_EQ(d.shortName, names[i][1]);
        if (i > 0) {
            EXPECT_NE(d.storage, host.declared[static_cast<size_t>(i) - 1].storage);
        }
    }
    EXPECT_EQ(ui->windowsCreated, 0);
    EXPECT_TRUE(log.hasLine("===== OnLoad (QuorvaleKaraoke W1b) ====="));
}

TEST_F(KaraokePlugin, APadPressBeforeAnyWindowOpensItAndSendsNothing) {
    plugin->OnParameter(1);
    EXPECT_EQ(ui->windowsCreated, 1);
    ASSERT_NE(ui->window, nullptr);
    EXPECT_TRUE(ui->window->visible);
    ASSERT_TRUE(ui->pumpUntil([&] { return ui->webView != nullptr; }));
    EXPECT_TRUE(ui->webView->scripts().empty());
    EXPECT_EQ(ui->webView->navigations.size(), 1u);  // the page, nothing else
}

TEST_F(KaraokePlugin, PadButtonsRunTheirScriptOncePerCall) {
    auto page = openPage();
    for (int i = 0; i < 3; ++i) plugin->OnParameter(3);
    EXPECT_EQ(page->scripts(), std::vector<std::string>(3, padScript("bgskip")));
    plugin->OnParameter(0);
    plugin->OnParameter(5);
    plugin->OnParameter(-1);
    for (int id : {1, 2, 4}) plugin->OnParameter(id);
    const auto scripts = page->scripts();
    ASSERT_EQ(scripts.size(), 6u);
    EXPECT_EQ(scripts[3], padScript("playnext"));
    EXPECT_EQ(scripts[4], padScript("bgtoggle"));
    EXPECT_EQ(scripts[5], padScript("audtoggle"));
    EXPECT_EQ(ui->windowsCreated, 1);
}

TEST_F(KaraokePlugin, UserInterfaceHandsOverTheSameWindowEachTime) {
    vdj::PluginInterface record{};
    record.xml = "keep";
    ASSERT_EQ(plugin->OnGetUserInterface(&record), vdj::kOk);
    EXPECT_EQ(record.type, 2);
    EXPECT_EQ(record.window, ui->window->nativeHandle());
    EXPECT_STREQ(record.xml, "keep");
    ui->window->hide();
    plugin->OnStop();
    EXPECT_FALSE(ui->window->visible);
    vdj::PluginInterface again{};
    ASSERT_EQ(plugin->OnGetUserInterface(&again), vdj::kOk);
    EXPECT_EQ(again.window, record.window);
    EXPECT_TRUE(ui->window->visible);
    EXPECT_EQ(ui->windowsCreated, 1);
}

TEST_F(KaraokePlugin, WithoutAWindowTheInterfaceIsDeclined) {
    release();
    ui->refuseWindows = true;
    load(std::make_unique<qktest::FakeUiLoop>(ui));
    vdj::PluginInterface record{};
    EXPECT_EQ(plugin->OnGetUserInterface(&record), vdj::kNotImplemented);
    EXPECT_TRUE(log.hasLine("  no window - declining custom interface (E_NOTIMPL)"));
    EXPECT_TRUE(log.hasLine("CreateWindowExW FAILED err=1400"));
    EXPECT_EQ(plugin->OnStart(), vdj::kOk);
    EXPECT_EQ(plugin->OnParameter(1), vdj::kOk);
    // And a build with no UI at all.
    release();
    load(nullptr);
    EXPECT_EQ(plugin->OnGetUserInterface(&record), vdj::kNotImplemented);
}

TEST_F(KaraokePlugin, ReleaseRunsQueuedTasksAndDeliversNoneOfTheirAnswers) {
    auto page = openPage();
    page->postFromPage(R"({"id":"roots","action":"set_write_roots","roots":[")" + dir.path() + R"("]})");
    ASSERT_EQ(page->scripts().size(), 1u);
    const int n = 30;
    for (int i = 0; i < n; ++i)
        page->postFromPage(R"({"id":"w)" + std::to_string(i) + R"(","action":"writefile","path":")" +
                           dir.file("f" + std::to_string(i)) + R"(","content":"x"})");
    release();
    for (int i = 0; i < n; ++i) EXPECT_TRUE(qktest::exists(dir.file("f" + std::to_string(i)))) << i;
    EXPECT_EQ(page->scripts().size(), 1u);
    EXPECT_TRUE(page->closed);
    EXPECT_EQ(ui->window, nullptr);  // destroyed
    EXPECT_EQ(ui->lastTarget->pending(), 0u);
    EXPECT_EQ(host.commands, std::vector<std::string>{"video off"});
}

TEST_F(KaraokePlugin, AnAnswerPostedButNotYetDeliveredIsDroppedAtRelease) {
    auto page = openPage();
    page->postFromPage(R"({"id":"s","action":"statfile","path":"/"})");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ui->lastTarget->pending() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(ui->lastTarget->pending(), 1u);
    release();
    EXPECT_TRUE(page->scripts().empty());
}

TEST_F(KaraokePlugin, ARequestAfterReleaseBeganRunsNothingAndAnswersNothing) {
    auto page = openPage();
    page->postFromPage(R"({"id":"r","action":"set_write_roots","roots":[")" + dir.path() + R"("]})");
    release();
    // The engine may still deliver a message to the handler it holds.
    page->postFromPage(R"({"id":"late","action":"writefile","path":")" + dir.file("late") + R"(","content":"x"})");
    page->postFromPage(R"({"id":"late2","action":"set_data_dir","path":"/x"})");
    EXPECT_FALSE(qktest::exists(dir.file("late")));
    EXPECT_EQ(page->scripts().size(), 1u);
}

TEST_F(KaraokePlugin, AnswersFollowTheirRequestsInOrderThroughTheWindow) {
    auto page = openPage();
    qktest::writeFile(dir.file("t.txt"), "text");
    for (int i = 0; i < 20; ++i)
        page->postFromPage(R"({"id":")" + std::to_string(i) + R"(","action":"readfile","path":")" + dir.file("t.txt") +
                           R"("})");
    ASSERT_TRUE(ui->pumpUntil([&] { return page->scripts().size() == 20; }));
    for (int i = 0; i < 20; ++i)
        EXPECT_NE(page->scripts()[static_cast<size_t>(i)].find(R"("id":")" + std::to_string(i) + R"(")"),
                  std::string::npos);
}

TEST_F(KaraokePlugin, ThePageReachesTheDesktopActionsAndTheCloud) {
    auto page = openPage();
    page->postFromPage(R"({"id":"h","action":"sha256","data":""})");
    page->postFromPage(R"({"id":"a","action":"audience_show","screen":2})");
    page->postFromPage(R"({"id":"c","action":"cloud_http","url":"ftp://127.0.0.1/"})");
    ASSERT_TRUE(ui->pumpUntil([&] { return page->scripts().size() == 3; }));
    EXPECT_EQ(page->scripts()[0],
              R"(window.qkResolve({"hr":0,"id":"h","result":"47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU"});)");
    EXPECT_EQ(page->scripts()[1], R"(window.qkResolve({"hr":0,"id":"a","result":"shown"});)");
    EXPECT_EQ(page->scripts()[2], R"(window.qkResolve({"body":"","hr":-1,"id":"c","result":"bad url","status":0});)");
}

TEST_F(KaraokePlugin, ReleaseLeavesTheEndShowMarkerForThePagesDataFolder) {
    auto page = openPage();
    std::filesystem::create_directories(dir.file("shows"));
    qktest::writeFile(dir.file("shows/friday.json"), R"({"queue":[1,2],"performances":[1,2,3]})");
    page->postFromPage(R"({"id":"d","action":"set_data_dir","path":")" + dir.path() + R"("})");
    release();
    EXPECT_EQ(host.commands, std::vector<std::string>{"video off"});
    EXPECT_TRUE(qktest::exists(dir.file("pending-end-show.json")));
    const std::string text = log.text();
    const auto at = [&](const std::string& line) { return text.find(line); };
    ASSERT_NE(at("  Release\n"), std::string::npos);
    EXPECT_LT(at("  Release\n"), at("end-show marker written (show=friday.json rot=2 perf=3)"));
    // The main window says that it goes, once, after the placement is saved.
    EXPECT_NE(at("  WM_DESTROY\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("  WM_DESTROY\n"), text.rfind("  WM_DESTROY\n"));
    EXPECT_LT(at("end-show marker written"), at("  WM_DESTROY\n"));
}

}  // namespace

namespace {

// Only local pages load; everything else is cancelled and logged. (No entry here
// is a web link, so nothing is handed to a browser.)
TEST_F(KaraokePlugin, NavigationStaysOnFileAndAboutPages) {
    auto page = openPage();
    ASSERT_TRUE(page->events);
    const struct {
        const char* uri;
        bool allowed;
    } cases[] = {
        {"file:", true},          {"file:///x/ui/index.html", true}, {"about:blank", true},
        {"file", false},          {"mailto:kj@example.invalid", false}, {"data:text/html,hi", false},
        {"HTTP://EXAMPLE.INVALID/", false}, {"ftp://example.invalid/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page->events->onNavigationStarting(c.uri), c.allowed) << c.uri;
        EXPECT_EQ(log.hasLine(std::string("navigation BLOCKED: ") + c.uri), !c.allowed) << c.uri;
    }
    // The logged address is cut at 200 characters.
    const std::string longUri = "x:" + std::string(300, 'a');
    EXPECT_FALSE(page->events->onNavigationStarting(longUri));
    EXPECT_TRUE(log.hasLine("navigation BLOCKED: " + longUri.substr(0, 200)));
}

}  // namespace
