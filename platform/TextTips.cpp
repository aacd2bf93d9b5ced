#include "TextTips.h"

#include <commctrl.h>

#include <string>

namespace {

std::string WindowText(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool OnOneLine(HWND control) {
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    return (style & SS_ELLIPSISMASK) != 0 || (style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP ||
           (style & SS_CENTERIMAGE) != 0;
}

// Whether the text fits the control's client area, word-wrapped or on one line.
bool TextFits(HWND control, const std::string& text, bool oneLine) {
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    if (!dc)
        return true;
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, client.right, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &needed,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (oneLine ? DT_SINGLELINE : DT_WORDBREAK));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needed.right <= client.right && needed.bottom <= client.bottom;
}

} // namespace

bool ShowsWholeText(HWND control) {
    return TextFits(control, WindowText(control), OnOneLine(control));
}

namespace {

void RefitPathText(HWND control) {
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const LONG plain = (style & ~(SS_TYPEMASK | SS_ELLIPSISMASK | SS_CENTERIMAGE)) | SS_LEFT;
    const LONG shortened =
        (plain & ~SS_TYPEMASK) | SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS | SS_CENTERIMAGE;
    const LONG wanted = TextFits(control, WindowText(control), false) ? plain : shortened;
    if (wanted != style) {
        SetWindowLongA(control, GWL_STYLE, wanted);
        InvalidateRect(control, nullptr, TRUE);
    }
}

// Fits the text again whenever it, the font or the size changes.
LRESULT CALLBACK PathTextProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) noexcept {
    const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
    switch (message) {
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_SIZE:
        RefitPathText(control);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(control, PathTextProc, 0);
        break;
    default:
        break;
    }
    return result;
}

} // namespace

void FitPathText(HWND control) {
    SetWindowSubclass(control, PathTextProc, 0, 0);
    RefitPathText(control);
}

TextTips::~TextTips() {
    if (tip_ && IsWindow(tip_))
        DestroyWindow(tip_);
}

void TextTips::Create(HWND owner) {
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                           WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
    // A long path wraps in the tip rather than running off the screen.
    if (tip_)
        SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN) / 2);
}

void TextTips::Add(HWND control) {
    if (!tip_ || !control)
        return;
    TOOLINFOA tool{};
    // The size that every version of the common controls takes.
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void TextTips::SetFont(HFONT font) {
    if (tip_)
        SendMessageA(tip_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

bool TextTips::AnswerNotify(LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header || header->code != TTN_GETDISPINFOA)
        return false;
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
    HWND control = reinterpret_cast<HWND>(header->idFrom);
    // The tooltip copies the text before the next request on this thread.
    static thread_local std::string shown;
    shown = IsWindow(control) && !ShowsWholeText(control) ? WindowText(control) : std::string();
    info->lpszText = shown.data();
    info->hinst = nullptr;
    return true;
}
