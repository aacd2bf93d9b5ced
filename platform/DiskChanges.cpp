#include "DiskChanges.h"

#include "TextCodes.h"

#include "CloudFiles.h"

namespace DiskChanges {

namespace {
ChangeSeam* currentSeam = nullptr;
DWORD sharingWait = 2000;

std::wstring Widen(const std::string& text) {
    return TextCodes::Wide(text);
}
} // namespace

void SetChangeSeam(ChangeSeam* seam) {
    currentSeam = seam;
}

void BeforeChange(const std::wstring& path) {
    if (currentSeam)
        currentSeam->BeforeChange(path);
}

void BeforeChange(const std::string& ansiPath) {
    if (currentSeam)
        currentSeam->BeforeChange(Widen(ansiPath));
}

std::wstring WidePath(const std::string& ansiPath) {
    const std::wstring wide = Widen(ansiPath);
    if (wide.empty())
        return std::wstring();
    if (wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return std::wstring();
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return std::wstring();
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string ShownPath(const std::wstring& widePath) {
    std::wstring path = widePath;
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        path = L"\\\\" + path.substr(8);
    else if (path.rfind(L"\\\\?\\", 0) == 0)
        path = path.substr(4);
    if (path.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

void SetSharingWait(DWORD milliseconds) {
    sharingWait = milliseconds;
}
DWORD SharingWait() {
    return sharingWait;
}

bool MakeFolder(const std::wstring& path) {
    BeforeChange(path);
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool MakeFolder(const std::string& ansiPath) {
    BeforeChange(ansiPath);
    return CreateDirectoryA(ansiPath.c_str(), nullptr) != 0;
}

bool CopyOneFile(const std::wstring& from, const std::wstring& to) {
    BeforeChange(to);
    if (CloudFiles::ReadRefused(from))
        return false;
    return RetryWhileShared([&] { return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0; });
}

bool CopyOneFileWhole(const std::wstring& from, const std::wstring& to) {
    const std::wstring temporary = to + L"~copy";
    if (!CopyOneFile(from, temporary))
        return false;
    BeforeChange(to);
    if (RetryWhileShared([&] {
            return MoveFileExW(temporary.c_str(), to.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }))
        return true;
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    SetLastError(error);
    return false;
}

bool ClearMarks(const std::wstring& path) {
    const DWORD marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & marks))
        return true;
    BeforeChange(path);
    DWORD kept = attributes & ~marks;
    return SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
    BeforeChange(path);
    return SetFileAttributesW(path.c_str(), attributes) != 0;
}

} // namespace DiskChanges
