// The system open-file dialog and the forms it wants its filter and default
// extension in.
#include "OpenFileDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "LateBound.h"
#include "OleScope.h"

std::string DialogFilterText(const std::string& filter) {
    if (filter.empty())
        return {};
    std::string text = filter;
    std::replace(text.begin(), text.end(), '|', '\0');
    if (text.back() != '\0')
        text.push_back('\0');
    text.push_back('\0');
    return text;
}

std::string DialogDefaultExtension(const std::string& defaultExt) {
    std::string extension = defaultExt;
    if (extension.rfind("*.", 0) == 0)
        extension.erase(0, 2);
    else if (extension.rfind('.', 0) == 0)
        extension.erase(0, 1);
    if (extension.find_first_of("*?") != std::string::npos)
        return {};
    return extension;
}

bool ShowOpenFileDialog(const OpenFileRequest& request, std::string& fileName) {
    const std::string filter = DialogFilterText(request.filter);
    const std::string extension = DialogDefaultExtension(request.defaultExt);
    std::vector<char> buffer(OpenFileNameBufferSize, '\0');

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = request.owner ? request.owner : GetActiveWindow();
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.data();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrInitialDir = request.initialDir.empty() ? nullptr : request.initialDir.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = request.flags;
    // The dialog may change the process's current folder whatever the flags
    // say (OFN_NOCHANGEDIR is documented not to work for it), and a relative
    // redirection is resolved against that folder, so it is put back. Wine
    // honours the flag; this follows the documented Windows behaviour.
    std::vector<char> current(MAX_PATH * 4, '\0');
    const DWORD kept = GetCurrentDirectoryA(static_cast<DWORD>(current.size()), current.data());
    BOOL chosen = FALSE;
    {
        OleScope ole;
        chosen = LateBound::GetOpenFileNameA(&dialog);
    }
    if (kept > 0 && kept < current.size())
        SetCurrentDirectoryA(current.data());
    if (!chosen)
        return false;
    fileName = buffer.data();
    return !fileName.empty();
}
