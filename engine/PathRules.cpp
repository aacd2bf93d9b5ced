#include "PathRules.h"

#include <cstdio>

#include "FileSystemText.h"
#include "IniText.h"

namespace TVNConfigUtil {

const char* const BackupPrefix = "TVN Backup ";
const char* const SettingsFileName = "tvn.ini";
const char* const InstallationMarkerName = "tvn.inf";

namespace {
// Length of "yyyy-mm-dd [hh-nn-ss-zzz]".
const size_t TimestampLength = 25;
const size_t MonthlyDataFileNameLength = 11;
} // namespace

std::string AddBackslash(const std::string& path) {
    if (path.empty() || path.back() == '\\')
        return path;
    return path + "\\";
}

std::string RemoveBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\')
        return path.substr(0, path.size() - 1);
    return path;
}

std::string AsciiLowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

std::string DataFolderOf(const std::string& root) {
    return AddBackslash(root) + "Data\\";
}

bool LiesInside(const std::string& folder, const std::string& holder) {
    return !holder.empty() && folder.size() >= holder.size() &&
           folder.compare(0, holder.size(), holder) == 0;
}

std::string FolderOfFile(const std::string& filePath) {
    // "c:" alone would name the drive's current folder, so a root keeps its
    // backslash.
    std::string folder = FileSystem::ExtractFilePath(filePath);
    if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

std::string FormatTimestampFields(int year, int month, int day, int hour, int minute, int second,
                                  int millisecond) {
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d [%02d-%02d-%02d-%03d]", year, month, day, hour,
                  minute, second, millisecond);
    return text;
}

bool IsBackupFolderName(const std::string& prefix, const std::string& name) {
    const std::string lowPrefix = AsciiLowerCase(prefix);
    const std::string lowName = AsciiLowerCase(FileSystem::ExtractFileName(name));
    if (lowName.size() <= lowPrefix.size() || lowName.compare(0, lowPrefix.size(), lowPrefix) != 0)
        return false;
    const std::string rest = lowName.substr(lowPrefix.size());
    if (rest.size() < TimestampLength)
        return false;
    // Only the separators are looked at; positions count from 1.
    auto at = [&](size_t position) { return rest[position - 1]; };
    return at(5) == '-' && at(8) == '-' && at(12) == '[' && at(15) == '-' && at(18) == '-' &&
           at(21) == '-' && at(25) == ']';
}

bool IsInteger(const std::string& text) {
    // The same number rules as the settings store's integers.
    int value = 0;
    return TryStrToInt(text, value);
}

bool IsMonthlyDataFileName(const std::string& name) {
    const std::string file = FileSystem::ExtractFileName(name);
    if (file.size() != MonthlyDataFileNameLength)
        return false;
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || AsciiLowerCase(file.substr(dot)) != ".txt")
        return false;
    if (file[4] != '-')
        return false;
    return IsInteger(file.substr(0, 4)) && IsInteger(file.substr(5, 2));
}

std::string CopySourceRoot(const std::string& installFolder, const std::string& oldRedirect,
                           bool oldRedirectHasFiles) {
    return !oldRedirect.empty() && oldRedirectHasFiles ? oldRedirect : installFolder;
}

} // namespace TVNConfigUtil
