// A configuration's plan and the checks it makes before its first backup,
// copy or settings write, so that a fault that is there already stops the run
// with nothing changed and a message that names the file or folder and what
// to do.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "CopyPlan.h"

namespace TVNConfigUtil {

struct RunPlan {
    std::string sourceRoot;      // normal form
    std::string destinationRoot; // normal form
    bool copy = false;           // back up the destination and copy the data
    // Settings files the run will rewrite, and those it has read whole
    // already (they are not read again to see that they can be).
    std::vector<std::string> settingsFiles;
    std::vector<std::string> settingsRead;

    // When copying: the destination as its one walk found it, which is what
    // the backup copies and what the copy overwrites; whether it holds any
    // file, so that it is backed up first; the copy of the data folder; and
    // the files beside it that go along.
    TreePlan destination;
    bool backupDue = false;
    TreePlan data;
    std::vector<PlannedRootFile> rootFiles;
};

// The plan of a run: when copying, one walk of the destination and one of
// the source's data folder.
RunPlan PlanRun(const std::string& sourceRoot, const std::string& destinationRoot, bool copy,
                std::vector<std::string> settingsFiles, std::vector<std::string> settingsRead);

// The first problem with the plan, as the line the failure report shows, or
// empty. A settings file that cannot be read throws the store's EFOpenError.
std::string CheckBeforeChanges(const RunPlan& plan);

// The checks of one file the copy reads (from) and writes (to), as for a
// planned file: the first problem, or empty.
std::string CheckFileToCopy(const std::wstring& from, const std::wstring& to);

// Why a file could not be opened, from the system's error: empty for a file
// or folder that is gone (a copy passes it over, as a walk would), else the
// message that names the cause and what to do.
std::string OpenFailure(const std::string& path, DWORD error);

} // namespace TVNConfigUtil
