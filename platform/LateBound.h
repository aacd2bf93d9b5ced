// Functions of the system's libraries that the program needs only when the
// user opens a dialog or a command line brings arguments, bound at their
// first call instead of when the program loads. Under Wine, loading shell32,
// ole32 and comdlg32 with the program cost about an eighth of its time to a
// window that answers. Each returns what the function returns, or its
// failure (E_FAIL, FALSE, nullptr; SE_ERR_DLLNOTFOUND for ShellExecuteA)
// when the library or the function cannot be found.
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

namespace LateBound {

HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();
void CoTaskMemFree(LPVOID memory);
BOOL GetOpenFileNameA(LPOPENFILENAMEA dialog);
PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA info);
BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path);
HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* list);
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count);
HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                        INT show);

} // namespace LateBound
