// The real message dialog, shown in this process and driven from a second
// thread as a user would: keys, the title-bar close button, button clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "Dialogs.h"
#include "InProcessDialog.h"
#include "MessageDialogLayout.h"

namespace {

using namespace dialogtest;

std::vector<HWND> ButtonsLeftToRight(HWND dialog) {
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == "Button")
            buttons.push_back(child);
    std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return buttons;
}

HWND ButtonCaptioned(HWND dialog, const std::string& caption) {
    for (HWND button : ButtonsLeftToRight(dialog))
        if (TextOf(button) == caption)
            return button;
    return nullptr;
}

enum class Step { Escape, Enter, TitleBarClose, Click, ClickStaysOpen };

struct Action {
    Step step;
    std::string caption; // for the clicks
};

// What the driving thread saw while the dialog was up.
struct Seen {
    std::vector<std::string> captions;
    std::string defaultCaption;
    bool defaultStyled = false;
    std::string text;
    bool textNoPrefix = false;
    int iconWidth = 0; // of the icon shown, 0 without one
    bool hasIconControl = false;
    LONG centreOffsetX = 0, centreOffsetY = 0;
    bool buttonsEvenlyCentred = false;
    HWND owner = nullptr;
    bool ownerEnabled = true;
    bool stayedOpen = true; // after ClickStaysOpen steps
};

Seen Observe(HWND dialog) {
    Seen seen;
    std::vector<HWND> buttons = ButtonsLeftToRight(dialog);
    for (HWND button : buttons)
        seen.captions.push_back(TextOf(button));
    LRESULT id = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(id) == DC_HASDEFID) {
        HWND button = GetDlgItem(dialog, LOWORD(id));
        seen.defaultCaption = TextOf(button);
        seen.defaultStyled = (GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    }
    HWND text = GetDlgItem(dialog, idMessageText);
    seen.text = TextOf(text);
    seen.textNoPrefix = (GetWindowLongA(text, GWL_STYLE) & SS_NOPREFIX) != 0;
    if (HWND icon = GetDlgItem(dialog, idMessageIcon)) {
        seen.hasIconControl = true;
        ICONINFO info{};
        if (GetIconInfo(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)), &info)) {
            BITMAP mask{};
            GetObjectA(info.hbmMask, sizeof mask, &mask);
            seen.iconWidth = mask.bmWidth;
            DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
        }
    }
    RECT frame;
    GetWindowRect(dialog, &frame);
    seen.centreOffsetX = (frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2;
    seen.centreOffsetY = (frame.top + frame.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2;
    if (!buttons.empty()) {
        RECT client, first, last;
        GetClientRect(dialog, &client);
        GetWindowRect(buttons.front(), &first);
        GetWindowRect(buttons.back(), &last);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&first), 2);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&last), 2);
        seen.buttonsEvenlyCentred =
            std::abs(first.left - (client.right - last.right)) <= 1 && last.bottom < client.bottom;
    }
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.ownerEnabled = seen.owner ? IsWindowEnabled(seen.owner) != FALSE : true;
    return seen;
}

// Looks at the dialog, then runs the actions on it.
void ObserveAndAct(HWND dialog, const std::vector<Action>& actions, Seen& seen) {
    seen = Observe(dialog);
    for (const Action& action : actions) {
        switch (action.step) {
        case Step::Escape:
            PressKey(dialog, VK_ESCAPE);
            break;
        case Step::Enter:
            PressKey(dialog, VK_RETURN);
            break;
        case Step::TitleBarClose:
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case Step::Click:
            PostMessageA(ButtonCaptioned(dialog, action.caption), BM_CLICK, 0, 0);
            break;
        case Step::ClickStaysOpen:
            // Sent, so the click has run when the call returns.
            SendMessageA(ButtonCaptioned(dialog, action.caption), BM_CLICK, 0, 0);
            seen.stayedOpen = seen.stayedOpen && IsWindowVisible(dialog);
            break;
        }
    }
}

} // namespace

TEST(MessageDlgGui, ShowsTheTableAndAnswersKeysClicksAndClose) {
    const char* appTitle = "Message dialog test application";
    DialogOwnerScope opener(DialogOwner{nullptr, appTitle});
    const std::vector<std::string> all = {"&Yes",       "&No",         "OK",      "Cancel",
                                          "&Abort",     "&Retry",      "&Ignore", "&All",
                                          "N&o to All", "Yes to &All", "&Help"};
    struct Case {
        const char* what;
        TMsgDlgType type;
        TMsgDlgButtons buttons;
        std::vector<Action> actions;
        int result;
        const char* title;
        LPCSTR icon;
        std::vector<std::string> captions;
        const char* defaultCaption;
    } cases[] = {
        {"Escape in Yes/No presses No",
         mtConfirmation,
         mbYesNo,
         {{Step::Escape, ""}},
         mrNo,
         "Confirm",
         IDI_QUESTION,
         {"&Yes", "&No"},
         "&Yes"},
        {"close in Yes/No answers Cancel",
         mtConfirmation,
         mbYesNo,
         {{Step::TitleBarClose, ""}},
         mrCancel,
         "Confirm",
         IDI_QUESTION,
         {"&Yes", "&No"},
         "&Yes"},
        {"close in OK answers Cancel",
         mtError,
         mbOK,
         {{Step::TitleBarClose, ""}},
         mrCancel,
         "Error",
         IDI_HAND,
         {"OK"},
         "OK"},
        {"Enter in Yes/No/Cancel presses Yes",
         mtConfirmation,
         mbYesNoCancel,
         {{Step::Enter, ""}},
         mrYes,
         "Confirm",
         IDI_QUESTION,
         {"&Yes", "&No", "Cancel"},
         "&Yes"},
        {"Escape in Yes/No/Cancel presses Cancel",
         mtConfirmation,
         mbYesNoCancel,
         {{Step::Escape, ""}},
         mrCancel,
         "Confirm",
         IDI_QUESTION,
         {"&Yes", "&No", "Cancel"},
         "&Yes"},
        {"Enter in OK",
         mtInformation,
         mbOK,
         {{Step::Enter, ""}},
         mrOk,
         "Information",
         IDI_ASTERISK,
         {"OK"},
         "OK"},
        {"Escape in OK presses OK",
         mtWarning,
         mbOK,
         {{Step::Escape, ""}},
         mrOk,
         "Warning",
         IDI_EXCLAMATION,
         {"OK"},
         "OK"},
        {"custom takes the application title",
         mtCustom,
         mbOK | mbCancel,
         {{Step::Enter, ""}},
         mrOk,
         appTitle,
         nullptr,
         {"OK", "Cancel"},
         "OK"},
        {"every button, in table order",
         mtConfirmation,
         0x7FF,
         {{Step::Click, "N&o to All"}},
         mrNoToAll,
         "Confirm",
         IDI_QUESTION,
         all,
         "OK"},
        {"Escape without an Escape button does nothing",
         mtWarning,
         mbAbort | mbRetry | mbIgnore,
         {{Step::Escape, ""}, {Step::Click, "&Ignore"}},
         mrIgnore,
         "Warning",
         IDI_EXCLAMATION,
         {"&Abort", "&Retry", "&Ignore"},
         "&Retry"},
        {"Enter without OK or Yes presses Retry",
         mtError,
         mbAbort | mbRetry | mbIgnore,
         {{Step::Enter, ""}},
         mrRetry,
         "Error",
         IDI_HAND,
         {"&Abort", "&Retry", "&Ignore"},
         "&Retry"},
        {"Help does not close",
         mtInformation,
         mbOK | mbHelp,
         {{Step::ClickStaysOpen, "&Help"}, {Step::Click, "OK"}},
         mrOk,
         "Information",
         IDI_ASTERISK,
         {"OK", "&Help"},
         "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = std::string("Message & text for: ") + c.what;
        Seen seen;
        DialogDriver driver(c.title, [&](HWND dialog) { ObserveAndAct(dialog, c.actions, seen); });
        const int result = MessageDlg(text, c.type, c.buttons, 0);
        const DialogDriver::Outcome outcome = driver.Join();
        ASSERT_TRUE(outcome.found);
        EXPECT_TRUE(outcome.closedByAct);
        EXPECT_TRUE(seen.stayedOpen);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(seen.captions, c.captions);
        EXPECT_EQ(seen.defaultCaption, c.defaultCaption);
        EXPECT_TRUE(seen.defaultStyled);
        EXPECT_EQ(seen.text, text);
        EXPECT_TRUE(seen.textNoPrefix);
        EXPECT_EQ(seen.hasIconControl, c.icon != nullptr);
        if (c.icon) {
            // The icon is loaded at the size the screen's DPI asks for.
            EXPECT_EQ(seen.iconWidth, GetSystemMetrics(SM_CXICON));
        }
        EXPECT_LE(std::abs(seen.centreOffsetX), 2);
        EXPECT_LE(std::abs(seen.centreOffsetY), 2);
        EXPECT_TRUE(seen.buttonsEvenlyCentred);
    }
}

// Hidden, as the main window is while its start-up handler runs, so that it
// is not the active window: the dialog is owned by the opener's window, not
// by whichever is active.
TEST(MessageDlgGui, DisablesTheOpenersWindowWhileShown) {
    HWND window = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    DialogOwnerScope opener(DialogOwner{window, ""});

    Seen seen;
    DialogDriver driver("Error", [&](HWND dialog) {
        ObserveAndAct(dialog, {{Step::Enter, ""}}, seen);
    });
    const int result = MessageDlg("owned", mtError, mbOK, 0);
    const DialogDriver::Outcome outcome = driver.Join();

    ASSERT_TRUE(outcome.found);
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(seen.owner, window);
    EXPECT_FALSE(seen.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(window));
    DestroyWindow(window);
}
