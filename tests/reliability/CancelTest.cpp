#include <gtest/gtest.h>

#include "Progress.h"
#include "Promises.h"
#include "TVNConfigUtil.h"

using namespace TVNConfigUtil;

namespace {

// Says stop before the file numbered stopAt (from 0) of one stage, and
// writes down each stage as "stage:files:bytes".
struct ScriptedProgress : ProgressObserver {
    WorkStage stopIn, stage = WorkStage::Comparing;
    unsigned long long stopAt, filesSeen = 0;
    std::string stages;

    ScriptedProgress(WorkStage in, unsigned long long at) : stopIn(in), stopAt(at) {}
    void StageBegins(WorkStage s, const std::string&, unsigned long long files,
                     unsigned long long bytes) override {
        stages += std::to_string(int(s)) + ":" + std::to_string(files) + ":" +
                  std::to_string(bytes) + " ";
        stage = s, filesSeen = 0;
    }
    bool FileBegins(const std::string&, unsigned long long) override {
        return !(stage == stopIn && filesSeen++ == stopAt);
    }
};

// The installation moves into a cloud folder that holds an earlier
// installation, so the run backs that up (4 files, 48 bytes) and then
// copies 3 data files (9 bytes).
TEST(CancelTest, AStoppedRunChangesNoSettingsAndLosesNothing) {
    const struct {
        const char* name;
        WorkStage stopIn;
        unsigned long long stopAt;
        const char* stages;
        size_t filesInBackup, filesCopied;
    } cases[] = {
        {"comparison", WorkStage::Comparing, 3, "0:5:15 ", 0, 0},
        {"backup", WorkStage::BackingUp, 2, "1:4:48 ", 2, 0},
        {"copy", WorkStage::Copying, 1, "1:4:48 2:3:9 ", 4, 1},
        {"settings", WorkStage::WritingSettings, 0, "1:4:48 2:3:9 3:0:0 ", 4, 3},
        {"download", WorkStage::Downloading, 1, "4:2:6 ", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::Sandbox box;
        box.MakeInstallation("[Setup]\r\nName=Ann\r\n",
                             {{"2024-01", "a\r\n"}, {"2024-02", "b\r\n"}, {"2024-03", "c\r\n"}});
        const std::string cloud = box.OneDrive() + "Data Here\\";
        test::MakeDirs(cloud + "Data");
        test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
        test::WriteBytes(cloud + "tvn.ini", "[Setup]\r\nName=Bo\r\n");
        test::Sandbox::WriteMonth(cloud, "2023-12", "x\r\n");
        test::Sandbox::WriteMonth(cloud, "2024-01", "y\r\n");

        test::FakeSyncClient client; // the cloud's data is online only in the download row
        for (const char* month : {"2023-12", "2024-01"})
            if (c.stopIn == WorkStage::Downloading)
                client.OnlineOnly(cloud + "Data\\" + month + ".txt");
        test::RunRecord run(box.Root(), box.Install(), cloud, box.Install(), cloud, true);
        ScriptedProgress progress(c.stopIn, c.stopAt);
        std::string report;
        {
            ProgressScope scope(progress);
            if (c.stopIn == WorkStage::Comparing) {
                CompareDataCompleteness({box.Install(), cloud});
                EXPECT_TRUE(StopAsked());
            } else {
                const Outcome outcome = ConfigureInstallation(NormalForm(box.Install()), "", "",
                                                              NormalForm(cloud), true);
                report = outcome.ErrorText + outcome.Report;
            }
        }
        run.Finish(box.Root());
        EXPECT_EQ(progress.stages, c.stages);

        test::FileCounts counts;
        test::Problems lost;
        test::EveryOldFileIsKeptInPlaceOrInTheNewBackup(run, counts, lost);
        EXPECT_EQ(lost.text, "");
        const bool settingsRun = c.stopIn == WorkStage::WritingSettings;
        EXPECT_EQ(ReadRedirection(box.Install()), settingsRun ? NormalForm(cloud) : "");
        EXPECT_EQ(test::ReadBytes(cloud + "tvn.ini"),
                  settingsRun ? "[Setup]\r\nName=Ann\r\n\r\n" : "[Setup]\r\nName=Bo\r\n");
        ASSERT_EQ(run.newBackups.size(), c.filesInBackup ? 1u : 0u);
        if (c.filesInBackup) {
            EXPECT_EQ(test::SnapshotTree(run.newBackups[0]).files.size(), c.filesInBackup);
        }
        size_t copied = 0;
        for (const char* month : {"2024-01", "2024-02", "2024-03"})
            copied += test::IsFile(cloud + "Data\\" + month + ".txt") &&
                      test::ReadBytes(cloud + "Data\\" + month + ".txt") != "y\r\n";
        EXPECT_EQ(copied, c.filesCopied);

        // The full text is checked end to end; here that it names the backup.
        if (c.stopIn == WorkStage::BackingUp || c.stopIn == WorkStage::Copying) {
            EXPECT_NE(report.find("cancelled.\r\nNo settings have been changed.\r\nThe files "
                                  "that were at \"" +
                                  AsciiLowerCase(NormalForm(cloud)) + "\" before are kept in \"" +
                                  run.newBackups[0] + "\""),
                      std::string::npos);
        }
    }
}

} // namespace
