// The record of a run: what a recorder makes of the whole-file writes it is
// told of, read back whole or, for a run broken off, from its journal.
#include <gtest/gtest.h>

#include "DiskChanges.h"
#include "FileHash.h"
#include "PathRules.h"
#include "RunRecord.h"
#include "ConflictCopies.h"
#include "Restore.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

#include <functional>

using namespace TVNConfigUtil;

namespace {

TEST(RunRecord, EveryPlacedFileWithWhatItHeld) {
    // Broken off: the process died after its last line, or between the last
    // placement and the line that tells of it.
    for (const char* end : {"finished", "broken off", "broken off before the last line"}) {
        SCOPED_TRACE(end);
        const bool finished = end == std::string("finished");
        test::TempDir dir;
        const std::string root = dir.path(), backup = root + "TVN Backup 1\\";
        test::WriteBytes(root + "Data\\2024-01.txt", "old\r\n");
        test::WriteBytes(root + "tvn.ini", "[Setup]\r\nLanguage=en\r\nRedirect=c:\\x\r\n");
        test::WriteBytes(root + "new.txt", "new\r\n");
        test::MakeDirs(backup + "Data");
        RunRecord header;
        StampRunRecord(header);
        header.kind = "configuration";
        std::string started; // the record before the first change
        {
            RunRecorder recorder(header, backup);
            started = test::ReadBytes(backup + RunRecordName);
            using DiskChanges::WidePath;
            // The backup of the month file, then its replacement, a file
            // made, and the settings rewritten.
            ASSERT_TRUE(DiskChanges::CopyWhole(WidePath(root + "Data\\2024-01.txt"),
                                               WidePath(backup + "Data\\2024-01.txt")));
            ASSERT_TRUE(DiskChanges::CopyWhole(WidePath(root + "new.txt"),
                                               WidePath(root + "Data\\2024-01.txt")));
            ASSERT_TRUE(DiskChanges::WriteWhole(WidePath(root + "Data\\2024-02.txt"), "b\r\n", 0));
            ASSERT_TRUE(DiskChanges::WriteWhole(
                WidePath(root + "tvn.ini"),
                "[Setup]\r\nLanguage=en\r\n[Server]\r\nServerAdmin=2\r\n", 0));
        }
        // A process that dies leaves the record as it was written first.
        if (!finished)
            test::WriteBytes(backup + RunRecordName, started);
        const bool lastLineLost = end == std::string("broken off before the last line");
        if (lastLineLost) {
            std::string journal = test::ReadBytes(backup + RunJournalName);
            journal.erase(journal.rfind('\n', journal.size() - 2) + 1);
            test::WriteBytes(backup + RunJournalName, journal);
        }
        const std::optional<RunRecord> read = ReadRunRecord(backup);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->id, header.id);
        EXPECT_EQ(read->complete, finished);
        ASSERT_EQ(read->files.size(), 3u);
        const struct {
            const char* path;
            const char* action;
            bool backedUp;
        } expected[] = {{"Data\\2024-01.txt", "replaced", true},
                        {"Data\\2024-02.txt", "made", false},
                        {"tvn.ini", "replaced", false}};
        for (size_t i = 0; i < 3; ++i) {
            const RecordedFile& file = read->files[i];
            EXPECT_EQ(AsciiLowerCase(file.path), AsciiLowerCase(root + expected[i].path));
            EXPECT_EQ(file.action, expected[i].action);
            EXPECT_EQ(!file.backup.empty(), expected[i].backedUp) << file.backup;
            // The last placement is known only as about to be made.
            EXPECT_EQ(lastLineLost && i == 2 ? file.pendingSha256 : file.sha256,
                      FileHash::Sha256OfFile(DiskChanges::WidePath(file.path)));
            EXPECT_EQ(file.bytes, test::ReadBytes(file.path).size());
        }
        EXPECT_EQ(test::ReadBytes(read->files[0].backup), "old\r\n");
        ASSERT_EQ(read->settings.size(), 1u);
        const RecordedSettings& settings = read->settings[0];
        EXPECT_EQ(settings.before, "[Setup]\r\nLanguage=en\r\nRedirect=c:\\x\r\n");
        ASSERT_EQ(settings.keys.size(), 2u);
        EXPECT_EQ(settings.keys[0].key, "ServerAdmin");
        EXPECT_EQ(settings.keys[0].before, std::nullopt);
        EXPECT_EQ(settings.keys[0].after, "2");
        EXPECT_EQ(settings.keys[1].key, "Redirect");
        EXPECT_EQ(settings.keys[1].before, "c:\\x");
        EXPECT_EQ(settings.keys[1].after, std::nullopt);
    }
    // A record that names no backup folder counts no bytes, from no folder.
    EXPECT_TRUE(HistoryLine(RunRecord{}).ends_with("backup 0.0 MB (broken off)"));
}

} // namespace

namespace {

using namespace TVNConfigUtil;

// The sandbox's files outside backup folders, settings included: what a
// restore must put back.
test::Snapshot Places(const test::Sandbox& sandbox) {
    test::Snapshot places = test::SnapshotTree(sandbox.Root());
    const auto backup = [](const std::string& path) {
        return path.find(BackupPrefix) != std::string::npos;
    };
    std::erase_if(places.files, [&](const auto& file) { return backup(file.first); });
    std::erase_if(places.folders, backup);
    return places;
}

// Each row makes a run, perhaps changes a file or key since, then restores
// the newest run (twice: the restore itself undone). Everything the run did
// must be undone but what changed since, which is listed.
TEST(RestoreRun, PutsBackWhatTheRunDidAndNothingElse) {
    using S = test::Sandbox;
    const auto moveIntoCloud = [](S& s) {
        ConfigureInstallation(s.Install(), "", "", s.OneDrive() + "Tvn", true);
    };
    struct Row {
        const char* name;
        std::function<void(S&)> before, run, since;
        int restores;
        size_t leftAlone;
    } rows[] = {
        {"a move into a new folder", [](S&) {}, moveIntoCloud, nullptr, 1, 0},
        {"a move that replaced files",
         [](S& s) { s.WriteMonth(s.OneDrive() + "Tvn\\", "2024-01", "cloud\r\n"); }, moveIntoCloud,
         nullptr, 1, 0},
        {"a return home",
         [](S& s) {
             s.MakeInstallation("[Setup]\r\nRedirect=" + s.OneDrive() + "Tvn\r\n");
             s.WriteMonth(s.OneDrive() + "Tvn\\", "2024-02", "cloud feb\r\n");
         },
         [](S& s) { ConfigureInstallation(s.Install(), "", s.OneDrive() + "Tvn", "", true); },
         nullptr, 1, 0},
        {"a merge",
         [](S& s) { test::WriteBytes(s.Install() + "Data\\2024-01-LAPTOP.txt", "c\r\n"); },
         [](S& s) { MergeConflictCopies(s.Install()); }, nullptr, 1, 0},
        {"a restore, undone", [](S&) {}, moveIntoCloud, nullptr, 2, 0},
        {"a file changed since", [](S&) {}, moveIntoCloud,
         [](S& s) { s.WriteMonth(s.OneDrive() + "Tvn\\", "2024-01", "a\r\nb\r\nnew\r\n"); }, 1, 1},
        {"a key changed since", [](S&) {}, moveIntoCloud,
         [](S& s) {
             // Still the cloud folder, written another way.
             test::WriteBytes(s.Install() + "tvn.ini",
                              "[Setup]\r\nUser=me\r\nRedirect=" + s.OneDrive() + "Tvn\\\r\n");
         },
         1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        S sandbox;
        sandbox.SetEnvironment();
        sandbox.MakeInstallation("[Setup]\r\nUser=me\r\n");
        sandbox.WriteMonth(sandbox.Install(), "2024-01", "a\r\nb\r\n");
        test::MakeDirs(sandbox.OneDrive() + "Tvn");
        row.before(sandbox);
        const test::Snapshot before = Places(sandbox);
        row.run(sandbox);
        const test::Snapshot afterRun = Places(sandbox);
        ASSERT_NE(afterRun, before);
        if (row.since)
            row.since(sandbox);
        const test::Snapshot changedSince = Places(sandbox);
        RestoreOutcome restored;
        for (int i = 0; i < row.restores; ++i) {
            const History history = FindHistory(sandbox.Install());
            ASSERT_FALSE(history.runs.empty());
            restored = RestoreRun(history.runs.front(), RunRecord{}, false);
            EXPECT_EQ(restored.errorText, "");
        }
        EXPECT_EQ(restored.leftAlone.size(), row.leftAlone);
        const test::Snapshot after = Places(sandbox);
        if (row.restores == 2) {
            EXPECT_EQ(after, afterRun);
        } else if (!row.since) {
            EXPECT_EQ(after, before);
        } else {
            // What changed since stays; the rest is back.
            for (const auto& [path, bytes] : changedSince.files)
                if (afterRun.files.count(path) && afterRun.files.at(path) != bytes) {
                    EXPECT_EQ(after.files.at(path), bytes) << path;
                }
            EXPECT_NE(after, changedSince);
        }
    }
}

// Each run joins the list of runs; a long one loses the folders gone since.
TEST(RunRecord, TheListOfRunsDropsGoneFoldersOnceLong) {
    for (const size_t goneLines : {150u, 2000u}) {
        SCOPED_TRACE(goneLines);
        test::TempDir dir;
        test::ScopedEnv local("LOCALAPPDATA", dir.path().c_str());
        const std::string kept = dir / "kept\\", run = dir / "run\\";
        test::MakeDirs(kept);
        test::MakeDirs(run);
        std::string list = kept + "\r\n";
        for (size_t n = 0; n < goneLines; ++n)
            list += dir / ("gone " + std::to_string(n) + "\\") + "\r\n";
        test::WriteBytes(dir / "TVNCloudDrive\\runs.txt", list);
        { RunRecorder recorder(RunRecord{}, run); }
        const std::string after = test::ReadBytes(dir / "TVNCloudDrive\\runs.txt");
        EXPECT_EQ(after, goneLines < 1000 ? list + run + "\r\n" : kept + "\r\n" + run + "\r\n");
        EXPECT_EQ(RecordedRunFolders(), (std::vector<std::string>{kept, run}));
    }
}

} // namespace
