// What a changing run did, kept in its backup folder so that the run can be
// undone exactly: tvn-run.json, written whole before the first change and
// again at the end, and tvn-run.journal, a JSON line more for each file as
// the run places it, so that a run broken off (a crash, a power cut) can be
// undone as far as it went.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "DiskChanges.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

constexpr const char* RunRecordName = "tvn-run.json";
constexpr const char* RunJournalName = "tvn-run.journal";

struct RecordedFile {
    std::string path;   // where the run left it: full, ANSI
    std::string action; // "made", "replaced", "merged", or "set-aside" (moved into backup)
    // The copy of what was there before ("replaced", "merged"), or where a
    // set-aside file went; empty when none was kept.
    std::string backup;
    unsigned long long bytes = 0; // what the run left there
    std::string written;          // its last-write time, UTC, ISO 8601
    std::string sha256;           // of the bytes the run left there
    // Of the bytes the run was about to place there when its journal ends:
    // a run broken off may or may not have placed them. A file that only
    // this names was not seen placed.
    std::string pendingSha256;
};

// A settings key the run set or removed; nullopt stands for no such key.
struct RecordedKey {
    std::string section, key;
    std::optional<std::string> before, after;
};

struct RecordedSettings {
    std::string file;
    bool existed = false;
    std::string before; // the whole text before the run wrote it
    std::vector<RecordedKey> keys;
};

struct RunRecord {
    std::string id; // "<UTC time>-<machine>", unique per run
    std::string timeUtc, timeLocal, machine, user, version;
    std::string kind;      // "configuration", "merge" or "restore"
    std::string direction; // "moving", "returning", or "" (no comparison)
    std::string installFolder, sourceRoot, destinationRoot, oldRedirect, newRedirect;
    std::string comparison, answer; // the comparison's result and the answer given
    std::string restores;           // a restore: the id of the run it undid
    std::string backupFolder;       // where the record lives
    bool complete = false;          // the run reached its end
    std::vector<RecordedFile> files;
    std::vector<RecordedSettings> settings;
    std::vector<std::string> madeFolders; // outermost first, each ending with a backslash
    // The backup folder's size where the history found it; not kept in the
    // record.
    unsigned long long backupBytes = 0;
};

// The identity of a run now: id, times, machine and user.
void StampRunRecord(RunRecord& record);

// Records a run while it lives: the journal of every whole-file write (see
// DiskChanges::ChangeJournal). Writes into backupFolder (made already) at
// once, before the run's first change. Copies into the backup folder are
// noted as the backups of the files they copy, not as changes.
class RunRecorder : public DiskChanges::ChangeJournal {
  public:
    RunRecorder(RunRecord header, const std::string& backupFolder);
    ~RunRecorder() override;
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    // A file moved into the backup folder (a restore sets aside what a run
    // made).
    void SetAside(const std::string& path, const std::string& to, const std::string& sha256,
                  unsigned long long bytes);
    // The run reached its end: the whole record is written. Also when the
    // recorder goes, so that only a run whose process died is left
    // incomplete.
    void Finish();
    const RunRecord& Record() const { return record_; }

    void Before(const std::wstring& from, const std::wstring& target,
                const std::wstring& temporary) override;
    void Placed(const std::wstring& target, bool made) override;
    void FolderMade(const std::wstring& folder) override;

  private:
    void Add(const RecordedFile& file, const RecordedSettings* settings);
    void Append(const std::string& line); // one line more in the journal
    // What a placement did: made a file, or merged or replaced one.
    std::string ActionOf(bool made) const;
    bool WriteRecord();

    RunRecord record_;
    std::wstring folder_;      // the backup folder, wide, lower case, ending with a backslash
    UniqueFileHandle journal_; // open for appending from the first line on
    std::unordered_map<std::wstring, std::string> backupOf_; // by lower-case wide path
    // The placement told of by Before, as its journal line has it.
    struct Pending {
        std::wstring target;
        RecordedFile file;
        bool settings = false, existed = false;
        RecordedSettings keys; // a settings file's text before and the keys it sets
    } pending_;
};

// The record in a backup folder, its journal taken in where the run did not
// reach its end; nullopt when there is none or it cannot be read.
std::optional<RunRecord> ReadRunRecord(const std::string& backupFolder);

// The backup folders of the runs of this user, from a list in the user's
// local application data that each run joins before its first change: a run
// broken off before it pointed the settings at its place has its record
// where nothing else leads. Folders gone since are left out.
std::vector<std::string> RecordedRunFolders(size_t* gone = nullptr);

// The keys whose values differ between two texts of a settings file.
std::vector<RecordedKey> ChangedKeys(const std::string& before, const std::string& after);

} // namespace TVNConfigUtil
