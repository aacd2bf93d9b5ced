// The installation configuration engine: path rules and standard locations,
// the installation settings file, copying and comparing data folders, and the
// configuration transaction. Plain routines; no state between calls.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "IniFiles.h"
#include "PathRules.h"
#include "Providers.h"

namespace TVNConfigUtil {

// Locations and path rules (the pure text rules are in PathRules.h)
bool SamePath(const std::string& a, const std::string& b);
std::string GetEnvVar(const std::string& name);
std::string StandardInstallationFolder();
bool IsInstallationFolder(const std::string& folder);
bool EnsureDataFolder(const std::string& root);
// The provider's folder with a trailing backslash, or empty: the folder
// named after it in the profile, else where its client records its folder
// (ProviderFolders.cpp lists the places and their order); among several, the
// one holding the detected installation's redirection.
std::string DropboxFolder();
std::string OneDriveFolder();
// The folder of a provider of the table in Providers.h, found as above, and
// the folders of all of them, in the table's order.
std::string ProviderFolder(SyncClient client);
std::vector<std::string> ProviderFolders();
// Whose folder holds a path (a folder or a file), given the providers'
// folders in the table's order. One provider's folder may lie inside
// another's: the innermost holds what lies in it. The one rule for the
// window, the command line and the messages about online files.
SyncClient ClientHolding(const std::string& path, const std::vector<std::string>& folders);
SyncClient ClientHolding(const std::string& path); // the folders found on this machine

// The installation settings file
std::unique_ptr<TMemIniFile> OpenInstallationIni(const std::string& folder);
std::string ReadRedirection(const std::string& folder);
// [Server] ServerPath of the settings in effect for the installation.
std::string ReadServerPath(const std::string& installFolder);
void WriteRedirection(const std::string& folder, const std::string& redirection);
// What WriteRedirection does to the settings, on a store the caller writes.
void SetRedirection(TCustomIniFile& store, const std::string& redirection);
void DeleteIniKey(TCustomIniFile* store, const std::string& section, const std::string& key);

// Data folder copy and backup
bool CopyFileForcingFolder(const std::string& source, const std::string& destination);
bool CopyFolderTree(const std::string& source, const std::string& destination,
                    const std::string& excludePrefix);
bool FolderHasFiles(const std::string& folder);
bool BackupFolder(const std::string& folder, const std::string& holder);
std::string TimestampedName(const std::string& prefix);

// "yyyy-mm-dd [hh-nn-ss-zzz]" of the given local time.
std::string FormatTimestamp(const SYSTEMTIME& time);

// Completeness comparison
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
