// The built deliverable with a real web view: QuorvaleKaraoke.so loaded through
// DllGetClassObject, its page running in WebKitGTK on the X server the test
// script provides. This thread is the UI thread and pumps the GLib main loop.
// Web links go to a recording "browser" registered through the XDG MIME
// associations of a private home, so no real browser ever opens.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "host/host_session.h"
#include "kit/json_access.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

bool pumpUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Runs a script in the web view that fills the plug-in's window.
std::optional<std::string> pageEval(void* window, const std::string& script) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window));
    if (child == nullptr || !WEBKIT_IS_WEB_VIEW(child)) return std::nullopt;
    struct Result {
        bool done = false;
        std::optional<std::string> json;
    } result;
    webkit_web_view_evaluate_javascript(
        WEBKIT_WEB_VIEW(child), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* res, gpointer data) {
            auto* r = static_cast<Result*>(data);
            r->done = true;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, nullptr);
            if (value == nullptr) return;
            gchar* text = jsc_value_to_json(value, 0);
            if (text != nullptr) r->json = text;
            g_free(text);
            g_object_unref(value);
        },
        &result);
    pumpUntil([&] { return result.done; }, 10);
    return result.json;
}

int countOccurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// The web-process children of this process.
int webProcessChildren() {
    int n = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string stat = qktest::readFile(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        const auto open = stat.find('(');
        const std::string name = stat.substr(open + 1, close - open - 1);
        // "pid (comm) state ppid ..."
        const std::string rest = stat.substr(close + 4);
        const std::string ppid = rest.substr(0, rest.find(' '));
        if (ppid == self && name.rfind("WebKit", 0) == 0) ++n;
    }
    return n;
}

class PageE2E : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
        // Software drawing only: Xvfb has no GPU, and the GL driver's one-time
        // allocations would cloud the leak report.
        ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
        ::setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 1);
        // A private desktop: settings, data and the MIME associations of this test only.
        const std::string config = root_.file("config"), data = root_.file("data");
        fs::create_directories(config);
        fs::create_directories(data + "/applications");
        fs::create_directories(root_.file("out"));
        fs::create_directories(root_.file("mod"));
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        // The system's MIME database stays visible (pages are told apart from text
        // by it); the private associations above it win over any browser there.
        ::setenv("XDG_DATA_DIRS", (data + ":/usr/local/share:/usr/share").c_str(), 1);
        const std::string recorder = root_.file("record-link.sh");
        qktest::writeFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " + links() + "\n");
        ::chmod(recorder.c_str(), 0755);
        qktest::writeFile(data + "/applications/qk-record-link.desktop",
                          "[Desktop Entry]\nType=Application\nName=Link recorder\nExec=" + recorder +
                              " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        qktest::writeFile(config + "/mimeapps.list",
                          "[Default Applications]\nx-scheme-handler/https=qk-record-link.desktop\n"
                          "x-scheme-handler/http=qk-record-link.desktop\n");
        fs::copy_file(std::string(QK_PLUGIN_DIR) + "/QuorvaleKaraoke.so", root_.file("mod/QuorvaleKaraoke.so"));
    }

    void installPage() {
        fs::create_directories(root_.file("mod/ui"));
        fs::copy_file(std::string(QK_SOURCE_DIR) + "/tests/karaoke/e2e_page/index.html",
                      root_.file("mod/ui/index.html"));
    }

    // Loads the plug-in and opens its window as the host does.
    void open() {
        std::string error;
        loaded_ = session_.load(root_.file("mod/QuorvaleKaraoke.so"), &error);
        ASSERT_NE(loaded_, nullptr) << error;
        vdj::PluginInterface record{};
        ASSERT_EQ(loaded_->startStop()->OnGetUserInterface(&record), vdj::kOk) << log_.text();
        window_ = record.window;
        ASSERT_NE(window_, nullptr);
    }

    void release() {
        if (loaded_ == nullptr) return;
        session_.release(*loaded_);
        loaded_ = nullptr;
    }

    void TearDown() override { release(); }

    std::string links() const { return root_.file("links.txt"); }

    qktest::KaraokeLogCapture log_;
    qktest::TempDir root_;
    qkhost::HostSession session_{{root_.path(), "", 48000, 1920, 1080}};
    qkhost::LoadedPlugin* loaded_ = nullptr;
    void* window_ = nullptr;
};

TEST_F(PageE2E, PageTalksToThePluginAndStaysOnLocalPages) {
    installPage();
    open();
    const std::string reportPath = root_.file("out/report.json");
    ASSERT_TRUE(pumpUntil([&] { return qktest::exists(reportPath); }, 60))
        << log_.text()
        << pageEval(window_,
                    "JSON.stringify({chrome: typeof window.chrome, shim: !!(window.chrome && window.chrome.webview),"
                    " href: location.href, html: document.documentElement.outerHTML.slice(0, 300)})")
               .value_or("(no page)");
    const qk::Json report = qk::Json::parse(qktest::readFile(reportPath));

    EXPECT_EQ(report["roots"], 0);
    EXPECT_EQ(report["write"], 0);
    EXPECT_EQ(report["readHr"], 0);
    EXPECT_EQ(report["readText"], "h\u00e9llo \u266b");
    EXPECT_EQ(qktest::readFile(root_.file("out/hello.txt")), "h\u00e9llo \u266b");
    EXPECT_EQ(report["unknown"]["hr"], -1);
    EXPECT_EQ(report["unknown"]["result"], "(no_such_action not implemented on Windows yet)");
    EXPECT_FALSE(report["stringAnswered"]);
    EXPECT_EQ(report["openResult"], "null");  // no engine window
    EXPECT_TRUE(report["stillHere"]);
    EXPECT_TRUE(log_.hasLine("bridge: unimplemented action 'no_such_action'")) << log_.text();

    // A pad press reaches the page's command hook.
    loaded_->startStop()->OnParameter(1);
    ASSERT_TRUE(pumpUntil([&] { return qktest::readFile(root_.file("out/pad.txt")) == "playnext"; }, 20));

    // The links went to the (recording) browser, and the page never left.
    const auto recorded = [&] {
        const std::string t = qktest::readFile(links());
        return t.find("https://example.invalid/link\n") != std::string::npos &&
               t.find("https://example.invalid/blank\n") != std::string::npos &&
               t.find("https://example.invalid/popup\n") != std::string::npos;
    };
    EXPECT_TRUE(pumpUntil(recorded, 20)) << qktest::readFile(links());
    EXPECT_TRUE(log_.hasLine("navigation BLOCKED: https://example.invalid/link")) << log_.text();

    // One page load, one probe.
    const std::string text = log_.text();
    EXPECT_EQ(countOccurrences(text, "env probe        "), 1) << text;
    EXPECT_NE(text.find("env probe        \"{\\\"secure\\\":true"), std::string::npos) << text;
    EXPECT_NE(text.find("navigating to     file://" + root_.path() + "/mod/ui/index.html"), std::string::npos);

    release();
    EXPECT_TRUE(pumpUntil([] { return webProcessChildren() == 0; }, 10)) << "web process left behind";
}

TEST_F(PageE2E, WithoutTheUiFolderTheFallbackPageShows) {
    open();
    ASSERT_TRUE(pumpUntil([&] { return log_.text().find("env probe") != std::string::npos; }, 60)) << log_.text();
    const auto body = pageEval(window_, "document.body.innerText");
    ASSERT_TRUE(body.has_value());
    EXPECT_NE(body->find("was not found next to the plugin DLL."), std::string::npos) << *body;
    EXPECT_TRUE(log_.hasLine("ui page NOT FOUND: index.html (looked under " + root_.file("mod") + ")"))
        << log_.text();
    EXPECT_EQ(countOccurrences(log_.text(), "env probe        "), 1) << log_.text();
}

}  // namespace
