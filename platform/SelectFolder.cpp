#include "SelectFolder.h"

#include "Dialogs.h"

bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) {
    return Dialogs().BrowseForFolder(owner, caption, folder);
}

bool ShowShellFolderBrowser(HWND, const std::string&, std::string&) { return false; }
