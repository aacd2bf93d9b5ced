// The real folder browser, shown in this process on real folders and
// answered from a second thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "InProcessDialog.h"
#include "SelectFolder.h"
#include "TestSupport.h"
#include "TVNConfigUtil.h"

using namespace dialogtest;

namespace {

const char* const BrowserTitle = "Browse for Folder";

// True when some child of the dialog shows exactly this text.
bool ShowsText(HWND dialog, const std::string& text) {
    for (HWND child : Descendants(dialog))
        if (TextOf(child) == text)
            return true;
    return false;
}

// The first visible descendant of this window class.
HWND FirstChildOfClass(HWND dialog, const char* className) {
    for (HWND child : Descendants(dialog))
        if (IsWindowVisible(child) && ClassOf(child) == className)
            return child;
    return nullptr;
}

// The text of the selected item of a tree view in this process.
std::string SelectedTreeItem(HWND tree) {
    HTREEITEM item = TreeView_GetSelection(tree);
    if (!item)
        return {};
    char text[MAX_PATH] = {};
    TVITEMA info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    return text;
}

std::string Lower(const std::string& text) {
    return TVNConfigUtil::AsciiLowerCase(text);
}

} // namespace

TEST(FolderBrowserGui, ConfirmReturnsTheSelectionAndCancelKeepsTheFolder) {
    test::TempDir dir;
    const std::string start = TVNConfigUtil::RemoveBackslash(dir.path()) + "\\Start";
    test::MakeDirs(start);
    test::SettleAccessTimes(dir.path());
    const std::string caption = "Locate a folder in Dropbox";

    enum class Answer { OK, Cancel, TitleBarClose };
    struct Case {
        Answer answer;
        bool result;
        std::string folderAfter; // compared without regard to case
    } cases[] = {
        // The initial folder is selected, so confirming returns it.
        {Answer::OK, true, start},
        {Answer::Cancel, false, start + "\\"},
        {Answer::TitleBarClose, false, start + "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        bool captionShown = false;
        bool startSelected = false;
        DialogDriver driver(BrowserTitle, [&](HWND dialog) {
            captionShown = ShowsText(dialog, caption);
            // The browser fills its tree after it shows; answer once the
            // initial folder is selected in it.
            HWND tree = FirstChildOfClass(dialog, WC_TREEVIEWA);
            startSelected = WaitFor([&] { return SelectedTreeItem(tree) == "Start"; });
            if (c.answer == Answer::TitleBarClose)
                PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                PostMessageA(GetDlgItem(dialog, c.answer == Answer::OK ? IDOK : IDCANCEL), BM_CLICK,
                             0, 0);
        });
        std::string folder = start + "\\";
        const bool result = ShowShellFolderBrowser(nullptr, caption, folder);
        const DialogDriver::Outcome outcome = driver.Join();
        ASSERT_TRUE(outcome.found);
        EXPECT_TRUE(outcome.closedByAct);
        EXPECT_TRUE(captionShown);
        EXPECT_TRUE(startSelected);
        EXPECT_EQ(result, c.result);
        if (c.result)
            EXPECT_EQ(Lower(folder), Lower(c.folderAfter));
        else
            EXPECT_EQ(folder, c.folderAfter); // unchanged, byte for byte
    }
}
