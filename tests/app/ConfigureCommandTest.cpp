// The Configure command from the window: refusals, warnings, the comparison
// prompts and their answers, on real sandbox folders with scripted dialogs.
#include "FormFixture.h"

#include <atomic>
#include <functional>
#include <stdexcept>

#include "BackgroundWork.h"
#include "Progress.h"
#include "TVNConfigUtil.h"

namespace {

class ConfigureCommandTest : public FormTest {
  protected:
    using Shown = test::ScriptedDialogs::Shown;

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> out;
        for (const auto& m : dialogs.Messages())
            out.push_back(m.text);
        return out;
    }
    static std::string FirstLine(const std::string& text) {
        return text.substr(0, text.find("\r\n"));
    }
};

TEST_F(ConfigureCommandTest, UnchangedEmptyLocationOffersTheSelectedProvidersFolder) {
    struct Case {
        bool selectDropbox;
        bool oneDriveExists;
        bool dropboxExists;
        bool expectOneDrive; // else Dropbox, or empty when neither
    } cases[] = {
        {false, true, true, true},
        {true, true, true, false},
        {false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dropbox selected " << c.selectDropbox);
        sandbox.Clear();
        MakeInstallation();
        Start(); // no provider folder yet: the cloud field is empty
        if (c.selectDropbox)
            form->Click(form->btnDropbox);
        if (c.oneDriveExists)
            test::MakeDirs(OneDrive());
        if (c.dropboxExists)
            test::MakeDirs(Dropbox());
        ASSERT_EQ(form->txtCloudDriveFolder.Caption(), "");
        dialogs.shown.clear();
        dialogs.messageAnswers = {mrOk};
        form->Click(form->btnOK);
        ASSERT_EQ(MessageTexts(),
                  std::vector<std::string>{"Tallyvane is already configured to use this location"});
        std::string expected = !c.selectDropbox && c.oneDriveExists ? Lower(OneDrive())
                               : c.selectDropbox                    ? Lower(Dropbox())
                                                                    : "";
        EXPECT_EQ(form->txtCloudDriveFolder.Caption(), expected);
        EXPECT_FALSE(form->CloseRequested());
    }
}

// A press on a provider's own folder, or on the location already in use, is
// refused; the window stays as it was and no file changes. At a provider's
// own folder the browser then opens there.
TEST_F(ConfigureCommandTest, RefusalsShowTheErrorAndChangeNothing) {
    struct Case {
        const char* name;
        bool oneDrive, dropbox, selectDropbox;
        const char* message;
        const char* browser; // caption of the browser that follows, or null
    } cases[] = {
        {"OneDrive's own folder", true, false, false,
         "Create a folder for Tallyvane within the OneDrive location first",
         "Locate a folder in OneDrive"},
        {"Dropbox's own folder", true, true, true,
         "Create a folder for Tallyvane within the Dropbox location first",
         "Locate a folder in Dropbox"},
        {"unchanged", false, false, false, "Tallyvane is already configured to use this location",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.Clear();
        MakeInstallation();
        if (c.oneDrive)
            test::MakeDirs(OneDrive());
        if (c.dropbox)
            test::MakeDirs(Dropbox());
        const test::Snapshot before = test::SnapshotTree(sandbox.Root());
        Start();
        if (c.selectDropbox)
            form->Click(form->btnDropbox);
        const std::string field = form->txtCloudDriveFolder.Caption();
        const std::string status = form->lblCloudDriveLocated1.Caption();
        dialogs.shown.clear();
        dialogs.messageAnswers = {mrOk};
        form->Click(form->btnOK);
        ASSERT_EQ(dialogs.shown.size(), c.browser ? 2u : 1u);
        EXPECT_EQ(dialogs.shown[0].text, c.message);
        EXPECT_EQ(dialogs.shown[0].type, mtError);
        EXPECT_EQ(dialogs.shown[0].buttons, mbOK);
        if (c.browser) {
            EXPECT_EQ(dialogs.shown[1].kind, Shown::Kind::Browse);
            EXPECT_EQ(dialogs.shown[1].text, c.browser);
            EXPECT_EQ(dialogs.shown[1].folder, Lower(c.selectDropbox ? Dropbox() : OneDrive()));
        }
        EXPECT_FALSE(form->CloseRequested());
        EXPECT_EQ(form->txtCloudDriveFolder.Caption(), field);
        EXPECT_EQ(form->lblCloudDriveLocated1.Caption(), status);
        EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
    }
}

TEST_F(ConfigureCommandTest, ProviderRootOrUnchangedDependsOnHowTheRedirectionWasFound) {
    // Inside Dropbox: the radio handler put the redirection into the provider
    // folder, so an unchanged press reads as the provider root.
    test::MakeDirs(Dropbox() + "Tvn");
    MakeInstallation(Dropbox() + "Tvn");
    Start();
    dialogs.messageAnswers = {mrOk};
    form->Click(form->btnOK);
    EXPECT_EQ(FirstLine(MessageTexts().at(0)),
              "Create a folder for Tallyvane within the Dropbox location first");

    // Inside OneDrive without a radio click: the provider folder is the root.
    sandbox.Clear();
    test::MakeDirs(OneDrive() + "Tvn");
    MakeInstallation(OneDrive() + "Tvn");
    Start();
    dialogs.shown.clear();
    dialogs.messageAnswers = {mrOk};
    form->Click(form->btnOK);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"Tallyvane is already configured to use this location"});
}

TEST_F(ConfigureCommandTest, ForeignRedirectionGoesOnOnlyOnYes) {
    struct Case {
        int answer;
        bool configured;
    } cases[] = {{mrNo, false}, {mrCancel /* title-bar close */, false}, {mrYes, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        sandbox.Clear();
        test::WriteBytes(sandbox / "Elsewhere\\Data\\2024-01.txt", "x\r\n");
        test::WriteBytes(sandbox / "Elsewhere\\tvn.ini", "[Setup]\r\n");
        test::MakeDirs(OneDrive() + "Tvn");
        MakeInstallation(sandbox / "Elsewhere");
        Start();
        form->txtCloudDriveFolder.SetCaption(Lower(OneDrive() + "tvn"));
        dialogs.shown.clear();
        dialogs.messageAnswers = {c.answer, mrOk};
        form->Click(form->btnOK);
        auto messages = dialogs.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages[0].text,
                  "The locally detected Tallyvane installation uses redirection\r\n"
                  "OneDrive configuration will over-write these settings\r\nContinue?");
        EXPECT_EQ(messages[0].type, mtWarning);
        EXPECT_EQ(messages[0].buttons, mbYesNo);
        EXPECT_EQ(messages.size(), c.configured ? 2u : 1u);
        EXPECT_EQ(test::IsFile(OneDrive() + "Tvn\\Data\\2024-01.txt"), c.configured);
        EXPECT_EQ(form->CloseRequested(), c.configured);
    }
}

TEST_F(ConfigureCommandTest, MoveToEmptyFolderCopiesWithoutAskingAndCloses) {
    test::MakeDirs(OneDrive() + "Tvn");
    MakeInstallation();
    test::WriteBytes(Install() + "Data\\2024-01.txt", "rec\r\n");
    Start();
    form->txtCloudDriveFolder.SetCaption(Lower(OneDrive() + "Tvn"));
    dialogs.messageAnswers = {mrOk};
    form->Click(form->btnOK);
    const std::string target = Lower(OneDrive() + "Tvn\\");
    ASSERT_EQ(MessageTexts(),
              std::vector<std::string>{"Tallyvane has been configured on this machine.\r\n\r\n"
                                       "Redirection to \"" +
                                       target +
                                       "\" has been established.\r\n"
                                       "Data files have been copied to \"" +
                                       target + "\""});
    EXPECT_EQ(dialogs.Messages()[0].type, mtInformation);
    EXPECT_EQ(test::ReadBytes(OneDrive() + "Tvn\\Data\\2024-01.txt"), "rec\r\n");
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"),
              "[Setup]\r\nUser=me\r\nRedirect=" + TVNConfigUtil::RemoveBackslash(target) +
                  "\r\n\r\n");
    EXPECT_TRUE(form->CloseRequested());
}

// The comparison prompts and their answers, on real folders.
TEST_F(ConfigureCommandTest, ComparisonPromptsAndAnswers) {
    enum Direction { BackToStandardLocation, IntoNewLocation };
    enum Result { Copied, NotCopied, Stopped };
    const std::string lessComplete = "The utility will copy files that appear to be less complete";
    const std::string moreComplete = "The utility will not copy files that appear more complete";
    const char* const oneDriveHasMore =
        "OneDrive appears to have more data than the locally detected Tallyvane installation";
    const char* const selectedHasMore =
        "The selected data file location appears to have more data than OneDrive";
    const char* const selectedHasOther =
        "The selected data file location has existing Tallyvane data files";
    const char* const oneDriveHasOther = "OneDrive has existing Tallyvane data files";
    struct Case {
        Direction direction;
        const char* otherData; // data at the location compared with "a b"
        const char* promptLine;
        TMsgDlgType promptType;
        int answer;                 // to the prompt
        const std::string* confirm; // the direction warning expected, or none
        int confirmAnswer;
        Result result;
    };
    // Every answer is a row of the decision table; these show that the window
    // asks what the table says and that the disk ends as the answer says.
    const Case cases[] = {
        {BackToStandardLocation, "a\r\n", oneDriveHasMore, mtConfirmation, mrYes, nullptr, 0,
         Copied},
        {BackToStandardLocation, "a\r\n", oneDriveHasMore, mtConfirmation, mrNo, &moreComplete,
         mrYes, NotCopied},
        {BackToStandardLocation, "a\r\nb\r\nc\r\n", selectedHasMore, mtConfirmation, mrCancel,
         nullptr, 0, Stopped},
        {BackToStandardLocation, "a\r\nc\r\n", selectedHasOther, mtWarning, mrYes, nullptr, 0,
         Copied},
        {IntoNewLocation, "a\r\n", selectedHasMore, mtConfirmation, mrNo, &moreComplete, mrNo,
         Stopped},
        {IntoNewLocation, "a\r\nb\r\nc\r\n", oneDriveHasMore, mtConfirmation, mrNo, &lessComplete,
         mrYes, Copied},
        {IntoNewLocation, "a\r\nc\r\n", oneDriveHasOther, mtWarning, mrNo, &moreComplete, mrYes,
         NotCopied},
        // Equal records (case aside): no prompt, nothing copied.
        {BackToStandardLocation, "A\r\nB\r\n", nullptr, mtWarning, 0, nullptr, 0, NotCopied},
        {IntoNewLocation, "b\r\na\r\n", nullptr, mtWarning, 0, nullptr, 0, NotCopied},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        sandbox.Clear();
        const std::string cloud = OneDrive() + "Tvn\\";
        // The data that ends up kept when copying: "a b" at the copy's source.
        std::string destination;
        if (c.direction == BackToStandardLocation) {
            test::WriteBytes(cloud + "tvn.ini", "[Setup]\r\n");
            test::WriteBytes(cloud + "Data\\2024-01.txt", "a\r\nb\r\n");
            MakeInstallation(cloud);
            test::WriteBytes(Install() + "Data\\2024-01.txt", c.otherData);
            Start();
            form->Click(form->chkDisconnect);
            destination = Install();
        } else {
            MakeInstallation();
            test::WriteBytes(Install() + "Data\\2024-01.txt", "a\r\nb\r\n");
            test::WriteBytes(cloud + "tvn.inf", "inf");
            test::WriteBytes(cloud + "Data\\2024-01.txt", c.otherData);
            Start();
            form->txtCloudDriveFolder.SetCaption(Lower(cloud));
            destination = cloud;
        }
        dialogs.shown.clear();
        dialogs.messageAnswers.clear();
        for (int answer : {c.answer, c.confirmAnswer})
            if (answer)
                dialogs.messageAnswers.push_back(answer);
        if (c.result != Stopped)
            dialogs.messageAnswers.push_back(mrOk); // the report
        form->Click(form->btnOK);

        auto messages = dialogs.Messages();
        size_t expectedCount = (c.promptLine ? 1 : 0) + (c.confirm ? 1 : 0) + (c.result != Stopped);
        ASSERT_EQ(messages.size(), expectedCount);
        if (c.promptLine) {
            EXPECT_TRUE(messages[0].text.starts_with(c.promptLine)) << messages[0].text;
            EXPECT_EQ(messages[0].type, c.promptType);
            EXPECT_EQ(messages[0].buttons, mbYesNoCancel);
        }
        if (c.confirm) {
            EXPECT_TRUE(messages[1].text.starts_with(*c.confirm)) << messages[1].text;
            EXPECT_EQ(messages[1].type, mtWarning);
            EXPECT_EQ(messages[1].buttons, mbYesNo);
        }
        const std::string data = test::ReadBytes(destination + "Data\\2024-01.txt");
        EXPECT_EQ(data == "a\r\nb\r\n", c.result == Copied) << data;
        EXPECT_EQ(test::BackupFolders(destination).empty(), c.result != Copied);
        EXPECT_EQ(form->CloseRequested(), c.result != Stopped);
        if (c.result != Stopped) {
            EXPECT_EQ(messages.back().type, mtInformation);
            EXPECT_EQ(messages.back().text.find("Data files have been copied") != std::string::npos,
                      c.result == Copied);
        }
    }
}

TEST_F(ConfigureCommandTest, ComparisonSkippedWhenTheProviderFolderIsMissing) {
    // Redirected inside Dropbox, disconnect ticked, then switched to a missing
    // OneDrive: the box is disabled but still ticked, so the command returns
    // to the standard location, after the warning, without a comparison.
    const std::string cloud = Dropbox() + "Tvn\\";
    test::WriteBytes(cloud + "tvn.ini", "[Setup]\r\n");
    test::WriteBytes(cloud + "Data\\2024-01.txt", "a\r\nb\r\n");
    MakeInstallation(cloud);
    test::WriteBytes(Install() + "Data\\2024-01.txt", "a\r\n");
    Start();
    form->Click(form->chkDisconnect);
    form->Click(form->btnOneDrive);
    ASSERT_FALSE(form->chkDisconnect.Enabled());
    dialogs.messageAnswers = {mrYes, mrOk};
    form->Click(form->btnOK);
    auto messages = dialogs.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(FirstLine(messages[0].text),
              "The locally detected Tallyvane installation uses redirection");
    EXPECT_EQ(messages[1].type, mtInformation);
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), "a\r\nb\r\n");
    // The cloud copy's settings were copied over and lost their empty [Setup].
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), "");
    EXPECT_EQ(test::ReadBytes(cloud + "tvn.ini"), "");
    EXPECT_TRUE(form->CloseRequested());
}

TEST_F(ConfigureCommandTest, FailedConfigurationKeepsTheWindowOpen) {
    test::MakeDirs(OneDrive() + "Tvn");
    MakeInstallation();
    test::WriteBytes(Install() + "tvn.ini", "[Server]\r\nServerPath=" + OneDrive() + "Tvn\r\n");
    Start();
    form->txtCloudDriveFolder.SetCaption(Lower(OneDrive() + "Tvn"));
    dialogs.messageAnswers = {mrOk};
    form->Click(form->btnOK);
    ASSERT_EQ(MessageTexts(),
              std::vector<std::string>{"Tallyvane configuration failed.\r\n"
                                       "Server and redirection paths must be different"});
    EXPECT_EQ(dialogs.Messages()[0].type, mtError);
    // The engine's report is the window's dialog, under the program's title.
    EXPECT_EQ(dialogs.Messages()[0].title, "TVN - Cloud Drive Configuration");
    EXPECT_FALSE(form->CloseRequested());
}

TEST_F(ConfigureCommandTest, SettingsErrorReachesTheErrorHandlerAndTheWindowStays) {
    test::MakeDirs(OneDrive() + "Tvn");
    MakeInstallation();
    Start();
    form->txtCloudDriveFolder.SetCaption(Lower(OneDrive() + "Tvn"));
    {
        test::HeldFile held(Install() + "tvn.ini", GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(held.ok());
        form->Click(form->btnOK);
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, Shown::Kind::ErrorBox);
    EXPECT_EQ(dialogs.shown[0].title, "TVN - Cloud Drive Configuration");
    EXPECT_EQ(dialogs.shown[0].text, "Cannot open file " + Lower(Install()) + "tvn.ini.");
    EXPECT_FALSE(form->CloseRequested());
    EXPECT_FALSE(test::IsDir(OneDrive() + "Tvn\\Data"));
}

// Stopped during the comparison: as if its prompt had been cancelled, with no
// prompt shown and nothing changed.
TEST_F(ConfigureCommandTest, StoppingTheComparisonEndsTheCommandWithNothingChanged) {
    struct StopAtOnce : TVNConfigUtil::ProgressObserver {
        int files = 0;
        void StageBegins(TVNConfigUtil::WorkStage, const std::string&, unsigned long long,
                         unsigned long long) override {}
        bool FileBegins(const std::string&, unsigned long long) override { return ++files < 2; }
    } stop;
    const std::string cloud = OneDrive() + "Tvn\\";
    MakeInstallation(cloud);
    test::WriteBytes(Install() + "Data\\2024-01.txt", "a\r\n");
    test::WriteBytes(cloud + "Data\\2024-01.txt", "b\r\n");
    test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
    Start();
    form->chkDisconnect.SetChecked(true);
    const test::Snapshot before = test::SnapshotTree(sandbox.Root());
    {
        TVNConfigUtil::ProgressScope scope(stop);
        form->Click(form->btnOK);
    }
    EXPECT_EQ(stop.files, 2);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
    EXPECT_FALSE(form->CloseRequested());
}

// Conflict copies merged, then the comparison's prompt cancelled: the merge
// stays, and the user is told so.
TEST_F(ConfigureCommandTest, AMergeBeforeACancelIsTold) {
    const std::string cloud = OneDrive() + "Tvn\\";
    MakeInstallation(cloud);
    test::WriteBytes(Install() + "Data\\2024-01.txt", "a\r\n");
    test::WriteBytes(cloud + "Data\\2024-01.txt", "b\r\n");
    test::WriteBytes(cloud + "Data\\2024-01-LAPTOP.txt", "b\r\nc\r\n");
    test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
    Start();
    form->chkDisconnect.SetChecked(true);
    dialogs.messageAnswers = {mrYes, mrCancel, mrOk};
    form->Click(form->btnOK);
    ASSERT_EQ(MessageTexts().size(), 3u);
    EXPECT_EQ(MessageTexts()[2].rfind("Tallyvane has not been configured. The sync conflict copies "
                                      "merged before stay merged:\r\nMerged 1 record",
                                      0),
              0u)
        << MessageTexts()[2];
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), "b\r\nc\r\n");
}

} // namespace

namespace {

// The ways out of work that runs on the worker thread, as the window runs it:
// each row acts once on the window's thread while the comparison is held at
// its first file (release lets it go on before the row's act is over). The
// window must come out usable (a second press works), and nothing may change
// unless the command went on.
TEST_F(ConfigureCommandTest, WorkEndsCleanlyOnEveryWayOut) {
    enum End { Prompted, ErrorBox, Ended, Stopped };
    struct Row {
        const char* name;
        std::function<void(TMainCloudDriveForm&, const std::function<void()>& release)> act;
        bool holdData; // a data file held without sharing: the comparison throws
        End end;
        const char* error;
    } rows[] = {
        {"the work throws", nullptr, true, ErrorBox, "Cannot open file "},
        {"the loop throws",
         [](TMainCloudDriveForm&, auto&) { throw std::runtime_error("loop failed"); }, false,
         ErrorBox, "loop failed."},
        {"a second Configure",
         [](TMainCloudDriveForm& form, auto&) {
             form.Click(form.btnOK);
             form.btnOKClick();
         },
         false, Prompted, nullptr},
        {"Cancel pressed", [](TMainCloudDriveForm& form, auto&) { form.Click(form.btnCancel); },
         false, Stopped, nullptr},
        {"a quit message", [](TMainCloudDriveForm&, auto&) { PostQuitMessage(0); }, false, Ended,
         nullptr},
        {"the session ends",
         [](TMainCloudDriveForm& form, const std::function<void()>& release) {
             EXPECT_FALSE(form.FormQueryEndSession());
             release(); // the end of the session waits for the work
             form.FormEndSession(true);
         },
         false, Ended, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sandbox.Clear();
        const std::string cloud = OneDrive() + "Tvn\\";
        MakeInstallation();
        test::WriteBytes(Install() + "Data\\2024-01.txt", "a\r\nb\r\n");
        test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
        test::WriteBytes(cloud + "Data\\2024-01.txt", "a\r\n");
        Start();
        EXPECT_TRUE(form->FormQueryEndSession());
        form->txtCloudDriveFolder.SetCaption(Lower(cloud));
        const test::Snapshot before = test::SnapshotTree(sandbox.Root());
        struct Gate : TVNConfigUtil::ProgressObserver {
            std::atomic<bool> open{false}, reached{false};
            void StageBegins(TVNConfigUtil::WorkStage, const std::string&, unsigned long long,
                             unsigned long long) override {}
            bool FileBegins(const std::string&, unsigned long long) override {
                reached = true;
                while (!open)
                    Sleep(1);
                return true;
            }
        } gate;
        TVNConfigUtil::ProgressScope held(gate);
        int turns = 0;
        // The look for sync conflict copies before it runs on its own.
        SetWorkLoopTurn([&] {
            if (!gate.reached || turns++ > 0)
                return;
            struct Release {
                Gate& gate;
                ~Release() { gate.open = true; }
            } release{gate};
            if (row.act)
                row.act(*form, [&] { gate.open = true; });
        });
        dialogs.shown.clear();
        dialogs.messageAnswers = {mrCancel};
        {
            test::HeldFile held(cloud + "Data\\2024-01.txt", GENERIC_READ,
                                row.holdData ? 0 : FILE_SHARE_READ);
            form->Click(form->btnOK);
        }
        SetWorkLoopTurn(nullptr);
        EXPECT_GT(turns, 0);
        std::vector<Shown::Kind> kinds;
        for (const Shown& shown : dialogs.shown)
            kinds.push_back(shown.kind);
        const std::vector<Shown::Kind> expected =
            row.end == Prompted   ? std::vector<Shown::Kind>{Shown::Kind::Message}
            : row.end == ErrorBox ? std::vector<Shown::Kind>{Shown::Kind::ErrorBox}
                                  : std::vector<Shown::Kind>{};
        EXPECT_EQ(kinds, expected);
        if (row.error && !dialogs.shown.empty()) {
            EXPECT_TRUE(dialogs.shown[0].text.starts_with(row.error)) << dialogs.shown[0].text;
        }
        EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
        EXPECT_EQ(form->CloseRequested(), row.end == Ended);
        if (row.end == Ended)
            continue;
        // The window is not left busy: the next press compares and asks.
        dialogs.shown.clear();
        dialogs.messageAnswers = {mrCancel};
        form->Click(form->btnOK);
        EXPECT_EQ(MessageTexts().size(), 1u);
    }
}

} // namespace
