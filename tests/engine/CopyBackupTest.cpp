#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "Preflight.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"
#include "Win32Handles.h"

using namespace TVNConfigUtil;

namespace {

const char* const OldBackup = "TVN Backup 2023-01-02 [03-04-05-006]";

void WriteFiles(const std::string& root, const std::vector<std::string>& files) {
    for (const std::string& file : files)
        test::WriteBytes(root + file, file);
}

// Subfolders of a folder in the order the file system lists them.
std::vector<std::string> ListedFolders(const std::string& folder) {
    std::vector<std::string> names;
    FileSystem::ForEachEntry(folder, [&](const WIN32_FIND_DATAA& entry) {
        if (FileSystem::IsFolderEntry(entry))
            names.push_back(entry.cFileName);
        return true;
    });
    return names;
}

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool HasAttributes(const std::string& path, DWORD attributes) {
    DWORD actual = GetFileAttributesA(path.c_str());
    return actual != INVALID_FILE_ATTRIBUTES && (actual & attributes) == attributes;
}

// The folders of a tree that someone still holds a search open on: an open
// search keeps anyone from opening its folder exclusively.
std::vector<std::string> FoldersHeldOpen(const std::string& root) {
    std::vector<std::string> held;
    UniqueFileHandle folder(CreateFileA(root.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        held.push_back(root);
    for (const std::string& name : test::ListDir(root)) {
        const std::string path = root + "\\" + name;
        if (test::IsDir(path))
            for (const std::string& inner : FoldersHeldOpen(path))
                held.push_back(inner);
    }
    return held;
}

} // namespace

TEST(CopyFolderTree, BackupFoldersLeftOutAtEveryDepthOnlyWithThePrefix) {
    const std::vector<std::string> kept = {
        "a.txt",
        "sub\\b.txt",
        "one\\two\\c.txt",
        "TVN Backup notes\\d.txt",                         // too short for a timestamp
        "Old TVN Backup 2023-01-02 [03-04-05-006]\\e.txt", // prefix not at the start
    };
    const std::vector<std::string> backups = {
        std::string(OldBackup) + "\\old.txt",
        "sub\\tvn backup 2023-01-02 [03-04-05-007]\\old.txt",
        "one\\two\\three\\TVN BACKUP 2023-01-02 [03-04-05-008]\\old.txt",
    };
    struct Case {
        std::string prefix;
        bool backupsCopied;
    } cases[] = {{BackupPrefix, false}, {"", true}, {"Other ", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE("prefix '" + c.prefix + "'");
        test::TempDir dir;
        WriteFiles(dir / "src\\", kept);
        WriteFiles(dir / "src\\", backups);
        ASSERT_TRUE(CopyFolderTree(dir / "src", dir / "dst", c.prefix));

        test::Snapshot expected = test::SnapshotTree(dir / "src");
        if (!c.backupsCopied) {
            test::TempDir trimmed;
            WriteFiles(trimmed.path(), kept);
            test::MakeDirs(trimmed / "one\\two\\three"); // kept, now empty
            expected = test::SnapshotTree(trimmed.path());
        }
        EXPECT_EQ(test::SnapshotTree(dir / "dst"), expected);
    }
}

TEST(CopyFolderTree, StopsAtTheFirstFailure) {
    // Three subfolders, each with a file; the one listed second cannot be
    // read at some depth. The test follows the order the file system lists
    // them in (by name here), so it holds for any order.
    struct Case {
        const char* label;
        std::string lockedBelowSecond;
    } cases[] = {
        {"file of the second subfolder", "f.txt"},
        {"file two levels down", "deeper\\deepest\\f.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TempDir dir;
        const std::string src = dir / "src\\";
        for (const char* name : {"alpha", "beta", "gamma"})
            WriteFiles(src, {std::string(name) + "\\f.txt",
                             std::string(name) + "\\deeper\\deepest\\f.txt"});
        WriteFiles(src, {"own1.txt", "own2.txt"});
        const std::vector<std::string> order = ListedFolders(src);
        ASSERT_EQ(order.size(), 3u);
        test::HeldFile locked(src + order[1] + "\\" + c.lockedBelowSecond, GENERIC_READ, 0);
        ASSERT_TRUE(locked.ok());

        EXPECT_FALSE(CopyFolderTree(src, dir / "dst", ""));

        const std::string dst = dir / "dst\\";
        EXPECT_EQ(test::SnapshotTree(dst + order[0]), test::SnapshotTree(src + order[0]));
        EXPECT_FALSE(test::IsFile(dst + order[1] + "\\" + c.lockedBelowSecond));
        EXPECT_FALSE(test::IsDir(dst + order[2]));
        EXPECT_FALSE(test::IsFile(dst + "own1.txt"));
        EXPECT_FALSE(test::IsFile(dst + "own2.txt"));
        // Subfolders of the failed one came first and stay; the levels above a
        // failure copy none of their own files.
        EXPECT_EQ(test::IsFile(dst + order[1] + "\\deeper\\deepest\\f.txt"),
                  c.lockedBelowSecond == "f.txt");
        EXPECT_FALSE(test::IsFile(dst + order[1] + "\\f.txt"));
    }
}

TEST(CopyFolderTree, EdgesOfSourceAndDestination) {
    test::TempDir dir;
    test::WriteBytes(dir / "src\\a.txt", "a");
    test::MakeDirs(dir / "empty");
    test::WriteBytes(dir / "plain", "not a folder");
    struct Case {
        const char* label;
        std::string source;
        std::string destination;
        bool result;
        std::string madeFolder; // empty: nothing to look for
    } cases[] = {
        {"empty destination does nothing", dir / "src", "", true, ""},
        {"missing source makes an empty destination", dir / "missing", dir / "d1\\x\\y", true,
         dir / "d1\\x\\y"},
        {"empty source makes an empty destination", dir / "empty\\", dir / "d2", true, dir / "d2"},
        {"destination below a file", dir / "src", dir / "plain\\sub", false, ""},
        {"destination on a missing drive", dir / "src", "q:\\nowhere", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const test::Snapshot before = test::SnapshotTree(dir.path());
        EXPECT_EQ(CopyFolderTree(c.source, c.destination, BackupPrefix), c.result);
        if (!c.madeFolder.empty()) {
            EXPECT_TRUE(test::IsDir(c.madeFolder));
            EXPECT_TRUE(test::ListDir(c.madeFolder).empty());
        } else {
            EXPECT_EQ(test::SnapshotTree(dir.path()), before);
        }
    }
}

TEST(CopyFolderTree, NamesOutsideTheCodePageAndLongPathsArrive) {
    // The ANSI calls see "?" for these names and refuse paths of 260
    // characters or more; the copy, the backup and the file test must not.
    test::TempDir dir;
    const std::wstring src = DiskChanges::WidePath(dir / "src\\Data\\");
    const std::string deep =
        std::string(90, 'd') + "\\" + std::string(90, 'e') + "\\" + std::string(90, 'f');
    const std::vector<std::wstring> files = {L"\u65e5\u672c\u8a9e.txt", L"\U0001F600 Notiz.txt",
                                             std::wstring(deep.begin(), deep.end()) +
                                                 L"\\2024-01.txt"};
    for (const std::wstring& file : files)
        test::WriteWide(src + file, "records");
    EXPECT_TRUE(FolderHasFiles(dir / ("src\\Data\\" + deep)));
    ASSERT_TRUE(CopyFolderTree(dir / "src\\Data", dir / "copy\\Data", ""));
    ASSERT_TRUE(BackupFolder(dir / "copy", dir / "copy"));
    const std::string backup = test::BackupFolders(dir / "copy").at(0);
    for (const std::wstring& file : files) {
        EXPECT_EQ(test::ReadWide(DiskChanges::WidePath(dir / "copy\\Data\\") + file), "records");
        EXPECT_EQ(
            test::ReadWide(DiskChanges::WidePath(dir / ("copy\\" + backup + "\\Data\\")) + file),
            "records");
    }
}

TEST(CopyFolderTree, AFolderLinkThatCannotBeOpenedBecomesAnEmptyFolder) {
    test::TempDir dir;
    test::WriteBytes(dir / "src\\a.txt", "a");
    test::WriteBytes(dir / "target\\inside.txt", "x");
    if (!test::MakeFolderLink(dir / "src\\link", dir / "target") ||
        !test::DenyAccess(dir / "target", true))
        GTEST_SKIP() << "needs folder links and an account that may be refused a folder";
    const bool copied = CopyFolderTree(dir / "src", dir / "dst", "");
    test::AllowAccess(dir / "target");
    EXPECT_TRUE(copied);
    EXPECT_EQ(test::ListDir(dir / "dst"), (std::vector<std::string>{"a.txt", "link"}));
    EXPECT_TRUE(test::ListDir(dir / "dst\\link").empty());
}

TEST(CopyFolderTree, WaitsOutAFileHeldForAMoment) {
    // A sync client or scanner opens a file for a moment after it changes:
    // the source, which cannot be read then, or the target, which cannot be
    // renamed over while it is open without sharing its deletion.
    struct Row {
        const char* held;
        DWORD share;
        std::function<bool(test::TempDir&)> copy;
    } rows[] = {
        {"src\\a.txt", 0,
         [](test::TempDir& dir) { return CopyFolderTree(dir / "src", dir / "dst", ""); }},
        {"dst\\a.txt", FILE_SHARE_READ | FILE_SHARE_WRITE,
         [](test::TempDir& dir) {
             return DiskChanges::CopyWhole(DiskChanges::WidePath(dir / "src\\a.txt"),
                                           DiskChanges::WidePath(dir / "dst\\a.txt"));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.held);
        test::TempDir dir;
        test::WriteBytes(dir / "src\\a.txt", "a");
        test::WriteBytes(dir / "dst\\a.txt", "old");
        const DWORD usual = DiskChanges::SharingWait();
        DiskChanges::SetSharingWait(2000);
        std::optional<test::HeldFile> held(std::in_place, dir / row.held, GENERIC_READ, row.share);
        ASSERT_TRUE(held->ok());
        std::thread release([&] {
            Sleep(300);
            held.reset();
        });
        const bool copied = row.copy(dir);
        release.join();
        DiskChanges::SetSharingWait(usual);
        EXPECT_TRUE(copied);
        EXPECT_EQ(test::ReadBytes(dir / "dst\\a.txt"), "a");
    }
}

TEST(CopyFolderTree, OverwritesSameNamesAndLeavesOtherFilesAlone) {
    test::TempDir dir;
    test::WriteBytes(dir / "src\\a.txt", "new a");
    test::WriteBytes(dir / "src\\sub\\b.txt", "new b");
    test::WriteBytes(dir / "dst\\a.txt", "old a, longer than the new one");
    test::WriteBytes(dir / "dst\\sub\\b.txt", "old b");
    test::WriteBytes(dir / "dst\\only.txt", "keep");
    test::WriteBytes(dir / "dst\\sub\\only.txt", "keep too");
    const FILETIME untouched = LastWrite(dir / "dst\\only.txt");
    Sleep(20); // so that a rewrite would show in the time stamp

    ASSERT_TRUE(CopyFolderTree(dir / "src", dir / "dst\\", ""));

    EXPECT_EQ(test::SnapshotTree(dir / "dst"),
              (test::Snapshot{.files = {{"a.txt", "new a"},
                                        {"only.txt", "keep"},
                                        {"sub\\b.txt", "new b"},
                                        {"sub\\only.txt", "keep too"}},
                              .folders = {"sub\\"},
                              .links = {}}));
    const FILETIME after = LastWrite(dir / "dst\\only.txt");
    EXPECT_EQ(CompareFileTime(&untouched, &after), 0);
}

TEST(CopyFolderTree, HiddenAndSystemEntriesCountLikeAnyOther) {
    test::TempDir dir;
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    test::WriteBytes(dir / "src\\secret\\deep.txt", "deep");
    test::WriteBytes(dir / "src\\plain.txt", "plain");
    test::WriteBytes(dir / "src\\hidden.txt", "hidden");
    SetFileAttributesA((dir / "src\\secret\\deep.txt").c_str(), hidden);
    SetFileAttributesA((dir / "src\\secret").c_str(), FILE_ATTRIBUTE_DIRECTORY | hidden);
    SetFileAttributesA((dir / "src\\hidden.txt").c_str(), hidden);
    if (!HasAttributes(dir / "src\\hidden.txt", hidden) ||
        !HasAttributes(dir / "src\\secret", hidden))
        GTEST_SKIP() << "this file system keeps no hidden or system attributes";

    ASSERT_TRUE(CopyFolderTree(dir / "src", dir / "dst", BackupPrefix));
    EXPECT_EQ(test::SnapshotTree(dir / "dst"), test::SnapshotTree(dir / "src"));
    EXPECT_TRUE(HasAttributes(dir / "dst\\hidden.txt", hidden));
    EXPECT_TRUE(HasAttributes(dir / "dst\\secret\\deep.txt", hidden));

    test::WriteBytes(dir / "only\\secret\\deep.txt", "x");
    SetFileAttributesA((dir / "only\\secret\\deep.txt").c_str(), hidden);
    SetFileAttributesA((dir / "only\\secret").c_str(), FILE_ATTRIBUTE_DIRECTORY | hidden);
    EXPECT_TRUE(FolderHasFiles(dir / "only"));

    ASSERT_TRUE(BackupFolder(dir / "src", dir / "src"));
    const std::vector<std::string> made = test::BackupFolders(dir / "src");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(HasAttributes(dir / "src\\" + made[0] + "\\secret\\deep.txt", hidden));
}

TEST(CopyFileForcingFolder, MakesTheFolderAndOverwrites) {
    test::TempDir dir;
    test::WriteBytes(dir / "source.txt", "source");
    test::WriteBytes(dir / "file", "a file, not a folder");
    test::WriteBytes(dir / "existing\\target.txt", "old content, to be replaced");
    struct Case {
        std::string source;
        std::string destination;
        bool copied;
    } cases[] = {
        {dir / "source.txt", dir / "new\\deeper\\still\\target.txt", true},
        {dir / "source.txt", dir / "existing\\target.txt", true},
        {dir / "source.txt", dir / "flat.txt", true},
        {dir / "missing.txt", dir / "other\\target.txt", false},
        {dir / "source.txt", dir / "file\\target.txt", false},
        {dir / "source.txt", "q:\\nowhere\\target.txt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        EXPECT_EQ(CopyFileForcingFolder(c.source, c.destination), c.copied);
        if (c.copied)
            EXPECT_EQ(test::ReadBytes(c.destination), "source");
        else
            EXPECT_FALSE(test::IsFile(c.destination));
    }
}

TEST(FolderHasFiles, AnyFileAtAnyDepthCounts) {
    struct Case {
        const char* label;
        std::vector<std::string> files;
        std::vector<std::string> folders;
        bool hasFiles;
    } cases[] = {
        {"nothing inside", {}, {}, false},
        {"tree of empty folders", {}, {"a\\b\\c", "a\\d", "e"}, false},
        {"file in the folder itself", {"f.txt"}, {"a\\b"}, true},
        {"only file five levels down", {"a\\b\\c\\d\\e\\f.txt"}, {"x\\y"}, true},
        {"only file inside an earlier backup", {std::string(OldBackup) + "\\f.txt"}, {}, true},
        {"file without an extension", {"a\\README"}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TempDir dir;
        test::MakeDirs(dir / "root");
        for (const std::string& folder : c.folders)
            test::MakeDirs(dir / "root\\" + folder);
        WriteFiles(dir / "root\\", c.files);
        EXPECT_EQ(FolderHasFiles(dir / "root"), c.hasFiles);
        EXPECT_EQ(FolderHasFiles(dir / "root\\"), c.hasFiles);
    }
    test::TempDir dir;
    EXPECT_FALSE(FolderHasFiles(""));
    EXPECT_FALSE(FolderHasFiles(dir / "missing"));
    test::WriteBytes(dir / "plain.txt", "x");
    EXPECT_FALSE(FolderHasFiles(dir / "plain.txt"));
}

// Earlier backups beside the new one are left out; a folder further down
// that carries a backup name is content like any other, since a data copy
// into the folder may overwrite what it holds.
TEST(BackupFolder, CopiesEverythingButEarlierBackupsIntoItself) {
    test::TempDir dir;
    const std::string root = dir / "root\\";
    const std::string nested = "Data\\TVN Backup 2022-12-31 [23-59-59-999]\\y.txt";
    WriteFiles(root, {"tvn.ini", "Data\\2024-03.txt", "Data\\sub\\x.txt",
                      std::string(OldBackup) + "\\tvn.ini", nested});
    test::Snapshot expected;
    {
        test::TempDir trimmed;
        WriteFiles(trimmed.path(), {"tvn.ini", "Data\\2024-03.txt", "Data\\sub\\x.txt", nested});
        expected = test::SnapshotTree(trimmed.path());
    }
    const test::Snapshot before = test::SnapshotTree(root);

    ASSERT_TRUE(BackupFolder(root, root));

    const std::vector<std::string> backups = test::BackupFolders(root);
    ASSERT_EQ(backups.size(), 2u);
    const std::string made = backups[0] == OldBackup ? backups[1] : backups[0];
    EXPECT_TRUE(IsBackupFolderName(BackupPrefix, made));
    EXPECT_EQ(made.size(), 36u);
    // Never a copy of itself, nor of the earlier backups.
    EXPECT_EQ(test::SnapshotTree(root + made), expected);
    // Nothing else changed.
    test::Snapshot after = test::SnapshotTree(root);
    std::erase_if(after.files, [&](const auto& file) { return file.first.starts_with(made); });
    std::erase_if(after.folders,
                  [&](const std::string& folder) { return folder.starts_with(made); });
    EXPECT_EQ(after, before);
}

TEST(BackupFolder, HolderDecidesWhereAndMustBeGiven) {
    test::TempDir dir;
    WriteFiles(dir / "only-backups\\", {std::string(OldBackup) + "\\f.txt"});
    ASSERT_TRUE(BackupFolder(dir / "only-backups", dir / "only-backups"));
    const std::vector<std::string> backups = test::BackupFolders(dir / "only-backups");
    ASSERT_EQ(backups.size(), 2u);
    for (const std::string& name : backups)
        EXPECT_TRUE(name == OldBackup || test::ListDir(dir / "only-backups\\" + name).empty());

    WriteFiles(dir / "data\\", {"a.txt"});
    ASSERT_TRUE(BackupFolder(dir / "data", dir / "elsewhere"));
    const std::vector<std::string> made = test::BackupFolders(dir / "elsewhere");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(test::SnapshotTree(dir / "elsewhere\\" + made[0]), test::SnapshotTree(dir / "data"));

    const test::Snapshot before = test::SnapshotTree(dir.path());
    EXPECT_FALSE(BackupFolder(dir / "data", ""));
    EXPECT_EQ(test::SnapshotTree(dir.path()), before);
}

TEST(TimestampedName, FixedWidthLocalTime) {
    // Each field in its place, the day of the week left out; the widths are
    // the path rules' (PathRulesTest).
    EXPECT_EQ(FormatTimestamp({2024, 3, 2, 5, 14, 7, 9, 42}), "2024-03-05 [14-07-09-042]");

    const std::string name = TimestampedName(BackupPrefix);
    ASSERT_EQ(name.size(), 36u);
    EXPECT_EQ(name.substr(0, 11), "TVN Backup ");
    EXPECT_TRUE(IsBackupFolderName(BackupPrefix, name));
    for (size_t at : {11, 12, 13, 14, 16, 17, 19, 20, 23, 24, 26, 27, 29, 30, 32, 33, 34})
        EXPECT_TRUE(isdigit(static_cast<unsigned char>(name[at]))) << name;
    const std::string other = TimestampedName("x");
    EXPECT_EQ(other.size(), 26u);
    EXPECT_EQ(other[0], 'x');
}

TEST(CopyFolderTree, NoSearchStaysOpen) {
    test::TempDir dir;
    const std::string src = dir / "src";
    WriteFiles(src + "\\", {"a\\f.txt", "b\\f.txt", "b\\c\\f.txt", "own.txt", "Data\\2024-03.txt",
                            "Data\\2024-04.txt", std::string(OldBackup) + "\\f.txt"});
    struct Case {
        const char* label;
        std::function<void()> run;
        std::string unreadable; // below src; empty: none
    } cases[] = {
        {"copy", [&] { EXPECT_TRUE(CopyFolderTree(src, dir / "d1", BackupPrefix)); }, ""},
        {"failed copy", [&] { EXPECT_FALSE(CopyFolderTree(src, dir / "d2", "")); }, "b\\f.txt"},
        {"backup", [&] { EXPECT_TRUE(BackupFolder(src, src)); }, ""},
        {"failed backup", [&] { EXPECT_FALSE(BackupFolder(src, dir / "d3")); }, "b\\c\\f.txt"},
        {"files found", [&] { EXPECT_TRUE(FolderHasFiles(src)); }, ""},
        {"comparison",
         [&] {
             EXPECT_EQ(CompareDataCompleteness({src, dir / "d1"}), 0);
         },
         ""},
        {"failed comparison",
         [&] {
             EXPECT_THROW(CompareDataCompleteness({src, dir / "d1"}), EFOpenError);
         },
         "Data\\2024-04.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.unreadable.empty()) {
            c.run();
        } else {
            test::HeldFile held(src + "\\" + c.unreadable, GENERIC_READ, 0);
            ASSERT_TRUE(held.ok());
            c.run();
        }
        EXPECT_EQ(FoldersHeldOpen(RemoveBackslash(dir.path())), std::vector<std::string>());
    }
}

TEST(CheckBeforeChanges, NamesWhyAFileCannotBeOpened) {
    const std::string inUse = "The file \"c:\\d\\f\" is in use by another program.\r\n",
                      denied = "Windows does not let this account read \"c:\\d\\f\".\r\n",
                      other = "The file \"c:\\d\\f\" cannot be read: ";
    const std::pair<DWORD, std::string> cases[] = {
        {ERROR_SHARING_VIOLATION, inUse}, {ERROR_LOCK_VIOLATION, inUse}, {ERROR_FILE_NOT_FOUND, ""},
        {ERROR_PATH_NOT_FOUND, ""}, // gone: passed over
        {ERROR_ACCESS_DENIED, denied},    {ERROR_NOT_READY, other},      {ERROR_BAD_NETPATH, other},
    };
    for (const auto& [error, begins] : cases) {
        SCOPED_TRACE(error);
        const std::string text = OpenFailure("c:\\d\\f", error);
        EXPECT_EQ(text.substr(0, begins.size()), begins);
        EXPECT_EQ(text.empty(), begins.empty());
        if (begins == other) {
            // The system's own words, on one line, then the number.
            const size_t number = text.find(" (error " + std::to_string(error) + ").\r\n");
            ASSERT_NE(number, std::string::npos) << text;
            const std::string cause = text.substr(other.size(), number - other.size());
            EXPECT_NE(cause, "");
            EXPECT_EQ(cause.find_first_of("\r\n"), std::string::npos);
        }
    }
}

TEST(CheckBeforeChanges, AFileGoneSinceThePlanIsPassedOver) {
    test::TempDir dir;
    WriteFiles(dir / "src\\Data\\", {"a.txt", "b.txt"});
    test::MakeDirs(dir / "dst\\Data");
    const RunPlan plan = PlanRun(NormalForm(dir / "src"), NormalForm(dir / "dst"), true, {}, {});
    ASSERT_EQ(plan.data.files, 2u);
    ASSERT_TRUE(DeleteFileA((dir / "src\\Data\\a.txt").c_str()));
    EXPECT_EQ(CheckBeforeChanges(plan), "");
    EXPECT_TRUE(CarryOutCopy(plan.data, nullptr));
    EXPECT_EQ(test::ListDir(dir / "dst\\Data"), std::vector<std::string>{"b.txt"});
}
