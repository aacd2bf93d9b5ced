// Static controls that may not have room for their whole text: the ellipsis
// styles shorten what they draw (the window text stays whole), and a tooltip
// shows the whole text while it does not fit.
#pragma once

#include <windows.h>

// Whether a static control shows its whole text: measured with its own font
// in its client area, on one line where an ellipsis style makes it one line.
bool ShowsWholeText(HWND control);

// Makes a static control show its text word-wrapped while the whole text
// fits, else on one line, shortened by a path ellipsis; from now on, as its
// text, font and size change.
void FitPathText(HWND control);

// The tooltip of a top-level window's shortened texts.
class TextTips {
  public:
    TextTips() = default;
    ~TextTips();
    TextTips(const TextTips&) = delete;
    TextTips& operator=(const TextTips&) = delete;

    // Creates the tooltip window, owned by the window.
    void Create(HWND owner);
    // Gives a static control the tip. The control needs SS_NOTIFY: without it
    // the mouse passes through a static to its parent, which the tooltip does
    // not watch. The tooltip asks the control's parent for the text.
    void Add(HWND control);
    void SetFont(HFONT font);

    // Answers the tooltip's WM_NOTIFY asking for a tool's text: the control's
    // whole text while it does not fit, else none, so that no tip shows. True
    // when the message was that request.
    static bool AnswerNotify(LPARAM lParam);

  private:
    HWND tip_ = nullptr;
};
