#include "RunRecord.h"

#include <windows.h>

#include <lmcons.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "FileHash.h"
#include "FileSystem.h"
#include "IniText.h"
#include "TVNConfigUtil.h"
#include "TextCodes.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

namespace {

using nlohmann::json;

std::wstring Widen(const char* ascii) {
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

std::wstring LowerWide(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

// Texts are ANSI here and UTF-8 in the record.
std::string ToUtf8(const std::string& ansi) {
    return TextCodes::Utf8FromAnsi(ansi);
}
std::string FromUtf8(const std::string& utf8) {
    const std::wstring wide = TextCodes::Wide(utf8, CP_UTF8);
    if (wide.empty())
        return std::string();
    const int size =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(size > 0 ? size_t(size) : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), ansi.data(), size, nullptr,
                        nullptr);
    return ansi;
}

std::string Iso(const SYSTEMTIME& t, bool utc) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%s", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, utc ? "Z" : "");
    return text;
}

std::string IsoOfFileTime(unsigned long long written) {
    FILETIME time{DWORD(written), DWORD(written >> 32)};
    SYSTEMTIME system;
    return FileTimeToSystemTime(&time, &system) ? Iso(system, true) : std::string();
}

json Optional(const std::optional<std::string>& value) {
    return value ? json(ToUtf8(*value)) : json(nullptr);
}
std::optional<std::string> OptionalOf(const json& value) {
    return value.is_string() ? std::optional<std::string>(FromUtf8(value.get<std::string>()))
                             : std::nullopt;
}

json FileJson(const RecordedFile& f) {
    return {{"path", ToUtf8(f.path)}, {"action", f.action},   {"backup", ToUtf8(f.backup)},
            {"bytes", f.bytes},       {"written", f.written}, {"sha256", f.sha256}};
}
RecordedFile FileOf(const json& j) {
    return {FromUtf8(j.value("path", "")),
            j.value("action", ""),
            FromUtf8(j.value("backup", "")),
            j.value("bytes", 0ull),
            j.value("written", ""),
            j.value("sha256", ""),
            std::string()};
}

json SettingsJson(const RecordedSettings& s) {
    json keys = json::array();
    for (const RecordedKey& k : s.keys)
        keys.push_back({{"section", ToUtf8(k.section)},
                        {"key", ToUtf8(k.key)},
                        {"before", Optional(k.before)},
                        {"after", Optional(k.after)}});
    return {{"file", ToUtf8(s.file)},
            {"existed", s.existed},
            {"before", ToUtf8(s.before)},
            {"keys", keys}};
}
RecordedSettings SettingsOf(const json& j) {
    RecordedSettings s{FromUtf8(j.value("file", "")),
                       j.value("existed", false),
                       FromUtf8(j.value("before", "")),
                       {}};
    for (const json& k : j.value("keys", json::array()))
        s.keys.push_back({FromUtf8(k.value("section", "")), FromUtf8(k.value("key", "")),
                          OptionalOf(k["before"]), OptionalOf(k["after"])});
    return s;
}

json RecordJson(const RunRecord& r) {
    json j = {{"id", r.id},
              {"timeUtc", r.timeUtc},
              {"timeLocal", r.timeLocal},
              {"machine", ToUtf8(r.machine)},
              {"user", ToUtf8(r.user)},
              {"version", r.version},
              {"kind", r.kind},
              {"direction", r.direction},
              {"folders",
               {{"installation", ToUtf8(r.installFolder)},
                {"source", ToUtf8(r.sourceRoot)},
                {"destination", ToUtf8(r.destinationRoot)},
                {"oldRedirection", ToUtf8(r.oldRedirect)},
                {"newRedirection", ToUtf8(r.newRedirect)}}},
              {"comparison", r.comparison},
              {"answer", r.answer},
              {"restores", r.restores},
              {"complete", r.complete},
              {"files", json::array()},
              {"settings", json::array()}};
    for (const RecordedFile& f : r.files)
        j["files"].push_back(FileJson(f));
    for (const RecordedSettings& s : r.settings)
        j["settings"].push_back(SettingsJson(s));
    j["madeFolders"] = json::array();
    for (const std::string& folder : r.madeFolders)
        j["madeFolders"].push_back(ToUtf8(folder));
    return j;
}

RunRecord RecordOf(const json& j) {
    RunRecord r;
    r.id = j.value("id", "");
    r.timeUtc = j.value("timeUtc", "");
    r.timeLocal = j.value("timeLocal", "");
    r.machine = FromUtf8(j.value("machine", ""));
    r.user = FromUtf8(j.value("user", ""));
    r.version = j.value("version", "");
    r.kind = j.value("kind", "");
    r.direction = j.value("direction", "");
    const json folders = j.value("folders", json::object());
    r.installFolder = FromUtf8(folders.value("installation", ""));
    r.sourceRoot = FromUtf8(folders.value("source", ""));
    r.destinationRoot = FromUtf8(folders.value("destination", ""));
    r.oldRedirect = FromUtf8(folders.value("oldRedirection", ""));
    r.newRedirect = FromUtf8(folders.value("newRedirection", ""));
    r.comparison = j.value("comparison", "");
    r.answer = j.value("answer", "");
    r.restores = j.value("restores", "");
    r.complete = j.value("complete", false);
    for (const json& f : j.value("files", json::array()))
        r.files.push_back(FileOf(f));
    for (const json& s : j.value("settings", json::array()))
        r.settings.push_back(SettingsOf(s));
    for (const json& folder : j.value("madeFolders", json::array()))
        if (folder.is_string())
            r.madeFolders.push_back(FromUtf8(folder.get<std::string>()));
    return r;
}

// A file placed twice in one run keeps its first action and backup; a
// settings file written twice keeps its first text and merges its keys.
void Merge(RunRecord& r, const RecordedFile& file) {
    for (RecordedFile& known : r.files)
        if (known.path == file.path) {
            // Only a placement seen sets the action; one about to be, guesses.
            const bool placedBefore = !known.sha256.empty();
            const std::string action = known.action, backup = known.backup;
            known = file;
            if (placedBefore)
                known.action = action;
            if (!backup.empty())
                known.backup = backup;
            return;
        }
    r.files.push_back(file);
}
// A placement about to be made, from a journal line written before it.
void MergePending(RunRecord& r, RecordedFile file) {
    for (RecordedFile& known : r.files)
        if (known.path == file.path) {
            known.pendingSha256 = file.sha256;
            if (known.backup.empty())
                known.backup = file.backup;
            return;
        }
    file.pendingSha256 = file.sha256;
    file.sha256.clear();
    r.files.push_back(file);
}
void AddFolder(RunRecord& r, const std::string& folder) {
    for (const std::string& known : r.madeFolders)
        if (AsciiLowerCase(known) == AsciiLowerCase(folder))
            return;
    r.madeFolders.push_back(folder);
}
void Merge(RunRecord& r, const RecordedSettings& settings) {
    for (RecordedSettings& known : r.settings)
        if (known.file == settings.file) {
            for (const RecordedKey& key : settings.keys) {
                bool found = false;
                for (RecordedKey& k : known.keys)
                    if (AsciiLowerCase(k.section) == AsciiLowerCase(key.section) &&
                        AsciiLowerCase(k.key) == AsciiLowerCase(key.key)) {
                        k.after = key.after;
                        found = true;
                    }
                if (!found)
                    known.keys.push_back(key);
            }
            return;
        }
    r.settings.push_back(settings);
}

bool IsSettingsFile(const std::wstring& target) {
    const size_t cut = target.find_last_of(L'\\') + 1;
    return _wcsicmp(target.c_str() + cut, L"tvn.ini") == 0;
}

// The size above which a run looks at which listed folders are gone (some
// hundreds of lines).
constexpr unsigned long long RunListLookAbove = 64 * 1024;

// The list of the runs' backup folders, one a line, in UTF-8.
std::wstring RunListFile() {
    const std::string local = GetEnvVar("LOCALAPPDATA");
    return local.empty() ? std::wstring()
                         : DiskChanges::WidePath(AddBackslash(local) + "TVNCloudDrive\\runs.txt");
}

} // namespace

// The folders on the list; gone counts the lines that name folders gone
// since.
std::vector<std::string> RecordedRunFolders(size_t* gone) {
    std::vector<std::string> folders;
    std::string text;
    const std::wstring file = RunListFile();
    if (file.empty() || !DiskChanges::ReadWhole(file, text))
        return folders;
    for (const std::string& line : FileSystem::SplitLines(text)) {
        if (line.empty())
            continue;
        if (FileSystem::DirectoryExists(FromUtf8(line)))
            folders.push_back(FromUtf8(line));
        else if (gone)
            ++*gone;
    }
    return folders;
}

namespace {

// Adds a run's backup folder to the list: a line appended, so that two runs
// at once (the window and the command line) both keep theirs. Once the list
// is long, it is written again without the folders gone since; a run with
// a short list does not look at every listed folder. The list
// is this program's own index, not the user's data: it is written with the
// plain calls, outside the changes a run counts and journals.
void JoinRunList(const std::string& backupFolder) {
    const std::wstring file = RunListFile();
    if (file.empty())
        return;
    const std::string line = ToUtf8(backupFolder) + "\r\n";
    WIN32_FILE_ATTRIBUTE_DATA list{};
    const bool longList = GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &list) &&
                          FileSystem::ReportedSize(list) > RunListLookAbove;
    size_t gone = 0;
    const std::vector<std::string> folders =
        longList ? RecordedRunFolders(&gone) : std::vector<std::string>();
    const auto write = [&](const std::wstring& path, const std::string& text, DWORD access,
                           DWORD creation) {
        UniqueFileHandle handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr,
                                            creation, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD wrote = 0;
        return handle &&
               WriteFile(handle.get(), text.data(), DWORD(text.size()), &wrote, nullptr) &&
               wrote == text.size();
    };
    if (gone > 0) {
        std::string text;
        for (const std::string& folder : folders)
            text += ToUtf8(folder) + "\r\n";
        const std::wstring fresh = file + L".new";
        if (write(fresh, text + line, GENERIC_WRITE, CREATE_ALWAYS) &&
            MoveFileExW(fresh.c_str(), file.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return;
        DeleteFileW(fresh.c_str());
    }
    CreateDirectoryW(file.substr(0, file.find_last_of(L'\\')).c_str(), nullptr);
    write(file, line, FILE_APPEND_DATA, OPEN_ALWAYS);
}

} // namespace

void StampRunRecord(RunRecord& record) {
    SYSTEMTIME utc, local;
    GetSystemTime(&utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    record.timeUtc = Iso(utc, true);
    record.timeLocal = Iso(local, false);
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    record.machine = GetComputerNameA(name, &size) ? name : "";
    char user[UNLEN + 1] = {};
    size = sizeof user;
    record.user = GetUserNameA(user, &size) ? user : "";
    char id[40];
    std::snprintf(id, sizeof id, "%04u%02u%02uT%02u%02u%02u%03uZ", utc.wYear, utc.wMonth, utc.wDay,
                  utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds);
    record.id = std::string(id) + "-" + record.machine;
}

RunRecorder::RunRecorder(RunRecord header, const std::string& backupFolder)
    : record_(std::move(header)),
      folder_(LowerWide(DiskChanges::AsFolder(DiskChanges::WidePath(backupFolder)))) {
    if (record_.id.empty())
        StampRunRecord(record_);
    record_.backupFolder = AddBackslash(backupFolder);
    record_.complete = false;
    WriteRecord();
    JoinRunList(record_.backupFolder);
    DiskChanges::SetChangeJournal(this);
}

RunRecorder::~RunRecorder() {
    // The run has ended, also by an error or a stop; only a process that
    // dies leaves its record to be completed from the journal.
    if (!record_.complete)
        Finish();
    DiskChanges::SetChangeJournal(nullptr);
}

bool RunRecorder::WriteRecord() {
    DiskChanges::ChangeJournal* journal = this;
    DiskChanges::SetChangeJournal(nullptr);
    const bool written = DiskChanges::WriteWhole(
        folder_ + Widen(RunRecordName),
        RecordJson(record_).dump(2, ' ', false, json::error_handler_t::replace),
        FILE_ATTRIBUTE_NORMAL);
    DiskChanges::SetChangeJournal(journal);
    return written;
}

void RunRecorder::Finish() {
    record_.complete = true;
    WriteRecord();
}

void RunRecorder::Add(const RecordedFile& file, const RecordedSettings* settings) {
    Merge(record_, file);
    json line = {{"file", FileJson(file)}};
    if (settings) {
        Merge(record_, *settings);
        for (const RecordedSettings& known : record_.settings)
            if (known.file == settings->file)
                line["settings"] = SettingsJson(known);
    }
    Append(line.dump(-1, ' ', false, json::error_handler_t::replace));
}

void RunRecorder::Append(const std::string& line) {
    // Appended, not rewritten: a process that dies leaves every line it
    // wrote in the system's cache, and the file never holds half a record.
    // The file stays open for the run's next lines.
    const std::wstring path = folder_ + Widen(RunJournalName);
    DiskChanges::BeforeChange(path);
    if (!journal_)
        journal_.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string text = line + "\n";
    DWORD wrote = 0;
    if (journal_)
        WriteFile(journal_.get(), text.data(), DWORD(text.size()), &wrote, nullptr);
}

void RunRecorder::FolderMade(const std::wstring& folder) {
    const std::wstring made = LowerWide(DiskChanges::AsFolder(folder));
    if (made.starts_with(folder_))
        return; // below the run's own backup folder
    const std::string shown = DiskChanges::ShownPath(DiskChanges::AsFolder(folder));
    AddFolder(record_, shown);
    Append(json{{"folder", ToUtf8(shown)}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::string RunRecorder::ActionOf(bool made) const {
    return made ? "made" : record_.kind == "merge" ? "merged" : "replaced";
}

void RunRecorder::Before(const std::wstring& from, const std::wstring& target,
                         const std::wstring& temporary) {
    pending_ = Pending{};
    const std::wstring lower = LowerWide(target);
    if (lower.starts_with(folder_)) {
        // A copy into the backup: the old bytes of the file it copies.
        if (!from.empty())
            backupOf_[LowerWide(from)] = DiskChanges::ShownPath(target);
        return;
    }
    pending_.target = target;
    RecordedFile& file = pending_.file;
    file.path = DiskChanges::ShownPath(target);
    // The rename that places the temporary keeps its size and times.
    unsigned long long written = 0;
    file.sha256 = FileHash::Sha256OfFile(temporary, &file.bytes, &written);
    file.written = IsoOfFileTime(written);
    pending_.existed = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    file.action = ActionOf(!pending_.existed);
    if (auto backup = backupOf_.find(LowerWide(target)); backup != backupOf_.end())
        file.backup = backup->second;
    pending_.settings = IsSettingsFile(target);
    if (pending_.settings) {
        std::string oldText, newText;
        DiskChanges::ReadWhole(target, oldText);
        DiskChanges::ReadWhole(temporary, newText);
        pending_.keys = {file.path, pending_.existed, pending_.existed ? oldText : "",
                         ChangedKeys(oldText, newText)};
    }
    // Written before the change, so that a run broken off between the
    // change and its line below is still known to have been about to make
    // it; the restore then looks whether the target holds these bytes.
    json line = {{"pending", FileJson(file)}};
    if (pending_.settings)
        line["settings"] = SettingsJson(pending_.keys);
    Append(line.dump(-1, ' ', false, json::error_handler_t::replace));
}

void RunRecorder::Placed(const std::wstring& target, bool made) {
    if (pending_.target.empty() || pending_.target != target)
        return;
    // What was there a moment ago decided the action; the rename tells.
    if (made != !pending_.existed) {
        pending_.file.action = ActionOf(made);
        pending_.keys.existed = !made;
        if (made)
            pending_.keys.before.clear();
    }
    Add(pending_.file, pending_.settings ? &pending_.keys : nullptr);
    pending_ = Pending{};
}

void RunRecorder::SetAside(const std::string& path, const std::string& to,
                           const std::string& sha256, unsigned long long bytes) {
    Add(RecordedFile{path, "set-aside", to, bytes, std::string(), sha256, std::string()}, nullptr);
}

std::optional<RunRecord> ReadRunRecord(const std::string& backupFolder) {
    const std::wstring folder = DiskChanges::AsFolder(DiskChanges::WidePath(backupFolder));
    std::string text;
    if (folder.empty() || !DiskChanges::ReadWhole(folder + Widen(RunRecordName), text))
        return std::nullopt;
    const json parsed = json::parse(text, nullptr, false);
    if (!parsed.is_object())
        return std::nullopt;
    RunRecord record = RecordOf(parsed);
    record.backupFolder = AddBackslash(backupFolder);
    std::string journal;
    if (!record.complete && DiskChanges::ReadWhole(folder + Widen(RunJournalName), journal)) {
        for (const std::string& line : FileSystem::SplitLines(journal)) {
            const json entry = json::parse(line, nullptr, false);
            if (!entry.is_object())
                continue; // a line the run did not finish writing
            if (entry.contains("folder") && entry["folder"].is_string())
                AddFolder(record, FromUtf8(entry["folder"].get<std::string>()));
            if (entry.contains("pending"))
                MergePending(record, FileOf(entry["pending"]));
            else if (entry.contains("file"))
                Merge(record, FileOf(entry["file"]));
            else
                continue;
            if (entry.contains("settings"))
                Merge(record, SettingsOf(entry["settings"]));
        }
    }
    return record;
}

std::vector<RecordedKey> ChangedKeys(const std::string& before, const std::string& after) {
    const TIniText old = TIniText::Parse(before), now = TIniText::Parse(after);
    const std::string absent = "\x01";
    std::vector<RecordedKey> keys;
    auto look = [&](const TIniText& text) {
        for (const TIniText::Section& section : text.Sections())
            for (const std::string& line : section.lines) {
                const size_t equals = line.find('=');
                if (equals == std::string::npos)
                    continue;
                const std::string key = line.substr(0, equals);
                bool known = false;
                for (const RecordedKey& k : keys)
                    known = known || (AsciiLowerCase(k.section) == AsciiLowerCase(section.name) &&
                                      AsciiLowerCase(k.key) == AsciiLowerCase(key));
                const std::string a = old.ReadString(section.name, key, absent);
                const std::string b = now.ReadString(section.name, key, absent);
                if (known || a == b)
                    continue;
                keys.push_back({section.name, key,
                                a == absent ? std::nullopt : std::optional<std::string>(a),
                                b == absent ? std::nullopt : std::optional<std::string>(b)});
            }
    };
    look(now);
    look(old);
    return keys;
}

} // namespace TVNConfigUtil
