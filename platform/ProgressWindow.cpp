#include "ProgressWindow.h"

#include <commctrl.h>

#include "ScreenPlacement.h"
#include "WindowClass.h"

const char* const ProgressWindow::ClassName = "TVNProgressWindow";

namespace {

enum { idStage = 1001, idFile, idBar, idCounts };

const char* const Caption = "Tallyvane - Cloud Drive Configuration";
const int DesignDpi = 96;

struct Place {
    int id;
    const char* className;
    DWORD style;
    int left, top, width, height;
};

// One line each, cut at the right edge. Not the ellipsis styles: under Wine
// they shorten the control's text itself, not only what is drawn.
const DWORD Text = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
const Place Layout[] = {
    {idStage, "STATIC", Text, 12, 12, 396, 16},
    {idFile, "STATIC", Text, 12, 32, 396, 16},
    {idBar, PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, 12, 56, 396, 16},
    {idCounts, "STATIC", Text, 12, 78, 396, 16},
    {IDCANCEL, "BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 330, 100, 78, 24},
};
const int ClientWidth = 420;
const int ClientHeight = 136;

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : DesignDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : DesignDpi;
}

} // namespace

ProgressWindow::ProgressWindow(HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClassOnce(instance, ProgressWindow::ClassName, WindowProc))
        return;
    const int dpi = ScreenDpi();
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT rect{0, 0, MulDiv(ClientWidth, dpi, DesignDpi), MulDiv(ClientHeight, dpi, DesignDpi)};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    handle_ = CreateWindowExA(exStyle, ClassName, Caption, style, 0, 0, rect.right - rect.left,
                              rect.bottom - rect.top, owner, nullptr, instance, this);
    if (!handle_)
        return;
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font_.reset(CreateFontIndirectA(&metrics.lfMessageFont));
    for (const Place& p : Layout) {
        HWND child = CreateWindowExA(
            0, p.className, p.id == IDCANCEL ? "Cancel" : "", p.style, MulDiv(p.left, dpi, 96),
            MulDiv(p.top, dpi, 96), MulDiv(p.width, dpi, 96), MulDiv(p.height, dpi, 96), handle_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), instance, nullptr);
        if (font_)
            SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    SendDlgItemMessageA(handle_, idBar, PBM_SETRANGE32, 0, 1000);
    CentreOnOwnersMonitor(handle_, owner);
    ShowWindow(handle_, SW_SHOW);
    SetFocus(GetDlgItem(handle_, IDCANCEL));
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
