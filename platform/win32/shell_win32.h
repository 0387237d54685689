// The file-open dialog as the Win32 shell prepares it for pickPath, before it is
// shown. Apart so that its set-up can be checked where showing it cannot be (a
// modal dialog waits for a person).
#pragma once

#include <shobjidl.h>
#include <windows.h>

#include <string>

#include "platform/shell.h"

namespace qk::platform::win32 {

// A new dialog with the options, title and start folder pickPath gives it, or a
// failure code and null. COM must be initialised on the calling thread.
HRESULT preparePickDialog(PickKind kind, const std::string& title, const std::string& startFolder,
                          IFileOpenDialog** dialog);

}  // namespace qk::platform::win32
