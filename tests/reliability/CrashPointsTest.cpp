// A configuration broken off at any change to the disk leaves a working
// installation. Each scenario is first run whole, to learn how many changes
// it makes and what it leaves; then, once per change, the same sandbox is
// built afresh and a separate process runs the configuration and ends itself
// just before that change. What it leaves is held to the promises, and the
// same configuration run again on it must end where the whole run ended.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ConflictCopies.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "Promises.h"
#include "Restore.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"
#include "tools/CrashRun.h"

using namespace TVNConfigUtil;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Folders below the sandbox root.
const std::string Install = "AppData\\Tallyvane\\", OneDrive = "OneDrive\\Tallyvane \xF6\\",
                  Dropbox = "Dropbox\\Tallyvane\\", Server = "Server\\Tallyvane\\";

// An installation-shaped tree below root whose data files name the label;
// every tree holds 2024-01.txt, so a copy overwrites it.
Entries Tree(const std::string& root, const std::string& label, const std::string& settings,
             const std::vector<std::string>& months = {"2024-01", "2024-02"}) {
    Entries tree = {{root + "tvn.inf", test::Sandbox::MarkerText},
                    {root + "Data\\Archiv\\2023-12.txt", "30;08:00;Alt;" + label + "\r\n"}};
    if (!settings.empty())
        tree.push_back({root + "tvn.ini", settings});
    for (const std::string& month : months)
        tree.push_back({root + "Data\\" + month + ".txt", "2;09:15;Projekt;" + label + "\r\n"});
    return tree;
}

Entries operator+(Entries a, const Entries& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Settings(const std::string& language, const std::string& redirect = "",
                     const std::string& more = "") {
    return "; Tallyvane\n[Setup]\nLanguage=" + language + "\n" +
           (redirect.empty() ? "" : "Redirect={R}" + redirect + "\n") + "[Options]\nFont=1\n" +
           more;
}

struct CrashScenario {
    std::string name;
    Entries files;      // path below the root -> bytes, "{R}" the root
    std::string hidden; // a file marked hidden and system, or empty
    std::string install, server, oldRedirect, newRedirect; // below the root, or empty
    bool copyData;
    // The roots whose sync conflict copies are merged first, as the window
    // does on Yes before the comparison, joined by "|".
    std::string merge = "";
};

std::vector<CrashScenario> Scenarios() {
    // The run names the new server; the rights stay.
    const std::string server = "[Server]\nServerPath={R}Old Server\nServerAdmin=2\n";
    const std::string earlier = "TVN Backup 2023-03-14 [09-26-53-589]\\";
    // Two copies of a month file that Tree makes, and one of a month without a file.
    auto copies = [](const std::string& root, const std::string& missing) {
        return Entries{{root + "Data\\2024-01-LAPTOP.txt", "1;07:00;Neu;pc\n"},
                       {root + "Data\\2024-01 (Ann's conflicted copy).txt", "5;10:00;Ann\r\n"},
                       {root + "Data\\" + missing + " (Case Conflict).txt", "9;11:00;Alt\r\n"}};
    };
    return {
        {"installation -> new cloud folder, copy", Tree(Install, "install", Settings("de")), "",
         Install, "", "", OneDrive, true},
        {"installation -> cloud folder holding data, no copy",
         Tree(Install, "install", Settings("de")) + Tree(OneDrive, "cloud", Settings("en")), "",
         Install, "", "", OneDrive, false},
        {"cloud -> cloud folder holding data, copy",
         Tree(Install, "install", Settings("de", OneDrive)) +
             Tree(OneDrive, "old", Settings("en")) + Tree(Dropbox, "new", Settings("fr")),
         Dropbox + "Data\\2024-01.txt", Install, "", OneDrive, Dropbox, true},
        {"cloud -> empty cloud folder, no copy",
         Tree(Install, "install", Settings("de", OneDrive)) +
             Tree(OneDrive, "old", Settings("en")) + Entries{{Dropbox + "Data\\", ""}},
         "", Install, "", OneDrive, Dropbox, false},
        {"cloud -> standard location, copy",
         Tree(Install, "install", Settings("de", OneDrive), {"2024-01", "2023-11"}) +
             Tree(OneDrive, "old", Settings("en")),
         Install + "Data\\2024-01.txt", Install, "", OneDrive, "", true},
        {"cloud -> standard location, no copy",
         Tree(Install, "install", Settings("de", OneDrive)) + Tree(OneDrive, "old", Settings("en")),
         "", Install, "", OneDrive, "", false},
        {"installation -> cloud folder holding data, server folder, no copy",
         Tree(Install, "install", Settings("de", "", server)) +
             Tree(OneDrive, "cloud", Settings("en"), {"2024-01", "2024-03"}),
         "", Install, Server, "", OneDrive, false},
        {"cloud -> cloud folder with earlier backups, copy",
         Tree(Install, "install", Settings("de", Dropbox)) +
             Tree(Dropbox, "old", Settings("en"), {"2024-01", earlier + "2023-01"}) +
             Tree(OneDrive, "new", Settings("fr"), {"2024-03", earlier + "2023-01"}) +
             Entries{{OneDrive + earlier + "tvn.ini", Settings("it")},
                     {OneDrive + earlier + "Data\\2022-05.txt", "older\r\n"}},
         "", Install, "", Dropbox, OneDrive, true},
        // Taking the redirection out of a cloud folder without settings makes
        // an empty settings file there.
        {"cloud folder without settings -> standard location, no copy",
         Tree(Install, "install", Settings("de", OneDrive)) + Tree(OneDrive, "old", ""), "",
         Install, "", OneDrive, "", false},
        // The same write there must come after the installation has switched.
        {"cloud folder without settings -> another cloud folder, no copy",
         Tree(Install, "install", Settings("de", OneDrive)) + Tree(OneDrive, "old", "") +
             Tree(Dropbox, "new", Settings("fr")),
         "", Install, "", OneDrive, Dropbox, false},
        {"conflict copies merged, installation -> new cloud folder, copy",
         Tree(Install, "install", Settings("de")) + copies(Install, "2023-07"), "", Install, "", "",
         OneDrive, true, Install},
        // A month file copied in several chunks: the copy is broken off in
        // the middle of it too.
        {"installation with a large month file -> cloud folder holding it, copy",
         Tree(Install, "install", Settings("de")) +
             Entries{{Install + "Data\\2024-03.txt", std::string(3 << 20, 'i') + "\r\n"},
                     {OneDrive + "Data\\2024-03.txt", "3;10:00;Cloud;cloud\r\n"}},
         "", Install, "", "", OneDrive, true},
        {"conflict copies merged at both, cloud -> standard location, copy",
         Tree(Install, "install", Settings("de", OneDrive)) + copies(Install, "2023-08") +
             Tree(OneDrive, "old", Settings("en")) + copies(OneDrive, "2023-07"),
         "", Install, "", OneDrive, "", true, OneDrive + "|" + Install},
    };
}

// The scenario's folders as full paths, in the order tvn_crash_run takes them.
std::vector<std::string> Folders(const CrashScenario& s, const test::Sandbox& box) {
    std::vector<std::string> folders;
    for (const std::string* folder : {&s.install, &s.server, &s.oldRedirect, &s.newRedirect})
        folders.push_back(folder->empty() ? "" : box.Root() + *folder);
    return folders;
}

void Build(const CrashScenario& s, const test::Sandbox& box) {
    box.Clear();
    for (const auto& [path, bytes] : s.files)
        if (path.ends_with("\\"))
            test::MakeDirs(box / path);
        else
            test::WriteBytes(box / path, box.Fill(bytes));
    if (!s.hidden.empty())
        SetFileAttributesA((box / s.hidden).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

// One argument as the C runtime splits a command line: quoted, with the
// backslashes before the closing quote doubled.
std::string Quoted(const std::string& text) {
    const size_t kept = text.find_last_not_of('\\');
    const size_t trailing = kept == std::string::npos ? text.size() : text.size() - 1 - kept;
    return "\"" + text + std::string(trailing, '\\') + "\"";
}

// Starts tvn_crash_run, beside this executable, and returns its exit code,
// or ~0 when it could not be started or did not end within a minute. With
// restoreOf, it undoes the newest run of that installation instead.
DWORD StartCrashRun(const std::vector<std::string>& folders, bool copyData, long point,
                    const std::string& merge, const std::string& restoreOf) {
    char self[MAX_PATH];
    std::string exe(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "tvn_crash_run.exe";
    std::string command = Quoted(exe);
    if (!restoreOf.empty()) {
        command += " restore " + Quoted(restoreOf) + " " + std::to_string(point);
    } else {
        for (const std::string& argument : folders)
            command.append(" ").append(Quoted(argument));
        command.append(copyData ? " 1 " : " 0 ").append(std::to_string(point));
        if (!merge.empty())
            command.append(" ").append(Quoted(merge));
    }
    // What it prints is for a person running it by hand.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    UniqueFileHandle nowhere(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherited, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nowhere.get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info))
        return ~0u;
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    DWORD code = ~0u;
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code)) {
        TerminateProcess(process.get(), 255);
        return ~0u;
    }
    return code;
}

// Under Wine a process that ends itself from its second thread while the
// first is inside a system call was seen, on a loaded machine, not to end
// within a minute (3 of about 1,100 crash points in a day's runs). The
// parent then ends it: a crash from outside, at a moment after the chosen
// change, whose outcome is judged as any other and counted on the summary
// line as killed.
DWORD CrashRun(const std::vector<std::string>& folders, bool copyData, long point,
               const std::string& merge, const std::string& restoreOf = "") {
    return StartCrashRun(folders, copyData, point, merge, restoreOf);
}

// The settings in effect for the installation, [Setup] Redirect aside, in
// canonical text, and the files of the data folder beside them.
struct InEffect {
    std::string settings;
    std::map<std::string, std::string> data;
};
InEffect SettingsAndDataInEffect(const std::string& install) {
    try {
        auto store = OpenInstallationIni(install);
        const std::string& file = store->FileName();
        const std::string root = file.substr(0, file.size() - std::string(SettingsFileName).size());
        DeleteIniKey(store.get(), "Setup", "Redirect");
        return {store->CanonicalText(), test::SnapshotTree(DataFolderOf(root)).files};
    } catch (const EFileError& error) {
        return {std::string("unreadable: ") + error.what(), {}};
    }
}

// The sandbox's files without the backup folders and temporary settings
// files that were not there before: what a run leaves that lasts.
std::map<std::string, std::string> Lasting(const std::string& root, const test::Snapshot& before) {
    std::map<std::string, std::string> files = test::SnapshotTree(root).files;
    std::erase_if(files, [&](const auto& file) {
        const std::string& path = file.first;
        if (before.files.count(path))
            return false;
        if (DiskChanges::IsTemporaryName(path.substr(path.find_last_of('\\') + 1)))
            return true;
        for (size_t start = 0, cut; (cut = path.find('\\', start)) != std::string::npos;
             start = cut + 1)
            if (IsBackupFolderName(BackupPrefix, path.substr(start, cut - start)) &&
                !before.folders.count(path.substr(0, cut + 1)))
                return true;
        return false;
    });
    return files;
}

// Where two sets of files differ, for a failure's message.
std::string Differing(const std::map<std::string, std::string>& was,
                      const std::map<std::string, std::string>& now) {
    std::string text;
    for (const auto& [path, bytes] : was)
        if (!now.count(path) || now.at(path) != bytes)
            text += "\n  " + path + (now.count(path) ? " changed" : " gone");
    for (const auto& [path, bytes] : now)
        if (!was.count(path))
            text += "\n  " + path + " new";
    return text;
}

struct Figures {
    int scenarios = 0, points = 0, midFile = 0, filesLost = 0, broken = 0, restored = 0,
        rerunsOk = 0, killed = 0;
};

} // namespace

TEST(CrashPoints, EveryChangeOfARunLeavesAWorkingInstallation) {
    const auto started = std::chrono::steady_clock::now();
    // The list of runs that the runs here join, theirs and this process's
    // alone.
    test::TempDir local;
    test::ScopedEnv localAppData("LOCALAPPDATA", local.path().c_str());
    Figures figures;
    for (const CrashScenario& s : Scenarios()) {
        SCOPED_TRACE(s.name);
        ++figures.scenarios;
        test::Sandbox box;
        const std::vector<std::string> folders = Folders(s, box);
        Build(s, box);
        const test::Snapshot before = test::SnapshotTree(box.Root());
        const InEffect was = SettingsAndDataInEffect(folders[0]);
        const std::string source =
            !s.oldRedirect.empty() && FolderHasFiles(folders[2]) ? folders[2] : folders[0];
        const std::string destination = s.newRedirect.empty() ? folders[0] : folders[3];
        std::string merge;
        std::vector<std::string> merged;
        for (size_t at = 0, cut; at < s.merge.size(); at = cut + 1) {
            cut = std::min(s.merge.find('|', at), s.merge.size());
            merged.push_back(box.Root() + s.merge.substr(at, cut - at));
            merge += (merge.empty() ? "" : "|") + merged.back();
        }
        const DWORD changes = CrashRun(folders, s.copyData, -1, merge);
        ASSERT_LT(changes, crash_run::CrashExitCode) << "the whole run failed";
        for (const std::string& root : merged)
            EXPECT_FALSE(test::BackupFolders(root).empty()) << "nothing merged in " << root;
        const InEffect whole = SettingsAndDataInEffect(folders[0]);
        const auto wholeLasting = Lasting(box.Root(), before);

        for (long point = 0; point <= long(changes); ++point) {
            SCOPED_TRACE("crash before change " + std::to_string(point) + " of " +
                         std::to_string(changes));
            ++figures.points;
            Build(s, box);
            test::RunRecord run(box.Root(), folders[0], folders[3], source, destination,
                                s.copyData && NormalForm(source) != NormalForm(destination),
                                merged);
            const DWORD code = CrashRun(folders, s.copyData, point, merge);
            figures.killed += code == ~0u;
            if (code != crash_run::CrashInsideFileExitCode && code != ~0u) {
                EXPECT_EQ(code, point < long(changes) ? crash_run::CrashExitCode : changes);
            }
            run.Finish(box.Root());
            // Ended with a temporary file shorter than the month file it copies.
            for (const auto& [path, bytes] : run.after.files)
                if (const size_t name = path.rfind('\\') + 1;
                    DiskChanges::IsTemporaryName(path.substr(name)) && !bytes.empty())
                    for (const auto& [was, old] : before.files)
                        figures.midFile +=
                            was.ends_with(path.substr(name + 2, path.size() - name - 10)) &&
                            IsMonthlyDataFileName(was) && bytes.size() < old.size();
            test::FileCounts files;
            test::Problems lost;
            test::EveryOldFileIsKeptInPlaceOrInTheNewBackup(run, files, lost);
            figures.filesLost += files.filesLost;
            EXPECT_EQ(lost.text, "");
            const InEffect now = SettingsAndDataInEffect(folders[0]);
            // A merge replaces one month file after the other: each is old or new.
            auto eachFileOldOrNew = [&] {
                auto at = [](const std::map<std::string, std::string>& in,
                             const std::string& path) {
                    return in.count(path) ? in.at(path) : std::string("\0gone", 5);
                };
                for (const auto* files : {&was.data, &whole.data})
                    for (const auto& [path, bytes] : *files)
                        if (at(now.data, path) != at(was.data, path) &&
                            at(now.data, path) != at(whole.data, path))
                            return false;
                return !s.merge.empty();
            };
            const bool working =
                now.settings.rfind("unreadable: ", 0) != 0 &&
                (now.settings == was.settings || now.settings == whole.settings) &&
                (now.data == was.data || now.data == whole.data || eachFileOldOrNew());
            figures.broken += !working;
            EXPECT_TRUE(working) << "settings in effect:\n"
                                 << now.settings << "\nbefore:\n"
                                 << was.settings << "\nafter the whole run:\n"
                                 << whole.settings << "\ndata files " << now.data.size()
                                 << (now.data == was.data     ? " as before"
                                     : now.data == whole.data ? " as after"
                                                              : " neither as before nor as after");

            // The broken-off run, and a merge before it, undone from what
            // their records hold: every file as before, but what the
            // restores keep in their own backup folders.
            for (const RunRecord& found : FindHistory(folders[0]).runs) {
                EXPECT_EQ(RestoreRun(found, {}, false).errorText, "") << found.id;
            }
            const bool restored = Lasting(box.Root(), before) == before.files;
            figures.restored += restored;
            EXPECT_TRUE(restored) << Differing(before.files, Lasting(box.Root(), before));

            Outcome again;
            for (const std::string& root : merged)
                again.ErrorText += MergeConflictCopies(root).errorText;
            if (again.ErrorText.empty())
                again = ConfigureInstallation(folders[0], folders[1], folders[2], folders[3],
                                              s.copyData);
            const bool rerunOk =
                again.ErrorText.empty() && Lasting(box.Root(), before) == wholeLasting;
            figures.rerunsOk += rerunOk;
            EXPECT_TRUE(rerunOk) << "the run again: " << again.ErrorText;
        }
    }
    char summary[200];
    std::snprintf(summary, sizeof summary,
                  "crash: scenarios=%d points=%d mid_file=%d files_lost=%d broken=%d restored=%d "
                  "reruns_ok=%d killed=%d",
                  figures.scenarios, figures.points, figures.midFile, figures.filesLost,
                  figures.broken, figures.restored, figures.rerunsOk, figures.killed);
    std::printf("crash points: %.1f s\n%s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                summary);
    std::ofstream("crash-summary.txt") << summary << "\n";
    EXPECT_GT(figures.midFile, 0);
    EXPECT_EQ(figures.filesLost, 0);
    EXPECT_EQ(figures.broken, 0);
    EXPECT_EQ(figures.restored, figures.points);
    EXPECT_EQ(figures.rerunsOk, figures.points);
}

// A restore broken off at any of its changes loses nothing of what the run
// left, leaves the settings and data in effect as after the run or as
// before it, and restoring the run again finishes the undoing.
TEST(CrashPoints, EveryChangeOfARestoreLosesNothing) {
    int points = 0, lost = 0, broken = 0, finished = 0;
    for (const CrashScenario& s : Scenarios()) {
        if (!s.merge.empty())
            continue;
        SCOPED_TRACE(s.name);
        test::Sandbox box;
        const std::vector<std::string> folders = Folders(s, box);
        const auto configure = [&] {
            Build(s, box);
            return ConfigureInstallation(folders[0], folders[1], folders[2], folders[3],
                                         s.copyData);
        };
        Build(s, box);
        const InEffect was = SettingsAndDataInEffect(folders[0]);
        if (!configure().ErrorText.empty())
            continue; // a scenario whose run fails has nothing to undo
        const InEffect whole = SettingsAndDataInEffect(folders[0]);
        const DWORD changes = CrashRun(folders, false, -1, "", folders[0]);
        ASSERT_LT(changes, crash_run::CrashExitCode) << "the whole restore failed";
        EXPECT_EQ(SettingsAndDataInEffect(folders[0]).data, was.data);
        for (long point = 0; point < long(changes); ++point) {
            SCOPED_TRACE("crash before change " + std::to_string(point));
            ++points;
            ASSERT_EQ(configure().ErrorText, "");
            const std::string run = FindHistory(folders[0]).runs.at(0).id;
            const test::Snapshot left = test::SnapshotTree(box.Root());
            CrashRun(folders, false, point, "", folders[0]);
            // Every file the run left is still somewhere, by name and bytes;
            // settings files get their keys back, which the restore records.
            const test::Snapshot now = test::SnapshotTree(box.Root());
            for (const auto& [path, bytes] : left.files) {
                const std::string name = path.substr(path.find_last_of('\\') + 1);
                if (name == SettingsFileName)
                    continue;
                const bool kept = std::any_of(now.files.begin(), now.files.end(), [&](auto& f) {
                    return f.second == bytes && f.first.ends_with(name);
                });
                lost += !kept;
                EXPECT_TRUE(kept) << path;
            }
            const InEffect inEffect = SettingsAndDataInEffect(folders[0]);
            const bool working =
                (inEffect.settings == was.settings || inEffect.settings == whole.settings) &&
                (inEffect.data == was.data || inEffect.data == whole.data);
            broken += !working;
            EXPECT_TRUE(working) << inEffect.settings << "\nbefore:\n"
                                 << was.settings << "\nafter the run:\n"
                                 << whole.settings << "\ndata files " << inEffect.data.size()
                                 << (inEffect.data == was.data     ? " as before"
                                     : inEffect.data == whole.data ? " as after"
                                                                   : " neither");
            // Restoring the run again finishes what the broken restore began.
            for (const RunRecord& found : FindHistory(folders[0]).runs)
                if (found.id == run) {
                    EXPECT_EQ(RestoreRun(found, {}, false).errorText, "");
                }
            const bool done = SettingsAndDataInEffect(folders[0]).data == was.data;
            finished += done;
            EXPECT_TRUE(done);
        }
    }
    char summary[160];
    std::snprintf(summary, sizeof summary,
                  "crash-restore: points=%d files_lost=%d broken=%d finished_again=%d", points,
                  lost, broken, finished);
    std::printf("%s\n", summary);
    std::ofstream("crash-summary.txt", std::ios::app) << summary << "\n";
    EXPECT_GT(points, 0);
    EXPECT_EQ(lost + broken, 0);
    EXPECT_EQ(finished, points);
}
