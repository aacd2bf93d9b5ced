#include "BackgroundWork.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <thread>

#include "BusyCursor.h"
#include "FileSystemText.h"

using namespace TVNConfigUtil;

namespace {

// Work shorter than this shows only the busy cursor.
const ULONGLONG ProgressWindowDelayMs = 500;
// How often the progress window is brought up to date.
const DWORD RefreshMs = 100;

std::string Megabytes(unsigned long long bytes) {
    return FileSystem::Megabytes(bytes);
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

void SharedProgress::StageBegins(WorkStage stage, const std::string& root, unsigned long long files,
                                 unsigned long long bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    stage_ = stage;
    root_ = root;
    file_.clear();
    files_ = files;
    bytes_ = bytes;
    filesDone_ = bytesDone_ = inHand_ = 0;
    started_ = false;
}

bool SharedProgress::FileBegins(const std::string& path, unsigned long long bytes) {
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
    }
    view.file = file_;
    if (files_ > 0)
        view.counts = Grouped(filesDone_) + " of " + Grouped(files_) + " files, " +
                      Megabytes(bytesDone_) + " of " + Megabytes(bytes_) + " MB";
    view.permille = bytes_ > 0   ? int(bytesDone_ * 1000 / bytes_)
                    : files_ > 0 ? int(filesDone_ * 1000 / files_)
                                 : 0;
    view.cancellable = stage_ != WorkStage::WritingSettings && !cancel_;
    if (cancel_ && stage_ != WorkStage::WritingSettings)
        view.stage = "Cancelling after the file in hand ...";
    return view;
}

void RunWithProgress(HWND owner, SharedProgress*& running, const std::function<void()>& work) {
    BusyCursor busy;
    if (!owner) {
        work();
        return;
    }
    SharedProgress progress;
    std::atomic<bool> done{false};
    std::exception_ptr error;
    running = &progress;
    EnableWindow(owner, FALSE);
    std::thread worker([&] {
        {
            ProgressScope scope(progress);
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
        }
        done = true;
        PostMessageA(owner, WM_NULL, 0, 0); // wakes the loop below
    });

    // The loop of a modal dialog: the owner stays disabled but repaints,
    // moves and hears WM_CLOSE, which the window turns into Cancel.
    const ULONGLONG start = GetTickCount64();
    std::unique_ptr<ProgressWindow> window;
    bool quit = false;
    WPARAM quitCode = 0;
    while (!done) {
        MsgWaitForMultipleObjectsEx(0, nullptr, RefreshMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = message.wParam;
                progress.Cancel();
                continue;
            }
            if (window && IsDialogMessageA(window->Handle(), &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (!window && !done && GetTickCount64() - start >= ProgressWindowDelayMs)
            window = std::make_unique<ProgressWindow>(owner);
        if (window) {
            if (window->CancelPressed())
                progress.Cancel();
            window->Show(progress.View());
        }
    }
    worker.join();
    running = nullptr;
    // The owner is enabled before the progress window goes, so that the
    // system hands the activation back to it.
    EnableWindow(owner, TRUE);
    window.reset();
    if (quit)
        PostQuitMessage(int(quitCode));
    if (error)
        std::rethrow_exception(error);
}
