// The windows at 96, 120, 144 and 192 DPI: each is made in this process and
// sent WM_DPICHANGED with the DPI and a suggested rectangle, as Windows sends
// it when a window moves to a monitor at another scale. Every text a window
// can show is then measured against its control with the control's own font
// (TVN_FIT_REPORT=1 prints the widths).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "Dpi.h"
#include "InProcessDialog.h"
#include "MessageDialogLayout.h"
#include "ProgressWindow.h"
#include "RestoreDialog.h"
#include "TVNCloudDriveMain.h"
#include "TestSupport.h"

namespace {

LOGFONTA FontOf(HWND control) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

// What the window's tooltip shows over the control: nothing without a tool
// for it, else what the control's parent answers when the tooltip asks.
std::string TipText(HWND owner, HWND control) {
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    HWND tip = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr);
    while (tip && GetWindow(tip, GW_OWNER) != owner)
        tip = FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr);
    if (!tip || !SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)))
        return "";
    NMTTDISPINFOA ask{};
    ask.hdr = {tip, tool.uId, TTN_GETDISPINFOA};
    SendMessageA(tool.hwnd, WM_NOTIFY, tool.uId, reinterpret_cast<LPARAM>(&ask));
    return ask.lpszText ? ask.lpszText : "";
}

// The text fits when, word-wrapped to the control's room (less the box of a
// check box or radio button), it takes no more than that room. Else it may
// be shortened: with an ellipsis style, one line high, whole in the tip.
void ExpectShows(HWND control, const std::string& text, bool mayShorten, int dpi) {
    SetWindowTextA(control, text.c_str());
    RECT room;
    GetClientRect(control, &room);
    const LONG style = GetWindowLongA(control, GWL_STYLE), kind = style & BS_TYPEMASK;
    if (gui::ClassOf(control) == "Button" &&
        (kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON))
        room.right -= ScaleForDpi(17, dpi);
    HDC dc = GetDC(control);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, room.right, 0};
    DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SIZE line{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &line);
    ReleaseDC(control, dc);
    if (std::getenv("TVN_FIT_REPORT"))
        std::printf("fit: dpi=%d width=%ld room=%ld %s\n", dpi, line.cx, room.right, text.c_str());
    const std::string tip = TipText(GetAncestor(control, GA_ROOT), control);
    if (needed.right <= room.right && needed.bottom <= room.bottom) {
        EXPECT_EQ(tip, "") << "a tip for a text that fits";
        return;
    }
    ASSERT_TRUE(mayShorten) << needed.right << " x " << needed.bottom << " in " << room.right
                            << " x " << room.bottom;
    EXPECT_NE(style & SS_ELLIPSISMASK, 0) << "shortened without an ellipsis";
    EXPECT_LE(line.cy, room.bottom);
    EXPECT_EQ(tip, text) << "no tip with the whole text";
}

// At each DPI: WM_DPICHANGED with a suggested rectangle for the design's
// client size, which the window must take; then check(dpi).
template <typename Check> void AtEachDpi(HWND window, SIZE design, Check check) {
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        RECT suggested{0, 0, ScaleForDpi(design.cx, dpi), ScaleForDpi(design.cy, dpi)};
        AdjustWindowRectEx(&suggested, GetWindowLongA(window, GWL_STYLE), FALSE,
                           GetWindowLongA(window, GWL_EXSTYLE));
        OffsetRect(&suggested, dpi - suggested.left, dpi / 2 - suggested.top);
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT frame;
        GetWindowRect(window, &frame);
        EXPECT_TRUE(EqualRect(&frame, &suggested)) << "the suggested rectangle was not taken";
        check(dpi);
    }
}

TEST(WindowScale, LayoutFontsAndEveryTextAtEachDpi) {
    TMainCloudDriveForm form;
    ASSERT_TRUE(form.CreateHandle(GetModuleHandleA(nullptr)));
    struct Row {
        TControl* control;
        std::vector<std::string> texts;
        bool mayShorten = false;
    };
    std::vector<Row> rows = {
        {&form.lblExeLocated1,
         {"Tallyvane data files have been found at a standard location.",
          "Tallyvane data files HAVE BEEN FOUND at a standard location.",
          "Tallyvane data files have NOT BEEN FOUND at a standard location."}},
        {&form.lblExeLocated2,
         {"Click \"Browse\" to locate and configure a different location (find 'tvn.inf')."}},
        {&form.lblCloudDriveLocated1,
         {"Tallyvane IS configured to use a Cloud location.",
          "An alternative data location IS configured, but it may not be being used for a Cloud "
          "Drive."},
         true},
        {&form.lblCloudDriveLocated2,
         {"Click \"Browse\" to create a folder for Tallyvane and/or find a different location."}},
        {&form.txtInstallFolder,
         {"c:\\users\\christopher.anderson\\appdata\\roaming\\brimlace\\tallyvane"}},
        {&form.txtCloudDriveFolder,
         {"c:\\users\\christopher.anderson\\onedrive - contoso ltd\\tallyvane data\\"}},
        {&form.txtCloudDriveFolder,
         {"c:\\users\\christopher.anderson\\onedrive - contoso ltd\\clients\\north region\\harbour "
          "bridge maintenance 2024\\time recording\\tallyvane data shared by the site team\\"},
         true},
        {&form.btnOneDrive, {"OneDrive"}},
        {&form.btnDropbox, {"Dropbox"}},
        {&form.btnBrowseInstall, {"Browse..."}},
        {&form.btnRestore, {"&Restore..."}},
        {&form.btnOK, {"Configure"}},
        {&form.btnCancel, {"Cancel"}},
    };
    for (const std::string p : {"OneDrive", "Dropbox"}) {
        rows.push_back({&form.lblCloudDriveLocated1,
                        {"Tallyvane IS configured to use a " + p + " location.",
                         "A " + p + " folder HAS BEEN FOUND at a standard location.",
                         "A " + p + " folder HAS NOT BEEN FOUND in a standard location."}});
        rows.push_back({&form.chkDisconnect,
                        {"Configure the detected Tallyvane to use its standard (non-" + p +
                         ") data location."}});
    }
    AtEachDpi(form.Handle(), {537, 282}, [&](int dpi) {
        for (TControl* control : {&form.lblExeLocated1, &form.btnBrowseInstall,
                                  &form.txtCloudDriveFolder, &form.chkDisconnect, &form.btnOK}) {
            RECT design = form.DesignRect(*control), shown;
            const RECT expected{ScaleForDpi(design.left, dpi), ScaleForDpi(design.top, dpi),
                                ScaleForDpi(design.right, dpi), ScaleForDpi(design.bottom, dpi)};
            GetWindowRect(control->Handle(), &shown);
            MapWindowPoints(nullptr, GetParent(control->Handle()), reinterpret_cast<POINT*>(&shown),
                            2);
            EXPECT_TRUE(EqualRect(&shown, &expected)) << "control " << control->Id();
            const LOGFONTA font = FontOf(control->Handle());
            EXPECT_EQ(font.lfHeight, -MulDiv(8, dpi, 72));
            EXPECT_STREQ(font.lfFaceName, "Tahoma");
            EXPECT_EQ(font.lfWeight, control == &form.lblExeLocated1 ? FW_BOLD : FW_NORMAL);
        }
        for (const Row& row : rows)
            for (const std::string& text : row.texts) {
                SCOPED_TRACE(text);
                ExpectShows(row.control->Handle(), text, row.mayShorten, dpi);
            }
    });
}

TEST(ProgressScale, LinesFitOrAreShortenedAtEachDpi) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    ProgressWindow window(nullptr);
    ASSERT_NE(window.Handle(), nullptr);
    const struct {
        int id; // stage, file, counts
        LONG ellipsis;
        const char* text;
    } rows[] = {
        {1001, SS_ENDELLIPSIS, "Comparing data files"},
        {1001, SS_ENDELLIPSIS,
         "Copying data files to \"c:\\users\\christopher.anderson\\onedrive - contoso ltd\\"
         "tallyvane data\\\""},
        {1002, SS_PATHELLIPSIS,
         "c:\\users\\christopher.anderson\\appdata\\roaming\\brimlace\\tallyvane\\data\\"
         "2024-11.txt"},
        {1004, SS_ENDELLIPSIS,
         "1,000,000 of 1,000,000 files, 100000.0 of 100000.0 MB, 1000.0 MB/s, about 55 minutes "
         "left"},
    };
    AtEachDpi(window.Handle(), {560, 136}, [&](int dpi) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.text);
            HWND line = GetDlgItem(window.Handle(), row.id);
            EXPECT_EQ(GetWindowLongA(line, GWL_STYLE) & SS_ELLIPSISMASK, row.ellipsis);
            EXPECT_EQ(FontOf(line).lfHeight,
                      MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi()));
            ExpectShows(line, row.text, row.id != 1004, dpi);
        }
    });
}

// The history dialog at each DPI: no two controls overlap, each lies in the
// dialog, in the window's font, and the labels and buttons fit their texts.
TEST(RestoreDialogScale, ControlsKeepApartAndTextsFitAtEachDpi) {
    test::TempDir noInstallation;
    SharedProgress* running = nullptr;
    TRestoreDialog dialog(noInstallation.path(), running);
    const std::vector<TControl*> controls = {
        &dialog.lblHistory,    &dialog.lstHistory,    &dialog.lblPreview, &dialog.txtPreview,
        &dialog.btnRestoreRun, &dialog.btnOpenBackup, &dialog.btnClose};
    dialogtest::DialogDriver driver(TRestoreDialog::Caption, [&](HWND shown) {
        AtEachDpi(shown, {560, 356}, [&](int dpi) {
            RECT client;
            GetClientRect(shown, &client);
            std::vector<RECT> places;
            for (TControl* control : controls) {
                SCOPED_TRACE(control->Caption());
                RECT place, both;
                GetWindowRect(control->Handle(), &place);
                MapWindowPoints(nullptr, shown, reinterpret_cast<POINT*>(&place), 2);
                EXPECT_TRUE(IntersectRect(&both, &place, &client) && EqualRect(&both, &place));
                for (const RECT& other : places)
                    EXPECT_FALSE(IntersectRect(&both, &place, &other));
                places.push_back(place);
                EXPECT_EQ(FontOf(control->Handle()).lfHeight, -MulDiv(8, dpi, 72));
                if (control != &dialog.lstHistory && control != &dialog.txtPreview)
                    ExpectShows(control->Handle(), control->Caption(), false, dpi);
            }
        });
        dialogtest::PressKey(shown, VK_ESCAPE);
    });
    dialog.ShowModal(nullptr);
    ASSERT_TRUE(driver.Join().closedByAct);
}

// The message dialog moved to a monitor at 144 DPI: its icon at the size the
// system gives there and drawn at that size, its text measured again in the
// message font at that scale.
TEST(MessageDlgScale, LaysItselfOutAgainOnADpiChange) {
    const int dpi = 144;
    const std::string text =
        "Tallyvane has been configured on this machine.\r\n\r\nRedirection "
        "to \"c:\\users\\ann\\onedrive\\tallyvane data\\\" has been established.";
    int iconControl = 0, iconLoaded = 0;
    LONG fontHeight = 0;
    dialogtest::DialogDriver driver("Information", [&](HWND dialog) {
        RECT r;
        GetWindowRect(dialog, &r);
        SendMessageA(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
        HWND icon = GetDlgItem(dialog, idMessageIcon);
        GetClientRect(icon, &r);
        iconControl = r.right;
        ICONINFO info{};
        if (GetIconInfo(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)), &info)) {
            BITMAP mask{};
            GetObjectA(info.hbmMask, sizeof mask, &mask);
            iconLoaded = mask.bmWidth;
            DeleteObject(info.hbmMask);
            DeleteObject(info.hbmColor);
        }
        fontHeight = FontOf(GetDlgItem(dialog, idMessageText)).lfHeight;
        ExpectShows(GetDlgItem(dialog, idMessageText), text, false, dpi);
        dialogtest::PressKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(MessageDlg(text, mtInformation, mbOK, 0), mrOk);
    ASSERT_TRUE(driver.Join().found);
    EXPECT_EQ(SystemMetricForDpi(SM_CXICON, dpi), 48);
    EXPECT_EQ(iconControl, 48);
    EXPECT_EQ(iconLoaded, 48);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    EXPECT_EQ(fontHeight, MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi()));
}

} // namespace
