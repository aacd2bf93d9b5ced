#include "Preflight.h"

#include <windows.h>

#include <algorithm>
#include <set>

#include "CloudFiles.h"
#include "CopyPlan.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "IniFiles.h"
#include "OnlineFiles.h"
#include "Progress.h"
#include "TVNConfigUtil.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

namespace {

using DiskChanges::ShownPath;
using DiskChanges::WidePath;

std::string InUse(const std::string& path) {
    return "The file \"" + path +
           "\" is in use by another program.\r\nClose Tallyvane on this machine and let the sync "
           "client finish, then press Configure again.";
}

std::string NotAllowed(const std::string& path) {
    return "Windows does not let this account change \"" + path +
           "\".\r\nRun TVN Cloud Drive Configuration as administrator (right-click it and choose "
           "\"Run as administrator\"), then press Configure again.";
}

std::string NotReadable(const std::string& path) {
    return "Windows does not let this account read \"" + path +
           "\".\r\nRun TVN Cloud Drive Configuration as administrator (right-click it and choose "
           "\"Run as administrator\"), then press Configure again.";
}

std::string CannotRead(const std::string& path, DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string cause = text;
    for (char& c : cause)
        if (c == '\r' || c == '\n')
            c = ' ';
    while (!cause.empty() && (cause.back() == ' ' || cause.back() == '.'))
        cause.pop_back();
    return "The file \"" + path + "\" cannot be read: " + (cause.empty() ? "" : cause + " ") +
           "(error " + std::to_string(error) +
           ").\r\nCheck that its drive or network location can be reached, then press Configure "
           "again.";
}

// Empty when the file can be opened as asked (a sharing violation waited out
// first), else the message for why not.
std::string Opens(const std::wstring& path, DWORD access, DWORD share) {
    if (DiskChanges::OpenWhileShared(path, access, share))
        return std::string();
    return OpenFailure(ShownPath(path), GetLastError());
}

// The copy reads with others still allowed to read and write, as the system
// copy does; a file it overwrites must not be open anywhere.
std::string CopyCanRead(const std::wstring& file) {
    return Opens(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}
std::string CopyCanOverwrite(const std::wstring& file) {
    return Opens(file, GENERIC_READ, 0);
}

// Whether this account may make files in a folder: a file made there and
// removed again at once, also if the process ends in between (the system
// deletes it when its handle closes). Only a refusal counts: a name already
// taken, say, says nothing about the folder.
bool MayWriteIn(const std::wstring& folder) {
    for (int n = 0; n < 10; ++n) {
        const std::wstring probe = folder + L"~tvn-write-test-" +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(n) + L".tmp";
        UniqueFileHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
        if (file)
            return true;
        if (GetLastError() == ERROR_ACCESS_DENIED)
            return false;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return true;
    }
    return true;
}

std::wstring FolderOf(const std::wstring& file) {
    return file.substr(0, file.find_last_of(L'\\') + 1);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The settings files a run reads to see that they can be read: each once,
// and none it has read whole already.
std::vector<std::string> SettingsToRead(const RunPlan& plan) {
    std::vector<std::string> files, seen;
    for (const std::string& read : plan.settingsRead)
        seen.push_back(AsciiLowerCase(read));
    // The source's, which the copy makes the destination's, first.
    if (plan.copy)
        files.push_back(plan.sourceRoot + SettingsFileName);
    files.insert(files.end(), plan.settingsFiles.begin(), plan.settingsFiles.end());
    std::erase_if(files, [&](const std::string& file) {
        const std::string key = AsciiLowerCase(file);
        if (std::find(seen.begin(), seen.end(), key) != seen.end())
            return true;
        seen.push_back(key);
        return false;
    });
    return files;
}

// The online-only files among those listed, to be fetched before the first
// change.
void AddIfOnlineOnly(std::vector<FileToFetch>& fetch, const std::wstring& path, DWORD attributes,
                     unsigned long long bytes) {
    if (CloudFiles::IsOnlineOnly(attributes))
        fetch.push_back(FileToFetch{path, bytes});
}

// Whether two folders lie on one volume, so that what is fetched into one
// takes space on the other's drive.
bool SameVolume(const std::wstring& a, const std::wstring& b) {
    wchar_t first[MAX_PATH + 1], second[MAX_PATH + 1];
    return GetVolumePathNameW(a.c_str(), first, MAX_PATH) &&
           GetVolumePathNameW(b.c_str(), second, MAX_PATH) &&
           CompareStringOrdinal(first, -1, second, -1, TRUE) == CSTR_EQUAL;
}

// Fetches the files; the message of the first that cannot be read, or empty
// (also when the observer stopped the work: StopAsked() then tells).
std::string Fetched(const std::vector<FileToFetch>& files) {
    FetchFailure failure;
    if (FetchOnlineFiles(files, failure) || failure.error == 0)
        return std::string();
    return OpenFailure(ShownPath(failure.path), failure.error);
}

} // namespace

std::string OpenFailure(const std::string& path, DWORD error) {
    if (CloudFiles::IsCloudFileError(error))
        return CloudFileFailure(path, error);
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return std::string(); // gone since it was listed: the copy passes it over
    case ERROR_ACCESS_DENIED:
        return NotReadable(path);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return InUse(path);
    default:
        return CannotRead(path, error);
    }
}

std::string CheckFileToCopy(const std::wstring& from, const std::wstring& to) {
    if (std::string problem = CopyCanRead(from); !problem.empty())
        return problem;
    if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::string();
    return CopyCanOverwrite(to);
}

RunPlan PlanRun(const std::string& sourceRoot, const std::string& destinationRoot, bool copy,
                std::vector<std::string> settingsFiles, std::vector<std::string> settingsRead) {
    RunPlan plan;
    plan.sourceRoot = sourceRoot;
    plan.destinationRoot = destinationRoot;
    plan.copy = copy;
    plan.settingsFiles = std::move(settingsFiles);
    plan.settingsRead = std::move(settingsRead);
    if (!copy)
        return plan;
    plan.destination = PlanBackup(destinationRoot);
    plan.backupDue = HoldsFiles(plan.destination);
    plan.data =
        PlanCopy(DataFolderOf(sourceRoot), DataFolderOf(destinationRoot), "", &plan.destination);
    plan.rootFiles = PlanRootFiles(sourceRoot, destinationRoot, &plan.destination);
    return plan;
}

std::string CheckBeforeChanges(const RunPlan& plan) {
    // What the run reads and what it overwrites or makes.
    std::vector<std::wstring> reads;
    std::vector<std::wstring> overwrites;
    std::set<std::wstring> folders;
    // What of that is online only, fetched last: the fetched data takes
    // space on its drive, which for the destination's files (and the
    // source's on the same volume) is the destination's.
    std::vector<FileToFetch> fetch;
    unsigned long long needed = 0;
    if (plan.copy) {
        if (plan.backupDue) {
            for (const PlannedFolder& folder : plan.destination.folders)
                for (const PlannedFile& file : folder.files) {
                    reads.push_back(plan.destination.from + folder.below + file.name);
                    AddIfOnlineOnly(fetch, reads.back(), file.attributes, file.bytes);
                }
            needed += plan.destination.bytes;
            for (const FileToFetch& file : fetch)
                needed += file.bytes;
        }
        const size_t fetchedAtDestination = fetch.size();
        for (const PlannedFolder& folder : plan.data.folders) {
            for (const PlannedFile& file : folder.files) {
                reads.push_back(plan.data.from + folder.below + file.name);
                AddIfOnlineOnly(fetch, reads.back(), file.attributes, file.bytes);
                if (file.overwrites) {
                    overwrites.push_back(plan.data.to + folder.below + file.name);
                    needed += file.bytes > file.replacedBytes ? file.bytes - file.replacedBytes : 0;
                } else {
                    needed += file.bytes;
                }
            }
            if (!folder.files.empty())
                folders.insert(plan.data.to + folder.below);
        }
        for (const PlannedRootFile& file : plan.rootFiles) {
            if (!file.exists)
                continue;
            reads.push_back(file.from);
            AddIfOnlineOnly(fetch, file.from, file.attributes, file.bytes);
            if (file.overwrites)
                overwrites.push_back(file.to);
            needed += file.bytes;
        }
        folders.insert(WidePath(plan.destinationRoot));
        if (fetch.size() > fetchedAtDestination &&
            SameVolume(WidePath(plan.sourceRoot), WidePath(plan.destinationRoot)))
            for (size_t i = fetchedAtDestination; i < fetch.size(); ++i)
                needed += fetch[i].bytes;
    }
    for (const std::string& settings : plan.settingsFiles)
        folders.insert(FolderOf(WidePath(settings)));

    // Folders first: a folder this account may not change refuses all else.
    for (const std::wstring& folder : folders)
        if (Exists(folder) && !MayWriteIn(folder))
            return NotAllowed(ShownPath(folder));

    // Settings that cannot be read stop the run here with the store's own
    // error, as they would at their write, but before anything has changed;
    // those kept online only are fetched first, so that a client that cannot
    // provide them is named.
    const std::vector<std::string> settingsToRead = SettingsToRead(plan);
    std::vector<FileToFetch> settingsToFetch;
    for (const std::string& settings : settingsToRead) {
        const std::wstring path = WidePath(settings);
        AddIfOnlineOnly(settingsToFetch, path, CloudFiles::ListedAttributes(path), 0);
    }
    if (std::string problem = Fetched(settingsToFetch); !problem.empty() || StopAsked())
        return problem;
    for (const std::string& settings : settingsToRead)
        TMemIniFile{settings};

    // A settings file this account may not write (its own access rights, not
    // the read-only mark), then the settings store's own rule and message.
    for (const std::string& settings : plan.settingsFiles) {
        const DWORD attributes = GetFileAttributesA(settings.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY) &&
            !UniqueFileHandle(CreateFileA(settings.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
                 .valid() &&
            GetLastError() == ERROR_ACCESS_DENIED)
            return NotAllowed(settings);
    }
    for (const std::string& settings : plan.settingsFiles)
        if (!TMemIniFile::CanReplace(settings))
            return EFCreateError(settings).what();

    for (const std::wstring& file : reads)
        if (std::string problem = CopyCanRead(file); !problem.empty())
            return problem;
    for (const std::wstring& file : overwrites)
        if (std::string problem = CopyCanOverwrite(file); !problem.empty())
            return problem;

    if (plan.copy) {
        ULARGE_INTEGER free{};
        if (GetDiskFreeSpaceExW(WidePath(plan.destinationRoot).c_str(), &free, nullptr, nullptr) &&
            free.QuadPart < needed)
            return "There is not enough free space for the backup and the copy on the drive of \"" +
                   plan.destinationRoot +
                   "\": " + FileSystem::Megabytes(needed, FileSystem::Rounding::Up) +
                   " MB are needed and " +
                   FileSystem::Megabytes(free.QuadPart, FileSystem::Rounding::Down) +
                   " MB are free.\r\nFree some space on that drive, then press Configure again.";
    }
    return Fetched(fetch);
}

} // namespace TVNConfigUtil
