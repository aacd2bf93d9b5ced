#include "SelectFolder.h"

#include <shlobj.h>

#include "Dialogs.h"
#include "LateBound.h"
#include "OleScope.h"
#include "Win32Handles.h"

namespace {

// Item ID lists that the shell hands out are freed with the COM allocator.
struct PidlTraits {
    using handle_type = LPITEMIDLIST;
    static handle_type invalid() noexcept { return nullptr; }
    static void close(handle_type h) noexcept { LateBound::CoTaskMemFree(h); }
};
using UniquePidl = UniqueHandle<PidlTraits>;

// Selects the initial folder once the browser is ready for it.
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) noexcept {
    if (message == BFFM_INITIALIZED) {
        const char* folder = reinterpret_cast<const char*>(data);
        if (folder && *folder)
            SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
    }
    return 0;
}

} // namespace

bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) {
    return Dialogs().BrowseForFolder(owner, caption, folder);
}

bool ShowShellFolderBrowser(HWND owner, const std::string& caption, std::string& folder) {
    OleScope ole;
    char displayName[MAX_PATH] = {};
    char path[MAX_PATH] = {};

    LPITEMIDLIST desktop = nullptr;
    if (FAILED(LateBound::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop)))
        desktop = nullptr;
    UniquePidl root(desktop);

    BROWSEINFOA info{};
    // The browser belongs to the window the user is working in.
    HWND active = GetActiveWindow();
    info.hwndOwner = active ? active : owner;
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(folder.c_str());

    UniquePidl chosen(LateBound::SHBrowseForFolderA(&info));
    if (!chosen || !LateBound::SHGetPathFromIDListA(chosen.get(), path))
        return false;
    folder = path;
    return true;
}
