// The shell folder browser.
#pragma once

#include <windows.h>

#include <string>

// Shows the folder browser (through the dialog seam) with caption as its title
// and folder as the initial selection. True and folder replaced when the user
// confirms a file-system folder; false and folder unchanged otherwise.
bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder);

// The real shell dialog, used by the real dialog seam.
bool ShowShellFolderBrowser(HWND owner, const std::string& caption, std::string& folder);
