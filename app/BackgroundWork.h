// Long work of the Configure command: run off the window's thread while the
// window stays disabled and keeps answering, as under a modal dialog, with the
// progress window after the first half second.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "ProgressWindow.h"
#include "TimeLeft.h"
#include "TVNConfigUtil.h"
#include "Progress.h"

// What the work has told so far, read by the window's thread. It also passes
// each report on to the observer that the caller of the work had in force, so
// that an observer installed around a command sees its work on the worker
// thread too, and may stop it.
class SharedProgress : public TVNConfigUtil::ProgressObserver {
  public:
    explicit SharedProgress(TVNConfigUtil::ProgressObserver* outer = nullptr) : outer_(outer) {}

    void StageBegins(TVNConfigUtil::WorkStage stage, const std::string& root,
                     unsigned long long files, unsigned long long bytes) override;
    bool FileBegins(const std::string& path, unsigned long long bytes) override;

    void Cancel() { cancel_ = true; }
    // Stops the work after the file in hand, as Cancel does, and asks that the
    // program end once it has stopped: the session or the program is ending.
    void EndProgram() {
        endProgram_ = true;
        cancel_ = true;
    }
    bool EndProgramAsked() const { return endProgram_; }
    // Set by the thread that ran the work once it has returned.
    void Finished() { finished_ = true; }
    bool IsFinished() const { return finished_; }
    // Waits, without handling messages, until the work has stopped.
    void WaitUntilFinished() const;
    ProgressView View() const;

  private:
    TVNConfigUtil::ProgressObserver* outer_;
    mutable std::mutex mutex_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> endProgram_{false};
    std::atomic<bool> finished_{false};
    TVNConfigUtil::WorkStage stage_ = TVNConfigUtil::WorkStage::Comparing;
    std::string root_, file_;
    unsigned long long files_ = 0, bytes_ = 0, filesDone_ = 0, bytesDone_ = 0, inHand_ = 0;
    bool started_ = false;
    // Brought up to date by View, which those who show the progress call.
    mutable TimeLeftEstimate estimate_;
};

// How a run of work ended, for what its caller does next.
enum class WorkEnd {
    Finished,   // the work returned (it may have been cancelled: it tells itself)
    EndProgram, // a quit or end-of-session came: ask nothing more, end the program
};

// For tests: run on the calling thread at every turn of the loop that waits
// for the work, at least once per run, so that a test can act while work
// runs (click, post a quit, throw). nullptr (the default) for none.
void SetWorkLoopTurn(std::function<void()> turn);

// Runs work on a worker thread while the calling thread, which owns the
// windows, handles its messages as the loop of a modal dialog does: the owner
// (when there is one) is disabled but repaints, moves and hears WM_CLOSE, and
// after the first half second the progress window shows how far the work is.
// Closing the owner or pressing Cancel asks the work to stop after the file
// in hand; so does a quit message, and the run then ends with EndProgram.
// running points at the work's progress while it runs. On every way out,
// also an error in the loop (which stops the work first), the worker is
// joined, running is cleared and the owner enabled again. An error that
// escapes the work is thrown again here. Without an owner (headless tests)
// it is the same thread path, without the progress window.
// holdReason, when given, holds Windows' log-off and shutdown while the work
// runs, with that reason shown to the user.
WorkEnd RunWithProgress(HWND owner, SharedProgress*& running, const std::function<void()>& work,
                        const wchar_t* holdReason = nullptr);
