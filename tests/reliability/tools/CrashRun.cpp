// Runs one configuration and, at a chosen change to the disk, ends its own
// process on the spot: no destructors, no clean-up, no buffered writes
// finished, as when the machine loses power or the program is killed. The
// crash-point tests start it once per change of a run.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ConflictCopies.h"
#include "CrashRun.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "Restore.h"
#include "TVNConfigUtil.h"

namespace {

// Ends the process with the code; the first of the two threads that may
// end it wins, and the other waits to be ended with it.
[[noreturn]] void End(DWORD code) {
    static std::atomic<bool> ending{false};
    if (!ending.exchange(true))
        TerminateProcess(GetCurrentProcess(), code);
    for (;;)
        Sleep(INFINITE);
}

// At the chosen change the process ends at once; when that change is the
// making of a temporary file, it ends instead as soon as the file holds its
// first bytes, in the middle of the copy or the write, or at the run's next
// change (or its end) if the file was done before that could be seen.
class CrashAtChange : public DiskChanges::ChangeSeam {
  public:
    explicit CrashAtChange(long point) : point_(point) {}
    void BeforeChange(const std::wstring& path) override {
        if (changes_ > point_ && armed_)
            End(crash_run::CrashExitCode);
        if (changes_++ != point_)
            return;
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        if (!DiskChanges::IsTemporaryName(name) ||
            GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            End(crash_run::CrashExitCode);
        armed_ = true;
        // The watcher's own copy of the name, never freed: it may outlive
        // this object.
        HANDLE watcher =
            CreateThread(nullptr, 0, WatchTemporary, new std::wstring(path), 0, nullptr);
        if (!watcher)
            End(crash_run::CrashExitCode);
        CloseHandle(watcher);
    }
    long Changes() const { return changes_; }
    bool Armed() const { return armed_; }

  private:
    static DWORD WINAPI WatchTemporary(void* name) {
        const std::wstring& path = *static_cast<const std::wstring*>(name);
        for (;;) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
                (data.nFileSizeLow || data.nFileSizeHigh))
                End(crash_run::CrashInsideFileExitCode);
        }
    }

    long point_;
    long changes_ = 0;
    bool armed_ = false;
};

} // namespace

int main(int argc, char** argv) {
    const bool restore = argc == 4 && std::string(argv[1]) == "restore";
    if (argc != 7 && argc != 8 && !restore) {
        std::fprintf(stderr,
                     "usage: tvn_crash_run install server old new copy(0|1) point [merge]\n");
        return crash_run::UsageExitCode;
    }
    CrashAtChange seam(std::strtol(argv[restore ? 3 : 6], nullptr, 10));
    DiskChanges::SetChangeSeam(&seam);
    TVNConfigUtil::Outcome outcome;
    try {
        if (restore) {
            const TVNConfigUtil::History history = TVNConfigUtil::FindHistory(argv[2]);
            outcome.ErrorText =
                history.runs.empty()
                    ? "no run recorded"
                    : TVNConfigUtil::RestoreRun(history.runs.front(), {}, false).errorText;
            argc = 0;
        }
        for (std::string roots = argc == 8 ? argv[7] : "";
             !roots.empty() && outcome.ErrorText.empty();) {
            const size_t cut = std::min(roots.find('|'), roots.size());
            outcome.ErrorText = TVNConfigUtil::MergeConflictCopies(roots.substr(0, cut)).errorText;
            roots.erase(0, cut + 1);
        }
        if (outcome.ErrorText.empty() && !restore)
            outcome = TVNConfigUtil::ConfigureInstallation(argv[1], argv[2], argv[3], argv[4],
                                                           std::string(argv[5]) == "1");
    } catch (const EFileError& error) {
        outcome.ErrorText = error.what();
    }
    DiskChanges::SetChangeSeam(nullptr);
    if (seam.Armed())
        End(crash_run::CrashExitCode);
    std::printf("changes=%ld\n%s%s\n", seam.Changes(), outcome.Report.c_str(),
                outcome.ErrorText.c_str());
    return outcome.ErrorText.empty() ? static_cast<int>(seam.Changes())
                                     : static_cast<int>(crash_run::FailedExitCode);
}
