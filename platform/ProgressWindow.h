// The small window that shows how far long work is and offers Cancel. It
// shows what it is given and remembers that Cancel was pressed; what the
// texts say and what Cancel does is up to its user.
#pragma once

#include <windows.h>

#include <string>

#include "TextTips.h"
#include "Win32Handles.h"

struct ProgressView {
    std::string stage;  // "Copying data files ..."
    std::string file;   // the file in hand
    std::string counts; // "12 of 1,000 files, 10.2 of 110.0 MB, 25.3 MB/s, about 4 seconds left"
    int permille = 0;   // how far, 0 to 1000
    bool cancellable = true;
};

// Own window rather than the shell's progress dialog: the shell's runs on a
// thread of its own and greys nothing on request, while this one is pumped by
// the caller's loop and greys Cancel for the steps that cannot stop.
class ProgressWindow {
  public:
    // Creates the window centred on its owner's monitor, at that monitor's
    // DPI, and shows it.
    explicit ProgressWindow(HWND owner);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Handle() const { return handle_; }
    void Show(const ProgressView& view);
    // Cancel pressed, Escape, or the window closed.
    bool CancelPressed() const { return cancelPressed_; }

    static const char* const ClassName;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    void SetText(int id, const std::string& text);
    // Lays the window out and makes its font at a DPI, in the suggested
    // window rectangle or, without one, in the layout's size where it is.
    void ApplyDpi(int dpi, const RECT* suggested);

    HWND handle_ = nullptr;
    int dpi_ = 96;
    UniqueGdiObject font_;
    TextTips tips_;
    ProgressView shown_;
    bool cancelPressed_ = false;
};
