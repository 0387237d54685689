// Shell seam: the desktop's own services the page reaches through the bridge:
// opening a web link in the default browser and the native file and folder
// choosers. GIO and GtkFileChooserNative here, ShellExecuteW and IFileOpenDialog
// on Windows. UI thread only.
#pragma once

#include <memory>
#include <string>

namespace qk::platform {

class Window;

enum class PickKind { File, Folder };

class Shell {
public:
    virtual ~Shell() = default;

    // Hands the link to the default browser. True when it was launched.
    virtual bool openWebLink(const std::string& url) = 0;

    // Shows the system's chooser for one existing file or folder, modal to `owner`
    // (may be null), titled `title`, opened in `startFolder` when that exists.
    // The chosen path, or empty text when the user cancelled or nothing could be
    // shown.
    virtual std::string pickPath(PickKind kind, const std::string& title, const std::string& startFolder,
                                 Window* owner) = 0;
};

// The platform's shell services; never null (a build without a desktop answers
// false and empty paths).
std::unique_ptr<Shell> createShell();

}  // namespace qk::platform
