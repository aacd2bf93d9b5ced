// Seeded fault injection for the configuration transaction. The promise: no
// file that existed before a run is lost; each is still there byte for byte,
// or in the new backup folder. One generator makes random trees, locations and
// faults; one checker holds every run to the promise and to its report. A
// second test puts a sync client's write at one change of each run and
// counts records, since that writer is always there.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <list>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ConflictCopies.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystemText.h"
#include "Promises.h"
#include "Restore.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;
using Strings = std::vector<std::string>;
using test::Problems;

namespace {

// Whether a copy fails from a file held open so, or (access 0) over a
// read-only file. Found out by trying: only a fault the platform enforces may
// be expected to stop a run.
bool CopyFails(DWORD access, DWORD share) {
    test::TempDir dir;
    test::WriteBytes(dir / "a", "a");
    test::WriteBytes(dir / "b", "b");
    std::optional<test::HeldFile> held;
    if (access != 0)
        held.emplace(dir / "a", access, share);
    else
        SetFileAttributesA((dir / "b").c_str(), FILE_ATTRIBUTE_READONLY);
    return !CopyFileA((dir / "a").c_str(), (dir / (access ? "c" : "b")).c_str(), FALSE);
}
using Platform = std::map<DWORD, bool>; // CopyFails by the access of a file fault

enum Target { SourceFile, DestinationFile, RunIni, DestinationData, Place };
struct Fault {
    const char* name;
    Target target;
    DWORD access = 0, share = 0; // held open so, when access is not 0
    std::string file = "";       // or the place that cannot be reached
    bool certain = true;         // every path of the run meets it
    bool counts = true;          // the platform enforces it
    bool online = false;         // kept online only by a fake sync client
    DWORD readError = 0;         // which then fails every read with this error
};
// Faults on files, picked at random; faults on places are made by Generate.
const Fault FileFaults[] = {
    {"source file held unshared", SourceFile, GENERIC_READ, 0},
    {"source file held for writing", SourceFile, GENERIC_WRITE, FILE_SHARE_READ},
    {"destination file held unshared", DestinationFile, GENERIC_READ, 0},
    {"destination file held for writing", DestinationFile, GENERIC_WRITE, FILE_SHARE_READ},
    {"settings file held unshared", RunIni, GENERIC_READ, 0},
    {"settings file held for writing", RunIni, GENERIC_WRITE, FILE_SHARE_READ},
    {"settings file held for reading", RunIni, GENERIC_READ, FILE_SHARE_READ}, // loads, stays
    {"read-only destination data file", DestinationData},
    {"online-only source file", SourceFile, 0, 0, "", true, true, true},
    {"online-only destination file", DestinationFile, 0, 0, "", true, true, true},
    {"online-only source file, client not running", SourceFile, 0, 0, "", true, true, true, 362},
    {"online-only destination file, client stopped (as HRESULT)", DestinationFile, 0, 0, "", true,
     true, true, 0x80070194}};

struct Scenario {
    unsigned number = 0; // names the scenario and starts its random draws
    std::string direction, oldState = "none", newState = "none";
    bool copyData = false;
    // Folders ending in a backslash, in the sandbox or unreachable, or empty;
    // source and destination are the roots the run should use. Files likewise.
    std::string install, server, oldRedirect, newRedirect, source, destination;
    std::map<std::string, std::string> files;
    Strings emptyFolders;
    std::map<std::string, DWORD> attributes;
    std::vector<Fault> faults;
    // The root whose sync conflict copies are merged before the run, as the
    // window does on Yes, or empty; and the month files and copies merged.
    std::string mergeRoot;
    std::set<std::string> mergeMonths, mergeCopies;

    bool CopyHappens() const { return copyData && source != destination; }
    std::string Describe() const {
        std::string text = "seed " + std::to_string(number) + ": " + direction + ", copy " +
                           (copyData ? "yes" : "no") + ", old " + oldState + ", new " + newState +
                           ", server " + (server.empty() ? "none" : server) + ", conflict copies " +
                           std::to_string(mergeCopies.size()) + ", faults [";
        for (const Fault& f : faults)
            text += std::string(f.name) + " " + f.file +
                    (f.counts ? (f.certain ? " (stops every run); " : "; ") : " (not enforced); ");
        return text + "]";
    }
};

struct Dice {
    std::mt19937 engine;
    int Between(int low, int high) { return std::uniform_int_distribution(low, high)(engine); }
    bool Chance(int percent) { return Between(1, 100) <= percent; }
    std::string Pick(const Strings& items) { return items[Between(0, int(items.size()) - 1)]; }
};

// A settings file with random sections, keys, comments, blank lines and line
// ends, and the given redirection and server path.
std::string RandomIni(Dice& d, const std::string& redirect, const std::string& serverPath) {
    const std::string eol = d.Pick({"\r\n", "\n", "\r"});
    std::string text =
        d.Pick({"", "; Tallyvane settings" + eol, "Orphan=before any section" + eol}) +
        d.Pick({"[Setup]", "[setup]"}) + eol + "Language=" + d.Pick({"de", "en", "fr"}) + eol +
        d.Pick({"", "LastUser=J\xF6rg M\xFCller" + eol});
    if (!redirect.empty())
        text += d.Pick({"Redirect=", "redirect="}) + redirect + eol;
    for (const std::string section : {"[Options]", "[Window \xC5]", "[Export]"})
        for (int n = d.Chance(50) ? d.Between(1, 5) : 0, i = 0; i < n; ++i)
            text += (i == 0 ? section
                            : d.Pick({"; note", "", "Flag\xE9", "Font=1", "Ma\xDF=22", " Spaced=3",
                                      "AutoSave=" + std::to_string(n)})) +
                    eol;
    if (!serverPath.empty() || d.Chance(25))
        text += "[Server]" + eol + (serverPath.empty() ? "" : "ServerPath=" + serverPath + eol) +
                "ServerAdmin=" + d.Pick({"1", "2", "0x2", "3", "abc", ""}) + eol;
    return text;
}

// An installation-shaped tree below root: monthly data in nested folders,
// sometimes earlier backups (one inside Data\ that an earlier copy took
// along), hidden and system files, a marker and settings unless ini is empty.
void AddTree(Scenario& s, Dice& d, const std::string& root, const std::string& label,
             const std::string& ini) {
    auto records = [&](const std::string& path) {
        std::string& text = s.files[root + path];
        for (int n = d.Between(1, 6); n > 0; --n)
            text += std::to_string(d.Between(1, 28)) + ";" + std::to_string(d.Between(7, 9)) + ":" +
                    std::to_string(d.Between(10, 59)) + ";Projekt " +
                    d.Pick({"\xC4lg", "Caf\xE9", "Gro\xDF", "Tr\xF6"}) + ";" + label + "\r\n";
    };
    auto month = [&] {
        return std::to_string(d.Between(2022, 2024)) + "-0" + std::to_string(d.Between(1, 9)) +
               ".txt";
    };
    const Strings folders = {"Data\\", "Data\\", "Data\\Archiv \xF6\\",
                             "Data\\Archiv \xF6\\Alt \xE9\\"};
    for (int n = d.Between(2, 10); n > 0; --n)
        records(d.Pick(folders) + month());
    const std::string backup = d.Pick(
        {"TVN Backup 2023-03-14 [09-26-53-589]\\", "TVN Backup 2023-11-02 [17-05-00-042]\\"});
    const std::tuple<std::string, int, DWORD> extras[] = {
        {backup + "tvn.ini", 35, FILE_ATTRIBUTE_NORMAL},
        {backup + "Data\\" + month(), 35, FILE_ATTRIBUTE_NORMAL},
        // The same name in every tree, so that the data copy overwrites it.
        {"Data\\TVN Backup 2023-03-14 [09-26-53-589]\\2023-01.txt", 30, FILE_ATTRIBUTE_NORMAL},
        {"Data\\desktop.ini", 35, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"Data\\~sperre.lck", 35, FILE_ATTRIBUTE_HIDDEN},
        {"Notiz f\xFCr " + label + ".txt", 35, FILE_ATTRIBUTE_NORMAL},
        {"tvn.inf", ini.empty() ? 50 : 100, FILE_ATTRIBUTE_NORMAL},
        {"tvn.ini~1", ini.empty() ? 0 : 10, FILE_ATTRIBUTE_NORMAL}};
    for (const auto& [name, percent, attributes] : extras)
        if (d.Chance(percent)) {
            records(name);
            s.attributes[root + name] = attributes;
        }
    if (!ini.empty())
        s.files[root + "tvn.ini"] = ini;
}

Scenario Generate(unsigned number, const std::string& sandbox, char freeDrive,
                  const Platform& facts) {
    Dice d{std::mt19937(number)};
    Scenario s;
    s.number = number;
    const int direction = d.Between(0, 2), first = d.Between(0, 2);
    s.direction = Strings{"installation->cloud", "cloud->cloud", "cloud->standard"}[direction];
    s.copyData = d.Chance(70);
    s.install = sandbox + d.Pick({"Install \xE9t\xE9\\", "Tallyvane \xC5rhus\\"});
    if (d.Chance(40))
        s.server = sandbox + "Server \xDF\\Tallyvane\\";
    if (!s.server.empty() && d.Chance(50))
        s.emptyFolders.push_back(s.server);
    const Strings clouds = {"OneDrive\\Tallyvane \xDF\\", "Dropbox\\Zeit \xF6ko\\",
                            "OneDrive - Firma \xC5\\TVN Daten\\"};
    auto staleServer = [&] { return d.Chance(30) ? sandbox + "Server" : ""; };
    std::string redirect;
    if (direction != 0) {
        s.oldRedirect = sandbox + clouds[first];
        s.oldState = d.Pick({"absent", "empty", "with data", "with data", "with data"});
        if (s.oldState == "with data")
            AddTree(s, d, s.oldRedirect, "old",
                    d.Chance(85) ? RandomIni(d, d.Chance(20) ? s.oldRedirect : "", staleServer())
                                 : "");
        else if (s.oldState == "empty")
            s.emptyFolders.push_back(s.oldRedirect + (d.Chance(50) ? "Data\\" : ""));
        redirect = RemoveBackslash(d.Pick(
                       {s.oldRedirect, AsciiLowerCase(s.oldRedirect), "  " + s.oldRedirect})) +
                   d.Pick({"", "\\", " "});
    }
    if (direction != 2) {
        s.newRedirect = sandbox + clouds[direction == 0 ? first : (first + d.Between(1, 2)) % 3];
        s.newState = d.Pick({"missing", "empty", "holding data"});
        if (s.newState == "holding data")
            AddTree(s, d, s.newRedirect, "new",
                    d.Chance(80) ? RandomIni(d, "", staleServer()) : "");
        else if (s.newState == "empty")
            s.emptyFolders.push_back(s.newRedirect);
    }
    AddTree(
        s, d, s.install, "install",
        RandomIni(d, redirect, !s.server.empty() && d.Chance(70) ? RemoveBackslash(s.server) : ""));
    s.source = s.oldState == "with data" ? s.oldRedirect : s.install;
    s.destination = s.newRedirect.empty() ? s.install : s.newRedirect;

    // Sync conflict copies where the run copies from, each with a record its
    // month file lacks, some of a month the folder has no file for.
    Strings months = {"2021-01"};
    for (const auto& [path, bytes] : s.files)
        if (FileSystem::ExtractFilePath(path) == s.source + "Data\\" && IsMonthlyDataFileName(path))
            months.push_back(path.substr(s.source.size() + 5, 7));
    for (int n = s.CopyHappens() && d.Chance(30) ? d.Between(1, 3) : 0; n > 0; --n) {
        s.mergeRoot = s.source;
        const std::string stem = s.source + "Data\\" + d.Pick(months), eol = d.Pick({"\n", "\r\n"});
        const std::string copy = stem +
                                 d.Pick({"-LAPTOP", "-ANN-PC-1", " (Case Conflict)",
                                         " (J\xF6rg's conflicted copy 2024-01-05)"}) +
                                 ".txt";
        std::string& text = s.files[copy];
        for (const std::string& line : FileSystem::SplitLines(
                 s.files.count(stem + ".txt") ? s.files.at(stem + ".txt") : std::string()))
            text += d.Chance(80) ? line + eol : "";
        text += "31;23:59;Konflikt " + std::to_string(n) + ";copy" + eol;
        s.mergeMonths.insert(stem + ".txt");
        s.mergeCopies.insert(copy);
    }

    // Places that cannot be reached or made: every run must stop at them.
    const bool bareNew = s.newState == "missing" || s.newState == "empty";
    if (bareNew && d.Chance(8)) {
        s.newRedirect = s.destination = std::string(1, freeDrive) + ":\\Tallyvane \xE9\\";
        s.faults.push_back({"new location on a missing drive", Place, 0, 0, s.newRedirect});
    } else if (bareNew && d.Chance(8)) {
        s.files[s.newRedirect + "Data"] = "not a folder";
        s.faults.push_back({"data folder is a file", Place, 0, 0, s.newRedirect + "Data"});
    }
    if (!s.server.empty() && d.Chance(12)) {
        s.server = "\\\\tvn-no-such-server\\share\\x\\";
        s.faults.push_back({"unreachable server", Place, 0, 0, s.server});
    } else if (!s.server.empty() && d.Chance(10)) {
        s.files[s.server + "Data"] = "not a folder";
        s.faults.push_back({"data folder is a file", Place, 0, 0, s.server + "Data"});
    }

    // Files held open or made read-only, at random places: a data file
    // read-only where the copy will overwrite it, held ones anywhere the run
    // reads (the backup reads every destination file outside earlier backups).
    const std::set<std::string> inis = {s.source + "tvn.ini", s.destination + "tvn.ini",
                                        s.install + "tvn.ini"};
    std::set<std::string> faulted;
    for (int n = d.Chance(10) ? 3 : d.Between(0, 5) / 2; n > 0; --n) {
        Fault f = FileFaults[d.Between(0, std::size(FileFaults) - 1)];
        const std::string& root = f.target == SourceFile ? s.source : s.destination;
        Strings candidates;
        for (const auto& [path, bytes] : s.files) {
            const std::string rel = path.starts_with(root) ? path.substr(root.size()) : "";
            if (!faulted.count(path) &&
                (f.target == RunIni
                     ? inis.count(path) != 0
                     : !rel.empty() && !rel.starts_with("tvn.ini") &&
                           (f.target == SourceFile ||
                            rel.find(BackupPrefix) == std::string::npos) &&
                           (f.target != DestinationData ||
                            (rel.starts_with("Data\\") && s.files.count(s.source + rel)))))
                candidates.push_back(path);
        }
        if (candidates.empty())
            continue;
        f.file = d.Pick(candidates);
        faulted.insert(f.file);
        f.counts = f.target != DestinationData || facts.at(0);
        // The merge refuses a month file held in any way, a copy it cannot
        // read, and either kept online only by a client that fails the read.
        const bool mergeMonth = s.mergeMonths.count(f.file) != 0;
        const bool stopsMerge =
            (mergeMonth || s.mergeCopies.count(f.file)) &&
            (f.online ? f.readError != 0 : mergeMonth || (f.share == 0 && f.access != 0));
        f.certain = f.target == RunIni || stopsMerge ||
                    (s.CopyHappens() && (f.online ? f.readError != 0 : facts.at(f.access)) &&
                     (f.target != SourceFile || f.file.starts_with(s.source + "Data\\")));
        s.faults.push_back(f);
    }
    return s;
}

struct Counts : test::FileCounts {
    int scenarios = 0, faults = 0;
    // Runs that failed, and of those the ones that changed no file.
    int failedRuns = 0, stoppedBeforeChange = 0;
    int merges = 0, mergesRefused = 0; // runs that merged conflict copies first, or were refused
};

// A sync client downloading into the data folders while a run goes on. At
// one change the program is about to make it writes one record straight
// through Win32: into the month file that change is about (the file, or the
// one its temporary file or backup copy stands for), else into a month file
// of the destination, made if need be; every other time it replaces the
// file whole through a rename, as sync clients do.
class SyncClient : public DiskChanges::ChangeSeam {
  public:
    SyncClient(const Scenario& s, unsigned at) : s_(s), at_(at) {}
    void BeforeChange(const std::wstring& changed) override {
        if (calls_++ != at_)
            return;
        std::string path = DiskChanges::ShownPath(changed);
        const size_t name = path.rfind('\\') + 1;
        if (DiskChanges::IsTemporaryName(path.substr(name))) // ~$<name>.tvn.tmp
            path = path.substr(0, name) + path.substr(name + 2, path.size() - name - 10);
        if (const size_t backup = AsciiLowerCase(path).find("\\" + AsciiLowerCase(BackupPrefix));
            backup != std::string::npos)
            path.erase(backup, path.find('\\', backup + 1) - backup);
        if (!IsMonthlyDataFileName(path) ||
            !AsciiLowerCase(FileSystem::ExtractFilePath(path)).ends_with("\\data\\"))
            path = s_.destination + "Data\\2025-0" + std::to_string(at_ % 9 + 1) + ".txt";
        record = "17;10:00;Sync " + std::to_string(s_.number) + ";client";
        const std::string temporary = path + ".sync-download";
        try {
            const std::string old = test::IsFile(path) ? test::ReadBytes(path) : std::string();
            const bool replace = at_ % 2 && !old.empty();
            test::WriteBytes(replace ? temporary : path,
                             old + (old.empty() || old.ends_with('\n') ? "" : "\r\n") + record +
                                 "\r\n");
            if (replace &&
                !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                DeleteFileA(temporary.c_str());
                return;
            }
        } catch (const std::runtime_error&) {
            return;
        }
        file = path;
    }
    std::string file, record; // what it wrote, or empty

  private:
    const Scenario& s_;
    unsigned at_, calls_ = 0;
};

struct Seam {
    explicit Seam(SyncClient* client) { DiskChanges::SetChangeSeam(client); }
    ~Seam() { DiskChanges::SetChangeSeam(nullptr); }
};

// One run of a scenario: the sandbox before and after, what the
// configuration returned or threw, and what its faults let one expect.
struct Run : test::RunRecord {
    Run(const Scenario& scenario, const std::string& root)
        : RunRecord(root, scenario.install, scenario.newRedirect, scenario.source,
                    scenario.destination, scenario.CopyHappens(),
                    scenario.mergeRoot.empty() ? Strings{} : Strings{scenario.mergeRoot}),
          s(scenario) {}

    const Scenario& s;
    // The sandbox after the merge (see Perform), and whether the merge failed
    // (the run then stops there, as the window does).
    test::Snapshot merged;
    bool mergeFailed = false;
    std::string mergeReport;
    Outcome outcome;
    std::optional<std::string> thrown;
    bool mustFail = false, anyFault = false, iniFault = false;
};

// Makes the scenario's tree and faults in the sandbox and runs the
// configuration on it, with the sync client writing during the run if given.
Run Perform(const Scenario& s, const std::string& root, Counts& counts, Problems& problems,
            SyncClient* writer = nullptr) {
    for (const std::string& folder : s.emptyFolders)
        test::MakeDirs(folder);
    for (const auto& [path, bytes] : s.files)
        test::WriteBytes(path, bytes);
    for (const auto& [path, attributes] : s.attributes)
        SetFileAttributesA(path.c_str(), attributes);
    Run run(s, root);

    std::list<test::HeldFile> held;
    test::FakeSyncClient client;
    for (const Fault& f : s.faults) {
        counts.faults += f.counts;
        run.mustFail = run.mustFail || f.certain;
        // A file kept online only that its client provides is no fault.
        run.anyFault = run.anyFault || (f.counts && (!f.online || f.readError));
        if (f.online)
            client.OnlineOnly(f.file, f.readError);
        run.iniFault = run.iniFault || (f.access != 0 && f.file.ends_with("tvn.ini"));
        if (f.target == DestinationData)
            SetFileAttributesA(f.file.c_str(),
                               GetFileAttributesA(f.file.c_str()) | FILE_ATTRIBUTE_READONLY);
        if (f.access != 0)
            problems.Expect(held.emplace_back(f.file, f.access, f.share).ok(),
                            f.file + ": could not be held open");
    }
    const Seam seam(writer);
    try { // folders with or without the trailing backslash, as callers have them
        if (!s.mergeRoot.empty()) {
            const MergeOutcome merge = MergeConflictCopies(s.mergeRoot);
            run.mergeReport = merge.report;
            run.outcome.ErrorText = merge.errorText;
            run.mergeFailed = !run.outcome.ErrorText.empty();
        }
        if (!run.mergeFailed)
            run.outcome = ConfigureInstallation(
                s.number % 2 ? s.install : RemoveBackslash(s.install),
                s.number % 3 ? s.server : RemoveBackslash(s.server), s.oldRedirect,
                s.number % 5 ? RemoveBackslash(s.newRedirect) : s.newRedirect, s.copyData);
    } catch (const EFileError& error) {
        run.thrown = error.what();
    }
    held.clear();

    run.Finish(root);
    // The files are held open while the run goes on, so the sandbox as the
    // merge left it is what came before with what the merge made: the run
    // changes nothing of the source's data after it.
    run.merged = run.before;
    for (const auto& [path, bytes] : run.after.files)
        if (run.mergedMonths.count(path) ||
            std::any_of(run.newBackups.begin(), run.newBackups.end(), [&](const std::string& b) {
                return path.starts_with(b) && test::RootOfBackup(b) != run.destination;
            }))
            run.merged.files[path] = bytes;
    return run;
}

// A new file is a copy in the new backup of what was there, settings the run
// wrote, or lies in the destination root; no temporary settings file stays.
void NoFileAppearsOutsideTheDestination(const Run& run, Problems& problems) {
    for (const auto& [path, bytes] : run.after.files) {
        auto backup = std::find_if(run.newBackups.begin(), run.newBackups.end(),
                                   [&](const std::string& b) { return path.starts_with(b); });
        // Taking the redirection out of a root without settings leaves an
        // empty settings file there.
        const std::string problem =
            run.before.files.count(path) ? ""
            : backup != run.newBackups.end()
                ? (run.before.Holds(test::RootOfBackup(*backup) + path.substr(backup->size()),
                                    bytes)
                       ? ""
                       : "backup file that is no copy of what was there")
            : DiskChanges::IsTemporaryName(FileSystem::ExtractFileName(path))
                ? "temporary file left behind"
            : run.inis.count(path) ? run.RewriteProblemOf(path, nullptr, bytes)
            : path.starts_with(run.destination) || run.mergedMonths.count(path)
                ? ""
                : "new file outside the destination root";
        problems.Expect(problem.empty(), path + ": " + problem);
    }
}

// The outcome is one of the known texts: an exception only from a held
// settings file, a failure only with a fault, and success only past faults
// that not every run meets.
void TheOutcomeIsOneOfTheKnownTexts(const Run& run, Problems& problems) {
    const Outcome& o = run.outcome;
    problems.Expect(run.thrown || o.Report.empty() != o.ErrorText.empty(),
                    "not exactly one of report and error text: " + o.Report + " / " + o.ErrorText);
    if (run.thrown) {
        std::string named;
        for (const std::string prefix : {"Cannot open file ", "Cannot create file "})
            if (run.thrown->starts_with(prefix))
                named = AsciiLowerCase(run.thrown->substr(prefix.size()));
        problems.Expect(run.inis.count(named) || run.thrown == "Stream write error",
                        "exception that names no settings file of the run: " + *run.thrown);
        problems.Expect(run.iniFault,
                        "exception without a settings file held open: " + *run.thrown);
    } else if (!o.ErrorText.empty()) {
        const std::string failed = "Tallyvane configuration failed.\r\n",
                          notMade = "\" (or a sub-directory) could not be created.";
        const std::set<std::string> known = {
            failed + "The network directory \"" + NormalForm(run.s.server) + notMade,
            failed + "The network directory \"" + run.newPlace + notMade,
            failed + "File backup of \"" + run.destination + "\" failed.",
            failed + "File copy from \"" + run.source + "\" to \"" + run.destination +
                "\" failed."};
        // Refusals before any change name the file: a held file that is one
        // of the faults, or a settings file of the run.
        const std::string inUse = "\" is in use by another program.\r\nClose Tallyvane on this "
                                  "machine and let the sync client finish, then press Configure "
                                  "again.",
                          heldPrefix = failed + "The file \"",
                          settingsPrefix = failed + "Cannot create file ";
        const std::string text = AsciiLowerCase(o.ErrorText);
        const bool namesHeldFile =
            o.ErrorText.starts_with(heldPrefix) && o.ErrorText.ends_with(inUse) &&
            std::any_of(run.s.faults.begin(), run.s.faults.end(), [&](const Fault& f) {
                return text == AsciiLowerCase(heldPrefix + f.file + inUse);
            });
        const bool namesSettings = o.ErrorText.starts_with(settingsPrefix) &&
                                   run.inis.count(text.substr(settingsPrefix.size()));
        const bool namesUnprovided =
            std::any_of(run.s.faults.begin(), run.s.faults.end(), [&](const Fault& f) {
                return f.readError && text.starts_with(AsciiLowerCase(heldPrefix + f.file +
                                                                      "\" is stored online only"));
            });
        problems.Expect(known.count(o.ErrorText) || namesHeldFile || namesSettings ||
                            namesUnprovided,
                        "unknown error text: " + o.ErrorText);
        problems.Expect(run.anyFault, "failed without any fault: " + o.ErrorText);
    } else {
        problems.Expect(o.Report.starts_with("Tallyvane has been configured on this machine.\r\n"),
                        "unknown report: " + o.Report);
        problems.Expect(!run.mustFail, "reported success past a fault that every run must meet");
    }
}

// After a success the report names the copy that was due, the copied data is
// at the destination, and the installation redirects to the new place with
// the destination's settings in effect, naming the server.
void AfterASuccessTheCopyAndTheSettingsAreRight(const Run& run, Problems& problems) {
    const std::string copied = "Data files have been copied to";
    const std::string& report = run.outcome.Report;
    const bool saysCopied = report.find(copied) != std::string::npos;
    problems.Expect(saysCopied == run.s.CopyHappens() &&
                        (!saysCopied ||
                         report.find(copied + " \"" + run.destination + "\"") != std::string::npos),
                    "report does not match the copy that was due: " + report);
    // What was copied: the source as the merge left it.
    for (const auto& [path, bytes] : (run.s.mergeRoot.empty() ? run.before : run.merged).files)
        if (saysCopied && path.starts_with(run.source + "data\\"))
            problems.Expect(
                run.after.Holds(run.destination + path.substr(run.source.size()), bytes),
                path + ": reported copied but missing or different at the destination");
    try {
        const std::string redirection = AsciiLowerCase(ReadRedirection(run.install));
        problems.Expect(redirection == run.newPlace, "installation redirects to \"" + redirection +
                                                         "\", not \"" + run.newPlace + "\"");
        auto inEffect = OpenInstallationIni(run.install);
        problems.Expect(AsciiLowerCase(inEffect->FileName()) == run.destination + "tvn.ini",
                        "settings in effect are " + inEffect->FileName());
        const std::string serverPath = inEffect->ReadString("Server", "ServerPath", "");
        problems.Expect(serverPath == RemoveBackslash(NormalForm(run.s.server)),
                        "settings in effect name the server \"" + serverPath + "\"");
    } catch (const EFileError& error) {
        problems.Expect(false, std::string("settings in effect unreadable: ") + error.what());
    }
}

// Runs one scenario in the sandbox and holds it to every promise; each
// problem is a line.
std::string RunAndCheck(const Scenario& s, const std::string& root, Counts& counts) {
    Problems problems;
    const Run run = Perform(s, root, counts, problems);
    test::EveryOldFileIsKeptInPlaceOrInTheNewBackup(run, counts, problems);
    NoFileAppearsOutsideTheDestination(run, problems);
    TheOutcomeIsOneOfTheKnownTexts(run, problems);
    if (!s.mergeRoot.empty() && !run.mergeFailed)
        test::MergedMonthsHoldEveryRecord(run.before, run.merged, NormalForm(s.mergeRoot),
                                          problems);
    counts.merges += !s.mergeRoot.empty() && !run.mergeFailed;
    counts.mergesRefused += run.mergeFailed;
    if (!run.thrown && run.outcome.ErrorText.empty()) {
        AfterASuccessTheCopyAndTheSettingsAreRight(run, problems);
    } else {
        // The merge and the configuration are two steps, each with its own
        // checks before its first change: the one that failed changed nothing.
        ++counts.failedRuns;
        const bool merged = !s.mergeRoot.empty() && !run.mergeFailed;
        counts.stoppedBeforeChange += (merged ? run.merged : run.before).files == run.after.files;
    }
    problems.Expect(problems.text.empty(),
                    "outcome: " + (run.thrown ? "exception " + *run.thrown
                                              : run.outcome.Report + run.outcome.ErrorText));
    return problems.text;
}

struct SyncCounts : Counts {
    int writes = 0, recordsLost = 0, backedUp = 0, stopped = 0, restores = 0, restoreWrites = 0;
};

// Runs one scenario with the sync client writing at one change of the run
// or its merge, and counts in records: every line that a data file held
// before, and the client's, is in a data file afterwards (in a backup too).
// Where the client's record is left only in a backup, the run stopped or its
// report tells of it; no temporary file is left.
std::string RunWithSyncClient(const Scenario& s, const std::string& root, SyncCounts& counts) {
    // About one change per file the backup and the copy take, and a few for
    // folders, settings and merged months; a draw past the last is no write.
    unsigned changes = 12 + 3 * unsigned(s.mergeCopies.size());
    for (const auto& [path, bytes] : s.files)
        changes += path.starts_with(s.destination) + path.starts_with(s.source + "Data\\");
    SyncClient client(s, std::mt19937(s.number)() % (changes + 1));
    Problems problems;
    const Run run = Perform(s, root, counts, problems, &client);
    counts.writes += !client.file.empty();

    const std::string backups = "\\" + AsciiLowerCase(BackupPrefix);
    auto recordsOf = [&](const test::Snapshot& snapshot, bool outsideBackups) {
        std::set<std::string> lines;
        // Paths as the disk has them: a folder the run made is named as
        // the settings name it.
        for (const auto& [path, bytes] : snapshot.files)
            if (const std::string lower = AsciiLowerCase(path);
                lower.ends_with(".txt") && lower.find("\\data\\") != std::string::npos &&
                !(outsideBackups && lower.find(backups) != std::string::npos))
                for (const std::string& line : FileSystem::SplitLines(bytes))
                    lines.insert(line);
        return lines;
    };
    std::set<std::string> records = recordsOf(run.before, false);
    if (!client.file.empty())
        records.insert(client.record);
    for (const std::string& line : recordsOf(run.after, false))
        records.erase(line);
    records.erase("");
    counts.recordsLost += int(records.size());
    problems.Expect(records.empty(), "records lost: " + std::to_string(records.size()));

    // "2 files that changed during the copy were backed up first, into ..."
    const std::string reports = run.mergeReport + "\n" + run.outcome.Report;
    static const std::regex told("(\\d+) (month )?files? that changed during the (copy|merge)");
    for (std::sregex_iterator m(reports.begin(), reports.end(), told), end; m != end; ++m)
        counts.backedUp += std::stoi((*m)[1]);
    const bool stopped = run.thrown || !run.outcome.ErrorText.empty();
    counts.stopped += stopped;
    problems.Expect(client.file.empty() || stopped ||
                        recordsOf(run.after, true).count(client.record) ||
                        std::regex_search(reports, told),
                    "the record is left only in a backup, and the report does not tell");
    for (const auto& [path, bytes] : run.after.files)
        problems.Expect(!DiskChanges::IsTemporaryName(path.substr(path.rfind('\\') + 1)),
                        path + ": temporary file left behind");
    problems.Expect(problems.text.empty(), "the sync client wrote " + client.file +
                                               "; outcome: " + reports + run.outcome.ErrorText);

    // The run undone while the client writes at one of the restore's
    // changes: again every record is somewhere, and the client's is in a
    // data file outside the backups.
    const History history = FindHistory(s.install);
    if (!problems.text.empty() || history.runs.empty())
        return problems.text;
    const RunRecord& last = history.runs.front();
    SyncClient during(s, std::mt19937(s.number + 500)() % unsigned(2 * last.files.size() + 6));
    RestoreOutcome restored;
    {
        const Seam seam(&during);
        restored = RestoreRun(last, {}, false);
    }
    const test::Snapshot undone = test::SnapshotTree(root);
    ++counts.restores;
    counts.restoreWrites += !during.file.empty();
    records = recordsOf(run.after, false);
    if (!during.file.empty())
        records.insert(during.record);
    for (const std::string& line : recordsOf(undone, false))
        records.erase(line);
    records.erase("");
    counts.recordsLost += int(records.size());
    problems.Expect(records.empty(),
                    "records lost by the restore: " + std::to_string(records.size()));
    problems.Expect(during.file.empty() || recordsOf(undone, true).count(during.record),
                    "the restore left the client's record only in a backup");
    problems.Expect(problems.text.empty(), "the sync client wrote " + during.file +
                                               " during the restore; " + restored.errorText +
                                               restored.report);
    return problems.text;
}

// The scenarios to run: TVN_RELIABILITY_SEED runs the one of that number,
// TVN_RELIABILITY_SCENARIOS sets how many from 1 on.
std::pair<unsigned, unsigned> ScenarioNumbers() {
    const std::string seedText = GetEnvVar("TVN_RELIABILITY_SEED");
    const std::string countText =
        IsInteger(seedText) ? "1" : GetEnvVar("TVN_RELIABILITY_SCENARIOS");
    return {IsInteger(seedText) ? std::stoul(seedText) : 1,
            IsInteger(countText) ? std::stoul(countText) : 200};
}

} // namespace

TEST(FaultInjection, SeededScenariosKeepEveryFile) {
    const auto started = std::chrono::steady_clock::now();
    const auto [seedBase, scenarios] = ScenarioNumbers();
    char drive = 0;
    for (const char* letter = "QRSTUVWXYPONMLKJIHGFED"; *letter && !drive; ++letter)
        if (!(GetLogicalDrives() & (1u << (*letter - 'A'))))
            drive = *letter;
    ASSERT_NE(drive, 0) << "no free drive letter for the missing-drive fault";
    const Platform facts = {{GENERIC_READ, CopyFails(GENERIC_READ, 0)},
                            {GENERIC_WRITE, CopyFails(GENERIC_WRITE, FILE_SHARE_READ)},
                            {0, CopyFails(0, 0)}};

    Counts counts;
    for (unsigned number = seedBase; number < seedBase + scenarios; ++number, ++counts.scenarios) {
        test::TempDir sandbox;
        const Scenario s = Generate(number, sandbox.path(), drive, facts);
        const std::string problems = RunAndCheck(s, sandbox.path(), counts);
        if (!problems.empty())
            ADD_FAILURE() << s.Describe() << problems;
    }
    char summary[200];
    std::snprintf(summary, sizeof summary,
                  "reliability: scenarios=%d faults=%d files_checked=%d files_lost=%d "
                  "failed_runs=%d stopped_before_change=%d merges=%d merges_refused=%d "
                  "seed_base=%u",
                  counts.scenarios, counts.faults, counts.filesChecked, counts.filesLost,
                  counts.failedRuns, counts.stoppedBeforeChange, counts.merges,
                  counts.mergesRefused, seedBase);
    std::printf("fault injection: %.1f s; copy fails on a file held unshared %s, held for writing "
                "%s, over a read-only file %s\n%s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                facts.at(GENERIC_READ) ? "yes" : "no", facts.at(GENERIC_WRITE) ? "yes" : "no",
                facts.at(0) ? "yes" : "no", summary);
    std::ofstream("reliability-summary.txt") << summary << "\n";
    EXPECT_EQ(counts.filesLost, 0);
    // Every fault here is there before the run starts.
    EXPECT_EQ(counts.stoppedBeforeChange, counts.failedRuns);
}

// Another writer at a random change of a run or a merge: the sync client
// downloading into the data folders. Scenarios that copy data, without the
// faults of the other test, each with one write at a change drawn from its
// number.
TEST(FaultInjection, SyncClientWritesDuringTheRun) {
    const auto started = std::chrono::steady_clock::now();
    const auto [seedBase, scenarios] = ScenarioNumbers();
    const Platform facts = {{GENERIC_READ, true}, {GENERIC_WRITE, true}, {0, true}};
    SyncCounts counts;
    for (unsigned number = seedBase; counts.scenarios < int(scenarios); ++number) {
        test::TempDir sandbox;
        Scenario s = Generate(number, sandbox.path(), 'Q', facts);
        if (!s.CopyHappens() || std::any_of(s.faults.begin(), s.faults.end(),
                                            [](const Fault& f) { return f.target == Place; }))
            continue;
        s.faults.clear();
        // A destination holding data gets month files of some of the
        // source's names too, so that the copy replaces files the client
        // may change.
        Dice d{std::mt19937(number + 1000u)};
        const std::string data = s.destination + "Data\\";
        const auto destinationData = s.files.lower_bound(data);
        if (destinationData != s.files.end() && destinationData->first.starts_with(data))
            for (const auto& [path, bytes] : std::map(s.files))
                if (path.starts_with(s.source + "Data\\") && IsMonthlyDataFileName(path) &&
                    d.Chance(60))
                    s.files.try_emplace(s.destination + path.substr(s.source.size()),
                                        "3;08:00;Ziel " + path.substr(s.source.size()) +
                                            ";new\r\n");
        ++counts.scenarios;
        const std::string problems = RunWithSyncClient(s, sandbox.path(), counts);
        if (!problems.empty())
            ADD_FAILURE() << s.Describe() << problems;
    }
    const std::string summary = "sync-client: scenarios=" + std::to_string(counts.scenarios) +
                                " writes=" + std::to_string(counts.writes) +
                                " records_lost=" + std::to_string(counts.recordsLost) +
                                " backed_up=" + std::to_string(counts.backedUp) +
                                " stopped=" + std::to_string(counts.stopped) +
                                " restores=" + std::to_string(counts.restores) +
                                " restore_writes=" + std::to_string(counts.restoreWrites);
    std::printf("sync client: %.1f s\n%s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                summary.c_str());
    std::ofstream("sync-client-summary.txt") << summary << "\n";
    EXPECT_EQ(counts.recordsLost, 0);
}
