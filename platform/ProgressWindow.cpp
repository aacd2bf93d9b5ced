#include "ProgressWindow.h"

#include <commctrl.h>

#include "Dpi.h"
#include "ScreenPlacement.h"
#include "WindowClass.h"

const char* const ProgressWindow::ClassName = "TVNProgressWindow";

namespace {

enum { idStage = 1001, idFile, idBar, idCounts };

const char* const Caption = "Tallyvane - Cloud Drive Configuration";

struct Place {
    int id;
    const char* className;
    DWORD style;
    int left, top, width, height;
};

// One line each. The file in hand is a path, shortened in its middle as the
// shell's copy dialog does, so that its name stays; the stage and the counts
// are shortened at their end. Each keeps its whole text, which its tooltip
// shows (SS_NOTIFY lets the tooltip see the mouse).
const DWORD Text = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
// Wide enough for a long counts line whole, with the rate and the time left:
// "1,000,000 of 1,000,000 files, 100000.0 of 100000.0 MB, 1000.0 MB/s, about
// 55 minutes left".
const Place Layout[] = {
    {idStage, "STATIC", Text | SS_ENDELLIPSIS, 12, 12, 536, 16},
    {idFile, "STATIC", Text | SS_PATHELLIPSIS, 12, 32, 536, 16},
    {idBar, PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, 12, 56, 536, 16},
    {idCounts, "STATIC", Text | SS_ENDELLIPSIS, 12, 78, 536, 16},
    {IDCANCEL, "BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 470, 100, 78, 24},
};
const int ClientWidth = 560;
const int ClientHeight = 136;
const DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
const DWORD ExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

ProgressWindow::ProgressWindow(HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClassOnce(instance, ProgressWindow::ClassName, WindowProc))
        return;
    handle_ = CreateWindowExA(ExStyle, ClassName, Caption, Style, 0, 0, 0, 0, owner, nullptr,
                              instance, this);
    if (!handle_)
        return;
    tips_.Create(handle_);
    for (const Place& p : Layout) {
        HWND child = CreateWindowExA(
            0, p.className, p.id == IDCANCEL ? "Cancel" : "", p.style, 0, 0, 0, 0, handle_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), instance, nullptr);
        if (p.style & SS_NOTIFY)
            tips_.Add(child);
    }
    SendDlgItemMessageA(handle_, idBar, PBM_SETRANGE32, 0, 1000);
    // At the scale of the owner's monitor, where it is centred.
    ApplyDpi(owner ? WindowDpi(owner) : SystemDpi(), nullptr);
    CentreOnOwnersMonitor(handle_, owner);
    if (WindowDpi(handle_) != dpi_) {
        ApplyDpi(WindowDpi(handle_), nullptr);
        CentreOnOwnersMonitor(handle_, owner);
    }
    ShowWindow(handle_, SW_SHOW);
    SetFocus(GetDlgItem(handle_, IDCANCEL));
}

void ProgressWindow::ApplyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    SizeWindowForDpi(handle_, suggested, ClientWidth, ClientHeight, Style, ExStyle, dpi);
    UniqueGdiObject font = MessageFontForDpi(dpi);
    for (const Place& p : Layout) {
        HWND child = GetDlgItem(handle_, p.id);
        const int left = ScaleForDpi(p.left, dpi), top = ScaleForDpi(p.top, dpi);
        SetWindowPos(child, nullptr, left, top, ScaleForDpi(p.left + p.width, dpi) - left,
                     ScaleForDpi(p.top + p.height, dpi) - top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (font)
            SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    // The old font goes only once no control uses it.
    if (font)
        font_ = std::move(font);
    tips_.SetFont(static_cast<HFONT>(font_.get()));
    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

ProgressWindow::~ProgressWindow() {
    if (handle_) {
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

void ProgressWindow::SetText(int id, const std::string& text) {
    SetDlgItemTextA(handle_, id, text.c_str());
}

void ProgressWindow::Show(const ProgressView& view) {
    if (!handle_)
        return;
    // Only what changed is set, so that the texts do not flicker.
    if (view.stage != shown_.stage)
        SetText(idStage, view.stage);
    if (view.file != shown_.file)
        SetText(idFile, view.file);
    if (view.counts != shown_.counts)
        SetText(idCounts, view.counts);
    if (view.permille != shown_.permille)
        SendDlgItemMessageA(handle_, idBar, PBM_SETPOS, view.permille, 0);
    EnableWindow(GetDlgItem(handle_, IDCANCEL), view.cancellable && !cancelPressed_);
    shown_ = view;
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                            LPARAM lParam) noexcept {
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto window = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (window && message == WM_DPICHANGED) {
        window->ApplyDpi(DpiOfChange(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    if (message == WM_NOTIFY && TextTips::AnswerNotify(lParam))
        return 0;
    if (window && ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE)) {
        // Closing the window is Cancel; the window goes when the work ends.
        if (IsWindowEnabled(GetDlgItem(hwnd, IDCANCEL))) {
            window->cancelPressed_ = true;
            EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
