// What the message dialog shows and where, worked out without a window so
// that the rules can be checked on their own: buttons and their order,
// captions and results, the default and Escape buttons, title and icon by
// type, and the geometry from the font's measurements.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Dialogs.h"

// One row of the button table.
struct MessageDialogButton {
    TMsgDlgButtons bit = 0;
    const char* name = "";
    const char* caption = "";
    int result = mrNone;
    int controlId = 0;
};

// Control IDs of the dialog's children, clear of IDOK/IDCANCEL so that the
// Escape key (which the dialog manager reports as IDCANCEL) is told apart
// from a button.
constexpr int idMessageIcon = 100;
constexpr int idMessageText = 101;
constexpr int idFirstMessageButton = 110; // + the button's row in the table

// The eleven rows in table order.
const std::vector<MessageDialogButton>& MessageDialogButtonTable();

struct MessageDialogContent {
    std::string title;
    LPCSTR icon = nullptr;                    // a system icon (IDI_*), or none
    std::vector<MessageDialogButton> buttons; // in table order
    int defaultButton = -1;                   // index into buttons answering Enter, or -1
    int escapeButton = -1;                    // index into buttons answering Escape, or -1
};

// Title, icon and buttons for a dialog type and button set. Bits beyond the
// table are ignored. applicationTitle is the custom type's title.
MessageDialogContent DescribeMessageDialog(TMsgDlgType type, TMsgDlgButtons buttons,
                                           const std::string& applicationTitle);

// The result the dialog returns when its title-bar close button is used.
constexpr int CloseButtonResult = mrCancel;

// What the layout needs to know about the font and the text, in pixels.
struct MessageDialogMetrics {
    SIZE lettersExtent{};           // extent of the 52 letters "A".."Z" "a".."z" on one line
    SIZE textExtent{};              // the message laid out word-wrapped in MessageTextWidth()
    std::vector<int> captionWidths; // one per button shown, same order
    int iconSize = 32;              // the icon's width and height as loaded (SM_CXICON)
    bool rightToLeft = false;
};

struct MessageDialogLayout {
    SIZE client{};
    RECT icon{}; // empty when the type has no icon
    RECT text{};
    std::vector<RECT> buttons; // same order as the content's buttons
};

// The width of the rectangle the message text is wrapped in.
int MessageTextWidth(int screenWidth);

MessageDialogLayout ComputeMessageDialogLayout(const MessageDialogContent& content,
                                               const MessageDialogMetrics& metrics);
