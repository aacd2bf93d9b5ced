// Where the cloud providers' clients keep their folders. The folder named
// after the provider directly in the profile comes first, as it always has;
// besides it, the places where the provider's own client records its folder
// are read in a fixed order. A source that is missing, unreadable, damaged or
// names no existing folder is passed over without a word: the user sees the
// folder found, or none.
#include <algorithm>
#include <stdexcept>

#include "DropboxInfo.h"
#include "FileSystem.h"
#include "TextCodes.h"
#include "TVNConfigUtil.h"

namespace TVNConfigUtil {

namespace {

const char* const OneDriveAccountsKey = "Software\\Microsoft\\OneDrive\\Accounts";

// A path that does not depend on the current drive or folder: "x:\..." or a
// network path "\\server\share\...". The records below are read only in this
// form, so that an empty or relative value never points into whatever folder
// the program happens to run in.
bool IsFullyQualified(const std::string& path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    const char drive = static_cast<char>(path.empty() ? 0 : path[0] | 0x20);
    if (path.size() >= 3 && drive >= 'a' && drive <= 'z' && path[1] == ':' && separator(path[2]))
        return true;
    return path.size() >= 3 && separator(path[0]) && separator(path[1]);
}

// The folder a record names, expanded and with a trailing backslash; empty
// when it is not fully qualified, too long for the ANSI calls, or no folder.
std::string RecordedFolder(const std::string& path) {
    if (!IsFullyQualified(path))
        return std::string();
    std::string full = FileSystem::ExpandFullPath(path);
    return !full.empty() && FileSystem::DirectoryExists(full) ? AddBackslash(full) : std::string();
}

bool NameBefore(const std::string& a, const std::string& b) {
    return AsciiLowerCase(a) < AsciiLowerCase(b);
}

// Folders directly in the profile whose names begin with prefix (without
// regard to ASCII case), in name order. Wine and NTFS list a folder sorted,
// other file systems (FAT, network shares) need not.
std::vector<std::string> ProfileFoldersBeginningWith(const std::string& prefix) {
    std::vector<std::string> names;
    const std::string profile = GetEnvVar("USERPROFILE");
    if (!IsFullyQualified(profile))
        return names;
    const std::string lowerPrefix = AsciiLowerCase(prefix);
    FileSystem::ForEachEntry(AddBackslash(profile), [&](const WIN32_FIND_DATAA& entry) {
        if (FileSystem::IsFolderEntry(entry) &&
            AsciiLowerCase(entry.cFileName).starts_with(lowerPrefix))
            names.push_back(entry.cFileName);
        return true;
    });
    std::sort(names.begin(), names.end(), NameBefore);
    for (std::string& name : names)
        name = AddBackslash(profile) + name;
    return names;
}

// A REG_SZ value of a subkey, or empty. RegGetValueA with RRF_RT_REG_SZ
// refuses a value of any other type (a REG_EXPAND_SZ comes back expanded),
// and fails with ERROR_MORE_DATA rather than cutting a value that does not
// fit; the buffer keeps one byte of its own, so that a value stored without
// its terminating NUL still ends.
std::string RegistryText(HKEY key, const std::string& subKey, const char* value) {
    char buffer[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (RegGetValueA(key, subKey.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return std::string();
    return buffer;
}

// The UserFolder of every account the OneDrive client lists: "Personal"
// first, then the others (its business accounts) in name order. The order in
// which RegEnumKeyExA returns subkeys is not defined, hence the sort.
std::vector<std::string> OneDriveAccountFolders() {
    std::vector<std::string> folders;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, OneDriveAccountsKey, 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return folders;
    UniqueRegistryKey accounts(opened);
    std::vector<std::string> names;
    char name[256]; // the longest key name the registry allows, and its NUL
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        LSTATUS status =
            RegEnumKeyExA(accounts.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            names.emplace_back(name, length);
        else if (status != ERROR_MORE_DATA)
            break;
    }
    auto personalFirst = [](const std::string& a, const std::string& b) {
        const bool aPersonal = AsciiLowerCase(a) == "personal";
        const bool bPersonal = AsciiLowerCase(b) == "personal";
        return aPersonal != bPersonal ? aPersonal : NameBefore(a, b);
    };
    std::sort(names.begin(), names.end(), personalFirst);
    for (const std::string& account : names)
        folders.push_back(RegistryText(accounts.get(), account, "UserFolder"));
    return folders;
}

// The whole file when it holds at most limit bytes; false when it cannot be
// opened or read, or is larger, in which case nothing of it is read. Others
// (the provider's client) may go on writing it meanwhile.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& text) {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > limit)
        return false;
    text.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr))
        return false;
    text.resize(read);
    return true;
}

// A UTF-8 text in the ANSI code page, or empty when it is not UTF-8 or any
// of its characters has no exact ANSI form: the ANSI file calls could not
// open such a path, and a look-alike could name another folder. Where the
// ANSI code page is UTF-8 itself, the text needs no conversion.
std::string AnsiFromUtf8(const std::string& text) {
    const std::wstring wide = TextCodes::Wide(text, CP_UTF8, true);
    if (wide.empty())
        return std::string();
    return GetACP() == CP_UTF8 ? text : TextCodes::ExactAnsi(wide).value_or(std::string());
}

// The accounts' folders in the info.json that the Dropbox client keeps in
// <base>\Dropbox\, in the ANSI code page.
std::vector<std::string> DropboxInfoFolders(const std::string& base) {
    std::vector<std::string> folders;
    std::string text;
    if (!IsFullyQualified(base) ||
        !ReadSmallFile(AddBackslash(base) + "Dropbox\\info.json", DropboxInfoMaxBytes, text))
        return folders;
    for (const std::string& path : DropboxInfoPaths(text))
        folders.push_back(AnsiFromUtf8(path));
    return folders;
}

// The current redirection of the detected installation. A settings file
// that cannot be read counts as none here: the window reads the same file
// next and reports that error itself.
std::string DetectedRedirection() {
    try {
        return ReadRedirection(StandardInstallationFolder());
    } catch (const std::runtime_error&) {
        return std::string();
    }
}

// The folder under the profile with the provider's name, as it has always
// been found (with USERPROFILE unset, relative to the current folder), then
// every recorded folder in the order given. The one that holds the detected
// installation's redirection is the provider's folder, so that the window
// judges that redirection against the folder that really holds it; failing
// that, the first.
std::string ChooseProviderFolder(const char* standardName, std::vector<std::string> recorded) {
    std::vector<std::string> candidates;
    std::string standard = AddBackslash(GetEnvVar("USERPROFILE")) + standardName;
    if (FileSystem::DirectoryExists(standard))
        candidates.push_back(standard);
    for (const std::string& record : recorded)
        if (std::string folder = RecordedFolder(record); !folder.empty())
            candidates.push_back(folder);
    if (candidates.empty())
        return std::string();
    if (candidates.size() > 1) {
        const std::string redirection = NormalForm(DetectedRedirection());
        for (const std::string& candidate : candidates)
            if (LiesInside(redirection, NormalForm(candidate)))
                return candidate;
    }
    return candidates.front();
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

} // namespace

std::string ProviderFolder(SyncClient client) {
    if (client == SyncClient::None)
        return std::string();
    const CloudProvider& provider = ProviderOf(client);
    std::vector<std::string> recorded;
    switch (provider.records) {
    case FolderRecords::EnvironmentAndAccounts:
        for (const char* variable : {"OneDrive", "OneDriveCommercial", "OneDriveConsumer"})
            recorded.push_back(GetEnvVar(variable));
        Append(recorded, OneDriveAccountFolders());
        break;
    case FolderRecords::InfoFile:
        recorded = DropboxInfoFolders(GetEnvVar("LOCALAPPDATA"));
        Append(recorded, DropboxInfoFolders(GetEnvVar("APPDATA")));
        break;
    }
    Append(recorded, ProfileFoldersBeginningWith(provider.profilePrefix));
    return ChooseProviderFolder(provider.profileFolder, std::move(recorded));
}

std::string OneDriveFolder() {
    return ProviderFolder(SyncClient::OneDrive);
}

std::string DropboxFolder() {
    return ProviderFolder(SyncClient::Dropbox);
}

std::vector<std::string> ProviderFolders() {
    std::vector<std::string> folders;
    for (const CloudProvider& provider : Providers)
        folders.push_back(ProviderFolder(provider.client));
    return folders;
}

SyncClient ClientHolding(const std::string& path, const std::vector<std::string>& folders) {
    // The innermost folder that holds the path: the longest.
    const std::string lower = AsciiLowerCase(path);
    SyncClient holder = SyncClient::None;
    size_t longest = 0;
    for (size_t i = 0; i < folders.size() && i < std::size(Providers); ++i)
        if (!folders[i].empty() && folders[i].size() > longest &&
            LiesInside(lower, AsciiLowerCase(folders[i]))) {
            holder = Providers[i].client;
            longest = folders[i].size();
        }
    return holder;
}

SyncClient ClientHolding(const std::string& path) {
    return ClientHolding(path, ProviderFolders());
}

} // namespace TVNConfigUtil
