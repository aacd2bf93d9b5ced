// Path rules and the fixed places where the utility looks for things (the
// providers' folders are in ProviderFolders.cpp).
#include "TVNConfigUtil.h"

#include "FileSystem.h"

namespace TVNConfigUtil {

namespace {
const char* const RequiredFiles[] = {InstallationMarkerName};
const char* const InstallationBelowAppData = "Brimlace\\Tallyvane\\";
const char* const FallbackInstallationFolder = "C:\\Program Files\\Brimlace\\Tallyvane\\";
} // namespace

bool SamePath(const std::string& a, const std::string& b) {
    return AsciiLowerCase(AddBackslash(FileSystem::ExpandFullPath(a))) ==
           AsciiLowerCase(AddBackslash(FileSystem::ExpandFullPath(b)));
}

std::string GetEnvVar(const std::string& name) {
    // The call reports the size it needs when the value does not fit and then
    // leaves the buffer unwritten, so ask again with that size.
    std::string buffer(1024, '\0');
    for (;;) {
        DWORD length =
            GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(length, '\0');
    }
}

std::string StandardInstallationFolder() {
    std::string candidate = AddBackslash(GetEnvVar("APPDATA")) + InstallationBelowAppData;
    if (FileSystem::DirectoryExists(candidate))
        return candidate;
    if (FileSystem::DirectoryExists(FallbackInstallationFolder) &&
        IsInstallationFolder(FallbackInstallationFolder))
        return FallbackInstallationFolder;
    return candidate;
}

bool IsInstallationFolder(const std::string& folder) {
    std::string f = AddBackslash(folder);
    for (const char* name : RequiredFiles)
        if (!FileSystem::FileExists(f + name))
            return false;
    return true;
}

bool EnsureDataFolder(const std::string& root) {
    if (root.empty())
        return true;
    std::string data = DataFolderOf(root);
    if (FileSystem::DirectoryExists(root) && FileSystem::DirectoryExists(data))
        return true;
    return FileSystem::ForceDirectories(data);
}

} // namespace TVNConfigUtil
