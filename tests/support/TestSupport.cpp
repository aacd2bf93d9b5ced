#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>

#include "DiskChanges.h"
#include "FileSystem.h"
#include "PathRules.h"
#include "RunRecord.h"

namespace test {

using TVNConfigUtil::AddBackslash;

namespace {
// Tests hold files open on purpose; waiting two seconds for each would only
// make them slow. The test of the wait itself sets its own.
const bool shortSharingWait = (DiskChanges::SetSharingWait(100), true);
} // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    char base[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, base);
    if (n == 0 || n >= MAX_PATH)
        throw std::runtime_error("no temporary folder");
    for (;;) {
        std::string candidate = AddBackslash(base) + "tvn-test-" +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate + "\\";
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create " + candidate);
    }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    size_t cut = path.find_last_of('\\');
    if (cut != std::string::npos)
        MakeDirs(path.substr(0, cut));
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                      &written, nullptr) ||
                           written != bytes.size()))
        throw std::runtime_error("short write " + path);
}

std::string ReadBytes(const std::string& path) {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        out.append(buffer, got);
    return out;
}

bool IsFile(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDir(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolderLink(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
           (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

namespace {
// The Unix name of a path when running under Wine; empty elsewhere.
std::string UnixNameOf(const std::string& path) {
    using Convert = char* (*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return std::string();
    std::wstring wide(path.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                static_cast<int>(wide.size()));
    if (n == 0)
        return std::string();
    char* unix = convert(wide.c_str());
    if (!unix)
        return std::string();
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}
} // namespace

namespace {
// Runs a Unix program under Wine and waits until done(), which tells by its
// effect: Wine hands the program over and reports it ended at once.
bool RunUnix(std::string command, const std::function<bool()>& done) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    UniqueKernelHandle thread(process.hThread);
    UniqueKernelHandle program(process.hProcess);
    WaitForSingleObject(program.get(), 10000);
    for (int waited = 0; waited < 5000 && !done(); waited += 10)
        Sleep(10);
    return done();
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}
} // namespace

bool MakeFolderLink(const std::string& link, const std::string& target) {
    const DWORD allowUnprivileged = 0x2;
    if (CreateSymbolicLinkA(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | allowUnprivileged) &&
        IsFolderLink(link))
        return true;
    // Wine reports success without making a link; a Unix symbolic link is
    // what it shows as a folder link.
    std::string unixTarget = UnixNameOf(target);
    std::string unixLink = UnixNameOf(link);
    if (unixTarget.empty() || unixLink.empty())
        return false;
    return RunUnix("/bin/ln -s " + Quoted(unixTarget) + " " + Quoted(unixLink),
                   [&] { return IsFolderLink(link); });
}

namespace {
// Removes the link itself, never what it leads to.
void RemoveFolderLink(const std::string& link) {
    if (RemoveDirectoryA(link.c_str()))
        return;
    // Wine looks through a Unix link and finds the target not empty.
    std::string unixLink = UnixNameOf(link);
    if (!unixLink.empty())
        RunUnix("/bin/rm " + Quoted(unixLink), [&] { return !IsFolderLink(link); });
}
} // namespace

std::vector<std::string> ListDir(const std::string& folder) {
    std::vector<std::string> names;
    FileSystem::ForEachEntry(AddBackslash(folder), [&](const WIN32_FIND_DATAA& entry) {
        names.push_back(entry.cFileName);
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// The record a run keeps of itself in its backup folder.
bool IsRunRecord(const std::string& name) {
    return name == TVNConfigUtil::RunRecordName || name == TVNConfigUtil::RunJournalName;
}

} // namespace

bool HoldsOnlyRunRecord(const std::string& backupFolder) {
    const std::vector<std::string> names = ListDir(AddBackslash(backupFolder));
    return !names.empty() && std::all_of(names.begin(), names.end(), IsRunRecord);
}

std::vector<std::string> BackupFolders(const std::string& folder) {
    std::vector<std::string> names = ListDir(folder);
    std::erase_if(names, [&](const std::string& name) {
        return !TVNConfigUtil::IsBackupFolderName(TVNConfigUtil::BackupPrefix, name) ||
               HoldsOnlyRunRecord(AddBackslash(folder) + name);
    });
    return names;
}

void RemoveTree(const std::string& path) {
    std::string folder = AddBackslash(path);
    if (folder.empty())
        return;
    for (const std::string& name : ListDir(folder)) {
        std::string full = folder + name;
        if (IsFolderLink(full)) {
            RemoveFolderLink(full);
        } else if (IsDir(full)) {
            RemoveTree(full);
        } else {
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(full.c_str());
        }
    }
    std::string bare = folder.substr(0, folder.size() - 1);
    SetFileAttributesA(bare.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(bare.c_str());
}

std::string ReadWide(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot read " + DiskChanges::ShownPath(path));
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        out.append(buffer, got);
    return out;
}

void WriteWide(const std::wstring& path, const std::string& bytes) {
    for (size_t at = path.find(L'\\', 7); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file ||
        (!bytes.empty() && !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        &written, nullptr)))
        throw std::runtime_error("cannot write " + DiskChanges::ShownPath(path));
}

// Listed and read with the wide calls, so that names outside the code page
// and paths beyond 260 characters are in it too.
Snapshot SnapshotTree(const std::string& folder) {
    Snapshot snapshot;
    std::function<void(const std::wstring&, const std::string&)> collect =
        [&](const std::wstring& wide, const std::string& relative) {
            FileSystem::ForEachEntryW(wide, [&](const WIN32_FIND_DATAW& entry) {
                const std::string path = relative + DiskChanges::ShownPath(entry.cFileName);
                const std::wstring full = wide + entry.cFileName;
                const bool backup = TVNConfigUtil::IsBackupFolderName(
                    TVNConfigUtil::BackupPrefix, DiskChanges::ShownPath(entry.cFileName));
                if (FileSystem::IsFolderEntry(entry) &&
                    (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    snapshot.links.insert(path + "\\");
                } else if (FileSystem::IsFolderEntry(entry)) {
                    if (!backup || !HoldsOnlyRunRecord(DiskChanges::ShownPath(full)))
                        snapshot.folders.insert(path + "\\");
                    collect(full + L"\\", path + "\\");
                } else if (IsRunRecord(DiskChanges::ShownPath(entry.cFileName)) &&
                           TVNConfigUtil::IsBackupFolderName(
                               TVNConfigUtil::BackupPrefix,
                               FileSystem::ExtractFileName(
                                   TVNConfigUtil::RemoveBackslash(DiskChanges::ShownPath(wide))))) {
                    // The run's record is no data: the restore tests read it.
                } else {
                    snapshot.files[path] = ReadWide(full);
                }
                return true;
            });
        };
    collect(DiskChanges::WidePath(AddBackslash(folder)), "");
    return snapshot;
}

void PrintTo(const Snapshot& snapshot, std::ostream* out) {
    for (const std::string& folder : snapshot.folders)
        *out << "\n  " << folder;
    for (const std::string& link : snapshot.links)
        *out << "\n  " << link << " (link)";
    for (const auto& [path, bytes] : snapshot.files)
        *out << "\n  " << path << "=" << bytes.substr(0, 200);
}

void SettleAccessTimes(const std::string& folder) {
    SnapshotTree(folder);
    for (std::string p = AddBackslash(folder); p.size() > 3;) {
        ListDir(p);
        size_t cut = p.find_last_of('\\', p.size() - 2);
        if (cut == std::string::npos)
            break;
        p.resize(cut + 1);
    }
}

ScopedEnv::ScopedEnv(const std::string& name, const char* value) : name_(name), hadOld_(false) {
    char buffer[32768];
    DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) {
        hadOld_ = true;
        old_.assign(buffer, n);
    }
    SetEnvironmentVariableA(name.c_str(), value);
}

ScopedEnv::~ScopedEnv() {
    SetEnvironmentVariableA(name_.c_str(), hadOld_ ? old_.c_str() : nullptr);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder) {
    char buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
    old_.assign(buffer, n > 0 && n < MAX_PATH ? n : 0);
    ok_ = SetCurrentDirectoryA(folder.c_str()) != 0;
}

ScopedCurrentFolder::~ScopedCurrentFolder() {
    SetCurrentDirectoryA(old_.c_str());
}

HeldFile::HeldFile(const std::string& path, DWORD access, DWORD shareMode)
    : handle_(CreateFileA(path.c_str(), access, shareMode, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void Sandbox::MakeInstallation(const std::string& settings,
                               const std::map<std::string, std::string>& months) const {
    WriteBytes(Install() + TVNConfigUtil::InstallationMarkerName, MarkerText);
    WriteBytes(Install() + TVNConfigUtil::SettingsFileName, settings);
    for (const auto& [month, records] : months)
        WriteMonth(Install(), month, records);
}

void Sandbox::WriteMonth(const std::string& root, const std::string& month,
                         const std::string& records) {
    WriteBytes(TVNConfigUtil::DataFolderOf(root) + month + ".txt", records);
}

void Sandbox::Clear() const {
    RemoveTree(Root());
    MakeDirs(Root());
}

std::vector<std::pair<std::string, std::string>> Sandbox::Environment() const {
    return {{"APPDATA", AppData()}, {"LOCALAPPDATA", LocalAppData()}, {"USERPROFILE", Profile()},
            {"OneDrive", ""},       {"OneDriveCommercial", ""},       {"OneDriveConsumer", ""}};
}

void Sandbox::SetEnvironment() {
    for (const auto& [name, value] : Environment())
        environment_.emplace_back(name, value.c_str());
}

std::string Sandbox::Fill(std::string text,
                          const std::vector<std::pair<std::string, std::string>>& marks) const {
    std::vector<std::pair<std::string, std::string>> all = {
        {"{R}", Root()}, {"{r}", TVNConfigUtil::NormalForm(Root())}};
    all.insert(all.end(), marks.begin(), marks.end());
    for (const auto& [mark, value] : all)
        for (size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    return text;
}

ScriptedDialogs::ScriptedDialogs() {
    SetDialogSeam(this);
}
ScriptedDialogs::~ScriptedDialogs() {
    SetDialogSeam(nullptr);
}

int ScriptedDialogs::MessageDlg(const DialogOwner& owner, const std::string& text, TMsgDlgType type,
                                TMsgDlgButtons buttons, int /*helpContext*/) {
    Shown s;
    s.kind = Shown::Kind::Message;
    s.text = text;
    s.type = type;
    s.buttons = buttons;
    s.owner = owner.window;
    s.title = owner.title;
    shown.push_back(s);
    if (messageAnswers.empty()) {
        ADD_FAILURE() << "unscripted message dialog: " << text;
        return mrCancel;
    }
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

bool ScriptedDialogs::BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) {
    Shown s;
    s.kind = Shown::Kind::Browse;
    s.owner = owner;
    s.text = caption;
    s.folder = folder;
    shown.push_back(s);
    if (browseAnswers.empty())
        return false;
    auto answer = browseAnswers.front();
    browseAnswers.pop_front();
    if (answer.first)
        folder = answer.second;
    return answer.first;
}

bool ScriptedDialogs::OpenFile(const OpenFileRequest& request, std::string& fileName) {
    Shown s;
    s.kind = Shown::Kind::Open;
    s.text = request.initialDir;
    s.owner = request.owner;
    shown.push_back(s);
    openRequests.push_back(request);
    if (openAnswers.empty())
        return false;
    std::string answer = openAnswers.front();
    openAnswers.pop_front();
    if (answer.empty())
        return false;
    fileName = answer;
    return true;
}

void ScriptedDialogs::ShowErrorBox(const DialogOwner& owner, const std::string& text) {
    Shown s;
    s.kind = Shown::Kind::ErrorBox;
    s.text = text;
    s.owner = owner.window;
    s.title = owner.title;
    shown.push_back(s);
}

std::vector<ScriptedDialogs::Shown> ScriptedDialogs::Messages() const {
    std::vector<Shown> out;
    for (const Shown& s : shown)
        if (s.kind == Shown::Kind::Message)
            out.push_back(s);
    return out;
}

TempDir::~TempDir() {
    RemoveTree(path_);
    // What the ANSI calls cannot reach (names outside the code page, long
    // paths) goes from the Unix side.
    if (IsDir(path_)) {
        const std::string unixPath = UnixNameOf(path_);
        if (!unixPath.empty())
            RunUnix("/bin/rm -rf " + Quoted(unixPath), [&] { return !IsDir(path_); });
    }
}

void MakeDirs(const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.back() == '\\')
        p.pop_back();
    if (p.empty() || IsDir(p))
        return;
    size_t cut = p.find_last_of("\\:");
    if (cut != std::string::npos && cut > 0)
        MakeDirs(p.substr(0, cut));
    CreateDirectoryA(p.c_str(), nullptr);
}

namespace {
bool RunningAsRoot() {
    char name[256] = {};
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) && std::string(name) == "root";
}

// The state of a folder's access rights, as Wine reads it from Unix at the
// moment of asking.
struct Access {
    bool write;
    bool list;
    bool operator==(const Access&) const = default;
};

// Wine stats the folder on every call and marks it read-only when its mode
// has no write bit; a folder whose mode refuses reading cannot be listed.
// So this shows a chmod once it has taken effect, without touching the
// folder's contents. A missing folder reads as neither.
Access AccessOf(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {false, false};
    WIN32_FIND_DATAA entry;
    UniqueFindHandle listing(FindFirstFileA((AddBackslash(folder) + "*").c_str(), &entry));
    return {!(attributes & FILE_ATTRIBUTE_READONLY), listing.valid()};
}

std::string ProbeName(const std::string& folder) {
    return AddBackslash(folder) + "~probe.tmp";
}

// Whether this account may create a file in the folder: a probe file made
// and removed again. Call it only once the folder's mode is settled. Should
// the mode change between the probe's create and its close, the delete on
// close fails and leaves the probe, so it is also deleted by name.
bool MayCreateIn(const std::string& folder) {
    const std::string probe = ProbeName(folder);
    bool created;
    {
        UniqueFileHandle file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
        created = file.valid();
    }
    DeleteFileA(probe.c_str());
    return created;
}

// Sets a folder's mode from the Unix side; done once Wine reports the wanted
// access, which is only after chmod has ended.
bool SetMode(const std::string& folder, const std::string& unixPath, const char* mode,
             Access wanted) {
    return RunUnix(std::string("/bin/chmod ") + mode + " " + Quoted(unixPath),
                   [&] { return AccessOf(folder) == wanted; });
}
} // namespace

bool DenyAccess(const std::string& folder, bool readToo) {
    const std::string unixPath = UnixNameOf(folder);
    if (RunningAsRoot() || unixPath.empty())
        return false;
    // A probe left behind by an earlier run would be a file the test did not
    // write; while the folder can still be changed it can go.
    DeleteFileA(ProbeName(folder).c_str());
    // Refused only when the probe also left nothing behind.
    return SetMode(folder, unixPath, readToo ? "000" : "555", {false, !readToo}) &&
           !MayCreateIn(folder) && !IsFile(ProbeName(folder));
}

void AllowAccess(const std::string& folder) {
    const std::string unixPath = UnixNameOf(folder);
    // Once the folder may be changed again, a probe stranded in it goes.
    if (!unixPath.empty() && SetMode(folder, unixPath, "755", {true, true}))
        DeleteFileA(ProbeName(folder).c_str());
}

FakeSyncClient::FakeSyncClient() {
    CloudFiles::SetCloudSeam(this);
}
FakeSyncClient::~FakeSyncClient() {
    CloudFiles::SetCloudSeam(nullptr);
}

void FakeSyncClient::OnlineOnly(const std::string& path, DWORD readError, int goodReads,
                                DWORD mark) {
    files_[TVNConfigUtil::AsciiLowerCase(path)] = File{readError, goodReads, mark};
}

DWORD FakeSyncClient::Attributes(const std::string& path, DWORD reported) {
    const std::string key = TVNConfigUtil::AsciiLowerCase(path);
    if (auto mark = marks_.find(key); keepsMarks && mark != marks_.end())
        return mark->second;
    auto file = files_.find(key);
    return file != files_.end() ? reported | file->second.mark : reported;
}

DWORD FakeSyncClient::ReadError(const std::string& path) {
    const std::string key = TVNConfigUtil::AsciiLowerCase(path);
    auto file = files_.find(key);
    return file != files_.end() && reads[key]++ >= file->second.goodReads ? file->second.error : 0;
}

void FakeSyncClient::AttributesSet(const std::string& path, DWORD attributes) {
    marks_[TVNConfigUtil::AsciiLowerCase(path)] = attributes;
}

} // namespace test
