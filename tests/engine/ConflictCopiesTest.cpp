// Sync conflict copies found and merged into their month files, on real files.
#include <gtest/gtest.h>

#include "ConflictCopies.h"
#include "Progress.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

TEST(ConflictCopies, MergeKeepsTheMonthsOrderAndAddsWhatItLacks) {
    const char* const pc = "2024-01-PC.txt";
    const char* const ann = "2024-01 (Ann's conflicted copy 2024-01-05).txt";
    struct Row {
        const char* name;
        const char* month; // the month file's text, or null for none
        std::vector<std::pair<const char*, const char*>> copies;
        const char* merged; // the month file's text afterwards
        std::vector<long long> added;
    } rows[] = {
        {"order kept", "a\r\nc\r\n", {{pc, "a\r\nb\r\nc\r\nd\r\n"}}, "a\r\nb\r\nc\r\nd\r\n", {2}},
        {"duplicates one for one", "a\r\nx\r\n", {{pc, "a\r\nx\r\nx\r\n"}}, "a\r\nx\r\nx\r\n", {1}},
        {"moved records are no new ones", "a\r\nb\r\n", {{pc, "b\r\na\r\n"}}, "a\r\nb\r\n", {0}},
        {"case ignored", "Alpha\r\n", {{pc, "ALPHA\r\nbeta\r\n"}}, "Alpha\r\nbeta\r\n", {1}},
        // The copies merge in name order: Ann's first.
        {"missing month file", nullptr, {{pc, "b\nA\n"}, {ann, "a\nc\n"}}, "b\na\nc\n", {2, 1}},
        {"empty lines", "a\r\n\r\nb\r\n", {{pc, "a\r\n\r\n\r\nb\r\n"}}, "a\r\n\r\n\r\nb\r\n", {1}},
        {"LF month, CR LF copy", "a\nb\n", {{pc, "a\r\nz\r\nb\r\n"}}, "a\nz\nb\n", {1}},
        {"CR LF month, no last break", "a\r\nb", {{pc, "a\nb\nc\n"}}, "a\r\nb\r\nc\r\n", {1}},
        {"copies in turn", "a\r\n", {{pc, "a\r\nb\r\n"}, {ann, "b\r\n"}}, "a\r\nb\r\n", {1, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::Sandbox box;
        const std::string root = box / "Root\\", data = root + "Data\\";
        if (row.month)
            test::WriteBytes(data + "2024-01.txt", row.month);
        test::WriteBytes(data + "2024-02.txt", "other\r\n");
        for (const auto& [name, text] : row.copies)
            test::WriteBytes(data + name, text);
        const test::Snapshot before = test::SnapshotTree(root);

        const ConflictFindings found = FindConflictCopies(root);
        std::vector<long long> added;
        for (const ConflictCopy& copy : found.copies)
            added.push_back(copy.records);
        EXPECT_EQ(added, row.added);
        EXPECT_EQ(MergeConflictCopies(root).errorText, "");
        EXPECT_EQ(test::ReadBytes(data + "2024-01.txt"), row.merged);

        // The copies and the other month stay; what a merge changed is in its
        // backup, and nothing else appears.
        const std::vector<std::string> backups = test::BackupFolders(root);
        ASSERT_EQ(backups.size(), found.records > 0 ? 1u : 0u);
        const test::Snapshot after = test::SnapshotTree(root);
        for (const auto& [path, bytes] : before.files)
            EXPECT_TRUE(after.Holds(path, bytes) || after.Holds(backups[0] + "\\" + path, bytes))
                << path;
        EXPECT_EQ(after.files.size(), before.files.size() + !row.month +
                                          (found.records > 0) * (before.files.size() - 1));
    }
}

// Stopped while a copy kept online only is downloaded for the merge: nothing
// changes, and no backup folder is made.
TEST(ConflictCopies, StoppedDuringTheDownloadChangesNothing) {
    struct StopTheDownload : ProgressObserver {
        WorkStage stage = WorkStage::Comparing;
        void StageBegins(WorkStage now, const std::string&, unsigned long long,
                         unsigned long long) override {
            stage = now;
        }
        bool FileBegins(const std::string&, unsigned long long) override {
            return stage != WorkStage::Downloading;
        }
    } stop;
    test::Sandbox box;
    const std::string data = box / "Root\\Data\\";
    test::WriteBytes(data + "2024-01.txt", "a\r\n");
    test::WriteBytes(data + "2024-01-PC.txt", "a\r\nb\r\n");
    test::FakeSyncClient client;
    client.OnlineOnly(data + "2024-01-PC.txt");
    const test::Snapshot before = test::SnapshotTree(box / "Root");
    ProgressScope scope(stop);
    EXPECT_TRUE(MergeConflictCopies(box / "Root\\").cancelled);
    EXPECT_EQ(test::SnapshotTree(box / "Root"), before);
}
