#include "DiskChanges.h"

#include "TextCodes.h"

#include "CloudFiles.h"
#include "Win32Handles.h"

#include <algorithm>

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

namespace {
ChangeJournal* currentJournal = nullptr;
} // namespace

void SetChangeJournal(ChangeJournal* journal) {
    currentJournal = journal;
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

UniqueFileHandle OpenWhileShared(const std::wstring& path, DWORD access, DWORD share, DWORD flags) {
    UniqueFileHandle file;
    RetryWhileShared([&] {
        file.reset(
            CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
        return file.valid();
    });
    return file;
}

bool ReadWhole(const std::wstring& path, std::string& text) {
    const UniqueFileHandle file =
        OpenWhileShared(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!file)
        return false;
    // Sized once from the file, a byte more to meet its end: a text grown
    // piece by piece is copied at each step into memory never touched
    // before, which under Wine costs more than the read. A file that grows
    // meanwhile is read to its end all the same.
    LARGE_INTEGER size{};
    const size_t expected = GetFileSizeEx(file.get(), &size) ? size_t(size.QuadPart) : 0;
    text.resize(std::max<size_t>(expected + 1, 1 << 12));
    size_t done = 0;
    for (;;) {
        if (done == text.size())
            text.resize(text.size() * 2);
        const DWORD wanted = DWORD(std::min<size_t>(text.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.get(), text.data() + done, wanted, &got, nullptr)) {
            text.resize(done);
            return false;
        }
        done += got;
        if (got == 0) {
            text.resize(done);
            return true;
        }
    }
}

std::wstring AsFolder(const std::wstring& path) {
    return path.empty() || path.back() == L'\\' ? path : path + L'\\';
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
    if (!CreateDirectoryW(path.c_str(), nullptr))
        return false;
    if (currentJournal)
        currentJournal->FolderMade(path);
    return true;
}

bool MakeFolder(const std::string& ansiPath) {
    BeforeChange(ansiPath);
    if (!CreateDirectoryA(ansiPath.c_str(), nullptr))
        return false;
    if (currentJournal)
        currentJournal->FolderMade(WidePath(ansiPath));
    return true;
}

bool CopyOneFile(const std::wstring& from, const std::wstring& to) {
    BeforeChange(to);
    if (CloudFiles::ReadRefused(from))
        return false;
    return RetryWhileShared([&] { return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0; });
}

bool StateOf(const std::wstring& path, FileState& state, DWORD* attributes) {
    state = FileState{};
    if (attributes)
        *attributes = INVALID_FILE_ATTRIBUTES;
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
        return false;
    state.exists = true;
    state.bytes = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    state.written = (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                    info.ftLastWriteTime.dwLowDateTime;
    state.volume = info.dwVolumeSerialNumber;
    state.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (attributes)
        *attributes = info.dwFileAttributes;
    return true;
}

std::wstring TemporaryFor(const std::wstring& target) {
    const size_t cut = target.find_last_of(L'\\') + 1;
    return target.substr(0, cut) + L"~$" + target.substr(cut) + L".tvn.tmp";
}

bool IsTemporaryName(const std::wstring& name) {
    return name.size() > 10 && name.compare(0, 2, L"~$") == 0 &&
           _wcsicmp(name.c_str() + name.size() - 8, L".tvn.tmp") == 0;
}

bool IsTemporaryName(const std::string& name) {
    return IsTemporaryName(Widen(name));
}

namespace {

const DWORD Marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

// Removes a temporary file: one left by a run that died (marks and all), or
// one that did not take its target's place.
bool RemoveTemporary(const std::wstring& temporary) {
    const DWORD attributes = GetFileAttributesW(temporary.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    BeforeChange(temporary);
    if (attributes & Marks)
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RetryWhileShared([&] { return DeleteFileW(temporary.c_str()) != 0; });
}

// Puts a written temporary file in the target's place, as CopyWhole and
// WriteWhole describe. A target that keeps changing while it is looked at
// is left alone after a few rounds.
bool Place(const std::wstring& temporary, const std::wstring& target, const FileState* expected,
           ChangedTarget* changed, bool& made) {
    FileState wanted = expected ? *expected : FileState{};
    for (int round = 0; round < 8; ++round) {
        BeforeChange(target);
        // A target expected absent is not looked at first: the rename below
        // never replaces, so one that is there after all makes it fail, and
        // the next round looks.
        FileState now;
        if (!expected || wanted.exists || round > 0) {
            DWORD attributes;
            if (!StateOf(target, now, &attributes))
                return false;
            if (expected && now != wanted) {
                if (!changed || !changed->Keep(target, now)) {
                    SetLastError(TargetChanged);
                    return false;
                }
                wanted = now;
                continue;
            }
            // Windows refuses to rename over a read-only file (Wine running
            // as root does not); what the file holds was judged above.
            if (now.exists && (attributes & FILE_ATTRIBUTE_READONLY) &&
                !(attributes & FILE_ATTRIBUTE_DIRECTORY) && !ClearMarks(target))
                return false;
        }
        const DWORD flags =
            MOVEFILE_WRITE_THROUGH | (now.exists ? DWORD(MOVEFILE_REPLACE_EXISTING) : 0);
        made = !now.exists;
        if (RetryWhileShared(
                [&] { return MoveFileExW(temporary.c_str(), target.c_str(), flags) != 0; }, true))
            return true;
        const DWORD error = GetLastError();
        // Something took the name since it was looked at: look again.
        if (!now.exists && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
            continue;
        SetLastError(error);
        return false;
    }
    SetLastError(TargetChanged);
    return false;
}

bool PutInPlace(const std::wstring& from, const std::wstring& temporary, const std::wstring& target,
                const FileState* expected, ChangedTarget* changed) {
    if (currentJournal)
        currentJournal->Before(from, target, temporary);
    bool made = false;
    if (Place(temporary, target, expected, changed, made)) {
        if (currentJournal)
            currentJournal->Placed(target, made);
        return true;
    }
    const DWORD error = GetLastError();
    RemoveTemporary(temporary);
    SetLastError(error);
    return false;
}

} // namespace

bool CopyWhole(const std::wstring& from, const std::wstring& to, const FileState* expected,
               ChangedTarget* changed) {
    const std::wstring temporary = TemporaryFor(to);
    BeforeChange(temporary);
    if (CloudFiles::ReadRefused(from))
        return false;
    auto copy = [&] {
        return RetryWhileShared(
            [&] { return CopyFileW(from.c_str(), temporary.c_str(), TRUE) != 0; });
    };
    // A temporary file left by a run that died is removed only when found.
    bool copied = copy();
    if (!copied && (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS))
        copied = RemoveTemporary(temporary) && copy();
    if (!copied) {
        const DWORD error = GetLastError();
        RemoveTemporary(temporary);
        SetLastError(error);
        return false;
    }
    return PutInPlace(from, temporary, to, expected, changed);
}

bool WriteWhole(const std::wstring& to, const std::string& text, DWORD attributes,
                const FileState* expected, ChangedTarget* changed) {
    const std::wstring temporary = TemporaryFor(to);
    if (!RemoveTemporary(temporary))
        return false;
    BeforeChange(temporary);
    bool written = false;
    {
        UniqueFileHandle file;
        if (RetryWhileShared([&] {
                file.reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
                return file.valid();
            })) {
            written = true;
            for (size_t done = 0; written && done < text.size();) {
                const DWORD wanted = DWORD(std::min<size_t>(text.size() - done, 1 << 20));
                DWORD wrote = 0;
                written = WriteFile(file.get(), text.data() + done, wanted, &wrote, nullptr) &&
                          wrote == wanted;
                done += wrote;
            }
            written = written && FlushFileBuffers(file.get());
        } else {
            return false;
        }
    }
    if (!written) {
        const DWORD error = GetLastError();
        RemoveTemporary(temporary);
        SetLastError(error ? error : ERROR_WRITE_FAULT);
        return false;
    }
    return PutInPlace(std::wstring(), temporary, to, expected, changed);
}

bool ClearMarks(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & Marks))
        return true;
    BeforeChange(path);
    DWORD kept = attributes & ~Marks;
    return SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
    BeforeChange(path);
    return SetFileAttributesW(path.c_str(), attributes) != 0;
}

} // namespace DiskChanges
