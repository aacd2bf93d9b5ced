// Runs a command line: the status of this machine, or a configuration whose
// questions the switches answer.
#include "CommandLine.h"

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "Application.h"
#include "Dialogs.h"
#include "BackgroundWork.h"
#include "ConfigureCommand.h"
#include "ConfigureRun.h"
#include "ConflictCopies.h"
#include "Restore.h"
#include "RestoreDecisions.h"
#include "FileSystem.h"
#include "FileSystemText.h"
#include "LateBound.h"
#include "SingleInstance.h"
#include "TVNConfigUtil.h"
#include "TVNVersion.h"
#include "TextCodes.h"
#include "Win32Handles.h"

using namespace TVNConfigUtil;
using ConfigureDecisions::Provider;

namespace CommandLine {

namespace {

using TextCodes::Wide;

std::string Utf8(const std::string& ansi) {
    return TextCodes::Utf8FromAnsi(ansi);
}

// Standard output or error, where it is usable: a console gets wide text, so
// that a name outside the console's code page still reads right; a file or
// pipe gets the bytes (ANSI text, or UTF-8 for JSON). A program started from
// Explorer has neither, and writes nothing.
class Stream {
  public:
    explicit Stream(DWORD which) : handle_(GetStdHandle(which)) {
        DWORD mode = 0;
        usable_ = handle_ && handle_ != INVALID_HANDLE_VALUE;
        console_ = usable_ && GetConsoleMode(handle_, &mode);
    }
    bool Console() const { return console_; }
    void Write(const std::string& text, UINT codePage = CP_ACP) const {
        if (!usable_ || text.empty())
            return;
        DWORD written = 0;
        if (console_) {
            const std::wstring wide = Wide(text, codePage);
            WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
    }
    void Line(const std::string& text, UINT codePage = CP_ACP) const {
        Write(text + "\r\n", codePage);
    }
    int Width() const {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (console_ && GetConsoleScreenBufferInfo(handle_, &info))
            return info.dwSize.X;
        return 80;
    }

  private:
    HANDLE handle_;
    bool usable_ = false;
    bool console_ = false;
};

// The command line asks nothing: a dialog that some code would still open is
// refused, as its close button would, and its text goes to standard error.
class NoDialogs : public DialogSeam {
  public:
    explicit NoDialogs(const Stream& err) : err_(err) { SetDialogSeam(this); }
    ~NoDialogs() override { SetDialogSeam(nullptr); }
    NoDialogs(const NoDialogs&) = delete;
    NoDialogs& operator=(const NoDialogs&) = delete;

    int MessageDlg(const DialogOwner&, const std::string& text, TMsgDlgType, TMsgDlgButtons,
                   int) override {
        err_.Line(text);
        return mrCancel;
    }
    bool BrowseForFolder(HWND, const std::string&, std::string&) override { return false; }
    bool OpenFile(const OpenFileRequest&, std::string&) override { return false; }
    void ShowErrorBox(const DialogOwner&, const std::string& text) override { err_.Line(text); }

  private:
    const Stream& err_;
};

// The work in hand, which Ctrl+C, Ctrl+Break and a closed console stop. The
// console calls its handler on a thread of its own; the lock keeps the work
// alive while the handler stops it.
std::mutex activeWorkLock;
SharedProgress* activeWork = nullptr;
std::atomic<bool> cancelAsked{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    cancelAsked = true;
    {
        std::lock_guard<std::mutex> lock(activeWorkLock);
        if (activeWork)
            activeWork->Cancel();
    }
    // A closed console ends the process when this returns (Windows waits
    // about five seconds at most): wait instead, so that the command stops
    // after the file in hand, writes its log and ends the process with its
    // own exit code, which ends this thread too.
    if (event == CTRL_CLOSE_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

// Runs work on this thread under a progress observer that Ctrl+C stops, with
// a progress line that rewrites itself on a console. Each report also goes
// to the observer in force around the command, which may stop it too.
template <typename Work> void RunWork(const Stream& out, bool showProgress, Work&& work) {
    SharedProgress progress(ObserverInForce());
    {
        std::lock_guard<std::mutex> lock(activeWorkLock);
        activeWork = &progress;
    }
    if (cancelAsked)
        progress.Cancel();
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread printer;
    if (showProgress)
        printer = std::thread([&] {
            size_t shown = 0;
            std::unique_lock<std::mutex> lock(mutex);
            while (!wake.wait_for(lock, std::chrono::milliseconds(250), [&] { return done; })) {
                const ProgressView view = progress.View();
                std::string line = view.stage + (view.counts.empty() ? "" : ": " + view.counts);
                const size_t room = static_cast<size_t>(out.Width() > 1 ? out.Width() - 1 : 79);
                if (line.size() > room)
                    line.resize(room);
                const size_t length = line.size();
                line.resize(std::max(length, shown), ' ');
                out.Write("\r" + line);
                shown = length;
            }
            if (shown)
                out.Write("\r" + std::string(shown, ' ') + "\r");
        });
    struct End {
        SharedProgress& progress;
        std::mutex& mutex;
        std::condition_variable& wake;
        bool& done;
        std::thread& printer;
        ~End() {
            progress.Finished();
            {
                std::lock_guard<std::mutex> lock(activeWorkLock);
                activeWork = nullptr;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                done = true;
            }
            wake.notify_all();
            if (printer.joinable())
                printer.join();
        }
    } end{progress, mutex, wake, done, printer};
    ProgressScope scope(progress);
    work();
}

// Runs as the LocalSystem account (an Intune "system" install, a service): its
// profile and registry are not the signed-in user's, so the folders found
// would be the wrong ones. Wine runs every process as the signed-in user.
bool RunsAsLocalSystem() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return false;
    UniqueHandle<KernelHandleTraits> token(raw);
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size))
        return false;
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid);
}

const char* const LocalSystemRefusal =
    "TVN Cloud Drive Configuration runs as the LocalSystem account here, whose profile and "
    "settings are not the user's.\r\nRun it as the signed-in user (in Intune, the \"user\" "
    "install behaviour; or from a Group Policy logon script).";

// What a run did, for the text, the JSON and the log.
struct Record {
    std::string command;
    std::string status;
    int exitCode = ExitDone;
    std::string message;
    std::string installFolder, from, to;
    std::optional<std::string> comparison;
    bool copied = false;
    bool changed = false;                    // anything on disk, merges included
    std::optional<std::string> backupFolder; // the run's, else the first merge's
    std::vector<std::string> backupFolders;  // every one made, in order
    std::vector<std::string> details; // the merges, the dry run's list, the direction warning
};

nlohmann::json Json(const std::optional<std::string>& text) {
    return text ? nlohmann::json(Utf8(*text)) : nlohmann::json(nullptr);
}

// A folder, or null where there is none.
nlohmann::json JsonFolder(const std::string& folder) {
    return Json(folder.empty() ? std::nullopt : std::optional<std::string>(folder));
}

nlohmann::json JsonOf(const Record& r) {
    nlohmann::json json;
    json["status"] = r.status;
    json["exitCode"] = r.exitCode;
    json["message"] = Utf8(r.message);
    json["installFolder"] = Utf8(r.installFolder);
    json["from"] = Utf8(r.from);
    json["to"] = Utf8(r.to);
    json["comparison"] = Json(r.comparison);
    json["copied"] = r.copied;
    json["changed"] = r.changed;
    json["backupFolder"] = Json(r.backupFolder);
    json["backupFolders"] = nlohmann::json::array();
    for (const std::string& folder : r.backupFolders)
        json["backupFolders"].push_back(Utf8(folder));
    if (!r.details.empty()) {
        json["details"] = nlohmann::json::array();
        for (const std::string& line : r.details)
            json["details"].push_back(Utf8(line));
    }
    return json;
}

std::string Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
}

// Appends the run to the log, in UTF-8. False when the file cannot be written.
bool AppendToLog(const std::string& file, const Record& r) {
    std::string block = "[" + Now() + "] TVNCloudDrive " + r.command + "\r\n";
    auto add = [&](const char* name, const std::string& value) {
        block += std::string(name) + ": " + value + "\r\n";
    };
    add("status", r.status);
    add("exitCode", std::to_string(r.exitCode));
    for (const std::string& line : FileSystem::SplitLines(r.message))
        add("message", line);
    add("installFolder", r.installFolder);
    add("from", r.from);
    add("to", r.to);
    add("comparison", r.comparison.value_or("none"));
    add("copied", r.copied ? "true" : "false");
    add("changed", r.changed ? "true" : "false");
    add("backupFolder", r.backupFolder.value_or("none"));
    for (const std::string& folder : r.backupFolders)
        add("backupFolders", folder);
    for (const std::string& line : r.details)
        add("detail", line);
    block = Utf8(block + "\r\n");
    UniqueFileHandle log(CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return log &&
           WriteFile(log.get(), block.data(), static_cast<DWORD>(block.size()), &written,
                     nullptr) &&
           written == block.size();
}

const char* StatusOf(int exitCode) {
    switch (exitCode) {
    case ExitFailed:
        return "failed";
    case ExitDecisionNeeded:
        return "decision-needed";
    case ExitRefused:
        return "refused";
    case ExitCancelled:
        return "cancelled";
    default:
        return "configured";
    }
}

// "3 files (1.2 MB)"
std::string FilesAndSize(unsigned long long files, unsigned long long bytes) {
    return FileSystem::Counted(static_cast<long long>(files), "file", "files") + " (" +
           FileSystem::Megabytes(bytes) + " MB)";
}

// The provider whose folder holds a folder, else the first.
Provider ProviderHolding(const std::string& folder) {
    const SyncClient client = ClientHolding(folder);
    return client != SyncClient::None ? client : Providers[0].client;
}

// The switches' answers to the Configure command, and its work on this
// thread with the progress line. A question the switches do not answer ends
// the command, with the switch that would have answered it.
class ConsoleAnswers : public ConfigureDecisions::FrontEnd {
  public:
    ConsoleAnswers(const Arguments& a, const Stream& out, Record& r) : a_(a), out_(out), r_(r) {}

    std::string hint; // for the question left unanswered

    int AskWarning(const std::string&) override {
        hint = "--replace-redirection replaces it.";
        return a_.replaceRedirection ? mrYes : mrCancel;
    }
    int AskConflicts(const ConfigureDecisions::ConflictPrompt&) override {
        hint = "--merge-conflicts yes or no decides.";
        return !a_.mergeConflicts ? mrCancel : *a_.mergeConflicts ? mrYes : mrNo;
    }
    int AskComparison(const ConfigureDecisions::Prompt& prompt) override {
        hint = a_.keep ? "Each copy holds records that the other lacks: --keep current or --keep "
                         "destination decides."
                       : "--keep current, destination or more-complete decides.";
        const Answer answer = AnswerPrompt(prompt, a_.keep);
        return !answer.goOn ? mrCancel : answer.copyData == prompt.yesCopies ? mrYes : mrNo;
    }
    bool ConfirmDirection(bool copyData) override {
        // Printed, not asked: the question at its end is the switch.
        std::string warning = CopyDirectionWarning(copyData);
        r_.details.push_back(warning.substr(0, warning.rfind("\r\nContinue?")));
        return true;
    }
    WorkEnd RunWork(const std::function<void()>& work, const wchar_t*) override {
        CommandLine::RunWork(out_, !a_.quiet && !a_.json && out_.Console(), work);
        return WorkEnd::Finished;
    }

  private:
    const Arguments& a_;
    const Stream& out_;
    Record& r_;
};

// The lines a dry run adds: what the run would back up, copy and write.
void AddDryRunDetails(const RunDetails& details, Record& r) {
    if (details.backupDue)
        r.details.push_back("Would back up " +
                            FilesAndSize(details.backupFiles, details.backupBytes) + " of \"" +
                            details.destinationRoot + "\" into a new backup folder there.");
    if (details.copying)
        r.details.push_back("Would copy " + FilesAndSize(details.copyFiles, details.copyBytes) +
                            " from \"" + DataFolderOf(details.sourceRoot) + "\" to \"" +
                            DataFolderOf(details.destinationRoot) + "\".");
    for (const RunDetails::SettingsWrite& write : details.settingsWrites) {
        std::string keys;
        for (const std::string& key : write.keys)
            keys += (keys.empty() ? "" : "; ") + key;
        r.details.push_back("Would write \"" + write.file + "\": " + keys + ".");
    }
}

// The configure command: the window's command, with the switches in place
// of the answers.
void Configure(const Arguments& a, const Stream& out, Record& r) {
    using namespace ConfigureDecisions;
    const std::string install =
        NormalForm(!a.install.empty() ? a.install : StandardInstallationFolder());
    const std::string newFolder = a.standard ? std::string() : NormalForm(a.to);
    const std::string redirect = AsciiLowerCase(AddBackslash(ReadRedirection(install)));
    const Provider provider =
        a.provider ? *a.provider : ProviderHolding(a.standard ? redirect : newFolder);
    r.installFolder = install;
    r.from = !redirect.empty() ? redirect : install;
    r.to = !newFolder.empty() ? newFolder : install;

    ConsoleAnswers answers(a, out, r);
    // The provider's own folder, as the window has it at start-up for a
    // provider picked there.
    const Result result =
        RunConfigureCommand({install, newFolder, redirect, AsciiLowerCase(ProviderFolder(provider)),
                             provider, a.dryRun},
                            answers);
    r.details.insert(r.details.begin(), result.merges.begin(), result.merges.end());
    if (result.comparison)
        r.comparison = ComparisonName(*result.comparison);
    r.copied = result.run.copied;
    r.changed = result.changed;
    r.backupFolders = result.backupFolders;
    if (!result.run.backupFolder.empty())
        r.backupFolder = result.run.backupFolder;
    else if (!result.mergeBackup.empty())
        r.backupFolder = result.mergeBackup;
    r.exitCode = ExitDone;
    std::string status;
    std::string message = result.thrown ? ApplicationErrorText(result.message) : result.message;
    switch (result.end) {
    case End::Configured:
        status = a.dryRun ? "would-configure" : "configured";
        if (a.dryRun) {
            AddDryRunDetails(result.run, r);
            message = "A configuration from \"" + r.from + "\" to \"" + r.to +
                      "\" passes every check; nothing has been changed (--dry-run).";
        }
        break;
    case End::Unchanged:
        status = "unchanged";
        break;
    case End::Unanswered:
        r.exitCode = ExitDecisionNeeded;
        break;
    case End::Cancelled:
    case End::EndProgram:
        r.exitCode = ExitCancelled;
        break;
    case End::Refused:
    case End::Failed:
        // A refusal after a merge is a failure after a change.
        r.exitCode = result.changed ? ExitFailed : ExitRefused;
        break;
    }
    Result told = result;
    told.message = message;
    r.message = Told(told, result.end == End::Unanswered ? answers.hint : std::string());
    r.status = !status.empty() ? status : StatusOf(r.exitCode);
}

void Status(const Arguments& a, Record& r, nlohmann::json& json, std::string& text) {
    // The window's lines, by the same rules, for the installation given.
    const std::string install =
        NormalForm(!a.install.empty() ? a.install : StandardInstallationFolder());
    const std::string redirection = AsciiLowerCase(AddBackslash(ReadRedirection(install)));
    const std::string oneDrive = OneDriveFolder(), dropbox = DropboxFolder();
    const Provider provider = a.provider ? *a.provider : ProviderHolding(redirection);
    const std::string standard = AsciiLowerCase(ProviderFolder(provider));
    const std::string providerFolder = LiesInside(redirection, standard) ? redirection : standard;
    const ConfigureDecisions::StatusLines status = ConfigureDecisions::DecideStatus(
        {IsInstallationFolder(install), redirection, providerFolder,
         !providerFolder.empty() && FileSystem::DirectoryExists(providerFolder), provider});
    const std::vector<std::string> lines = {status.installation, status.cloud};
    r.status = "status";
    r.installFolder = install;
    r.from = redirection;
    r.message = lines[0] + "\r\n" + lines[1];
    json["installFolder"] = Utf8(install);
    json["redirection"] = JsonFolder(redirection);
    json["oneDriveFolder"] = JsonFolder(oneDrive);
    json["dropboxFolder"] = JsonFolder(dropbox);
    json["statusLines"] = {Utf8(lines[0]), Utf8(lines[1])};
    auto orNone = [](const std::string& folder, const char* none) {
        return folder.empty() ? std::string(none) : folder;
    };
    text = "Installation folder: " + install +
           "\r\nRedirection: " + orNone(redirection, "none (the standard data location)") +
           "\r\nOneDrive folder: " + orNone(oneDrive, "not found") +
           "\r\nDropbox folder: " + orNone(dropbox, "not found") + "\r\n" + r.message;

    // The sync conflict copies of the data at both places, with what a merge
    // would add from each.
    json["conflictCopies"] = nlohmann::json::array();
    std::vector<std::string> roots = {install};
    if (!redirection.empty() && redirection != install)
        roots.push_back(redirection);
    // A copy that cannot be read is said, and status still answers.
    json["conflictCopyErrors"] = nlohmann::json::array();
    for (const std::string& root : roots) {
        const std::string data = DataFolderOf(root);
        ConflictFindings found;
        try {
            found = FindConflictCopies(root);
        } catch (const std::exception& error) {
            text += "\r\nSync conflict copies in \"" + data + "\": not known. " + error.what();
            json["conflictCopyErrors"].push_back(
                {{"folder", Utf8(data)}, {"error", Utf8(error.what())}});
            continue;
        }
        text +=
            "\r\nSync conflict copies in \"" + data + "\":" + (found.copies.empty() ? " none" : "");
        for (const ConflictCopy& copy : found.copies) {
            text += "\r\n  " + copy.name + ": " +
                    FileSystem::Counted(copy.records, "record", "records") + " to merge";
            json["conflictCopies"].push_back({{"folder", Utf8(data)},
                                              {"name", Utf8(copy.name)},
                                              {"month", copy.month},
                                              {"records", copy.records}});
        }
    }
}

// The installation a command names, else the standard one.
std::string InstallationOf(const Arguments& a) {
    return NormalForm(!a.install.empty() ? a.install : StandardInstallationFolder());
}

// The runs recorded for the installation, newest first, with the backups'
// size in each place.
void HistoryOf(const Arguments& a, Record& r, nlohmann::json& json, std::string& text) {
    const std::string install = InstallationOf(a);
    const History history = FindHistory(install);
    r.status = "history";
    r.installFolder = install;
    json["installFolder"] = Utf8(install);
    json["runs"] = nlohmann::json::array();
    text = history.runs.empty() ? RestoreDecisions::NoRunText(install) : std::string();
    for (const RunRecord& run : history.runs) {
        const std::string line = HistoryLine(run);
        text += (text.empty() ? "" : "\r\n") + run.id + "  " + line;
        json["runs"].push_back({{"id", run.id},
                                {"time", run.timeUtc},
                                {"localTime", run.timeLocal},
                                {"kind", run.kind},
                                {"machine", Utf8(run.machine)},
                                {"complete", run.complete},
                                {"folders",
                                 {{"installation", Utf8(run.installFolder)},
                                  {"source", Utf8(run.sourceRoot)},
                                  {"destination", Utf8(run.destinationRoot)}}},
                                {"backupFolder", Utf8(run.backupFolder)},
                                {"files", run.files.size()},
                                {"line", Utf8(line)}});
    }
    json["backups"] = nlohmann::json::array();
    for (const auto& [place, bytes] : history.backupBytes) {
        text += "\r\nBackup folders in \"" + place + "\": " + FileSystem::Megabytes(bytes) + " MB";
        json["backups"].push_back({{"folder", Utf8(place)}, {"bytes", bytes}});
    }
    r.message = text;
}

// Undoes a run of this installation: the newest, or the one named.
void Restore(const Arguments& a, const Stream& out, Record& r) {
    const std::string install = InstallationOf(a);
    r.installFolder = install;
    const History history = FindHistory(install);
    const RunRecord* run = nullptr;
    for (const RunRecord& found : history.runs)
        if (!run && (a.last || found.id == a.runId))
            run = &found;
    if (!run) {
        r.exitCode = ExitRefused;
        r.status = "refused";
        r.message = a.last ? RestoreDecisions::NoRunText(install)
                           : "No run \"" + a.runId + "\" is recorded for \"" + install +
                                 "\".\r\nTVNCloudDrive history lists them.";
        return;
    }
    r.from = run->id;
    RunRecord header;
    header.version = TVN_VERSION_TEXT;
    RestoreOutcome restored;
    RunWork(out, !a.quiet && !a.json && out.Console(),
            [&] { restored = RestoreRun(*run, header, a.dryRun); });
    using RestoreDecisions::End;
    const RestoreDecisions::Told told =
        RestoreDecisions::TellRestore(*run, restored, a.dryRun, " (--dry-run)");
    r.details.insert(r.details.end(), told.details.begin(), told.details.end());
    r.changed = restored.changed;
    if (!restored.backupFolder.empty()) {
        r.backupFolder = restored.backupFolder;
        r.backupFolders = {restored.backupFolder};
    }
    r.message = told.message;
    if (told.end == End::Refused || told.end == End::Failed)
        r.exitCode = told.end == End::Failed ? ExitFailed : ExitRefused;
    else if (told.end == End::Cancelled)
        r.exitCode = ExitCancelled;
    else
        r.status = a.dryRun ? "would-restore" : "restored";
    if (r.status.empty())
        r.status = StatusOf(r.exitCode);
}

} // namespace

std::vector<std::wstring> ProcessArguments() {
    // The program's own name ends at the quote after a leading one, else at
    // the first blank; with nothing after it but blanks the window starts
    // without the library that splits the rest.
    const wchar_t* line = GetCommandLineW();
    const wchar_t* at = line;
    if (*at == L'"') {
        for (++at; *at && *at != L'"'; ++at) {
        }
        if (*at)
            ++at;
    } else {
        while (*at && *at != L' ' && *at != L'\t')
            ++at;
    }
    while (*at == L' ' || *at == L'\t')
        ++at;
    if (!*at)
        return {};
    int count = 0;
    LPWSTR* words = LateBound::CommandLineToArgvW(line, &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; words && i < count; ++i)
        arguments.emplace_back(words[i]);
    if (words)
        LocalFree(words);
    return arguments;
}

int Run(const std::vector<std::wstring>& arguments) {
    const Stream out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    const Parsed parsed = Parse(arguments);
    const Arguments& a = parsed.arguments;
    if (parsed.exitCode != ExitDone) {
        err.Line(parsed.error);
        return parsed.exitCode;
    }
    if (a.command == Arguments::Command::Help) {
        out.Write(Usage());
        return ExitDone;
    }
    if (a.command == Arguments::Command::Version) {
        out.Line(std::string("TVN Cloud Drive Configuration ") + TVN_VERSION_TEXT);
        return ExitDone;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    NoDialogs noDialogs(err);

    Record r;
    for (const std::wstring& argument : arguments)
        r.command += (r.command.empty() ? "" : " ") + ExactAnsi(argument).value_or("?");
    nlohmann::json json;
    std::string text;
    if (RunsAsLocalSystem()) {
        r.exitCode = ExitRefused;
        r.status = "refused";
        r.message = LocalSystemRefusal;
    } else {
        try {
            if (a.command == Arguments::Command::Status) {
                Status(a, r, json, text);
            } else if (a.command == Arguments::Command::History) {
                HistoryOf(a, r, json, text);
            } else if (const InstanceLock lock; lock.Held()) {
                if (a.command == Arguments::Command::Restore)
                    Restore(a, out, r);
                else
                    Configure(a, out, r);
            } else {
                // The window, or another configure, may be moving the data.
                r.exitCode = ExitRefused;
                r.status = "refused";
                r.message = InstanceLock::RefusalText;
            }
        } catch (const std::exception& error) {
            // A settings file or data file that cannot be read: the window's
            // error box, as an error here. It comes before any change.
            r.exitCode = ExitRefused;
            r.status = "refused";
            r.message = ApplicationErrorText(error.what());
        }
    }
    const bool listing =
        a.command == Arguments::Command::Status || a.command == Arguments::Command::History;
    if (!listing || r.exitCode != ExitDone)
        json = JsonOf(r);

    if (a.json) {
        out.Line(json.dump(2), CP_UTF8);
    } else if (listing && r.exitCode == ExitDone) {
        out.Line(text);
    } else {
        const Stream& to = r.exitCode == ExitDone ? out : err;
        for (const std::string& line : r.details)
            to.Line(line);
        to.Line(r.message);
    }
    if (!a.log.empty() && !AppendToLog(a.log, r))
        err.Line("The log file \"" + a.log + "\" could not be written.");
    return r.exitCode;
}

} // namespace CommandLine
