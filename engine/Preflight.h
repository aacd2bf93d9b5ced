// The checks a configuration makes before its first backup, copy or settings
// write, so that a fault that is there already stops the run with nothing
// changed and a message that names the file or folder and what to do.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TVNConfigUtil {

struct RunPlan {
    std::string sourceRoot;      // normal form
    std::string destinationRoot; // normal form
    bool copy = false;           // back up the destination and copy the data
    // Settings files the run will rewrite.
    std::vector<std::string> settingsFiles;
};

// How much the backup and the copy go through, as the checks found it.
struct PlannedWork {
    bool backupDue = false; // the destination holds files, which are backed up first
    unsigned long long backupFiles = 0, backupBytes = 0;
    unsigned long long copyFiles = 0, copyBytes = 0;
};

// The first problem, as the line the failure report shows, or empty. A
// settings file that cannot be read throws the store's EFOpenError. work,
// when given, receives the totals of the backup and the copy.
std::string CheckBeforeChanges(const RunPlan& plan, PlannedWork* work = nullptr);

// Why a file could not be opened, from the system's error: empty for a file
// or folder that is gone since it was listed, else the message that names
// the cause and what to do.
std::string OpenFailure(const std::string& path, DWORD error);

} // namespace TVNConfigUtil
