// Window seam: one top-level window of the plug-in, driven on the UI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_loop.h"

namespace qk::platform {

struct WindowOptions {
    std::string className;  // "QuorvaleKaraokeHost"
    std::string title;      // "QuorvaleKaraoke"
    int x = 0, y = 0, width = 0, height = 0;
    std::uint32_t background = 0;  // 0xRRGGBB, painted where nothing covers the window
    // The audience window's kind: no frame, not in the task bar, above every
    // ordinary window, never given the keyboard focus, see-through where its
    // content is (the background colour is then not painted).
    bool overlay = false;
};

// Modifier bits of a global hotkey (the values of the Windows API).
enum HotkeyModifier : unsigned { kHotkeyAlt = 1, kHotkeyControl = 2, kHotkeyShift = 4 };

enum class SizeKind { Restored, Minimized, Maximized, Other };

// Desktop coordinates of the window's outer frame.
struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// What a window tells the system's logic. Called on the UI thread only.
class WindowEvents {
public:
    virtual void onClose() {}
    virtual void onDestroy() {}
    virtual void onResize(SizeKind) {}
    virtual void onShowChanged(bool) {}
    virtual void onMoveSizeEnd() {}
    // A hotkey registered on this window was pressed, in any application.
    virtual void onHotkey(int) {}
    // A timer started on this window fired.
    virtual void onTimer(int) {}
    // A record posted through the window's PostTarget. The receiver owns it.
    virtual void onPosted(int message, std::unique_ptr<PostedRecord> record) = 0;

protected:
    ~WindowEvents() = default;
};

class Window {
public:
    // Destroys the window; its events hear onDestroy first, and records still
    // queued for it are destroyed undelivered.
    virtual ~Window() = default;

    // HWND on Windows, GtkWindow* on Linux: what the host is handed.
    virtual void* nativeHandle() const = 0;
    // The receiver of the window's events (its user data); null detaches it, after
    // which posted records are destroyed on arrival without delivery.
    virtual void setEvents(WindowEvents* events) = 0;

    virtual void show(bool maximised) = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    // True when the host has placed the window inside one of its own.
    virtual bool isEmbedded() const = 0;
    virtual bool isForeground() const = 0;
    virtual void bringToForeground() = 0;

    // Placement: the rectangle the window has when it is neither maximised nor
    // minimised (kept while it is either), and its state.
    virtual WindowRect normalRect() const = 0;
    virtual void setNormalRect(const WindowRect& rect) = 0;
    virtual bool isMaximised() const = 0;
    virtual bool isMinimised() const = 0;
    // True when some part of the normal rectangle lies on an attached monitor.
    virtual bool isOnAnyMonitor() const = 0;

    // Shows the window without giving it the focus (the focus stays where it is).
    virtual void showWithoutFocus() = 0;
    // Moves and sizes the window to `rect` (desktop coordinates of its whole
    // area) and puts it above every other window, without giving it the focus.
    virtual void placeOnTop(const WindowRect& rect) = 0;
    // Puts the window above every other window again where it is, without
    // giving it the focus: windows that came up since may have covered it.
    virtual void keepOnTop() = 0;

    // A timer that calls WindowEvents::onTimer(id) every `periodMs` until it is
    // stopped or the window is destroyed; starting a running id restarts it.
    virtual void startTimer(int id, unsigned periodMs) = 0;
    virtual void stopTimer(int id) = 0;

    // A global hotkey: `modifiers` (HotkeyModifier bits) with the key of the
    // virtual-key code `key` ('A'..'Z', '0'..'9') reaches WindowEvents::onHotkey
    // from whichever application has the focus. False when the system refuses
    // (another program holds it, or the display server allows no global keys).
    virtual bool registerHotkey(int id, unsigned modifiers, unsigned key) = 0;
    virtual void unregisterHotkey(int id) = 0;

    // Shared with the threads that post to this window.
    virtual std::shared_ptr<PostTarget> postTarget() = 0;
    // Takes every record of this message number still queued for the window,
    // undelivered, in the order they were posted.
    virtual std::vector<std::unique_ptr<PostedRecord>> drainPosted(int message) = 0;
};

}  // namespace qk::platform
