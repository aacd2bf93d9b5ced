// Helpers shared by the test suites: a fresh temporary folder per test, a
// sandbox laid out as a user's machine, file helpers on real files, one tree
// snapshot, environment overrides and a scripted dialog seam.
#pragma once

#include <windows.h>

#include <deque>
#include <list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CloudFiles.h"
#include "Dialogs.h"
#include "Win32Handles.h"

namespace test {

// A fresh folder under the temporary folder, removed with everything in it
// when the object goes. path() ends with a backslash.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + relative; }

  private:
    std::string path_;
};

// Writes bytes to a file, creating missing folders above it.
void WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes; throws std::runtime_error when it cannot be read.
std::string ReadBytes(const std::string& path);
void MakeDirs(const std::string& path);
bool IsFile(const std::string& path);
bool IsDir(const std::string& path);
// A junction or symbolic link to a folder.
bool IsFolderLink(const std::string& path);
// Makes a folder link at link that leads to target; false when this system
// cannot make one. Under Wine it is a Unix symbolic link.
bool MakeFolderLink(const std::string& link, const std::string& target);
// Takes away (or gives back) this account's right to change a folder or read
// it, on the Unix side: Wine then refuses with access denied, as Windows does
// for a folder under Program Files. False when the account is root, which
// Unix lets do anything; such tests are run again by scripts/test as an
// unprivileged user.
bool DenyAccess(const std::string& folder, bool readToo = false);
void AllowAccess(const std::string& folder);
// Removes a folder tree (test clean-up only).
void RemoveTree(const std::string& path);
// Names in a folder (without "." and ".."), sorted.
std::vector<std::string> ListDir(const std::string& folder);
// The names in a folder that are timestamped backup names, sorted.
// The backup folders directly in folder that hold more than a run's record.
std::vector<std::string> BackupFolders(const std::string& folder);
// Whether a backup folder holds the record a run keeps of itself, and
// nothing else.
bool HoldsOnlyRunRecord(const std::string& backupFolder);

// What a folder holds, read in one walk: every file below it with its bytes,
// every folder, and every folder link, listed but not followed. Paths are
// relative to the folder; those of folders and links end with a backslash.
struct Snapshot {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::set<std::string> links;

    bool Holds(const std::string& path, const std::string& bytes) const {
        auto file = files.find(path);
        return file != files.end() && file->second == bytes;
    }
    bool operator==(const Snapshot&) const = default;
};
// Every folder, link and file below folder, but the record a run keeps of
// itself in its backup folder (and a backup folder that holds nothing else).
Snapshot SnapshotTree(const std::string& folder);
// A file's bytes by its wide path (see DiskChanges::WidePath), and a file
// written there with the folders above it; for names and lengths the ANSI
// calls cannot reach. Both throw std::runtime_error on failure.
std::string ReadWide(const std::wstring& path);
void WriteWide(const std::wstring& path, const std::string& bytes);
// One entry a line, so that a failed comparison shows what differs.
void PrintTo(const Snapshot& snapshot, std::ostream* out);

// Reads every folder below and above the given one once. Wine's folder
// browser matches folders by item IDs that hold the last-access time, and
// the first listing of a folder changed since it was last read moves that
// time, so the browser would fail to find a folder it is asked to select
// while the folders on its way are still unread.
void SettleAccessTimes(const std::string& folder);

// Sets an environment variable of this process for the object's lifetime.
// An empty-string value of nullptr unsets it.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool hadOld_;
};

// Makes a folder the process's current folder for the object's lifetime.
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const std::string& folder);
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;
    bool ok() const { return ok_; }

  private:
    std::string old_;
    bool ok_ = false;
};

// Opens a file with the given share mode and keeps it open, so that other
// opens that need what the share mode excludes fail as they do on Windows.
class HeldFile {
  public:
    HeldFile(const std::string& path, DWORD access, DWORD shareMode);
    bool ok() const { return handle_.valid(); }

  private:
    UniqueFileHandle handle_;
};

// A user's machine in a fresh temporary folder: a user profile holding the
// provider folders, and an application-data folder holding the installation
// at its standard place. Nothing below the root exists until a test makes it.
class Sandbox {
  public:
    // The text of the installation marker that MakeInstallation writes.
    static constexpr const char* MarkerText = "[Tallyvane]\r\nVersion=9\r\n";

    const std::string& Root() const { return dir_.path(); }
    std::string operator/(const std::string& relative) const { return dir_ / relative; }
    std::string AppData() const { return Root() + "AppData"; }
    std::string LocalAppData() const { return Root() + "LocalAppData"; }
    std::string Profile() const { return Root() + "Profile"; }
    std::string Install() const { return AppData() + "\\Brimlace\\Tallyvane\\"; }
    std::string OneDrive() const { return Profile() + "\\OneDrive\\"; }
    std::string Dropbox() const { return Profile() + "\\Dropbox\\"; }

    // The installation's marker, its settings file holding settings, and its
    // monthly data files: month ("yyyy-mm") -> records.
    void MakeInstallation(const std::string& settings,
                          const std::map<std::string, std::string>& months = {}) const;
    // Writes the data file Data\<month>.txt of a root.
    static void WriteMonth(const std::string& root, const std::string& month,
                           const std::string& records);
    // Removes everything below the root, for the next case of a table.
    void Clear() const;

    // APPDATA, LOCALAPPDATA and USERPROFILE as they lead to this sandbox's
    // installation and provider folders, and OneDrive's own variables empty,
    // for a program started here.
    std::vector<std::pair<std::string, std::string>> Environment() const;
    // Sets those variables in this process until the sandbox goes.
    void SetEnvironment();

    // text with every "{R}" replaced by the root, every "{r}" by its normal
    // form, and then every further mark by its value.
    std::string Fill(std::string text,
                     const std::vector<std::pair<std::string, std::string>>& marks = {}) const;

  private:
    TempDir dir_;
    std::list<ScopedEnv> environment_;
};

// A dialog seam that answers from a script and records what was shown.
class ScriptedDialogs : public DialogSeam {
  public:
    struct Shown {
        enum class Kind { Message, Browse, Open, ErrorBox };
        Kind kind = Kind::Message;
        std::string text; // message text, browse caption, open initial folder, error text
        int type = -1;
        unsigned buttons = 0;
        std::string folder;   // browse: the folder passed in
        HWND owner = nullptr; // the window that opened it
        std::string title;    // message and error box: the opener's title
    };

    ScriptedDialogs();  // installs itself as the seam
    ~ScriptedDialogs(); // restores the real dialogs

    // Answers, consumed in order. A message with no scripted answer fails the
    // test and returns mrCancel.
    std::deque<int> messageAnswers;
    // Browse answers: true with a folder, or false (cancel). Empty: cancel.
    std::deque<std::pair<bool, std::string>> browseAnswers;
    // Open-file answers: a file name, or empty for cancel. Empty: cancel.
    std::deque<std::string> openAnswers;
    std::vector<Shown> shown;
    std::vector<OpenFileRequest> openRequests;

    int MessageDlg(const DialogOwner& owner, const std::string& text, TMsgDlgType type,
                   TMsgDlgButtons buttons, int helpContext) override;
    bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) override;
    bool OpenFile(const OpenFileRequest& request, std::string& fileName) override;
    void ShowErrorBox(const DialogOwner& owner, const std::string& text) override;

    // Only the message dialogs shown, in order.
    std::vector<Shown> Messages() const;
};

// Stands in for a sync client, which Wine lacks, while it lives: the files
// it lists as online only, the reads it fails (after the given number of
// reads that succeed), and whether the mark set on a folder holds. Paths are
// compared without regard to ASCII case.
class FakeSyncClient : public CloudFiles::CloudSeam {
  public:
    FakeSyncClient();
    ~FakeSyncClient() override;
    FakeSyncClient(const FakeSyncClient&) = delete;
    FakeSyncClient& operator=(const FakeSyncClient&) = delete;

    // mark: how the client shows the file online only.
    void OnlineOnly(const std::string& path, DWORD readError = 0, int goodReads = 0,
                    DWORD mark = FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS);
    bool keepsMarks = false;
    std::map<std::string, int> reads; // by lower-cased path

    DWORD Attributes(const std::string& path, DWORD reported) override;
    DWORD ReadError(const std::string& path) override;
    void AttributesSet(const std::string& path, DWORD attributes) override;

  private:
    struct File {
        DWORD error;
        int goodReads;
        DWORD mark;
    };
    std::map<std::string, File> files_;
    std::map<std::string, DWORD> marks_;
};

} // namespace test
