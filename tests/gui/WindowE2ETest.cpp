// The real program, started as a user would start it, in a sandbox: its own
// application-data folder and user profile inside a fresh temporary folder.
// The tests read what the window shows and drive it with clicks and keys,
// answer its real dialogs, and check the files it leaves behind. What the
// window's logic computes is checked headless (tests/app); here one
// representative case of each shows that the real window carries it out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "TVNCloudDriveControlIds.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using TVNConfigUtil::AsciiLowerCase;
using TVNConfigUtil::RemoveBackslash;

namespace {

const char* const Caption = "Tallyvane - Cloud Drive Configuration";
const char* const BrowserTitle = "Browse for Folder";

// A settings file already in the form the program writes, so that a rewrite
// that changes nothing leaves the same bytes.
const char* const SampleIni =
    "[Setup]\r\nUser=Ann\r\nLanguage=en\r\n\r\n[Options]\r\nWeekStart=1\r\n\r\n";
const char* const January = "2024-01-08\t08:00\t12:30\tAlpha\r\n2024-01-09\t09:00\t17:00\tBeta\r\n";
const char* const February = "2024-02-01\t08:15\t16:45\tAlpha\r\n";

std::string Lower(const std::string& text) {
    return AsciiLowerCase(text);
}

class WindowE2ETest : public ::testing::Test {
  protected:
    // Declared before the program, so that the program has ended when the
    // sandbox is removed.
    test::Sandbox sandbox;
    gui::Program program;
    HWND window = nullptr;

    std::string Install() const { return sandbox.Install(); }
    std::string OneDrive() const { return sandbox.OneDrive(); }
    std::string Dropbox() const { return sandbox.Dropbox(); }

    void MakeInstallation(const std::string& ini = SampleIni) const {
        sandbox.MakeInstallation(ini);
    }

    // Starts the program and waits for its window.
    void Start() {
        test::SettleAccessTimes(sandbox.Root());
        ASSERT_TRUE(
            program.Start(gui::ExecutableFolder() + "TVNCloudDrive.exe", sandbox.Environment()))
            << program.Error();
        window = program.WaitForWindow(
            [](HWND w) { return gui::ClassOf(w) == "TMainCloudDriveForm"; }, gui::StartTimeoutMs);
        ASSERT_NE(window, nullptr) << "the window did not appear";
        ASSERT_EQ(gui::Text(window), Caption);
        // Wine's own processes may hold the activation for a moment while a
        // fresh session starts up; the window gets it when they let go.
        ASSERT_TRUE(gui::WaitUntil([&] { return program.Focus() != nullptr; }, gui::ReactTimeoutMs))
            << "the window did not become active";
    }

    HWND Control(int id) const { return gui::FindById(window, id); }
    std::string Text(int id) const { return gui::Text(Control(id)); }

    // Waits for a control's text to become `expected`; returns the text it
    // ended with, so that a mismatch shows what the window shows.
    std::string WaitForText(int id, const std::string& expected) const {
        gui::WaitUntil([&] { return Text(id) == expected; }, gui::ReactTimeoutMs);
        return Text(id);
    }

    // Waits for a dialog with this title and reads it; an empty title in the
    // result means that no such dialog came.
    gui::MessageDialog WaitForMessage(const std::string& title) const {
        HWND dialog = program.WaitForTitle(title);
        return dialog ? gui::ReadMessageDialog(dialog) : gui::MessageDialog{};
    }

    // Presses a button of a dialog and waits until the dialog has gone.
    void Answer(const gui::MessageDialog& dialog, const std::string& button) const {
        ASSERT_TRUE(gui::PressButton(dialog.window, button)) << "no button " << button;
        ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog.window); }, gui::ReactTimeoutMs))
            << dialog.title << " stayed open after " << button;
    }

    // The folder browser's own window, with the caption it shows inside.
    HWND WaitForBrowser(const std::string& caption) const {
        HWND browser = program.WaitForTitle(BrowserTitle);
        if (browser) {
            EXPECT_EQ(gui::ReadMessageDialog(browser).text, caption);
        }
        return browser;
    }

    // The browser's name field follows the selection in its tree.
    static HWND BrowserNameField(HWND browser) {
        for (HWND child : gui::Descendants(browser))
            if (gui::ClassOf(child) == "Edit")
                return child;
        return nullptr;
    }

    // Moves the browser's selection from the folder it opened at to that
    // folder's first subfolder, named `name`, and confirms it.
    void ChooseFirstSubfolder(HWND browser, const std::string& name) const {
        HWND tree = nullptr;
        for (HWND child : gui::Descendants(browser))
            if (gui::ClassOf(child) == "SysTreeView32")
                tree = child;
        ASSERT_NE(tree, nullptr);
        HWND nameField = BrowserNameField(browser);
        ASSERT_NE(nameField, nullptr);
        // Right expands a closed folder and enters an open one; on a folder
        // without subfolders it does nothing.
        gui::PostKey(tree, VK_RIGHT);
        gui::PostKey(tree, VK_RIGHT);
        ASSERT_TRUE(
            gui::WaitUntil([&] { return gui::Text(nameField) == name; }, gui::ReactTimeoutMs))
            << "the browser selected " << gui::Text(nameField);
        ASSERT_TRUE(gui::PressButton(browser, "OK"));
        ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(browser); }, gui::ReactTimeoutMs));
    }

    // Opens the cloud folder's browser and picks the first subfolder of the
    // folder it opens at.
    void BrowseToFirstSubfolder(const std::string& caption, const std::string& name) const {
        gui::Click(Control(idBtnBrowseCloudDrive));
        HWND browser = WaitForBrowser(caption);
        ASSERT_NE(browser, nullptr) << "the folder browser did not open";
        ASSERT_NO_FATAL_FAILURE(ChooseFirstSubfolder(browser, name));
    }

    void ExpectExitsWithZero() {
        DWORD code = 99;
        ASSERT_TRUE(program.WaitForExit(gui::ReactTimeoutMs, code)) << "the program did not end";
        EXPECT_EQ(code, 0u);
    }

    // Presses Tab until the control has the focus (a few presses at most).
    void TabTo(HWND control) const {
        for (int presses = 0; presses < 8 && program.Focus() != control; ++presses) {
            HWND focus = program.Focus();
            ASSERT_NE(focus, nullptr);
            gui::PostKey(focus, VK_TAB);
            gui::WaitUntil([&] { return program.Focus() != focus; }, gui::ReactTimeoutMs);
        }
        ASSERT_EQ(program.Focus(), control);
    }
};

// A redirection inside Dropbox, which checks the other radio button and
// enables the disconnect box; then clicks on both kinds of button.
TEST_F(WindowE2ETest, ShowsWhatWasDetectedAndFollowsClicks) {
    const std::string redirect = Dropbox() + "TimeData";
    MakeInstallation("[Setup]\r\nRedirect=" + redirect + "\r\n");
    test::MakeDirs(OneDrive());
    test::MakeDirs(Dropbox());
    Start();
    EXPECT_EQ(Text(idTxtInstallFolder), Lower(Install()));
    EXPECT_EQ(Text(idLblExeLocated1),
              "Tallyvane data files HAVE BEEN FOUND at a standard location.");
    EXPECT_EQ(Text(idLblCloudDriveLocated1), "Tallyvane IS configured to use a Dropbox location.");
    EXPECT_EQ(Text(idTxtCloudDriveFolder), Lower(redirect + "\\"));
    ASSERT_TRUE(gui::Checked(Control(idBtnDropbox)));
    EXPECT_FALSE(gui::Checked(Control(idBtnOneDrive)));
    EXPECT_TRUE(gui::Enabled(Control(idChkDisconnect)));
    EXPECT_FALSE(gui::Checked(Control(idChkDisconnect)));
    EXPECT_EQ(Text(idChkDisconnect),
              "Configure the detected Tallyvane to use its standard (non-Dropbox) data location.");
    // Nothing names a first control, so the focus is on the first in tab order.
    EXPECT_EQ(program.Focus(), Control(idBtnBrowseInstall));

    struct Step {
        int click;
        std::string field;
        const char* status;
        const char* provider; // in the disconnect box's caption
        bool disconnectEnabled;
        bool disconnectTicked;
    } steps[] = {
        {idChkDisconnect, Lower(redirect + "\\"),
         "Tallyvane IS configured to use a Dropbox location.", "Dropbox", true, true},
        {idBtnOneDrive, Lower(OneDrive()),
         "A OneDrive folder HAS BEEN FOUND at a standard location.", "OneDrive", false, true},
        // A click on the provider already selected changes nothing.
        {idBtnOneDrive, Lower(OneDrive()),
         "A OneDrive folder HAS BEEN FOUND at a standard location.", "OneDrive", false, true},
        {idBtnDropbox, Lower(redirect + "\\"), "Tallyvane IS configured to use a Dropbox location.",
         "Dropbox", true, true},
        {idChkDisconnect, Lower(redirect + "\\"),
         "Tallyvane IS configured to use a Dropbox location.", "Dropbox", true, false},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i);
        gui::Click(Control(s.click));
        ASSERT_TRUE(gui::WaitUntil(
            [&] { return gui::Checked(Control(idChkDisconnect)) == s.disconnectTicked; },
            gui::ReactTimeoutMs));
        EXPECT_EQ(WaitForText(idTxtCloudDriveFolder, s.field), s.field);
        EXPECT_EQ(Text(idLblCloudDriveLocated1), s.status);
        EXPECT_EQ(Text(idChkDisconnect),
                  std::string("Configure the detected Tallyvane to use its standard (non-") +
                      s.provider + ") data location.");
        EXPECT_EQ(gui::Enabled(Control(idChkDisconnect)), s.disconnectEnabled);
        EXPECT_EQ(gui::Checked(Control(idBtnOneDrive)), std::string(s.provider) == "OneDrive");
        EXPECT_EQ(gui::Checked(Control(idBtnDropbox)), std::string(s.provider) == "Dropbox");
    }
}

TEST_F(WindowE2ETest, CancelEscapeAndCloseEndTheProgramAndSaveNothing) {
    enum How { EscapeKey, CancelButton, EnterOnCancel, TitleBarClose };
    struct Case {
        const char* name;
        How how;
    } cases[] = {
        {"escape", EscapeKey},
        {"cancel", CancelButton},
        {"enter-on-cancel", EnterOnCancel},
        {"close-box", TitleBarClose},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.Clear();
        MakeInstallation();
        test::MakeDirs(OneDrive() + "Time");
        const test::Snapshot before = test::SnapshotTree(sandbox.Root());
        Start();
        switch (c.how) {
        case EscapeKey:
            ASSERT_NE(program.Focus(), nullptr);
            gui::PostKey(program.Focus(), VK_ESCAPE);
            break;
        case CancelButton:
            gui::Click(Control(idBtnCancel));
            break;
        case EnterOnCancel:
            ASSERT_NO_FATAL_FAILURE(TabTo(Control(idBtnCancel)));
            gui::PostKey(program.Focus(), VK_RETURN);
            break;
        case TitleBarClose:
            PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        ExpectExitsWithZero();
        EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
    }
}

TEST_F(WindowE2ETest, EnterPressesTheFocusedButtonElseConfigure) {
    MakeInstallation();
    test::MakeDirs(OneDrive());
    Start();
    // At start the installation's Browse button has the focus: Enter opens
    // the open-file dialog, not the Configure command.
    gui::PostKey(program.Focus(), VK_RETURN);
    HWND open = program.WaitForTitle("Open");
    ASSERT_NE(open, nullptr) << "Enter did not press the focused Browse button";
    // Had Enter pressed Configure as well, its message would come while the
    // Open dialog runs its own loop.
    HWND other = program.WaitForWindow([&](HWND w) { return w != window && w != open; }, 1500);
    EXPECT_EQ(other, nullptr) << "Enter also opened \"" << gui::Text(other) << "\"";
    ASSERT_TRUE(gui::PressButton(open, "Cancel"));
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(open); }, gui::ReactTimeoutMs));

    // On a radio button Enter presses the default button, Configure, which
    // refuses the provider's own folder.
    gui::Click(Control(idBtnOneDrive));
    ASSERT_TRUE(gui::WaitUntil([&] { return program.Focus() == Control(idBtnOneDrive); },
                               gui::ReactTimeoutMs));
    gui::PostKey(Control(idBtnOneDrive), VK_RETURN);
    gui::MessageDialog error = WaitForMessage("Error");
    EXPECT_EQ(error.text, "Create a folder for Tallyvane within the OneDrive location first");
    EXPECT_EQ(GetWindow(error.window, GW_OWNER), window);
    ASSERT_NO_FATAL_FAILURE(Answer(error, "OK"));
    HWND browser = WaitForBrowser("Locate a folder in OneDrive");
    ASSERT_NE(browser, nullptr);
    PostMessageA(browser, WM_CLOSE, 0, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(browser); }, gui::ReactTimeoutMs));
    // After the dialogs the focus is back where it was.
    EXPECT_TRUE(gui::WaitUntil([&] { return program.Focus() == Control(idBtnOneDrive); },
                               gui::ReactTimeoutMs));
}

// A refusal at Dropbox's own folder, chosen with its radio button: the error,
// then the browser at that folder; the window stays as it was and no file
// changes.
TEST_F(WindowE2ETest, RefusalShowsTheErrorAndChangesNothing) {
    MakeInstallation();
    test::MakeDirs(OneDrive());
    test::MakeDirs(Dropbox());
    const test::Snapshot before = test::SnapshotTree(sandbox.Root());
    Start();
    gui::Click(Control(idBtnDropbox));
    ASSERT_TRUE(
        gui::WaitUntil([&] { return gui::Checked(Control(idBtnDropbox)); }, gui::ReactTimeoutMs));
    const std::string field = Text(idTxtCloudDriveFolder);
    const std::string status = Text(idLblCloudDriveLocated1);

    gui::Click(Control(idBtnOK));
    gui::MessageDialog error = WaitForMessage("Error");
    EXPECT_EQ(error.text, "Create a folder for Tallyvane within the Dropbox location first");
    EXPECT_EQ(error.buttons, std::vector<std::string>{"OK"});
    ASSERT_NO_FATAL_FAILURE(Answer(error, "OK"));
    HWND browser = WaitForBrowser("Locate a folder in Dropbox");
    ASSERT_NE(browser, nullptr) << "the folder browser did not open";
    EXPECT_EQ(gui::Text(BrowserNameField(browser)), "Dropbox");
    ASSERT_TRUE(gui::PressButton(browser, "Cancel"));
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(browser); }, gui::ReactTimeoutMs));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(Text(idTxtCloudDriveFolder), field);
    EXPECT_EQ(Text(idLblCloudDriveLocated1), status);
    EXPECT_TRUE(program.TopLevelWindows() == std::vector<HWND>{window});
    EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
}

// The whole job as a user does it: move the data into a new folder inside
// OneDrive, let "another machine" add a record there, and return to the
// standard location taking the more complete cloud copy back.
TEST_F(WindowE2ETest, MovesIntoOneDriveAndBackWithTheRealDialogs) {
    sandbox.MakeInstallation(SampleIni, {{"2024-01", January}, {"2024-02", February}});
    test::WriteBytes(Install() + "Data\\notes.txt", "not a month\r\n");
    const std::string cloud = OneDrive() + "Tallyvane Data\\";
    test::MakeDirs(cloud);
    const std::string shownCloud = Lower(cloud);
    const std::string shownInstall = Lower(Install());

    // First run: the cloud field starts at the OneDrive folder itself, which
    // Configure refuses before it opens the browser there.
    Start();
    ASSERT_EQ(Text(idTxtCloudDriveFolder), Lower(OneDrive()));
    gui::Click(Control(idBtnOK));
    gui::MessageDialog error = WaitForMessage("Error");
    ASSERT_EQ(error.text, "Create a folder for Tallyvane within the OneDrive location first");
    ASSERT_NO_FATAL_FAILURE(Answer(error, "OK"));
    HWND browser = WaitForBrowser("Locate a folder in OneDrive");
    ASSERT_NE(browser, nullptr);
    ASSERT_NO_FATAL_FAILURE(ChooseFirstSubfolder(browser, "Tallyvane Data"));
    EXPECT_EQ(WaitForText(idTxtCloudDriveFolder, RemoveBackslash(shownCloud)),
              RemoveBackslash(shownCloud));
    EXPECT_EQ(Text(idLblCloudDriveLocated1),
              "A OneDrive folder HAS BEEN FOUND at a standard location.");

    gui::Click(Control(idBtnOK));
    gui::MessageDialog report = WaitForMessage("Information");
    EXPECT_EQ(report.text, "Tallyvane has been configured on this machine.\r\n\r\n"
                           "Redirection to \"" +
                               shownCloud +
                               "\" has been established.\r\n"
                               "Data files have been copied to \"" +
                               shownCloud + "\"");
    EXPECT_EQ(report.buttons, std::vector<std::string>{"OK"});
    ASSERT_NO_FATAL_FAILURE(Answer(report, "OK"));
    ExpectExitsWithZero();

    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), January);
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-02.txt"), February);
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\notes.txt"), "not a month\r\n");
    EXPECT_EQ(test::ReadBytes(cloud + "tvn.inf"), test::Sandbox::MarkerText);
    EXPECT_EQ(test::ReadBytes(cloud + "tvn.ini"), SampleIni);
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"),
              "[Setup]\r\nUser=Ann\r\nLanguage=en\r\nRedirect=" + RemoveBackslash(shownCloud) +
                  "\r\n\r\n[Options]\r\nWeekStart=1\r\n\r\n");
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-02.txt"), February);
    EXPECT_TRUE(test::BackupFolders(cloud).empty());
    EXPECT_TRUE(test::BackupFolders(Install()).empty());

    // Meanwhile another machine adds a record to the shared copy.
    const std::string february2 = std::string(February) + "2024-02-02\t08:00\t12:00\tGamma\r\n";
    test::WriteBytes(cloud + "Data\\2024-02.txt", february2);

    // Second run: back to the standard location with the disconnect box.
    Start();
    EXPECT_EQ(Text(idTxtCloudDriveFolder), shownCloud);
    EXPECT_EQ(Text(idLblCloudDriveLocated1), "Tallyvane IS configured to use a OneDrive location.");
    ASSERT_TRUE(gui::Enabled(Control(idChkDisconnect)));
    gui::Click(Control(idChkDisconnect));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Checked(Control(idChkDisconnect)); },
                               gui::ReactTimeoutMs));
    gui::Click(Control(idBtnOK));
    gui::MessageDialog prompt = WaitForMessage("Confirm");
    EXPECT_EQ(
        prompt.text,
        "OneDrive appears to have more data than the locally detected Tallyvane installation\r\n"
        "Do you wish to use the more complete files in OneDrive?\r\n"
        "(Recommended - The utility will back up any Tallyvane data files at the locally "
        "detected installation before copying OneDrive files)");
    EXPECT_EQ(prompt.buttons, (std::vector<std::string>{"&Yes", "&No", "Cancel"}));
    ASSERT_NO_FATAL_FAILURE(Answer(prompt, "&Yes"));
    report = WaitForMessage("Information");
    EXPECT_EQ(report.text, "Tallyvane has been configured on this machine.\r\n\r\n"
                           "Redirection to \"" +
                               shownCloud +
                               "\" has been removed.\r\n"
                               "Data files have been copied to \"" +
                               shownInstall + "\"");
    ASSERT_NO_FATAL_FAILURE(Answer(report, "OK"));
    ExpectExitsWithZero();

    // The installation has the more complete data and no redirection; what it
    // held before is kept in one backup folder inside it.
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-02.txt"), february2);
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), January);
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), SampleIni);
    EXPECT_EQ(test::ReadBytes(cloud + "tvn.ini"), SampleIni);
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-02.txt"), february2);
    std::vector<std::string> backups = test::BackupFolders(Install());
    ASSERT_EQ(backups.size(), 1u);
    const std::string backup = Install() + backups[0] + "\\";
    EXPECT_EQ(test::ReadBytes(backup + "Data\\2024-02.txt"), February);
    EXPECT_EQ(test::ReadBytes(backup + "tvn.ini"),
              "[Setup]\r\nUser=Ann\r\nLanguage=en\r\nRedirect=" + RemoveBackslash(shownCloud) +
                  "\r\n\r\n[Options]\r\nWeekStart=1\r\n\r\n");
    EXPECT_TRUE(test::BackupFolders(cloud).empty());
}

// A sync conflict copy where the data is copied from: its prompt comes first,
// Yes merges it into the month file, and the copy takes the merged file along.
TEST_F(WindowE2ETest, MergesAConflictCopyBeforeItCopies) {
    sandbox.MakeInstallation(SampleIni, {{"2024-01", January}});
    const std::string copy = Install() + "Data\\2024-01-LAPTOP.txt";
    const std::string merged = std::string(January) + "2024-01-10\t08:00\t09:00\tGamma\r\n";
    test::WriteBytes(copy, merged);
    const std::string cloud = OneDrive() + "Tallyvane Data\\";
    test::MakeDirs(cloud);
    Start();
    ASSERT_NO_FATAL_FAILURE(
        BrowseToFirstSubfolder("Locate a folder in OneDrive", "Tallyvane Data"));
    gui::Click(Control(idBtnOK));
    gui::MessageDialog prompt = WaitForMessage("Confirm");
    EXPECT_EQ(prompt.text,
              "The data folder \"" + Lower(Install()) +
                  "Data\\\" holds sync conflict copies with records that are missing "
                  "from their month's file:\r\n2024-01-LAPTOP.txt: 1 record\r\nTotal: "
                  "1 record\r\nMerge these records into the month files first?\r\n"
                  "(Recommended - the month files and the copies are backed up first)");
    EXPECT_EQ(prompt.buttons, (std::vector<std::string>{"&Yes", "&No", "Cancel"}));
    ASSERT_NO_FATAL_FAILURE(Answer(prompt, "&Yes"));
    gui::MessageDialog report = WaitForMessage("Information");
    EXPECT_NE(report.text.find("\r\nMerged 1 record of 1 sync conflict copy into 1 month file in"),
              std::string::npos)
        << report.text;
    ASSERT_NO_FATAL_FAILURE(Answer(report, "OK"));
    ExpectExitsWithZero();
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), merged);
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), merged);
    EXPECT_EQ(test::ReadBytes(copy), merged);
    const std::vector<std::string> backups = test::BackupFolders(Install());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(test::ReadBytes(Install() + backups[0] + "\\Data\\2024-01.txt"), January);
}

TEST_F(WindowE2ETest, TabVisitsTheControlsInOrderAndEnterTargetLooksDefault) {
    enum Redirect { None, InsideOneDrive, InsideDropbox };
    struct Case {
        const char* name;
        Redirect redirect;
        std::vector<int> order; // after the installation's Browse button
    } cases[] = {
        {"box-disabled",
         None,
         {idBtnOneDrive, idBtnBrowseCloudDrive, idBtnRestore, idBtnOK, idBtnCancel}},
        {"box-enabled",
         InsideOneDrive,
         {idBtnOneDrive, idBtnBrowseCloudDrive, idChkDisconnect, idBtnRestore, idBtnOK,
          idBtnCancel}},
        // Of the two radio buttons, Tab goes to the one that is checked.
        {"dropbox-checked",
         InsideDropbox,
         {idBtnDropbox, idBtnBrowseCloudDrive, idChkDisconnect, idBtnRestore, idBtnOK,
          idBtnCancel}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.Clear();
        test::MakeDirs(OneDrive());
        test::MakeDirs(Dropbox());
        MakeInstallation(
            c.redirect == InsideOneDrive  ? "[Setup]\r\nRedirect=" + OneDrive() + "Time\r\n"
            : c.redirect == InsideDropbox ? "[Setup]\r\nRedirect=" + Dropbox() + "Time\r\n"
                                          : std::string(SampleIni));
        Start();
        ASSERT_EQ(program.Focus(), Control(idBtnBrowseInstall));
        // The push button that Enter presses looks like the default one: the
        // focused push button, else Configure.
        auto lookIsRight = [&] {
            HWND focus = program.Focus();
            bool onPushButton = false;
            const int buttons[] = {idBtnBrowseInstall, idBtnBrowseCloudDrive, idBtnRestore, idBtnOK,
                                   idBtnCancel};
            for (int id : buttons)
                onPushButton = onPushButton || Control(id) == focus;
            for (int id : buttons) {
                bool looksDefault =
                    (GetWindowLongA(Control(id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
                bool shouldLook = onPushButton ? Control(id) == focus : id == idBtnOK;
                if (looksDefault != shouldLook)
                    return false;
            }
            return true;
        };
        EXPECT_TRUE(gui::WaitUntil(lookIsRight, gui::ReactTimeoutMs));
        std::vector<int> visited;
        for (size_t press = 0; press <= c.order.size(); ++press) {
            HWND focus = program.Focus();
            gui::PostKey(focus, VK_TAB);
            gui::WaitUntil([&] { return program.Focus() != focus; }, gui::ReactTimeoutMs);
            visited.push_back(GetDlgCtrlID(program.Focus()));
            EXPECT_TRUE(gui::WaitUntil(lookIsRight, gui::ReactTimeoutMs))
                << "wrong default look with the focus on " << visited.back();
        }
        std::vector<int> expected = c.order;
        expected.push_back(idBtnBrowseInstall); // and round again
        EXPECT_EQ(visited, expected);
        program.Kill();
    }
}

// The last configuration undone from the keyboard: Alt+R opens the history
// with that run selected and previewed, Enter restores it, and the files
// and the window are as before the configuration.
TEST_F(WindowE2ETest, RestoresTheLastConfigurationFromTheHistoryDialog) {
    sandbox.MakeInstallation(SampleIni, {{"2024-01", January}});
    const std::string cloud = OneDrive() + "Tallyvane Data\\";
    test::MakeDirs(cloud);
    Start();
    ASSERT_NO_FATAL_FAILURE(
        BrowseToFirstSubfolder("Locate a folder in OneDrive", "Tallyvane Data"));
    gui::Click(Control(idBtnOK));
    ASSERT_NO_FATAL_FAILURE(Answer(WaitForMessage("Information"), "OK"));
    ExpectExitsWithZero();
    ASSERT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), January);

    Start();
    PostMessageA(program.Focus(), WM_SYSCHAR, 'r', 0x20000001); // Alt+R
    HWND dialog = program.WaitForTitle("Tallyvane - Restore a Run");
    ASSERT_NE(dialog, nullptr) << "Alt+R did not open the history";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
    EXPECT_FALSE(IsWindowEnabled(window));
    HWND list = gui::FindById(dialog, idLstHistory), preview = gui::FindById(dialog, idTxtPreview);
    // The preview names the run selected (LB_GETTEXT does not cross processes
    // under Wine).
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return gui::Text(preview).find("the steps above pass") != std::string::npos; },
        gui::ReactTimeoutMs))
        << gui::Text(preview);
    EXPECT_NE(gui::Text(preview).find(": moved the data to \"" + Lower(cloud) + "\""),
              std::string::npos);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
    EXPECT_NE(gui::Text(preview).find("Would: Set aside \"" + Lower(cloud) + "tvn.ini\""),
              std::string::npos);
    // The focus starts on the list; Tab goes round the preview and the
    // buttons back to it.
    EXPECT_EQ(program.Focus(), list);
    std::vector<int> visited;
    for (int press = 0; press < 5; ++press) {
        HWND focus = program.Focus();
        ASSERT_NE(focus, nullptr);
        gui::PostKey(focus, VK_TAB);
        gui::WaitUntil([&] { return program.Focus() != focus; }, gui::ReactTimeoutMs);
        visited.push_back(GetDlgCtrlID(program.Focus()));
    }
    EXPECT_EQ(visited, (std::vector<int>{idTxtPreview, idBtnRestoreRun, idBtnOpenBackup,
                                         idBtnCloseHistory, idLstHistory}));

    gui::PostKey(list, VK_RETURN);
    gui::MessageDialog report = WaitForMessage("Information");
    EXPECT_TRUE(report.text.starts_with("The run has been undone.\r\nWhat the restore replaced or "
                                        "set aside is kept in \"" +
                                        Lower(Install()) + "TVN Backup "))
        << report.text;
    ASSERT_NO_FATAL_FAILURE(Answer(report, "OK"));
    // The restore is the newest run now, and can be undone the same way.
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::Text(preview).find(": undid the run ") != std::string::npos; },
        gui::ReactTimeoutMs))
        << gui::Text(preview);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
    // The arrow keys preview the run they select.
    ASSERT_TRUE(gui::WaitUntil([&] { return program.Focus() == list; }, gui::ReactTimeoutMs));
    gui::PostKey(list, VK_DOWN);
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::Text(preview).find(": moved the data to") != std::string::npos; },
        gui::ReactTimeoutMs));
    gui::PostKey(list, VK_ESCAPE);
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog); }, gui::ReactTimeoutMs));
    EXPECT_EQ(WaitForText(idLblCloudDriveLocated1,
                          "A OneDrive folder HAS BEEN FOUND at a standard location."),
              "A OneDrive folder HAS BEEN FOUND at a standard location.");
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), SampleIni);
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), January);
    EXPECT_TRUE(test::SnapshotTree(cloud).files.empty());
}

// A redirection that this utility did not make is replaced only after the
// warning: No leaves everything alone, Yes moves the data from there.
TEST_F(WindowE2ETest, ForeignRedirectionIsReplacedOnlyAfterTheWarning) {
    const std::string elsewhere = sandbox / "Elsewhere\\Time\\";
    MakeInstallation("[Setup]\r\nUser=Ann\r\nRedirect=" + RemoveBackslash(elsewhere) + "\r\n\r\n");
    test::WriteBytes(elsewhere + "tvn.ini", SampleIni);
    test::WriteBytes(elsewhere + "Data\\2024-01.txt", January);
    const std::string cloud = OneDrive() + "Tallyvane Data\\";
    test::MakeDirs(cloud);
    const std::string shownCloud = Lower(cloud);
    Start();
    ASSERT_EQ(Text(idLblCloudDriveLocated1),
              "A OneDrive folder HAS BEEN FOUND at a standard location.");
    ASSERT_EQ(Text(idTxtCloudDriveFolder), Lower(elsewhere));
    // The radio buttons put the OneDrive folder into the field, and the
    // browser opens there.
    gui::Click(Control(idBtnDropbox));
    ASSERT_EQ(WaitForText(idTxtCloudDriveFolder, ""), "");
    gui::Click(Control(idBtnOneDrive));
    ASSERT_EQ(WaitForText(idTxtCloudDriveFolder, Lower(OneDrive())), Lower(OneDrive()));
    ASSERT_NO_FATAL_FAILURE(
        BrowseToFirstSubfolder("Locate a folder in OneDrive", "Tallyvane Data"));
    ASSERT_EQ(WaitForText(idTxtCloudDriveFolder, RemoveBackslash(shownCloud)),
              RemoveBackslash(shownCloud));
    const test::Snapshot before = test::SnapshotTree(sandbox.Root());

    const char* const warning = "The locally detected Tallyvane installation uses redirection\r\n"
                                "OneDrive configuration will over-write these settings\r\n"
                                "Continue?";
    gui::Click(Control(idBtnOK));
    gui::MessageDialog dialog = WaitForMessage("Warning");
    EXPECT_EQ(dialog.text, warning);
    EXPECT_EQ(dialog.buttons, (std::vector<std::string>{"&Yes", "&No"}));
    ASSERT_NO_FATAL_FAILURE(Answer(dialog, "&No"));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);

    gui::Click(Control(idBtnOK));
    dialog = WaitForMessage("Warning");
    EXPECT_EQ(dialog.text, warning);
    ASSERT_NO_FATAL_FAILURE(Answer(dialog, "&Yes"));
    gui::MessageDialog report = WaitForMessage("Information");
    EXPECT_EQ(report.text, "Tallyvane has been configured on this machine.\r\n\r\n"
                           "Redirection to \"" +
                               Lower(elsewhere) +
                               "\" has been removed.\r\n"
                               "Redirection to \"" +
                               shownCloud +
                               "\" has been established.\r\n"
                               "Data files have been copied to \"" +
                               shownCloud + "\"");
    ASSERT_NO_FATAL_FAILURE(Answer(report, "OK"));
    ExpectExitsWithZero();
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), January);
    EXPECT_EQ(test::ReadBytes(cloud + "tvn.ini"), SampleIni);
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"),
              "[Setup]\r\nUser=Ann\r\nRedirect=" + RemoveBackslash(shownCloud) + "\r\n\r\n");
    EXPECT_EQ(test::ReadBytes(elsewhere + "tvn.ini"), SampleIni);
}

// An error of the settings file ends only the command: the application's
// error box shows it and the window stays open and usable.
TEST_F(WindowE2ETest, UnreadableSettingsFileIsReportedAndTheWindowStays) {
    MakeInstallation();
    test::MakeDirs(OneDrive());
    Start();
    gui::MessageDialog shown;
    {
        test::HeldFile lock(Install() + "tvn.ini", GENERIC_WRITE, 0);
        ASSERT_TRUE(lock.ok());
        gui::Click(Control(idBtnOK));
        shown = WaitForMessage("TVN - Cloud Drive Configuration");
    }
    EXPECT_EQ(shown.text, "Cannot open file " + Lower(Install()) + "tvn.ini.");
    EXPECT_EQ(shown.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(GetWindow(shown.window, GW_OWNER), window);
    ASSERT_NO_FATAL_FAILURE(Answer(shown, "OK"));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), SampleIni);

    // Still usable: the next press gets as far as refusing the provider's
    // own folder, and Escape then ends the program.
    gui::Click(Control(idBtnOK));
    gui::MessageDialog error = WaitForMessage("Error");
    EXPECT_EQ(error.text, "Create a folder for Tallyvane within the OneDrive location first");
    EXPECT_EQ(GetWindow(error.window, GW_OWNER), window);
    ASSERT_NO_FATAL_FAILURE(Answer(error, "OK"));
    HWND browser = WaitForBrowser("Locate a folder in OneDrive");
    ASSERT_NE(browser, nullptr);
    PostMessageA(browser, WM_CLOSE, 0, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(browser); }, gui::ReactTimeoutMs));
    ASSERT_TRUE(gui::WaitUntil([&] { return program.Focus() != nullptr; }, gui::ReactTimeoutMs));
    gui::PostKey(program.Focus(), VK_ESCAPE);
    ExpectExitsWithZero();
}

// A work OneDrive and no other provider folder: the window finds it, the data
// moves into a new folder there, and the next start counts that redirection
// as OneDrive's.
TEST_F(WindowE2ETest, FindsAWorkOneDriveAndCountsARedirectionIntoIt) {
    sandbox.MakeInstallation(SampleIni, {{"2024-01", January}});
    const std::string work = sandbox.Profile() + "\\OneDrive - Example Ltd\\";
    test::MakeDirs(work + "Tallyvane Data");
    const std::string cloud = Lower(work + "Tallyvane Data\\");
    Start();
    EXPECT_EQ(Text(idTxtCloudDriveFolder), Lower(work));
    ASSERT_NO_FATAL_FAILURE(
        BrowseToFirstSubfolder("Locate a folder in OneDrive", "Tallyvane Data"));
    gui::Click(Control(idBtnOK));
    gui::MessageDialog report = WaitForMessage("Information");
    EXPECT_EQ(report.text,
              "Tallyvane has been configured on this machine.\r\n\r\nRedirection to \"" + cloud +
                  "\" has been established.\r\nData files have been copied to \"" + cloud + "\"");
    ASSERT_NO_FATAL_FAILURE(Answer(report, "OK"));
    ExpectExitsWithZero();
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), January);

    Start();
    EXPECT_EQ(Text(idTxtCloudDriveFolder), cloud);
    EXPECT_EQ(Text(idLblCloudDriveLocated1), "Tallyvane IS configured to use a OneDrive location.");
    EXPECT_TRUE(gui::Enabled(Control(idChkDisconnect)));
}

// A second start brings the running window to the front, from behind
// another window or from the taskbar, or the question it is asking in the
// middle of a configuration, and ends.
TEST_F(WindowE2ETest, ASecondStartShowsTheRunningWindowAndEnds) {
    MakeInstallation();
    test::MakeDirs(OneDrive());
    Start();
    HWND other = CreateWindowExA(0, "STATIC", "in front", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    for (const char* how : {"behind", "minimised", "asking"}) {
        SCOPED_TRACE(how);
        HWND front = how == std::string("asking") ? nullptr : window;
        if (!front) {
            gui::Click(Control(idBtnOK));
            ASSERT_NE(front = program.WaitForTitle("Error"), nullptr);
        }
        if (how == std::string("minimised"))
            ShowWindow(window, SW_MINIMIZE);
        ASSERT_EQ(IsIconic(window) != FALSE, how == std::string("minimised"));
        ASSERT_TRUE(gui::WaitUntil(
            [&] { return SetForegroundWindow(other) && GetForegroundWindow() == other; },
            gui::ReactTimeoutMs));
        gui::Program second;
        ASSERT_TRUE(
            second.Start(gui::ExecutableFolder() + "TVNCloudDrive.exe", sandbox.Environment()));
        DWORD code = 99;
        ASSERT_TRUE(second.WaitForExit(gui::StartTimeoutMs, code)) << "the second copy stayed";
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(
            gui::WaitUntil([&] { return GetForegroundWindow() == front; }, gui::ReactTimeoutMs));
        EXPECT_FALSE(IsIconic(window));
    }
    DestroyWindow(other);
}

} // namespace
