// The cloud providers this utility works with, one row each: what texts call
// it, where its folder is found, how its client names a sync conflict copy,
// and whether data in its folder is kept on this device. A provider more is a
// row more here, its client's records read in ProviderFolders.cpp, and its
// button in the window. Pure data, so the native fuzz build uses it too.
#pragma once

#include <string>

namespace TVNConfigUtil {

enum class SyncClient { None, OneDrive, Dropbox };

// How a client names the copy it keeps beside a file that changed on two
// machines at once (ConflictRules.cpp has the forms).
enum class ConflictForm {
    MachineName,        // "2024-01-LAPTOP.txt"
    ParenthesisedGroup, // "2024-01 (Ann's conflicted copy 2024-01-05).txt"
};

// Where a client records the folder it syncs, besides the profile.
enum class FolderRecords {
    EnvironmentAndAccounts, // variables, and its accounts in the registry
    InfoFile,               // an info.json in the local and roaming application data
};

struct CloudProvider {
    SyncClient client;
    const char* name;        // as texts show it, and as they name its client
    const char* switchValue; // the command line's --provider value
    // Its folder directly in the profile, and the prefix of the further
    // folders there that its client makes for more accounts.
    const char* profileFolder;
    const char* profilePrefix;
    FolderRecords records;
    ConflictForm conflictForm;
    // Windows may make files in its folder online-only again when the disk
    // runs low: the data location is marked "Always keep on this device".
    bool keepOnDevice;
};

inline constexpr CloudProvider Providers[] = {
    {SyncClient::OneDrive, "OneDrive", "onedrive", "OneDrive\\", "OneDrive - ",
     FolderRecords::EnvironmentAndAccounts, ConflictForm::MachineName, true},
    {SyncClient::Dropbox, "Dropbox", "dropbox", "Dropbox\\", "Dropbox (", FolderRecords::InfoFile,
     ConflictForm::ParenthesisedGroup, false},
};

// The row of a client; the first row for None.
inline const CloudProvider& ProviderOf(SyncClient client) {
    for (const CloudProvider& provider : Providers)
        if (provider.client == client)
            return provider;
    return Providers[0];
}

} // namespace TVNConfigUtil
