// The engine's pure text rules: path forms, backup folder names, monthly data
// file names and integer texts. No file access, so they also build natively.
#pragma once

#include <string>

namespace TVNConfigUtil {

std::string AddBackslash(const std::string& path);
std::string RemoveBackslash(const std::string& path);
// Maps A-Z to a-z and leaves every other byte as it is.
std::string AsciiLowerCase(const std::string& text);
// Path normal form: AddBackslash, then ASCII lower-casing.
inline std::string NormalForm(const std::string& path) {
    return AsciiLowerCase(AddBackslash(path));
}
// The root's "Data\" folder.
std::string DataFolderOf(const std::string& root);

// Folder lies inside (or is) folder holder: holder is not empty and folder
// begins with it. Both are in normal form, so holder ends with a backslash
// and "onedrive backup\" does not lie inside "onedrive\".
bool LiesInside(const std::string& folder, const std::string& holder);

// "tvn.ini", the settings file of an installation or a data location.
extern const char* const SettingsFileName;
// "tvn.inf", the file that marks a folder as an installation.
extern const char* const InstallationMarkerName;

// The folder part of a file path without its trailing backslash, except that
// a drive root (c:\) keeps it; empty when the path has no folder part.
std::string FolderOfFile(const std::string& filePath);

// "TVN Backup "
extern const char* const BackupPrefix;
// "yyyy-mm-dd [hh-nn-ss-zzz]" of the given local time.
std::string FormatTimestampFields(int year, int month, int day, int hour, int minute, int second,
                                  int millisecond);
bool IsBackupFolderName(const std::string& prefix, const std::string& name);

bool IsInteger(const std::string& text);
bool IsMonthlyDataFileName(const std::string& name);

// The root a configuration copies from: the old redirection, unless that holds
// no file at all and so nothing to hand over; the installation otherwise.
// The one rule for the decisions before a run and for the run.
std::string CopySourceRoot(const std::string& installFolder, const std::string& oldRedirect,
                           bool oldRedirectHasFiles);

} // namespace TVNConfigUtil
