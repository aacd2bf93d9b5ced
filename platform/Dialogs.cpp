// The real dialogs: the message dialog built from the message font, the
// system open-file dialog, the shell folder browser and the error box.
#include "Dialogs.h"

#include <cstddef>
#include <vector>

#include "Dpi.h"
#include "MessageDialogLayout.h"
#include "OpenFileDialog.h"
#include "ScreenPlacement.h"
#include "SelectFolder.h"
#include "Win32Handles.h"

namespace {

// A window's device context with a font selected into it, both given back
// when the object goes.
class FontDC {
  public:
    FontDC(HWND window, HFONT font)
        : window_(window), dc_(GetDC(window)), previous_(dc_ ? SelectObject(dc_, font) : nullptr) {}
    ~FontDC() {
        if (dc_) {
            SelectObject(dc_, previous_);
            ReleaseDC(window_, dc_);
        }
    }
    FontDC(const FontDC&) = delete;
    FontDC& operator=(const FontDC&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previous_;
};

// True when the user's interface language reads from right to left.
bool RightToLeftReading() {
    switch (PRIMARYLANGID(GetUserDefaultUILanguage())) {
    case LANG_ARABIC:
    case LANG_HEBREW:
    case LANG_FARSI:
    case LANG_URDU:
        return true;
    default:
        return false;
    }
}

struct MessageDialogState {
    const std::string& text;
    MessageDialogContent content;
    int dpi = DesignDpi;
    // The message font at the dialog's DPI, and the stock GUI font where the
    // system does not report one.
    UniqueGdiObject ownFont;
    HFONT Font() const {
        return ownFont ? static_cast<HFONT>(ownFont.get())
                       : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
};

MessageDialogMetrics MeasureMessageDialog(HWND dialog, const MessageDialogState& state) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    MessageDialogMetrics metrics;
    metrics.rightToLeft = RightToLeftReading();
    metrics.iconSize = SystemMetricForDpi(SM_CXICON, state.dpi);
    FontDC dc(dialog, state.Font());
    if (!dc.get())
        return metrics;
    GetTextExtentPoint32A(dc.get(), letters, 52, &metrics.lettersExtent);

    // The message is shown as written: an "&" in a folder name is text, not
    // an accelerator.
    RECT text{0, 0, MessageTextWidth(GetSystemMetrics(SM_CXSCREEN)), 0};
    DrawTextA(dc.get(), state.text.data(), static_cast<int>(state.text.size()), &text,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_LEFT);
    metrics.textExtent = SIZE{text.right - text.left, text.bottom - text.top};

    for (const MessageDialogButton& button : state.content.buttons) {
        RECT caption{0, 0, 0, 0};
        DrawTextA(dc.get(), button.caption, -1, &caption, DT_CALCRECT | DT_SINGLELINE);
        metrics.captionWidths.push_back(caption.right - caption.left);
    }
    return metrics;
}

HWND CreateChild(HWND dialog, const char* className, const char* text, DWORD style, DWORD exStyle,
                 const RECT& r, int id, HFONT font) {
    HWND child = CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, r.left,
                                 r.top, r.right - r.left, r.bottom - r.top, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (child)
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// A system icon at the size the dialog's DPI asks for (SM_CXICON at that
// DPI), scaled down from a larger image rather than up from 32 pixels; the
// caller destroys it. The function lives only in version 6 of the common
// controls, so it is looked up rather than imported.
HICON LoadMessageIcon(LPCSTR name, int size) {
    using LoadScaled = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    HICON icon = nullptr;
    if (HMODULE controls = GetModuleHandleA("comctl32.dll"))
        if (auto load = reinterpret_cast<LoadScaled>(
                reinterpret_cast<void (*)()>(GetProcAddress(controls, "LoadIconWithScaleDown"))))
            if (SUCCEEDED(load(nullptr, reinterpret_cast<PCWSTR>(name), size, size, &icon)))
                return icon;
    return static_cast<HICON>(LoadImageA(nullptr, name, IMAGE_ICON, size, size, 0));
}

void CreateMessageControls(HWND dialog, const MessageDialogState& state) {
    const MessageDialogContent& content = state.content;
    SetWindowTextA(dialog, content.title.c_str());
    const RECT none{0, 0, 0, 0};
    if (content.icon)
        // The control draws the icon at the control's size, which the layout
        // makes the size it is loaded at.
        CreateChild(dialog, "STATIC", nullptr, SS_ICON | SS_REALSIZECONTROL, 0, none, idMessageIcon,
                    state.Font());
    const DWORD textStyle = SS_NOPREFIX | (RightToLeftReading() ? SS_RIGHT : SS_LEFT);
    CreateChild(dialog, "STATIC", state.text.c_str(), textStyle,
                RightToLeftReading() ? WS_EX_RTLREADING : 0, none, idMessageText, state.Font());

    HWND focus = nullptr;
    for (size_t i = 0; i < content.buttons.size(); ++i) {
        const MessageDialogButton& button = content.buttons[i];
        const bool isDefault = static_cast<int>(i) == content.defaultButton;
        DWORD style = WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0)
            style |= WS_GROUP;
        HWND control = CreateChild(dialog, "BUTTON", button.caption, style, 0, none,
                                   button.controlId, state.Font());
        if (isDefault || !focus)
            focus = control;
    }
    if (content.defaultButton >= 0)
        SendMessageA(dialog, DM_SETDEFID, content.buttons[content.defaultButton].controlId, 0);
    if (focus)
        SetFocus(focus);
}

void MoveChild(HWND dialog, int id, const RECT& r, HFONT font) {
    HWND child = GetDlgItem(dialog, id);
    SetWindowPos(child, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// Measures and places everything at the state's DPI and font, with the
// frame's top left corner at the given point.
void LayOutMessageDialog(HWND dialog, const MessageDialogState& state, POINT topLeft) {
    const MessageDialogContent& content = state.content;
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(state.Font()), FALSE);
    const MessageDialogMetrics metrics = MeasureMessageDialog(dialog, state);
    const MessageDialogLayout layout = ComputeMessageDialogLayout(content, metrics);
    if (content.icon) {
        MoveChild(dialog, idMessageIcon, layout.icon, state.Font());
        HICON icon = LoadMessageIcon(content.icon, metrics.iconSize);
        if (HICON old = reinterpret_cast<HICON>(SendDlgItemMessageA(
                dialog, idMessageIcon, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0)))
            DestroyIcon(old);
    }
    MoveChild(dialog, idMessageText, layout.text, state.Font());
    for (size_t i = 0; i < content.buttons.size(); ++i)
        MoveChild(dialog, content.buttons[i].controlId, layout.buttons[i], state.Font());

    RECT frame{0, 0, layout.client.cx, layout.client.cy};
    AdjustWindowRectForDpi(frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)),
                           static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)), state.dpi);
    SetWindowPos(dialog, nullptr, topLeft.x, topLeft.y, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void InitMessageDialog(HWND dialog, MessageDialogState& state) {
    KeepDialogManagerFromRescaling(dialog);
    CreateMessageControls(dialog, state);
    // At the scale of the owner's monitor, where it is centred.
    HWND owner = GetWindow(dialog, GW_OWNER);
    state.dpi = owner ? WindowDpi(owner) : SystemDpi();
    state.ownFont = MessageFontForDpi(state.dpi);
    LayOutMessageDialog(dialog, state, POINT{0, 0});
    CentreOnOwnersMonitor(dialog, owner);
}

// Moved to a monitor at another scale, or the scale changed: measured and
// laid out again at the new DPI, where Windows suggests.
void RescaleMessageDialog(HWND dialog, MessageDialogState& state, int dpi, const RECT& suggested) {
    state.dpi = dpi;
    UniqueGdiObject font = MessageFontForDpi(dpi);
    std::swap(font, state.ownFont);
    LayOutMessageDialog(dialog, state, POINT{suggested.left, suggested.top});
    // The old font goes once no control uses it, at the end of this scope.
}

INT_PTR CALLBACK MessageDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM lParam) noexcept {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        try {
            InitMessageDialog(dialog, *reinterpret_cast<MessageDialogState*>(lParam));
        } catch (...) {
            EndDialog(dialog, CloseButtonResult);
        }
        return FALSE; // the focus is set already
    case WM_DPICHANGED:
        if (auto* state =
                reinterpret_cast<MessageDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER))) {
            try {
                RescaleMessageDialog(dialog, *state, DpiOfChange(wParam),
                                     *reinterpret_cast<const RECT*>(lParam));
            } catch (...) {
                // Out of memory while measuring: the dialog stays as it was.
            }
        }
        return TRUE;
    case WM_COMMAND: {
        const auto* state =
            reinterpret_cast<const MessageDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (!state)
            return FALSE;
        const MessageDialogContent& content = state->content;
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {
            // The Escape key. Without a button that answers it nothing happens.
            if (content.escapeButton >= 0)
                EndDialog(dialog, content.buttons[content.escapeButton].result);
            return TRUE;
        }
        for (const MessageDialogButton& button : content.buttons) {
            if (button.controlId != id)
                continue;
            // There is no help file to show, and Help never closes the dialog.
            if (button.bit != mbHelp)
                EndDialog(dialog, button.result);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        if (HICON icon = reinterpret_cast<HICON>(
                SendDlgItemMessageA(dialog, idMessageIcon, STM_GETICON, 0, 0)))
            DestroyIcon(icon);
        return FALSE;
    case WM_CLOSE:
        // The title-bar close button (and Alt+F4) answer Cancel even when no
        // Cancel button is shown, unlike the Escape key.
        EndDialog(dialog, CloseButtonResult);
        return TRUE;
    default:
        return FALSE;
    }
}

// The window a dialog of this opener belongs to: its own while it exists,
// else the one the user is working in on this thread.
HWND OwnerWindow(const DialogOwner& owner) {
    return owner.window && IsWindow(owner.window) ? owner.window : GetActiveWindow();
}

int ShowMessageDialog(const DialogOwner& owner, const std::string& text, TMsgDlgType type,
                      TMsgDlgButtons buttons) {
    MessageDialogState state{text, DescribeMessageDialog(type, buttons, owner.title), DesignDpi,
                             UniqueGdiObject()};

    const INT_PTR result =
        ShowLaidOutDialog(OwnerWindow(owner), MessageDialogProc, reinterpret_cast<LPARAM>(&state));
    // A dialog that could not be shown counts as dismissed.
    return result > 0 ? static_cast<int>(result) : CloseButtonResult;
}

class Real : public DialogSeam {
  public:
    int MessageDlg(const DialogOwner& owner, const std::string& text, TMsgDlgType type,
                   TMsgDlgButtons buttons, int) override {
        return ShowMessageDialog(owner, text, type, buttons);
    }
    bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) override {
        return ShowShellFolderBrowser(owner, caption, folder);
    }
    bool OpenFile(const OpenFileRequest& request, std::string& fileName) override {
        return ShowOpenFileDialog(request, fileName);
    }
    void ShowErrorBox(const DialogOwner& owner, const std::string& text) override {
        MessageBoxA(OwnerWindow(owner), text.c_str(), owner.title.c_str(), MB_ICONSTOP | MB_OK);
    }
};

} // namespace

INT_PTR ShowLaidOutDialog(HWND owner, DLGPROC procedure, LPARAM parameter) {
    // An empty dialog box: the frame and its styles.
    struct alignas(4) EmptyDialogTemplate {
        DLGTEMPLATE header;
        WORD menu;
        WORD windowClass;
        WORD title;
    };
    static_assert(offsetof(EmptyDialogTemplate, menu) == sizeof(DLGTEMPLATE));
    EmptyDialogTemplate dialogTemplate{};
    dialogTemplate.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &dialogTemplate.header, owner,
                                   procedure, parameter);
}

DialogSeam& RealDialogs() {
    static Real real;
    return real;
}
