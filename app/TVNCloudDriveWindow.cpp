// The real window behind TMainCloudDriveForm: class registration, layout,
// dialog-style keyboard handling and message dispatch to the handlers.
#include "TVNCloudDriveMain.h"

#include <commctrl.h>

#include "BackgroundWork.h"
#include "BusyCursor.h"
#include "Dpi.h"
#include "ScreenPlacement.h"
#include "TVNCloudDriveControlIds.h"
#include "TextTips.h"
#include "WindowClass.h"

namespace {

const char* const PanelClassName = "TVNCloudDrivePanel";
const char* const FormCaption = "Tallyvane - Cloud Drive Configuration";
const int ClientWidth = 537;
const int ClientHeight = 282;
// Posted when the focus has moved to or from a push button.
const UINT ShowDefaultButtonMessage = WM_APP + 1;

int Scale(int value, int dpi) {
    return ScaleForDpi(value, dpi);
}

// The window a control sits in: the form itself, or one of its two panels.
enum class Parent { Form, InstallPanel, CloudPanel };

struct Placement {
    TControl TMainCloudDriveForm::*control;
    const char* className;
    DWORD style;
    Parent parent;
    int left, top, width, height;
    bool bold;
};

const DWORD Child = WS_CHILD | WS_VISIBLE;
const DWORD Label = Child | SS_LEFT | SS_NOPREFIX;
// A status line that may be longer than the panel is wide: shortened with an
// ellipsis, and whole in its tooltip (SS_NOTIFY lets the tooltip see the
// mouse over it).
const DWORD StatusLine = Label | SS_ENDELLIPSIS | SS_NOTIFY;
// A folder shows word-wrapped on its two lines, or shortened in the middle
// where it is longer (FitPathText), and whole in its tooltip.
const DWORD FolderField = Child | SS_LEFT | SS_NOPREFIX | SS_SUNKEN | SS_NOTIFY;
// BS_NOTIFY: the window hears when a push button gains or loses the focus.
const DWORD PushButton = Child | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;

const Parent Form = Parent::Form;
const Parent InstallPanel = Parent::InstallPanel;
const Parent CloudPanel = Parent::CloudPanel;

// In creation order, which is the tab order. Sizes at 96 DPI; inside a
// panel a line has room for 499 pixels between the margins.
const Placement Layout[] = {
    {&TMainCloudDriveForm::Panel3, PanelClassName, Child, Form, 10, 9, 519, 85, false},
    {&TMainCloudDriveForm::btnBrowseInstall, "BUTTON", PushButton | WS_GROUP, InstallPanel, 433, 41,
     75, 25, false},
    {&TMainCloudDriveForm::txtInstallFolder, "STATIC", FolderField | WS_GROUP, InstallPanel, 10, 41,
     415, 32, false},
    {&TMainCloudDriveForm::lblExeLocated1, "STATIC", StatusLine, InstallPanel, 10, 8, 499, 17,
     true},
    {&TMainCloudDriveForm::lblExeLocated2, "STATIC", Label, InstallPanel, 10, 23, 495, 17, false},
    {&TMainCloudDriveForm::Panel1, PanelClassName, Child, Form, 10, 103, 519, 126, false},
    {&TMainCloudDriveForm::btnOneDrive, "BUTTON",
     Child | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, CloudPanel, 12, 8, 69, 17, false},
    {&TMainCloudDriveForm::btnDropbox, "BUTTON", Child | BS_AUTORADIOBUTTON, CloudPanel, 80, 8, 65,
     17, false},
    {&TMainCloudDriveForm::btnBrowseCloudDrive, "BUTTON", PushButton | WS_GROUP, CloudPanel, 433,
     61, 75, 25, false},
    {&TMainCloudDriveForm::txtCloudDriveFolder, "STATIC", FolderField | WS_GROUP, CloudPanel, 10,
     61, 415, 32, false},
    {&TMainCloudDriveForm::chkDisconnect, "BUTTON", Child | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX,
     CloudPanel, 10, 100, 497, 17, false},
    {&TMainCloudDriveForm::lblCloudDriveLocated1, "STATIC", StatusLine | WS_GROUP, CloudPanel, 10,
     26, 499, 17, true},
    {&TMainCloudDriveForm::lblCloudDriveLocated2, "STATIC", Label, CloudPanel, 10, 41, 495, 17,
     false},
    // The bevel is a single etched line along its top edge.
    {&TMainCloudDriveForm::Bevel1, "STATIC", Child | SS_ETCHEDHORZ, Form, 10, 239, 519, 2, false},
    {&TMainCloudDriveForm::btnRestore, "BUTTON", PushButton | WS_GROUP, Form, 10, 250, 78, 24,
     false},
    {&TMainCloudDriveForm::btnOK, "BUTTON", PushButton | WS_GROUP | BS_DEFPUSHBUTTON, Form, 365,
     250, 78, 24, false},
    {&TMainCloudDriveForm::btnCancel, "BUTTON", PushButton, Form, 450, 250, 78, 24, false},
};

bool RegisterClasses(HINSTANCE instance, WNDPROC formProc, WNDPROC panelProc) {
    return RegisterWindowClassOnce(instance, TMainCloudDriveForm::ClassName, formProc,
                                   "MAINICON") &&
           RegisterWindowClassOnce(instance, PanelClassName, panelProc);
}

RECT PlaceAt(const Placement& p, int dpi) {
    return ScaleRectForDpi(p.left, p.top, p.width, p.height, dpi);
}

const DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
const DWORD FormExStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;

} // namespace

bool TMainCloudDriveForm::CreateHandle(HINSTANCE instance) {
    if (handle_)
        return true;
    if (!RegisterClasses(instance, WindowProc, PanelProc))
        return false;
    // Made at the system DPI, its controls in their places and fonts there,
    // and laid out again only on a monitor at another DPI: each control
    // placed twice took a tenth of the time to a window that answers.
    dpi_ = SystemDpi();
    RECT rect{0, 0, Scale(ClientWidth, dpi_), Scale(ClientHeight, dpi_)};
    AdjustWindowRectForDpi(rect, FormStyle, FormExStyle, dpi_);
    HWND hwnd = CreateWindowExA(FormExStyle, ClassName, FormCaption, FormStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, rect.right - rect.left, rect.bottom - rect.top,
                                nullptr, nullptr, instance, this);
    if (!hwnd)
        return false;
    tips_.Create(handle_);
    font_ = FormFontForDpi(dpi_, false);
    boldFont_ = FormFontForDpi(dpi_, true);
    CreateControls(instance);
    tips_.SetFont(static_cast<HFONT>(font_.get()));
    if (WindowDpi(handle_) != dpi_)
        ApplyDpi(WindowDpi(handle_), nullptr);
    return true;
}

void TMainCloudDriveForm::CreateControls(HINSTANCE instance) {
    for (const Placement& p : Layout) {
        TControl& control = this->*p.control;
        HWND parent = p.parent == Parent::InstallPanel ? Panel3.Handle()
                      : p.parent == Parent::CloudPanel ? Panel1.Handle()
                                                       : handle_;
        DWORD exStyle = (p.className == PanelClassName) ? WS_EX_CONTROLPARENT : 0;
        const RECT place = PlaceAt(p, dpi_);
        HWND child = CreateWindowExA(exStyle, p.className, "", p.style, place.left, place.top,
                                     place.right - place.left, place.bottom - place.top, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id())),
                                     instance, nullptr);
        SendMessageA(child, WM_SETFONT,
                     reinterpret_cast<WPARAM>(p.bold ? boldFont_.get() : font_.get()), FALSE);
        control.Attach(child);
        // The static texts that may not fit (the SS_ bits mean other things
        // for buttons).
        if (lstrcmpA(p.className, "STATIC") == 0 && (p.style & SS_NOTIFY)) {
            tips_.Add(child);
            if (p.style & SS_SUNKEN)
                FitPathText(child);
        }
    }
}

void TMainCloudDriveForm::ApplyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    UniqueGdiObject font = FormFontForDpi(dpi_, false);
    UniqueGdiObject boldFont = FormFontForDpi(dpi_, true);
    SizeWindowForDpi(handle_, suggested, ClientWidth, ClientHeight, FormStyle, FormExStyle, dpi_);
    for (const Placement& p : Layout) {
        HWND child = (this->*p.control).Handle();
        const RECT place = PlaceAt(p, dpi_);
        SetWindowPos(child, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(child, WM_SETFONT,
                     reinterpret_cast<WPARAM>(p.bold ? boldFont.get() : font.get()), FALSE);
    }
    // The old fonts go only once no control uses them.
    font_ = std::move(font);
    boldFont_ = std::move(boldFont);
    tips_.SetFont(static_cast<HFONT>(font_.get()));
    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TMainCloudDriveForm::Show() {
    RunHandler([this] { FormShow(); });
    if (!handle_)
        return;
    // On the monitor where the user started the program, at its scale.
    POINT pointer{0, 0};
    GetCursorPos(&pointer);
    CentreOnMonitorAt(handle_, pointer);
    if (WindowDpi(handle_) != dpi_) {
        ApplyDpi(WindowDpi(handle_), nullptr);
        CentreOnMonitorAt(handle_, pointer);
    }
    ShowWindow(handle_, SW_SHOW);
    UpdateWindow(handle_);
    SetFocus(btnBrowseInstall.Handle());
}

RECT TMainCloudDriveForm::DesignRect(const TControl& control) {
    for (const Placement& p : Layout)
        if (&(this->*p.control) == &control)
            return RECT{p.left, p.top, p.left + p.width, p.top + p.height};
    return RECT{};
}

TControl* TMainCloudDriveForm::ControlById(int id) {
    for (const Placement& p : Layout) {
        TControl& control = this->*p.control;
        if (control.Id() == id)
            return &control;
    }
    return nullptr;
}

void TMainCloudDriveForm::OnCommand(int id, int code) {
    if (id == IDCANCEL) { // Escape
        RunHandler([this] { btnCancelClick(); });
        return;
    }
    if (code == BN_SETFOCUS || code == BN_KILLFOCUS) {
        // The dialog manager restyles the buttons itself after it moves the
        // focus, so the look is put right once it has finished.
        PostMessageA(handle_, ShowDefaultButtonMessage, 0, 0);
        return;
    }
    if (id == IDOK) // Enter with no push button focused
        id = btnOK.Id();
    TControl* control = ControlById(id);
    if (!control || code != BN_CLICKED)
        return;
    // Radio buttons and the check box have set their own state by now.
    ControlClicked(*control, SendMessageA(control->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED);
}

LRESULT CALLBACK TMainCloudDriveForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto form = static_cast<TMainCloudDriveForm*>(create->lpCreateParams);
        form->handle_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto form = reinterpret_cast<TMainCloudDriveForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    // Errors never cross the window procedure: the handlers run inside
    // RunHandler, and nothing else here throws.
    return form->HandleMessage(message, wParam, lParam);
}

std::array<TControl*, 5> TMainCloudDriveForm::PushButtons() {
    return {&btnBrowseInstall, &btnBrowseCloudDrive, &btnRestore, &btnOK, &btnCancel};
}

TControl* TMainCloudDriveForm::FocusedPushButton() {
    HWND focus = GetFocus();
    for (TControl* button : PushButtons())
        if (focus && focus == button->Handle())
            return button;
    return nullptr;
}

LRESULT TMainCloudDriveForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID: {
        // Enter presses the push button that has the focus, as in a dialog;
        // the dialog manager only makes a button the default when it moves
        // the focus itself, not for the focus that Show gives, so ask here.
        TControl* focused = FocusedPushButton();
        return MAKELRESULT((focused ? focused : &btnOK)->Id(), DC_HASDEFID);
    }
    case WM_ACTIVATE:
        // Keep the focused control across modal dialogs and task switches.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus))
                savedFocus_ = focus;
        } else if (savedFocus_ && IsWindow(savedFocus_)) {
            SetFocus(savedFocus_);
        }
        return 0;
    case ShowDefaultButtonMessage: {
        // As in a dialog, the push button with the focus looks like the
        // default button, since Enter presses it (DM_GETDEFID); while the
        // focus is elsewhere Configure does.
        TControl* focused = FocusedPushButton();
        HWND shown = (focused ? focused : &btnOK)->Handle();
        for (TControl* button : PushButtons()) {
            bool isDefault =
                (GetWindowLongA(button->Handle(), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
            if (button->Handle() && isDefault != (button->Handle() == shown))
                SendMessageA(button->Handle(), BM_SETSTYLE,
                             button->Handle() == shown ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        }
        return 0;
    }
    case WM_DPICHANGED:
        // Moved to a monitor at another scale, or the scale changed: the
        // layout again at the new DPI, in the rectangle Windows suggests.
        ApplyDpi(DpiOfChange(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_NOTIFY:
        if (TextTips::AnswerNotify(lParam))
            return 0;
        break;
    case WM_SETCURSOR:
        if (BusyCursor::Active()) {
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // Closing the window while long work runs is its Cancel.
        if (running_)
            running_->Cancel();
        else
            Close();
        return 0;
    case WM_QUERYENDSESSION:
        return FormQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
        RunHandler([&] { FormEndSession(wParam != FALSE); });
        return 0;
    case WM_DESTROY:
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        handle_ = nullptr;
        for (const Placement& p : Layout)
            (this->*p.control).Attach(nullptr);
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(handle_, message, wParam, lParam);
}

LRESULT CALLBACK TMainCloudDriveForm::PanelProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) noexcept {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        // The panel's controls, and the tooltip of its texts, talk to the
        // window.
        return SendMessageA(GetParent(hwnd), message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rect;
        GetClientRect(hwnd, &rect);
        // Lowered outer and raised inner bevel.
        DrawEdge(dc, &rect, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}
