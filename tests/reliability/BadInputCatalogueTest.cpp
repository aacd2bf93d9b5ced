// Inputs that a careful user would never make but that do turn up: damaged
// settings files, redirections to nowhere, odd data files, files where
// folders belong and folder links that lead in circles. Each one has a
// defined result, and after it every file that was there before still holds
// its bytes, in place or in the backup folder the run made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>

#include "ConflictCopies.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "SettingsLines.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

// An installation at its standard place with two months of data, and an
// empty cloud folder inside OneDrive.
struct Sandbox : test::Sandbox {
    std::string install = Install();
    std::string cloud = OneDrive() + "Tallyvane Data\\";

    Sandbox() {
        MakeInstallation("[Setup]\r\nName=Ann\r\n",
                         {{"2024-01", "a\r\nb\r\n"}, {"2024-02", "c\r\n"}});
        test::MakeDirs(cloud);
    }
    std::string ini() const { return install + "tvn.ini"; }
};

// What a run ended with, as one line: "report: ...", "failed: ..." (the
// message after the failure header), "error: ..." (a settings store error) or
// the result of a routine that returns a value.
std::string Attempt(const std::function<std::string()>& action) {
    try {
        return action();
    } catch (const EFileError& error) {
        return std::string("error: ") + error.what();
    }
}

std::string OutcomeOf(const Outcome& outcome) {
    const std::string failed = "Tallyvane configuration failed.\r\n";
    if (!outcome.ErrorText.empty())
        return "failed: " + outcome.ErrorText.substr(failed.size());
    std::string report = outcome.Report;
    for (size_t at; (at = report.find("\r\n")) != std::string::npos;)
        report.replace(at, 2, " | ");
    return "report: " + report;
}

std::string MoveToCloud(const Sandbox& s, bool copy = true) {
    return OutcomeOf(
        ConfigureInstallation(NormalForm(s.install), "", "", NormalForm(s.cloud), copy));
}

std::string ReturnHome(const Sandbox& s, const std::string& from) {
    return OutcomeOf(ConfigureInstallation(NormalForm(s.install), "", from, "", true));
}

const char* const InUse =
    " is in use by another program.\r\nClose Tallyvane on this machine and let the sync client "
    "finish, then press Configure again.";

// A drive letter that scripts/test maps to a volume of 2 MB.
const char* const SmallVolume = "t:\\";

// Names the ANSI calls cannot reach: outside the code page, and a path of
// more than 300 characters.
std::vector<std::wstring> WideNames() {
    return {L"\u65e5\u672c\u8a9e.txt", L"\U0001F600 Notiz.txt",
            std::wstring(100, L'a') + L"\\" + std::wstring(100, L'b') + L"\\" +
                std::wstring(100, L'c') + L"\\2023-05.txt"};
}

const char* const MovedReport =
    "report: Tallyvane has been configured on this machine. |  | Redirection to \"{c}\" has "
    "been established. | Data files have been copied to \"{c}\"";

// The files whose old bytes are nowhere any more: neither at their place nor
// at the same place inside a backup folder of a folder above them. A
// settings file counts as kept when its new text still holds every line of
// its old sections other than the keys this utility writes.
std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::map<std::string, std::string>& after) {
    std::vector<std::string> lost;
    for (const auto& [path, bytes] : before) {
        auto now = after.find(path);
        if (now != after.end() && now->second == bytes)
            continue;
        bool kept = false;
        if (now != after.end() && AsciiLowerCase(FileSystem::ExtractFileName(path)) == "tvn.ini" &&
            bytes.find('\0') == std::string::npos) {
            kept = !test::FirstMissing(test::KeptSettingsLines(bytes),
                                       test::KeptSettingsLines(now->second));
        }
        for (const auto& [other, otherBytes] : after) {
            if (kept)
                break;
            // other = <root>TVN Backup ...\<rest> with <root><rest> = path
            size_t cut = other.find(BackupPrefix);
            size_t end = cut == std::string::npos ? cut : other.find('\\', cut);
            kept = end != std::string::npos && otherBytes == bytes &&
                   other.substr(0, cut) + other.substr(end + 1) == path;
        }
        if (!kept)
            lost.push_back(path);
    }
    return lost;
}

// A drive letter that names no drive here.
std::string MissingDrive() {
    DWORD drives = GetLogicalDrives();
    for (char letter = 'q'; letter <= 'y'; ++letter)
        if (!(drives & (1u << (letter - 'a'))))
            return std::string(1, letter) + ":\\";
    return "b:\\";
}

// "{i}" the installation in normal form, "{I}" as given, "{c}" the cloud
// folder in normal form, "{c-}" the same without its backslash, "{d}" a
// missing drive, "{r}" the sandbox root in normal form.
std::string Fill(const std::string& text, const Sandbox& s) {
    return s.Fill(text, {{"{i}", NormalForm(s.install)},
                         {"{c}", NormalForm(s.cloud)},
                         {"{c-}", RemoveBackslash(NormalForm(s.cloud))},
                         {"{I}", s.install},
                         {"{d}", MissingDrive()}});
}

std::string Lines(const std::string& line, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += line + std::to_string(i) + "\r\n";
    return text;
}

struct BadInput {
    const char* name;
    // Makes the bad input; returns false when this system cannot (the row is
    // then skipped with a note).
    std::function<bool(Sandbox&)> arrange;
    std::function<std::string(Sandbox&)> act;
    std::string expected;
    // Further checks after the run; an empty text means all is well.
    std::function<std::string(Sandbox&)> check = [](Sandbox&) { return std::string(); };
};

std::string SettingsAfterMove(Sandbox& s, const std::string& expected) {
    std::string bytes = test::ReadBytes(s.ini());
    return bytes == Fill(expected, s) ? "" : "tvn.ini now holds " + bytes.substr(0, 200);
}

std::string Count(const std::string& folder, size_t expected) {
    const size_t files = test::SnapshotTree(folder).files.size();
    return files == expected ? ""
                             : "expected " + std::to_string(expected) + " files in " + folder +
                                   ", found " + std::to_string(files);
}

// The Dropbox client's info.json below LOCALAPPDATA: its personal account
// names the cloud folder, and tail follows.
bool WriteDropboxInfo(const Sandbox& s, const std::string& tail) {
    std::string path = s.cloud;
    std::replace(path.begin(), path.end(), '\\', '/');
    test::WriteBytes(s.LocalAppData() + "\\Dropbox\\info.json",
                     "{\"personal\": {\"path\": \"" + path + "\"}" + tail);
    return true;
}

const BadInput Catalogue[] = {
    // Settings files
    {"settings file of binary bytes",
     [](Sandbox& s) {
         std::string bytes;
         for (int i = 0; i < 4096; ++i)
             bytes += static_cast<char>((i * 7919) % 256);
         test::WriteBytes(s.ini(), bytes);
         return true;
     },
     [](Sandbox& s) { return ReadRedirection(s.install); }, "error: Cannot open file {I}tvn.ini"},
    {"settings file holding a byte 0 is never rewritten",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), std::string("[Setup]\r\nRedirect=\r\n\0[Other]\r\nk=v\r\n", 30));
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, "error: Cannot open file {i}tvn.ini"},
    {"settings file in UTF-16",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), std::string("\xFF\xFE[\0S\0]\0\r\0\n\0", 12));
         return true;
     },
     [](Sandbox& s) { return ReadRedirection(s.install); }, "error: Cannot open file {I}tvn.ini"},
    {"settings file with a byte-order mark keeps it and its first section",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "\xEF\xBB\xBF[Setup]\r\nName=Ann\r\n");
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, MovedReport,
     [](Sandbox& s) {
         return SettingsAfterMove(s, "\xEF\xBB\xBF[Setup]\r\nName=Ann\r\nRedirect={c-}\r\n\r\n");
     }},
    {"settings file of 10 MB",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nName=Ann\r\n[Big]\r\n" +
                                       Lines("key=" + std::string(100, 'v'), 100000));
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, MovedReport,
     [](Sandbox& s) {
         return SettingsAfterMove(s, "[Setup]\r\nName=Ann\r\nRedirect={c-}\r\n\r\n[Big]\r\n" +
                                         Lines("key=" + std::string(100, 'v'), 100000) + "\r\n");
     }},
    {"settings line of 1 MB",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nName=" + std::string(1 << 20, 'n') + "\r\n");
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, MovedReport,
     [](Sandbox& s) {
         return SettingsAfterMove(s, "[Setup]\r\nName=" + std::string(1 << 20, 'n') +
                                         "\r\nRedirect={c-}\r\n\r\n");
     }},
    {"thousands of sections",
     [](Sandbox& s) {
         std::string text;
         for (int i = 0; i < 5000; ++i)
             text += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
         test::WriteBytes(s.ini(), text + "[Setup]\r\nName=Ann\r\n");
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, MovedReport,
     [](Sandbox& s) {
         std::string bytes = test::ReadBytes(s.ini());
         return bytes.find("[S4999]\r\nk=4999\r\n") != std::string::npos &&
                        bytes.find("Name=Ann\r\nRedirect=") != std::string::npos
                    ? ""
                    : "sections lost";
     }},

    // Redirections
    {"redirection to a missing drive, undone",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=" + MissingDrive() + "tvn\r\n");
         return true;
     },
     [](Sandbox& s) { return ReturnHome(s, NormalForm(ReadRedirection(s.install))); },
     "report: Tallyvane has been configured on this machine. |  | Redirection to \"{d}tvn\\\" has "
     "been removed."},
    {"redirection to an unknown network server",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=\\\\tvn-no-such-server\\share\\tvn\r\n");
         return true;
     },
     [](Sandbox& s) { return ReturnHome(s, NormalForm(ReadRedirection(s.install))); },
     "report: Tallyvane has been configured on this machine. |  | Redirection to "
     "\"\\\\tvn-no-such-server\\share\\tvn\\\" has been removed."},
    {"redirection to a file",
     [](Sandbox& s) {
         test::WriteBytes(s / "afile", "not a folder");
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=" + s / "afile" + "\r\n");
         return true;
     },
     [](Sandbox& s) { return OpenInstallationIni(s.install)->FileName(); }, "{I}tvn.ini"},
    {"redirection to the installation itself, undone with a copy",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=" + s.install + "\r\n");
         return true;
     },
     [](Sandbox& s) { return ReturnHome(s, NormalForm(ReadRedirection(s.install))); },
     "report: Tallyvane has been configured on this machine. |  | Redirection to \"{i}\" has been "
     "removed."},
    {"relative redirection reads against the current folder",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=rel\\tvn\r\n");
         return true;
     },
     [](Sandbox& s) {
         test::ScopedCurrentFolder here(s.Root());
         return AsciiLowerCase(ReadRedirection(s.install));
     },
     "{r}rel\\tvn\\"},
    {"redirection path of 300 characters reads as none",
     [](Sandbox& s) {
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=c:\\" + std::string(300, 'p') + "\r\n");
         return true;
     },
     [](Sandbox& s) { return "[" + ReadRedirection(s.install) + "]"; }, "[]"},

    // Monthly data files
    {"data file with a line of 2 MB, compared and copied",
     [](Sandbox& s) {
         test::WriteBytes(s.install + "Data\\2024-03.txt", std::string(2 << 20, 'l') + "\r\nshort");
         test::WriteBytes(s.cloud + "tvn.inf", "inf");
         test::WriteBytes(s.cloud + "Data\\2024-03.txt", "short\r\n");
         return true;
     },
     [](Sandbox& s) {
         std::string compared = std::to_string(CompareDataCompleteness({s.install, s.cloud}));
         return compared + " " + MoveToCloud(s);
     },
     std::string("1 ") + MovedReport,
     [](Sandbox& s) {
         return test::ReadBytes(s.cloud + "Data\\2024-03.txt") ==
                        test::ReadBytes(s.install + "Data\\2024-03.txt")
                    ? ""
                    : "long line not copied whole";
     }},
    {"data files without line breaks, with mixed line ends, and empty",
     [](Sandbox& s) {
         test::WriteBytes(s.install + "Data\\2024-03.txt", "one record, no line break");
         test::WriteBytes(s.install + "Data\\2024-04.txt", "a\rb\nc\r\nd\n\re");
         test::WriteBytes(s.install + "Data\\2024-05.txt", "");
         // The same six records, one of them empty, with plain line feeds.
         test::WriteBytes(s.cloud + "Data\\2024-04.txt", "a\nb\nc\nd\n\ne\n");
         return true;
     },
     [](Sandbox& s) {
         return std::to_string(CompareDataCompleteness({s.install, s.cloud}));
     },
     // Only the installation holds records the cloud lacks.
     "1",
     [](Sandbox& s) {
         MoveToCloud(s);
         return Count(s.cloud + "Data\\", 5);
     }},
    {"data file locked by another program: comparison", [](Sandbox&) { return true; },
     [](Sandbox& s) {
         test::HeldFile held(s.install + "Data\\2024-02.txt", GENERIC_WRITE, FILE_SHARE_READ);
         return std::to_string(CompareDataCompleteness({s.install, s.cloud}));
     },
     "error: Cannot open file {i}data\\2024-02.txt"},
    {"data file locked by another program: move", [](Sandbox&) { return true; },
     [](Sandbox& s) {
         test::HeldFile held(s.install + "Data\\2024-02.txt", GENERIC_READ | GENERIC_WRITE, 0);
         return MoveToCloud(s);
     },
     std::string("failed: The file \"{i}Data\\2024-02.txt\"") + InUse},
    {"online-only data files are fetched, then compared",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "Data\\2024-01.txt", "a\r\n");
         return true;
     },
     [](Sandbox& s) {
         test::FakeSyncClient client; // as a client marks a file it fetches on open
         client.OnlineOnly(s.cloud + "Data\\2024-01.txt", 0, 0, FILE_ATTRIBUTE_RECALL_ON_OPEN);
         const int compared = CompareDataCompleteness({s.install, s.cloud});
         return std::to_string(compared) + ", reads " +
                std::to_string(client.reads[AsciiLowerCase(s.cloud + "Data\\2024-01.txt")]);
     },
     "1, reads 2"},
    {"online-only data file that OneDrive cannot provide: comparison",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "Data\\2024-01.txt", "a\r\n");
         return true;
     },
     [](Sandbox& s) {
         s.SetEnvironment();
         test::FakeSyncClient client;
         client.OnlineOnly(s.cloud + "Data\\2024-01.txt", 362);
         return std::to_string(CompareDataCompleteness({s.install, s.cloud}));
     },
     "error: The file \"{c}data\\2024-01.txt\" is stored online only, and OneDrive could not "
     "provide it (OneDrive is not running, error 362).\r\nStart OneDrive, sign in and wait until "
     "it shows that your files are up to date, then press Configure again."},
    {"move into OneDrive where the mark does not hold (Wine keeps no mark): no line",
     [](Sandbox&) { return true; },
     [](Sandbox& s) {
         s.SetEnvironment();
         return MoveToCloud(s);
     },
     MovedReport},
    {"data file held at the destination",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "Data\\2024-01.txt", "z\r\n");
         return true;
     },
     [](Sandbox& s) {
         test::HeldFile held(s.cloud + "Data\\2024-01.txt", GENERIC_READ, 0);
         return MoveToCloud(s);
     },
     std::string("failed: The file \"{c}Data\\2024-01.txt\"") + InUse},
    // The look for copies cannot read it; the merge names it before a change.
    {"sync conflict copy held open",
     [](Sandbox& s) {
         test::WriteBytes(s.install + "Data\\2024-01-LAPTOP.txt", "a\r\nz\r\n");
         return true;
     },
     [](Sandbox& s) {
         test::HeldFile held(s.install + "Data\\2024-01-LAPTOP.txt", GENERIC_READ, 0);
         return Attempt([&] { return std::to_string(FindConflictCopies(s.install).records); }) +
                " | " + OutcomeOf(Outcome{"", MergeConflictCopies(s.install).errorText});
     },
     std::string("error: Cannot open file {i}data\\2024-01-laptop.txt | failed: The file "
                 "\"{i}Data\\2024-01-LAPTOP.txt\"") +
         InUse,
     [](Sandbox& s) { return Count(s.install, 5); }},
    // Read shared, so the backup may read it, but the copy could not write
    // over it: the check of what the copy overwrites stops the run first.
    {"data file held for reading at the destination",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "Data\\2024-01.txt", "z\r\n");
         return true;
     },
     [](Sandbox& s) {
         test::HeldFile held(s.cloud + "Data\\2024-01.txt", GENERIC_READ, FILE_SHARE_READ);
         return MoveToCloud(s);
     },
     std::string("failed: The file \"{c}Data\\2024-01.txt\"") + InUse,
     [](Sandbox& s) { return Count(s.cloud, 1); }},
    {"read-only settings file at the destination",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "tvn.ini", "[Setup]\r\n");
         return SetFileAttributesA((s.cloud + "tvn.ini").c_str(), FILE_ATTRIBUTE_READONLY) != 0;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, "failed: Cannot create file {c}tvn.ini"},
    {"hidden, read-only desktop.ini at the destination is backed up and overwritten",
     [](Sandbox& s) {
         test::WriteBytes(s.install + "Data\\desktop.ini", "new");
         test::WriteBytes(s.cloud + "Data\\desktop.ini", "old");
         return SetFileAttributesA((s.cloud + "Data\\desktop.ini").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_READONLY) != 0;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, MovedReport,
     [](Sandbox& s) {
         const std::string now = test::ReadBytes(s.cloud + "Data\\desktop.ini");
         return now == "new" ? "" : "desktop.ini holds " + now;
     }},
    {"names outside the code page and a 300-character path inside Data",
     [](Sandbox& s) {
         for (const std::wstring& name : WideNames())
             test::WriteWide(DiskChanges::WidePath(s.install + "Data\\") + name, "w\r\n");
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); }, MovedReport,
     [](Sandbox& s) {
         std::string problems;
         for (const std::wstring& name : WideNames())
             if (test::ReadWide(DiskChanges::WidePath(s.cloud + "Data\\") + name) != "w\r\n")
                 problems += "a file did not arrive; ";
         return problems;
     }},
    {"a folder this account may not change",
     [](Sandbox& s) {
         test::MakeDirs(s.cloud + "Data");
         return test::DenyAccess(s.cloud + "Data") && test::DenyAccess(s.cloud);
     },
     [](Sandbox& s) { return MoveToCloud(s); },
     "failed: Windows does not let this account change \"{c}\".\r\nRun TVN Cloud Drive "
     "Configuration as administrator (right-click it and choose \"Run as administrator\"), then "
     "press Configure again.",
     [](Sandbox& s) {
         test::AllowAccess(s.cloud);
         test::AllowAccess(s.cloud + "Data");
         return Count(s.cloud, 0);
     }},
    {"a drive too full for the backup and the copy",
     [](Sandbox& s) {
         // scripts/test maps a small volume to this letter where it can.
         if (GetDriveTypeA(SmallVolume) == DRIVE_NO_ROOT_DIR)
             return false;
         test::RemoveTree(SmallVolume);
         s.cloud = std::string(SmallVolume) + "Tallyvane Data\\";
         test::MakeDirs(s.cloud);
         test::WriteBytes(s.install + "Data\\2023-01.txt", std::string(3 << 20, 'x'));
         return true;
     },
     [](Sandbox& s) {
         std::string result = MoveToCloud(s);
         for (char& c : result)
             if (c >= '0' && c <= '9' && result.find("MB") != std::string::npos)
                 c = '#';
         return result;
     },
     "failed: There is not enough free space for the backup and the copy on the drive of "
     "\"{c}\": #.# MB are needed and #.# MB are free.\r\nFree some space on that drive, then "
     "press Configure again.",
     [](Sandbox& s) {
         const size_t files = test::SnapshotTree(s.cloud).files.size();
         test::RemoveTree(SmallVolume);
         return files == 0 ? "" : "files arrived on the full drive";
     }},

    // A small file at the destination that a large one overwrites: the
    // growth counts, although the file is not new there.
    {"a drive too full for a file that grows",
     [](Sandbox& s) {
         if (GetDriveTypeA(SmallVolume) == DRIVE_NO_ROOT_DIR)
             return false;
         test::RemoveTree(SmallVolume);
         s.cloud = std::string(SmallVolume) + "Tallyvane Data\\";
         test::WriteBytes(s.cloud + "Data\\2024-01.txt", "a\r\n");
         test::WriteBytes(s.install + "Data\\2024-01.txt", std::string(3 << 20, 'x'));
         return true;
     },
     [](Sandbox& s) {
         const std::string result = MoveToCloud(s);
         return result.substr(0, result.find("\": ") + 1);
     },
     "failed: There is not enough free space for the backup and the copy on the drive of \"{c}\"",
     [](Sandbox& s) {
         const std::string files = Count(s.cloud, 1);
         test::RemoveTree(SmallVolume);
         return files;
     }},

    // Files where folders belong
    {"data folder of the new location is a file",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "Data", "a file named Data");
         return true;
     },
     [](Sandbox& s) { return MoveToCloud(s); },
     "failed: The network directory \"{c}\" (or a sub-directory) could not be created."},
    {"provider folder is a file",
     [](Sandbox& s) {
         test::RemoveTree(s.OneDrive());
         test::WriteBytes(RemoveBackslash(s.OneDrive()), "a file named OneDrive");
         return true;
     },
     [](Sandbox& s) {
         s.SetEnvironment();
         return "[" + OneDriveFolder() + "]";
     },
     "[]"},
    {"Dropbox info.json cut short", [](Sandbox& s) { return WriteDropboxInfo(s, ""); },
     [](Sandbox& s) {
         s.SetEnvironment();
         return "[" + DropboxFolder() + "]";
     },
     "[]"},
    {"Dropbox info.json of 10 MB",
     [](Sandbox& s) { return WriteDropboxInfo(s, "}" + std::string(10 << 20, ' ')); },
     [](Sandbox& s) {
         s.SetEnvironment();
         return "[" + DropboxFolder() + "]";
     },
     "[]"},

    // Walks that could run away
    {"folder link back to its parent inside the data folder",
     [](Sandbox& s) {
         test::MakeDirs(s.install + "Data\\Archive");
         test::WriteBytes(s.install + "Data\\Archive\\2019-01.txt", "old");
         return test::MakeFolderLink(s.install + "Data\\Archive\\loop", s.install + "Data");
     },
     [](Sandbox& s) {
         std::string moved = MoveToCloud(s);
         return moved + " " + std::to_string(FolderHasFiles(s.install + "Data\\Archive\\loop"));
     },
     std::string(MovedReport) + " 1",
     [](Sandbox& s) {
         // The same loop in the filled cloud folder, which the next move backs up.
         if (!test::MakeFolderLink(s.cloud + "Data\\Archive\\loop", s.cloud + "Data"))
             return std::string("no second link");
         std::string moved = MoveToCloud(s);
         return (moved == Fill(MovedReport, s) ? "" : moved) + Count(s.cloud + "Data\\", 3) +
                Count(s.cloud, 3 + 2 + 5);
     }},
    {"new location inside the old location's data folder",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "tvn.ini", "[Setup]\r\n");
         test::WriteBytes(s.cloud + "Data\\2024-01.txt", "a\r\n");
         test::WriteBytes(s.cloud + "Data\\Inner\\Data\\2023-12.txt", "z\r\n");
         test::WriteBytes(s.ini(), "[Setup]\r\nRedirect=" + s.cloud + "\r\n");
         return true;
     },
     [](Sandbox& s) {
         return OutcomeOf(ConfigureInstallation(NormalForm(s.install), "", NormalForm(s.cloud),
                                                NormalForm(s.cloud + "Data\\Inner"), true));
     },
     "report: Tallyvane has been configured on this machine. |  | Redirection to \"{c}\" has been "
     "removed. | Redirection to \"{c}data\\inner\\\" has been established. | Data files have been "
     "copied to \"{c}data\\inner\\\"",
     // Its own file and the one copied in. The backup made just before lies
     // in the source too, but it came after the copy was planned.
     [](Sandbox& s) { return Count(s.cloud + "Data\\Inner\\Data\\", 2); }},
    {"backup folder names already taken for the coming moments",
     [](Sandbox& s) {
         test::WriteBytes(s.cloud + "2024-01.txt", "new");
         return true;
     },
     [](Sandbox& s) {
         // Earlier backups named for every millisecond of a moment just ahead,
         // as two runs close together or a clock set back leave them; the
         // backup is then made within that moment.
         auto clock = [] {
             SYSTEMTIME now;
             GetLocalTime(&now);
             FILETIME time;
             SystemTimeToFileTime(&now, &time);
             return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart;
         };
         const unsigned long long ms = 10000, start = clock() + 1000 * ms;
         for (unsigned long long at = start; at < start + 100 * ms; at += ms) {
             FILETIME moment{static_cast<DWORD>(at), static_cast<DWORD>(at >> 32)};
             SYSTEMTIME taken;
             FileTimeToSystemTime(&moment, &taken);
             test::WriteBytes(s.cloud + BackupPrefix + FormatTimestamp(taken) + "\\2024-01.txt",
                              "old");
         }
         while (clock() < start)
             Sleep(1);
         BackupFolder(s.cloud, s.cloud);
         std::map<std::string, int> backups;
         for (const std::string& name : test::ListDir(s.cloud))
             if (test::IsFile(s.cloud + name + "\\2024-01.txt"))
                 ++backups[test::ReadBytes(s.cloud + name + "\\2024-01.txt")];
         return std::to_string(backups["new"]) + " new, " + std::to_string(backups["old"]) + " old";
     },
     "1 new, 100 old"},
};

class BadInputCatalogue : public ::testing::TestWithParam<BadInput> {};

// How many bad inputs were tried and how many files they lost, written for
// the test script's summary when the run ends.
struct CatalogueCount : ::testing::Environment {
    static inline int tried = 0, lost = 0;
    void TearDown() override {
        if (tried == 0)
            return;
        std::string line = "catalogue: bad_inputs=" + std::to_string(tried) +
                           " files_lost=" + std::to_string(lost);
        std::printf("%s\n", line.c_str());
        if (FILE* file = std::fopen("catalogue-summary.txt", "w")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }
};
const auto* const registered = ::testing::AddGlobalTestEnvironment(new CatalogueCount);

TEST_P(BadInputCatalogue, HasADefinedResultAndLosesNothing) {
    const BadInput& input = GetParam();
    Sandbox s;
    if (!input.arrange(s))
        GTEST_SKIP() << "this system cannot make: " << input.name;
    const std::map<std::string, std::string> before = test::SnapshotTree(s.Root()).files;

    std::string result = Attempt([&] { return input.act(s); });
    EXPECT_EQ(result, Fill(input.expected, s));
    EXPECT_EQ(Attempt([&] { return input.check(s); }), "");

    const std::vector<std::string> lost = LostFiles(before, test::SnapshotTree(s.Root()).files);
    EXPECT_EQ(lost, std::vector<std::string>{});
    ++CatalogueCount::tried;
    CatalogueCount::lost += static_cast<int>(lost.size());
}

std::string RowName(const ::testing::TestParamInfo<BadInput>& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)))
            name += *c;
    return name.substr(0, 60);
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputCatalogue, ::testing::ValuesIn(Catalogue), RowName);

} // namespace
