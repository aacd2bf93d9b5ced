// Seeded fault injection for the configuration transaction: random
// installations and cloud locations on real folder trees, files held open or
// made read-only, unreachable places, and after every run one check of the
// promise that no file that existed before is lost or changed, except where
// the new backup folder keeps its old bytes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FileErrors.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "{R}" in generated text is the sandbox path, "{r}" the same in lower case.
std::string Fill(std::string text, const std::string& root) {
    for (const auto& [mark, value] :
         {std::pair<std::string, std::string>{"{R}", root},
          std::pair<std::string, std::string>{"{r}", AsciiLowerCase(root)}})
        for (size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    return text;
}

// What this machine does with held and read-only files, found out by trying:
// only a fault the platform really enforces may be expected to stop a run.
struct PlatformFacts {
    bool copyFailsOnHeldNoSharing = false;
    bool copyFailsOnHeldForWriting = false;
    bool copyFailsOverReadOnly = false;

    static PlatformFacts Probe() {
        test::TempDir dir;
        test::WriteFile(dir / "a", "a");
        test::WriteFile(dir / "b", "b");
        PlatformFacts facts;
        {
            test::HeldFile held(dir / "a", GENERIC_READ, 0);
            facts.copyFailsOnHeldNoSharing =
                !CopyFileA((dir / "a").c_str(), (dir / "c").c_str(), FALSE);
        }
        {
            test::HeldFile held(dir / "a", GENERIC_WRITE, FILE_SHARE_READ);
            facts.copyFailsOnHeldForWriting =
                !CopyFileA((dir / "a").c_str(), (dir / "d").c_str(), FALSE);
        }
        SetFileAttributesA((dir / "b").c_str(), FILE_ATTRIBUTE_READONLY);
        facts.copyFailsOverReadOnly = !CopyFileA((dir / "a").c_str(), (dir / "b").c_str(), FALSE);
        return facts;
    }
};

class Dice {
  public:
    explicit Dice(unsigned seed) : engine_(seed) {}
    int Between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(engine_);
    }
    bool Chance(int percent) { return Between(1, 100) <= percent; }
    template <typename T> const T& Pick(const std::vector<T>& items) {
        return items[static_cast<size_t>(Between(0, static_cast<int>(items.size()) - 1))];
    }

  private:
    std::mt19937 engine_;
};

enum class FaultKind { HeldFile, ReadOnly, UnreachableServer, MissingDrive, DataIsFile };

struct Fault {
    FaultKind kind;
    std::string file; // sandbox-relative; for DataIsFile the blocking file
    DWORD access = 0;
    DWORD share = 0;
    bool certain = false; // every path of the run must meet it
    bool counts = true;   // the platform enforces it
};

struct Scenario {
    unsigned seed = 0;
    std::string direction, oldState, newState;
    bool copyData = false;
    // Locations relative to the sandbox (ending in a backslash), or absolute
    // places outside it, or empty when not involved.
    std::string install, server, oldRedirect, newRedirect;
    std::string source, destination; // the roots the run should use, relative
    std::map<std::string, std::string> files;
    std::vector<std::string> emptyFolders;
    std::map<std::string, DWORD> attributes;
    std::vector<Fault> faults;

    bool CopyHappens() const { return copyData && source != destination && !destination.empty(); }

    std::string Describe() const {
        std::string text = "seed " + std::to_string(seed) + ": " + direction + ", copy " +
                           (copyData ? "yes" : "no") + ", old " + oldState + ", new " + newState +
                           ", server " + (server.empty() ? "none" : server) + ", faults [";
        for (const Fault& f : faults) {
            static const char* const names[] = {"held", "read-only", "unreachable server",
                                                "missing drive", "data folder is a file"};
            text += std::string(names[static_cast<int>(f.kind)]);
            if (f.kind == FaultKind::HeldFile)
                text += f.share == 0                                    ? " (no sharing)"
                        : f.access == static_cast<DWORD>(GENERIC_WRITE) ? " (writing)"
                                                                        : " (reading)";
            if (!f.file.empty())
                text += " " + f.file;
            text += f.counts ? (f.certain ? " (stops every run); " : "; ") : " (not enforced); ";
        }
        return text + "]";
    }
};

bool IsAbsolute(const std::string& path) {
    return StartsWith(path, "\\\\") || (path.size() > 1 && path[1] == ':');
}

std::string Full(const std::string& root, const std::string& place) {
    return place.empty() || IsAbsolute(place) ? place : root + place;
}

bool InsideBackupFolder(const std::string& relative) {
    size_t start = 0;
    for (size_t cut; (cut = relative.find('\\', start)) != std::string::npos; start = cut + 1)
        if (IsBackupFolderName(BackupPrefix, relative.substr(start, cut - start)))
            return true;
    return false;
}

const char* const EarlierBackups[] = {"TVN Backup 2023-03-14 [09-26-53-589]\\",
                                      "TVN Backup 2023-11-02 [17-05-00-042]\\"};

std::string MonthlyFile(Dice& d) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d-%02d.txt", d.Between(2022, 2024), d.Between(1, 12));
    return name;
}

std::string Records(Dice& d, const std::string& label) {
    std::string text;
    for (int n = d.Between(1, 6); n > 0; --n)
        text += std::to_string(d.Between(1, 28)) + ";" + std::to_string(d.Between(7, 9)) + ":" +
                std::to_string(d.Between(10, 59)) + ";Projekt " +
                d.Pick<std::string>({"\xC4lg", "Caf\xE9", "Gro\xDF", "Tr\xF6"}) + ";" + label +
                "\r\n";
    return text;
}

// A settings file with random sections, keys, comments and line ends; the
// redirection and server keys as given.
std::string RandomIni(Dice& d, const std::string& redirect, const std::string& serverPath) {
    const std::string eol = d.Pick<std::string>({"\r\n", "\n", "\r"});
    std::string text = d.Chance(50) ? "; Tallyvane settings" + eol : "";
    if (d.Chance(20))
        text += "Orphan=before any section" + eol;
    text += d.Pick<std::string>({"[Setup]", "[setup]"}) + eol;
    text += "Language=" + d.Pick<std::string>({"de", "en", "fr"}) + eol;
    if (!redirect.empty())
        text += d.Pick<std::string>({"Redirect=", "redirect="}) + redirect + eol;
    if (d.Chance(40))
        text += "LastUser=J\xF6rg M\xFCller" + eol;
    for (const char* section : {"Options", "Window \xC5", "Export"}) {
        if (!d.Chance(50))
            continue;
        text += std::string("[") + section + "]" + eol;
        for (int n = d.Between(0, 4); n > 0; --n) {
            switch (d.Between(0, 4)) {
            case 0:
                text += "; " + std::to_string(d.Between(0, 999)) + eol;
                break;
            case 1:
                text += eol;
                break;
            case 2:
                text += "Flag\xE9" + eol;
                break;
            default:
                text += d.Pick<std::string>({"Font", "Ma\xDF", "AutoSave", " Spaced"}) + "=" +
                        std::to_string(d.Between(0, 99)) + eol;
            }
        }
    }
    if (!serverPath.empty() || d.Chance(25)) {
        text += "[Server]" + eol;
        if (!serverPath.empty())
            text += "ServerPath=" + serverPath + eol;
        text += "ServerAdmin=" + d.Pick<std::string>({"1", "2", "0x2", "3", "abc", ""}) + eol;
    }
    return text;
}

// An installation-shaped tree below root: settings, marker, monthly data with
// subfolders, hidden and system files, sometimes earlier backups.
void AddTree(Scenario& s, Dice& d, const std::string& root, const std::string& label, bool ini,
             const std::string& redirect, const std::string& serverPath) {
    if (ini)
        s.files[root + "tvn.ini"] = RandomIni(d, redirect, serverPath);
    if (ini || d.Chance(50))
        s.files[root + "tvn.inf"] =
            "[Tallyvane]\r\nSerial=" + label + "-" + std::to_string(d.Between(1, 9999)) + "\r\n";
    for (int n = d.Between(2, 8); n > 0; --n)
        s.files[root + "Data\\" + MonthlyFile(d)] = Records(d, label);
    if (d.Chance(50)) {
        const std::string archive = root + "Data\\Archiv \xF6\\";
        for (int n = d.Between(1, 3); n > 0; --n)
            s.files[archive + MonthlyFile(d)] = Records(d, label);
        if (d.Chance(50))
            s.files[archive + "Alt \xE9\\2021-12.txt"] = Records(d, label);
    }
    if (d.Chance(40)) {
        s.files[root + "Data\\desktop.ini"] = "[.ShellClassInfo]\r\n";
        s.attributes[root + "Data\\desktop.ini"] = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    }
    if (d.Chance(30)) {
        s.files[root + "Data\\~sperre.lck"] = label;
        s.attributes[root + "Data\\~sperre.lck"] = FILE_ATTRIBUTE_HIDDEN;
    }
    if (d.Chance(30))
        s.files[root + "Notiz f\xFCr " + label + ".txt"] = "notes of " + label;
    if (d.Chance(35)) {
        const std::string backup = root + EarlierBackups[d.Between(0, 1)];
        s.files[backup + "tvn.ini"] = "[Setup]\r\nLanguage=de\r\n";
        for (int n = d.Between(1, 3); n > 0; --n)
            s.files[backup + "Data\\" + MonthlyFile(d)] = Records(d, label);
    }
    // A backup that travelled with the data from an earlier copy.
    if (d.Chance(30))
        s.files[root + "Data\\" + EarlierBackups[0] + "2023-01.txt"] = Records(d, label);
    if (ini && d.Chance(10))
        s.files[root + "tvn.ini~1"] = "left over";
}

std::vector<std::string> FilesBelow(const Scenario& s, const std::string& root, bool skipBackups) {
    std::vector<std::string> found;
    if (root.empty() || IsAbsolute(root))
        return found;
    for (const auto& [path, bytes] : s.files)
        if (StartsWith(path, root) && path != root + "tvn.ini" && path != root + "tvn.ini~1" &&
            !(skipBackups && InsideBackupFolder(path.substr(root.size()))))
            found.push_back(path);
    return found;
}

Scenario Generate(unsigned seed, char freeDrive, const PlatformFacts& facts) {
    Dice d(seed);
    Scenario s;
    s.seed = seed;
    const int direction = d.Between(0, 2);
    s.direction = direction == 0   ? "installation->cloud"
                  : direction == 1 ? "cloud->cloud"
                                   : "cloud->standard";
    s.copyData = d.Chance(70);
    s.install = d.Pick<std::string>({"Install \xE9t\xE9\\", "Tallyvane \xC5rhus\\"});
    const std::vector<std::string> clouds = {"OneDrive\\Tallyvane \xDF\\", "Dropbox\\Zeit \xF6ko\\",
                                             "OneDrive - Firma \xC5\\TVN Daten\\"};
    const size_t first = static_cast<size_t>(d.Between(0, 2));
    const size_t second = (first + static_cast<size_t>(d.Between(1, 2))) % clouds.size();

    std::string redirect;
    s.oldState = s.newState = "none";
    if (direction != 0) {
        s.oldRedirect = clouds[first];
        const int state = d.Between(0, 9);
        s.oldState = state < 2 ? "absent" : state < 4 ? "empty" : "with data";
        if (s.oldState == "with data")
            AddTree(s, d, s.oldRedirect, "old", d.Chance(85),
                    d.Chance(20) ? "{R}" + s.oldRedirect : "", d.Chance(30) ? "{R}Server" : "");
        else if (s.oldState == "empty")
            s.emptyFolders.push_back(s.oldRedirect + (d.Chance(50) ? "Data\\" : ""));
        redirect = d.Pick<std::string>({"{R}", "{r}", "  {R}"}) + RemoveBackslash(s.oldRedirect) +
                   d.Pick<std::string>({"", "\\", " "});
    }
    if (direction != 2) {
        s.newRedirect = clouds[direction == 0 ? first : second];
        const int state = d.Between(0, 2);
        s.newState = state == 0 ? "missing" : state == 1 ? "empty" : "holding data";
        if (s.newState == "holding data")
            AddTree(s, d, s.newRedirect, "new", d.Chance(80), "", d.Chance(30) ? "{R}Server" : "");
        else if (s.newState == "empty")
            s.emptyFolders.push_back(s.newRedirect);
    }
    const bool withServer = d.Chance(40);
    if (withServer) {
        s.server = "Server \xDF\\Tallyvane\\";
        if (d.Chance(50))
            s.emptyFolders.push_back(s.server);
    }
    AddTree(s, d, s.install, "install", true, redirect,
            withServer && d.Chance(70) ? "{R}" + RemoveBackslash(s.server) : "");

    s.source = s.oldState == "with data" ? s.oldRedirect : s.install;
    s.destination = s.newRedirect.empty() ? s.install : s.newRedirect;

    // Places that cannot be reached or made: every run must stop at them.
    if (!s.newRedirect.empty() && s.newState != "holding data" && d.Chance(8)) {
        s.newRedirect = std::string(1, freeDrive) + ":\\Tallyvane \xE9\\";
        s.destination = s.newRedirect;
        s.faults.push_back({FaultKind::MissingDrive, s.newRedirect, 0, 0, true, true});
    } else if (!s.newRedirect.empty() && s.newState != "holding data" && d.Chance(8)) {
        s.files[s.newRedirect + "Data"] = "not a folder";
        s.faults.push_back({FaultKind::DataIsFile, s.newRedirect + "Data", 0, 0, true, true});
    }
    if (withServer && d.Chance(12)) {
        s.server = "\\\\tvn-no-such-server\\share\\x\\";
        s.faults.push_back({FaultKind::UnreachableServer, s.server, 0, 0, true, true});
    } else if (withServer && d.Chance(10)) {
        s.files[s.server + "Data"] = "not a folder";
        s.faults.push_back({FaultKind::DataIsFile, s.server + "Data", 0, 0, true, true});
    }

    // Files held open or made read-only, at random places.
    const int count = d.Pick<int>({0, 0, 0, 1, 1, 1, 2, 2, 3});
    std::set<std::string> faulted;
    auto pickFree = [&](std::vector<std::string> candidates) {
        std::erase_if(candidates, [&](const std::string& c) { return faulted.count(c) != 0; });
        return candidates.empty() ? std::string() : d.Pick(candidates);
    };
    for (int n = 0; n < count; ++n) {
        const int kind = d.Between(0, 3);
        Fault f{FaultKind::HeldFile, "", GENERIC_READ, 0, false, true};
        if (d.Chance(50)) {
            f.access = GENERIC_WRITE;
            f.share = FILE_SHARE_READ;
        }
        const bool blocksReading =
            f.share == 0 ? facts.copyFailsOnHeldNoSharing : facts.copyFailsOnHeldForWriting;
        if (kind == 0) {
            f.file = pickFree(FilesBelow(s, s.source, false));
            f.certain = s.CopyHappens() && StartsWith(f.file, s.source + "Data\\") && blocksReading;
        } else if (kind == 1) {
            f.file = pickFree(FilesBelow(s, s.destination, true));
            // The backup reads every destination file outside earlier backups.
            f.certain = s.CopyHappens() && blocksReading;
        } else if (kind == 2) {
            std::vector<std::string> candidates;
            for (const std::string& root : {s.source, s.destination, s.install})
                if (s.files.count(root + "tvn.ini"))
                    candidates.push_back(root + "tvn.ini");
            f.file = pickFree(candidates);
            // Held with reading shared, it still loads but cannot be replaced.
            if (d.Chance(30)) {
                f.access = GENERIC_READ;
                f.share = FILE_SHARE_READ;
            }
            f.certain = true;
        } else {
            std::vector<std::string> candidates;
            for (const std::string& path : FilesBelow(s, s.destination, true))
                if (StartsWith(path, s.destination + "Data\\") &&
                    s.files.count(s.source + path.substr(s.destination.size())))
                    candidates.push_back(path);
            f.kind = FaultKind::ReadOnly;
            f.file = pickFree(candidates);
            f.counts = facts.copyFailsOverReadOnly;
            f.certain = s.CopyHappens() && f.counts;
        }
        if (f.file.empty())
            continue;
        faulted.insert(f.file);
        s.faults.push_back(f);
    }
    return s;
}

struct Counts {
    int scenarios = 0, faults = 0, filesChecked = 0, filesLost = 0;
};

// Every file below the sandbox: lower-cased relative path -> bytes; folders
// separately (lower-cased, with a trailing backslash).
struct Snapshot {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;

    static Snapshot Take(const std::string& root) {
        Snapshot shot;
        for (const std::string& line : test::SnapshotTree(root)) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos)
                shot.folders.insert(AsciiLowerCase(line));
            else
                shot.files[AsciiLowerCase(line.substr(0, eq))] = line.substr(eq + 1);
        }
        return shot;
    }
    const std::string* Find(const std::string& lowerPath) const {
        auto it = files.find(lowerPath);
        return it == files.end() ? nullptr : &it->second;
    }
};

// A settings text in the store's canonical form as (section, line) pairs.
std::multiset<std::pair<std::string, std::string>> IniLines(const std::string& canonical) {
    std::multiset<std::pair<std::string, std::string>> lines;
    std::string section;
    size_t start = 0;
    for (size_t end; (end = canonical.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = canonical.substr(start, end - start);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            section = AsciiLowerCase(line.substr(1, line.size() - 2));
        else if (!line.empty())
            lines.insert({section, line});
    }
    return lines;
}

bool IsRewrittenKey(const std::pair<std::string, std::string>& entry) {
    const size_t eq = entry.second.find('=');
    const std::string key =
        eq == std::string::npos ? "" : AsciiLowerCase(entry.second.substr(0, eq));
    return (entry.first == "setup" && key == "redirect") ||
           (entry.first == "server" && (key == "serverpath" || key == "serveradmin"));
}

// New text of a settings file, read back from disk: canonical, and holding
// every line of the base store except the keys the run rewrites, with nothing
// added but those keys.
std::string RewriteProblem(const std::string& path, const std::string& bytes,
                           const std::string& baseCanonical) {
    TMemIniFile store(path);
    if (store.CanonicalText() != bytes)
        return "is not in canonical form";
    auto now = IniLines(bytes);
    for (const auto& entry : IniLines(baseCanonical)) {
        if (IsRewrittenKey(entry))
            continue;
        auto it = now.find(entry);
        if (it == now.end())
            return "lost the line [" + entry.first + "] " + entry.second;
        now.erase(it);
    }
    for (const auto& entry : now)
        if (!IsRewrittenKey(entry))
            return "gained the line [" + entry.first + "] " + entry.second;
    return "";
}

struct RunResult {
    Outcome outcome;
    bool threw = false;
    std::string thrown;
};

// The invariants of one run; each problem is one line of text.
std::vector<std::string> Check(const Scenario& s, const std::string& root, const Snapshot& before,
                               const std::map<std::string, std::string>& canonicalBefore,
                               const Snapshot& after, const RunResult& run, Counts& counts) {
    std::vector<std::string> problems;
    const std::string install = AsciiLowerCase(s.install), source = AsciiLowerCase(s.source);
    const std::string destination = IsAbsolute(s.destination) ? "" : AsciiLowerCase(s.destination);

    std::vector<std::string> newBackups;
    for (const std::string& folder : after.folders)
        if (!destination.empty() && StartsWith(folder, destination) &&
            !before.folders.count(folder) &&
            folder.find('\\', destination.size()) == folder.size() - 1 &&
            IsBackupFolderName(BackupPrefix, folder.substr(destination.size(),
                                                           folder.size() - destination.size() - 1)))
            newBackups.push_back(folder);
    auto backedUp = [&](const std::string& path, const std::string& bytes) {
        if (destination.empty() || !StartsWith(path, destination))
            return false;
        for (const std::string& backup : newBackups)
            if (const std::string* kept = after.Find(backup + path.substr(destination.size())))
                if (*kept == bytes)
                    return true;
        return false;
    };
    std::set<std::string> contentsAfter;
    for (const auto& [path, bytes] : after.files)
        contentsAfter.insert(bytes);

    // Settings files the run rewrites in place, and what each may be based on.
    const std::set<std::string> rewritten = {source + "tvn.ini", destination + "tvn.ini",
                                             install + "tvn.ini"};
    const std::string* sourceIni = before.Find(source + "tvn.ini");
    auto rewriteAllowed = [&](const std::string& path, const std::string* old,
                              const std::string& bytes) {
        if (old && *old == bytes)
            return std::string();
        std::string problem =
            RewriteProblem(root + path, bytes, old ? canonicalBefore.at(path) : "");
        if (problem.empty())
            return problem;
        // A copied-over destination carries the source's settings instead.
        if (path == destination + "tvn.ini" && path != source + "tvn.ini" && s.CopyHappens() &&
            sourceIni && (!old || backedUp(path, *old))) {
            if (bytes == *sourceIni)
                return std::string();
            if (RewriteProblem(root + path, bytes, canonicalBefore.at(source + "tvn.ini")).empty())
                return std::string();
        }
        return problem;
    };

    for (const auto& [path, bytes] : before.files) {
        ++counts.filesChecked;
        const std::string* now = after.Find(path);
        if (now && *now == bytes)
            continue;
        std::string problem;
        if (!now)
            problem = "is gone";
        else if (rewritten.count(path))
            problem = rewriteAllowed(path, &bytes, *now);
        else if (!backedUp(path, bytes))
            problem = "changed and no new backup holds its old bytes";
        if (problem.empty())
            continue;
        if (!contentsAfter.count(bytes)) {
            ++counts.filesLost;
            problem += " (old bytes exist nowhere now)";
        }
        problems.push_back(path + ": " + problem);
    }
    for (const auto& [path, bytes] : after.files) {
        if (before.files.count(path))
            continue;
        std::string problem;
        auto backup = std::find_if(newBackups.begin(), newBackups.end(),
                                   [&](const std::string& b) { return StartsWith(path, b); });
        if (backup != newBackups.end()) {
            const std::string* original = before.Find(destination + path.substr(backup->size()));
            if (!original || *original != bytes)
                problem = "backup file that is no copy of what was there";
        } else if (path.find("tvn.ini~") != std::string::npos) {
            problem = "temporary settings file left behind";
        } else if (rewritten.count(path)) {
            // Taking the redirection out of a root without settings leaves an
            // empty settings file there.
            problem = rewriteAllowed(path, nullptr, bytes);
        } else if (destination.empty() || !StartsWith(path, destination)) {
            problem = "new file outside the destination root";
        }
        if (!problem.empty())
            problems.push_back(path + ": " + problem);
    }

    // The outcome.
    bool mustFail = false, anyFault = false, iniFault = false;
    for (const Fault& f : s.faults) {
        mustFail = mustFail || f.certain;
        anyFault = anyFault || f.counts;
        iniFault = iniFault || (f.kind == FaultKind::HeldFile && f.file.size() > 7 &&
                                f.file.compare(f.file.size() - 7, 7, "tvn.ini") == 0);
    }
    const std::string installFull = NormalForm(Full(root, s.install));
    const std::string serverFull = NormalForm(Full(root, s.server));
    const std::string oldFull = NormalForm(Full(root, s.oldRedirect));
    const std::string newFull = NormalForm(Full(root, s.newRedirect));
    const std::string sourceFull = NormalForm(Full(root, s.source));
    const std::string destinationFull = NormalForm(Full(root, s.destination));
    if (run.threw) {
        std::string named;
        for (const char* prefix : {"Cannot open file ", "Cannot create file "})
            if (StartsWith(run.thrown, prefix))
                named = AsciiLowerCase(run.thrown.substr(std::string(prefix).size()));
        const bool namesIni = named == sourceFull + "tvn.ini" ||
                              named == destinationFull + "tvn.ini" ||
                              named == installFull + "tvn.ini";
        if (!namesIni && run.thrown != "Stream write error")
            problems.push_back("exception that names no settings file of the run: " + run.thrown);
        if (!iniFault)
            problems.push_back("exception without a settings file held open: " + run.thrown);
        return problems;
    }
    const Outcome& o = run.outcome;
    if (o.Report.empty() == o.ErrorText.empty())
        problems.push_back("not exactly one of report and error text: \"" + o.Report + "\" / \"" +
                           o.ErrorText + "\"");
    if (!o.ErrorText.empty()) {
        const std::string header = "Tallyvane configuration failed.\r\n";
        const std::set<std::string> known = {
            "The network directory \"" + serverFull +
                "\" (or a sub-directory) could not be created.",
            "The network directory \"" + newFull + "\" (or a sub-directory) could not be created.",
            "File backup of \"" + destinationFull + "\" failed.",
            "File copy from \"" + sourceFull + "\" to \"" + destinationFull + "\" failed."};
        if (!StartsWith(o.ErrorText, header) || !known.count(o.ErrorText.substr(header.size())))
            problems.push_back("unknown error text: " + o.ErrorText);
        if (!anyFault)
            problems.push_back("failed without any fault: " + o.ErrorText);
        return problems;
    }
    if (!StartsWith(o.Report, "Tallyvane has been configured on this machine.\r\n"))
        problems.push_back("unknown report: " + o.Report);
    if (mustFail)
        problems.push_back("reported success past a fault that every run must meet");
    const std::string copiedLine = "Data files have been copied to \"" + destinationFull + "\"";
    const bool saysCopied = o.Report.find("Data files have been copied to") != std::string::npos;
    if (saysCopied != s.CopyHappens() ||
        (saysCopied && o.Report.find(copiedLine) == std::string::npos))
        problems.push_back("report does not match the copy that was due: " + o.Report);
    if (saysCopied)
        for (const auto& [path, bytes] : before.files)
            if (StartsWith(path, source + "data\\")) {
                const std::string* copy = after.Find(destination + path.substr(source.size()));
                if (!copy || *copy != bytes)
                    problems.push_back(
                        path + ": reported copied but missing or different at the destination");
            }
    if (oldFull != newFull) {
        try {
            const std::string redirection = AsciiLowerCase(ReadRedirection(installFull));
            if (redirection != newFull)
                problems.push_back("installation redirects to \"" + redirection + "\", not \"" +
                                   newFull + "\"");
            auto inEffect = OpenInstallationIni(installFull);
            if (AsciiLowerCase(inEffect->FileName()) != destinationFull + "tvn.ini")
                problems.push_back("settings in effect are " + inEffect->FileName());
            const std::string serverPath = inEffect->ReadString("Server", "ServerPath", "");
            if (serverPath != RemoveBackslash(serverFull))
                problems.push_back("settings in effect name the server \"" + serverPath + "\"");
        } catch (const EFileError& error) {
            problems.push_back(std::string("settings in effect unreadable: ") + error.what());
        }
    }
    return problems;
}

std::vector<std::string> RunAndCheck(const Scenario& s, Counts& counts) {
    test::TempDir dir;
    const std::string& root = dir.path();
    for (const std::string& folder : s.emptyFolders)
        test::MakeDirs(root + folder);
    for (const auto& [path, bytes] : s.files)
        test::WriteFile(root + path, Fill(bytes, root));
    for (const auto& [path, attributes] : s.attributes)
        SetFileAttributesA((root + path).c_str(), attributes);

    const Snapshot before = Snapshot::Take(root);
    std::map<std::string, std::string> canonicalBefore;
    for (const auto& [path, bytes] : before.files)
        if (path.size() >= 7 && path.compare(path.size() - 7, 7, "tvn.ini") == 0)
            canonicalBefore[path] = TMemIniFile(root + path).CanonicalText();

    std::vector<std::string> problems;
    std::vector<std::unique_ptr<test::HeldFile>> held;
    for (const Fault& f : s.faults) {
        counts.faults += f.counts ? 1 : 0;
        if (f.kind == FaultKind::ReadOnly)
            SetFileAttributesA((root + f.file).c_str(),
                               GetFileAttributesA((root + f.file).c_str()) |
                                   FILE_ATTRIBUTE_READONLY);
        if (f.kind != FaultKind::HeldFile)
            continue;
        held.push_back(std::make_unique<test::HeldFile>(root + f.file, f.access, f.share));
        if (!held.back()->ok())
            problems.push_back(f.file + ": could not be held open");
    }
    // The caller passes folders in the forms it has them, with or without the
    // trailing backslash.
    auto form = [&](const std::string& place, bool slash) {
        const std::string full = Full(root, place);
        return slash ? full : RemoveBackslash(full);
    };
    RunResult run;
    try {
        run.outcome = ConfigureInstallation(
            form(s.install, s.seed % 2 != 0), form(s.server, s.seed % 3 != 0),
            form(s.oldRedirect, true), form(s.newRedirect, s.seed % 5 == 0), s.copyData);
    } catch (const EFileError& error) {
        run.threw = true;
        run.thrown = error.what();
    }
    held.clear();
    for (const Fault& f : s.faults)
        if (f.kind == FaultKind::ReadOnly)
            SetFileAttributesA((root + f.file).c_str(), FILE_ATTRIBUTE_NORMAL);

    auto found = Check(s, root, before, canonicalBefore, Snapshot::Take(root), run, counts);
    problems.insert(problems.end(), found.begin(), found.end());
    if (!problems.empty())
        problems.push_back("outcome: " + (run.threw ? "exception " + run.thrown
                                                    : run.outcome.Report + run.outcome.ErrorText));
    return problems;
}

char FreeDriveLetter() {
    const DWORD used = GetLogicalDrives();
    for (const char* letter = "QRSTUVWXYPONMLKJIHGFED"; *letter; ++letter)
        if (!(used & (1u << (*letter - 'A'))))
            return *letter;
    return 0;
}

} // namespace

TEST(FaultInjection, SeededScenariosKeepEveryFile) {
    const auto started = std::chrono::steady_clock::now();
    unsigned seedBase = 1;
    unsigned scenarios = 200;
    if (IsInteger(GetEnvVar("TVN_RELIABILITY_SCENARIOS")))
        scenarios = static_cast<unsigned>(std::stoul(GetEnvVar("TVN_RELIABILITY_SCENARIOS")));
    if (IsInteger(GetEnvVar("TVN_RELIABILITY_SEED"))) {
        seedBase = static_cast<unsigned>(std::stoul(GetEnvVar("TVN_RELIABILITY_SEED")));
        scenarios = 1;
    }
    const char drive = FreeDriveLetter();
    ASSERT_NE(drive, 0) << "no free drive letter for the missing-drive fault";
    const PlatformFacts facts = PlatformFacts::Probe();

    Counts counts;
    for (unsigned seed = seedBase; seed < seedBase + scenarios; ++seed) {
        const Scenario s = Generate(seed, drive, facts);
        ++counts.scenarios;
        const auto problems = RunAndCheck(s, counts);
        if (problems.empty())
            continue;
        std::string text;
        for (const std::string& p : problems)
            text += "\n  " + p;
        ADD_FAILURE() << s.Describe() << text;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string summary = "reliability: scenarios=" + std::to_string(counts.scenarios) +
                                " faults=" + std::to_string(counts.faults) +
                                " files_checked=" + std::to_string(counts.filesChecked) +
                                " files_lost=" + std::to_string(counts.filesLost) +
                                " seed_base=" + std::to_string(seedBase);
    std::printf(
        "fault injection: %.1f s; copy fails on a file held unshared %s, held for writing %s, "
        "over a read-only file %s\n%s\n",
        seconds, facts.copyFailsOnHeldNoSharing ? "yes" : "no",
        facts.copyFailsOnHeldForWriting ? "yes" : "no", facts.copyFailsOverReadOnly ? "yes" : "no",
        summary.c_str());
    if (FILE* file = std::fopen("reliability-summary.txt", "w")) {
        std::fprintf(file, "%s\n", summary.c_str());
        std::fclose(file);
    }
    EXPECT_EQ(counts.filesLost, 0);
}
