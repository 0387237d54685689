// QuorvaleKaraoke.dll as the host meets it on Windows (under Wine, in its
// virtual desktop): the main window made on the host's UI thread, the web engine
// missing and said so in the log, the placement value in the registry, and a
// Release that leaves no window and no thread behind. Then qkhost.exe doing the
// same with a pad press.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "host/host_session.h"
#include "host/ui_thread.h"
#include "platform/module_dir.h"
#include "platform/user_values.h"
#include "tests/support/run_program_win32.h"
#include "tests/support/temp_dir.h"
#include "tests/support/win32_threads.h"

namespace {

const std::string kPlugin = std::string(QK_PLUGIN_DIR) + "/QuorvaleKaraoke.dll";

// The plug-in logs into the temporary folder: a fresh one per test, which
// qkhost.exe inherits too.
class FreshTemp {
public:
    FreshTemp() {
        char old[MAX_PATH] = {};
        ::GetEnvironmentVariableA("TMP", old, MAX_PATH);
        old_ = old;
        ::SetEnvironmentVariableA("TMP", dir_.path().c_str());
        ::SetEnvironmentVariableA("TEMP", dir_.path().c_str());
    }
    ~FreshTemp() {
        ::SetEnvironmentVariableA("TMP", old_.c_str());
        ::SetEnvironmentVariableA("TEMP", old_.c_str());
    }
    FreshTemp(const FreshTemp&) = delete;
    FreshTemp& operator=(const FreshTemp&) = delete;
    std::string log() const { return qktest::readFile(dir_.file("QuorvaleKaraoke-win.log")); }
    const qktest::TempDir& dir() const { return dir_; }

private:
    qktest::TempDir dir_;
    std::string old_;
};

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string placementBytes(std::uint32_t showCmd, int left, int top, int right, int bottom) {
    const std::uint32_t fields[11] = {44,
                                      0,
                                      showCmd,
                                      ~0u,
                                      ~0u,
                                      ~0u,
                                      ~0u,
                                      static_cast<std::uint32_t>(left),
                                      static_cast<std::uint32_t>(top),
                                      static_cast<std::uint32_t>(right),
                                      static_cast<std::uint32_t>(bottom)};
    return std::string(reinterpret_cast<const char*>(fields), sizeof fields);
}

// One load, window, release cycle on a host UI thread; the log of that cycle.
struct Cycle {
    std::string log;
    bool windowWasOurs = false;
    int threadsAfterRelease = -1;
    int threadsBefore = -1;
    bool windowGone = false;
};

Cycle runCycle() {
    FreshTemp temp;
    Cycle c;
    qkhost::UiThread ui;
    std::string error;
    EXPECT_TRUE(ui.start(&error)) << error;
    DWORD uiThreadId = 0;
    ui.run([&] { uiThreadId = ::GetCurrentThreadId(); });
    c.threadsBefore = qktest::processThreadCount();
    HWND window = nullptr;
    {
        qkhost::HostOptions options;
        options.home = temp.dir().path();
        qkhost::HostSession session(options);
        qkhost::LoadedPlugin* plugin = session.load(kPlugin, &error);
        EXPECT_NE(plugin, nullptr) << error;
        if (plugin == nullptr) return c;
        vdj::Result rc = -1;
        vdj::PluginInterface record{};
        ui.run([&] {
            rc = plugin->startStop()->OnGetUserInterface(&record);
            plugin->startStop()->OnStart();
        });
        EXPECT_EQ(rc, vdj::kOk);
        EXPECT_EQ(record.type, 2);
        window = static_cast<HWND>(record.window);
        wchar_t name[64] = {};
        ::GetClassNameW(window, name, 64);
        c.windowWasOurs = std::wstring(name) == L"QuorvaleKaraokeHost" &&
                          ::GetWindowThreadProcessId(window, nullptr) == uiThreadId && ::IsWindowVisible(window);
        ui.run([&] { session.release(*plugin); });
    }
    c.windowGone = !::IsWindow(window);
    c.threadsAfterRelease = qktest::processThreadCount();
    ui.stop();
    c.log = temp.log();
    return c;
}

class KaraokeOnWin32 : public ::testing::Test {
protected:
    void SetUp() override { store_->writeBinary("WindowPlacement", ""); }
    std::unique_ptr<qk::platform::UserValueStore> store_ = qk::platform::createUserValueStore();
};

TEST_F(KaraokeOnWin32, TheMainWindowLivesOnTheUiThreadWithoutAWebEngineAndGoesWithRelease) {
    const Cycle c = runCycle();
    EXPECT_TRUE(c.windowWasOurs) << c.log;
    EXPECT_TRUE(c.windowGone);
    // The file worker is joined: the process has the threads it had before the load.
    EXPECT_EQ(c.threadsAfterRelease, c.threadsBefore);
    // No WebView2 runtime here: the failure is said once and the plug-in goes on.
    EXPECT_NE(c.log.find("WebView2 runtime  NOT FOUND"), std::string::npos) << c.log;
    EXPECT_NE(c.log.find("CreateCoreWebView2EnvironmentWithOptions FAILED hr=0x80070002"), std::string::npos) << c.log;
    EXPECT_EQ(count(c.log, "  WM_DESTROY\n"), 1u) << c.log;
    EXPECT_LT(c.log.find("  Release\n"), c.log.find("  WM_DESTROY\n"));

    // Release stored the placement: 44 bytes, the normal state, the default place.
    const auto stored = store_->readBinary("WindowPlacement");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->size(), 44u);
    std::uint32_t fields[11];
    std::memcpy(fields, stored->data(), 44);
    EXPECT_EQ(fields[0], 44u);
    EXPECT_EQ(fields[2], 1u);
}

TEST_F(KaraokeOnWin32, AStoredPlacementIsRestoredAndABadOneIgnored) {
    struct Case {
        std::string bytes;
        const char* expected;  // the restore line, or null for none
    };
    const Case cases[] = {
        {placementBytes(3, 300, 200, 1100, 900), "restored placement (300,200,1100,900) maximized=1"},
        {placementBytes(1, 5000, 100, 5500, 800), "restored placement (140,100,700,880) maximized=0"},
        {placementBytes(3, 300, 200, 1100, 900).substr(0, 40), nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.bytes.size());
        ASSERT_TRUE(store_->writeBinary("WindowPlacement", k.bytes));
        const Cycle c = runCycle();
        if (k.expected != nullptr)
            EXPECT_NE(c.log.find(k.expected), std::string::npos) << c.log;
        else
            EXPECT_EQ(c.log.find("restored placement"), std::string::npos) << c.log;
    }
}

TEST_F(KaraokeOnWin32, QkhostRunsThePluginOnItsUiThreadAndPressesThePad) {
    FreshTemp temp;
    const std::string bin = qk::platform::moduleDirectory(::GetModuleHandleW(nullptr));
    const std::string plugin = qktest::join(qktest::join(qktest::join(bin, ".."), "plugins"), "QuorvaleKaraoke.dll");
    const auto run = qktest::runProgram("\"" + qktest::join(bin, "qkhost.exe") + "\" --home \"" + temp.dir().path() +
                                            "\" run --seconds 3 --pad 3@1.5 \"" + plugin + "\"",
                                        temp.dir().file("qkhost.txt"));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("qkhost: master output written to"), std::string::npos) << run.output;
    const std::string log = temp.log();
    EXPECT_NE(log.find("OnGetUserInterface"), std::string::npos) << log;
    // Shown for the interface, for OnStart, and for the pad press: without a web
    // view a pad opens the window instead of reaching the page.
    EXPECT_EQ(count(log, "ShowWindow_ "), 3u) << log;
    EXPECT_EQ(count(log, "  WM_DESTROY\n"), 1u) << log;
    EXPECT_NE(log.find("  OnStop\n"), std::string::npos) << log;
}

}  // namespace
