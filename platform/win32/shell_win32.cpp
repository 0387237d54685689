// The shell on Win32: web links through ShellExecuteW, the choosers through the
// common file-open dialog (IFileOpenDialog), modal to the owner window.
#include "platform/win32/shell_win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <string_view>

#include "platform/win32/wide_path.h"
#include "platform/win32/window_win32.h"

namespace qk::platform::win32 {

HRESULT preparePickDialog(PickKind kind, const std::string& title, const std::string& startFolder,
                          IFileOpenDialog** dialog) {
    *dialog = nullptr;
    IFileOpenDialog* d = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                    reinterpret_cast<void**>(&d));
    if (FAILED(hr) || d == nullptr) return FAILED(hr) ? hr : E_FAIL;
    FILEOPENDIALOGOPTIONS options = 0;
    hr = d->GetOptions(&options);
    if (SUCCEEDED(hr)) {
        // Only file-system paths come back, and the process's current folder stays.
        options |= FOS_NOCHANGEDIR | FOS_FORCEFILESYSTEM;
        if (kind == PickKind::Folder) options |= FOS_PICKFOLDERS;
        hr = d->SetOptions(options);
    }
    if (FAILED(hr)) {
        d->Release();
        return hr;
    }
    d->SetTitle(widen(title).c_str());
    if (!startFolder.empty()) {
        // A start folder that does not exist is passed over: the dialog opens
        // where it would anyway.
        IShellItem* folder = nullptr;
        if (SUCCEEDED(::SHCreateItemFromParsingName(widen(startFolder).c_str(), nullptr, IID_IShellItem,
                                                    reinterpret_cast<void**>(&folder))) &&
            folder != nullptr) {
            d->SetFolder(folder);
            folder->Release();
        }
    }
    *dialog = d;
    return S_OK;
}

namespace {

bool isWebLink(std::string_view url) {
    return url.substr(0, 7) == "http://" || url.substr(0, 8) == "https://";
}

// COM for the dialog: the UI thread normally has it already (apartment-threaded,
// for the web view); a first initialisation here is undone afterwards.
class ComScope {
public:
    ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

class Win32Shell final : public Shell {
public:
    bool openWebLink(const std::string& url) override {
        // ShellExecuteW runs whatever it is given (a program, a document, a
        // share), so only web links go through, whoever the caller is.
        if (!isWebLink(url)) return false;
        const auto rc = reinterpret_cast<INT_PTR>(
            ::ShellExecuteW(nullptr, L"open", widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return rc > 32;
    }

    std::string pickPath(PickKind kind, const std::string& title, const std::string& startFolder,
                         Window* owner) override {
        ComScope com;
        IFileOpenDialog* dialog = nullptr;
        if (FAILED(preparePickDialog(kind, title, startFolder, &dialog))) return {};
        std::string chosen;
        // Show returns when the person confirms or cancels; a cancel is a failure code.
        if (SUCCEEDED(dialog->Show(windowHandle(owner)))) {
            IShellItem* item = nullptr;
            if (SUCCEEDED(dialog->GetResult(&item)) && item != nullptr) {
                PWSTR path = nullptr;
                if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path != nullptr) {
                    chosen = narrow(path);
                    ::CoTaskMemFree(path);
                }
                item->Release();
            }
        }
        dialog->Release();
        return chosen;
    }
};

}  // namespace
}  // namespace qk::platform::win32

namespace qk::platform {

std::unique_ptr<Shell> createShell() {
    return std::make_unique<win32::Win32Shell>();
}

}  // namespace qk::platform
