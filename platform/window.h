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
};

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
    virtual void onHotkey(int) {}
    // A record posted through the window's PostTarget. The receiver owns it.
    virtual void onPosted(int message, std::unique_ptr<PostedRecord> record) = 0;

protected:
    ~WindowEvents() = default;
};

class Window {
public:
    // Destroys the window; records still queued for it are destroyed undelivered.
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

    // Shared with the threads that post to this window.
    virtual std::shared_ptr<PostTarget> postTarget() = 0;
    // Takes every record of this message number still queued for the window,
    // undelivered, in the order they were posted.
    virtual std::vector<std::unique_ptr<PostedRecord>> drainPosted(int message) = 0;
};

}  // namespace qk::platform
