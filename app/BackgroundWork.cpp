#include "BackgroundWork.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "BusyCursor.h"
#include "FileSystemText.h"

using namespace TVNConfigUtil;

namespace {

// Work shorter than this shows only the busy cursor.
const ULONGLONG ProgressWindowDelayMs = 500;
// How often the progress window is brought up to date.
const DWORD RefreshMs = 100;

std::function<void()> loopTurn;

// Holds the end of the Windows session (log-off, shutdown) while the work
// runs: Windows then lists the program with the reason, and the user may
// wait or end it anyway. Built from Microsoft's documentation of
// ShutdownBlockReasonCreate, which must be called from the thread that made
// the window; Wine ends no session and shows no reason, so the tests drive
// the window's end-of-session handlers instead.
class SessionHold {
  public:
    SessionHold(HWND owner, const wchar_t* reason)
        : owner_(owner && reason && ShutdownBlockReasonCreate(owner, reason) ? owner : nullptr) {}
    ~SessionHold() {
        if (owner_)
            ShutdownBlockReasonDestroy(owner_);
    }
    SessionHold(const SessionHold&) = delete;
    SessionHold& operator=(const SessionHold&) = delete;

  private:
    HWND owner_;
};

// One run's worker thread and the owner's state while it runs. On every way
// out, an error in the waiting loop among them, the work is asked to stop
// (it has stopped already unless the loop failed), the worker joined, the
// running pointer cleared and the owner enabled again, in that order: a
// joinable thread destroyed would end the program, and a disabled owner
// would leave the window dead.
class WorkerScope {
  public:
    WorkerScope(HWND owner, SharedProgress& progress, SharedProgress*& running)
        : owner_(owner), progress_(progress), running_(running) {
        running_ = &progress_;
        if (owner_)
            EnableWindow(owner_, FALSE);
    }
    ~WorkerScope() {
        if (worker_.joinable()) {
            if (!progress_.IsFinished())
                progress_.Cancel();
            worker_.join();
        }
        running_ = nullptr;
        if (owner_)
            EnableWindow(owner_, TRUE);
    }
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

    template <typename Body> void Start(Body&& body) {
        worker_ = std::thread(std::forward<Body>(body));
    }

  private:
    HWND owner_;
    SharedProgress& progress_;
    SharedProgress*& running_;
    std::thread worker_;
};

// The clock of the rate and the time left.
double SecondsNow() {
    return static_cast<double>(GetTickCount64()) / 1000.0;
}

std::string Grouped(unsigned long long number) {
    const std::string digits = std::to_string(number);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

} // namespace

void SetWorkLoopTurn(std::function<void()> turn) {
    loopTurn = std::move(turn);
}

void SharedProgress::StageBegins(WorkStage stage, const std::string& root, unsigned long long files,
                                 unsigned long long bytes) {
    if (outer_)
        outer_->StageBegins(stage, root, files, bytes);
    std::lock_guard<std::mutex> lock(mutex_);
    stage_ = stage;
    root_ = root;
    file_.clear();
    files_ = files;
    bytes_ = bytes;
    filesDone_ = bytesDone_ = inHand_ = 0;
    started_ = false;
    estimate_.Begin(SecondsNow(), bytes);
}

bool SharedProgress::FileBegins(const std::string& path, unsigned long long bytes) {
    if (outer_ && !outer_->FileBegins(path, bytes))
        cancel_ = true;
    std::lock_guard<std::mutex> lock(mutex_);
    // The file before this one is done.
    if (started_) {
        ++filesDone_;
        bytesDone_ += inHand_;
    }
    started_ = true;
    file_ = path;
    inHand_ = bytes;
    return !cancel_;
}

void SharedProgress::WaitUntilFinished() const {
    while (!finished_)
        Sleep(10);
}

ProgressView SharedProgress::View() const {
    std::lock_guard<std::mutex> lock(mutex_);
    ProgressView view;
    switch (stage_) {
    case WorkStage::Comparing:
        view.stage = "Comparing data files";
        break;
    case WorkStage::BackingUp:
        view.stage = "Backing up \"" + root_ + "\"";
        break;
    case WorkStage::Copying:
        view.stage = "Copying data files to \"" + root_ + "\"";
        break;
    case WorkStage::WritingSettings:
        view.stage = "Writing the settings";
        break;
    case WorkStage::Downloading:
        view.stage = "Downloading online-only files from " + root_;
        break;
    case WorkStage::Merging:
        view.stage = "Merging sync conflict copies in \"" + root_ + "\"";
        break;
    case WorkStage::Restoring:
        view.stage = "Undoing a run of \"" + root_ + "\"";
        break;
    }
    view.file = file_;
    if (files_ > 0) {
        view.counts = Grouped(filesDone_) + " of " + Grouped(files_) + " files, " +
                      FileSystem::Megabytes(bytesDone_) + " of " + FileSystem::Megabytes(bytes_) +
                      " MB";
        estimate_.Note(SecondsNow(), bytesDone_);
        const std::string timeLeft = estimate_.Text();
        if (!timeLeft.empty())
            view.counts += ", " + timeLeft;
    }
    view.permille = bytes_ > 0   ? int(bytesDone_ * 1000 / bytes_)
                    : files_ > 0 ? int(filesDone_ * 1000 / files_)
                                 : 0;
    const bool stoppable = stage_ != WorkStage::WritingSettings && stage_ != WorkStage::Merging;
    view.cancellable = stoppable && !cancel_;
    if (cancel_ && stoppable)
        view.stage = "Cancelling after the file in hand ...";
    return view;
}

WorkEnd RunWithProgress(HWND owner, SharedProgress*& running, const std::function<void()>& work,
                        const wchar_t* holdReason) {
    BusyCursor busy;
    SharedProgress progress(ObserverInForce());
    std::exception_ptr error;
    {
        const DWORD loopThread = GetCurrentThreadId();
        // The thread gets its message queue now, so that the worker's wake-up
        // below is never posted to a thread without one.
        MSG peek;
        PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE);
        // Goes after the owner is enabled again, so that the system hands the
        // activation back to the owner.
        std::unique_ptr<ProgressWindow> window;
        // Released only once the worker has been joined.
        SessionHold hold(owner, holdReason);
        WorkerScope scope(owner, progress, running);
        scope.Start([&] {
            {
                // The engine reports to the observer of the thread it runs on.
                ProgressScope observe(progress);
                try {
                    work();
                } catch (...) {
                    error = std::current_exception();
                }
            }
            progress.Finished();
            PostThreadMessageA(loopThread, WM_NULL, 0, 0); // wakes the loop below
        });

        // The loop of a modal dialog: the owner stays disabled but repaints,
        // moves and hears WM_CLOSE, which the window turns into Cancel.
        const ULONGLONG start = GetTickCount64();
        for (;;) {
            if (loopTurn)
                loopTurn();
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                // The program is to end: the quit is not posted again, since
                // the next dialog would take it and close unseen.
                if (message.message == WM_QUIT) {
                    progress.EndProgram();
                    continue;
                }
                if (window && IsDialogMessageA(window->Handle(), &message))
                    continue;
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (progress.IsFinished())
                break;
            if (owner && !window && GetTickCount64() - start >= ProgressWindowDelayMs)
                window = std::make_unique<ProgressWindow>(owner);
            if (window) {
                if (window->CancelPressed())
                    progress.Cancel();
                window->Show(progress.View());
            }
            MsgWaitForMultipleObjectsEx(0, nullptr, RefreshMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }
    if (error)
        std::rethrow_exception(error);
    return progress.EndProgramAsked() ? WorkEnd::EndProgram : WorkEnd::Finished;
}
