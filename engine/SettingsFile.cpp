// The installation's settings file: its redirection and server keys.
#include "TVNConfigUtil.h"

#include "FileSystem.h"

namespace TVNConfigUtil {

namespace {

// [Setup] Redirect as a full folder path with a trailing backslash, or empty.
std::string RedirectionFolderOf(TMemIniFile& store) {
    std::string text = store.ReadString("Setup", "Redirect", "");
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return AddBackslash(FileSystem::ExpandFullPath(text.substr(first, last - first)));
}
} // namespace

std::unique_ptr<TMemIniFile> OpenInstallationIni(const std::string& folder) {
    auto store = std::make_unique<TMemIniFile>(AddBackslash(folder) + SettingsFileName);
    std::string redirection = RedirectionFolderOf(*store);
    if (redirection.empty() || !FileSystem::FileExists(redirection + SettingsFileName))
        return store;
    store.reset();
    return std::make_unique<TMemIniFile>(AddBackslash(redirection) + SettingsFileName);
}

std::string ReadRedirection(const std::string& folder) {
    TMemIniFile store(AddBackslash(folder) + SettingsFileName);
    return RedirectionFolderOf(store);
}

std::string ReadServerPath(const std::string& installFolder) {
    return OpenInstallationIni(installFolder)->ReadString("Server", "ServerPath", "");
}

void SetRedirection(TCustomIniFile& store, const std::string& redirection) {
    if (redirection.empty())
        DeleteIniKey(&store, "Setup", "Redirect");
    else
        store.WriteString("Setup", "Redirect", RemoveBackslash(redirection));
}

void WriteRedirection(const std::string& folder, const std::string& redirection) {
    TMemIniFile store(AddBackslash(folder) + SettingsFileName);
    SetRedirection(store, redirection);
    store.UpdateFile();
}

void DeleteIniKey(TCustomIniFile* store, const std::string& section, const std::string& key) {
    if (!store)
        return;
    store->DeleteKey(section, key);
    TStringList lines;
    store->ReadSectionValues(section, lines);
    if (lines.Count() == 0)
        store->EraseSection(section);
}

} // namespace TVNConfigUtil
