#include "FileSystem.h"

#include <windows.h>

#include <algorithm>

#include "CloudFiles.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "Win32Handles.h"

namespace FileSystem {

std::string ExpandFullPath(const std::string& path) {
    if (path.empty())
        return std::string();
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    // A result that does not fit reports the size it needs (>= MAX_PATH) and
    // leaves the buffer unwritten: that is a failure, not a path.
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(buffer, length);
}

bool FileExists(const std::string& path) {
    bool found = false;
    ForEachMatch(path, [&](const WIN32_FIND_DATAA& entry) {
        found = !IsFolderEntry(entry);
        return false;
    });
    return found;
}

PathState StateOf(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return PathState::Exists;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathState::Missing
                                                                          : PathState::Unknown;
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::string dir = path;
    if (dir.back() == '\\')
        dir.pop_back();
    const std::string parent = ExtractFilePath(dir);
    // A drive ("c:") and the root ("\", whose parent part is itself) exist.
    if (dir.empty() || parent == dir || (dir.size() == 2 && dir[1] == ':'))
        return true;
    // A single name ("srv") would be made in whatever the current folder is.
    if (parent.empty())
        return false;
    if (DirectoryExists(dir))
        return true;
    if (!ForceDirectories(parent))
        return false;
    return DiskChanges::MakeFolder(dir) || DirectoryExists(dir);
}

std::vector<std::string> MissingFolders(const std::string& path) {
    std::vector<std::string> missing;
    std::string dir = path;
    while (!dir.empty()) {
        if (dir.back() == '\\')
            dir.pop_back();
        const std::string parent = ExtractFilePath(dir);
        if (dir.empty() || parent.empty() || parent == dir || (dir.size() == 2 && dir[1] == ':') ||
            DirectoryExists(dir))
            break;
        missing.insert(missing.begin(), dir + "\\");
        dir = parent;
    }
    return missing;
}

bool ReadWholeFile(const std::string& path, std::string& text, DWORD& error) {
    if (CloudFiles::ReadRefused(path)) {
        error = GetLastError();
        text.clear();
        return false;
    }
    // A sync client or scanner may hold the file for a moment.
    UniqueFileHandle file;
    if (!DiskChanges::RetryWhileShared([&] {
            file.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            return file.valid();
        })) {
        error = GetLastError();
        text.clear();
        return false;
    }
    LARGE_INTEGER size{};
    const size_t reported = GetFileSizeEx(file.get(), &size) && size.QuadPart > 0
                                ? static_cast<size_t>(size.QuadPart)
                                : 0;
    // Straight into the text, with one byte of room beyond the size reported
    // for the read that meets the end; a file that grows meanwhile is read on
    // to its end. Making the text longer zero-fills only the bytes beyond what
    // it held before, so a reused buffer costs no second pass over the file.
    if (text.size() < reported + 1)
        text.resize(reported + 1);
    size_t length = 0;
    for (;;) {
        if (length == text.size())
            text.resize(text.size() + (1 << 16));
        const DWORD room = static_cast<DWORD>(std::min<size_t>(text.size() - length, 1 << 30));
        DWORD got = 0;
        if (!ReadFile(file.get(), text.data() + length, room, &got, nullptr)) {
            error = GetLastError();
            text.clear();
            return false;
        }
        if (got == 0)
            break;
        length += got;
    }
    text.resize(length);
    return true;
}

void ReadWholeFileInto(const std::string& path, const std::string& errorName, std::string& text) {
    DWORD error = 0;
    if (!ReadWholeFile(path, text, error))
        throw EFOpenError(errorName);
}

std::string ReadWholeFile(const std::string& path, const std::string& errorName) {
    std::string text;
    ReadWholeFileInto(path, errorName, text);
    return text;
}

} // namespace FileSystem
