// A small driver for the real program: starts it in a job object with its own
// environment, finds its windows, reads their texts, presses buttons and keys,
// and answers its dialogs. Every wait is bounded; nothing here blocks on the
// program, so a modal dialog that a click opens never hangs the driver.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Win32Handles.h"

namespace gui {

// How long a driver waits for the program to react.
constexpr DWORD StartTimeoutMs = 10000;
constexpr DWORD ReactTimeoutMs = 5000;

// Polls until done() holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The text of any window, also of another process (WM_GETTEXT).
std::string Text(HWND window);
std::string ClassOf(HWND window);
// The descendant of root with the given control ID, or null.
HWND FindById(HWND root, int id);
// Every descendant of root, in creation order.
std::vector<HWND> Descendants(HWND root);
bool Checked(HWND button);
bool Enabled(HWND window);

// Presses a button as a mouse click would (the program runs the click on its
// own thread, after the call returns).
void Click(HWND button);
// Posts a key press (down and up) to the window; the program's message loop
// sees it as if the key had been typed while that window had the focus.
void PostKey(HWND window, UINT virtualKey);

// What a message dialog shows: title, message text and the captions of its
// buttons from left to right.
struct MessageDialog {
    HWND window = nullptr;
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
};
MessageDialog ReadMessageDialog(HWND dialog);
// Presses the button captioned exactly `caption`; false when there is none.
bool PressButton(HWND dialog, const std::string& caption);

// The program under test, in a job object that kills it when the driver ends.
class Program {
  public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts exe with the driver's environment plus the given variables
    // (replacing ones of the same name). False, with Error(), on failure.
    bool Start(const std::string& exe,
               const std::vector<std::pair<std::string, std::string>>& environment);
    const std::string& Error() const { return error_; }

    // Visible top-level windows of the program.
    std::vector<HWND> TopLevelWindows() const;
    // The first visible top-level window that matches, waiting for it.
    HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) const;
    // A visible top-level window with this exact title.
    HWND WaitForTitle(const std::string& title, DWORD timeoutMs = ReactTimeoutMs) const;

    // The control that has the keyboard focus in the program's main thread.
    HWND Focus() const;

    bool Running() const;
    // Waits for the program to end; true with its exit code when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD& exitCode) const;
    void Kill();

  private:
    UniqueKernelHandle job_;
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
    std::string error_;
};

// The folder that holds the running executable, with a trailing backslash.
std::string ExecutableFolder();

} // namespace gui
