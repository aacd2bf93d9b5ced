// The windows at 96, 120, 144 and 192 DPI: each is made in this process and
// sent WM_DPICHANGED with the DPI and a suggested rectangle, as Windows sends
// it when a window moves to a monitor at another scale. Every text a window
// can show is then measured against its control with the control's own font.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Dpi.h"
#include "InProcessDialog.h"
#include "MessageDialogLayout.h"
#include "ProgressWindow.h"
#include "TVNCloudDriveControlIds.h"
#include "TVNCloudDriveMain.h"

namespace {

const int Dpis[] = {96, 120, 144, 192};

LOGFONTA FontOf(HWND control) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

// The tooltip window that belongs to a top-level window of this thread.
HWND TooltipOf(HWND owner) {
    for (HWND w = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr); w;
         w = FindWindowExA(nullptr, w, TOOLTIPS_CLASSA, nullptr))
        if (GetWindow(w, GW_OWNER) == owner)
            return w;
    return nullptr;
}

// What the tooltip would show over the control: empty without a tool for
// it, else the text its window gives when the tooltip asks, as it does
// before it shows.
std::string TipText(HWND tooltip, HWND control) {
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    if (!SendMessageA(tooltip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)))
        return "";
    NMTTDISPINFOA ask{};
    ask.hdr = {tooltip, tool.uId, TTN_GETDISPINFOA};
    SendMessageA(tool.hwnd, WM_NOTIFY, tool.uId, reinterpret_cast<LPARAM>(&ask));
    return ask.lpszText ? ask.lpszText : ask.szText;
}

// A text fits its control when, word-wrapped to the room the control gives
// it, it takes no more than that room. A check box or radio button gives its
// box and the gap after it to the box. Where it does not fit, the control
// may draw it shortened: with an ellipsis style, one line high, and with the
// whole text in the window's tooltip (and only then).
void ExpectShows(HWND control, const std::string& text, bool mayShorten, HWND tooltip, int dpi) {
    SetWindowTextA(control, text.c_str());
    RECT room;
    GetClientRect(control, &room);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const LONG kind = style & BS_TYPEMASK;
    if (gui::ClassOf(control) == "Button" &&
        (kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON))
        room.right -= ScaleForDpi(17, dpi);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, room.right, 0};
    DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SIZE line{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &line);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    const bool fits = needed.right <= room.right && needed.bottom <= room.bottom;
    if (std::getenv("TVN_FIT_REPORT"))
        std::printf("fit: dpi=%d id=%d width=%ld room=%ldx%ld height=%ld %s\n", dpi,
                    GetDlgCtrlID(control), line.cx, room.right, room.bottom, needed.bottom,
                    text.c_str());
    const std::string tip = tooltip ? TipText(tooltip, control) : "";
    if (fits) {
        EXPECT_EQ(tip, "") << "a tip for a text that fits";
        return;
    }
    ASSERT_TRUE(mayShorten) << text << " needs " << needed.right << " x " << needed.bottom << " in "
                            << room.right << " x " << room.bottom;
    EXPECT_NE(style & SS_ELLIPSISMASK, 0) << "shortened without an ellipsis: " << text;
    EXPECT_LE(line.cy, room.bottom) << text;
    EXPECT_EQ(gui::Text(control), text);
    EXPECT_EQ(tip, text) << "no tooltip with the whole text";
}

// WM_DPICHANGED as Windows sends it, with the window at the place given.
RECT SendDpiChange(HWND window, int dpi, int clientWidth, int clientHeight, POINT at) {
    RECT suggested{0, 0, ScaleForDpi(clientWidth, dpi), ScaleForDpi(clientHeight, dpi)};
    AdjustWindowRectEx(&suggested, GetWindowLongA(window, GWL_STYLE), FALSE,
                       GetWindowLongA(window, GWL_EXSTYLE));
    OffsetRect(&suggested, at.x - suggested.left, at.y - suggested.top);
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    return suggested;
}

RECT RectInParent(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST(WindowScale, LayoutFontsAndEveryTextAtEachDpi) {
    TMainCloudDriveForm form;
    ASSERT_TRUE(form.CreateHandle(GetModuleHandleA(nullptr)));
    HWND tooltip = TooltipOf(form.Handle());
    ASSERT_NE(tooltip, nullptr);

    struct Row {
        TControl* control;
        std::string text;
        bool mayShorten;
    };
    const std::string longFolder =
        "c:\\users\\christopher.anderson\\onedrive - contoso ltd\\clients\\north region\\"
        "harbour bridge maintenance contract 2024\\time recording\\tallyvane data shared by "
        "the site team\\";
    std::vector<Row> rows = {
        {&form.lblExeLocated1, "Tallyvane data files have been found at a standard location.",
         false},
        {&form.lblExeLocated1, "Tallyvane data files HAVE BEEN FOUND at a standard location.",
         false},
        {&form.lblExeLocated1, "Tallyvane data files have NOT BEEN FOUND at a standard location.",
         false},
        {&form.lblExeLocated2,
         "Click \"Browse\" to locate and configure a different location (find 'tvn.inf').", false},
        {&form.lblCloudDriveLocated1, "Tallyvane IS configured to use a Cloud location.", false},
        {&form.lblCloudDriveLocated1,
         "An alternative data location IS configured, but it may not be being used for a Cloud "
         "Drive.",
         true},
        {&form.lblCloudDriveLocated2,
         "Click \"Browse\" to create a folder for Tallyvane and/or find a different location.",
         false},
        {&form.txtInstallFolder,
         "c:\\users\\christopher.anderson\\appdata\\roaming\\brimlace\\"
         "tallyvane",
         false},
        {&form.txtCloudDriveFolder,
         "c:\\users\\christopher.anderson\\onedrive - contoso ltd\\"
         "tallyvane data\\",
         false},
        {&form.txtCloudDriveFolder, longFolder, true},
        {&form.btnOneDrive, "OneDrive", false},
        {&form.btnDropbox, "Dropbox", false},
        {&form.btnBrowseInstall, "Browse...", false},
        {&form.btnOK, "Configure", false},
        {&form.btnCancel, "Cancel", false},
    };
    for (const char* provider : {"OneDrive", "Dropbox"}) {
        const std::string p = provider;
        for (const std::string& status :
             {"Tallyvane IS configured to use a " + p + " location.",
              "A " + p + " folder HAS BEEN FOUND at a standard location.",
              "A " + p + " folder HAS NOT BEEN FOUND in a standard location."})
            rows.push_back({&form.lblCloudDriveLocated1, status, false});
        rows.push_back(
            {&form.chkDisconnect,
             "Configure the detected Tallyvane to use its standard (non-" + p + ") data location.",
             false});
    }

    for (int dpi : Dpis) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        const RECT suggested = SendDpiChange(form.Handle(), dpi, 537, 282, {40 + dpi, 30});
        RECT frame;
        GetWindowRect(form.Handle(), &frame);
        EXPECT_TRUE(EqualRect(&frame, &suggested)) << "the suggested rectangle was not taken";
        for (TControl* control : {&form.Panel3, &form.lblExeLocated1, &form.btnBrowseInstall,
                                  &form.txtCloudDriveFolder, &form.chkDisconnect, &form.btnOK}) {
            const RECT design = form.DesignRect(*control);
            const RECT expected{ScaleForDpi(design.left, dpi), ScaleForDpi(design.top, dpi),
                                ScaleForDpi(design.right, dpi), ScaleForDpi(design.bottom, dpi)};
            const RECT shown = RectInParent(control->Handle());
            EXPECT_TRUE(EqualRect(&shown, &expected)) << "control " << control->Id();
            if (control == &form.Panel3)
                continue;
            const LOGFONTA font = FontOf(control->Handle());
            EXPECT_EQ(font.lfHeight, -MulDiv(8, dpi, 72)) << "control " << control->Id();
            EXPECT_STREQ(font.lfFaceName, "Tahoma");
            EXPECT_EQ(font.lfWeight, control == &form.lblExeLocated1 ? FW_BOLD : FW_NORMAL);
        }
        for (const Row& row : rows) {
            SCOPED_TRACE(row.text);
            ExpectShows(row.control->Handle(), row.text, row.mayShorten, tooltip, dpi);
        }
    }
}

TEST(ProgressScale, LinesFitOrAreShortenedAtEachDpi) {
    ProgressWindow window(nullptr);
    ASSERT_NE(window.Handle(), nullptr);
    HWND tooltip = TooltipOf(window.Handle());
    ASSERT_NE(tooltip, nullptr);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));

    struct Row {
        int id;
        std::string text;
        LONG ellipsis; // where the line is shortened
    } rows[] = {
        {1001, "Comparing data files", SS_ENDELLIPSIS},
        {1001,
         "Copying data files to \"c:\\users\\christopher.anderson\\onedrive - contoso "
         "ltd\\tallyvane data\\\"",
         SS_ENDELLIPSIS},
        {1002,
         "c:\\users\\christopher.anderson\\appdata\\roaming\\brimlace\\tallyvane\\data\\2024-"
         "11.txt",
         SS_PATHELLIPSIS},
        {1004, "1,000,000 of 1,000,000 files, 100,000.0 of 100,000.0 MB", SS_ENDELLIPSIS},
    };
    for (int dpi : Dpis) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        const RECT suggested = SendDpiChange(window.Handle(), dpi, 420, 136, {20, 20 + dpi});
        RECT frame;
        GetWindowRect(window.Handle(), &frame);
        EXPECT_TRUE(EqualRect(&frame, &suggested));
        for (const Row& row : rows) {
            SCOPED_TRACE(row.text);
            HWND line = GetDlgItem(window.Handle(), row.id);
            EXPECT_EQ(GetWindowLongA(line, GWL_STYLE) & SS_ELLIPSISMASK, row.ellipsis);
            EXPECT_EQ(FontOf(line).lfHeight,
                      MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi()));
            ExpectShows(line, row.text, row.id != 1004, tooltip, dpi);
        }
    }
}

// The message dialog on a monitor at 144 DPI: its icon at the size the
// system gives there, drawn at that size, and the text measured again.
TEST(MessageDlgScale, RelaysItselfOutOnADpiChange) {
    using namespace dialogtest;
    const int dpi = 144;
    const std::string text = "Tallyvane has been configured on this machine.\r\n\r\nRedirection "
                             "to \"c:\\users\\ann\\onedrive\\tallyvane data\\\" has been "
                             "established.";
    struct Seen {
        int iconControl = 0, iconLoaded = 0;
        RECT frame{}, suggested{};
        LONG fontHeight = 0;
    } seen;
    DialogDriver driver("Information", [&](HWND dialog) {
        RECT r;
        GetWindowRect(dialog, &r);
        seen.suggested = SendDpiChange(dialog, dpi, 10, 10, {r.left, r.top});
        GetWindowRect(dialog, &seen.frame);
        HWND icon = GetDlgItem(dialog, idMessageIcon);
        GetClientRect(icon, &r);
        seen.iconControl = r.right;
        ICONINFO info{};
        if (GetIconInfo(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)), &info)) {
            BITMAP mask{};
            GetObjectA(info.hbmMask, sizeof mask, &mask);
            seen.iconLoaded = mask.bmWidth;
            DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
        }
        HWND message = GetDlgItem(dialog, idMessageText);
        seen.fontHeight = FontOf(message).lfHeight;
        ExpectShows(message, text, false, nullptr, dpi);
        PressKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(MessageDlg(text, mtInformation, mbOK, 0), mrOk);
    ASSERT_TRUE(driver.Join().found);
    const int size = SystemMetricForDpi(SM_CXICON, dpi);
    EXPECT_EQ(size, 48);
    EXPECT_EQ(seen.iconControl, size);
    EXPECT_EQ(seen.iconLoaded, size);
    EXPECT_EQ(seen.frame.left, seen.suggested.left);
    EXPECT_EQ(seen.frame.top, seen.suggested.top);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    EXPECT_EQ(seen.fontHeight, MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi()));
}

} // namespace
