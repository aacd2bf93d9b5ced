// The real dialog behind TRestoreDialog: a dialog box whose controls are made
// and laid out at the owner's DPI, in the window's font, with the dialog
// manager's keyboard handling.
#include "RestoreDialog.h"

#include <algorithm>

#include "BusyCursor.h"
#include "Dialogs.h"
#include "Dpi.h"
#include "ScreenPlacement.h"
#include "TVNCloudDriveControlIds.h"

namespace {

const int ClientWidth = 560;
const int ClientHeight = 356;
// Posted once the dialog shows: the history is read then, off its thread.
const UINT LoadHistoryMessage = WM_APP + 1;

struct Placement {
    TControl TRestoreDialog::*control;
    const char* className;
    DWORD style;
    DWORD exStyle;
    int left, top, width, height;
};

const DWORD Child = WS_CHILD | WS_VISIBLE;
// A label's "&" names the key that takes the focus to the control after it.
const DWORD Label = Child | SS_LEFT;
const DWORD PushButton = Child | WS_TABSTOP | BS_PUSHBUTTON;

// In creation order, which is the tab order. Sizes at 96 DPI.
const Placement Layout[] = {
    {&TRestoreDialog::lblHistory, "STATIC", Label, 0, 10, 10, 540, 16},
    // History lines are longer than the list is wide: it scrolls sideways.
    {&TRestoreDialog::lstHistory, "LISTBOX",
     Child | WS_TABSTOP | WS_GROUP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
     WS_EX_CLIENTEDGE, 10, 28, 540, 108},
    {&TRestoreDialog::lblPreview, "STATIC", Label, 0, 10, 146, 540, 16},
    {&TRestoreDialog::txtPreview, "EDIT",
     Child | WS_TABSTOP | WS_GROUP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
     WS_EX_CLIENTEDGE, 10, 164, 540, 148},
    {&TRestoreDialog::btnRestoreRun, "BUTTON", PushButton | WS_GROUP | BS_DEFPUSHBUTTON, 0, 258,
     322, 78, 24},
    {&TRestoreDialog::btnOpenBackup, "BUTTON", PushButton, 0, 344, 322, 120, 24},
    {&TRestoreDialog::btnClose, "BUTTON", PushButton, 0, 472, 322, 78, 24},
};

} // namespace

INT_PTR CALLBACK TRestoreDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        reinterpret_cast<TRestoreDialog*>(lParam)->handle_ = dialog;
    }
    auto self = reinterpret_cast<TRestoreDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    // Errors never cross the dialog procedure: the handlers run inside
    // RunHandler, and the rest is caught here.
    try {
        return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
    } catch (...) {
        return FALSE;
    }
}

void TRestoreDialog::InitDialog() {
    KeepDialogManagerFromRescaling(handle_);
    SetWindowTextA(handle_, Caption);
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const Placement& p : Layout) {
        TControl& control = this->*p.control;
        control.Attach(CreateWindowExA(p.exStyle, p.className, "", p.style, 0, 0, 0, 0, handle_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id())),
                                       instance, nullptr));
    }
    // At the scale of the owner's monitor, where it is centred.
    HWND owner = GetWindow(handle_, GW_OWNER);
    ApplyDpi(owner ? WindowDpi(owner) : SystemDpi(), nullptr);
    CentreOnOwnersMonitor(handle_, owner);
    if (WindowDpi(handle_) != dpi_) {
        ApplyDpi(WindowDpi(handle_), nullptr);
        CentreOnOwnersMonitor(handle_, owner);
    }
    SendMessageA(handle_, DM_SETDEFID, btnRestoreRun.Id(), 0);
    SetFocus(lstHistory.Handle());
    PostMessageA(handle_, LoadHistoryMessage, 0, 0);
}

void TRestoreDialog::ApplyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    UniqueGdiObject font = FormFontForDpi(dpi, false);
    SizeWindowForDpi(handle_, suggested, ClientWidth, ClientHeight,
                     static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_STYLE)),
                     static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_EXSTYLE)), dpi);
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    for (const Placement& p : Layout) {
        const RECT place = ScaleRectForDpi(p.left, p.top, p.width, p.height, dpi);
        HWND child = (this->*p.control).Handle();
        SetWindowPos(child, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    // The old font goes only once no control uses it.
    font_ = std::move(font);
    ShowHistoryLines();
    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TRestoreDialog::ShowHistoryLines() {
    HWND list = lstHistory.Handle();
    if (!list)
        return;
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    LONG widest = 0;
    HDC dc = GetDC(list);
    HGDIOBJ previous = dc ? SelectObject(dc, font_.get()) : nullptr;
    for (const std::string& line : HistoryLines) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        SIZE size{};
        if (dc && GetTextExtentPoint32A(dc, line.data(), static_cast<int>(line.size()), &size))
            widest = std::max(widest, size.cx);
    }
    if (dc) {
        SelectObject(dc, previous);
        ReleaseDC(list, dc);
    }
    SendMessageA(list, LB_SETHORIZONTALEXTENT, widest + ScaleForDpi(6, dpi_), 0);
    SendMessageA(list, LB_SETCURSEL, Selected, 0);
}

TControl* TRestoreDialog::ControlById(int id) {
    for (const Placement& p : Layout)
        if ((this->*p.control).Id() == id)
            return &(this->*p.control);
    return nullptr;
}

INT_PTR TRestoreDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        InitDialog();
        return FALSE; // the focus is set already
    case LoadHistoryMessage:
        RunHandler([this] { FormShow(); });
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDCANCEL) { // Escape
            SendMessageA(handle_, WM_CLOSE, 0, 0);
        } else if (id == lstHistory.Id() && code == LBN_SELCHANGE) {
            Selected = static_cast<int>(SendMessageA(lstHistory.Handle(), LB_GETCURSEL, 0, 0));
            RunHandler([this] { lstHistoryChange(); });
        } else if (TControl* control = ControlById(id == IDOK ? btnRestoreRun.Id() : id);
                   control && code == BN_CLICKED) {
            // IDOK: Enter while the default button is disabled.
            Click(*control);
        }
        return TRUE;
    }
    case WM_CLOSE:
        // Closing the dialog while a restore runs is its Cancel.
        if (restoring_ && running_)
            running_->Cancel();
        else
            Close();
        return TRUE;
    case WM_DPICHANGED:
        // Moved to a monitor at another scale: laid out again there.
        ApplyDpi(DpiOfChange(wParam), reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (!BusyCursor::Active())
            return FALSE;
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        SetWindowLongPtrA(handle_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        for (const Placement& p : Layout)
            (this->*p.control).Attach(nullptr);
        SetWindowLongPtrA(handle_, DWLP_USER, 0);
        handle_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
