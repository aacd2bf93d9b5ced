// The configuration transaction: the one operation that changes anything on
// disk, and the texts that tell the user how it went.
#include "TVNConfigUtil.h"

#include "ConfigureRun.h"
#include "CopyPlan.h"
#include "DiskChanges.h"
#include "FileSystem.h"
#include "Dialogs.h"
#include "OnlineFiles.h"
#include "Preflight.h"
#include "RunRecord.h"
#include "Progress.h"

namespace TVNConfigUtil {

namespace {

enum class AdminRights { None, AdministratorOnly, UserAdministrator };

// [Server] ServerAdmin of the settings in effect. Only 1 and 2 mean anything;
// every other value is dropped when the settings are written back.
AdminRights AdminRightsOf(TCustomIniFile& settingsInEffect) {
    switch (settingsInEffect.ReadInteger("Server", "ServerAdmin", 0)) {
    case 2:
        return AdminRights::UserAdministrator;
    case 1:
        return AdminRights::AdministratorOnly;
    default:
        return AdminRights::None;
    }
}

// The first of the path checks that fails, or empty. Paths are in normal form
// and compared byte for byte; an empty server or new folder never equals a
// non-empty installation folder.
std::string ValidationMessage(const std::string& installFolder, const std::string& serverFolder,
                              const std::string& newRedirectFolder) {
    if (installFolder.empty())
        return "Installation path is required";
    if (installFolder == serverFolder)
        return "Installation and server paths must be different";
    if (installFolder == newRedirectFolder)
        return "Installation and redirection paths must be different";
    if (!newRedirectFolder.empty() && serverFolder == newRedirectFolder)
        return "Server and redirection paths must be different";
    return std::string();
}

std::string FolderCreationMessage(const std::string& folder) {
    return "The network directory \"" + folder + "\" (or a sub-directory) could not be created.";
}

// Carries out the plan's backup of a destination that holds anything, then
// its copy of the data folder and of the settings files. Returns the failure
// message, or empty; backup names the backup folder made. The settings files
// follow even a failed data copy, so that the destination at least carries
// the source's settings next to whatever data did arrive; a stopped run
// copies no settings. A file that another program wrote at the destination
// since the plan is kept in the backup before the copy replaces it; kept
// counts them.
std::string BackupAndCopy(const RunPlan& plan, std::string& backup, int& kept) {
    const std::string& destinationRoot = plan.destinationRoot;
    // A file that its sync client could not provide after all (fetched
    // before the first change, then made online-only again, or a client
    // that stopped meanwhile) is named after the line of the failed step.
    CopyFailure failure;
    auto naming = [&](const std::string& step) {
        const std::string named =
            CloudFileFailure(DiskChanges::ShownPath(failure.from), failure.error);
        return named.empty() ? step : step + "\r\n" + named;
    };
    if (plan.backupDue) {
        ReportStage(WorkStage::BackingUp, destinationRoot, plan.destination.files,
                    plan.destination.bytes);
        if (!CarryOutBackup(plan.destination, destinationRoot, backup, &failure) || StopAsked())
            return naming("File backup of \"" + destinationRoot + "\" failed.");
    }
    KeepInBackup keeper(destinationRoot, backup);
    std::string message;
    // Every file the data copy replaces is in the backup by now, or is put
    // there by the keeper when it changed since.
    ReportStage(WorkStage::Copying, destinationRoot, plan.data.files, plan.data.bytes);
    if (!CarryOutCopy(plan.data, &keeper, &failure))
        message = naming("File copy from \"" + plan.sourceRoot + "\" to \"" + destinationRoot +
                         "\" failed.");
    if (!StopAsked() && !CopyRootFiles(plan.rootFiles, &keeper, &failure) && message.empty())
        message = naming("The settings could not be copied to \"" + destinationRoot +
                         "\": the copy of \"" + DiskChanges::ShownPath(failure.from) +
                         "\" failed (error " + std::to_string(failure.error) + ").");
    kept = keeper.Kept();
    return message;
}

// The report's line for the files another program wrote during the copy,
// which were kept in the backup before the copy replaced them.
std::string KeptLine(int kept, const std::string& backup) {
    if (kept == 0)
        return std::string();
    return "\r\n" + std::to_string(kept) +
           (kept == 1 ? " file that changed during the copy was"
                      : " files that changed during the copy were") +
           " backed up first, into \"" + AsciiLowerCase(backup) + "\".";
}

// Puts the workgroup server keys into a store.
void SetServerSettings(TCustomIniFile& store, const std::string& serverFolder, AdminRights rights) {
    if (!serverFolder.empty())
        store.WriteString("Server", "ServerPath", RemoveBackslash(serverFolder));
    else
        DeleteIniKey(&store, "Server", "ServerPath");
    switch (rights) {
    case AdminRights::UserAdministrator:
        store.WriteInteger("Server", "ServerAdmin", 2);
        break;
    case AdminRights::AdministratorOnly:
        store.WriteInteger("Server", "ServerAdmin", 1);
        break;
    case AdminRights::None:
        DeleteIniKey(&store, "Server", "ServerAdmin");
        break;
    }
}

// The settings files a run rewrites, in the order it writes them. When the
// redirection changes, the destination's settings get the server keys in the
// same write that takes out their redirection, and the installation's own
// redirection switches to the destination next: a run broken off before that
// leaves the installation on its old settings and data, one broken off after
// it on the new ones, never on settings without their server keys. The
// source's redirection is taken out last, once the installation no longer
// reads it: where the source has no settings file that write makes an empty
// one, which would otherwise become the settings in effect.
struct SettingsWrites {
    std::string destination; // or the settings in effect, without a redirection change
    std::string install;     // empty when the destination is the installation
    std::string source;      // empty when nothing is written there
};

// settingsInEffect, read already, names the file of a run that keeps its
// redirection.
SettingsWrites PlanSettingsWrites(const std::string& install, const std::string& sourceRoot,
                                  const std::string& destinationRoot, bool redirecting,
                                  const TMemIniFile* settingsInEffect) {
    if (!redirecting)
        return {settingsInEffect->FileName(), std::string(), std::string()};
    SettingsWrites writes;
    if (sourceRoot != destinationRoot && sourceRoot != install)
        writes.source = sourceRoot + SettingsFileName;
    writes.destination = destinationRoot + SettingsFileName;
    if (destinationRoot != install)
        writes.install = install + SettingsFileName;
    return writes;
}

void WriteSettings(const SettingsWrites& writes, const std::string& install,
                   const std::string& sourceRoot, const std::string& destinationRoot,
                   const std::string& server, AdminRights rights, bool redirecting) {
    {
        TMemIniFile store(writes.destination);
        if (redirecting)
            SetRedirection(store, "");
        SetServerSettings(store, server, rights);
        store.UpdateFile();
    }
    if (!writes.install.empty()) {
        TMemIniFile store(writes.install);
        // The same steps as two writes of the file would take, in one.
        if (sourceRoot == install)
            SetRedirection(store, "");
        SetRedirection(store, destinationRoot);
        store.UpdateFile();
    }
    if (!writes.source.empty())
        WriteRedirection(sourceRoot, "");
}

// What WriteSettings writes, file by file, for a dry run to list.
std::vector<RunDetails::SettingsWrite> DescribeWrites(const SettingsWrites& writes,
                                                      const std::string& destinationRoot,
                                                      const std::string& server, AdminRights rights,
                                                      bool redirecting) {
    std::vector<RunDetails::SettingsWrite> out;
    RunDetails::SettingsWrite destination{writes.destination, {}};
    if (redirecting)
        destination.keys.push_back("[Setup] Redirect removed");
    destination.keys.push_back(server.empty() ? "[Server] ServerPath removed"
                                              : "[Server] ServerPath=" + RemoveBackslash(server));
    destination.keys.push_back(rights == AdminRights::UserAdministrator ? "[Server] ServerAdmin=2"
                               : rights == AdminRights::AdministratorOnly
                                   ? "[Server] ServerAdmin=1"
                                   : "[Server] ServerAdmin removed");
    out.push_back(destination);
    // The installation then reads the destination, its own settings file
    // being written only when the destination is elsewhere.
    if (!writes.install.empty())
        out.push_back({writes.install, {"[Setup] Redirect=" + RemoveBackslash(destinationRoot)}});
    if (!writes.source.empty())
        out.push_back({writes.source, {"[Setup] Redirect removed"}});
    return out;
}

// The report of a run its observer stopped during the backup or the copy.
std::string CancelledReport(const std::string& destination, const std::string& backup,
                            const std::string& oldLocation) {
    std::string text = "Tallyvane configuration was cancelled.\r\nNo settings have been changed.";
    if (!backup.empty())
        text += "\r\nThe files that were at \"" + AsciiLowerCase(destination) +
                "\" before are kept in \"" + AsciiLowerCase(backup) + "\".";
    return text + "\r\nTallyvane still uses its old data location \"" +
           AsciiLowerCase(oldLocation) + "\".";
}

} // namespace

Outcome ConfigureInstallation(const std::string& InstallFolder, const std::string& ServerFolder,
                              const std::string& OldRedirectFolder,
                              const std::string& NewRedirectFolder, bool CopyData) {
    const std::string oldRedirect = NormalForm(OldRedirectFolder);
    // An old location without a single file is left untouched.
    const std::string source = CopySourceRoot(NormalForm(InstallFolder), oldRedirect,
                                              !oldRedirect.empty() && FolderHasFiles(oldRedirect));
    RunDetails details;
    RunConfiguration({InstallFolder,
                      ServerFolder,
                      OldRedirectFolder,
                      NewRedirectFolder,
                      source,
                      CopyData,
                      false,
                      {}},
                     details);
    return details.outcome;
}

void RunConfiguration(const RunRequest& request, RunDetails& details) {
    const std::string install = NormalForm(request.installFolder);
    const std::string server = NormalForm(request.serverFolder);
    const std::string oldRedirect = NormalForm(request.oldRedirectFolder);
    const std::string newRedirect = NormalForm(request.newRedirectFolder);
    const bool copyData = request.copyData, dryRun = request.dryRun;

    // Made before the paths are checked, so the data folders may exist even
    // when the run then fails validation. A dry run makes none, and takes
    // them as made. Those made are in the run's record, for its restore.
    std::vector<std::string> madeFolders;
    for (const std::string* root : {&server, &newRedirect})
        if (!dryRun && !root->empty())
            for (const std::string& folder : FileSystem::MissingFolders(DataFolderOf(*root)))
                madeFolders.push_back(folder);
    const bool serverReady = dryRun || EnsureDataFolder(server);
    const bool newLocationReady = dryRun || EnsureDataFolder(newRedirect);

    const std::string sourceRoot = NormalForm(request.sourceRoot);
    const std::string destinationRoot = !newRedirect.empty() ? newRedirect : install;
    details.sourceRoot = sourceRoot;
    details.destinationRoot = destinationRoot;

    // Read before anything changes: afterwards the settings in effect may be
    // another file. Read once: the store also names the file a run without a
    // redirection change writes, and the checks need not read it again.
    std::unique_ptr<TMemIniFile> settingsInEffect;
    AdminRights rights = AdminRights::None;
    if (!server.empty()) {
        settingsInEffect = OpenInstallationIni(install);
        rights = AdminRightsOf(*settingsInEffect);
    }

    std::string errorText = ValidationMessage(install, server, newRedirect);

    // A missing data folder ends the run before anything is copied or
    // rewritten: pointing the installation at a location that cannot hold its
    // data, and without its server settings, would leave it broken.
    if (errorText.empty() && !serverReady)
        errorText = FolderCreationMessage(server);
    else if (errorText.empty() && !newLocationReady)
        errorText = FolderCreationMessage(newRedirect);

    const bool copying = copyData && sourceRoot != destinationRoot;
    const bool redirecting = !oldRedirect.empty() || !newRedirect.empty();
    SettingsWrites writes;
    RunPlan plan;
    if (errorText.empty()) {
        if (!settingsInEffect && !redirecting)
            settingsInEffect = OpenInstallationIni(install);
        writes = PlanSettingsWrites(install, sourceRoot, destinationRoot, redirecting,
                                    settingsInEffect.get());
        std::vector<std::string> rewritten, read;
        for (const std::string* file : {&writes.source, &writes.destination, &writes.install})
            if (!file->empty())
                rewritten.push_back(*file);
        if (settingsInEffect)
            read = {install + SettingsFileName, settingsInEffect->FileName()};
        plan = PlanRun(sourceRoot, destinationRoot, copying, rewritten, read);
        errorText = CheckBeforeChanges(plan);
        // Stopped while files kept online only were being fetched: nothing
        // has changed.
        if (errorText.empty() && StopAsked()) {
            details.cancelled = true;
            details.outcome = Outcome{
                std::string(), CancelledReport(destinationRoot, std::string(),
                                               !oldRedirect.empty() ? oldRedirect : install)};
            return;
        }
    }
    details.copying = copying;
    details.backupDue = copying && plan.backupDue;
    details.backupFiles = plan.destination.files;
    details.backupBytes = plan.destination.bytes;
    details.copyFiles = plan.data.files;
    details.copyBytes = plan.data.bytes;
    if (errorText.empty())
        details.settingsWrites =
            DescribeWrites(writes, destinationRoot, server, rights, redirecting);
    if (dryRun && errorText.empty())
        return;

    // Every changing run keeps what it did in its backup folder, made now,
    // before the first change, so that the run can be undone exactly.
    std::unique_ptr<RunRecorder> recorder;
    if (errorText.empty()) {
        const std::string name = UnusedBackupName(destinationRoot);
        if (name.empty() || !DiskChanges::MakeFolder(DiskChanges::WidePath(destinationRoot + name)))
            errorText = "File backup of \"" + destinationRoot + "\" failed.";
        else
            details.backupFolder = destinationRoot + name + "\\";
    }
    if (errorText.empty()) {
        details.changed = true;
        RunRecord header = request.record;
        header.kind = "configuration";
        header.installFolder = install;
        header.sourceRoot = sourceRoot;
        header.destinationRoot = destinationRoot;
        header.oldRedirect = oldRedirect;
        header.newRedirect = newRedirect;
        header.madeFolders = madeFolders;
        recorder = std::make_unique<RunRecorder>(header, details.backupFolder);
    }

    std::string copiedTo;
    if (errorText.empty() && copying) {
        details.changed = true;
        // Files the copy makes inherit the mark from their folder.
        if (!newRedirect.empty())
            KeepDataOnThisDevice(destinationRoot);
        errorText = BackupAndCopy(plan, details.backupFolder, details.keptChanged);
        if (StopAsked()) {
            details.cancelled = true;
            details.outcome = Outcome{
                std::string(),
                CancelledReport(destinationRoot, details.backupDue ? details.backupFolder : "",
                                !oldRedirect.empty() ? oldRedirect : install) +
                    KeptLine(details.keptChanged, details.backupFolder)};
            recorder->Finish();
            return;
        }
        if (errorText.empty())
            copiedTo = destinationRoot;
        details.copied = !copiedTo.empty();
    }

    // Each write goes to disk at once, in this order, so that a settings file
    // that cannot be written stops the run with the earlier ones in place.
    if (errorText.empty()) {
        details.changed = true;
        ReportStage(WorkStage::WritingSettings, destinationRoot, 0, 0);
        WriteSettings(writes, install, sourceRoot, destinationRoot, server, rights, redirecting);
    }

    std::string text = ComposeOutcomeReport(errorText, oldRedirect, newRedirect, copiedTo) +
                       KeptLine(details.keptChanged, details.backupFolder);
    // Windows may make files online-only again when the disk runs low, and
    // Tallyvane would then fail without a network: data left in a OneDrive
    // folder is kept on this device. Returning to the standard location
    // leaves the old folder's mark as it is.
    if (errorText.empty() && !newRedirect.empty())
        if (const std::string kept = KeepDataOnThisDevice(destinationRoot); !kept.empty())
            text += "\r\n" + kept;
    details.outcome =
        errorText.empty() ? Outcome{text, std::string()} : Outcome{std::string(), text};
    if (recorder)
        recorder->Finish();
}

std::string ComposeOutcomeReport(const std::string& ErrorText, const std::string& OldRedirectFolder,
                                 const std::string& NewRedirectFolder,
                                 const std::string& CopiedTo) {
    const std::string oldRedirect = AsciiLowerCase(OldRedirectFolder);
    const std::string newRedirect = AsciiLowerCase(NewRedirectFolder);
    const std::string copiedTo = AsciiLowerCase(CopiedTo);

    if (!ErrorText.empty())
        return "Tallyvane configuration failed.\r\n" + ErrorText;

    std::string report = "Tallyvane has been configured on this machine.\r\n";
    if (oldRedirect == newRedirect)
        return report;
    if (!oldRedirect.empty())
        report += "\r\nRedirection to \"" + oldRedirect + "\" has been removed.";
    if (!newRedirect.empty())
        report += "\r\nRedirection to \"" + newRedirect + "\" has been established.";
    if (!copiedTo.empty())
        report += "\r\nData files have been copied to \"" + copiedTo + "\"";
    return report;
}

void ShowOutcome(const std::string& ErrorText, const std::string& Report) {
    if (!ErrorText.empty())
        MessageDlg(ErrorText, mtError, mbOK, 0);
    else
        MessageDlg(Report, mtInformation, mbOK, 0);
}

std::string CopyDirectionWarning(bool copyLessComplete) {
    return copyLessComplete
               ? "The utility will copy files that appear to be less complete to the new "
                 "location - data at the new location may be lost\r\n"
                 "(Existing data files at the new location will be backed up first)\r\n"
                 "Continue?"
               : "The utility will not copy files that appear more complete to the new location\r\n"
                 "(Existing data files at the old location will not be affected)\r\n"
                 "Continue?";
}

bool ConfirmCopyDirection(bool CopyLessComplete) {
    return MessageDlg(CopyDirectionWarning(CopyLessComplete), mtWarning, mbYesNo, 0) == mrYes;
}

} // namespace TVNConfigUtil
