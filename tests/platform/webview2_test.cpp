// The WebView2 backend against the runtime double (tests/support/webview2_double),
// which sits beside this program as WebView2Loader.dll and answers through
// interface tables of its own: what it records is what the backend called, slot
// by slot, on a real window of this thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/web_view.h"
#include "platform/webview2/webview2_loader.h"
#include "platform/webview2/webview2_runtime.h"
#include "platform/win32/wide_path.h"
#include "platform/window.h"
#include "tests/support/inert_window.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::platform::WebView;
using qk::platform::WebViewEnvironment;
using qk::platform::win32::narrow;
using qk::platform::win32::widen;
namespace wv2 = qk::platform::webview2;

// The double's own exports, from whichever copy of it the backend loaded.
struct DoubleApi {
    explicit DoubleApi(HMODULE m) : module(m) {
        record = reinterpret_cast<int (*)(char*, int)>(proc("qkDoubleRecord"));
        reset = reinterpret_cast<void (*)()>(proc("qkDoubleReset"));
        live = reinterpret_cast<int (*)()>(proc("qkDoubleLiveObjects"));
        fail = reinterpret_cast<void (*)(const char*, HRESULT)>(proc("qkDoubleFail"));
        setScriptResult = reinterpret_cast<void (*)(const wchar_t*)>(proc("qkDoubleSetScriptResult"));
        postWebMessage = reinterpret_cast<void (*)(const wchar_t*)>(proc("qkDoublePostWebMessage"));
        startNavigation = reinterpret_cast<void (*)(const wchar_t*)>(proc("qkDoubleStartNavigation"));
        requestNewWindow = reinterpret_cast<int (*)(const wchar_t*)>(proc("qkDoubleRequestNewWindow"));
    }
    void* proc(const char* name) const { return reinterpret_cast<void*>(::GetProcAddress(module, name)); }
    std::string text() const {
        const int n = record(nullptr, 0);
        std::string out(static_cast<size_t>(n) + 1, '\0');
        record(out.data(), n + 1);
        out.resize(static_cast<size_t>(n));
        return out;
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        const std::string t = text();
        size_t start = 0;
        for (size_t end; (end = t.find('\n', start)) != std::string::npos; start = end + 1)
            out.push_back(t.substr(start, end - start));
        return out;
    }
    bool has(const std::string& line) const {
        for (const auto& l : lines())
            if (l == line) return true;
        return false;
    }

    HMODULE module;
    int (*record)(char*, int);
    void (*reset)();
    int (*live)();
    void (*fail)(const char*, HRESULT);
    void (*setScriptResult)(const wchar_t*);
    void (*postWebMessage)(const wchar_t*);
    void (*startNavigation)(const wchar_t*);
    int (*requestNewWindow)(const wchar_t*);
};

// Runs this thread's messages (where the double completes its calls) until
// `done` holds or two seconds have passed.
template <class F>
bool pumpUntil(F done) {
    const DWORD end = ::GetTickCount() + 2000;
    while (!done()) {
        if (static_cast<LONG>(::GetTickCount() - end) > 0) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(1);
    }
    return true;
}
void pumpAWhile() {
    int rounds = 0;
    pumpUntil([&] { return ++rounds > 20; });
}

// A plain top-level window: all the backend asks of a Window is its HWND.
class BareWindow final : public qktest::InertWindow {
public:
    BareWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QkWebView2TestWindow";
        ::RegisterClassW(&wc);
        hwnd_ = ::CreateWindowExW(0, wc.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 10, 10, 640, 480, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    }
    ~BareWindow() override { ::DestroyWindow(hwnd_); }
    HWND hwnd() const { return hwnd_; }

    void* nativeHandle() const override { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// Points the plug-in's log (kept in the temporary folder) at a folder of the
// test's own while it lives.
class LogInFolder {
public:
    explicit LogInFolder(const std::string& folder) {
        wchar_t old[MAX_PATH + 1];
        const DWORD n = ::GetEnvironmentVariableW(L"TMP", old, MAX_PATH + 1);
        if (n > 0 && n <= MAX_PATH) old_ = std::wstring(old, n);
        ::SetEnvironmentVariableW(L"TMP", widen(folder + "\\").c_str());
        file_ = folder + "\\QuorvaleKaraoke-win.log";
    }
    ~LogInFolder() { ::SetEnvironmentVariableW(L"TMP", old_ ? old_->c_str() : nullptr); }
    std::string text() const { return qktest::readFile(file_); }

private:
    std::optional<std::wstring> old_;
    std::string file_;
};

// What the page's events told the test.
struct SeenEvents final : qk::platform::WebViewEvents {
    void onWebMessage(const std::shared_ptr<WebView>& sender, std::string_view json) override {
        messages.emplace_back(json);
        senders.push_back(sender.get());
    }
    bool onNavigationStarting(std::string_view uri) override {
        starting.emplace_back(uri);
        return uri.substr(0, 5) == "file:";
    }
    void onNewWindowRequested(std::string_view uri) override { newWindows.emplace_back(uri); }
    void onNavigationCompleted(const std::shared_ptr<WebView>& sender) override {
        ++completed;
        senders.push_back(sender.get());
    }
    std::vector<std::string> messages, starting, newWindows;
    std::vector<const WebView*> senders;  // not shares: the view holds these events
    int completed = 0;
};

class WebView2Backend : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_ = wv2::findRuntime(wv2::ownModuleFolder());
        ASSERT_EQ(runtime_.route, wv2::RuntimeEntry::Route::Loader) << "the double is not beside the test";
        api_ = std::make_unique<DoubleApi>(::GetModuleHandleW(runtime_.dll.c_str()));
        ASSERT_NE(api_->record, nullptr);
        api_->reset();
        liveBefore_ = api_->live();
        ASSERT_NE(window_.hwnd(), nullptr);
    }
    void TearDown() override {
        // Every engine object the test's controls held has been given back.
        pumpAWhile();
        if (api_) {
            EXPECT_EQ(api_->live(), liveBefore_) << "engine objects still referenced";
        }
        // A call put in a slot the double does not expect shows here.
        EXPECT_EQ(api_ ? api_->text().find("UNEXPECTED") : std::string::npos, std::string::npos) << api_->text();
        EXPECT_EQ(api_ ? api_->text().find("refused its own interface") : std::string::npos, std::string::npos);
    }

    std::string logText() const { return log_.text(); }

    std::shared_ptr<WebViewEnvironment> environment() {
        std::shared_ptr<WebViewEnvironment> env;
        long result = 1;
        bool done = false;
        const long rc =
            wv2::createEnvironmentWith(runtime_, udf_.path(), [&](long r, std::shared_ptr<WebViewEnvironment> e) {
                result = r;
                env = std::move(e);
                done = true;
            });
        EXPECT_EQ(rc, 0);
        EXPECT_FALSE(done) << "completion ran inside the call";
        EXPECT_TRUE(pumpUntil([&] { return done; }));
        EXPECT_EQ(result, 0);
        return env;
    }

    std::shared_ptr<WebView> webView(WebViewEnvironment& env, long* failure = nullptr) {
        std::shared_ptr<WebView> view;
        bool done = false;
        long result = 1;
        env.createWebView(window_, [&](long r, std::shared_ptr<WebView> v) {
            result = r;
            view = std::move(v);
            done = true;
        });
        EXPECT_TRUE(pumpUntil([&] { return done; }));
        if (failure != nullptr) *failure = result;
        return view;
    }

    qktest::TempDir logDir_, udf_;
    LogInFolder log_{logDir_.path()};
    wv2::RuntimeEntry runtime_;
    std::unique_ptr<DoubleApi> api_;
    int liveBefore_ = 0;
    BareWindow window_;
};

TEST_F(WebView2Backend, StartsTheEnvironmentThroughTheLoaderAndFitsTheControllerToTheWindow) {
    EXPECT_EQ(wv2::runtimeVersion(runtime_), "120.0.2210.91");
    EXPECT_EQ(wv2::installedVersion(), "120.0.2210.91");
    auto env = environment();
    ASSERT_TRUE(env);
    EXPECT_TRUE(api_->has("CreateCoreWebView2EnvironmentWithOptions udf=" + udf_.path())) << api_->text();
    EXPECT_NE(logText().find("WebView2: through the loader beside the plugin: " + narrow(runtime_.dll)),
              std::string::npos)
        << logText();

    auto view = webView(*env);
    ASSERT_TRUE(view);
    EXPECT_TRUE(api_->has("environment CreateCoreWebView2Controller window"));
    EXPECT_TRUE(api_->has("controller put_IsVisible 1"));

    ::SetWindowPos(window_.hwnd(), nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOMOVE);
    view->fitToWindow();
    RECT client{};
    ::GetClientRect(window_.hwnd(), &client);
    ASSERT_GT(client.right, 0);
    EXPECT_TRUE(
        api_->has("controller put_Bounds 0 0 " + std::to_string(client.right) + " " + std::to_string(client.bottom)))
        << api_->text();
}

TEST_F(WebView2Backend, GivesTheSettingsEachToItsOwnSlotAndRegistersTheFourEvents) {
    auto env = environment();
    auto view = webView(*env);
    ASSERT_TRUE(view);
    api_->reset();
    // Every setting differs from its neighbours, so a swapped slot shows.
    qk::platform::WebViewSettings s;
    s.scriptsEnabled = true;
    s.webMessagesEnabled = false;
    s.defaultScriptDialogsEnabled = true;
    s.statusBarEnabled = false;
    s.devToolsEnabled = true;
    view->configure(s, std::make_shared<SeenEvents>());
    const std::vector<std::string> expected = {
        "settings put_IsScriptEnabled 1",
        "settings put_IsWebMessageEnabled 0",
        "settings put_AreDefaultScriptDialogsEnabled 1",
        "settings put_IsStatusBarEnabled 0",
        "settings put_AreDevToolsEnabled 1",
        "add_WebMessageReceived",
        "add_NavigationStarting",
        "add_NewWindowRequested",
        "add_NavigationCompleted",
    };
    EXPECT_EQ(api_->lines(), expected);
}

TEST_F(WebView2Backend, NavigatesRunsScriptsAndHandsBackTheirResultAsUtf8) {
    auto env = environment();
    auto view = webView(*env);
    ASSERT_TRUE(view);
    auto events = std::make_shared<SeenEvents>();
    view->configure({}, events);
    api_->reset();

    view->navigate("file:///C:/kit/ui/caf\xc3\xa9.html");
    view->navigateToString("<p>\xc3\xa9</p>");
    view->executeScript("window.qkResolve({\"hr\":0,\"id\":\"1\",\"result\":\"\\u00e9\"});");
    EXPECT_TRUE(pumpUntil([&] { return events->completed == 2; }));
    EXPECT_TRUE(api_->has("Navigate file:///C:/kit/ui/caf\xc3\xa9.html"));
    EXPECT_TRUE(api_->has("NavigateToString <p>\xc3\xa9</p>"));
    EXPECT_TRUE(api_->has("ExecuteScript window.qkResolve({\"hr\":0,\"id\":\"1\",\"result\":\"\\u00e9\"});"));
    EXPECT_EQ(events->starting, (std::vector<std::string>{"file:///C:/kit/ui/caf\xc3\xa9.html", "about:blank"}));

    // With a completion: the result text, or nothing when the engine has none.
    const struct {
        const wchar_t* engineAnswers;
        std::optional<std::string> seen;
    } cases[] = {
        {L"{\"origin\":\"file://\",\"secure\":true,\"x\":\"\u00e9\U0001F600\"}",
         "{\"origin\":\"file://\",\"secure\":true,\"x\":\"\xc3\xa9\xf0\x9f\x98\x80\"}"},
        {L"null", "null"},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        api_->setScriptResult(c.engineAnswers);
        bool done = false;
        std::optional<std::string> result = "unset";
        view->executeScript("JSON.stringify(1)", [&](std::optional<std::string> r) {
            result = std::move(r);
            done = true;
        });
        EXPECT_FALSE(done);
        ASSERT_TRUE(pumpUntil([&] { return done; }));
        EXPECT_EQ(result, c.seen);
    }
    EXPECT_TRUE(api_->has("ExecuteScript+ JSON.stringify(1)"));
}

TEST_F(WebView2Backend, PassesWebMessagesNavigationDecisionsAndNewWindowRequestsToTheEvents) {
    auto env = environment();
    auto view = webView(*env);
    ASSERT_TRUE(view);
    auto events = std::make_shared<SeenEvents>();
    view->configure({}, events);

    api_->postWebMessage(L"{\"action\":\"sha256\",\"data\":\"\u00e9\U0001F600\",\"id\":\"7\"}");
    ASSERT_EQ(events->messages.size(), 1u);
    EXPECT_EQ(events->messages[0], "{\"action\":\"sha256\",\"data\":\"\xc3\xa9\xf0\x9f\x98\x80\",\"id\":\"7\"}");
    EXPECT_EQ(events->senders.at(0), view.get());

    // The events' answer decides: file: goes on, anything else is cancelled.
    api_->startNavigation(L"https://example.com/");
    api_->startNavigation(L"file:///C:/kit/ui/index.html");
    EXPECT_TRUE(api_->has("NavigationStarting https://example.com/ cancelled"));
    EXPECT_TRUE(api_->has("NavigationStarting file:///C:/kit/ui/index.html allowed"));
    EXPECT_EQ(events->completed, 2);  // cancelled ones complete too

    // window.open: always handled, so the engine opens nothing of its own.
    EXPECT_EQ(api_->requestNewWindow(L"https://example.com/w"), 1);
    EXPECT_EQ(api_->requestNewWindow(L"file:///C:/x.html"), 1);
    EXPECT_EQ(events->newWindows, (std::vector<std::string>{"https://example.com/w", "file:///C:/x.html"}));
}

TEST_F(WebView2Backend, MakesTheBackgroundTransparentThroughController2WhenItIsThere) {
    auto env = environment();
    auto view = webView(*env);
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->setTransparentBackground());
    EXPECT_TRUE(api_->has("controller2 put_DefaultBackgroundColor A=0 R=0 G=0 B=0")) << api_->text();

    api_->fail("controller2", 0);
    auto plain = webView(*env);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->setTransparentBackground());
}

TEST_F(WebView2Backend, CloseEndsTheControlAndEveryReferenceIsGivenBack) {
    {
        auto env = environment();
        auto view = webView(*env);
        ASSERT_TRUE(view);
        auto events = std::make_shared<SeenEvents>();
        view->configure({}, events);
        view->navigate("file:///C:/a.html");
        pumpUntil([&] { return events->completed == 1; });
        bool probed = false;
        view->executeScript("1", [&](std::optional<std::string>) { probed = true; });
        pumpUntil([&] { return probed; });
        api_->postWebMessage(L"{}");
        api_->requestNewWindow(L"https://example.com/");

        api_->reset();
        view->close();
        view->navigate("file:///C:/b.html");
        view->executeScript("2");
        view->fitToWindow();
        EXPECT_FALSE(view->setTransparentBackground());
        EXPECT_EQ(api_->lines(), std::vector<std::string>{"controller Close"});
        api_->postWebMessage(L"{}");  // after the close, nothing reaches the events
        EXPECT_EQ(events->messages.size(), 1u);
    }
}

TEST_F(WebView2Backend, ReportsEachFailedStepAsItsCode) {
    api_->fail("environment", E_ACCESSDENIED);
    long result = 0;
    bool done = false;
    std::shared_ptr<WebViewEnvironment> env;
    ASSERT_EQ(wv2::createEnvironmentWith(runtime_, "",
                                         [&](long r, std::shared_ptr<WebViewEnvironment> e) {
                                             result = r;
                                             env = std::move(e);
                                             done = true;
                                         }),
              0);
    ASSERT_TRUE(pumpUntil([&] { return done; }));
    EXPECT_EQ(result, static_cast<long>(E_ACCESSDENIED));
    EXPECT_FALSE(env);
    EXPECT_TRUE(api_->has("CreateCoreWebView2EnvironmentWithOptions udf=(null)"))
        << api_->text();  // the engine's default

    api_->reset();
    env = environment();
    ASSERT_TRUE(env);
    api_->fail("controller", E_OUTOFMEMORY);
    long failure = 0;
    EXPECT_FALSE(webView(*env, &failure));
    EXPECT_EQ(failure, static_cast<long>(E_OUTOFMEMORY));

    api_->reset();
    api_->fail("webview", 0);
    EXPECT_FALSE(webView(*env, &failure));
    EXPECT_NE(failure, 0);
    EXPECT_NE(logText().find("  get_CoreWebView2 FAILED\n"), std::string::npos) << logText();
    EXPECT_TRUE(api_->has("controller Close"));
}

// ---- finding a runtime without the loader --------------------------------------

class WebView2Runtime : public ::testing::Test {
protected:
    void SetUp() override {
        key_ = L"Software\\QuorvaleKaraokeTests\\" + widen(logDir_.path().substr(logDir_.path().rfind('\\') + 1));
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
        HKEY machine = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &machine) ==
            ERROR_SUCCESS) {
            ::RegDeleteTreeW(machine, key_.substr(9).c_str());
            ::RegCloseKey(machine);
        }
    }
    // An installed runtime of `version` under `root`: the double as its engine DLL.
    std::string installRuntime(const std::string& root, const std::string& version) {
        const std::string folder = root + "\\" + version;
        const std::string x64 = folder + "\\EBWebView\\x64";
        std::filesystem::create_directories(std::filesystem::path(widen(x64)));
        const std::wstring source = wv2::ownModuleFolder() + L"\\WebView2Loader.dll";
        EXPECT_TRUE(::CopyFileW(source.c_str(), widen(x64 + "\\EmbeddedBrowserWebView.dll").c_str(), FALSE));
        return folder;
    }
    void registerFolder(HKEY root, REGSAM view, const std::string& folder) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(root, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring value = widen(folder);
        ::RegSetValueExW(key, L"EBWebView", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    std::string logText() const { return log_.text(); }

    qktest::TempDir logDir_, plugin_, runtimes_;
    LogInFolder log_{logDir_.path()};
    std::wstring key_;
};

TEST_F(WebView2Runtime, WithNeitherLoaderNorInstalledRuntimeTheStartFailsAtOnceWithFileNotFound) {
    const auto runtime = wv2::findRuntime(widen(plugin_.path()), key_.c_str());
    EXPECT_EQ(runtime.route, wv2::RuntimeEntry::Route::None);
    EXPECT_EQ(wv2::runtimeVersion(runtime), "");
    bool called = false;
    const long rc =
        wv2::createEnvironmentWith(runtime, "", [&](long, std::shared_ptr<WebViewEnvironment>) { called = true; });
    EXPECT_EQ(rc, static_cast<long>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    pumpAWhile();
    EXPECT_FALSE(called);
    EXPECT_NE(logText().find("  WebView2: no WebView2Loader.dll beside the plugin (" + plugin_.path() +
                             "\\WebView2Loader.dll) and no installed runtime registered\n"),
              std::string::npos)
        << logText();
}

TEST_F(WebView2Runtime, FindsTheInstalledRuntimePerUserBeforePerMachineAndStartsItsEngine) {
    const std::string machine = installRuntime(runtimes_.path() + "\\machine", "119.0.1.1");
    const std::string user = installRuntime(runtimes_.path() + "\\user", "120.0.2210.91");

    registerFolder(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, machine);
    auto found = wv2::findRuntime(widen(plugin_.path()), key_.c_str());
    EXPECT_EQ(found.route, wv2::RuntimeEntry::Route::Installed);
    EXPECT_EQ(wv2::runtimeVersion(found), "119.0.1.1");

    registerFolder(HKEY_CURRENT_USER, 0, user + "\\");  // a trailing separator changes nothing
    found = wv2::findRuntime(widen(plugin_.path()), key_.c_str());
    ASSERT_EQ(found.route, wv2::RuntimeEntry::Route::Installed);
    EXPECT_EQ(wv2::runtimeVersion(found), "120.0.2210.91");
    EXPECT_EQ(narrow(found.dll), user + "\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");

    // The engine is started through its own entry, as an installed runtime.
    DoubleApi engine(::GetModuleHandleW(found.dll.c_str()));
    ASSERT_NE(engine.record, nullptr);
    BareWindow window;
    bool done = false;
    std::shared_ptr<WebViewEnvironment> env;
    ASSERT_EQ(wv2::createEnvironmentWith(found, "",
                                         [&](long r, std::shared_ptr<WebViewEnvironment> e) {
                                             EXPECT_EQ(r, 0);
                                             env = std::move(e);
                                             done = true;
                                         }),
              0);
    ASSERT_TRUE(pumpUntil([&] { return done; }));
    ASSERT_TRUE(env);
    EXPECT_TRUE(engine.has("CreateWebViewEnvironmentWithOptionsInternal check=1 type=0")) << engine.text();
    EXPECT_NE(logText().find("  WebView2: through the installed runtime 120.0.2210.91: " + narrow(found.dll) + "\n"),
              std::string::npos)
        << logText();

    // A loader beside the plug-in comes first.
    ::CopyFileW((wv2::ownModuleFolder() + L"\\WebView2Loader.dll").c_str(),
                widen(plugin_.file("WebView2Loader.dll")).c_str(), FALSE);
    EXPECT_EQ(wv2::findRuntime(widen(plugin_.path()), key_.c_str()).route, wv2::RuntimeEntry::Route::Loader);
}

}  // namespace
