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
#include "TVNConfigUtil.h"
#include "Progress.h"

// What the work has told so far, read by the window's thread.
class SharedProgress : public TVNConfigUtil::ProgressObserver {
  public:
    void StageBegins(TVNConfigUtil::WorkStage stage, const std::string& root,
                     unsigned long long files, unsigned long long bytes) override;
    bool FileBegins(const std::string& path, unsigned long long bytes) override;

    void Cancel() { cancel_ = true; }
    ProgressView View() const;

  private:
    mutable std::mutex mutex_;
    std::atomic<bool> cancel_{false};
    TVNConfigUtil::WorkStage stage_ = TVNConfigUtil::WorkStage::Comparing;
    std::string root_, file_;
    unsigned long long files_ = 0, bytes_ = 0, filesDone_ = 0, bytesDone_ = 0, inHand_ = 0;
    bool started_ = false;
};

// Runs work under progress. With an owner window: on a worker thread while
// the window thread pumps messages, the owner disabled; closing the owner or
// pressing the progress window's Cancel asks the work to stop. Without one
// (headless tests): on the calling thread, under whatever observer the caller
// installed. An error that escapes the work is thrown again here.
void RunWithProgress(HWND owner, SharedProgress*& running, const std::function<void()>& work);
