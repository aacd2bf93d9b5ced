// Files that a sync client keeps online only, as a run meets them: each is
// fetched before anything changes, a read that the client could not serve is
// named with the client and the cause, and after a configuration into a
// OneDrive folder the data is marked to be kept on this device. Wine has no
// cloud files, so there no file is online only, no read fails so and the mark
// never holds; tests stand in for the client through CloudFiles' seam.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TVNConfigUtil {

// "OneDrive" or "Dropbox" where that provider's folder holds path, else
// "the sync client".
std::string SyncClientOf(const std::string& path);

// The message for a file whose read failed with a cloud-file error, naming
// the file, the client and the cause, and what to do; empty for any other
// error.
std::string CloudFileFailure(const std::string& path, DWORD error);
// Throws for a file that cannot be read: EFCloudFileError with that message
// where its client could not provide it, else EFOpenError naming the path.
[[noreturn]] void ThrowUnreadable(const std::string& path, DWORD error);

// A file the run will read that a listing showed online only.
struct FileToFetch {
    std::wstring path; // \\?\ path
    unsigned long long bytes = 0;
};
// The file whose fetch failed, and the system's error.
struct FetchFailure {
    std::wstring path;
    DWORD error = 0;
};
// Reads the files one by one, so that their clients download them now, as
// the stage "Downloading" of each client in turn. False at the first file
// that cannot be read (failure says which and why) or when the progress
// observer stops the work (failure.error stays 0). A file gone since it was
// listed is passed over.
bool FetchOnlineFiles(const std::vector<FileToFetch>& files, FetchFailure& failure);

// Marks a data location in a OneDrive folder "Always keep on this device",
// with everything in it: called before a copy makes files there, so that
// they inherit the mark, and again after it, when the line for the report
// comes back only if the mark holds on every file and folder there. Empty
// elsewhere, and where the mark does not hold (Dropbox, an older client, no
// client at all).
std::string KeepDataOnThisDevice(const std::string& location);

} // namespace TVNConfigUtil
