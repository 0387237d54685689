// The Win32 top-level window behind the window seam, shared by the UI loop that
// makes it and the shell that owns its dialogs to it.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/window.h"

namespace qk::platform::win32 {

// Creates the window hidden on the calling thread, registering its class first
// when no window of that class exists. Null on failure, with GetLastError's code
// in *error.
std::unique_ptr<Window> createTopWindow(const WindowOptions& options, unsigned long* error);

// The HWND of a window this backend made (nativeHandle()); null for null.
inline HWND windowHandle(const Window* window) {
    return window == nullptr ? nullptr : static_cast<HWND>(window->nativeHandle());
}

}  // namespace qk::platform::win32
