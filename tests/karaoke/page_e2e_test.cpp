// The built deliverable with a real web view: QuorvaleKaraoke.so loaded through
// DllGetClassObject, its page running in WebKitGTK on the X server the test
// script provides. This thread is the UI thread and pumps the GLib main loop.
// Web links go to a recording "browser" registered through the XDG MIME
// associations of a private home, so no real browser ever opens.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <webkit2/webkit2.h>
// After GTK: the X11 headers define macros GTK must not see.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "host/host_session.h"
#include "kit/json_access.h"
#include "tests/support/gtk_e2e.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using qktest::countOccurrences;
using qktest::pageEval;
using qktest::pumpUntil;
using qktest::webProcessChildren;

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
        for (const char* page : {"index.html", "audience.html"})
            fs::copy_file(std::string(QK_SOURCE_DIR) + "/tests/karaoke/e2e_page/" + page,
                          root_.file("mod/ui/") + page);
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
    EXPECT_EQ(report["sha"]["hr"], 0);
    EXPECT_EQ(report["sha"]["result"], "ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0");
    // The display list is the X server's monitors, as text the page parses again.
    ASSERT_EQ(report["displays"]["hr"], 0);
    const qk::Json displays = qk::Json::parse(report["displays"]["result"].get<std::string>());
    GdkRectangle first;
    gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &first);
    ASSERT_EQ(displays.size(), static_cast<size_t>(gdk_display_get_n_monitors(gdk_display_get_default())));
    EXPECT_EQ(displays[0]["index"], 0);
    EXPECT_EQ(displays[0]["name"], "Display 1");
    EXPECT_EQ(displays[0]["width"], first.width);
    EXPECT_EQ(displays[0]["height"], first.height);

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

// The pictures of the main window in docs/: run with QK_SCREENSHOT_DIR set to
// write them there. The manager page is the repository's ui/ folder.
TEST_F(PageE2E, ScreenshotsOfTheMainWindow) {
    const char* dir = std::getenv("QK_SCREENSHOT_DIR");
    if (dir == nullptr) GTEST_SKIP() << "QK_SCREENSHOT_DIR not set";
    const auto capture = [&](const std::string& name, double settleSeconds) {
        pumpUntil([] { return false; }, settleSeconds);
        GdkWindow* g = gtk_widget_get_window(GTK_WIDGET(window_));
        ASSERT_NE(g, nullptr);
        GdkPixbuf* shot = gdk_pixbuf_get_from_window(g, 0, 0, gdk_window_get_width(g), gdk_window_get_height(g));
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(gdk_pixbuf_save(shot, (std::string(dir) + "/" + name).c_str(), "png", nullptr, nullptr));
        g_object_unref(shot);
    };
    open();
    ASSERT_TRUE(pumpUntil([&] { return log_.text().find("env probe") != std::string::npos; }, 60));
    capture("main-window-fallback.png", 1);
    release();

    fs::copy(std::string(QK_SOURCE_DIR) + "/ui", root_.file("mod/ui"), fs::copy_options::recursive);
    log_.clear();
    open();
    ASSERT_TRUE(pumpUntil([&] { return log_.text().find("env probe") != std::string::npos; }, 60));
    capture("main-window.png", 3);
}

}  // namespace

namespace {

// The audience window on two monitors laid out through QK_MONITORS (Xvfb has a
// single output), driven by the page's own requests.
class AudienceE2E : public PageE2E {
protected:
    static constexpr const char* kTitle = "QuorvaleKaraoke Audience";

    void SetUp() override {
        PageE2E::SetUp();
        if (IsSkipped()) return;
        ::setenv("QK_MONITORS", "1280x720+0+0;1024x768+1280+0", 1);
        installPage();
        open();
        ASSERT_TRUE(pumpUntil([&] { return log_.text().find("env probe") != std::string::npos; }, 60))
            << log_.text();
        x_ = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    }
    void TearDown() override {
        PageE2E::TearDown();
        ::unsetenv("QK_MONITORS");
    }

    void show(int screen) {
        pageEval(window_, "window.chrome.webview.postMessage({id: 'show', action: 'audience_show', screen: " +
                              std::to_string(screen) + "}); 1");
    }
    GtkWindow* audience() const {
        GtkWindow* found = nullptr;
        GList* all = gtk_window_list_toplevels();
        for (GList* l = all; l != nullptr; l = l->next) {
            const char* t = gtk_window_get_title(GTK_WINDOW(l->data));
            if (t != nullptr && std::string(t) == kTitle) found = GTK_WINDOW(l->data);
        }
        g_list_free(all);
        return found;
    }
    // Where the X server has put the audience window.
    bool audienceAt(int x, int y, int width, int height) const {
        GtkWindow* w = audience();
        GdkWindow* g = w ? gtk_widget_get_window(GTK_WIDGET(w)) : nullptr;
        if (g == nullptr || !gdk_window_is_viewable(g)) return false;
        int ox = 0, oy = 0;
        gdk_window_get_origin(g, &ox, &oy);
        return ox == x && oy == y && gdk_window_get_width(g) == width && gdk_window_get_height(g) == height;
    }
    ::Window focus() const {
        ::Window f = 0;
        int revert = 0;
        XGetInputFocus(x_, &f, &revert);
        return f;
    }
    // Ctrl+Alt+Shift+A as a person would press it, through the X server.
    void pressPanicKeys() {
        const KeySym keys[] = {XK_Control_L, XK_Alt_L, XK_Shift_L, XK_a};
        for (KeySym k : keys) XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, k), True, CurrentTime);
        for (int i = 3; i >= 0; --i) XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, keys[i]), False, CurrentTime);
        XFlush(x_);
    }
    // Another program's hold on Ctrl+Alt+Shift+A; false when someone else has it.
    static bool grabElsewhere(Display* other, bool grab) {
        const int code = XKeysymToKeycode(other, XK_a);
        const unsigned mask = ControlMask | Mod1Mask | ShiftMask;
        static bool refused;
        refused = false;
        auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) -> int {
            refused = true;
            return 0;
        });
        if (grab)
            XGrabKey(other, code, mask, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
        else
            XUngrabKey(other, code, mask, DefaultRootWindow(other));
        XSync(other, False);
        XSetErrorHandler(previous);
        return !refused;
    }

    Display* x_ = nullptr;
};

TEST_F(AudienceE2E, CoversTheChosenMonitorWithoutTakingTheFocusAndMovesAsOneWindow) {
    const ::Window before = focus();
    ASSERT_EQ(before, GDK_WINDOW_XID(gtk_widget_get_window(GTK_WIDGET(window_)))) << "the main window has the focus";
    show(-3);
    ASSERT_TRUE(pumpUntil([&] { return audienceAt(0, 0, 1280, 720); }, 20)) << log_.text();
    GtkWindow* w = audience();
    EXPECT_FALSE(gtk_window_get_decorated(w));
    EXPECT_FALSE(gtk_window_get_accept_focus(w));
    EXPECT_FALSE(gtk_window_is_active(w));
    EXPECT_EQ(focus(), before) << "showing the audience window moved the keyboard focus";

    show(7);
    ASSERT_TRUE(pumpUntil([&] { return audienceAt(1280, 0, 1024, 768); }, 20)) << log_.text();
    EXPECT_EQ(qktest::toplevelsTitled(kTitle), 1);
    EXPECT_EQ(focus(), before);

    // The audience page loads once, in the same sandbox as the manager page.
    ASSERT_TRUE(pumpUntil([&] { return countOccurrences(log_.text(), "env probe        ") == 2; }, 60))
        << log_.text();
    const std::string text = log_.text();
    EXPECT_EQ(countOccurrences(text, "audience window created on display 0 (1280x720)"), 1) << text;
    EXPECT_EQ(countOccurrences(text, "audience shown; panic hotkey Ctrl+Alt+Shift+A registered=1"), 1) << text;
    EXPECT_TRUE(log_.hasLine("audience navigating to file://" + root_.path() + "/mod/ui/audience.html")) << text;
    const auto body = pageEval(audience(), "document.getElementById('now').textContent");
    EXPECT_EQ(body.value_or(""), "\"Now singing\"");
}

TEST_F(AudienceE2E, ThePanicKeysHideItFromAnywhereAndAreThenFreeForOthers) {
    show(0);
    ASSERT_TRUE(pumpUntil([&] { return audienceAt(0, 0, 1280, 720); }, 20)) << log_.text();
    pressPanicKeys();
    ASSERT_TRUE(pumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(audience())); }, 10)) << log_.text();
    EXPECT_TRUE(log_.hasLine("panic hotkey — hiding the audience window"));

    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(grabElsewhere(other, true)) << "the hotkey was not given back";
    // Held by someone else now: the next show says so and the keys do nothing here.
    show(0);
    ASSERT_TRUE(pumpUntil([&] { return log_.hasLine("audience shown; panic hotkey Ctrl+Alt+Shift+A registered=0"); },
                          10))
        << log_.text();
    pressPanicKeys();
    pumpUntil([] { return false; }, 0.5);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(audience())));
    grabElsewhere(other, false);
    XCloseDisplay(other);
}

// A whole load-to-release cycle leaves nothing running: no web process, no
// window, and no thread beyond those the toolkit keeps for the process.
TEST_F(AudienceE2E, ReleaseLeavesNoThreadWindowOrWebProcessBehind) {
    const auto threads = [] {
        int n = 0;
        for ([[maybe_unused]] const auto& t : fs::directory_iterator("/proc/self/task")) ++n;
        return n;
    };
    const auto cycle = [&] {
        show(1);
        ASSERT_TRUE(pumpUntil([&] { return countOccurrences(log_.text(), "env probe        ") >= 2; }, 60))
            << log_.text();
        release();
        EXPECT_EQ(countOccurrences(log_.text(), "  WM_DESTROY\n"), 1) << "the main window says once that it goes";
        EXPECT_TRUE(pumpUntil([] { return webProcessChildren() == 0; }, 10)) << "web process left behind";
        EXPECT_EQ(qktest::toplevelsTitled("QuorvaleKaraoke"), 0);
        EXPECT_EQ(qktest::toplevelsTitled(kTitle), 0);
    };
    cycle();
    pumpUntil([] { return false; }, 1);
    const int settled = threads();
    // The second time round starts from a process the toolkit has already set up.
    log_.clear();
    open();
    ASSERT_TRUE(pumpUntil([&] { return log_.text().find("env probe") != std::string::npos; }, 60)) << log_.text();
    EXPECT_GT(threads(), settled) << "the plug-in runs a file worker while loaded";
    cycle();
    EXPECT_TRUE(pumpUntil([&] { return threads() <= settled; }, 10)) << threads() << " threads, " << settled
                                                                       << " before";
}

}  // namespace
