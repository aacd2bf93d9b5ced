// The command line: how it reads its arguments and answers the prompts (as
// tables, no sandbox), and a few runs of TVNCloudDrive.com on the sandbox.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "FileSystem.h"
#include "FileSystemText.h"
#include "FormFixture.h"
#include "SingleInstance.h"
#include "Progress.h"

#include <algorithm>
#include <memory>

using namespace CommandLine;
using ConfigureDecisions::Provider;

namespace {

TEST(CommandLine, ReadsItsArguments) {
    using C = Arguments::Command;
    struct Row {
        std::vector<std::wstring> arguments;
        int exitCode;
        const char* error; // start of it
        C command;
        std::string to;
        std::optional<Keep> keep;
        std::optional<Provider> provider;
        std::optional<bool> merge = {};
    } rows[] = {
        // clang-format off
        {{}, ExitUsage, "No command given.", C::Help, "", {}, {}},
        {{L"-h"}, ExitDone, "", C::Help, "", {}, {}},
        {{L"configure", L"/?"}, ExitDone, "", C::Help, "", {}, {}},
        {{L"--VERSION"}, ExitDone, "", C::Version, "", {}, {}},
        {{L"Status", L"/JSON"}, ExitDone, "", C::Status, "", {}, {}},
        {{L"configure", L"--to", L"C:\\A B"}, ExitDone, "", C::Configure, "C:\\A B", {}, {}},
        // A relative folder is taken from the current one.
        {{L"configure", L"--to", L"Tally Data"}, ExitDone, "", C::Configure, TVNConfigUtil::AddBackslash(FileSystem::ExpandFullPath(".")) + "Tally Data", {}, {}},
        {{L"configure", L"--TO=c:\\a", L"--keep", L"current"}, ExitDone, "", C::Configure, "c:\\a", Keep::Current, {}},
        {{L"configure", L"/to:c:\\a", L"/Keep:More-Complete", L"/provider:DROPBOX"}, ExitDone, "", C::Configure, "c:\\a", Keep::MoreComplete, Provider::Dropbox},
        {{L"configure", L"--standard", L"-keep=destination"}, ExitDone, "", C::Configure, "", Keep::Destination, {}},
        {{L"configure", L"--standard", L"/merge-conflicts:No"}, ExitDone, "", C::Configure, "", {}, {}, false},
        {{L"configure", L"-merge-conflicts=maybe"}, ExitUsage, "--merge-conflicts", C::Help, "", {}, {}},
        {{L"configure"}, ExitUsage, "configure needs either", C::Help, "", {}, {}},
        // Drive-relative: taken from a current folder the user may not share.
        {{L"configure", L"--to", L"C:Data"}, ExitUsage, "The path given to --to (\"C:Data\") is relative to drive C's", C::Help, "", {}, {}},
        {{L"configure", L"--standard", L"--install", L"d:"}, ExitUsage, "The path given to --install (\"d:\")", C::Help, "", {}, {}},
        {{L"configure", L"--to", L"c:\\a", L"--standard"}, ExitUsage, "configure needs either", C::Help, "", {}, {}},
        {{L"configure", L"--to"}, ExitUsage, "The switch \"to\" needs a value.", C::Help, "", {}, {}},
        {{L"configure", L"--standard=yes"}, ExitUsage, "The switch \"standard\" takes no value.", C::Help, "", {}, {}},
        {{L"configure", L"--standard", L"--keep", L"both"}, ExitUsage, "--keep is current", C::Help, "", {}, {}},
        {{L"configure", L"--standard", L"--provider", L"box"}, ExitUsage, "The provider is", C::Help, "", {}, {}},
        {{L"configure", L"--bogus"}, ExitUsage, "Unknown switch \"--bogus\".", C::Help, "", {}, {}},
        {{L"frobnicate"}, ExitUsage, "Unknown command \"frobnicate\".", C::Help, "", {}, {}},
        {{L"status", L"configure"}, ExitUsage, "Unexpected argument", C::Help, "", {}, {}},
        {{L"status", L"--keep", L"current"}, ExitUsage, "The switch \"keep\" does not go with", C::Help, "", {}, {}},
        {{L"restore", L"--last", L"--dry-run"}, ExitDone, "", C::Restore, "", {}, {}},
        {{L"Restore", L"20261209T175419199Z-VM", L"--json"}, ExitDone, "", C::Restore, "", {}, {}},
        {{L"restore"}, ExitUsage, "restore needs either --last or the id", C::Help, "", {}, {}},
        {{L"restore", L"a", L"b"}, ExitUsage, "Unexpected argument \"b\"", C::Help, "", {}, {}},
        {{L"history", L"--last"}, ExitUsage, "The switch \"last\" does not go with", C::Help, "", {}, {}},
        // What "C:\Folder\" --json becomes after the command line is split.
        {{L"configure", L"--to", L"C:\\Folder\" --json"}, ExitRefused, "The path given to --to contains a double quote", C::Help, "", {}, {}},
        {{L"configure", L"--to", L"C:\\\x4e2d\x6587"}, ExitRefused, "The path given to --to (\"C:\\??\") has a character", C::Help, "", {}, {}},
        // clang-format on
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const std::wstring& argument : row.arguments)
            shown.append(" ").append(argument.begin(), argument.end());
        SCOPED_TRACE(shown);
        const Parsed parsed = Parse(row.arguments);
        EXPECT_EQ(parsed.exitCode, row.exitCode);
        EXPECT_TRUE(parsed.error.starts_with(row.error)) << parsed.error;
        if (parsed.exitCode != ExitDone)
            continue;
        EXPECT_EQ(parsed.arguments.command, row.command);
        EXPECT_EQ(parsed.arguments.to, row.to);
        EXPECT_EQ(parsed.arguments.keep, row.keep);
        EXPECT_EQ(parsed.arguments.provider, row.provider);
        EXPECT_EQ(parsed.arguments.mergeConflicts, row.merge);
    }
}

// Where the window asks, --keep answers: as the recommendation, or ends the
// command where there is none to follow.
TEST(CommandLine, KeepAnswersThePrompts) {
    const std::optional<Keep> none;
    struct Row {
        bool yesCopies, recommendsYes;
        std::optional<Keep> keep;
        bool goOn, copyData, warnOpposite;
    } rows[] = {
        // One copy more complete, Yes copies it over the other.
        {true, true, none, false, false, false},
        {true, true, Keep::Current, true, true, false},
        {true, true, Keep::Destination, true, false, true},
        {true, true, Keep::MoreComplete, true, true, false},
        // The destination more complete, Yes keeps it.
        {false, true, Keep::Current, true, true, true},
        {false, true, Keep::Destination, true, false, false},
        {false, true, Keep::MoreComplete, true, false, false},
        // Each copy holds records the other lacks: nothing is recommended.
        {true, false, Keep::Current, true, true, false},
        {true, false, Keep::Destination, true, false, true},
        {true, false, Keep::MoreComplete, false, false, false},
    };
    for (const Row& row : rows) {
        ConfigureDecisions::Prompt prompt;
        prompt.yesCopies = row.yesCopies;
        prompt.recommendsYes = row.recommendsYes;
        const Answer answer = AnswerPrompt(prompt, row.keep);
        SCOPED_TRACE(testing::Message()
                     << row.yesCopies << row.recommendsYes << (row.keep ? int(*row.keep) : -1));
        EXPECT_EQ(answer.goOn, row.goOn);
        if (row.goOn) {
            EXPECT_EQ(answer.copyData, row.copyData);
            EXPECT_EQ(answer.warnOpposite, row.warnOpposite);
        }
    }
}

// TVNCloudDrive.com beside this test, on the sandbox (whose variables this
// process passes on): its exit code and what it wrote to each stream.
struct ConsoleRun {
    DWORD exitCode = ~0u;
    std::string out, err;
};

// Runs the console with its standard streams in files in the sandbox: run
// gets the two handles and returns the exit code.
template <typename Run> ConsoleRun WithStreams(const test::Sandbox& sandbox, Run run) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const std::string outFile = sandbox / "stdout.txt", errFile = sandbox / "stderr.txt";
    ConsoleRun result;
    {
        UniqueFileHandle out(CreateFileA(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         &inherited, CREATE_ALWAYS, 0, nullptr));
        UniqueFileHandle err(CreateFileA(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         &inherited, CREATE_ALWAYS, 0, nullptr));
        result.exitCode = run(out.get(), err.get());
    }
    result.out = test::ReadBytes(outFile);
    result.err = test::ReadBytes(errFile);
    DeleteFileA(outFile.c_str());
    DeleteFileA(errFile.c_str());
    return result;
}

ConsoleRun RunConsole(const test::Sandbox& sandbox, const std::string& arguments) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string program = FileSystem::ExtractFilePath(self) + "TVNCloudDrive.com";
    std::string command = "\"" + program + "\" " + arguments;
    return WithStreams(sandbox, [&](HANDLE out, HANDLE err) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION info{};
        DWORD exitCode = ~0u;
        if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            nullptr, &startup, &info))
            return exitCode;
        UniqueKernelHandle process(info.hProcess), thread(info.hThread);
        if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
            TerminateProcess(process.get(), 255);
        GetExitCodeProcess(process.get(), &exitCode);
        return exitCode;
    });
}

class ConsoleTest : public FormTest {};

// The console's front end in this process, under the observer in force,
// which may stop its work.
ConsoleRun RunHere(const test::Sandbox& sandbox, const std::vector<std::wstring>& arguments) {
    return WithStreams(sandbox, [&](HANDLE out, HANDLE err) {
        const HANDLE oldOut = GetStdHandle(STD_OUTPUT_HANDLE);
        const HANDLE oldErr = GetStdHandle(STD_ERROR_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, out);
        SetStdHandle(STD_ERROR_HANDLE, err);
        const DWORD exitCode = DWORD(Run(arguments));
        SetStdHandle(STD_OUTPUT_HANDLE, oldOut);
        SetStdHandle(STD_ERROR_HANDLE, oldErr);
        return exitCode;
    });
}

// What the JSON says was done, on every way out: "copied" is what happened,
// "changed" and "backupFolders" count merges too, and the exit code follows.
TEST_F(ConsoleTest, EveryResultSaysWhatWasDone) {
    using TVNConfigUtil::WorkStage;
    struct StopAtCopy : TVNConfigUtil::ProgressObserver {
        bool copying = false;
        void StageBegins(WorkStage stage, const std::string&, unsigned long long,
                         unsigned long long) override {
            copying = stage == WorkStage::Copying;
        }
        bool FileBegins(const std::string&, unsigned long long) override { return !copying; }
    };
    const std::string oneDrive = TVNConfigUtil::RemoveBackslash(OneDrive());
    const std::wstring cloud(oneDrive.begin(), oneDrive.end());
    struct Row {
        const char* name;
        bool conflicts; // else the data is moved into an empty folder
        std::vector<std::wstring> arguments;
        bool stopAtCopy;
        const char* held; // a file held unshared, below the installation
        DWORD exitCode;
        const char* status;
        bool copied, changed;
        size_t backups;
    } rows[] = {
        // clang-format off
        {"a dry run", false, {L"--to", cloud + L"\\Tvn", L"--dry-run"}, false, nullptr, ExitDone, "would-configure", false, false, 0},
        {"refused", false, {L"--to", cloud}, false, nullptr, ExitRefused, "refused", false, false, 0},
        {"copied", false, {L"--to", cloud + L"\\Tvn"}, false, nullptr, ExitDone, "configured", true, true, 1},
        {"cancelled during the copy", false, {L"--to", cloud + L"\\Tvn"}, true, nullptr, ExitCancelled, "cancelled", false, true, 1},
        {"merged, then a decision", true, {L"--standard", L"--merge-conflicts", L"yes"}, false, nullptr, ExitDecisionNeeded, "decision-needed", false, true, 1},
        {"merged, then an error", true, {L"--standard", L"--merge-conflicts", L"yes"}, false, "Data\\2024-01.txt", ExitFailed, "failed", false, true, 1},
        {"merged, then cancelled", true, {L"--standard", L"--merge-conflicts", L"yes", L"--keep", L"current"}, true, nullptr, ExitCancelled, "cancelled", false, true, 2},
        // clang-format on
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sandbox.Clear();
        const std::string tvn = OneDrive() + "Tvn\\";
        test::MakeDirs(tvn);
        MakeInstallation(row.conflicts ? tvn : "");
        sandbox.WriteMonth(Install(), "2024-01", "a\r\nb\r\n");
        if (row.conflicts) {
            sandbox.WriteMonth(tvn, "2024-01", "a\r\n");
            test::WriteBytes(tvn + "Data\\2024-01-LAPTOP.txt", "a\r\nc\r\n");
        }
        const std::string settings = test::ReadBytes(Install() + "tvn.ini");
        StopAtCopy stop;
        std::vector<std::wstring> arguments = {L"configure", L"--json"};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        ConsoleRun run;
        {
            const std::unique_ptr<TVNConfigUtil::ProgressScope> scope(
                row.stopAtCopy ? new TVNConfigUtil::ProgressScope(stop) : nullptr);
            test::HeldFile held(Install() + (row.held ? row.held : "none"), GENERIC_READ, 0);
            run = RunHere(sandbox, arguments);
        }
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out;
        auto says = [&](const std::string& field) {
            EXPECT_NE(run.out.find(field), std::string::npos) << field << "\n" << run.out;
        };
        says("\"status\": \"" + std::string(row.status) + "\"");
        says(std::string("\"copied\": ") + (row.copied ? "true" : "false"));
        says(std::string("\"changed\": ") + (row.changed ? "true" : "false"));
        const size_t list = run.out.find("\"backupFolders\": [");
        ASSERT_NE(list, std::string::npos) << run.out;
        // An empty list is "[]"; a folder's name holds brackets of its own.
        const size_t end = run.out.find(run.out.compare(list + 18, 1, "]") ? "\n  ]" : "]", list);
        const std::string folders = run.out.substr(list, end - list);
        EXPECT_EQ(size_t(std::count(folders.begin(), folders.end(), '"')), 2 + 2 * row.backups)
            << run.out;
        if (row.changed && !row.copied) { // a stop after a change keeps the settings as they were
            EXPECT_EQ(test::ReadBytes(Install() + "tvn.ini"), settings);
        }
    }
}

// The lock is the account's, in the machine's global namespace, so that a
// copy of the same user in another session (a scheduled task in session 0)
// meets it.
TEST(InstanceLock, OneForTheAccountInEverySession) {
    EXPECT_TRUE(InstanceLock::Name().starts_with("Global\\TVNCloudDriveConfiguration-S-1-"))
        << InstanceLock::Name();
    const InstanceLock lock;
    ASSERT_TRUE(lock.Held());
    EXPECT_TRUE(
        UniqueKernelHandle(OpenMutexA(SYNCHRONIZE, FALSE, InstanceLock::Name().c_str())).valid());
    EXPECT_FALSE(InstanceLock().Held());
}

TEST_F(ConsoleTest, RunsOnTheSandbox) {
    const std::string cloud = OneDrive() + "Tvn\\";
    // Quoted without its last backslash, which would keep the quote.
    const std::string to = " --to \"" + OneDrive() + "Tvn\"";
    MakeInstallation();
    sandbox.WriteMonth(Install(), "2024-01", "a\r\nb\r\n");
    test::MakeDirs(cloud);
    struct Row {
        const char* name;
        std::string arguments;
        DWORD exitCode;
        const char* says; // a line of the output (stdout, else stderr)
        bool changes;
        bool windowOpen = false; // another copy holds the lock
    } rows[] = {
        {"help", "/?", ExitDone, "TVNCloudDrive configure --to FOLDER | --standard", false},
        {"usage", "configure --to", ExitUsage, "The switch \"to\" needs a value.", false},
        {"refusal", "configure --to \"" + TVNConfigUtil::RemoveBackslash(OneDrive()) + "\"",
         ExitRefused, "Create a folder for Tallyvane within the OneDrive location first", false},
        {"dry run", "configure" + to + " --dry-run", ExitDone, "Would copy 1 file (0.0 MB)", false},
        {"another copy open", "configure" + to, ExitRefused, InstanceLock::RefusalText, false,
         true},
        {"status beside it", "status", ExitDone, "OneDrive folder HAS BEEN FOUND", false, true},
        {"configuration", "configure" + to + " --quiet", ExitDone,
         "Tallyvane has been configured on this machine.", true},
        {"again", "configure" + to + " --json", ExitDone, "\"status\": \"unchanged\"", false},
        {"history", "history --json", ExitDone, "\"kind\": \"configuration\"", false},
        {"restore, dry run", "restore --last --dry-run", ExitDone, "Would: Set aside", false},
        {"status", "status", ExitDone, "Tallyvane IS configured to use a OneDrive location.",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::Snapshot before = test::SnapshotTree(sandbox.Root());
        const std::unique_ptr<InstanceLock> window(row.windowOpen ? new InstanceLock : nullptr);
        const ConsoleRun run = RunConsole(sandbox, row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
        const std::string& said = row.exitCode == ExitDone ? run.out : run.err;
        EXPECT_NE(said.find(row.says), std::string::npos) << said;
        EXPECT_EQ(test::SnapshotTree(sandbox.Root()) != before, row.changes);
    }
    EXPECT_EQ(test::ReadBytes(cloud + "Data\\2024-01.txt"), "a\r\nb\r\n");

    // Back, where the two places hold different records: the window would
    // ask, so without --keep nothing is done.
    sandbox.WriteMonth(Install(), "2024-01", "a\r\n");
    const test::Snapshot before = test::SnapshotTree(sandbox.Root());
    const ConsoleRun run = RunConsole(sandbox, "configure --standard --json");
    EXPECT_EQ(run.exitCode, DWORD(ExitDecisionNeeded)) << run.out << run.err;
    EXPECT_NE(run.out.find("\"comparison\": \"current-more-complete\""), std::string::npos)
        << run.out;
    EXPECT_EQ(test::SnapshotTree(sandbox.Root()), before);

    // A conflict copy in the cloud holds a record both places lack: status
    // lists it, and configure asks for the switch before it merges.
    test::WriteBytes(cloud + "Data\\2024-01-LAPTOP.txt", "a\r\nc\r\n");
    EXPECT_NE(RunConsole(sandbox, "status").out.find("2024-01-LAPTOP.txt: 1 record to merge"),
              std::string::npos);
    ConsoleRun asked = RunConsole(sandbox, "configure --standard --keep current");
    EXPECT_EQ(asked.exitCode, DWORD(ExitDecisionNeeded)) << asked.out << asked.err;
    EXPECT_NE(asked.err.find("(--merge-conflicts yes or no decides.)"), std::string::npos);
    // Merged, then a decision needed: the merge stays, and the end says so.
    asked = RunConsole(sandbox, "configure --standard --merge-conflicts yes --json");
    EXPECT_EQ(asked.exitCode, DWORD(ExitDecisionNeeded)) << asked.out << asked.err;
    EXPECT_NE(asked.out.find("stay merged; the month files as they were are kept in"),
              std::string::npos)
        << asked.out;
    EXPECT_EQ(asked.out.find("\"backupFolder\": null"), std::string::npos) << asked.out;
    asked = RunConsole(sandbox, "configure --standard --keep current --merge-conflicts yes");
    EXPECT_EQ(asked.exitCode, DWORD(ExitDone)) << asked.out << asked.err;
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), "a\r\nb\r\nc\r\n");

    {
        // A copy that cannot be read: status still answers, and says why.
        test::HeldFile held(Install() + "Data\\2024-01-LAPTOP.txt", GENERIC_READ, 0);
        const ConsoleRun status = RunConsole(sandbox, "status");
        EXPECT_EQ(status.exitCode, DWORD(ExitDone)) << status.err;
        EXPECT_NE(status.out.find("\": not known. Cannot open file"), std::string::npos)
            << status.out;
    }
    // The last configuration undone, then that undone too.
    EXPECT_EQ(RunConsole(sandbox, "restore --last").exitCode, DWORD(ExitDone));
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), "a\r\n");
    EXPECT_EQ(RunConsole(sandbox, "restore --last").exitCode, DWORD(ExitDone));
    EXPECT_EQ(test::ReadBytes(Install() + "Data\\2024-01.txt"), "a\r\nb\r\nc\r\n");
}

} // namespace
