#include "ConflictCopies.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "CloudFiles.h"
#include "Completeness.h"
#include "ConflictRules.h"
#include "CopyPlan.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "KeptWork.h"
#include "OnlineFiles.h"
#include "Preflight.h"
#include "Progress.h"
#include "RunRecord.h"
#include "TVNConfigUtil.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

namespace {

using DiskChanges::AsFolder;
using DiskChanges::ShownPath;
using DiskChanges::WidePath;
using FileSystem::Counted;

struct FoundFile {
    std::wstring name;
    unsigned long long bytes = 0;
    DWORD attributes = 0;
};

// A month that has copies: its month file (or none) and the copies by name.
struct MonthFiles {
    std::string month;
    std::optional<FoundFile> file;
    std::vector<FoundFile> copies;

    std::wstring FileName() const {
        return file ? file->name : std::wstring(month.begin(), month.end()) + L".txt";
    }
    std::vector<const FoundFile*> All() const {
        std::vector<const FoundFile*> all;
        if (file)
            all.push_back(&*file);
        for (const FoundFile& copy : copies)
            all.push_back(&copy);
        return all;
    }
};

// One walk of the data folder (a \\?\ path ending with a backslash).
std::vector<MonthFiles> MonthsWithCopies(const std::wstring& data) {
    std::map<std::string, MonthFiles> months;
    FileSystem::ForEachEntryW(data, [&](const WIN32_FIND_DATAW& entry) {
        if (FileSystem::IsFolderEntry(entry))
            return true;
        const std::string shown = ShownPath(entry.cFileName);
        const FoundFile found{entry.cFileName, FileSystem::ReportedSize(entry),
                              entry.dwFileAttributes};
        const std::string copyOf = ConflictCopyMonth(shown);
        const std::string month = !copyOf.empty() ? copyOf : shown.substr(0, 7);
        if (!copyOf.empty() || IsMonthlyDataFileName(shown)) {
            MonthFiles& files = months[AsciiLowerCase(month)];
            if (files.month.empty())
                files.month = month;
            if (copyOf.empty())
                files.file = found;
            else
                files.copies.push_back(found);
        }
        return true;
    });
    std::vector<MonthFiles> withCopies;
    for (auto& [key, files] : months)
        if (!files.copies.empty()) {
            std::sort(files.copies.begin(), files.copies.end(),
                      [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
            withCopies.push_back(std::move(files));
        }
    return withCopies;
}

// Reads a file whole as the copy reads it, leaving others free to read and
// write it. False, with GetLastError(), when it cannot be opened or read.
bool ReadShared(const std::wstring& path, std::string& text) {
    return !CloudFiles::ReadRefused(path) && DiskChanges::ReadWhole(path, text);
}

// A month's texts: the month file's (empty when there is none), then the
// copies'. 0, or the system's error with the path of the first file that
// cannot be read. read is the month file as it was read (absent when there
// is none): a file written during its read is read again.
DWORD ReadMonth(const std::wstring& data, const MonthFiles& files, std::vector<std::string>& texts,
                std::wstring& unreadable, DiskChanges::FileState& read) {
    // Emptied, not made anew: each text keeps its memory for the next.
    texts.resize(1 + files.copies.size());
    for (std::string& text : texts)
        text.clear();
    read = DiskChanges::FileState{};
    size_t at = files.file ? 0 : 1;
    for (const FoundFile* file : files.All()) {
        const std::wstring path = data + file->name;
        for (int attempt = 0;; ++attempt) {
            DiskChanges::FileState before, after;
            const bool month = files.file && file == &*files.file;
            if (month && !DiskChanges::StateOf(path, before))
                before = DiskChanges::FileState{true};
            if (!ReadShared(path, texts[at])) {
                const DWORD error = GetLastError();
                unreadable = path;
                return error ? error : ERROR_READ_FAULT;
            }
            if (!month)
                break;
            if (DiskChanges::StateOf(path, after) && (after == before || attempt == 3)) {
                read = after;
                break;
            }
        }
        ++at;
    }
    return 0;
}
DWORD ReadMonth(const std::wstring& data, const MonthFiles& files, std::vector<std::string>& texts,
                std::wstring& unreadable) {
    DiskChanges::FileState read;
    return ReadMonth(data, files, texts, unreadable, read);
}

// A month's texts, kept from a look or merge for the next: a merge reads the
// files its look has just read.
struct MonthTexts {
    std::vector<std::string> texts;
    bool Keep() const { return AllKeptSize(texts); }
};

// A record and the line break after it (empty for a last line without one).
struct Record {
    std::string_view text, end;
};

// Lines as the comparison reads them: they end at CR, LF or CR LF, and a
// break at the very end adds no empty line. The texts hold no byte 0.
std::vector<Record> RecordsOf(std::string_view text) {
    std::vector<Record> records;
    records.reserve(std::count(text.begin(), text.end(), '\n') + 1);
    for (size_t at = 0; at < text.size();) {
        const size_t cut = std::min(text.find_first_of("\r\n", at), text.size());
        const size_t next =
            cut == text.size() ? cut : cut + (text.compare(cut, 2, "\r\n") == 0 ? 2 : 1);
        records.push_back({text.substr(at, cut - at), text.substr(cut, next - cut)});
        at = next;
    }
    return records;
}

// Numbers for the records of two files, equal where the records are the same
// by the comparison's text equality. Byte-identical texts are the same; only
// the texts whose bytes do not pair off between the two files are keyed by
// the locale, as the comparison keys only what is left over. A text that
// pairs off by its bytes keeps its own number, which changes no count of
// what one file lacks.
void Number(const std::vector<Record>& a, const std::vector<Record>& b, std::vector<unsigned>& ka,
            std::vector<unsigned>& kb) {
    std::unordered_map<std::string_view, unsigned> byBytes;
    byBytes.reserve(a.size() + b.size());
    std::vector<long long> balance;
    auto number = [&](const std::vector<Record>& records, std::vector<unsigned>& keys, int side) {
        keys.clear();
        for (const Record& record : records) {
            const auto [it, fresh] = byBytes.try_emplace(record.text, unsigned(byBytes.size()));
            if (fresh)
                balance.push_back(0);
            balance[it->second] += side;
            keys.push_back(it->second);
        }
    };
    number(a, ka, 1);
    number(b, kb, -1);
    std::vector<unsigned> same(byBytes.size());
    std::iota(same.begin(), same.end(), 0u);
    std::unordered_map<std::string, unsigned> byKey;
    for (const auto& [text, n] : byBytes)
        if (balance[n] != 0)
            same[n] = byKey.try_emplace(SameTextKey(text), n).first->second;
    for (std::vector<unsigned>* keys : {&ka, &kb})
        for (unsigned& key : *keys)
            key = same[key];
}

struct MonthMerge {
    std::string text;
    std::vector<long long> added; // per copy
    long long total = 0;
};

// texts: the month file's, then the copies'. New records take the month
// file's line break, else the first copy's, else CR LF.
MonthMerge MergeMonth(const std::vector<std::string>& texts) {
    std::vector<Record> current = RecordsOf(texts[0]);
    std::string_view style = "\r\n";
    for (const std::string& text : texts) {
        const size_t cut = text.find_first_of("\r\n");
        if (cut != std::string::npos) {
            style = std::string_view(text).substr(cut, text.compare(cut, 2, "\r\n") == 0 ? 2 : 1);
            break;
        }
    }
    MonthMerge merge;
    std::vector<unsigned> keys, copyKeys;
    for (size_t c = 1; c < texts.size(); ++c) {
        const std::vector<Record> copy = RecordsOf(texts[c]);
        Number(current, copy, keys, copyKeys);
        std::vector<Record> next;
        next.reserve(current.size() + copy.size());
        long long added = 0;
        for (const MergedRecord& record : MergeRecords(keys, copyKeys)) {
            next.push_back(record.fromCopy ? Record{copy[record.index].text, style}
                                           : current[record.index]);
            added += record.fromCopy;
        }
        current = std::move(next);
        merge.added.push_back(added);
        merge.total += added;
    }
    // The month file's own lines keep their breaks; a last line without one
    // gets one when records follow it.
    // Its length first, so that the text is made once.
    size_t length = 0;
    bool open = false;
    for (const Record& record : current) {
        length += (open ? style.size() : 0) + record.text.size() + record.end.size();
        open = record.end.empty();
    }
    merge.text.reserve(length);
    open = false;
    for (const Record& record : current) {
        if (open)
            merge.text += style;
        merge.text.append(record.text).append(record.end);
        open = record.end.empty();
    }
    return merge;
}

// A file that cannot be read, named as the comparison names one.
[[noreturn]] void Unreadable(const std::wstring& path, DWORD error) {
    ThrowUnreadable(AsciiLowerCase(ShownPath(path)), error);
}

bool HoldsByteZero(const std::vector<std::string>& texts) {
    return std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
        return text.find('\0') != std::string::npos;
    });
}

std::string Failed(const std::string& problem) {
    return ComposeOutcomeReport(problem, "", "", "");
}

// Puts a month file's new text in its place, whole, only while the file is
// as the merge read it (absent when it had none). The new file keeps the old
// one's hidden and system marks.
bool ReplaceWhole(const std::wstring& target, const std::string& text,
                  const DiskChanges::FileState& read) {
    const DWORD existing = GetFileAttributesW(target.c_str());
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (existing != INVALID_FILE_ATTRIBUTES)
        attributes =
            FILE_ATTRIBUTE_ARCHIVE | (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    return DiskChanges::WriteWhole(target, text, attributes, &read);
}

// A month to merge: its files, and its new text once its files were read.
struct PlannedMonth {
    MonthFiles files;
    bool read = false;
    MonthMerge merge;
    DiskChanges::FileState state; // the month file as read
};

// The plan the checks before changes judge: every planned file is read for
// the backup, and each month file is replaced by its new text.
RunPlan PlanOf(const std::string& root, const std::wstring& wideRoot, const std::wstring& data,
               const std::vector<PlannedMonth>& months) {
    RunPlan plan;
    plan.sourceRoot = plan.destinationRoot = root;
    plan.copy = plan.backupDue = true;
    // The merge writes no settings, so none are read to see that they can be.
    plan.settingsRead = {root + SettingsFileName};
    PlannedFolder backed{L"Data\\", true, {}, {}}, replaced{L"", false, {}, {}};
    for (const PlannedMonth& month : months) {
        unsigned long long copies = 0;
        for (const FoundFile* file : month.files.All()) {
            backed.files.push_back({file->name, file->bytes, file->attributes, false, 0, {}});
            plan.destination.bytes += file->bytes;
            copies += file->bytes;
        }
        const FoundFile* old = month.files.file ? &*month.files.file : nullptr;
        // Unread, the new text is at most the old one and twice the copies
        // (a line feed may become CR LF).
        const unsigned long long bytes = month.read ? month.merge.text.size() : 2 * copies;
        replaced.files.push_back({month.files.FileName(),
                                  bytes,
                                  old ? old->attributes : 0,
                                  old != nullptr,
                                  old ? old->bytes : 0,
                                  {}});
        plan.data.bytes += bytes;
    }
    plan.destination.from = wideRoot;
    plan.destination.files = backed.files.size();
    plan.destination.folders = {std::move(backed)};
    plan.data.from = plan.data.to = data;
    plan.data.files = replaced.files.size();
    plan.data.folders = {std::move(replaced)};
    return plan;
}

} // namespace

ConflictFindings FindConflictCopies(const std::string& root) {
    ConflictFindings found;
    found.root = root;
    const std::wstring data = AsFolder(WidePath(DataFolderOf(root)));
    const std::vector<MonthFiles> months =
        data.empty() ? std::vector<MonthFiles>() : MonthsWithCopies(data);
    if (months.empty())
        return found;
    // Files kept online only are fetched first, as the comparison fetches
    // its own, as one stage the user can follow and cancel.
    unsigned long long files = 0, bytes = 0;
    std::vector<FileToFetch> fetch;
    for (const MonthFiles& month : months)
        for (const FoundFile* file : month.All()) {
            ++files;
            bytes += file->bytes;
            if (CloudFiles::IsOnlineOnly(file->attributes))
                fetch.push_back({data + file->name, file->bytes});
        }
    FetchFailure failure;
    if (!FetchOnlineFiles(fetch, failure)) {
        if (failure.error != 0)
            Unreadable(failure.path, failure.error);
        found.stopped = true;
        return found;
    }
    ReportStage(WorkStage::Comparing, AddBackslash(root), files, bytes);
    KeptWork<MonthTexts> kept;
    std::vector<std::string>& texts = (*kept).texts;
    for (const MonthFiles& month : months) {
        for (const FoundFile* file : month.All())
            if (ProgressObserved() && !MayGoOn(ShownPath(data + file->name), file->bytes)) {
                found.stopped = true;
                return found;
            }
        std::wstring unreadable;
        if (const DWORD error = ReadMonth(data, month, texts, unreadable))
            Unreadable(unreadable, error);
        if (HoldsByteZero(texts))
            continue;
        const MonthMerge merge = MergeMonth(texts);
        for (size_t c = 0; c < month.copies.size(); ++c)
            found.copies.push_back({ShownPath(month.copies[c].name), month.month, merge.added[c]});
        found.records += merge.total;
    }
    return found;
}

MergeOutcome MergeConflictCopies(const std::string& rootFolder, bool dryRun) {
    return MergeConflictCopies(rootFolder, dryRun, RunRecord{});
}

MergeOutcome MergeConflictCopies(const std::string& rootFolder, bool dryRun,
                                 const RunRecord& header) {
    MergeOutcome out;
    const std::string root = NormalForm(rootFolder);
    const std::string shownData = DataFolderOf(root);
    const std::wstring wideRoot = AsFolder(WidePath(root));
    const std::wstring data = AsFolder(WidePath(shownData));
    if (root.empty() || data.empty())
        return out;

    // Months whose files were read and add nothing drop out; one with a file
    // that cannot be read stays, so that the checks name that file.
    std::vector<PlannedMonth> months;
    KeptWork<MonthTexts> kept;
    std::vector<std::string>& texts = (*kept).texts;
    for (MonthFiles& files : MonthsWithCopies(data)) {
        PlannedMonth month;
        month.files = std::move(files);
        std::wstring unreadable;
        month.read = ReadMonth(data, month.files, texts, unreadable, month.state) == 0;
        if (month.read && HoldsByteZero(texts))
            continue;
        if (month.read)
            month.merge = MergeMonth(texts);
        if (!month.read || month.merge.total > 0)
            months.push_back(std::move(month));
    }
    if (months.empty())
        return out;
    const std::string cancelled = "Tallyvane configuration was cancelled.\r\nNo month file has "
                                  "been changed; the sync conflict copies have not been merged.";
    if (std::string problem = CheckBeforeChanges(PlanOf(root, wideRoot, data, months));
        !problem.empty()) {
        out.errorText = Failed(problem);
        return out;
    }
    // Stopped while files kept online only were being fetched: nothing has
    // changed, and no backup folder is made.
    if (StopAsked()) {
        out.cancelled = true;
        out.errorText = cancelled;
        return out;
    }
    for (PlannedMonth& month : months) {
        std::wstring unreadable;
        if (month.read)
            continue;
        if (const DWORD error = ReadMonth(data, month.files, texts, unreadable, month.state)) {
            const std::string problem = OpenFailure(ShownPath(unreadable), error);
            out.errorText = Failed(!problem.empty() ? problem
                                                    : "The file \"" + ShownPath(unreadable) +
                                                          "\" has gone since it was listed.");
            return out;
        }
        month.read = !HoldsByteZero(texts);
        if (month.read)
            month.merge = MergeMonth(texts);
    }
    std::erase_if(months, [](const PlannedMonth& m) { return !m.read || m.merge.total == 0; });

    long long records = 0;
    size_t copies = 0, files = 0;
    unsigned long long bytes = 0;
    for (const PlannedMonth& month : months) {
        records += month.merge.total;
        copies += month.files.copies.size();
        for (const FoundFile* file : month.files.All()) {
            ++files;
            bytes += file->bytes;
        }
    }
    const std::string what =
        Counted(records, "record", "records") + " of " +
        Counted(static_cast<long long>(copies), "sync conflict copy", "sync conflict copies");
    const std::string into =
        Counted(static_cast<long long>(months.size()), "month file", "month files") + " in \"" +
        shownData + "\"";
    if (months.empty())
        return out;
    if (dryRun) {
        out.report = "Would merge " + what + " into " + into + ", after backing up " +
                     Counted(static_cast<long long>(files), "file", "files") + " (" +
                     FileSystem::Megabytes(bytes) + " MB) into a new backup folder in \"" + root +
                     "\".";
        return out;
    }

    // The backup: the month files and copies, in the data folder's place in
    // a new backup folder of the root.
    ReportStage(WorkStage::BackingUp, root, files, bytes);
    const std::string name = UnusedBackupName(root);
    const std::string backupFailed = Failed("File backup of \"" + root + "\" failed.");
    if (name.empty()) {
        out.errorText = backupFailed;
        return out;
    }
    out.backupFolder = root + name + "\\";
    out.changed = true;
    const std::wstring backup = WidePath(out.backupFolder + "Data");
    // The record of the merge, kept in its backup folder from before the
    // first file is copied there.
    std::optional<RunRecorder> recorder;
    auto backUp = [&] {
        if (!DiskChanges::MakeFolder(WidePath(root + name)))
            return false;
        RunRecord merge = header;
        merge.kind = "merge";
        merge.sourceRoot = merge.destinationRoot = root;
        recorder.emplace(merge, out.backupFolder);
        if (!DiskChanges::MakeFolder(backup))
            return false;
        const DiskChanges::FileState none;
        for (const PlannedMonth& month : months)
            for (const FoundFile* file : month.files.All())
                if ((ProgressObserved() && !MayGoOn(ShownPath(data + file->name), file->bytes)) ||
                    !DiskChanges::CopyWhole(data + file->name, backup + L"\\" + file->name, &none))
                    return false;
        return true;
    };
    if (!backUp() && !StopAsked()) {
        out.errorText = backupFailed;
        return out;
    }
    if (StopAsked()) {
        out.cancelled = true;
        out.errorText = cancelled;
        return out;
    }

    // Each month file is replaced only while it is as the merge read it.
    // One that another program wrote meanwhile (a record added by the sync
    // client, a file that arrived where the merge would make one) is kept in
    // the backup, read again and merged again; one that keeps changing is
    // left as it is.
    ReportStage(WorkStage::Merging, root, months.size(), 0);
    KeepInBackup keeper(root, out.backupFolder);
    std::vector<std::string> leftAlone;
    records = 0;
    copies = 0;
    size_t merged = 0;
    auto stopped = [&](const std::string& month) {
        std::string text = "The month file \"" + shownData + month + "\" could not be replaced.";
        if (!out.replaced.empty()) {
            text += "\r\nMonth files merged before it:";
            for (const std::string& done : out.replaced)
                text += (done == out.replaced.front() ? " " : ", ") + done;
            text += ".";
        }
        out.errorText = Failed(text + "\r\nThe files as they were before are kept in \"" +
                               out.backupFolder + "\".");
        return out;
    };
    for (PlannedMonth& month : months) {
        const std::wstring target = data + month.files.FileName();
        const std::string shown = ShownPath(month.files.FileName());
        bool done = false, untouched = false;
        for (int attempt = 0; attempt < 4 && !done && !untouched; ++attempt) {
            if (ReplaceWhole(target, month.merge.text, month.state)) {
                done = true;
                break;
            }
            if (GetLastError() != DiskChanges::TargetChanged)
                return stopped(shown);
            DiskChanges::FileState now;
            if (!DiskChanges::StateOf(target, now) || !keeper.Keep(target, now))
                return stopped(shown);
            if (now.exists && !month.files.file)
                month.files.file = FoundFile{month.files.FileName(), now.bytes, 0};
            std::wstring unreadable;
            if (ReadMonth(data, month.files, texts, unreadable, month.state) != 0)
                return stopped(shown);
            untouched = HoldsByteZero(texts);
            if (!untouched)
                month.merge = MergeMonth(texts);
            // What the other program wrote may hold every record already.
            untouched = untouched || month.merge.total == 0;
        }
        if (done) {
            out.replaced.push_back(shown);
            records += month.merge.total;
            copies += month.files.copies.size();
            ++merged;
        } else if (!untouched) {
            leftAlone.push_back(shown);
        }
    }
    out.keptChanged = keeper.Kept();
    out.report =
        "Merged " + Counted(records, "record", "records") + " of " +
        Counted(static_cast<long long>(copies), "sync conflict copy", "sync conflict copies") +
        " into " + Counted(static_cast<long long>(merged), "month file", "month files") + " in \"" +
        shownData + "\"; the files as they were before are kept in \"" + out.backupFolder + "\".";
    if (out.keptChanged > 0)
        out.report += " " +
                      Counted(out.keptChanged, "month file that changed during the merge was",
                              "month files that changed during the merge were") +
                      " read and merged again; the versions found are kept there too.";
    for (const std::string& month : leftAlone)
        out.report += " The month file \"" + shownData + month +
                      "\" kept changing during the merge and was left as it is; its conflict "
                      "copies were not merged into it.";
    recorder->Finish();
    return out;
}

} // namespace TVNConfigUtil
