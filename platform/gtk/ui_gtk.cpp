// The UI backend on GTK 3 and WebKitGTK 4.1. The thread that runs the default
// GLib main context is the UI thread: every GTK and WebKit call here happens on
// it. Other threads reach it only through a window's post queue, which wakes the
// main context with an idle source and keeps the records itself so that a drain
// takes exactly what has not been delivered yet.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>
// After GTK: the X11 headers define macros (None, Bool, Status) that GTK's
// headers must not see.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "platform/monitors.h"
#include "platform/shell.h"
#include "platform/ui_loop.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace qk::platform {
namespace {

constexpr char kBridgeHandlerName[] = "qkbridge";

// Pages talk through window.chrome.webview.postMessage wherever they run; here it
// forwards to the WebKit message handler, whose value arrives as JSON text.
constexpr char kPostMessageShim[] =
    "(function(){var h=window.webkit&&window.webkit.messageHandlers&&window.webkit.messageHandlers.qkbridge;"
    "if(!h)return;window.chrome=window.chrome||{};if(window.chrome.webview)return;"
    "window.chrome.webview={postMessage:function(m){h.postMessage(m===undefined?null:m);},"
    "addEventListener:function(){},removeEventListener:function(){}};})();";

// Runs `fn` once on the UI thread, later (never inside the caller's frame).
void runLaterOnUiThread(std::function<void()> fn) {
    auto* heap = new std::function<void()>(std::move(fn));
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            try {
                (*static_cast<std::function<void()>*>(data))();
            } catch (...) {
                // A UI callback must not unwind through GLib; the caller's own
                // handlers log what they can.
            }
            return G_SOURCE_REMOVE;
        },
        heap, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

// ---- posting ---------------------------------------------------------------

class PostQueue final : public PostTarget, public std::enable_shared_from_this<PostQueue> {
public:
    bool post(int message, std::unique_ptr<PostedRecord> record) override {
        {
            std::lock_guard lock(mutex_);
            if (closed_) return false;
            queue_.emplace_back(message, std::move(record));
            if (scheduled_) return true;
            scheduled_ = true;
        }
        auto* keep = new std::shared_ptr<PostQueue>(shared_from_this());
        g_idle_add_full(G_PRIORITY_DEFAULT, &PostQueue::deliverAll, keep,
                        [](gpointer data) { delete static_cast<std::shared_ptr<PostQueue>*>(data); });
        return true;
    }

    // UI thread.
    void setEvents(WindowEvents* events) { events_ = events; }

    std::vector<std::unique_ptr<PostedRecord>> drain(int message) {
        std::vector<std::unique_ptr<PostedRecord>> out;
        std::lock_guard lock(mutex_);
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (it->first == message) {
                out.push_back(std::move(it->second));
                it = queue_.erase(it);
            } else {
                ++it;
            }
        }
        return out;
    }

    // The window is going: later posts fail, and what is queued is destroyed here.
    void close() {
        std::deque<Entry> dropped;
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            dropped.swap(queue_);
        }
        events_ = nullptr;
    }

private:
    using Entry = std::pair<int, std::unique_ptr<PostedRecord>>;

    static gboolean deliverAll(gpointer data) {
        PostQueue& self = **static_cast<std::shared_ptr<PostQueue>*>(data);
        for (;;) {
            Entry entry;
            {
                std::lock_guard lock(self.mutex_);
                if (self.queue_.empty()) {
                    self.scheduled_ = false;
                    break;
                }
                entry = std::move(self.queue_.front());
                self.queue_.pop_front();
            }
            if (self.events_ == nullptr) continue;  // detached: destroyed undelivered
            try {
                self.events_->onPosted(entry.first, std::move(entry.second));
            } catch (...) {
            }
        }
        return G_SOURCE_REMOVE;
    }

    std::mutex mutex_;
    std::deque<Entry> queue_;
    bool closed_ = false;
    bool scheduled_ = false;
    WindowEvents* events_ = nullptr;
};

// ---- windows ---------------------------------------------------------------

class GtkTopWindow final : public Window {
public:
    explicit GtkTopWindow(const WindowOptions& options)
        : widget_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
          queue_(std::make_shared<PostQueue>()),
          normal_{options.x, options.y, options.x + options.width, options.y + options.height} {
        g_object_ref_sink(widget_);
        background_ = options.background;
        GtkWindow* w = GTK_WINDOW(widget_);
        gtk_window_set_title(w, options.title.c_str());
        gtk_window_set_role(w, options.className.c_str());
        gtk_window_set_default_size(w, options.width, options.height);
        gtk_window_move(w, options.x, options.y);
        if (options.overlay) makeOverlay(w);
        gtk_widget_set_app_paintable(widget_, TRUE);
        g_signal_connect(widget_, "draw", G_CALLBACK(&GtkTopWindow::onDraw), this);
        g_signal_connect(widget_, "delete-event", G_CALLBACK(&GtkTopWindow::onDelete), this);
        g_signal_connect(widget_, "destroy", G_CALLBACK(&GtkTopWindow::onDestroySignal), this);
        g_signal_connect(widget_, "configure-event", G_CALLBACK(&GtkTopWindow::onConfigure), this);
        g_signal_connect(widget_, "window-state-event", G_CALLBACK(&GtkTopWindow::onState), this);
        g_signal_connect(widget_, "show", G_CALLBACK(&GtkTopWindow::onShow), this);
        g_signal_connect(widget_, "hide", G_CALLBACK(&GtkTopWindow::onHide), this);
    }

    ~GtkTopWindow() override {
        // The widget's own "destroy" comes only after its handlers are gone, so the
        // events hear of the end here, while they are still attached.
        notify([](WindowEvents& e) { e.onDestroy(); });
        queue_->close();
        events_ = nullptr;
        if (moveTimer_ != 0) g_source_remove(moveTimer_);
        for (const auto& [id, source] : timers_) g_source_remove(source);
        while (!hotkeys_.empty()) unregisterHotkey(hotkeys_.begin()->first);
        g_signal_handlers_disconnect_by_data(widget_, this);
        gtk_widget_destroy(widget_);
        g_object_unref(widget_);
    }

    void* nativeHandle() const override { return widget_; }
    void setEvents(WindowEvents* events) override {
        events_ = events;
        queue_->setEvents(events);
    }
    void show(bool maximised) override {
        if (maximised) gtk_window_maximize(GTK_WINDOW(widget_));
        gtk_widget_show(widget_);
    }
    void hide() override { gtk_widget_hide(widget_); }
    bool isVisible() const override { return gtk_widget_get_visible(widget_) != FALSE; }
    bool isEmbedded() const override { return false; }
    bool isForeground() const override { return gtk_window_is_active(GTK_WINDOW(widget_)) != FALSE; }
    void bringToForeground() override { gtk_window_present(GTK_WINDOW(widget_)); }
    WindowRect normalRect() const override { return normal_; }
    void setNormalRect(const WindowRect& r) override {
        normal_ = r;
        gtk_window_move(GTK_WINDOW(widget_), r.left, r.top);
        gtk_window_resize(GTK_WINDOW(widget_), std::max(1, r.right - r.left), std::max(1, r.bottom - r.top));
    }
    bool isMaximised() const override { return (state_ & GDK_WINDOW_STATE_MAXIMIZED) != 0; }
    bool isMinimised() const override { return (state_ & GDK_WINDOW_STATE_ICONIFIED) != 0; }
    bool isOnAnyMonitor() const override {
        for (const MonitorInfo& m : listMonitors())
            if (normal_.left < m.right && normal_.right > m.left && normal_.top < m.bottom && normal_.bottom > m.top)
                return true;
        return false;
    }
    void showWithoutFocus() override {
        gtk_window_set_focus_on_map(GTK_WINDOW(widget_), FALSE);
        gtk_widget_show(widget_);
    }
    void placeOnTop(const WindowRect& r) override {
        gtk_window_move(GTK_WINDOW(widget_), r.left, r.top);
        gtk_window_resize(GTK_WINDOW(widget_), std::max(1, r.right - r.left), std::max(1, r.bottom - r.top));
        keepOnTop();
    }
    void keepOnTop() override {
        gtk_window_set_keep_above(GTK_WINDOW(widget_), TRUE);
        // Raising restacks without touching the focus (gtk_window_present would take it).
        if (GdkWindow* g = gtk_widget_get_window(widget_)) gdk_window_raise(g);
    }

    void startTimer(int id, unsigned periodMs) override {
        stopTimer(id);
        auto* tick = new TimerTick{this, id};
        timers_[id] = g_timeout_add_full(
            G_PRIORITY_DEFAULT, periodMs,
            [](gpointer data) -> gboolean {
                auto* t = static_cast<TimerTick*>(data);
                const int timerId = t->id;
                t->window->notify([timerId](WindowEvents& e) { e.onTimer(timerId); });
                return G_SOURCE_CONTINUE;
            },
            tick, [](gpointer data) { delete static_cast<TimerTick*>(data); });
    }
    void stopTimer(int id) override {
        const auto it = timers_.find(id);
        if (it == timers_.end()) return;
        g_source_remove(it->second);
        timers_.erase(it);
    }

    bool registerHotkey(int id, unsigned modifiers, unsigned key) override {
        unregisterHotkey(id);
        GdkDisplay* display = gtk_widget_get_display(widget_);
        // Wayland gives applications no global keys; other back ends neither.
        if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return false;
        Display* x = GDK_DISPLAY_XDISPLAY(display);
        KeySym sym = NoSymbol;
        if (key >= 'A' && key <= 'Z') sym = XK_a + (key - 'A');
        if (key >= '0' && key <= '9') sym = XK_0 + (key - '0');
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(x, sym);
        if (code == 0) return false;
        unsigned mask = 0;
        if ((modifiers & kHotkeyAlt) != 0) mask |= Mod1Mask;
        if ((modifiers & kHotkeyControl) != 0) mask |= ControlMask;
        if ((modifiers & kHotkeyShift) != 0) mask |= ShiftMask;
        // The key must work with Caps Lock and Num Lock on too: one grab each.
        gdk_x11_display_error_trap_push(display);
        for (const unsigned locks : kLockMasks)
            XGrabKey(x, code, mask | locks, DefaultRootWindow(x), False, GrabModeAsync, GrabModeAsync);
        XSync(x, False);
        if (gdk_x11_display_error_trap_pop(display) != 0) {
            // Another program holds some of them (BadAccess): give back what we got.
            ungrab(display, code, mask);
            return false;
        }
        if (hotkeys_.empty()) gdk_window_add_filter(nullptr, &GtkTopWindow::onXEvent, this);
        hotkeys_[id] = {code, mask};
        return true;
    }
    void unregisterHotkey(int id) override {
        const auto it = hotkeys_.find(id);
        if (it == hotkeys_.end()) return;
        ungrab(gtk_widget_get_display(widget_), it->second.code, it->second.mask);
        hotkeys_.erase(it);
        if (hotkeys_.empty()) gdk_window_remove_filter(nullptr, &GtkTopWindow::onXEvent, this);
    }

    std::shared_ptr<PostTarget> postTarget() override { return queue_; }
    std::vector<std::unique_ptr<PostedRecord>> drainPosted(int message) override { return queue_->drain(message); }

private:
    struct TimerTick {
        GtkTopWindow* window;
        int id;
    };
    struct Grab {
        unsigned code = 0;
        unsigned mask = 0;
    };
    static constexpr std::array<unsigned, 4> kLockMasks{0u, LockMask, Mod2Mask, LockMask | Mod2Mask};
    static constexpr unsigned kHotkeyMasks = ControlMask | ShiftMask | Mod1Mask | Mod4Mask;

    void makeOverlay(GtkWindow* w) {
        overlay_ = true;
        gtk_window_set_decorated(w, FALSE);
        gtk_window_set_skip_taskbar_hint(w, TRUE);
        gtk_window_set_skip_pager_hint(w, TRUE);
        gtk_window_set_keep_above(w, TRUE);
        gtk_window_set_accept_focus(w, FALSE);
        gtk_window_set_focus_on_map(w, FALSE);
        // A visual with an alpha channel lets the desktop show through; without
        // one (no compositing) the window is simply black where nothing paints.
        if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(widget_)))
            gtk_widget_set_visual(widget_, rgba);
    }

    static void ungrab(GdkDisplay* display, unsigned code, unsigned mask) {
        if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
        Display* x = GDK_DISPLAY_XDISPLAY(display);
        gdk_x11_display_error_trap_push(display);
        for (const unsigned locks : kLockMasks) XUngrabKey(x, static_cast<int>(code), mask | locks, DefaultRootWindow(x));
        XSync(x, False);
        gdk_x11_display_error_trap_pop_ignored(display);
    }

    // Sees every X event before GDK does; the grabbed keys arrive on the root window.
    static GdkFilterReturn onXEvent(GdkXEvent* native, GdkEvent*, gpointer data) {
        auto* self = static_cast<GtkTopWindow*>(data);
        const auto* ev = static_cast<const XEvent*>(native);
        if (ev->type != KeyPress) return GDK_FILTER_CONTINUE;
        for (const auto& [id, grab] : self->hotkeys_) {
            if (ev->xkey.keycode == grab.code && (ev->xkey.state & kHotkeyMasks) == grab.mask) {
                const int hotkeyId = id;
                self->notify([hotkeyId](WindowEvents& e) { e.onHotkey(hotkeyId); });
                return GDK_FILTER_REMOVE;
            }
        }
        return GDK_FILTER_CONTINUE;
    }

    template <typename F>
    void notify(F&& f) {
        if (events_ == nullptr) return;
        try {
            f(*events_);
        } catch (...) {
        }
    }

    static gboolean onDraw(GtkWidget*, cairo_t* cr, GtkTopWindow* self) {
        if (self->overlay_) {
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
            cairo_paint(cr);
            return FALSE;
        }
        const std::uint32_t c = self->background_;
        cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0);
        cairo_paint(cr);
        return FALSE;  // children draw over it
    }
    static gboolean onDelete(GtkWidget*, GdkEvent*, GtkTopWindow* self) {
        self->notify([](WindowEvents& e) { e.onClose(); });
        return TRUE;  // closing never destroys the window
    }
    static void onDestroySignal(GtkWidget*, GtkTopWindow* self) {
        self->notify([](WindowEvents& e) { e.onDestroy(); });
    }
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure* ev, GtkTopWindow* self) {
        if ((self->state_ & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED |
                             GDK_WINDOW_STATE_FULLSCREEN)) == 0) {
            int x = 0, y = 0;
            gtk_window_get_position(GTK_WINDOW(self->widget_), &x, &y);
            self->normal_ = {x, y, x + ev->width, y + ev->height};
        }
        if (ev->width != self->width_ || ev->height != self->height_) {
            self->width_ = ev->width;
            self->height_ = ev->height;
            const SizeKind kind = self->sizeKind();
            self->notify([kind](WindowEvents& e) { e.onResize(kind); });
        }
        // X11 has no "the user let go of the frame" event: a quiet spell after the
        // last configure stands for it.
        if (self->moveTimer_ != 0) g_source_remove(self->moveTimer_);
        self->moveTimer_ = g_timeout_add(300, &GtkTopWindow::onMoveSizeQuiet, self);
        return FALSE;
    }
    static gboolean onMoveSizeQuiet(gpointer data) {
        auto* self = static_cast<GtkTopWindow*>(data);
        self->moveTimer_ = 0;
        self->notify([](WindowEvents& e) { e.onMoveSizeEnd(); });
        return G_SOURCE_REMOVE;
    }
    static gboolean onState(GtkWidget*, GdkEventWindowState* ev, GtkTopWindow* self) {
        self->state_ = ev->new_window_state;
        if ((ev->changed_mask & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED)) != 0) {
            const SizeKind kind = self->sizeKind();
            self->notify([kind](WindowEvents& e) { e.onResize(kind); });
        }
        return FALSE;
    }
    static void onShow(GtkWidget*, GtkTopWindow* self) {
        self->notify([](WindowEvents& e) { e.onShowChanged(true); });
    }
    static void onHide(GtkWidget*, GtkTopWindow* self) {
        self->notify([](WindowEvents& e) { e.onShowChanged(false); });
    }

    SizeKind sizeKind() const {
        if ((state_ & GDK_WINDOW_STATE_ICONIFIED) != 0) return SizeKind::Minimized;
        if ((state_ & GDK_WINDOW_STATE_MAXIMIZED) != 0) return SizeKind::Maximized;
        return SizeKind::Restored;
    }

    GtkWidget* widget_;
    std::shared_ptr<PostQueue> queue_;
    WindowEvents* events_ = nullptr;
    std::uint32_t background_ = 0;
    int width_ = -1, height_ = -1;
    GdkWindowState state_ = static_cast<GdkWindowState>(0);
    guint moveTimer_ = 0;
    WindowRect normal_;
    bool overlay_ = false;
    std::map<int, guint> timers_;
    std::map<int, Grab> hotkeys_;
};

// ---- web views -------------------------------------------------------------

class GtkWebView;

// What the signal handlers of one web view reach. It belongs to the WebKit view
// object (freed with it), so a handler never sees a freed wrapper.
struct ViewCore {
    std::weak_ptr<GtkWebView> self;
    std::shared_ptr<WebViewEvents> events;
    bool webMessages = true;
};

class GtkWebView final : public WebView, public std::enable_shared_from_this<GtkWebView> {
public:
    GtkWebView(WebKitWebView* view, WebKitUserContentManager* content) : view_(view), content_(content) {
        g_object_ref(content_);
        core_ = new ViewCore;
        g_object_set_data_full(G_OBJECT(view_), "qk-core", core_, [](gpointer p) { delete static_cast<ViewCore*>(p); });
    }
    void attach() {
        core_->self = weak_from_this();
        g_signal_connect(content_, "script-message-received::qkbridge", G_CALLBACK(&GtkWebView::onMessage), core_);
        g_signal_connect(view_, "decide-policy", G_CALLBACK(&GtkWebView::onDecidePolicy), core_);
        g_signal_connect(view_, "create", G_CALLBACK(&GtkWebView::onCreate), core_);
        g_signal_connect(view_, "load-changed", G_CALLBACK(&GtkWebView::onLoadChanged), core_);
    }

    ~GtkWebView() override {
        // The last share may go on a thread that answered the page: the GTK
        // objects are let go on the UI thread.
        WebKitWebView* view = view_;
        WebKitUserContentManager* content = content_;
        runLaterOnUiThread([view, content] {
            g_object_unref(content);
            g_object_unref(view);
        });
    }

    void close() override {
        if (closed_) return;
        closed_ = true;
        g_signal_handlers_disconnect_by_data(content_, core_);
        g_signal_handlers_disconnect_by_data(view_, core_);
        core_->events.reset();
        webkit_web_view_try_close(view_);
        if (GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(view_)))
            gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(view_));
    }

    void configure(const WebViewSettings& s, std::shared_ptr<WebViewEvents> events) override {
        if (closed_) return;
        WebKitSettings* settings = webkit_web_view_get_settings(view_);
        webkit_settings_set_enable_javascript(settings, s.scriptsEnabled);
        webkit_settings_set_enable_developer_extras(settings, s.devToolsEnabled);
        webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
        if (!s.defaultScriptDialogsEnabled)
            g_signal_connect(view_, "script-dialog", G_CALLBACK(+[](WebKitWebView*, WebKitScriptDialog*) -> gboolean {
                                 return TRUE;
                             }),
                             core_);
        core_->webMessages = s.webMessagesEnabled;
        core_->events = std::move(events);
    }

    void executeScript(const std::string& script) override { executeScript(script, nullptr); }

    void executeScript(const std::string& script, std::function<void(std::optional<std::string>)> done) override {
        if (closed_) return;
        auto* heap = done ? new std::function<void(std::optional<std::string>)>(std::move(done)) : nullptr;
        webkit_web_view_evaluate_javascript(
            view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
            heap == nullptr ? nullptr : &GtkWebView::onScriptDone, heap);
    }

    void navigate(const std::string& url) override {
        if (!closed_) webkit_web_view_load_uri(view_, url.c_str());
    }
    void navigateToString(const std::string& html) override {
        if (!closed_) webkit_web_view_load_html(view_, html.c_str(), nullptr);
    }
    bool setTransparentBackground() override {
        if (closed_) return false;
        const GdkRGBA clear{0, 0, 0, 0};
        webkit_web_view_set_background_color(view_, &clear);
        return true;
    }
    void fitToWindow() override {
        // The view fills its window as the window's only child; GTK keeps it fitted.
    }

private:
    static void onScriptDone(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::function<void(std::optional<std::string>)>> done(
            static_cast<std::function<void(std::optional<std::string>)>*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        std::optional<std::string> json;
        if (value != nullptr) {
            if (!jsc_value_is_undefined(value)) {
                gchar* text = jsc_value_to_json(value, 0);
                if (text != nullptr) json = std::string(text);
                g_free(text);
            }
            g_object_unref(value);
        }
        if (error != nullptr) g_error_free(error);
        try {
            (*done)(std::move(json));
        } catch (...) {
        }
    }

    static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, ViewCore* core) {
        if (!core->events || !core->webMessages || result == nullptr) return;
        auto sender = core->self.lock();
        if (!sender) return;
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        if (value == nullptr) return;
        gchar* json = jsc_value_to_json(value, 0);
        if (json == nullptr) return;
        std::shared_ptr<WebViewEvents> events = core->events;
        try {
            events->onWebMessage(sender, json);
        } catch (...) {
        }
        g_free(json);
    }

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   ViewCore* core) {
        if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
            type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
            return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
        const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
        std::shared_ptr<WebViewEvents> events = core->events;
        try {
            if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
                // The engine never opens a window of its own.
                webkit_policy_decision_ignore(decision);
                if (events && uri != nullptr) events->onNewWindowRequested(uri);
                return TRUE;
            }
            if (!events || uri == nullptr) return FALSE;
            if (!events->onNavigationStarting(uri)) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
        } catch (...) {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        return FALSE;
    }

    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, ViewCore* core) {
        WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
        const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
        std::shared_ptr<WebViewEvents> events = core->events;
        try {
            if (events && uri != nullptr) events->onNewWindowRequested(uri);
        } catch (...) {
        }
        return nullptr;
    }

    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, ViewCore* core) {
        if (event != WEBKIT_LOAD_FINISHED) return;
        std::shared_ptr<WebViewEvents> events = core->events;
        auto sender = core->self.lock();
        if (!events || !sender) return;
        try {
            events->onNavigationCompleted(sender);
        } catch (...) {
        }
    }

    WebKitWebView* view_;
    WebKitUserContentManager* content_;
    ViewCore* core_;
    bool closed_ = false;
};

class GtkEnvironment final : public WebViewEnvironment {
public:
    explicit GtkEnvironment(WebKitWebContext* context) : context_(context) {}
    ~GtkEnvironment() override { g_object_unref(context_); }

    void createWebView(Window& parent, WebViewDone done) override {
        WebKitUserContentManager* content = webkit_user_content_manager_new();
        webkit_user_content_manager_register_script_message_handler(content, kBridgeHandlerName);
        WebKitUserScript* shim =
            webkit_user_script_new(kPostMessageShim, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, shim);
        webkit_user_script_unref(shim);
        auto* view = WEBKIT_WEB_VIEW(
            g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "user-content-manager", content, nullptr));
        g_object_ref_sink(view);
        GdkRGBA background{0.078, 0.063, 0.051, 1.0};  // #14100d until the page paints
        webkit_web_view_set_background_color(view, &background);
        gtk_container_add(GTK_CONTAINER(parent.nativeHandle()), GTK_WIDGET(view));
        gtk_widget_show(GTK_WIDGET(view));
        // The page takes the keys its window gets: typing works without a click first.
        gtk_widget_grab_focus(GTK_WIDGET(view));
        auto wrapper = std::make_shared<GtkWebView>(view, content);
        wrapper->attach();
        g_object_unref(content);
        runLaterOnUiThread([done = std::move(done), wrapper]() mutable { done(0, std::move(wrapper)); });
    }

private:
    WebKitWebContext* context_;
};

class GtkUiLoop final : public UiLoop {
public:
    std::unique_ptr<Window> createWindow(const WindowOptions& options, unsigned long* error) override {
        if (!ensureGtk()) {
            if (error) *error = 1;
            return nullptr;
        }
        return std::make_unique<GtkTopWindow>(options);
    }

    std::string webEngineVersion() override {
        return std::to_string(webkit_get_major_version()) + "." + std::to_string(webkit_get_minor_version()) + "." +
               std::to_string(webkit_get_micro_version());
    }

    long createWebViewEnvironment(const std::string& userDataFolder, EnvironmentDone done) override {
        if (!ensureGtk()) return 1;
        WebKitWebsiteDataManager* data = nullptr;
        if (!userDataFolder.empty()) {
            const std::string cache = userDataFolder + "/cache";
            data = webkit_website_data_manager_new("base-data-directory", userDataFolder.c_str(),
                                                   "base-cache-directory", cache.c_str(), nullptr);
        } else {
            data = webkit_website_data_manager_new(nullptr);
        }
        WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
        g_object_unref(data);
        auto env = std::make_shared<GtkEnvironment>(context);
        runLaterOnUiThread([done = std::move(done), env]() mutable { done(0, std::move(env)); });
        return 0;
    }

private:
    static bool ensureGtk() {
        static const bool ok = gtk_init_check(nullptr, nullptr) != FALSE;
        return ok;
    }
};

// ---- shell -----------------------------------------------------------------

class GtkShell final : public Shell {
public:
    bool openWebLink(const std::string& url) override {
        GError* error = nullptr;
        const bool ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error) != FALSE;
        if (error != nullptr) g_error_free(error);
        return ok;
    }

    std::string pickPath(PickKind kind, const std::string& title, const std::string& startFolder,
                         Window* owner) override {
        if (gdk_display_get_default() == nullptr) return {};
        GtkWindow* parent = owner ? GTK_WINDOW(owner->nativeHandle()) : nullptr;
        GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
            title.c_str(), parent,
            kind == PickKind::Folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, nullptr,
            nullptr);
        gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
        if (!startFolder.empty() && g_file_test(startFolder.c_str(), G_FILE_TEST_IS_DIR))
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), startFolder.c_str());
        std::string chosen;
        if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
            gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
            if (name != nullptr) chosen = name;
            g_free(name);
        }
        g_object_unref(chooser);
        return chosen;
    }
};

bool displayNamed() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

std::unique_ptr<UiLoop> createUiLoop() {
    // Without a display there is nothing to open; the plug-in then runs without
    // windows. GTK itself starts on the UI thread, at the first window.
    if (!displayNamed()) return nullptr;
    return std::make_unique<GtkUiLoop>();
}

std::unique_ptr<Shell> createShell() { return std::make_unique<GtkShell>(); }

std::vector<MonitorInfo> listMonitors() {
    if (const char* layout = std::getenv("QK_MONITORS"))
        if (auto standIn = parseMonitorLayout(layout)) return *standIn;
    std::vector<MonitorInfo> out;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return out;
    const int n = gdk_display_get_n_monitors(display);
    for (int i = 0; i < n; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle r;
        gdk_monitor_get_geometry(monitor, &r);
        MonitorInfo info;
        info.left = r.x;
        info.top = r.y;
        info.right = r.x + r.width;
        info.bottom = r.y + r.height;
        info.primary = gdk_monitor_is_primary(monitor) != FALSE;
        if (const char* model = gdk_monitor_get_model(monitor)) info.deviceName = model;
        out.push_back(std::move(info));
    }
    return out;
}

}  // namespace qk::platform
