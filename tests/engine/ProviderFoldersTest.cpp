// Where each provider's folder is found when the folder named after it in the
// profile is not the whole story: real folders, info.json files, variables
// and registry keys in a sandbox, one row each.
#include <gtest/gtest.h>

#include <algorithm>
#include <list>

#include "DropboxInfo.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

// This process's HKEY_CURRENT_USER mapped to a fresh key of its own while the
// object lives, so that the accounts written here reach the routines under
// test and no other test process in the same prefix; removed afterwards.
struct PrivateUserKey {
    const std::string path = "Software\\TVN Tests " + std::to_string(GetCurrentProcessId());
    UniqueRegistryKey key = Create(HKEY_CURRENT_USER, path);
    bool ok = key && RegOverridePredefKey(HKEY_CURRENT_USER, key.get()) == ERROR_SUCCESS;
    ~PrivateUserKey() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
    static UniqueRegistryKey Create(HKEY parent, const std::string& name) {
        HKEY key = nullptr;
        RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        return UniqueRegistryKey(key);
    }
};

} // namespace

// Each row lists what it makes, separated by " | ": d:folder, f:file=bytes,
// v:variable=value, k:account=UserFolder ("#" before it: as binary), l: and a:
// the info.json text below LOCALAPPDATA and APPDATA (' stands for ", @ for
// {'path': '<the root>), and x:the installation's redirection. Paths are
// below the root; "{R}" is the root, {A} and {T} a work OneDrive and a
// Dropbox team folder, and {L} a path too long for the ANSI calls.
TEST(ProviderFolders, TheFirstSourceNamingAFolderWinsUnlessAnotherHoldsTheRedirection) {
    PrivateUserKey registry;
    ASSERT_TRUE(registry.ok);
    test::Sandbox s;
    s.SetEnvironment();
    const std::string team = "Profile\\Dropbox (Team)\\", acme = "Profile\\OneDrive - Acme\\";
    const struct {
        std::string what, made, oneDrive, dropbox; // expected below the root; empty: none
    } cases[] = {
        {"none", "", "", ""},
        {"standard", "d:Profile\\OneDrive | d:Profile\\Dropbox", "Profile\\OneDrive\\",
         "Profile\\Dropbox\\"},
        {"variables in order; LOCALAPPDATA first, personal first",
         "d:B | d:C | v:OneDrive={R}Missing | v:OneDriveCommercial={R}B | v:OneDriveConsumer={R}C "
         "| d:L | d:R | a:{'personal': @R'}} | l:{'business': @B'}, 'personal': @L'}}",
         "B\\", "L\\"},
        {"variable before account; then APPDATA",
         "d:A | d:P | v:OneDrive={R}A | k:Personal={R}P | l:{} | a:{'personal': @P'}}", "A\\",
         "P\\"},
        {"Personal first; business before others",
         "d:B | d:P | k:Business1={R}B | k:Personal={R}P | l:{'zeta': @P'}, 'business': @B'}, "
         "'alpha': @P'}, 'personal': @Missing'}}",
         "P\\", "B\\"},
        {"accounts, other accounts by name",
         "d:B1 | d:B2 | d:{A} | k:Business2={R}B2 | k:Business1={R}B1 | l:{'zeta': @B2'}, "
         "'business': 7, 'alpha': @B1'}}",
         "B1\\", "B1\\"},
        {"profile folders by name",
         "d:Profile\\OneDrive - Zeta | d:{A} | d:Profile\\OneDrive (Old) | f:Profile\\OneDrive - "
         "File=x "
         "| d:Profile\\Dropbox & Co | d:Profile\\Dropbox (Zeta) | d:{T}",
         acme, team},
        {"standard first",
         "d:Profile\\OneDrive | d:Profile\\Dropbox | d:A | v:OneDrive={R}A | l:{'personal': @A'}} "
         "| x:Elsewhere",
         "Profile\\OneDrive\\", "Profile\\Dropbox\\"},
        {"redirection chooses", "d:Profile\\OneDrive | d:A | d:{A} | v:OneDrive={R}A | x:{A}Time",
         acme, ""},
        {"redirection chooses an account",
         "d:Profile\\Dropbox | d:B | x:B\\Time | l:{'business': @B'}}", "", "B\\"},
        {"bad records, malformed and empty info.json",
         "d:A | d:{A} | f:AFile=x | v:OneDrive={R}AFile | v:OneDriveCommercial=. | "
         "v:OneDriveConsumer={L} | k:Personal=#{R}A | k:Business1={L} | k:Business2={R}AFile | d:P "
         "| d:{T} | l:{'personal': @P'} | a:",
         acme, team},
        {"no exact ANSI form, NUL, a number; UTF-8 converted",
         "d:Best\\a | d:P | d:Caf\xE9 | l:{'personal': @Best/\xC4\x81'}, 'business': {'path': 5}, "
         "'alpha': @P\\u0000x'}, 'zeta': @Caf\xC3\xA9'}}",
         "", "Caf\xE9\\"},
        {"info.json a folder, too big",
         "d:P | d:{T} | d:AppData\\Dropbox\\info.json | l:{'personal': @P'}}" +
             std::string(DropboxInfoMaxBytes, ' '),
         "", team},
    };
    std::string json; // the root as the content of a JSON string
    for (char c : s.Root())
        json += c == '\\' ? "\\\\" : std::string(1, c);
    const std::vector<std::pair<std::string, std::string>> marks = {
        {"@", "{'path': '" + json},
        {"'", "\""},
        {"{A}", acme},
        {"{T}", team},
        {"{L}", s / "A\\" + std::string(300, 'p') + "\\.."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        s.Clear();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\OneDrive");
        std::list<test::ScopedEnv> variables;
        for (size_t at = 0, end = 0; at < c.made.size(); at = end + 3) {
            end = std::min(c.made.find(" | ", at), c.made.size());
            const std::string item = s.Fill(c.made.substr(at + 2, end - at - 2), marks);
            const size_t equals = std::min(item.find('='), item.size() - 1);
            const std::string name = item.substr(0, equals), value = item.substr(equals + 1);
            const char kind = c.made[at];
            if (kind == 'd')
                test::MakeDirs(s / item);
            else if (kind == 'f')
                test::WriteBytes(s / name, value);
            else if (kind == 'v')
                variables.emplace_back(name, value.c_str());
            else if (kind == 'l' || kind == 'a')
                test::WriteBytes(
                    (kind == 'l' ? s.LocalAppData() : s.AppData()) + "\\Dropbox\\info.json", item);
            else if (kind == 'x')
                s.MakeInstallation("[Setup]\r\nRedirect=" + s / item + "\r\n");
            else if (kind == 'k') {
                UniqueRegistryKey account = PrivateUserKey::Create(
                    HKEY_CURRENT_USER, "Software\\Microsoft\\OneDrive\\Accounts\\" + name);
                const bool binary = value.starts_with('#');
                RegSetValueExA(account.get(), "UserFolder", 0, binary ? REG_BINARY : REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str() + binary),
                               static_cast<DWORD>(value.size() + 1 - binary));
            }
        }
        EXPECT_EQ(OneDriveFolder(), c.oneDrive.empty() ? "" : s / c.oneDrive);
        EXPECT_EQ(DropboxFolder(), c.dropbox.empty() ? "" : s / c.dropbox);
    }
}

// Whose folder holds a path: the inner one where one lies inside the other.
TEST(ProviderFolders, TheInnerFolderHoldsWhatLiesInIt) {
    const struct {
        const char *path, *oneDrive, *dropbox;
        SyncClient holder;
    } rows[] = {
        {"c:\\u\\OneDrive\\Tvn", "C:\\U\\OneDrive\\", "c:\\u\\Dropbox\\", SyncClient::OneDrive},
        {"c:\\u\\dropbox\\tvn\\data\\2024-01.txt", "c:\\u\\OneDrive\\", "c:\\u\\Dropbox\\",
         SyncClient::Dropbox},
        {"c:\\u\\OneDrive\\Dropbox\\Tvn", "c:\\u\\OneDrive\\", "c:\\u\\OneDrive\\Dropbox\\",
         SyncClient::Dropbox},
        {"c:\\u\\Dropbox\\OneDrive\\Tvn", "c:\\u\\Dropbox\\OneDrive\\", "c:\\u\\Dropbox\\",
         SyncClient::OneDrive},
        {"c:\\u\\OneDrive2\\Tvn", "c:\\u\\OneDrive\\", "", SyncClient::None},
        {"c:\\u\\Tvn", "", "", SyncClient::None},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ClientHolding(row.path, {row.oneDrive, row.dropbox}), row.holder) << row.path;
}
