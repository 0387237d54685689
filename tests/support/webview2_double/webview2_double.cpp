// A stand-in for the WebView2 runtime, built as WebView2Loader.dll (and usable as
// the installed engine's EmbeddedBrowserWebView.dll): it exports the loader's two
// functions and the engine's creation entry, and implements the environment,
// controller, web view, settings and event arguments the backend uses.
//
// Its objects are plain tables of function pointers filled by slot number, as
// the runtime's interface tables are laid out, and share no declaration with
// the backend: a method put in the wrong slot on either side lands in a slot
// that records "unexpected" instead of doing the right thing.
//
// It records what it was asked (qkDoubleRecord, and the file named by
// QK_WEBVIEW2_DOUBLE_LOG when set), and a test drives the page's side through
// the qkDouble* exports: web messages, navigations the page starts, window.open.
// A run in another process (the stand-in host) gets its web messages from the
// file named by QK_WEBVIEW2_DOUBLE_MESSAGES, one JSON text a line, posted after
// the first completed navigation.
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- recording ---------------------------------------------------------------

std::mutex recordMutex;
std::vector<std::string> recorded;
int liveObjects = 0;

std::string utf8(const wchar_t* w) {
    if (w == nullptr) return "(null)";
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string envText(const char* name) {
    char buffer[4096];
    const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n == 0 || n >= sizeof buffer ? std::string() : std::string(buffer, n);
}

void record(std::string line) {
    for (auto& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::lock_guard<std::mutex> lock(recordMutex);
    const std::string file = envText("QK_WEBVIEW2_DOUBLE_LOG");
    if (!file.empty()) {
        if (FILE* f = std::fopen(file.c_str(), "ab")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
    recorded.push_back(std::move(line));
}

wchar_t* coTaskCopy(const std::wstring& s) {
    auto* out = static_cast<wchar_t*>(::CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    if (out != nullptr) std::memcpy(out, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    return out;
}

// ---- later, on the thread that made the environment ---------------------------

HWND laterWindow = nullptr;
constexpr UINT kRunLater = WM_APP + 77;

LRESULT CALLBACK laterProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRunLater) {
        auto* fn = reinterpret_cast<std::function<void()>*>(lParam);
        (*fn)();
        delete fn;
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

// As the runtime does: completions and events come later through the UI thread's
// message loop, never inside the call that asked for them.
void later(std::function<void()> fn) {
    if (laterWindow == nullptr) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = laterProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QkWebView2DoubleLater";
        ::RegisterClassW(&wc);
        laterWindow =
            ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    auto* heap = new std::function<void()>(std::move(fn));
    if (!::PostMessageW(laterWindow, kRunLater, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
}

// ---- objects as tables ----------------------------------------------------------

// Every object starts with its table pointer, as a COM object does.
struct Object {
    void** table;
    LONG refs;
    const char* name;
    void (*destroy)(Object*);
};

void* const* tableOf(void* com) {
    return *static_cast<void* const* const*>(com);
}

// Calls slot 3 (Invoke) of a handler the backend gave.
template <class... Args>
HRESULT invokeHandler(void* handler, Args... args) {
    using Invoke = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
    return reinterpret_cast<Invoke>(tableOf(handler)[3])(handler, args...);
}
ULONG comAddRef(void* com) {
    using Fn = ULONG(STDMETHODCALLTYPE*)(void*);
    return reinterpret_cast<Fn>(tableOf(com)[1])(com);
}
ULONG comRelease(void* com) {
    using Fn = ULONG(STDMETHODCALLTYPE*)(void*);
    return reinterpret_cast<Fn>(tableOf(com)[2])(com);
}
HRESULT comQuery(void* com, const IID& iid, void** out) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, const IID*, void**);
    return reinterpret_cast<Fn>(tableOf(com)[0])(com, &iid, out);
}

ULONG STDMETHODCALLTYPE objAddRef(Object* self) {
    return static_cast<ULONG>(::InterlockedIncrement(&self->refs));
}
ULONG STDMETHODCALLTYPE objRelease(Object* self) {
    const LONG left = ::InterlockedDecrement(&self->refs);
    if (left == 0) {
        self->destroy(self);
        std::lock_guard<std::mutex> lock(recordMutex);
        --liveObjects;
    }
    return static_cast<ULONG>(left);
}

// A slot nothing should call: its number and table are recorded.
template <int kTable, int kSlot>
HRESULT STDMETHODCALLTYPE unexpectedSlot(void*) {
    static const char* const names[] = {"environment",     "controller",       "webview",           "settings",
                                        "webmessage args", "navstarting args", "navcompleted args", "newwindow args"};
    record(std::string("UNEXPECTED slot ") + std::to_string(kSlot) + " of the " + names[kTable]);
    return E_NOTIMPL;
}
template <int kTable, size_t... kSlots>
void fillUnexpected(void** table, std::index_sequence<kSlots...>) {
    ((table[kSlots] = reinterpret_cast<void*>(&unexpectedSlot<kTable, static_cast<int>(kSlots)>)), ...);
}

enum TableId {
    kEnvironment,
    kController,
    kWebView,
    kSettings,
    kMessageArgs,
    kStartingArgs,
    kCompletedArgs,
    kNewWindowArgs
};

// What an object lets go of when its last reference goes, besides its memory.
struct WebView;
struct Controller;
void finish(WebView*);
void finish(Controller*);
inline void finish(Object*) {}

template <class T>
T* newObject(void** table, const char* name) {
    T* o = new T{};
    o->table = table;
    o->refs = 1;
    o->name = name;
    o->destroy = [](Object* p) {
        finish(static_cast<T*>(p));
        delete static_cast<T*>(p);
    };
    std::lock_guard<std::mutex> lock(recordMutex);
    ++liveObjects;
    return o;
}

bool sameIid(const IID* a, const IID& b) {
    return std::memcmp(a, &b, sizeof(IID)) == 0;
}
constexpr IID kIUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The identifiers the backend's objects must answer (the runtime asks them).
constexpr IID kEnvCompletedIid = {0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
constexpr IID kControllerCompletedIid = {0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
constexpr IID kWebMessageIid = {0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
constexpr IID kNavStartingIid = {0x9adbe429, 0xf36d, 0x432b, {0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3}};
constexpr IID kNavCompletedIid = {0xd33a35bf, 0x1c49, 0x4f98, {0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c}};
constexpr IID kNewWindowIid = {0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
constexpr IID kScriptDoneIid = {0x49511172, 0xcc67, 0x4bca, {0x99, 0x23, 0x13, 0x71, 0x12, 0xf4, 0xc4, 0xcc}};
constexpr IID kController2Iid = {0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};

// A handler the backend gives must answer its own identifier, as the runtime
// checks before it keeps it.
bool handlerAnswers(void* handler, const IID& iid, const char* what) {
    if (handler == nullptr) return false;
    void* same = nullptr;
    if (FAILED(comQuery(handler, iid, &same)) || same == nullptr) {
        record(std::string("handler of ") + what + " refused its own interface");
        return false;
    }
    comRelease(same);
    return true;
}

// ---- failures a test asks for ---------------------------------------------------

HRESULT failEnvironment = S_OK;         // the environment completion's result
HRESULT failController = S_OK;          // the controller completion's result
bool controllerWithoutWebView = false;  // get_CoreWebView2 answers nothing
bool noController2 = false;             // the controller does not answer Controller2
std::wstring scriptResult = L"null";
bool scriptResultNull = false;

// ---- settings ---------------------------------------------------------------------

struct Settings : Object {
    BOOL values[9] = {TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE};
};
const char* const kSettingNames[9] = {"IsScriptEnabled",       "IsWebMessageEnabled",  "AreDefaultScriptDialogsEnabled",
                                      "IsStatusBarEnabled",    "AreDevToolsEnabled",   "AreDefaultContextMenusEnabled",
                                      "AreHostObjectsAllowed", "IsZoomControlEnabled", "IsBuiltInErrorPageEnabled"};

template <int kIndex>
HRESULT STDMETHODCALLTYPE settingGet(Settings* self, BOOL* value) {
    if (value == nullptr) return E_POINTER;
    *value = self->values[kIndex];
    return S_OK;
}
template <int kIndex>
HRESULT STDMETHODCALLTYPE settingPut(Settings* self, BOOL value) {
    self->values[kIndex] = value;
    record(std::string("settings put_") + kSettingNames[kIndex] + " " + (value ? "1" : "0"));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE settingsQuery(Object* self, const IID* iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!sameIid(iid, kIUnknown)) return E_NOINTERFACE;
    objAddRef(self);
    *out = self;
    return S_OK;
}

void* settingsTable[21];
template <size_t... kPairs>
void fillSettings(std::index_sequence<kPairs...>) {
    ((settingsTable[3 + 2 * kPairs] = reinterpret_cast<void*>(&settingGet<kPairs>),
      settingsTable[4 + 2 * kPairs] = reinterpret_cast<void*>(&settingPut<kPairs>)),
     ...);
}

// ---- event arguments ----------------------------------------------------------------

struct MessageArgs : Object {
    std::wstring json;
};
struct StartingArgs : Object {
    std::wstring uri;
    BOOL cancel = FALSE;
};
struct CompletedArgs : Object {
    BOOL success = TRUE;
};
struct NewWindowArgs : Object {
    std::wstring uri;
    BOOL handled = FALSE;
};

HRESULT STDMETHODCALLTYPE argsQuery(Object* self, const IID* iid, void** out) {
    return settingsQuery(self, iid, out);
}

HRESULT STDMETHODCALLTYPE messageJson(MessageArgs* self, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = coTaskCopy(self->json);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE messageSource(MessageArgs*, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = coTaskCopy(L"file:///double/");
    return S_OK;
}
HRESULT STDMETHODCALLTYPE messageAsString(MessageArgs*, LPWSTR* out) {
    if (out != nullptr) *out = nullptr;
    return E_INVALIDARG;  // the page posted an object, not a string
}
HRESULT STDMETHODCALLTYPE startingUri(StartingArgs* self, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = coTaskCopy(self->uri);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE startingGetCancel(StartingArgs* self, BOOL* out) {
    if (out == nullptr) return E_POINTER;
    *out = self->cancel;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE startingPutCancel(StartingArgs* self, BOOL cancel) {
    self->cancel = cancel;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE completedSuccess(CompletedArgs* self, BOOL* out) {
    if (out == nullptr) return E_POINTER;
    *out = self->success;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE newWindowUri(NewWindowArgs* self, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = coTaskCopy(self->uri);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE newWindowPutHandled(NewWindowArgs* self, BOOL handled) {
    self->handled = handled;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE newWindowGetHandled(NewWindowArgs* self, BOOL* out) {
    if (out == nullptr) return E_POINTER;
    *out = self->handled;
    return S_OK;
}

void* messageArgsTable[6];
void* startingArgsTable[10];
void* completedArgsTable[6];
void* newWindowArgsTable[11];

// ---- the web view ---------------------------------------------------------------------

struct WebView;
WebView* newestWebView = nullptr;
bool messagesFromFilePosted = false;

struct WebView : Object {
    Settings* settings = nullptr;
    void* onMessage = nullptr;
    void* onStarting = nullptr;
    void* onCompleted = nullptr;
    void* onNewWindow = nullptr;
    std::wstring source = L"about:blank";
    bool closed = false;
    std::int64_t nextToken = 1;
};

void dropHandlers(WebView* self) {
    for (void** h : {&self->onMessage, &self->onStarting, &self->onCompleted, &self->onNewWindow})
        if (*h != nullptr) comRelease(std::exchange(*h, nullptr));
}

void postWebMessage(WebView* view, const std::wstring& json);

// What the engine does for a navigation: asks NavigationStarting, then (loaded
// or cancelled) reports NavigationCompleted.
void runNavigation(WebView* view, const std::wstring& uri) {
    if (view->closed) return;
    bool cancelled = false;
    if (view->onStarting != nullptr) {
        auto* args = newObject<StartingArgs>(startingArgsTable, "navstarting args");
        args->uri = uri;
        invokeHandler(view->onStarting, static_cast<void*>(view), static_cast<void*>(args));
        cancelled = args->cancel != FALSE;
        objRelease(args);
    }
    record("NavigationStarting " + utf8(uri.c_str()) + (cancelled ? " cancelled" : " allowed"));
    if (!cancelled) view->source = uri;
    if (view->closed || view->onCompleted == nullptr) return;
    auto* done = newObject<CompletedArgs>(completedArgsTable, "navcompleted args");
    done->success = cancelled ? FALSE : TRUE;
    invokeHandler(view->onCompleted, static_cast<void*>(view), static_cast<void*>(done));
    objRelease(done);

    // The scripted page of a run in another process speaks once it has loaded.
    if (!cancelled && !messagesFromFilePosted && view == newestWebView) {
        const std::string file = envText("QK_WEBVIEW2_DOUBLE_MESSAGES");
        if (!file.empty()) {
            messagesFromFilePosted = true;
            std::ifstream in(file, std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.empty()) continue;
                objAddRef(view);
                later([view, json = wide(line)] {
                    postWebMessage(view, json);
                    objRelease(view);
                });
            }
        }
    }
}

void postWebMessage(WebView* view, const std::wstring& json) {
    if (view->closed || view->onMessage == nullptr) {
        record("web message dropped: " + utf8(json.c_str()));
        return;
    }
    if (view->settings != nullptr && !view->settings->values[1]) {
        record("web message dropped (web messages disabled): " + utf8(json.c_str()));
        return;
    }
    auto* args = newObject<MessageArgs>(messageArgsTable, "webmessage args");
    args->json = json;
    invokeHandler(view->onMessage, static_cast<void*>(view), static_cast<void*>(args));
    objRelease(args);
}

HRESULT STDMETHODCALLTYPE webViewQuery(Object* self, const IID* iid, void** out) {
    return settingsQuery(self, iid, out);
}

HRESULT STDMETHODCALLTYPE webViewGetSettings(WebView* self, void** out) {
    if (out == nullptr) return E_POINTER;
    if (self->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    objAddRef(self->settings);
    *out = self->settings;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE webViewGetSource(WebView* self, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = coTaskCopy(self->source);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE webViewNavigate(WebView* self, LPCWSTR uri) {
    record("Navigate " + utf8(uri));
    if (self->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    objAddRef(self);
    later([self, target = std::wstring(uri == nullptr ? L"" : uri)] {
        runNavigation(self, target);
        objRelease(self);
    });
    return S_OK;
}
HRESULT STDMETHODCALLTYPE webViewNavigateToString(WebView* self, LPCWSTR html) {
    record("NavigateToString " + utf8(html));
    if (self->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    objAddRef(self);
    later([self] {
        runNavigation(self, L"about:blank");
        objRelease(self);
    });
    return S_OK;
}
HRESULT STDMETHODCALLTYPE webViewExecuteScript(WebView* self, LPCWSTR script, void* handler) {
    record(std::string(handler != nullptr ? "ExecuteScript+ " : "ExecuteScript ") + utf8(script));
    if (self->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    if (handler != nullptr) {
        if (!handlerAnswers(handler, kScriptDoneIid, "ExecuteScript")) return E_NOINTERFACE;
        comAddRef(handler);
        const bool none = scriptResultNull;
        later([handler, result = scriptResult, none] {
            invokeHandler(handler, S_OK, none ? static_cast<LPCWSTR>(nullptr) : result.c_str());
            comRelease(handler);
        });
    }
    return S_OK;
}

HRESULT addHandler(WebView* self, void*& slot, void* handler, const IID& iid, const char* what, std::int64_t* token) {
    record(std::string("add_") + what);
    if (self->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    if (!handlerAnswers(handler, iid, what)) return E_NOINTERFACE;
    if (slot != nullptr) comRelease(slot);  // one handler per event is all this double keeps
    comAddRef(handler);
    slot = handler;
    if (token != nullptr) *token = self->nextToken++;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE webViewAddStarting(WebView* self, void* h, std::int64_t* token) {
    return addHandler(self, self->onStarting, h, kNavStartingIid, "NavigationStarting", token);
}
HRESULT STDMETHODCALLTYPE webViewAddCompleted(WebView* self, void* h, std::int64_t* token) {
    return addHandler(self, self->onCompleted, h, kNavCompletedIid, "NavigationCompleted", token);
}
HRESULT STDMETHODCALLTYPE webViewAddMessage(WebView* self, void* h, std::int64_t* token) {
    return addHandler(self, self->onMessage, h, kWebMessageIid, "WebMessageReceived", token);
}
HRESULT STDMETHODCALLTYPE webViewAddNewWindow(WebView* self, void* h, std::int64_t* token) {
    return addHandler(self, self->onNewWindow, h, kNewWindowIid, "NewWindowRequested", token);
}

void* webViewTable[61];

// ---- the controller ----------------------------------------------------------------------

struct Controller : Object {
    HWND parent = nullptr;
    RECT bounds{};
    BOOL visible = FALSE;
    WebView* webView = nullptr;
    BYTE background[4] = {255, 255, 255, 255};  // A, R, G, B
    bool closed = false;
};

HRESULT STDMETHODCALLTYPE controllerQuery(Controller* self, const IID* iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (sameIid(iid, kIUnknown) || (sameIid(iid, kController2Iid) && !noController2)) {
        objAddRef(self);
        *out = self;
        return S_OK;
    }
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE controllerGetVisible(Controller* self, BOOL* out) {
    if (out == nullptr) return E_POINTER;
    *out = self->visible;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerPutVisible(Controller* self, BOOL visible) {
    record(std::string("controller put_IsVisible ") + (visible ? "1" : "0"));
    self->visible = visible;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerGetBounds(Controller* self, RECT* out) {
    if (out == nullptr) return E_POINTER;
    *out = self->bounds;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerPutBounds(Controller* self, RECT bounds) {
    record("controller put_Bounds " + std::to_string(bounds.left) + " " + std::to_string(bounds.top) + " " +
           std::to_string(bounds.right) + " " + std::to_string(bounds.bottom));
    self->bounds = bounds;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerGetParent(Controller* self, HWND* out) {
    if (out == nullptr) return E_POINTER;
    *out = self->parent;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerClose(Controller* self) {
    record("controller Close");
    if (self->closed) return S_OK;
    self->closed = true;
    if (self->webView != nullptr) {
        self->webView->closed = true;
        dropHandlers(self->webView);
    }
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerGetWebView(Controller* self, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (controllerWithoutWebView) return E_FAIL;
    if (self->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    objAddRef(self->webView);
    *out = self->webView;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE controllerGetBackground(Controller* self, BYTE* out) {
    if (out == nullptr) return E_POINTER;
    std::memcpy(out, self->background, 4);
    return S_OK;
}
// The colour arrives as the four bytes A, R, G, B in one 32-bit value.
HRESULT STDMETHODCALLTYPE controllerPutBackground(Controller* self, std::uint32_t argb) {
    std::memcpy(self->background, &argb, 4);
    record("controller2 put_DefaultBackgroundColor A=" + std::to_string(self->background[0]) +
           " R=" + std::to_string(self->background[1]) + " G=" + std::to_string(self->background[2]) +
           " B=" + std::to_string(self->background[3]));
    return S_OK;
}

void* controllerTable[28];

// ---- the environment ----------------------------------------------------------------------

struct Environment : Object {
    std::wstring userDataFolder;
};

HRESULT STDMETHODCALLTYPE environmentQuery(Object* self, const IID* iid, void** out) {
    return settingsQuery(self, iid, out);
}

HRESULT STDMETHODCALLTYPE environmentCreateController(Environment* self, HWND parent, void* handler) {
    record(std::string("environment CreateCoreWebView2Controller ") + (::IsWindow(parent) ? "window" : "no window"));
    if (!::IsWindow(parent)) return E_INVALIDARG;
    if (!handlerAnswers(handler, kControllerCompletedIid, "CreateCoreWebView2Controller")) return E_NOINTERFACE;
    comAddRef(handler);
    objAddRef(self);
    later([self, parent, handler] {
        if (FAILED(failController)) {
            invokeHandler(handler, failController, static_cast<void*>(nullptr));
        } else {
            auto* view = newObject<WebView>(webViewTable, "webview");
            view->settings = newObject<Settings>(settingsTable, "settings");
            auto* controller = newObject<Controller>(controllerTable, "controller");
            controller->parent = parent;
            controller->webView = view;
            newestWebView = view;
            invokeHandler(handler, S_OK, static_cast<void*>(controller));
            objRelease(controller);  // the backend holds what it kept
        }
        comRelease(handler);
        objRelease(self);
    });
    return S_OK;
}
HRESULT STDMETHODCALLTYPE environmentVersion(Environment*, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = coTaskCopy(L"120.0.2210.91");
    return S_OK;
}

void* environmentTable[8];

void finish(Controller* c) {
    if (c->webView != nullptr) objRelease(c->webView);
}

void fillTables() {
    fillUnexpected<kEnvironment>(environmentTable, std::make_index_sequence<8>());
    fillUnexpected<kController>(controllerTable, std::make_index_sequence<28>());
    fillUnexpected<kWebView>(webViewTable, std::make_index_sequence<61>());
    fillUnexpected<kSettings>(settingsTable, std::make_index_sequence<21>());
    fillUnexpected<kMessageArgs>(messageArgsTable, std::make_index_sequence<6>());
    fillUnexpected<kStartingArgs>(startingArgsTable, std::make_index_sequence<10>());
    fillUnexpected<kCompletedArgs>(completedArgsTable, std::make_index_sequence<6>());
    fillUnexpected<kNewWindowArgs>(newWindowArgsTable, std::make_index_sequence<11>());

    auto unknown = [](void** t, void* query) {
        t[0] = query;
        t[1] = reinterpret_cast<void*>(&objAddRef);
        t[2] = reinterpret_cast<void*>(&objRelease);
    };
    unknown(environmentTable, reinterpret_cast<void*>(&environmentQuery));
    environmentTable[3] = reinterpret_cast<void*>(&environmentCreateController);
    environmentTable[5] = reinterpret_cast<void*>(&environmentVersion);

    unknown(controllerTable, reinterpret_cast<void*>(&controllerQuery));
    controllerTable[3] = reinterpret_cast<void*>(&controllerGetVisible);
    controllerTable[4] = reinterpret_cast<void*>(&controllerPutVisible);
    controllerTable[5] = reinterpret_cast<void*>(&controllerGetBounds);
    controllerTable[6] = reinterpret_cast<void*>(&controllerPutBounds);
    controllerTable[21] = reinterpret_cast<void*>(&controllerGetParent);
    controllerTable[24] = reinterpret_cast<void*>(&controllerClose);
    controllerTable[25] = reinterpret_cast<void*>(&controllerGetWebView);
    controllerTable[26] = reinterpret_cast<void*>(&controllerGetBackground);
    controllerTable[27] = reinterpret_cast<void*>(&controllerPutBackground);

    unknown(webViewTable, reinterpret_cast<void*>(&webViewQuery));
    webViewTable[3] = reinterpret_cast<void*>(&webViewGetSettings);
    webViewTable[4] = reinterpret_cast<void*>(&webViewGetSource);
    webViewTable[5] = reinterpret_cast<void*>(&webViewNavigate);
    webViewTable[6] = reinterpret_cast<void*>(&webViewNavigateToString);
    webViewTable[7] = reinterpret_cast<void*>(&webViewAddStarting);
    webViewTable[15] = reinterpret_cast<void*>(&webViewAddCompleted);
    webViewTable[29] = reinterpret_cast<void*>(&webViewExecuteScript);
    webViewTable[34] = reinterpret_cast<void*>(&webViewAddMessage);
    webViewTable[44] = reinterpret_cast<void*>(&webViewAddNewWindow);

    unknown(settingsTable, reinterpret_cast<void*>(&settingsQuery));
    fillSettings(std::make_index_sequence<9>());

    unknown(messageArgsTable, reinterpret_cast<void*>(&argsQuery));
    messageArgsTable[3] = reinterpret_cast<void*>(&messageSource);
    messageArgsTable[4] = reinterpret_cast<void*>(&messageJson);
    messageArgsTable[5] = reinterpret_cast<void*>(&messageAsString);

    unknown(startingArgsTable, reinterpret_cast<void*>(&argsQuery));
    startingArgsTable[3] = reinterpret_cast<void*>(&startingUri);
    startingArgsTable[7] = reinterpret_cast<void*>(&startingGetCancel);
    startingArgsTable[8] = reinterpret_cast<void*>(&startingPutCancel);

    unknown(completedArgsTable, reinterpret_cast<void*>(&argsQuery));
    completedArgsTable[3] = reinterpret_cast<void*>(&completedSuccess);

    unknown(newWindowArgsTable, reinterpret_cast<void*>(&argsQuery));
    newWindowArgsTable[3] = reinterpret_cast<void*>(&newWindowUri);
    newWindowArgsTable[6] = reinterpret_cast<void*>(&newWindowPutHandled);
    newWindowArgsTable[7] = reinterpret_cast<void*>(&newWindowGetHandled);
}

std::once_flag tablesOnce;
void ensureTables() {
    std::call_once(tablesOnce, fillTables);
}

void finish(WebView* v) {
    dropHandlers(v);
    if (v->settings != nullptr) objRelease(v->settings);
    if (newestWebView == v) newestWebView = nullptr;
}

HRESULT createEnvironment(const wchar_t* userDataFolder, void* handler, const char* entry) {
    ensureTables();
    record(std::string(entry) + " udf=" + utf8(userDataFolder));
    if (!handlerAnswers(handler, kEnvCompletedIid, entry)) return E_NOINTERFACE;
    comAddRef(handler);
    later([handler, udf = std::wstring(userDataFolder == nullptr ? L"" : userDataFolder)] {
        if (FAILED(failEnvironment)) {
            invokeHandler(handler, failEnvironment, static_cast<void*>(nullptr));
        } else {
            auto* env = newObject<Environment>(environmentTable, "environment");
            env->userDataFolder = udf;
            invokeHandler(handler, S_OK, static_cast<void*>(env));
            objRelease(env);
        }
        comRelease(handler);
    });
    return S_OK;
}

}  // namespace

extern "C" {

// ---- the loader's functions and the engine's entry -------------------------------------------

HRESULT STDAPICALLTYPE GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserFolder, LPWSTR* version) {
    record("GetAvailableCoreWebView2BrowserVersionString folder=" + utf8(browserFolder));
    if (version == nullptr) return E_POINTER;
    *version = coTaskCopy(L"120.0.2210.91");
    return S_OK;
}

HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(PCWSTR browserFolder, PCWSTR userDataFolder,
                                                                void* options, void* handler) {
    if (browserFolder != nullptr || options != nullptr)
        record("CreateCoreWebView2EnvironmentWithOptions: unexpected folder or options");
    return createEnvironment(userDataFolder, handler, "CreateCoreWebView2EnvironmentWithOptions");
}

HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(BOOL checkRunningInstance, int runtimeType,
                                                                   PCWSTR userDataFolder, void* options,
                                                                   void* handler) {
    record("CreateWebViewEnvironmentWithOptionsInternal check=" + std::to_string(checkRunningInstance) +
           " type=" + std::to_string(runtimeType) + (options != nullptr ? " options" : ""));
    return createEnvironment(userDataFolder, handler, "CreateWebViewEnvironmentWithOptionsInternal");
}

// ---- what a test asks of it --------------------------------------------------------------------

// Everything recorded, a line each; answers the length it needs (without the NUL).
int qkDoubleRecord(char* out, int size) {
    std::lock_guard<std::mutex> lock(recordMutex);
    std::string all;
    for (const auto& line : recorded) all += line + "\n";
    if (out != nullptr && size > 0) {
        const size_t n = std::min(all.size(), static_cast<size_t>(size - 1));
        std::memcpy(out, all.data(), n);
        out[n] = '\0';
    }
    return static_cast<int>(all.size());
}

void qkDoubleReset() {
    std::lock_guard<std::mutex> lock(recordMutex);
    recorded.clear();
    failEnvironment = S_OK;
    failController = S_OK;
    controllerWithoutWebView = false;
    noController2 = false;
    scriptResult = L"null";
    scriptResultNull = false;
}

// Engine objects not yet released by everyone (the backend, the double itself).
int qkDoubleLiveObjects() {
    std::lock_guard<std::mutex> lock(recordMutex);
    return liveObjects;
}

// "environment" or "controller": the completion answers `hr`; "webview": the
// controller has no web view; "controller2": no Controller2.
void qkDoubleFail(const char* what, HRESULT hr) {
    const std::string w = what;
    if (w == "environment") failEnvironment = hr;
    if (w == "controller") failController = hr;
    if (w == "webview") controllerWithoutWebView = true;
    if (w == "controller2") noController2 = true;
}

// What ExecuteScript's completion hands back; null: no result text at all.
void qkDoubleSetScriptResult(const wchar_t* json) {
    scriptResultNull = json == nullptr;
    scriptResult = json == nullptr ? L"" : json;
}

// The page posts `json` (its JSON form) on the newest web view.
void qkDoublePostWebMessage(const wchar_t* json) {
    if (newestWebView == nullptr) return record("web message with no web view");
    postWebMessage(newestWebView, json == nullptr ? L"" : json);
}

// The page follows a link: the engine starts navigating.
void qkDoubleStartNavigation(const wchar_t* uri) {
    if (newestWebView == nullptr) return record("navigation with no web view");
    runNavigation(newestWebView, uri == nullptr ? L"" : uri);
}

// The page calls window.open: answers whether the request was handled.
int qkDoubleRequestNewWindow(const wchar_t* uri) {
    WebView* view = newestWebView;
    if (view == nullptr || view->onNewWindow == nullptr) return -1;
    auto* args = newObject<NewWindowArgs>(newWindowArgsTable, "newwindow args");
    args->uri = uri == nullptr ? L"" : uri;
    invokeHandler(view->onNewWindow, static_cast<void*>(view), static_cast<void*>(args));
    const int handled = args->handled ? 1 : 0;
    record("NewWindowRequested " + utf8(args->uri.c_str()) + (handled ? " handled" : " not handled"));
    objRelease(args);
    return handled;
}

}  // extern "C"
