// A window of the program's kind done the least way: the program's manifest
// (common controls 6 with visual styles, per-monitor DPI), sixteen controls
// of the kinds its window has, with texts, in one font, shown with a message
// loop. The benchmark times the program's start against it and against a
// minimal window, to tell what any such window costs from what the program
// adds.
#include <windows.h>

#include <commctrl.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Control {
    const char* className;
    DWORD style;
    const char* text;
    int left, top, width, height;
};

const DWORD Child = WS_CHILD | WS_VISIBLE;
const Control Controls[] = {
    {"STATIC", Child | SS_ETCHEDFRAME, "", 10, 9, 519, 85},
    {"STATIC", Child | SS_LEFT, "Data files have been found at a standard location.", 20, 17, 499,
     17},
    {"STATIC", Child | SS_LEFT, "Click \"Browse\" to locate and configure a different location.",
     20, 32, 495, 17},
    {"STATIC", Child | SS_LEFT | SS_SUNKEN, "c:\\users\\someone\\appdata\\roaming\\data\\", 20, 50,
     415, 32},
    {"BUTTON", Child | WS_TABSTOP | BS_PUSHBUTTON, "Browse...", 443, 50, 75, 25},
    {"STATIC", Child | SS_ETCHEDFRAME, "", 10, 103, 519, 126},
    {"BUTTON", Child | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, "OneDrive", 22, 111, 69, 17},
    {"BUTTON", Child | BS_AUTORADIOBUTTON, "Dropbox", 90, 111, 65, 17},
    {"STATIC", Child | SS_LEFT, "A Cloud location is configured.", 20, 129, 499, 17},
    {"STATIC", Child | SS_LEFT, "Click \"Browse\" to find a different location.", 20, 144, 495, 17},
    {"STATIC", Child | SS_LEFT | SS_SUNKEN, "c:\\users\\someone\\onedrive\\data\\", 20, 164, 415,
     32},
    {"BUTTON", Child | WS_TABSTOP | BS_PUSHBUTTON, "Browse...", 443, 164, 75, 25},
    {"BUTTON", Child | WS_TABSTOP | BS_AUTOCHECKBOX, "Use the standard data location.", 20, 203,
     497, 17},
    {"STATIC", Child | SS_ETCHEDHORZ, "", 10, 239, 519, 2},
    {"BUTTON", Child | WS_TABSTOP | BS_DEFPUSHBUTTON, "Configure", 365, 250, 78, 24},
    {"BUTTON", Child | WS_TABSTOP | BS_PUSHBUTTON, "Cancel", 450, 250, 78, 24},
};

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "TVNControlWindow";
    if (!RegisterClassA(&windowClass))
        return 1;
    RECT rect{0, 0, 537, 282};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Window with controls", style,
                                  CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    LOGFONTA font{};
    font.lfHeight = -11;
    lstrcpynA(font.lfFaceName, "Tahoma", LF_FACESIZE);
    HFONT tahoma = CreateFontIndirectA(&font);
    for (const Control& c : Controls) {
        HWND child = CreateWindowExA(0, c.className, c.text, c.style, c.left, c.top, c.width,
                                     c.height, window, nullptr, instance, nullptr);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(tahoma), FALSE);
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DeleteObject(tahoma);
    return 0;
}
