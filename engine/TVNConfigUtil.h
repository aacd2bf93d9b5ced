// The installation configuration engine: path rules and standard locations,
// the installation settings file, copying and comparing data folders, and the
// configuration transaction. Plain routines; no state between calls.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "IniFiles.h"

namespace TVNConfigUtil {

// Locations and path rules
std::string AddBackslash(const std::string& path);
std::string RemoveBackslash(const std::string& path);
std::string AsciiLowerCase(const std::string& text);
bool SamePath(const std::string& a, const std::string& b);
std::string DataFolderOf(const std::string& root);
std::string GetEnvVar(const std::string& name);
std::string StandardInstallationFolder();
bool IsInstallationFolder(const std::string& folder);
bool EnsureDataFolder(const std::string& root);
std::string DropboxFolder();
std::string OneDriveFolder();

// Path normal form: AddBackslash, then ASCII lower-casing.
inline std::string NormalForm(const std::string& path) { return AsciiLowerCase(AddBackslash(path)); }

// The installation settings file
std::unique_ptr<TMemIniFile> OpenInstallationIni(const std::string& folder);
std::string ReadRedirection(const std::string& folder);
void WriteRedirection(const std::string& folder, const std::string& redirection);
void DeleteIniKey(TCustomIniFile* store, const std::string& section, const std::string& key);

// Data folder copy and backup
bool CopyFileForcingFolder(const std::string& source, const std::string& destination);
bool CopyFolderTree(const std::string& source, const std::string& destination,
                    const std::string& excludePrefix);
bool FolderHasFiles(const std::string& folder);
bool BackupFolder(const std::string& folder, const std::string& holder);
std::string TimestampedName(const std::string& prefix);
bool IsBackupFolderName(const std::string& prefix, const std::string& name);

// "yyyy-mm-dd [hh-nn-ss-zzz]" of the given local time.
std::string FormatTimestamp(const SYSTEMTIME& time);
// "TVN Backup "
extern const char* const BackupPrefix;

// Completeness comparison
bool IsInteger(const std::string& text);
bool IsMonthlyDataFileName(const std::string& name);
int CompareDataCompleteness(const std::vector<std::string>& roots);

// Configuration transaction and outcome report
struct Outcome {
    std::string Report;
    std::string ErrorText;
};
Outcome ConfigureInstallation(const std::string& InstallFolder, const std::string& ServerFolder,
                              const std::string& OldRedirectFolder,
                              const std::string& NewRedirectFolder, bool CopyData);
std::string ComposeOutcomeReport(const std::string& ErrorText, const std::string& OldRedirectFolder,
                                 const std::string& NewRedirectFolder, const std::string& CopiedTo);
void ShowOutcome(const std::string& ErrorText, const std::string& Report);
bool ConfirmCopyDirection(bool CopyLessComplete);

} // namespace TVNConfigUtil
