// The record of a run: what a recorder makes of the whole-file writes it is
// told of, read back whole or, for a run broken off, from its journal.
#include <gtest/gtest.h>

#include "DiskChanges.h"
#include "FileHash.h"
#include "PathRules.h"
#include "RunRecord.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

TEST(RunRecord, EveryPlacedFileWithWhatItHeld) {
    for (const bool finished : {true, false}) {
        SCOPED_TRACE(finished ? "finished" : "broken off");
        test::TempDir dir;
        const std::string root = dir.path(), backup = root + "TVN Backup 1\\";
        test::WriteBytes(root + "Data\\2024-01.txt", "old\r\n");
        test::WriteBytes(root + "tvn.ini", "[Setup]\r\nLanguage=en\r\nRedirect=c:\\x\r\n");
        test::WriteBytes(root + "new.txt", "new\r\n");
        test::MakeDirs(backup + "Data");
        RunRecord header;
        StampRunRecord(header);
        header.kind = "configuration";
        {
            RunRecorder recorder(header, backup);
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
            if (finished)
                recorder.Finish();
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
            EXPECT_EQ(file.sha256, FileHash::Sha256OfFile(DiskChanges::WidePath(file.path)));
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
}

} // namespace
