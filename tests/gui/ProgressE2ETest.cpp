// A long copy in the real window: the window keeps answering, the progress
// window shows the stage, and its Cancel ends the run with nothing lost.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "Driver.h"
#include "Generators.h"
#include "TVNCloudDriveControlIds.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

const int StageTextId = 1001, CountsTextId = 1004;

// Saves what the screen shows of a window as a 24-bit BMP file, for the
// README's picture (TVN_PROGRESS_SHOT names the file).
void SaveWindowImage(HWND window, const std::string& file) {
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(size_t((width * 3 + 3) & ~3) * height, '\0');
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER head{0x4D42, DWORD(sizeof head + sizeof info + pixels.size()), 0, 0,
                          sizeof head + sizeof info};
    test::WriteBytes(file, std::string(reinterpret_cast<char*>(&head), sizeof head) +
                               std::string(reinterpret_cast<char*>(&info), sizeof info) + pixels);
}

TEST(ProgressE2ETest, WindowAnswersDuringACopyAndCancelKeepsTheOldLocation) {
    test::Sandbox sandbox;
    const std::string cloud = sandbox.OneDrive() + "Tallyvane Data\\";
    const std::string ini = "[Setup]\r\nRedirect=" + RemoveBackslash(cloud) + "\r\n\r\n";
    sandbox.MakeInstallation(ini);
    test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
    test::WriteBytes(cloud + "tvn.ini", "[Setup]\r\nUser=Ann\r\n\r\n");
    test::Sandbox::WriteMonth(cloud, "2024-01", "2024-01-08\t08:00\t12:30\tAlpha\r\n");
    long long bytes = 0;
    for (const char* part : {"A", "B", "C"})
        bytes += bench::WriteCopyTree(cloud + "Data\\" + part).bytes;
    const test::Snapshot cloudBefore = test::SnapshotTree(cloud);

    gui::Program program;
    ASSERT_TRUE(program.Start(gui::ExecutableFolder() + "TVNCloudDrive.exe", sandbox.Environment()))
        << program.Error();
    HWND window = program.WaitForWindow(
        [](HWND w) { return gui::ClassOf(w) == "TMainCloudDriveForm"; }, gui::StartTimeoutMs);
    ASSERT_NE(window, nullptr);
    // Back to the standard location: the tree is copied into the installation.
    gui::Click(gui::FindById(window, idChkDisconnect));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Checked(gui::FindById(window, idChkDisconnect)); },
                               gui::ReactTimeoutMs));
    gui::Click(gui::FindById(window, idBtnOK));
    // The cloud holds more records: Yes copies them home.
    HWND ask = program.WaitForTitle("Confirm");
    ASSERT_NE(ask, nullptr);
    ASSERT_TRUE(gui::PressButton(ask, "&Yes") || gui::PressButton(ask, "Yes"));

    // Through the backup and a second of the copy, then after Cancel until
    // the report, the main window is asked again and again.
    ULONGLONG longest = 0;
    auto askWindow = [&] {
        DWORD_PTR result = 0;
        const ULONGLONG asked = GetTickCount64();
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result));
        longest = std::max(longest, GetTickCount64() - asked);
        Sleep(20);
    };
    // The rate and the time left join the counts within two seconds of the
    // copy's start.
    HWND progress = nullptr;
    std::string stage, counts;
    ULONGLONG copying = 0;
    const ULONGLONG start = GetTickCount64();
    while ((!copying ||
            (GetTickCount64() - copying < 2000 && counts.find(" MB/s, ") == std::string::npos)) &&
           GetTickCount64() - start < 20000) {
        askWindow();
        for (HWND w : program.TopLevelWindows())
            if (gui::ClassOf(w) == "TVNProgressWindow")
                progress = w;
        stage = progress ? gui::Text(gui::FindById(progress, StageTextId)) : "";
        counts = progress ? gui::Text(gui::FindById(progress, CountsTextId)) : "";
        if (!copying && stage.rfind("Copying data files", 0) == 0)
            copying = GetTickCount64();
    }
    ASSERT_NE(progress, nullptr) << "no progress window";
    EXPECT_FALSE(gui::Enabled(window));
    EXPECT_EQ(stage, "Copying data files to \"" + AsciiLowerCase(sandbox.Install()) + "\"");
    EXPECT_NE(counts.find(" MB/s, "), std::string::npos) << counts;
    EXPECT_NE(counts.find(" left"), std::string::npos) << counts;
    if (const char* shot = std::getenv("TVN_PROGRESS_SHOT"))
        SaveWindowImage(progress, shot);
    ASSERT_TRUE(gui::PressButton(progress, "Cancel"));
    HWND error = nullptr;
    while (!error && GetTickCount64() - start < 60000) {
        askWindow();
        error = program.WaitForTitle("Error", 0);
    }
    EXPECT_LT(longest, 1000u);
    std::printf("progress: copy_mb=%lld longest_answer_ms=%llu\n", bytes / 1048576, longest);
    ASSERT_NE(error, nullptr) << "no report after Cancel";
    const std::string text = gui::ReadMessageDialog(error).text;
    const std::vector<std::string> backups = test::BackupFolders(sandbox.Install());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(text, "Tallyvane configuration was cancelled.\r\nNo settings have been changed.\r\n"
                    "The files that were at \"" +
                        AsciiLowerCase(sandbox.Install()) + "\" before are kept in \"" +
                        AsciiLowerCase(sandbox.Install() + backups[0]) +
                        "\\\".\r\nTallyvane still uses its old data location \"" +
                        AsciiLowerCase(cloud) + "\".");
    EXPECT_EQ(test::ReadBytes(sandbox.Install() + "tvn.ini"), ini);
    EXPECT_EQ(test::SnapshotTree(cloud), cloudBefore);
    const size_t copied = test::SnapshotTree(sandbox.Install() + "Data").files.size();
    EXPECT_GT(copied, 0u);
    EXPECT_LT(copied, cloudBefore.files.size() - 2);
}

} // namespace
