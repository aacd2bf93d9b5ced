// The Configure command from the window: refusals, warnings, the comparison
// prompts and their answers, on real sandbox folders with scripted dialogs.
#include "FormFixture.h"

#include <atomic>
#include <functional>
#include <stdexcept>

#include "BackgroundWork.h"
#include "ConfigureCommand.h"
#include "ConfigureRun.h"
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
    EXPECT_EQ(messages[0].type, mtWarning);
    EXPECT_EQ(messages[0].buttons, mbYesNo);
    EXPECT_EQ(messages[1].type, mtInformation);
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), "a\r\nb\r\n");
    // The cloud copy's settings were copied over and lost their empty [Setup].
    EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), "");
    EXPECT_EQ(test::ReadBytes(cloud + "tvn.ini"), "");
    EXPECT_TRUE(form->CloseRequested());
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
    for (size_t question : {0, 1})
        EXPECT_EQ(dialogs.Messages()[question].buttons, mbYesNoCancel);
    EXPECT_EQ(dialogs.Messages()[2].title, "TVN - Cloud Drive Configuration");
    EXPECT_EQ(MessageTexts()[2].rfind("Tallyvane has not been configured. The sync conflict copies "
                                      "merged before stay merged:\r\nMerged 1 record",
                                      0),
              0u)
        << MessageTexts()[2];
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), "b\r\nc\r\n");
}

// The command itself, with a scripted front end: each row builds one shape
// of the sandbox, answers the questions in turn and may stop the work at a
// stage or hold a file. Whatever the end, the result must tell every change:
// nothing on disk changes unless it says so, and every backup it names
// exists (a changing run makes one for its record, also with nothing to back
// up).
TEST_F(ConfigureCommandTest, TheCommandTellsEveryEnd) {
    using namespace ConfigureDecisions;
    using TVNConfigUtil::WorkStage;
    struct Answers : FrontEnd {
        std::vector<int> answers;
        std::vector<std::string> asked; // "warning: " before a warning's text
        int Next(TMsgDlgType type, const std::string& text) {
            asked.push_back((type == mtWarning ? "warning: " : "") + text);
            return asked.size() <= answers.size() ? answers[asked.size() - 1] : mrCancel;
        }
        int AskWarning(const std::string& text) override { return Next(mtWarning, text); }
        int AskConflicts(const ConflictPrompt& p) override { return Next(p.type, p.text); }
        int AskComparison(const Prompt& p) override { return Next(p.type, p.text); }
        bool ConfirmDirection(bool copyData) override {
            return Next(mtWarning, TVNConfigUtil::CopyDirectionWarning(copyData)) == mrYes;
        }
        WorkEnd RunWork(const std::function<void()>& work, const wchar_t*) override {
            work();
            return WorkEnd::Finished;
        }
    };
    // Stops the work at the nth stage of a kind to begin.
    struct StopAt : TVNConfigUtil::ProgressObserver {
        std::optional<std::pair<WorkStage, int>> at;
        int begun = 0;
        bool stop = false;
        void StageBegins(WorkStage stage, const std::string&, unsigned long long,
                         unsigned long long) override {
            stop = at && stage == at->first && ++begun == at->second;
        }
        bool FileBegins(const std::string&, unsigned long long) override { return !stop; }
    };
    // Back: the installation is redirected to the cloud folder, which holds
    // "a b"; Into: the installation holds "a b", the cloud folder an
    // installation. Each with `other` as the other place's records.
    enum Shape { IntoEmpty, Back, Into, Foreign, Conflicts, ProviderRoot, Unchanged, ServerClash };
    const char* const more = "OneDrive appears to have more data than the locally detected";
    const char* const selectedMore = "The selected data file location appears to have more data";
    const char* const less = "warning: The utility will copy files that appear to be less";
    const char* const notMore = "warning: The utility will not copy files that appear more";
    const char* const merge = "The data folder \"";
    struct Row {
        const char* name;
        Shape shape;
        const char* other;
        std::vector<int> answers;
        std::vector<const char*> asked; // the start of each question asked
        End end;
        bool copied, changed;
        size_t backups;
        const char* says = ""; // in the text the front ends show
        std::optional<std::pair<WorkStage, int>> stopAt = {};
        const char* held = nullptr; // a file held unshared, below the sandbox
        bool dryRun = false;
    } rows[] = {
        // clang-format off
        {"into an empty folder", IntoEmpty, "", {}, {}, End::Configured, true, true, 1, "Data files have been copied"},
        {"a dry run", IntoEmpty, "", {}, {}, End::Configured, false, false, 0, "", {}, nullptr, true},
        {"the provider's own folder", ProviderRoot, "", {}, {}, End::Refused, false, false, 0, "Create a folder for Tallyvane within the OneDrive location first"},
        {"unchanged", Unchanged, "", {}, {}, End::Unchanged, false, false, 0, "already configured"},
        {"a run the checks refuse", ServerClash, "", {}, {}, End::Refused, false, false, 0, "Server and redirection paths must be different"},
        {"settings not readable", IntoEmpty, "", {}, {}, End::Refused, false, false, 0, "Cannot open file", {}, "AppData\\Brimlace\\Tallyvane\\tvn.ini"},
        {"a foreign redirection, No", Foreign, "", {mrNo}, {"warning: The locally detected"}, End::Unanswered, false, false, 0},
        {"a foreign redirection, closed", Foreign, "", {mrCancel}, {"warning: The locally detected"}, End::Unanswered, false, false, 0},
        {"a foreign redirection, Yes", Foreign, "", {mrYes}, {"warning: The locally detected"}, End::Configured, true, true, 1},
        // The comparison's prompts and answers.
        {"back, cloud more, Yes", Back, "a\r\n", {mrYes}, {more}, End::Configured, true, true, 1},
        {"back, cloud more, No", Back, "a\r\n", {mrNo, mrYes}, {more, notMore}, End::Configured, false, true, 1},
        {"back, here more, Cancel", Back, "a\r\nb\r\nc\r\n", {mrCancel}, {selectedMore}, End::Unanswered, false, false, 0},
        {"back, each lacks, Yes", Back, "a\r\nc\r\n", {mrYes}, {"warning: The selected data file location has existing"}, End::Configured, true, true, 1},
        {"into, here more, No, No", Into, "a\r\n", {mrNo, mrNo}, {selectedMore, notMore}, End::Unanswered, false, false, 0},
        {"into, cloud more, No, Yes", Into, "a\r\nb\r\nc\r\n", {mrNo, mrYes}, {more, less}, End::Configured, true, true, 1},
        {"into, each lacks, No, Yes", Into, "a\r\nc\r\n", {mrNo, mrYes}, {"warning: OneDrive has existing", notMore}, End::Configured, false, true, 1},
        {"back, equal records", Back, "A\r\nB\r\n", {}, {}, End::Configured, false, true, 1},
        {"into, equal records", Into, "b\r\na\r\n", {}, {}, End::Configured, false, true, 1},
        {"the comparison stopped", Back, "a\r\n", {}, {}, End::Cancelled, false, false, 0, "cancelled during the comparison.\r\nNothing has been changed.", std::pair(WorkStage::Comparing, 1)},
        // Sync conflict copies: what a merge did is told on every way out.
        {"copies left, Cancel", Conflicts, "", {mrCancel}, {merge}, End::Unanswered, false, false, 0},
        {"copies left, No, then a decision", Conflicts, "", {mrNo}, {merge, "warning: The"}, End::Unanswered, false, false, 0},
        {"merged, then a decision", Conflicts, "", {mrYes}, {merge, "warning: The"}, End::Unanswered, false, true, 1, "stay merged; the month files as they were are kept in"},
        {"merged, then Cancel", Conflicts, "", {mrYes, mrYes}, {merge, "warning: The"}, End::Cancelled, false, true, 2, "was cancelled.\r\nNo settings have been changed.", std::pair(WorkStage::Copying, 1)},
        {"merged, then an error", Conflicts, "", {mrYes}, {merge}, End::Failed, false, true, 1, "stay merged", {}, "AppData\\Brimlace\\Tallyvane\\Data\\2024-01.txt"},
        {"merged, then configured", Conflicts, "", {mrYes, mrYes}, {merge, "warning: The"}, End::Configured, true, true, 2, "Tallyvane has been configured"},
        {"merging stopped", Conflicts, "", {mrYes}, {merge}, End::Cancelled, false, true, 1, "have not been merged.", std::pair(WorkStage::BackingUp, 1)},
        // clang-format on
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sandbox.Clear();
        const std::string cloud = OneDrive() + "Tvn\\";
        std::string to = cloud;
        test::MakeDirs(cloud);
        switch (row.shape) {
        case IntoEmpty:
        case ProviderRoot:
        case Unchanged:
        case ServerClash:
            MakeInstallation(row.shape == Unchanged ? cloud : "");
            if (row.shape == ServerClash) // with the folder the run would make first
                test::MakeDirs(cloud + "Data");
            if (row.shape == ServerClash)
                test::WriteBytes(Install() + "tvn.ini", "[Server]\r\nServerPath=" + cloud + "\r\n");
            sandbox.WriteMonth(Install(), "2024-01", "a\r\nb\r\n");
            if (row.shape == ProviderRoot)
                to = OneDrive();
            break;
        case Back:
        case Conflicts:
            MakeInstallation(cloud);
            sandbox.WriteMonth(cloud, "2024-01", row.shape == Back ? "a\r\nb\r\n" : "b\r\n");
            sandbox.WriteMonth(Install(), "2024-01", row.shape == Back ? row.other : "a\r\n");
            if (row.shape == Conflicts) {
                test::WriteBytes(cloud + "Data\\2024-01-LAPTOP.txt", "b\r\nc\r\n");
                test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
            }
            to.clear();
            break;
        case Into:
        case Foreign:
            MakeInstallation(row.shape == Foreign ? sandbox / "Elsewhere" : "");
            sandbox.WriteMonth(row.shape == Foreign ? sandbox / "Elsewhere\\" : Install(),
                               "2024-01", "a\r\nb\r\n");
            if (row.shape == Into) {
                test::WriteBytes(cloud + "tvn.inf", test::Sandbox::MarkerText);
                sandbox.WriteMonth(cloud, "2024-01", row.other);
            }
            break;
        }
        const std::string install = TVNConfigUtil::NormalForm(Install());
        const std::string redirect = TVNConfigUtil::NormalForm(
            TVNConfigUtil::AddBackslash(TVNConfigUtil::ReadRedirection(install)));
        const test::Snapshot before = test::SnapshotTree(sandbox.Root());
        Answers answers;
        answers.answers = row.answers;
        StopAt stop;
        stop.at = row.stopAt;
        Result result;
        {
            TVNConfigUtil::ProgressScope scope(stop);
            test::HeldFile held(sandbox / (row.held ? row.held : "none"), GENERIC_READ, 0);
            result = RunConfigureCommand({install, TVNConfigUtil::NormalForm(to), redirect,
                                          Lower(OneDrive()), Provider::OneDrive, row.dryRun},
                                         answers);
        }
        EXPECT_EQ(result.end, row.end);
        ASSERT_EQ(answers.asked.size(), row.asked.size());
        for (size_t i = 0; i < row.asked.size(); ++i)
            EXPECT_TRUE(answers.asked[i].starts_with(row.asked[i])) << answers.asked[i];
        EXPECT_EQ(result.run.copied, row.copied);
        EXPECT_EQ(result.changed, row.changed);
        EXPECT_EQ(result.backupFolders.size(), row.backups);
        for (const std::string& folder : result.backupFolders)
            EXPECT_TRUE(test::IsDir(folder)) << folder;
        if (!row.changed) {
            EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);
        }
        const std::string told = Told(result);
        EXPECT_NE(told.find(row.says), std::string::npos) << told;
        if (row.copied) {
            EXPECT_EQ(test::ReadBytes((to.empty() ? Install() : to) + "Data\\2024-01.txt"),
                      row.shape == Conflicts ? "b\r\nc\r\n" : "a\r\nb\r\n");
        }
    }
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
