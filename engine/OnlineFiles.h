// Files that a sync client keeps online only, as a run meets them: each is
// fetched before anything changes, and a read that the client could not
// serve is named with the client and the cause. Wine has no cloud files, so
// there no file is online only and no read fails so; tests stand in for the
// client through CloudFiles' seam.
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

} // namespace TVNConfigUtil
