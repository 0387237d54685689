// The Win32 UI backends against the real window manager of Wine (under Xvfb, in
// Wine's virtual desktop): posted records, timers, the global hotkey, window
// styles and placement, the monitor list, the per-user store and the shell.
// The test thread is the UI thread; it pumps its own messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/monitors.h"
#include "platform/shell.h"
#include "platform/ui_loop.h"
#include "platform/user_values.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/wide_path.h"
#include "platform/window.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::platform::PostedRecord;
using qk::platform::Window;
using qk::platform::WindowOptions;

constexpr int kResponse = WM_APP + 1;
constexpr int kRefocus = WM_APP + 2;

// Counts its own destruction, wherever it happens.
struct CountedRecord final : PostedRecord {
    CountedRecord(int n, std::atomic<int>* gone) : number(n), destroyed(gone) {}
    ~CountedRecord() override { ++*destroyed; }
    int number;
    std::atomic<int>* destroyed;
};

struct RecordingEvents final : qk::platform::WindowEvents {
    void onPosted(int message, std::unique_ptr<PostedRecord> record) override {
        threads.push_back(::GetCurrentThreadId());
        messages.push_back(message);
        if (auto* r = dynamic_cast<CountedRecord*>(record.get())) numbers.push_back(r->number);
    }
    void onTimer(int id) override { timers.push_back(id); }
    void onHotkey(int id) override { hotkeys.push_back(id); }
    void onClose() override { ++closes; }
    void onDestroy() override { ++destroys; }
    std::vector<DWORD> threads;
    std::vector<int> messages, numbers, timers, hotkeys;
    int closes = 0, destroys = 0;
};

// Dispatches this thread's messages until `done` holds or `ms` pass.
bool pumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

WindowOptions mainOptions() {
    WindowOptions o;
    o.className = "QuorvaleKaraokeHost";
    o.title = "QuorvaleKaraoke";
    o.x = 140;
    o.y = 100;
    o.width = 560;
    o.height = 780;
    o.background = 0x14100D;
    return o;
}
WindowOptions audienceOptions() {
    WindowOptions o;
    o.className = "QuorvaleKaraokeAudience";
    o.title = "QuorvaleKaraoke Audience";
    o.width = 640;
    o.height = 360;
    o.overlay = true;
    return o;
}

class Win32Ui : public ::testing::Test {
protected:
    std::unique_ptr<Window> open(const WindowOptions& options) {
        unsigned long error = 0;
        auto w = loop_->createWindow(options, &error);
        EXPECT_TRUE(w) << "CreateWindowExW failed: " << error;
        return w;
    }
    static HWND hwnd(const std::unique_ptr<Window>& w) { return static_cast<HWND>(w->nativeHandle()); }

    std::unique_ptr<qk::platform::UiLoop> loop_ = qk::platform::createUiLoop();
};

TEST_F(Win32Ui, RecordsFromOtherThreadsArriveInOrderOnTheUiThreadAndNeverAfterTheWindowIsGone) {
    std::atomic<int> destroyed{0};
    RecordingEvents events;
    auto window = open(mainOptions());
    ASSERT_TRUE(window);
    window->setEvents(&events);
    std::shared_ptr<qk::platform::PostTarget> target = window->postTarget();

    bool posted = false;
    std::thread worker([&] {
        posted = target->post(kResponse, std::make_unique<CountedRecord>(1, &destroyed)) &&
                 target->post(kRefocus, nullptr) &&
                 target->post(kResponse, std::make_unique<CountedRecord>(2, &destroyed));
    });
    worker.join();
    ASSERT_TRUE(posted);
    ASSERT_TRUE(pumpUntil([&] { return events.messages.size() == 3; }));
    EXPECT_EQ(events.messages, (std::vector<int>{kResponse, kRefocus, kResponse}));
    EXPECT_EQ(events.numbers, (std::vector<int>{1, 2}));
    for (DWORD t : events.threads) EXPECT_EQ(t, ::GetCurrentThreadId());
    EXPECT_EQ(destroyed, 2);  // the receiver owned them and let them go

    // Queued but not yet delivered: a drain takes its own message number only,
    // in order; the rest goes, undelivered, with the window.
    target->post(kResponse, std::make_unique<CountedRecord>(3, &destroyed));
    target->post(kRefocus, std::make_unique<CountedRecord>(4, &destroyed));
    target->post(kResponse, std::make_unique<CountedRecord>(5, &destroyed));
    auto drained = window->drainPosted(kResponse);
    ASSERT_EQ(drained.size(), 2u);
    EXPECT_EQ(dynamic_cast<CountedRecord&>(*drained[0]).number, 3);
    EXPECT_EQ(dynamic_cast<CountedRecord&>(*drained[1]).number, 5);
    drained.clear();
    EXPECT_EQ(destroyed, 4);
    window.reset();
    EXPECT_EQ(destroyed, 5);
    EXPECT_EQ(events.messages.size(), 3u);
    EXPECT_EQ(events.destroys, 1);

    // The target outlives the window: a late post fails and frees its record.
    EXPECT_FALSE(target->post(kResponse, std::make_unique<CountedRecord>(6, &destroyed)));
    EXPECT_EQ(destroyed, 6);
    pumpFor(50);
    EXPECT_EQ(events.messages.size(), 3u);
}

TEST_F(Win32Ui, ADetachedWindowDropsRecordsOnArrivalAndClosingOnlyTellsTheEvents) {
    std::atomic<int> destroyed{0};
    RecordingEvents events;
    auto window = open(mainOptions());
    ASSERT_TRUE(window);
    window->setEvents(&events);
    ::PostMessageW(hwnd(window), WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.closes == 1; }));
    EXPECT_TRUE(::IsWindow(hwnd(window)));

    window->setEvents(nullptr);
    ASSERT_TRUE(window->postTarget()->post(kResponse, std::make_unique<CountedRecord>(1, &destroyed)));
    ASSERT_TRUE(pumpUntil([&] { return destroyed == 1; }));
    EXPECT_TRUE(events.messages.empty());
    // Outside the application range nothing travels as a record.
    EXPECT_FALSE(window->postTarget()->post(WM_USER, std::make_unique<CountedRecord>(2, &destroyed)));
    EXPECT_EQ(destroyed, 2);
}

TEST_F(Win32Ui, TimersFireUntilStoppedAndUnknownTimerIdsAreNotReported) {
    RecordingEvents events;
    auto window = open(audienceOptions());
    ASSERT_TRUE(window);
    window->setEvents(&events);
    window->startTimer(1, 30);
    ::SetTimer(hwnd(window), 7, 30, nullptr);  // not started through the seam
    ASSERT_TRUE(pumpUntil([&] { return events.timers.size() >= 3; }));
    for (int id : events.timers) EXPECT_EQ(id, 1);
    window->stopTimer(1);
    ::KillTimer(hwnd(window), 7);
    pumpFor(20);  // a tick already queued may still come
    const size_t fired = events.timers.size();
    pumpFor(150);
    EXPECT_EQ(events.timers.size(), fired);
}

TEST_F(Win32Ui, ThePanicChordReachesTheWindowOnceAndIsHeldUntilUnregistered) {
    constexpr int kPanic = 0xA001;
    constexpr unsigned kChord = qk::platform::kHotkeyControl | qk::platform::kHotkeyAlt | qk::platform::kHotkeyShift;
    RecordingEvents events;
    auto window = open(mainOptions());
    auto other = open(mainOptions());
    ASSERT_TRUE(window && other);
    window->setEvents(&events);
    ASSERT_TRUE(window->registerHotkey(kPanic, kChord, 'A'));
    EXPECT_FALSE(other->registerHotkey(kPanic, kChord, 'A'));  // held by the first

    // Ctrl, Alt, Shift and A down, then up in the reverse order.
    const WORD chord[] = {VK_CONTROL, VK_MENU, VK_SHIFT, 'A'};
    std::vector<INPUT> keys;
    for (int i = 0; i < 8; ++i) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = chord[i < 4 ? i : 7 - i];
        in.ki.dwFlags = i < 4 ? 0 : KEYEVENTF_KEYUP;
        keys.push_back(in);
    }
    ASSERT_EQ(::SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT)), keys.size());
    ASSERT_TRUE(pumpUntil([&] { return !events.hotkeys.empty(); }));
    pumpFor(100);
    EXPECT_EQ(events.hotkeys, (std::vector<int>{kPanic}));

    window->unregisterHotkey(kPanic);
    EXPECT_TRUE(other->registerHotkey(kPanic, kChord, 'A'));
    other->unregisterHotkey(kPanic);
}

TEST_F(Win32Ui, TheTwoWindowKindsHaveTheirClassesAndStyles) {
    auto main = open(mainOptions());
    auto audience = open(audienceOptions());
    auto second = open(mainOptions());  // the class is registered once and shared
    ASSERT_TRUE(main && audience && second);

    wchar_t name[64] = {};
    ::GetClassNameW(hwnd(main), name, 64);
    EXPECT_STREQ(name, L"QuorvaleKaraokeHost");
    ::GetWindowTextW(hwnd(main), name, 64);
    EXPECT_STREQ(name, L"QuorvaleKaraoke");
    EXPECT_EQ(::GetClassLongPtrW(hwnd(main), GCL_STYLE), static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(hwnd(main), GWL_STYLE)) & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
    EXPECT_FALSE(main->isVisible());
    EXPECT_FALSE(main->isEmbedded());

    ::GetClassNameW(hwnd(audience), name, 64);
    EXPECT_STREQ(name, L"QuorvaleKaraokeAudience");
    EXPECT_EQ(::GetClassLongPtrW(hwnd(audience), GCL_STYLE), 0u);
    const auto ex = static_cast<DWORD>(::GetWindowLongPtrW(hwnd(audience), GWL_EXSTYLE));
    const DWORD wanted = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST;
    EXPECT_EQ(ex & wanted, wanted);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd(audience), GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_CLIPCHILDREN | WS_CAPTION), static_cast<DWORD>(WS_POPUP | WS_CLIPCHILDREN));

    // Placed on top and shown without the focus, the audience window leaves the
    // foreground where it was.
    main->show(false);
    main->bringToForeground();
    pumpFor(50);
    audience->placeOnTop({0, 0, 800, 600});
    audience->showWithoutFocus();
    pumpFor(50);
    EXPECT_TRUE(audience->isVisible());
    RECT r;
    ::GetWindowRect(hwnd(audience), &r);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);
    EXPECT_NE(::GetForegroundWindow(), hwnd(audience));

    // With every window of a class gone, the class is given back.
    main.reset();
    second.reset();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(::GetClassInfoExW(::GetModuleHandleW(nullptr), L"QuorvaleKaraokeHost", &wc));
    EXPECT_TRUE(open(mainOptions()));
}

TEST_F(Win32Ui, TheNormalRectangleRoundTripsHiddenAndOffScreenOnesAreOnNoMonitor) {
    auto window = open(mainOptions());
    ASSERT_TRUE(window);
    EXPECT_EQ(window->normalRect().left, 140);
    EXPECT_EQ(window->normalRect().bottom, 880);
    window->setNormalRect({300, 200, 1100, 900});
    EXPECT_FALSE(window->isVisible());  // applying the placement does not show it
    const auto r = window->normalRect();
    EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{300, 200, 1100, 900}));
    EXPECT_TRUE(window->isOnAnyMonitor());
    window->setNormalRect({5000, 100, 5500, 800});  // a monitor that is gone
    EXPECT_FALSE(window->isOnAnyMonitor());

    window->show(true);
    pumpFor(50);
    EXPECT_TRUE(window->isMaximised());
    window->hide();
    EXPECT_FALSE(window->isVisible());
}

TEST(Win32Monitors, TheDesktopHasOnePrimaryMonitorAndAStandInLayoutReplacesIt) {
    const auto monitors = qk::platform::listMonitors();
    ASSERT_FALSE(monitors.empty());
    int primaries = 0;
    for (const auto& m : monitors) {
        EXPECT_GT(m.right - m.left, 0);
        EXPECT_GT(m.bottom - m.top, 0);
        EXPECT_FALSE(m.deviceName.empty());
        primaries += m.primary ? 1 : 0;
    }
    EXPECT_EQ(primaries, 1);

    qktest::setEnv("QK_MONITORS", "1280x1024+0+0;1920x1080+1280+0");
    const auto standIn = qk::platform::listMonitors();
    qktest::unsetEnv("QK_MONITORS");
    ASSERT_EQ(standIn.size(), 2u);
    EXPECT_TRUE(standIn[0].primary);
    EXPECT_EQ(standIn[1].left, 1280);
    EXPECT_EQ(standIn[1].right, 3200);
}

TEST(Win32UserValues, BinaryValuesRoundTripAndOtherTypesReadAsNothing) {
    const auto store = qk::platform::createUserValueStore();
    ASSERT_TRUE(store);
    const std::string bytes("\x2c\0\0\0\x01\0\0\0\xff\xfe", 10);
    ASSERT_TRUE(store->writeBinary("QkTestValue", bytes));
    EXPECT_EQ(store->readBinary("QkTestValue"), bytes);
    ASSERT_TRUE(store->writeBinary("QkTestValue", std::string(44, 'x')));  // replaced whole
    EXPECT_EQ(store->readBinary("QkTestValue"), std::string(44, 'x'));

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\QuorvaleKaraoke", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const DWORD dword = 44;
    ::RegSetValueExW(key, L"QkTestValue", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    EXPECT_FALSE(store->readBinary("QkTestValue").has_value());
    ::RegDeleteValueW(key, L"QkTestValue");
    ::RegCloseKey(key);
    EXPECT_FALSE(store->readBinary("QkTestValue").has_value());
}

TEST(Win32Shell, OnlyWebLinksAreHandedToTheSystem) {
    const auto shell = qk::platform::createShell();
    // Refused before ShellExecuteW, which would start a program or open a share.
    for (const char* url : {"C:\\windows\\notepad.exe", "notepad", "file:///C:/windows/notepad.exe",
                            "mailto:kj@example.com", "HTTP://example.com", "\\\\server\\share", ""})
        EXPECT_FALSE(shell->openWebLink(url)) << url;
}

TEST(Win32Shell, TheChooserIsSetUpForFilesOrFoldersInTheStartFolder) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    qktest::TempDir start;
    struct Case {
        qk::platform::PickKind kind;
        std::string startFolder;
        bool picksFolders;
        bool opensInStart;
    };
    const Case cases[] = {
        {qk::platform::PickKind::Folder, start.path(), true, true},
        {qk::platform::PickKind::File, start.path(), false, true},
        {qk::platform::PickKind::File, start.file("missing"), false, false},
        {qk::platform::PickKind::Folder, "", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startFolder);
        IFileOpenDialog* dialog = nullptr;
        ASSERT_EQ(qk::platform::win32::preparePickDialog(c.kind, "Choose", c.startFolder, &dialog), S_OK);
        FILEOPENDIALOGOPTIONS options = 0;
        ASSERT_EQ(dialog->GetOptions(&options), S_OK);
        EXPECT_EQ((options & FOS_PICKFOLDERS) != 0, c.picksFolders);
        EXPECT_NE(options & FOS_NOCHANGEDIR, 0u);
        EXPECT_NE(options & FOS_FORCEFILESYSTEM, 0u);
        IShellItem* folder = nullptr;
        std::string opensIn;
        if (SUCCEEDED(dialog->GetFolder(&folder)) && folder != nullptr) {
            PWSTR path = nullptr;
            if (SUCCEEDED(folder->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                opensIn = qk::platform::win32::narrow(path);
                ::CoTaskMemFree(path);
            }
            folder->Release();
        }
        if (c.opensInStart)
            EXPECT_EQ(::CompareStringOrdinal(qk::platform::win32::widen(opensIn).c_str(), -1,
                                             qk::platform::win32::widen(c.startFolder).c_str(), -1, TRUE),
                      CSTR_EQUAL)
                << opensIn;
        else
            EXPECT_NE(opensIn, c.startFolder);
        dialog->Release();
    }
    ::CoUninitialize();
}

}  // namespace
