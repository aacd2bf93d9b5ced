// Drives a modal dialog that this process shows on its main thread from a
// second thread, as a user would. Every wait is bounded, so that a dialog
// that does not react fails its test instead of hanging the suite.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Driver.h"

namespace dialogtest {

using gui::ClassOf;
using gui::Descendants;

inline bool WaitFor(const std::function<bool()>& done) {
    return gui::WaitUntil(done, gui::ReactTimeoutMs);
}

inline std::string TextOf(HWND window) {
    return gui::Text(window);
}

// The visible dialog boxes of this process, titled `title` unless it is
// null.
inline std::vector<HWND> FindDialogs(const char* title) {
    struct Search {
        const char* title;
        std::vector<HWND> found;
    } search{title, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
                ClassOf(window) == "#32770" && (!s->title || TextOf(window) == s->title))
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND FindDialog(const std::string& title) {
    std::vector<HWND> found = FindDialogs(title.c_str());
    return found.empty() ? nullptr : found.front();
}

// Posts a key to the control that has the focus in the dialog's thread, as
// if the user typed it there.
inline void PressKey(HWND dialog, UINT key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// Waits on its own thread for the dialog titled `title`, runs act on it and
// waits for it to go. A dialog that stays is closed from its title bar.
// Start the driver, then show the dialog, then call Join().
class DialogDriver {
  public:
    DialogDriver(std::string title, std::function<void(HWND)> act)
        : thread_([this, title = std::move(title), act = std::move(act)] { Run(title, act); }) {}
    ~DialogDriver() {
        if (thread_.joinable())
            thread_.join();
    }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    struct Outcome {
        bool found = false;
        bool closedByAct = false;
    };
    Outcome Join() {
        thread_.join();
        return outcome_;
    }

  private:
    void Run(const std::string& title, const std::function<void(HWND)>& act) {
        HWND dialog = nullptr;
        if (!WaitFor([&] { return (dialog = FindDialog(title)) != nullptr; }))
            return;
        outcome_.found = true;
        act(dialog);
        auto gone = [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); };
        outcome_.closedByAct = WaitFor(gone);
        // Close whatever is still up, a nested message box first, so that
        // the main thread gets back to the test.
        for (int round = 0; round < 5 && !gone(); ++round) {
            for (HWND open : FindDialogs(nullptr))
                PostMessageA(open, WM_SYSCOMMAND, SC_CLOSE, 0);
            WaitFor(gone);
        }
        if (!gone())
            EndDialog(dialog, IDCANCEL);
    }

    Outcome outcome_;
    std::thread thread_;
};

} // namespace dialogtest
