#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "CloudFiles.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

// A file of a sandbox tree, relative to the sandbox; a null content stands
// for an empty folder. "{R}" in a text is the sandbox path as the system
// gives it, "{r}" the same in lower case. In expectations, "TVN Backup *"
// stands for the one timestamped backup folder a run may make.
struct Entry {
    const char* path;
    const char* content;
};
using Entries = std::vector<Entry>;

Entries operator+(Entries a, const Entries& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char* const Folder = nullptr;
const std::string BackupStandIn = "TVN Backup *";

// The path with every backup folder component replaced by the stand-in.
std::string WithoutTimestamps(const std::string& path) {
    std::string out;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        out += IsBackupFolderName(BackupPrefix, part) ? BackupStandIn : part;
        if (end == std::string::npos)
            break;
        out += '\\';
        start = end + 1;
    }
    return out;
}

// The tree as sorted lines: "folder\" or "file=content"; a backup folder
// name in each stands in for one folder, so that two backups show twice.
std::vector<std::string> ActualTree(const std::string& root) {
    const test::Snapshot tree = test::SnapshotTree(root);
    std::vector<std::string> lines;
    for (const std::string& folder : tree.folders)
        lines.push_back(WithoutTimestamps(folder));
    for (const std::string& link : tree.links)
        lines.push_back(WithoutTimestamps(link) + " (link)");
    for (const auto& [path, bytes] : tree.files)
        lines.push_back(WithoutTimestamps(path) + "=" + bytes);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The tree before the run with the expected additions and overwrites; the
// transaction never removes anything.
std::vector<std::string> ExpectedTree(const Entries& before, const Entries& changes,
                                      const test::Sandbox& sandbox) {
    std::map<std::string, std::optional<std::string>> tree;
    for (const Entries* list : {&before, &changes})
        for (const Entry& e : *list) {
            std::string path = e.path;
            if (e.content)
                tree[path] = sandbox.Fill(e.content);
            else
                tree[path + (path.back() == '\\' ? "" : "\\")] = std::nullopt;
            for (size_t cut = path.find('\\'); cut != std::string::npos && cut + 1 < path.size();
                 cut = path.find('\\', cut + 1))
                tree[path.substr(0, cut + 1)] = std::nullopt;
        }
    std::vector<std::string> lines;
    for (const auto& [path, content] : tree)
        lines.push_back(content ? path + "=" + *content : path);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// At the run's first change, after the checks it makes before it changes
// anything: writes a file that arrives then, and holds one, shared with no
// one (or as share says), from then on.
class AtFirstChange : public DiskChanges::ChangeSeam {
  public:
    AtFirstChange(const std::string& arrives, const std::string& held, DWORD share)
        : arrives_(arrives), path_(held), share_(share) {
        DiskChanges::SetChangeSeam(this);
    }
    ~AtFirstChange() override { DiskChanges::SetChangeSeam(nullptr); }
    void BeforeChange(const std::wstring&) override {
        if (std::exchange(done_, true))
            return;
        if (!arrives_.empty())
            test::WriteBytes(arrives_, "arrived\r\n");
        if (!path_.empty())
            held_.emplace(path_, GENERIC_READ, share_);
    }

  private:
    std::string arrives_, path_;
    DWORD share_;
    bool done_ = false;
    std::optional<test::HeldFile> held_;
};

// A file that the fake sync client keeps online only, and how its reads go.
struct OnlineOnly {
    const char* path;
    DWORD readError = 0;
    int goodReads = 0;
};

struct Scenario {
    const char* name;
    Entries before;
    const char* install;
    const char* server;
    const char* oldRedirect;
    const char* newRedirect;
    bool copyData;
    Entries changes;          // files and folders the run adds or overwrites
    const char* report = "";  // expected Report
    std::string failure = ""; // expected ErrorText after its header line
    const char* thrown = nullptr;
    const char* held = nullptr; // a file held open, shared with no one, during the run
    const char* readOnly = nullptr;
    bool heldAfterChecks = false;  // the hold begins at the run's first change
    const char* arrives = nullptr; // a file that arrives at the run's first change
    DWORD heldShare = 0;           // the share mode of a hold from the first change
    std::vector<OnlineOnly> online = {};
    bool marksHold = false; // the fake sync client keeps a folder's mark
};

// The refusal of a file that its sync client could not provide.
std::string Unprovided(const std::string& file, const std::string& client,
                       const std::string& cause) {
    return "The file \"" + file + "\" is stored online only, and " + client +
           " could not provide it (" + cause + ").\r\nStart " + client +
           ", sign in and wait until it shows that your files are up to date, then press "
           "Configure again.";
}

const char* const Configured = "Tallyvane has been configured on this machine.\r\n";

const Entries PlainInstall = {
    {"Install\\tvn.inf", "INF install"},
    {"Install\\tvn.ini", "; written by Tallyvane\r\n[Setup]\r\nLanguage=en\r\n"},
    {"Install\\Data\\2024-01.txt", "install jan\r\n"},
};

Entries InstallWithIni(const char* ini) {
    return {{"Install\\tvn.inf", "INF install"},
            {"Install\\tvn.ini", ini},
            {"Install\\Data\\2024-01.txt", "install jan\r\n"}};
}

// A move into a cloud folder that is backed up first, and what it copies
// before a data file that arrived during the backup.
const Entries ArrivalBefore =
    PlainInstall + Entries{{"Cloud\\notes.txt", "cloud notes"}, {"Cloud\\Data", Folder}};
const Entries ArrivalCopied = {{"Cloud\\TVN Backup *\\notes.txt", "cloud notes"},
                               {"Cloud\\TVN Backup *\\Data\\", Folder},
                               {"Install\\Data\\2024-02.txt", "arrived\r\n"},
                               {"Cloud\\Data\\2024-01.txt", "install jan\r\n"},
                               {"Cloud\\tvn.inf", "INF install"}};

const Scenario Scenarios[] = {
    {.name = "first move into a cloud folder, with a copy over earlier cloud data",
     .before = PlainInstall + Entries{{"Cloud\\notes.txt", "cloud notes"},
                                      {"Cloud\\Data\\2024-01.txt", "cloud jan\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}CLOUD",
     .copyData = true,
     .changes = {{"Cloud\\TVN Backup *\\notes.txt", "cloud notes"},
                 {"Cloud\\TVN Backup *\\Data\\2024-01.txt", "cloud jan\r\n"},
                 {"Cloud\\Data\\2024-01.txt", "install jan\r\n"},
                 {"Cloud\\tvn.inf", "INF install"},
                 {"Cloud\\tvn.ini", "[Setup]\r\nLanguage=en\r\n\r\n"},
                 {"Install\\tvn.ini", "[Setup]\r\nLanguage=en\r\nRedirect={r}cloud\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}cloud\\\" has been established.\r\n"
               "Data files have been copied to \"{r}cloud\\\""},

    {.name = "return to the standard location, with a copy and the server keys",
     .before =
         InstallWithIni("[Setup]\r\nRedirect={R}Old\r\nLanguage=en\r\n") +
         Entries{
             {"Old\\tvn.inf", "INF old"},
             {"Old\\tvn.ini",
              "[Setup]\r\nLanguage=de\r\n[Server]\r\nServerPath={R}Server\\\r\nServerAdmin=2\r\n"},
             {"Old\\Data\\2024-01.txt", "old jan\r\n"},
             {"Old\\Data\\2024-02.txt", "old feb\r\n"},
             {"Server", Folder}},
     .install = "{R}Install\\",
     .server = "{R}Server\\",
     .oldRedirect = "{r}old\\",
     .newRedirect = "",
     .copyData = true,
     .changes = {{"Server\\Data\\", Folder},
                 {"Install\\TVN Backup *\\tvn.inf", "INF install"},
                 {"Install\\TVN Backup *\\tvn.ini",
                  "[Setup]\r\nRedirect={R}Old\r\nLanguage=en\r\n"},
                 {"Install\\TVN Backup *\\Data\\2024-01.txt", "install jan\r\n"},
                 {"Install\\Data\\2024-01.txt", "old jan\r\n"},
                 {"Install\\Data\\2024-02.txt", "old feb\r\n"},
                 {"Install\\tvn.inf", "INF old"},
                 {"Install\\tvn.ini", "[Setup]\r\nLanguage=de\r\n\r\n"
                                      "[Server]\r\nServerPath={r}server\r\nServerAdmin=2\r\n\r\n"},
                 {"Old\\tvn.ini", "[Setup]\r\nLanguage=de\r\n\r\n"
                                  "[Server]\r\nServerPath={R}Server\\\r\nServerAdmin=2\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}old\\\" has been removed.\r\n"
               "Data files have been copied to \"{r}install\\\""},

    {.name = "no copy: a new location without settings gets only redirection and server keys",
     .before = InstallWithIni("[Setup]\r\nLanguage=en\r\n[Server]\r\nServerPath={R}Server\r\n"
                              "ServerAdmin=0x2\r\n") +
               Entries{{"Server", Folder}},
     .install = "{R}Install",
     .server = "{R}Server",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = false,
     .changes = {{"Server\\Data\\", Folder},
                 {"cloud\\Data\\", Folder},
                 {"cloud\\tvn.ini", "[Server]\r\nServerPath={r}server\r\nServerAdmin=2\r\n\r\n"},
                 {"Install\\tvn.ini",
                  "[Setup]\r\nLanguage=en\r\nRedirect={r}cloud\r\n\r\n"
                  "[Server]\r\nServerPath={R}Server\r\nServerAdmin=0x2\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}cloud\\\" has been established."},

    {.name = "old redirection folder without files, back to the standard location",
     .before = InstallWithIni("[Setup]\r\nRedirect={R}Old\r\nLanguage=en\r\n") +
               Entries{{"Old\\Data", Folder}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "{R}Old",
     .newRedirect = "",
     .copyData = true,
     .changes = {{"Install\\tvn.ini", "[Setup]\r\nLanguage=en\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}old\\\" has been removed."},

    {.name = "old redirection folder without files, on to a cloud folder",
     .before = InstallWithIni("[Setup]\r\nRedirect={R}Old\r\nLanguage=en\r\n") +
               Entries{{"Old\\Data", Folder}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "{R}Old",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {{"cloud\\Data\\2024-01.txt", "install jan\r\n"},
                 {"cloud\\tvn.inf", "INF install"},
                 {"cloud\\tvn.ini", "[Setup]\r\nLanguage=en\r\n\r\n"},
                 {"Install\\tvn.ini", "[Setup]\r\nLanguage=en\r\nRedirect={r}cloud\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}old\\\" has been removed.\r\n"
               "Redirection to \"{r}cloud\\\" has been established.\r\n"
               "Data files have been copied to \"{r}cloud\\\""},

    {.name = "equal old and new folders: nothing copied, header line alone",
     .before = InstallWithIni("[Setup]\r\nRedirect={R}Cloud\r\n") +
               Entries{{"Cloud\\tvn.ini", "[Setup]\r\nLanguage=en\r\n"},
                       {"Cloud\\Data\\2024-01.txt", "cloud jan\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "{R}Cloud",
     .newRedirect = "{r}cloud\\",
     .copyData = true,
     .changes = {{"Cloud\\tvn.ini", "[Setup]\r\nLanguage=en\r\n\r\n"},
                 {"Install\\tvn.ini", "[Setup]\r\nRedirect={r}cloud\r\n\r\n"}},
     .report = Configured},

    // Validation: the first failing check wins; only data folders appear.
    {.name = "empty installation path wins over every other check",
     .before = PlainInstall,
     .install = "",
     .server = "{R}Server",
     .oldRedirect = "",
     .newRedirect = "{R}Server",
     .copyData = true,
     .changes = {{"server\\Data\\", Folder}},
     .failure = "Installation path is required"},
    {.name = "server equal to installation wins over redirection equal to installation",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "{R}INSTALL\\",
     .oldRedirect = "",
     .newRedirect = "{R}install",
     .copyData = true,
     .changes = {},
     .failure = "Installation and server paths must be different"},
    {.name = "new folder is the installation in other capitals",
     .before = PlainInstall + Entries{{"Server", Folder}},
     .install = "{R}Install",
     .server = "{R}Server",
     .oldRedirect = "",
     .newRedirect = "{R}INSTALL\\",
     .copyData = true,
     .changes = {{"Server\\Data\\", Folder}},
     .failure = "Installation and redirection paths must be different"},
    {.name = "server equal to the new folder",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "{R}Cloud",
     .oldRedirect = "",
     .newRedirect = "{r}cloud\\",
     .copyData = true,
     .changes = {{"cloud\\Data\\", Folder}},
     .failure = "Server and redirection paths must be different"},
    {.name = "validation comes before an unreachable new location",
     .before = PlainInstall,
     .install = "",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "q:\\Cloud",
     .copyData = true,
     .changes = {},
     .failure = "Installation path is required"},
    {.name = "validation comes before an unreachable server",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "q:\\Server",
     .oldRedirect = "",
     .newRedirect = "{R}Install",
     .copyData = true,
     .changes = {},
     .failure = "Installation and redirection paths must be different"},

    // Files held when Configure is pressed: nothing changes.
    {.name = "a data file held at the destination stops the run before any change",
     .before = PlainInstall + Entries{{"Cloud\\Data\\2024-01.txt", "cloud jan\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {},
     .failure = "The file \"{r}cloud\\Data\\2024-01.txt\" is in use by another program.\r\nClose "
                "Tallyvane on this machine and let the sync client finish, then press Configure "
                "again.",
     .held = "Cloud\\Data\\2024-01.txt"},
    {.name = "a source data file held stops the run before any change",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {{"cloud\\Data\\", Folder}},
     .failure = "The file \"{r}install\\Data\\2024-01.txt\" is in use by another program.\r\n"
                "Close Tallyvane on this machine and let the sync client finish, then press "
                "Configure again.",
     .held = "Install\\Data\\2024-01.txt"},

    // Copy failures after the checks (a file held a moment later).
    {.name = "failed backup: nothing copied, settings untouched",
     .before = PlainInstall + Entries{{"Cloud\\tvn.ini", "[Setup]\r\nLanguage=fr\r\n"},
                                      {"Cloud\\tvn.inf", "INF cloud"},
                                      {"Cloud\\Data\\2023-12.txt", "cloud dec\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {{"Cloud\\TVN Backup *\\Data\\", Folder}},
     .failure = "File backup of \"{r}cloud\\\" failed.",
     .held = "Cloud\\Data\\2023-12.txt",
     .heldAfterChecks = true},
    {.name = "failed data copy: copied files stay, settings files copied, no redirection",
     .before = PlainInstall + Entries{{"Install\\Data\\Archive\\2020-01.txt", "install 2020\r\n"},
                                      {"Cloud\\Data", Folder}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {{"Cloud\\Data\\Archive\\2020-01.txt", "install 2020\r\n"},
                 {"Cloud\\tvn.inf", "INF install"},
                 {"Cloud\\tvn.ini", "; written by Tallyvane\r\n[Setup]\r\nLanguage=en\r\n"}},
     .failure = "File copy from \"{r}install\\\" to \"{r}cloud\\\" failed.",
     .held = "Install\\Data\\2024-01.txt",
     .heldAfterChecks = true},

    // A data file that arrives after the checks, while the backup is made.
    {.name = "a data file that arrives after the checks is copied",
     .before = ArrivalBefore,
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = ArrivalCopied + Entries{{"Cloud\\Data\\2024-02.txt", "arrived\r\n"},
                                        {"Cloud\\tvn.ini", "[Setup]\r\nLanguage=en\r\n\r\n"},
                                        {"Install\\tvn.ini",
                                         "[Setup]\r\nLanguage=en\r\nRedirect={r}cloud\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}cloud\\\" has been established.\r\n"
               "Data files have been copied to \"{r}cloud\\\"",
     .arrives = "Install\\Data\\2024-02.txt"},
    {.name = "a data file that arrives after the checks is checked: its target held stops the copy",
     .before = ArrivalBefore + Entries{{"Cloud\\Data\\2024-02.txt", "cloud feb\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = ArrivalCopied +
                Entries{{"Cloud\\TVN Backup *\\Data\\2024-02.txt", "cloud feb\r\n"},
                        {"Cloud\\tvn.ini", "; written by Tallyvane\r\n[Setup]\r\nLanguage=en\r\n"}},
     .failure = "File copy from \"{r}install\\\" to \"{r}cloud\\\" failed.",
     .held = "Cloud\\Data\\2024-02.txt",
     .heldAfterChecks = true,
     .arrives = "Install\\Data\\2024-02.txt",
     .heldShare = FILE_SHARE_READ | FILE_SHARE_WRITE},

    // Files kept online only are fetched before the first change; a failed
    // fetch stops the run then, naming the file, its client and the cause.
    {.name = "online-only files fetched first; the data in OneDrive is kept on this device",
     .before = PlainInstall + Entries{{"Profile\\OneDrive\\TVN\\notes.txt", "cloud notes"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Profile\\OneDrive\\TVN",
     .copyData = true,
     .changes = {{"Profile\\OneDrive\\TVN\\TVN Backup *\\notes.txt", "cloud notes"},
                 {"Profile\\OneDrive\\TVN\\TVN Backup *\\Data\\", Folder},
                 {"Profile\\OneDrive\\TVN\\Data\\2024-01.txt", "install jan\r\n"},
                 {"Profile\\OneDrive\\TVN\\tvn.inf", "INF install"},
                 {"Profile\\OneDrive\\TVN\\tvn.ini", "[Setup]\r\nLanguage=en\r\n\r\n"},
                 {"Install\\tvn.ini",
                  "[Setup]\r\nLanguage=en\r\nRedirect={r}profile\\onedrive\\tvn\r\n\r\n"}},
     .report = "Tallyvane has been configured on this machine.\r\n\r\n"
               "Redirection to \"{r}profile\\onedrive\\tvn\\\" has been established.\r\n"
               "Data files have been copied to \"{r}profile\\onedrive\\tvn\\\"\r\n"
               "Tallyvane's data is kept on this device (\"Always keep on this device\").",
     .online = {{"Profile\\OneDrive\\TVN\\notes.txt"}, {"Install\\Data\\2024-01.txt"}},
     .marksHold = true},
    {.name = "a file to back up that OneDrive cannot provide stops the run before any change",
     .before = PlainInstall + Entries{{"Profile\\OneDrive\\TVN\\Data\\2024-01.txt", "cloud"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Profile\\OneDrive\\TVN",
     .copyData = true,
     .changes = {},
     .failure = Unprovided("{r}profile\\onedrive\\tvn\\Data\\2024-01.txt", "OneDrive",
                           "OneDrive is not running, error 362"),
     .online = {{"Profile\\OneDrive\\TVN\\Data\\2024-01.txt", 362}}},
    {.name = "a file to copy that Dropbox cannot provide, its error as an HRESULT",
     .before = InstallWithIni("[Setup]\r\nRedirect={R}Profile\\Dropbox\\TVN\r\n") +
               Entries{{"Profile\\Dropbox\\TVN\\Data\\2024-02.txt", "dropbox feb\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "{R}Profile\\Dropbox\\TVN",
     .newRedirect = "",
     .copyData = true,
     .changes = {},
     .failure = Unprovided("{r}profile\\dropbox\\tvn\\Data\\2024-02.txt", "Dropbox",
                           "Dropbox stopped unexpectedly, error 404"),
     .online = {{"Profile\\Dropbox\\TVN\\Data\\2024-02.txt", 0x80070194}}},
    {.name = "a settings file that its client cannot provide, outside both providers",
     .before = PlainInstall + Entries{{"Cloud\\tvn.ini", "[Setup]\r\n"}, {"Cloud\\Data", Folder}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = false,
     .changes = {},
     .failure = Unprovided("{r}cloud\\tvn.ini", "the sync client",
                           "there is no network connection, error 388"),
     .online = {{"Cloud\\tvn.ini", 388}}},
    {.name = "a client that stops after the checks is named after the failed copy",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {{"cloud\\Data\\", Folder},
                 {"cloud\\tvn.inf", "INF install"},
                 {"cloud\\tvn.ini", "; written by Tallyvane\r\n[Setup]\r\nLanguage=en\r\n"}},
     .failure = "File copy from \"{r}install\\\" to \"{r}cloud\\\" failed.\r\n" +
                Unprovided("{r}install\\Data\\2024-01.txt", "the sync client",
                           "the sync client is not running, error 362"),
     .online = {{"Install\\Data\\2024-01.txt", 362, 1}}},

    // Data folders that cannot be made: the run stops before anything changes.
    {.name = "unreachable server on a missing drive",
     .before = PlainInstall + Entries{{"Cloud\\notes.txt", "cloud notes"}},
     .install = "{R}Install",
     .server = "q:\\Server\\",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {{"Cloud\\Data\\", Folder}},
     .failure =
         "The network directory \"q:\\server\\\" (or a sub-directory) could not be created."},
    {.name = "server path of a single name, which would land in the current folder",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "srv",
     .oldRedirect = "",
     .newRedirect = "",
     .copyData = false,
     .changes = {},
     .failure = "The network directory \"srv\\\" (or a sub-directory) could not be created."},
    {.name = "server on an unknown network share",
     .before = PlainInstall,
     .install = "{R}Install",
     .server = "\\\\Srv\\Share\\Time\\",
     .oldRedirect = "",
     .newRedirect = "",
     .copyData = false,
     .changes = {},
     .failure =
         "The network directory \"\\\\srv\\share\\time\\\" (or a sub-directory) could not be "
         "created."},
    {.name = "server blocked by a file, new location unreachable: the server is named",
     .before = PlainInstall + Entries{{"Server", "a file in the way"}},
     .install = "{R}Install",
     .server = "{R}Server",
     .oldRedirect = "",
     .newRedirect = "q:\\Cloud",
     .copyData = true,
     .changes = {},
     .failure = "The network directory \"{r}server\\\" (or a sub-directory) could not be created."},
    {.name = "new location whose data folder is a file, from a redirected installation",
     .before = InstallWithIni("[Setup]\r\nRedirect={R}Old\r\n") +
               Entries{{"Old\\tvn.ini", "; old\r\n[Setup]\r\n"},
                       {"Old\\Data\\2024-01.txt", "old jan\r\n"},
                       {"Cloud\\Data", "a file in the way"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "{R}Old",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {},
     .failure = "The network directory \"{r}cloud\\\" (or a sub-directory) could not be created."},

    // A settings file that cannot be written is refused before any change.
    {.name = "read-only destination settings file",
     .before = InstallWithIni("[Setup]\r\nRedirect={R}Old\r\n") +
               Entries{{"Old\\tvn.ini", "; old\r\n[Setup]\r\nLanguage=de\r\n"},
                       {"Old\\Data\\2024-01.txt", "old jan\r\n"},
                       {"Cloud\\tvn.ini", "[Setup]\r\nLanguage=fr\r\n"},
                       {"Cloud\\Data", Folder}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "{R}Old",
     .newRedirect = "{R}Cloud",
     .copyData = false,
     .changes = {},
     .failure = "Cannot create file {r}cloud\\tvn.ini",
     .readOnly = "Cloud\\tvn.ini"},
    // One the store cannot read stops the run with the store's own error,
    // before the backup and the copy.
    {.name = "destination settings file held by another program",
     .before = PlainInstall + Entries{{"Cloud\\tvn.ini", "[Setup]\r\nLanguage=fr\r\n"},
                                      {"Cloud\\Data\\2023-12.txt", "cloud dec\r\n"}},
     .install = "{R}Install",
     .server = "",
     .oldRedirect = "",
     .newRedirect = "{R}Cloud",
     .copyData = true,
     .changes = {},
     .thrown = "Cannot open file {r}cloud\\tvn.ini",
     .held = "Cloud\\tvn.ini"},
};

// Server keys carried into the installation's own settings, in a run that
// keeps the standard location.
struct ServerCase {
    const char* name;
    const char* ini;
    const char* server;
    const char* written;
};

const ServerCase ServerCases[] = {
    {"hexadecimal 2 is written back as 2",
     "[Setup]\r\nLanguage=en\r\n[Server]\r\nServerPath={R}Server\r\nServerAdmin=0x2\r\n",
     "{R}Server",
     "[Setup]\r\nLanguage=en\r\n\r\n[Server]\r\nServerPath={r}server\r\nServerAdmin=2\r\n\r\n"},
    {"1 is kept in place, key in its written form",
     "[Server]\r\nserveradmin=1\r\nServerPath={R}Server\r\n", "{R}Server",
     "[Server]\r\nServerAdmin=1\r\nServerPath={r}server\r\n\r\n"},
    {"3 is removed", "[Server]\r\nServerPath={R}Server\r\nServerAdmin=3\r\n", "{R}Server",
     "[Server]\r\nServerPath={r}server\r\n\r\n"},
    {"abc is removed", "[Server]\r\nServerPath={R}Server\r\nServerAdmin=abc\r\n", "{R}Server",
     "[Server]\r\nServerPath={r}server\r\n\r\n"},
    {"an empty value is removed", "[Server]\r\nServerAdmin=\r\nServerPath={R}Server\r\n",
     "{R}Server", "[Server]\r\nServerPath={r}server\r\n\r\n"},
    {"capitals and a trailing backslash", "[Server]\r\nServerPath={R}SERVER\\\r\n", "{R}SERVER\\",
     "[Server]\r\nServerPath={r}server\r\n\r\n"},
    {"no server path: both keys and the section go",
     "[Setup]\r\nLanguage=en\r\n[Server]\r\nServerAdmin=2\r\n", "",
     "[Setup]\r\nLanguage=en\r\n\r\n"},
    {"no server path: other server lines keep the section",
     "[Server]\r\nServerAdmin=1\r\nPort=5\r\n", "", "[Server]\r\nPort=5\r\n\r\n"},
};

struct RunResult {
    Outcome outcome;
    std::string thrown;
};

RunResult RunScenario(test::Sandbox& sandbox, const Scenario& s) {
    const std::string& root = sandbox.Root();
    sandbox.SetEnvironment(); // the provider folders are the sandbox's
    test::FakeSyncClient client;
    client.keepsMarks = s.marksHold;
    for (const OnlineOnly& file : s.online)
        client.OnlineOnly(root + file.path, file.readError, file.goodReads);
    for (const Entry& e : s.before) {
        if (e.content)
            test::WriteBytes(root + e.path, sandbox.Fill(e.content));
        else
            test::MakeDirs(root + e.path);
    }
    if (s.readOnly)
        SetFileAttributesA((root + s.readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    std::optional<test::HeldFile> held;
    AtFirstChange later(s.arrives ? root + s.arrives : "", s.heldAfterChecks ? root + s.held : "",
                        s.heldShare);
    if (s.held && !s.heldAfterChecks) {
        held.emplace(root + s.held, GENERIC_READ, 0);
        EXPECT_TRUE(held->ok()) << s.held;
    }
    RunResult result;
    try {
        result.outcome = ConfigureInstallation(sandbox.Fill(s.install), sandbox.Fill(s.server),
                                               sandbox.Fill(s.oldRedirect),
                                               sandbox.Fill(s.newRedirect), s.copyData);
    } catch (const EFileError& error) {
        result.thrown = error.what();
    }
    if (s.readOnly)
        SetFileAttributesA((root + s.readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
    // The mark reaches the files the copy made, not only their folder.
    if (s.marksHold && result.outcome.ErrorText.empty()) {
        const std::string place = AddBackslash(sandbox.Fill(s.newRedirect));
        for (const auto& [path, bytes] : test::SnapshotTree(place).files) {
            EXPECT_TRUE(CloudFiles::Reported(place + path, 0) & FILE_ATTRIBUTE_PINNED) << path;
        }
    }
    // Fetched before the first change, then read again by the copy or backup.
    for (const OnlineOnly& file : s.online)
        EXPECT_TRUE(file.readError || !result.outcome.ErrorText.empty() ||
                    client.reads[AsciiLowerCase(root + file.path)] == 2)
            << file.path;
    return result;
}

} // namespace

TEST(ConfigureInstallation, ScenariosOnRealFolders) {
    for (const Scenario& s : Scenarios) {
        SCOPED_TRACE(s.name);
        test::Sandbox sandbox;
        RunResult result = RunScenario(sandbox, s);
        if (s.thrown) {
            EXPECT_EQ(result.thrown, sandbox.Fill(s.thrown));
        } else {
            EXPECT_EQ(result.thrown, "");
            std::string failure =
                !s.failure.empty() ? "Tallyvane configuration failed.\r\n" + sandbox.Fill(s.failure)
                                   : "";
            EXPECT_EQ(result.outcome.ErrorText, failure);
            EXPECT_EQ(result.outcome.Report, sandbox.Fill(s.report));
        }
        EXPECT_EQ(ActualTree(sandbox.Root()), ExpectedTree(s.before, s.changes, sandbox));
    }
}

TEST(ConfigureInstallation, ServerKeysGoIntoTheSettingsInEffect) {
    for (const ServerCase& c : ServerCases) {
        SCOPED_TRACE(c.name);
        test::Sandbox sandbox;
        Scenario s{.name = c.name,
                   .before = InstallWithIni(c.ini) + Entries{{"Server", Folder}},
                   .install = "{R}Install",
                   .server = c.server,
                   .oldRedirect = "",
                   .newRedirect = "",
                   .copyData = true,
                   .changes = {{"Install\\tvn.ini", c.written}}};
        if (*c.server)
            s.changes.push_back({"Server\\Data\\", Folder});
        RunResult result = RunScenario(sandbox, s);
        EXPECT_EQ(result.thrown, "");
        EXPECT_EQ(result.outcome.ErrorText, "");
        EXPECT_EQ(result.outcome.Report, Configured);
        EXPECT_EQ(ActualTree(sandbox.Root()), ExpectedTree(s.before, s.changes, sandbox));
    }
}

TEST(ComposeOutcomeReport, LinesDependOnWhatChanged) {
    struct Case {
        std::string error, oldRedirect, newRedirect, copiedTo, text;
    } cases[] = {
        {"", "D:\\Old\\", "E:\\New\\", "E:\\New\\",
         "Tallyvane has been configured on this machine.\r\n\r\n"
         "Redirection to \"d:\\old\\\" has been removed.\r\n"
         "Redirection to \"e:\\new\\\" has been established.\r\n"
         "Data files have been copied to \"e:\\new\\\""},
        {"", "", "E:\\New\\", "",
         Configured + std::string("\r\nRedirection to \"e:\\new\\\" has "
                                  "been established.")},
        {"", "E:\\New\\", "e:\\new\\", "e:\\new\\", Configured},
        {"", "", "", "C:\\Install\\", Configured},
        {"Why\r\nnot", "d:\\old\\", "e:\\new\\", "e:\\new\\",
         "Tallyvane configuration failed.\r\nWhy\r\nnot"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeOutcomeReport(c.error, c.oldRedirect, c.newRedirect, c.copiedTo), c.text);
}

TEST(ShowOutcome, FailureAsErrorOtherwiseTheReport) {
    struct Case {
        std::string error, report, shownText;
        int type;
    } cases[] = {
        {"failed text", "", "failed text", mtError},
        {"failed text", "a report", "failed text", mtError},
        {"", "a report", "a report", mtInformation},
    };
    for (const Case& c : cases) {
        test::ScriptedDialogs dialogs;
        dialogs.messageAnswers = {mrOk};
        ShowOutcome(c.error, c.report);
        auto shown = dialogs.Messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.shownText);
        EXPECT_EQ(shown[0].type, c.type);
        EXPECT_EQ(shown[0].buttons, mbOK);
    }
}

TEST(ConfirmCopyDirection, WarnsAndAcceptsOnlyYes) {
    const std::string lessComplete =
        "The utility will copy files that appear to be less complete to the new location - data "
        "at the new location may be lost\r\n(Existing data files at the new location will be "
        "backed up first)\r\nContinue?";
    const std::string notCopying =
        "The utility will not copy files that appear more complete to the new location\r\n"
        "(Existing data files at the old location will not be affected)\r\nContinue?";
    struct Case {
        bool copyLessComplete;
        int answer;
        bool confirmed;
    } cases[] = {
        {true, mrYes, true},  {true, mrNo, false},  {true, mrCancel, false},
        {false, mrYes, true}, {false, mrNo, false}, {false, mrCancel, false},
    };
    for (const Case& c : cases) {
        test::ScriptedDialogs dialogs;
        dialogs.messageAnswers = {c.answer};
        EXPECT_EQ(ConfirmCopyDirection(c.copyLessComplete), c.confirmed);
        auto shown = dialogs.Messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.copyLessComplete ? lessComplete : notCopying);
        EXPECT_EQ(shown[0].type, mtWarning);
        EXPECT_EQ(shown[0].buttons, mbYes | mbNo);
    }
}
