#include "LateBound.h"

#include <string>

namespace LateBound {

namespace {

// From the system folder only, never from beside the program; the library
// stays loaded, as an imported one would.
FARPROC Find(const char* library, const char* name) {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    HMODULE module = LoadLibraryA((std::string(folder) + "\\" + library).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

// The function, looked up once; void (*)() is the function type that any
// other converts to and from without a warning.
template <typename Function> Function Bound(const char* library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(Find(library, name)));
}

} // namespace

HRESULT OleInitialize(LPVOID reserved) {
    static const auto call = Bound<decltype(&::OleInitialize)>("ole32.dll", "OleInitialize");
    return call ? call(reserved) : E_FAIL;
}

void OleUninitialize() {
    static const auto call = Bound<decltype(&::OleUninitialize)>("ole32.dll", "OleUninitialize");
    if (call)
        call();
}

void CoTaskMemFree(LPVOID memory) {
    static const auto call = Bound<decltype(&::CoTaskMemFree)>("ole32.dll", "CoTaskMemFree");
    if (call)
        call(memory);
}

BOOL GetOpenFileNameA(LPOPENFILENAMEA dialog) {
    static const auto call =
        Bound<decltype(&::GetOpenFileNameA)>("comdlg32.dll", "GetOpenFileNameA");
    return call ? call(dialog) : FALSE;
}

PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA info) {
    static const auto call =
        Bound<decltype(&::SHBrowseForFolderA)>("shell32.dll", "SHBrowseForFolderA");
    return call ? call(info) : nullptr;
}

BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path) {
    static const auto call =
        Bound<decltype(&::SHGetPathFromIDListA)>("shell32.dll", "SHGetPathFromIDListA");
    return call ? call(list, path) : FALSE;
}

HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* list) {
    static const auto call =
        Bound<decltype(&::SHGetSpecialFolderLocation)>("shell32.dll", "SHGetSpecialFolderLocation");
    return call ? call(owner, folder, list) : E_FAIL;
}

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count) {
    static const auto call =
        Bound<decltype(&::CommandLineToArgvW)>("shell32.dll", "CommandLineToArgvW");
    return call ? call(commandLine, count) : nullptr;
}

HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                        INT show) {
    static const auto call = Bound<decltype(&::ShellExecuteA)>("shell32.dll", "ShellExecuteA");
    return call ? call(owner, operation, file, parameters, folder, show)
                : reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
}

} // namespace LateBound
