// Top-level windows on Win32. Each window keeps its seam object in its user data
// (GWLP_USERDATA) and turns its messages into WindowEvents calls on the thread
// that made it. Records from other threads arrive as posted messages in the
// application range whose lParam is the record; the post target refuses them
// once the window is going, and whatever is still queued then is freed here,
// since the system drops a destroyed window's messages without a word.
#include "platform/win32/window_win32.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/monitors.h"
#include "platform/win32/wide_path.h"

namespace qk::platform::win32 {
namespace {

// The message numbers a record may travel under: the application range.
constexpr UINT kFirstRecordMessage = WM_APP;
constexpr UINT kLastRecordMessage = 0xBFFF;

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Window classes are registered by the first window of a class and given back by
// its last one: a class outliving the module would keep a procedure address that
// points into a library the host may have unloaded.
class ClassRegistry {
public:
    bool acquire(const std::wstring& name, bool overlay) {
        std::lock_guard lock(mutex_);
        int& users = users_[name];
        if (users == 0) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.style = overlay ? 0 : CS_HREDRAW | CS_VREDRAW;
            wc.lpfnWndProc = &windowProcedure;
            wc.hInstance = thisModule();
            wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));  // a resource number
            wc.lpszClassName = name.c_str();
            // Another copy of the class from this module counts as ours.
            if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
                users_.erase(name);
                return false;
            }
        }
        ++users;
        return true;
    }
    void release(const std::wstring& name) {
        std::lock_guard lock(mutex_);
        const auto it = users_.find(name);
        if (it == users_.end() || --it->second > 0) return;
        users_.erase(it);
        ::UnregisterClassW(name.c_str(), thisModule());
    }

private:
    std::mutex mutex_;
    std::map<std::wstring, int> users_;
};

ClassRegistry& classes() {
    static ClassRegistry registry;
    return registry;
}

// Shared with every thread that posts; the lock makes "closed" and PostMessageW
// one step, so no record lands in the queue after the window has swept it.
class Win32PostTarget final : public PostTarget {
public:
    explicit Win32PostTarget(HWND hwnd) : hwnd_(hwnd) {}

    bool post(int message, std::unique_ptr<PostedRecord> record) override {
        const auto number = static_cast<UINT>(message);
        if (number < kFirstRecordMessage || number > kLastRecordMessage) return false;
        std::lock_guard lock(mutex_);
        if (hwnd_ == nullptr) return false;
        PostedRecord* raw = record.release();
        if (::PostMessageW(hwnd_, number, 0, reinterpret_cast<LPARAM>(raw))) return true;
        delete raw;  // the queue refused it (full, or the window is gone)
        return false;
    }

    void close() {
        std::lock_guard lock(mutex_);
        hwnd_ = nullptr;
    }

private:
    std::mutex mutex_;
    HWND hwnd_;
};

class Win32Window final : public Window {
public:
    Win32Window(const WindowOptions& options, std::wstring className)
        : className_(std::move(className)),
          overlay_(options.overlay),
          background_(
              RGB((options.background >> 16) & 0xFF, (options.background >> 8) & 0xFF, options.background & 0xFF)) {}

    bool create(const WindowOptions& options, unsigned long* error) {
        const DWORD exStyle =
            options.overlay ? WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST : 0;
        const DWORD style = options.overlay ? WS_POPUP | WS_CLIPCHILDREN : WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
        const std::wstring title = widen(options.title);
        hwnd_ = ::CreateWindowExW(exStyle, className_.c_str(), title.c_str(), style, options.x, options.y,
                                  options.width, options.height, nullptr, nullptr, thisModule(), this);
        if (hwnd_ == nullptr) {
            if (error) *error = ::GetLastError();
            return false;
        }
        target_ = std::make_shared<Win32PostTarget>(hwnd_);
        return true;
    }

    ~Win32Window() override {
        if (hwnd_ != nullptr) {
            target_->close();
            // Records that will never be delivered: freed here, undelivered.
            for (auto& record : takeQueued(kFirstRecordMessage, kLastRecordMessage)) record.reset();
            for (const auto& [id, modifiers] : hotkeys_) ::UnregisterHotKey(hwnd_, id);
            // WM_DESTROY reaches the events while they are still attached.
            ::DestroyWindow(hwnd_);
        }
        classes().release(className_);
    }

    void* nativeHandle() const override { return hwnd_; }
    void setEvents(WindowEvents* events) override { events_ = events; }

    void show(bool maximised) override { ::ShowWindow(hwnd_, maximised ? SW_SHOWMAXIMIZED : SW_SHOW); }
    void hide() override { ::ShowWindow(hwnd_, SW_HIDE); }
    bool isVisible() const override { return ::IsWindowVisible(hwnd_) != FALSE; }
    bool isEmbedded() const override { return (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD) != 0; }
    bool isForeground() const override { return ::GetForegroundWindow() == hwnd_; }
    void bringToForeground() override { ::SetForegroundWindow(hwnd_); }

    WindowRect normalRect() const override {
        WINDOWPLACEMENT p{};
        p.length = sizeof p;
        if (!::GetWindowPlacement(hwnd_, &p)) return {};
        return {p.rcNormalPosition.left, p.rcNormalPosition.top, p.rcNormalPosition.right, p.rcNormalPosition.bottom};
    }
    void setNormalRect(const WindowRect& r) override {
        WINDOWPLACEMENT p{};
        p.length = sizeof p;
        if (!::GetWindowPlacement(hwnd_, &p)) return;
        p.rcNormalPosition = {r.left, r.top, r.right, r.bottom};
        // The system pulls a rectangle that lies off every monitor back on
        // screen as it applies it, so whether it was on one is decided here.
        requestedOnMonitor_ = onAnyMonitor(r);
        // Applying a placement shows the window in its show state: a hidden
        // window stays hidden.
        if (!isVisible()) p.showCmd = SW_HIDE;
        ::SetWindowPlacement(hwnd_, &p);
    }
    bool isMaximised() const override { return ::IsZoomed(hwnd_) != FALSE; }
    bool isMinimised() const override { return ::IsIconic(hwnd_) != FALSE; }
    bool isOnAnyMonitor() const override { return requestedOnMonitor_ && onAnyMonitor(normalRect()); }

    void showWithoutFocus() override { ::ShowWindow(hwnd_, SW_SHOWNA); }
    void placeOnTop(const WindowRect& r) override {
        ::SetWindowPos(hwnd_, HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
    }
    void keepOnTop() override {
        ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    void startTimer(int id, unsigned periodMs) override {
        // SetTimer with a running id restarts it with the new period.
        if (::SetTimer(hwnd_, static_cast<UINT_PTR>(id), periodMs, nullptr) != 0) timers_.insert(id);
    }
    void stopTimer(int id) override {
        if (timers_.erase(id) != 0) ::KillTimer(hwnd_, static_cast<UINT_PTR>(id));
    }

    bool registerHotkey(int id, unsigned modifiers, unsigned key) override {
        unregisterHotkey(id);
        // The seam's modifier bits are the system's MOD_ALT, MOD_CONTROL and MOD_SHIFT.
        if (!::RegisterHotKey(hwnd_, id, modifiers, key)) return false;
        hotkeys_[id] = modifiers;
        return true;
    }
    void unregisterHotkey(int id) override {
        if (hotkeys_.erase(id) != 0) ::UnregisterHotKey(hwnd_, id);
    }

    std::shared_ptr<PostTarget> postTarget() override { return target_; }
    std::vector<std::unique_ptr<PostedRecord>> drainPosted(int message) override {
        const auto number = static_cast<UINT>(message);
        if (number < kFirstRecordMessage || number > kLastRecordMessage) return {};
        return takeQueued(number, number);
    }

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_PAINT: paint(); return 0;
            case WM_SIZE:
                notify([kind = sizeKind(wParam)](WindowEvents& e) { e.onResize(kind); });
                ::InvalidateRect(hwnd_, nullptr, FALSE);
                return 0;
            case WM_CLOSE:
                // Closing never destroys: the events decide what the window does.
                notify([](WindowEvents& e) { e.onClose(); });
                return 0;
            case WM_DESTROY: notify([](WindowEvents& e) { e.onDestroy(); }); break;
            case WM_SHOWWINDOW: notify([shown = wParam != 0](WindowEvents& e) { e.onShowChanged(shown); }); break;
            case WM_EXITSIZEMOVE: notify([](WindowEvents& e) { e.onMoveSizeEnd(); }); break;
            case WM_HOTKEY:
                if (hotkeys_.count(static_cast<int>(wParam)) == 0) break;
                notify([id = static_cast<int>(wParam)](WindowEvents& e) { e.onHotkey(id); });
                return 0;
            case WM_TIMER:
                if (timers_.count(static_cast<int>(wParam)) == 0) break;
                notify([id = static_cast<int>(wParam)](WindowEvents& e) { e.onTimer(id); });
                return 0;
            case WM_WINDOWPOSCHANGING:
                // The audience window stays above everything, whatever restacks it.
                if (overlay_ && lParam != 0) reinterpret_cast<WINDOWPOS*>(lParam)->hwndInsertAfter = HWND_TOPMOST;
                break;
            default:
                if (message >= kFirstRecordMessage && message <= kLastRecordMessage) {
                    deliver(message, std::unique_ptr<PostedRecord>(reinterpret_cast<PostedRecord*>(lParam)));
                    return 0;
                }
                break;
        }
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }

    void attach(HWND hwnd) { hwnd_ = hwnd; }

private:
    // Against the monitor list, so that a stand-in layout (QK_MONITORS) counts
    // as the desktop.
    static bool onAnyMonitor(const WindowRect& n) {
        for (const MonitorInfo& m : listMonitors())
            if (n.left < m.right && n.right > m.left && n.top < m.bottom && n.bottom > m.top) return true;
        return false;
    }

    static SizeKind sizeKind(WPARAM wParam) {
        switch (wParam) {
            case SIZE_RESTORED: return SizeKind::Restored;
            case SIZE_MINIMIZED: return SizeKind::Minimized;
            case SIZE_MAXIMIZED: return SizeKind::Maximized;
            default: return SizeKind::Other;
        }
    }

    void paint() {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(hwnd_, &ps);
        if (dc != nullptr && !overlay_) {
            // The page covers the client area once it is there; until then, and
            // wherever it does not, the background colour shows.
            RECT client;
            ::GetClientRect(hwnd_, &client);
            const HBRUSH brush = ::CreateSolidBrush(background_);
            ::FillRect(dc, &client, brush);
            ::DeleteObject(brush);
        }
        ::EndPaint(hwnd_, &ps);
    }

    void deliver(UINT message, std::unique_ptr<PostedRecord> record) {
        // Detached: the record is destroyed on arrival, undelivered.
        if (events_ == nullptr) return;
        try {
            events_->onPosted(static_cast<int>(message), std::move(record));
        } catch (...) {
            // Nothing unwinds through the system's dispatch.
        }
    }

    std::vector<std::unique_ptr<PostedRecord>> takeQueued(UINT first, UINT last) {
        std::vector<std::unique_ptr<PostedRecord>> out;
        MSG msg;
        while (::PeekMessageW(&msg, hwnd_, first, last, PM_REMOVE))
            out.emplace_back(reinterpret_cast<PostedRecord*>(msg.lParam));
        return out;
    }

    template <typename F>
    void notify(F&& f) {
        if (events_ == nullptr) return;
        try {
            f(*events_);
        } catch (...) {
        }
    }

    std::wstring className_;
    bool overlay_;
    COLORREF background_;
    HWND hwnd_ = nullptr;
    bool requestedOnMonitor_ = true;
    WindowEvents* events_ = nullptr;
    std::shared_ptr<Win32PostTarget> target_;
    std::set<int> timers_;
    std::map<int, unsigned> hotkeys_;
};

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->attach(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self == nullptr) {
        // A record that reaches a window without its object is freed unread.
        if (message >= kFirstRecordMessage && message <= kLastRecordMessage) {
            delete reinterpret_cast<PostedRecord*>(lParam);
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

}  // namespace

std::unique_ptr<Window> createTopWindow(const WindowOptions& options, unsigned long* error) {
    std::wstring className = widen(options.className);
    if (!classes().acquire(className, options.overlay)) {
        if (error) *error = ::GetLastError();
        return nullptr;
    }
    auto window = std::make_unique<Win32Window>(options, std::move(className));
    if (!window->create(options, error)) return nullptr;  // its destructor gives the class back
    return window;
}

}  // namespace qk::platform::win32
