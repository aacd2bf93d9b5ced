// The window's logic, headless: real sandbox folders, scripted dialogs.
#include <gtest/gtest.h>

#include "FormFixture.h"
#include "RestoreDialog.h"

namespace {

// What the window shows at start-up for each installation, provider folder
// and redirection it may find.
TEST_F(FormTest, StartUpShowsWhatWasDetected) {
    const char* const notFound = "A OneDrive folder HAS NOT BEEN FOUND in a standard location.";
    const char* const found = "A OneDrive folder HAS BEEN FOUND at a standard location.";
    const char* const inOneDrive = "Tallyvane IS configured to use a OneDrive location.";
    const char* const inDropbox = "Tallyvane IS configured to use a Dropbox location.";
    const char* const elsewhere = "An alternative data location IS configured, but it may not be "
                                  "being used for a Cloud Drive.";
    struct Case {
        const char* name;
        bool installation, oneDrive, dropbox;
        std::string redirect; // below the sandbox root; empty: none
        bool redirectMade;
        bool dropboxChecked;
        const char* status;
        bool disconnectEnabled;
    } cases[] = {
        {"nothing", false, false, false, "", false, false, notFound, false},
        {"installation only", true, false, false, "", false, false, notFound, false},
        {"OneDrive found, no redirect", true, true, false, "", false, false, found, false},
        {"redirect inside Dropbox", true, true, true, "Profile\\Dropbox\\TimeData", true, true,
         inDropbox, true},
        {"redirect inside OneDrive", true, true, false, "Profile\\OneDrive\\Tvn", true, false,
         inOneDrive, true},
        {"redirect inside OneDrive, Dropbox present", true, true, true,
         "Profile\\OneDrive\\Shared Time", false, false, inOneDrive, true},
        {"OneDrive found, redirect elsewhere", true, true, false, "Profile\\Elsewhere", true, false,
         found, false},
        {"no OneDrive, redirect elsewhere", true, false, false, "Profile\\Elsewhere", true, false,
         elsewhere, false},
        {"Dropbox only, redirect elsewhere", true, false, true, "Elsewhere\\Time", false, false,
         elsewhere, false},
        {"prefix is not containment", true, true, false, "Profile\\OneDrive backup\\Tvn", true,
         false, found, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.Clear();
        if (c.oneDrive)
            test::MakeDirs(OneDrive());
        if (c.dropbox)
            test::MakeDirs(Dropbox());
        const std::string redirect = c.redirect.empty() ? "" : sandbox / c.redirect;
        if (c.redirectMade)
            test::MakeDirs(redirect);
        if (c.installation)
            MakeInstallation(redirect);
        Start();
        EXPECT_EQ(form->txtInstallFolder.Caption(), Lower(Install()));
        EXPECT_EQ(form->lblExeLocated1.Caption(),
                  c.installation
                      ? "Tallyvane data files HAVE BEEN FOUND at a standard location."
                      : "Tallyvane data files have NOT BEEN FOUND at a standard location.");
        EXPECT_EQ(form->lblCloudDriveLocated1.Caption(), c.status);
        // The cloud field shows the redirection when there is one.
        EXPECT_EQ(form->txtCloudDriveFolder.Caption(), !redirect.empty() ? Lower(redirect + "\\")
                                                       : c.oneDrive      ? Lower(OneDrive())
                                                                         : "");
        EXPECT_EQ(form->RedirectFolder, redirect.empty() ? "" : Lower(redirect + "\\"));
        EXPECT_EQ(form->btnDropbox.Checked(), c.dropboxChecked);
        EXPECT_EQ(form->btnOneDrive.Checked(), !c.dropboxChecked);
        EXPECT_EQ(form->chkDisconnect.Enabled(), c.disconnectEnabled);
        EXPECT_FALSE(form->chkDisconnect.Checked());
        EXPECT_EQ(form->chkDisconnect.Caption(),
                  std::string("Configure the detected Tallyvane to use its standard (non-") +
                      (c.dropboxChecked ? "Dropbox" : "OneDrive") + ") data location.");
    }
}

// What follows from the start-up of the table's Dropbox case.
TEST_F(FormTest, RedirectionInsideDropboxStandsForDropbox) {
    test::MakeDirs(Dropbox() + "TimeData");
    test::MakeDirs(OneDrive());
    MakeInstallation(Dropbox() + "TimeData");
    Start();
    const std::string redirect = Lower(Dropbox() + "TimeData\\");
    EXPECT_EQ(form->ProviderFolder, redirect);
    EXPECT_FALSE(SuppressStatusUpdate);

    // Switching to OneDrive shows its folder; switching back restores the redirection.
    form->Click(form->btnOneDrive);
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), Lower(OneDrive()));
    EXPECT_EQ(form->lblCloudDriveLocated1.Caption(),
              "A OneDrive folder HAS BEEN FOUND at a standard location.");
    EXPECT_FALSE(form->chkDisconnect.Enabled());
    form->Click(form->btnDropbox);
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), redirect);
    EXPECT_TRUE(form->chkDisconnect.Enabled());
}

TEST_F(FormTest, ProviderSwitchingAndRepeatedClicks) {
    test::MakeDirs(Dropbox());
    MakeInstallation();
    Start();
    form->txtCloudDriveFolder.SetCaption("c:\\chosen\\");
    form->Click(form->btnOneDrive); // already selected: nothing happens
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), "c:\\chosen\\");
    form->Click(form->btnDropbox); // the status lines follow the switch
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), Lower(Dropbox()));
    EXPECT_EQ(form->lblCloudDriveLocated1.Caption(),
              "A Dropbox folder HAS BEEN FOUND at a standard location.");
    form->Click(form->btnOneDrive); // no OneDrive folder: the field empties
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), "");
    EXPECT_EQ(form->lblCloudDriveLocated1.Caption(),
              "A OneDrive folder HAS NOT BEEN FOUND in a standard location.");
}

TEST_F(FormTest, ProviderTextFollowsTheSelectedProvider) {
    Start();
    struct Case {
        const char* text;
        const char* asOneDrive;
        const char* asDropbox;
    } cases[] = {
        {"in Dropbox", "in OneDrive", "in Dropbox"},
        {"DropBox and dropbox", "OneDrive and OneDrive", "DropBox and dropbox"},
        {"non-Dropbox)", "non-OneDrive)", "non-Dropbox)"},
        {"OneDrive", "OneDrive", "Dropbox"},
        {"no provider", "no provider", "no provider"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(form->ProviderText(c.text), c.asOneDrive);
    }
    form->CheckRadio(form->btnDropbox);
    for (const Case& c : cases) {
        EXPECT_EQ(form->ProviderText(c.text), c.asDropbox);
    }
}

TEST_F(FormTest, BrowseForCloudFolder) {
    test::MakeDirs(OneDrive());
    MakeInstallation();
    Start();
    dialogs.browseAnswers.push_back({false, ""});
    form->Click(form->btnBrowseCloudDrive);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Shown::Kind::Browse);
    EXPECT_EQ(dialogs.shown[0].text, "Locate a folder in OneDrive");
    EXPECT_EQ(dialogs.shown[0].folder, Lower(OneDrive()));
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), Lower(OneDrive())); // cancelled: unchanged

    dialogs.browseAnswers.push_back({true, OneDrive() + "Time Data"});
    form->Click(form->btnBrowseCloudDrive);
    EXPECT_EQ(form->txtCloudDriveFolder.Caption(), Lower(OneDrive() + "Time Data"));

    form->CheckRadio(form->btnDropbox);
    form->Click(form->btnBrowseCloudDrive);
    EXPECT_EQ(dialogs.shown.back().text, "Locate a folder in Dropbox");
}

TEST_F(FormTest, LocateInstallation) {
    MakeInstallation();
    Start();
    const std::string other = sandbox / "Data\\TimeData\\";
    test::WriteBytes(other + "tvn.inf", "");
    test::MakeDirs(sandbox / "Empty");

    dialogs.openAnswers.push_back(other + "tvn.inf");
    form->Click(form->btnBrowseInstall);
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    const OpenFileRequest& request = dialogs.openRequests[0];
    EXPECT_EQ(request.initialDir, Lower(Install()));
    EXPECT_EQ(request.filter, "TVN INF files (tvn.inf)|tvn.inf|Any file (*.*)|*.*");
    EXPECT_EQ(request.defaultExt, "*.inf");
    EXPECT_EQ(request.flags & (OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                               OFN_FILEMUSTEXIST | OFN_NOTESTFILECREATE | OFN_ENABLESIZING),
              static_cast<DWORD>(OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                                 OFN_FILEMUSTEXIST | OFN_NOTESTFILECREATE | OFN_ENABLESIZING));
    EXPECT_EQ(form->txtInstallFolder.Caption(), Lower(sandbox / "Data\\TimeData"));

    // Any file counts by its folder; a folder without tvn.inf is refused.
    dialogs.openAnswers.push_back(sandbox / "Empty\\notes.txt");
    dialogs.messageAnswers.push_back(mrOk);
    form->Click(form->btnBrowseInstall);
    auto messages = dialogs.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The selected location does not contain a valid Tallyvane installation");
    EXPECT_EQ(messages[0].type, mtError);
    EXPECT_EQ(messages[0].buttons, mbOK);
    EXPECT_EQ(form->txtInstallFolder.Caption(), Lower(sandbox / "Data\\TimeData"));

    // Cancelled: nothing changes, nothing is shown.
    form->Click(form->btnBrowseInstall);
    EXPECT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(form->txtInstallFolder.Caption(), Lower(sandbox / "Data\\TimeData"));
}

TEST_F(FormTest, LocatingAnotherInstallationKeepsTheDetectedRedirection) {
    test::MakeDirs(OneDrive() + "Tvn");
    MakeInstallation(OneDrive() + "Tvn");
    Start();
    const std::string other = sandbox / "Other\\";
    test::WriteBytes(other + "tvn.inf", "");
    test::WriteBytes(other + "tvn.ini", "[Setup]\r\nRedirect=c:\\elsewhere\r\n");
    dialogs.openAnswers.push_back(other + "tvn.inf");
    form->Click(form->btnBrowseInstall);
    EXPECT_EQ(form->RedirectFolder, Lower(OneDrive() + "Tvn\\"));
    EXPECT_EQ(form->lblCloudDriveLocated1.Caption(),
              "Tallyvane IS configured to use a OneDrive location.");
    EXPECT_TRUE(form->chkDisconnect.Enabled());
}

TEST_F(FormTest, TickedDisconnectBoxStaysTickedWhenDisabled) {
    test::MakeDirs(Dropbox() + "Tvn");
    MakeInstallation(Dropbox() + "Tvn");
    Start();
    form->Click(form->chkDisconnect);
    EXPECT_TRUE(form->chkDisconnect.Checked());
    form->Click(form->btnOneDrive);
    EXPECT_FALSE(form->chkDisconnect.Enabled());
    EXPECT_TRUE(form->chkDisconnect.Checked());
}

TEST_F(FormTest, CancelClosesTheWindow) {
    Start();
    EXPECT_FALSE(form->CloseRequested());
    form->Click(form->btnCancel);
    EXPECT_TRUE(form->CloseRequested());
}

// The history dialog from the window, after a configuration into OneDrive:
// the run listed first and its undoing previewed; Restore puts the files
// back, or says that nothing is left, and the window detects again.
TEST_F(FormTest, RestoreDialogUndoesTheLastConfiguration) {
    const std::string moved = ": moved the data to \"" + Lower(OneDrive()) + "tvn\\\"";
    struct Case {
        const char* name;
        bool configure;
        bool goneSince; // all the run changed has changed again since
        std::string firstLine, preview;
        std::string report; // the start of the report; empty: Restore is disabled
    } cases[] = {
        {"no run", false, false,
         "No run of this utility is recorded for \"" + Lower(Install()) + "\".", "", ""},
        {"undone", true, false, moved, "Would: Set aside \"" + Lower(OneDrive()) + "tvn\\tvn.ini",
         "The run has been undone.\r\nWhat the restore replaced or set aside is kept in \"" +
             Lower(Install()) + "TVN Backup "},
        {"nothing left", true, true, moved, "nothing is left to undo; nothing has been changed.",
         "Nothing of "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.Clear();
        MakeInstallation();
        sandbox.WriteMonth(Install(), "2024-01", "rec\r\n");
        test::MakeDirs(OneDrive() + "Tvn");
        const std::string settings = test::ReadBytes(Install() + "tvn.ini");
        if (c.configure) {
            Start();
            form->txtCloudDriveFolder.SetCaption(Lower(OneDrive() + "Tvn"));
            dialogs.messageAnswers = {mrOk};
            form->Click(form->btnOK);
            ASSERT_TRUE(form->CloseRequested());
        }
        if (c.goneSince) {
            for (const char* made : {"tvn.ini", "tvn.inf", "Data\\2024-01.txt"})
                DeleteFileA((OneDrive() + "Tvn\\" + made).c_str());
            RemoveDirectoryA((OneDrive() + "Tvn\\Data").c_str());
            // Spelt otherwise, the same folder: the history still finds it.
            test::WriteBytes(Install() + "tvn.ini",
                             "[Setup]\r\nRedirect=" + OneDrive() + "Tvn\\\r\n");
        }
        const test::Snapshot before = test::SnapshotTree(sandbox.Root());
        Start();
        const std::string status = form->lblCloudDriveLocated1.Caption();
        dialogs.shown.clear();
        dialogs.messageAnswers = {mrOk};
        std::string reported;
        TRestoreDialog::SetModalSeam([&](TRestoreDialog& dialog) {
            ASSERT_FALSE(dialog.HistoryLines.empty());
            EXPECT_NE(dialog.HistoryLines[0].find(c.firstLine), std::string::npos)
                << dialog.HistoryLines[0];
            EXPECT_NE(dialog.txtPreview.Caption().find(c.preview), std::string::npos)
                << dialog.txtPreview.Caption();
            EXPECT_EQ(dialog.btnRestoreRun.Enabled(), !c.report.empty());
            dialog.Click(dialog.btnRestoreRun);
            if (!dialogs.Messages().empty())
                reported = dialogs.Messages()[0].text;
            // A restore that changed something is now the newest run.
            EXPECT_EQ(dialog.HistoryLines[0].find("undid the run") != std::string::npos,
                      std::string(c.name) == "undone");
            dialog.Click(dialog.btnClose);
        });
        form->Click(form->btnRestore);
        TRestoreDialog::SetModalSeam(nullptr);
        EXPECT_TRUE(reported.starts_with(c.report)) << reported;
        EXPECT_EQ(dialogs.Messages().size(), c.report.empty() ? 0u : 1u);
        if (std::string(c.name) == "undone") {
            EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), settings);
            EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), "rec\r\n");
            EXPECT_TRUE(test::SnapshotTree(OneDrive() + "Tvn").files.empty());
            EXPECT_EQ(form->lblCloudDriveLocated1.Caption(),
                      "A OneDrive folder HAS BEEN FOUND at a standard location.");
        } else {
            EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
            EXPECT_EQ(form->lblCloudDriveLocated1.Caption(), status);
        }
    }
}

} // namespace
