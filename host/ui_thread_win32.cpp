// The host's UI thread on Windows: a thread with a single-threaded COM apartment
// and a message loop, as the DJ host's main thread has. Calls reach it as
// messages to a message-only window of its own; the plug-ins' windows, made on
// it by their callbacks, are served by the same loop.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <future>
#include <map>
#include <thread>

#include "host/ui_thread.h"

namespace qkhost {

namespace {

constexpr UINT kRunCall = WM_APP + 0x100;   // lParam: Call*, run now and signalled
constexpr UINT kRunLater = WM_APP + 0x101;  // wParam: milliseconds, lParam: a heap std::function
constexpr UINT kQuit = WM_APP + 0x102;
constexpr wchar_t kClassName[] = L"QkhostUiThread";

struct Call {
    const std::function<void()>* fn;
    std::promise<void> done;
};

void runGuarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qkhost: UI call failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "qkhost: UI call failed\n");
    }
}

// The timed calls, UI thread only: timer id to the call it stands for.
struct Timed {
    std::map<UINT_PTR, std::function<void()>*> calls;
    UINT_PTR nextId = 1;
};

LRESULT CALLBACK callWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* timed = reinterpret_cast<Timed*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case kRunCall: {
            auto* call = reinterpret_cast<Call*>(lParam);
            runGuarded(*call->fn);
            call->done.set_value();
            return 0;
        }
        case kRunLater: {
            auto* fn = reinterpret_cast<std::function<void()>*>(lParam);
            const UINT_PTR id = timed->nextId++;
            if (::SetTimer(hwnd, id, static_cast<UINT>(wParam), nullptr) == 0) {
                delete fn;
                return 0;
            }
            timed->calls[id] = fn;
            return 0;
        }
        case WM_TIMER: {
            const auto it = timed->calls.find(wParam);
            if (it == timed->calls.end()) break;
            ::KillTimer(hwnd, wParam);
            std::unique_ptr<std::function<void()>> fn(it->second);
            timed->calls.erase(it);
            runGuarded(*fn);
            return 0;
        }
        case kQuit: ::PostQuitMessage(0); return 0;
        default: break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

struct UiThread::State {
    std::thread thread;
    HWND callWindow = nullptr;
    bool running = false;
};

UiThread::UiThread() : state_(std::make_unique<State>()) {}
UiThread::~UiThread() {
    stop();
}

bool UiThread::start(std::string* error) {
    if (state_->running) return true;
    std::promise<HWND> opened;
    auto openedFuture = opened.get_future();
    state_->thread = std::thread([&opened] {
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &callWindowProcedure;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        ::RegisterClassExW(&wc);  // already there from an earlier start: fine
        const HWND window =
            ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        Timed timed;
        if (window != nullptr) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&timed));
        opened.set_value(window);
        if (window == nullptr) {
            if (SUCCEEDED(com)) ::CoUninitialize();
            return;
        }
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        // Timed calls that never came due are let go with the loop.
        for (auto& [id, fn] : timed.calls) {
            ::KillTimer(window, id);
            delete fn;
        }
        ::DestroyWindow(window);
        // Whatever else is still queued for this thread (nothing of the plug-ins,
        // whose windows went at Release) goes with it.
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == kRunLater) delete reinterpret_cast<std::function<void()>*>(msg.lParam);
        }
        if (SUCCEEDED(com)) ::CoUninitialize();
    });
    state_->callWindow = openedFuture.get();
    if (state_->callWindow == nullptr) {
        state_->thread.join();
        if (error) *error = "cannot create the UI thread's window";
        return false;
    }
    state_->running = true;
    return true;
}

bool UiThread::running() const {
    return state_->running;
}

void UiThread::run(const std::function<void()>& fn) {
    if (!state_->running) return;
    Call call{&fn, {}};
    auto done = call.done.get_future();
    if (!::PostMessageW(state_->callWindow, kRunCall, 0, reinterpret_cast<LPARAM>(&call))) return;
    done.wait();
}

void UiThread::runAfter(double seconds, std::function<void()> fn) {
    if (!state_->running) return;
    auto* heap = new std::function<void()>(std::move(fn));
    const auto ms = static_cast<WPARAM>(seconds > 0 ? seconds * 1000 : 0);
    if (!::PostMessageW(state_->callWindow, kRunLater, ms, reinterpret_cast<LPARAM>(heap))) delete heap;
}

void UiThread::stop() {
    if (!state_->running) return;
    state_->running = false;
    ::PostMessageW(state_->callWindow, kQuit, 0, 0);
    state_->thread.join();
    state_->callWindow = nullptr;
}

}  // namespace qkhost
