#include "CloudFiles.h"

#include <vector>

#include "DiskChanges.h"
#include "Win32Handles.h"

namespace CloudFiles {

namespace {
CloudSeam* currentSeam = nullptr;
} // namespace

bool IsOnlineOnly(DWORD listedAttributes) {
    return listedAttributes != INVALID_FILE_ATTRIBUTES &&
           (listedAttributes & (FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS |
                                FILE_ATTRIBUTE_RECALL_ON_OPEN | FILE_ATTRIBUTE_OFFLINE)) != 0;
}

DWORD Win32Code(DWORD error) {
    return (error & 0xFFFF0000) == 0x80070000 ? error & 0xFFFF : error;
}

bool IsCloudFileError(DWORD error) {
    switch (Win32Code(error)) {
    case 358: // sync root metadata corrupt
    case 362: // provider not running
    case 363: // metadata corrupt
    case 364: // metadata too large
    case 365: // property blob too large
    case 366: // property blob checksum mismatch
    case 374: // too many property blobs
    case 375: // property version not supported
    case 376: // not a cloud file
    case 377: // not in sync
    case 378: // already connected
    case 379: // not supported
    case 380: // invalid request
    case 381: // read-only volume
    case 382: // connected provider only
    case 383: // validation failed
    case 386: // authentication failed
    case 387: // insufficient resources
    case 388: // network unavailable
    case 389: // unsuccessful
    case 390: // not under sync root
    case 391: // in use
    case 392: // pinned
    case 393: // request aborted
    case 394: // property corrupt
    case 395: // access denied
    case 396: // incompatible hard links
    case 397: // property lock conflict
    case 398: // request canceled
    case 404: // provider terminated
    case 405: // not a cloud sync root
    case 426: // request time-out
    case 475: // message time-out
        return true;
    default:
        return false;
    }
}

void SetCloudSeam(CloudSeam* seam) {
    currentSeam = seam;
}

bool SeamInForce() {
    return currentSeam != nullptr;
}

DWORD Reported(const std::string& path, DWORD attributes) {
    if (!currentSeam || attributes == INVALID_FILE_ATTRIBUTES)
        return attributes;
    return currentSeam->Attributes(path, attributes);
}

DWORD Reported(const std::wstring& path, DWORD attributes) {
    if (!currentSeam)
        return attributes;
    return Reported(DiskChanges::ShownPath(path), attributes);
}

bool ReadRefused(const std::string& path) {
    if (!currentSeam)
        return false;
    const DWORD error = currentSeam->ReadError(path);
    if (error != 0)
        SetLastError(error);
    return error != 0;
}

bool ReadRefused(const std::wstring& path) {
    return currentSeam && ReadRefused(DiskChanges::ShownPath(path));
}

DWORD ListedAttributes(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW(path.c_str(), &entry));
    return find ? Reported(path, entry.dwFileAttributes) : INVALID_FILE_ATTRIBUTES;
}

DWORD Fetch(const std::wstring& path) {
    if (ReadRefused(path))
        return GetLastError();
    const UniqueFileHandle file = DiskChanges::OpenWhileShared(
        path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file)
        return GetLastError();
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return GetLastError();
        if (got == 0)
            return 0;
    }
}

namespace {

// Marks one file or folder, unless it reads back marked already; true when
// the mark holds.
bool Mark(const std::wstring& path, DWORD attributes) {
    const DWORD wanted = (attributes | FILE_ATTRIBUTE_PINNED) & ~FILE_ATTRIBUTE_UNPINNED;
    if (Reported(path, attributes) == wanted)
        return true;
    if (!DiskChanges::SetAttributes(path, wanted))
        return false;
    if (currentSeam)
        currentSeam->AttributesSet(DiskChanges::ShownPath(path), wanted);
    const DWORD now = Reported(path, GetFileAttributesW(path.c_str()));
    return now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_PINNED) &&
           !(now & FILE_ATTRIBUTE_UNPINNED);
}

// Marks what lies below a folder (ending with a backslash); folder links
// are not followed.
bool MarkBelow(const std::wstring& folder) {
    bool held = true;
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((folder + L"*").c_str(), &entry));
    if (!find)
        return true;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + name;
        held = Mark(path, entry.dwFileAttributes) && held;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            held = MarkBelow(path + L"\\") && held;
    } while (FindNextFileW(find.get(), &entry));
    return held;
}

} // namespace

bool KeepOnThisDevice(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool held = Mark(folder, attributes);
    return MarkBelow(folder.back() == L'\\' ? folder : folder + L'\\') && held;
}

} // namespace CloudFiles
