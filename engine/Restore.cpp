#include "Restore.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "CopyPlan.h"
#include "DiskChanges.h"
#include "FileHash.h"
#include "FileSystem.h"
#include "FileSystemText.h"
#include "IniFiles.h"
#include "Preflight.h"
#include "Progress.h"
#include "TVNConfigUtil.h"

namespace TVNConfigUtil {

namespace {

using DiskChanges::WidePath;

// The bytes of every file below a folder.
unsigned long long TreeBytes(const std::wstring& folder) {
    unsigned long long bytes = 0;
    FileSystem::ForEachEntryW(folder, [&](const WIN32_FIND_DATAW& entry) {
        if (FileSystem::IsFolderEntry(entry))
            bytes += TreeBytes(folder + entry.cFileName + L"\\");
        else
            bytes += FileSystem::ReportedSize(entry);
        return true;
    });
    return bytes;
}

// The records in the backup folders directly in root, and their total size.
unsigned long long RecordsIn(const std::string& root, std::vector<RunRecord>& found) {
    unsigned long long bytes = 0;
    const std::wstring wideRoot = DiskChanges::AsFolder(WidePath(root));
    if (wideRoot.empty())
        return 0;
    FileSystem::ForEachEntryW(wideRoot, [&](const WIN32_FIND_DATAW& entry) {
        const std::string name = DiskChanges::ShownPath(entry.cFileName);
        if (!FileSystem::IsFolderEntry(entry) || !IsBackupFolderName(BackupPrefix, name))
            return true;
        const unsigned long long folderBytes = TreeBytes(wideRoot + entry.cFileName + L"\\");
        bytes += folderBytes;
        if (std::optional<RunRecord> record = ReadRunRecord(root + name)) {
            record->backupBytes = folderBytes;
            found.push_back(std::move(*record));
        }
        return true;
    });
    return bytes;
}

std::string ShownTime(const std::string& iso) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d", &year, &month, &day, &hour, &minute) != 5 ||
        month < 1 || month > 12)
        return iso;
    char text[40];
    std::snprintf(text, sizeof text, "%d %s %d %02d:%02d", day, months[month - 1], year, hour,
                  minute);
    return text;
}

// Makes the folders above a file that the restore keeps in its backup folder.
void MakeFoldersFor(const std::string& backupFolder, const std::string& file) {
    for (size_t at = file.find('\\', backupFolder.size()); at != std::string::npos;
         at = file.find('\\', at + 1))
        DiskChanges::MakeFolder(WidePath(file.substr(0, at)));
}

bool SameText(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

// Where a file goes below the restore's backup folder: its path below the
// root the run worked in, else its name.
std::string BelowRoot(const std::string& path, const RunRecord& run) {
    for (const std::string* root : {&run.destinationRoot, &run.sourceRoot, &run.installFolder})
        if (!root->empty() && AsciiLowerCase(path).starts_with(AsciiLowerCase(*root)))
            return path.substr(root->size());
    return FileSystem::ExtractFileName(path);
}

bool IsSettingsOf(const RunRecord& run, const std::string& path) {
    return std::any_of(run.settings.begin(), run.settings.end(), [&](const RecordedSettings& s) {
        return s.existed && AsciiLowerCase(s.file) == AsciiLowerCase(path);
    });
}

// One change the restore makes, judged before the first.
struct Step {
    enum Kind { PutBack, SetAside, Return } kind;
    const RecordedFile* file;
    DiskChanges::FileState now; // the file as found, which the change requires
};

} // namespace

History FindHistory(const std::string& installFolder) {
    History history;
    const std::string install = NormalForm(installFolder);
    std::vector<std::string> roots = {install};
    try {
        if (const std::string redirect = NormalForm(ReadRedirection(install)); !redirect.empty())
            roots.push_back(redirect);
    } catch (const std::exception&) {
        // A settings file that cannot be read: its place is looked at alone.
    }
    // And the places of this user's runs whose records no place above leads
    // to (a run broken off before it pointed the settings at its place).
    for (const std::string& folder : RecordedRunFolders())
        roots.push_back(FileSystem::ExtractFilePath(RemoveBackslash(folder)));
    std::set<std::string> seen, ids;
    for (size_t i = 0; i < roots.size(); ++i) {
        if (roots[i].empty() || !seen.insert(AsciiLowerCase(roots[i])).second)
            continue;
        std::vector<RunRecord> found;
        const unsigned long long bytes = RecordsIn(roots[i], found);
        if (bytes > 0)
            history.backupBytes.push_back({roots[i], bytes});
        for (RunRecord& record : found) {
            for (const std::string* named :
                 {&record.installFolder, &record.sourceRoot, &record.destinationRoot})
                roots.push_back(NormalForm(*named));
            const bool ours =
                record.installFolder.empty() ||
                AsciiLowerCase(NormalForm(record.installFolder)) == AsciiLowerCase(install);
            if (ours && ids.insert(record.id).second)
                history.runs.push_back(std::move(record));
        }
    }
    std::sort(history.runs.begin(), history.runs.end(),
              [](const RunRecord& a, const RunRecord& b) { return a.timeUtc > b.timeUtc; });
    return history;
}

std::string HistoryLine(const RunRecord& run) {
    std::string what;
    if (run.kind == "merge")
        what = "merged sync conflict copies in \"" + DataFolderOf(run.destinationRoot) + "\"";
    else if (run.kind == "restore")
        what = "undid the run " + run.restores;
    else if (!run.newRedirect.empty())
        what = "moved the data to \"" + run.newRedirect + "\"";
    else
        what = "moved the data back to the standard location \"" + run.installFolder + "\"";
    std::map<std::string, long long> counts;
    for (const RecordedFile& file : run.files)
        ++counts[file.action];
    std::string done;
    for (const auto& [action, noun] : {std::pair<const char*, const char*>{"made", "made"},
                                       {"replaced", "replaced"},
                                       {"merged", "merged"},
                                       {"set-aside", "set aside"}})
        if (counts[action] > 0)
            done += (done.empty() ? "; " : ", ") +
                    FileSystem::Counted(counts[action], "file", "files") + " " + noun;
    return ShownTime(run.timeLocal) + ", " + run.machine + ": " + what + done + ", backup " +
           FileSystem::Megabytes(run.backupBytes) + " MB" + (run.complete ? "" : " (broken off)");
}

RestoreOutcome RestoreRun(const RunRecord& run, const RunRecord& header, bool dryRun) {
    RestoreOutcome out;
    // The files, last change first, each judged against what the run left.
    std::vector<Step> steps;
    for (auto file = run.files.rbegin(); file != run.files.rend(); ++file) {
        if (IsSettingsOf(run, file->path))
            continue; // its keys are put back, below
        DiskChanges::FileState now;
        const std::wstring wide = WidePath(file->path);
        if (!DiskChanges::StateOf(wide, now)) {
            out.leftAlone.push_back("\"" + file->path +
                                    "\" cannot be looked at; it is left as it is.");
            continue;
        }
        if (file->action == "set-aside") {
            if (now.exists)
                out.leftAlone.push_back("\"" + file->path +
                                        "\" is there again; the file the run "
                                        "set aside stays in \"" +
                                        file->backup + "\".");
            else
                steps.push_back({Step::Return, &*file, now});
            continue;
        }
        if (!now.exists)
            continue; // gone since: nothing of the run is left there
        const std::string hash = FileHash::Sha256OfFile(wide);
        if (hash != file->sha256 && (file->pendingSha256.empty() || hash != file->pendingSha256)) {
            // A run broken off may have stopped before it placed the file;
            // one that holds its old bytes again needs nothing either.
            const bool untouched =
                file->sha256.empty() ||
                (!file->backup.empty() && FileHash::Sha256OfFile(WidePath(file->backup)) == hash);
            if (!untouched)
                out.leftAlone.push_back(
                    "\"" + file->path + "\" changed since the run and is left as it is" +
                    (file->backup.empty()
                         ? "."
                         : "; the run's old copy is in \"" + file->backup + "\"."));
            continue;
        }
        if (file->action == "made") {
            steps.push_back({Step::SetAside, &*file, now});
        } else if (!file->backup.empty() && FileSystem::FileExists(file->backup)) {
            steps.push_back({Step::PutBack, &*file, now});
        } else {
            out.leftAlone.push_back("\"" + file->path +
                                    "\" stays as the run left it: its old "
                                    "copy is not in the run's backup folder.");
        }
    }
    // The settings keys, each put back only while it holds the run's value.
    struct KeyStep {
        const RecordedSettings* settings;
        const RecordedKey* key;
    };
    std::vector<KeyStep> keys;
    const std::string absent = "\x01";
    // With each settings file to be put back whole, the state it was judged in.
    std::vector<std::pair<const RecordedSettings*, DiskChanges::FileState>> wholeTexts;
    for (const RecordedSettings& settings : run.settings) {
        if (!settings.existed)
            continue; // a settings file the run made is a file it made
        // Still as the run left it: its text comes back whole, byte for byte.
        const auto left =
            std::find_if(run.files.begin(), run.files.end(),
                         [&](const RecordedFile& f) { return f.path == settings.file; });
        DiskChanges::FileState judged;
        if (left != run.files.end() && DiskChanges::StateOf(WidePath(settings.file), judged)) {
            const std::string hash = FileHash::Sha256OfFile(WidePath(settings.file));
            if (hash == left->sha256 ||
                (!left->pendingSha256.empty() && hash == left->pendingSha256)) {
                wholeTexts.push_back({&settings, judged});
                continue;
            }
        }
        TMemIniFile store(settings.file);
        for (const RecordedKey& key : settings.keys) {
            const std::string value = store.ReadString(key.section, key.key, absent);
            const std::optional<std::string> now =
                value == absent ? std::nullopt : std::optional<std::string>(value);
            if (SameText(now, key.after))
                keys.push_back({&settings, &key});
            else if (!SameText(now, key.before)) // as before already: nothing to do
                out.leftAlone.push_back("[" + key.section + "] " + key.key + " in \"" +
                                        settings.file +
                                        "\" changed since the run and is left as "
                                        "it is.");
        }
    }

    for (const auto& [settings, judged] : wholeTexts)
        out.steps.push_back("Put back the settings \"" + settings->file +
                            "\" as they were before the run.");
    for (const KeyStep& step : keys)
        out.steps.push_back("Set [" + step.key->section + "] " + step.key->key + " in \"" +
                            step.settings->file + "\" " +
                            (step.key->before ? "back to \"" + *step.key->before + "\"."
                                              : "back to none (remove it)."));

    for (const Step& step : steps)
        out.steps.push_back(
            step.kind == Step::PutBack
                ? "Put back \"" + step.file->path + "\" from \"" + step.file->backup + "\"."
            : step.kind == Step::SetAside
                ? "Set aside \"" + step.file->path +
                      "\", which the run made, into the restore's "
                      "backup folder."
                : "Return \"" + step.file->path + "\" from \"" + step.file->backup + "\".");
    // The folders the run made, innermost first, go when the restore leaves
    // nothing in them: every file below one is set aside, every folder below
    // one is made by the run too.
    std::set<std::string> goes, made;
    for (const Step& step : steps)
        if (step.kind == Step::SetAside)
            goes.insert(AsciiLowerCase(step.file->path));
    for (const std::string& folder : run.madeFolders)
        made.insert(AsciiLowerCase(AddBackslash(folder)));
    std::function<bool(const std::string&)> emptied = [&](const std::string& folder) {
        bool empty = true;
        FileSystem::ForEachEntryW(
            DiskChanges::AsFolder(WidePath(folder)), [&](const WIN32_FIND_DATAW& entry) {
                const std::string path = folder + DiskChanges::ShownPath(entry.cFileName);
                empty = FileSystem::IsFolderEntry(entry)
                            ? made.count(AsciiLowerCase(path + "\\")) && emptied(path + "\\")
                            : goes.count(AsciiLowerCase(path)) > 0;
                return empty;
            });
        return empty;
    };
    std::vector<std::wstring> folders;
    for (auto folder = run.madeFolders.rbegin(); folder != run.madeFolders.rend(); ++folder)
        if (FileSystem::DirectoryExists(*folder) && emptied(AddBackslash(*folder))) {
            folders.push_back(WidePath(*folder));
            out.steps.push_back("Remove the folder \"" + *folder +
                                "\", which the run made and the restore leaves empty.");
        }
    // The checks a configuration makes before its first change.
    for (const Step& step : steps) {
        // What is read, and the file that is replaced or moved.
        const std::string& from = step.kind == Step::SetAside ? step.file->path : step.file->backup;
        if (std::string problem = CheckFileToCopy(WidePath(from), WidePath(step.file->path));
            !problem.empty()) {
            out.errorText = "Tallyvane's restore failed.\r\n" + problem;
            return out;
        }
    }
    if (dryRun || (steps.empty() && keys.empty() && wholeTexts.empty() && folders.empty()))
        return out;

    // The restore's own backup folder and record, before its first change.
    // In the installation folder, where the history always looks, naming the
    // places of the run it undoes, so that their records are found too.
    const std::string holder =
        AddBackslash(!run.installFolder.empty() ? run.installFolder : run.destinationRoot);
    const std::string name = UnusedBackupName(holder);
    if (name.empty() || !DiskChanges::MakeFolder(WidePath(holder + name))) {
        out.errorText = "Tallyvane's restore failed.\r\nA backup folder could not be made in \"" +
                        holder + "\".";
        return out;
    }
    out.backupFolder = holder + name + "\\";
    out.changed = true;
    RunRecord record = header;
    record.kind = "restore";
    record.restores = run.id;
    record.installFolder = run.installFolder;
    record.sourceRoot = run.sourceRoot;
    record.destinationRoot = run.destinationRoot;
    RunRecorder recorder(record, out.backupFolder);

    std::string failed;
    // A file that changed while the restore ran is left as the other program
    // made it, as one that changed before.
    const auto changedMeanwhile = [&](const std::string& path) {
        out.leftAlone.push_back("\"" + path +
                                "\" changed while the restore ran and is left as it is.");
        return true;
    };
    // One file's change; false when it failed.
    const auto change = [&](const Step& step) {
        const std::wstring target = WidePath(step.file->path);
        const std::string kept = out.backupFolder + BelowRoot(step.file->path, run);
        bool done = false;
        if (step.kind == Step::PutBack) {
            // What the run left is kept first, so that the restore can be
            // undone; then the old bytes take its place, only over what was
            // judged above.
            MakeFoldersFor(out.backupFolder, kept);
            done = DiskChanges::CopyWhole(target, WidePath(kept)) &&
                   DiskChanges::CopyWhole(WidePath(step.file->backup), target, &step.now);
            if (!done && GetLastError() == DiskChanges::TargetChanged)
                done = changedMeanwhile(step.file->path);
        } else if (step.kind == Step::SetAside) {
            MakeFoldersFor(out.backupFolder, kept);
            DiskChanges::BeforeChange(target);
            // Only the file as judged is moved away.
            DiskChanges::FileState now;
            if (DiskChanges::StateOf(target, now) && now != step.now)
                return changedMeanwhile(step.file->path);
            done = MoveFileExW(target.c_str(), WidePath(kept).c_str(),
                               MOVEFILE_WRITE_THROUGH | MOVEFILE_COPY_ALLOWED);
            if (done)
                recorder.SetAside(step.file->path, kept, step.file->sha256, step.file->bytes);
        } else {
            // Into its folder as it was, which the restore undone may have
            // removed.
            const DiskChanges::FileState none;
            done = FileSystem::ForceDirectories(FileSystem::ExtractFilePath(step.file->path)) &&
                   DiskChanges::CopyWhole(WidePath(step.file->backup), target, &none);
        }
        return done;
    };
    // A settings file the run made where the restore points Tallyvane back
    // to is set aside before the settings that would make it the one in
    // effect again; anything else waits until they point away from it.
    const std::string comesBack =
        AsciiLowerCase(!run.oldRedirect.empty() ? run.oldRedirect : run.installFolder);
    const auto isSettings = [&](const Step& step) {
        const std::string path = AsciiLowerCase(step.file->path);
        return FileSystem::ExtractFileName(path) == SettingsFileName && !comesBack.empty() &&
               path.starts_with(comesBack);
    };
    unsigned long long bytes = 0;
    for (const Step& step : steps)
        bytes += step.file->bytes;
    ReportStage(WorkStage::Restoring, holder, steps.size(), bytes);
    const auto changeFiles = [&](bool settings) {
        for (const Step& step : steps) {
            if (!failed.empty() || out.cancelled || isSettings(step) != settings)
                continue;
            if (!MayGoOn(step.file->path, step.file->bytes))
                out.cancelled = true;
            else if (!change(step))
                failed = step.file->path;
        }
    };
    changeFiles(true);
    // The settings first, the installation's own before the others: they
    // point Tallyvane back at the place the run left as it was, so that a
    // restore broken off after them leaves the settings and data in use
    // whole; the files at the place the run changed follow.
    const std::string installSettings = AsciiLowerCase(run.installFolder + SettingsFileName);
    std::map<std::string, std::vector<const RecordedKey*>> keysByFile;
    for (const KeyStep& step : keys)
        keysByFile[step.settings->file].push_back(step.key);
    for (const bool installation : {true, false}) {
        for (const auto& [settings, judged] : wholeTexts) {
            if (!failed.empty() || out.cancelled ||
                (AsciiLowerCase(settings->file) == installSettings) != installation)
                continue;
            // Only over the text the run left, which was judged above.
            if (!DiskChanges::WriteWhole(WidePath(settings->file), settings->before, 0, &judged) &&
                !(GetLastError() == DiskChanges::TargetChanged && changedMeanwhile(settings->file)))
                failed = settings->file;
        }
        for (const auto& [file, fileKeys] : keysByFile) {
            if (!failed.empty() || out.cancelled ||
                (AsciiLowerCase(file) == installSettings) != installation)
                continue;
            TMemIniFile store(file);
            for (const RecordedKey* key : fileKeys) {
                if (key->before)
                    store.WriteString(key->section, key->key, *key->before);
                else
                    DeleteIniKey(&store, key->section, key->key);
            }
            store.UpdateFile();
        }
    }
    changeFiles(false);
    // A folder that still holds anything stays.
    for (const std::wstring& folder : folders)
        if (failed.empty() && !out.cancelled) {
            DiskChanges::BeforeChange(folder);
            RemoveDirectoryW(folder.c_str());
        }
    recorder.Finish();
    if (!failed.empty()) {
        out.errorText = "Tallyvane's restore failed at \"" + failed +
                        "\".\r\nWhat it changed before is kept in \"" + out.backupFolder +
                        "\", with its record: restoring that run undoes it.";
        return out;
    }
    out.report = std::string(out.cancelled ? "The restore was cancelled part-way."
                                           : "The run has been undone.") +
                 "\r\nWhat the restore replaced or set aside is kept in \"" + out.backupFolder +
                 "\": restoring this restore undoes it.";
    return out;
}

} // namespace TVNConfigUtil
