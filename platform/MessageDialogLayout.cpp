#include "MessageDialogLayout.h"

#include <algorithm>

namespace {

// Spacing in dialog units: a horizontal unit is a quarter of the average
// character width, a vertical unit an eighth of the character height.
constexpr int HorzMargin = 8;
constexpr int VertMargin = 8;
constexpr int HorzSpacing = 10;
constexpr int VertSpacing = 10;
constexpr int ButtonWidth = 50;
constexpr int ButtonHeight = 14;
constexpr int ButtonSpacing = 4;

// Room around a caption inside its button.
constexpr int CaptionPadding = 8;

int FindButton(const std::vector<MessageDialogButton>& buttons, TMsgDlgButtons bit) {
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].bit == bit)
            return static_cast<int>(i);
    return -1;
}

// The first of the candidates that is shown, or -1.
int FirstPresent(const std::vector<MessageDialogButton>& buttons,
                 std::initializer_list<TMsgDlgButtons> candidates) {
    for (TMsgDlgButtons bit : candidates) {
        int index = FindButton(buttons, bit);
        if (index >= 0)
            return index;
    }
    return -1;
}

RECT MakeRect(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

} // namespace

const std::vector<MessageDialogButton>& MessageDialogButtonTable() {
    static const std::vector<MessageDialogButton> table = [] {
        struct Row {
            const char* name;
            const char* caption;
            int result;
        };
        static const Row rows[] = {
            {"Yes", "&Yes", mrYes},
            {"No", "&No", mrNo},
            {"OK", "OK", mrOk},
            {"Cancel", "Cancel", mrCancel},
            {"Abort", "&Abort", mrAbort},
            {"Retry", "&Retry", mrRetry},
            {"Ignore", "&Ignore", mrIgnore},
            {"All", "&All", mrAll},
            {"NoToAll", "N&o to All", mrNoToAll},
            {"YesToAll", "Yes to &All", mrYesToAll},
            {"Help", "&Help", mrNone},
        };
        std::vector<MessageDialogButton> buttons;
        int row = 0;
        for (const Row& r : rows) {
            buttons.push_back({1u << row, r.name, r.caption, r.result, idFirstMessageButton + row});
            ++row;
        }
        return buttons;
    }();
    return table;
}

MessageDialogContent DescribeMessageDialog(TMsgDlgType type, TMsgDlgButtons buttons,
                                           const std::string& applicationTitle) {
    MessageDialogContent content;
    // Title and icon of each type; a custom dialog has the application's
    // title and no icon.
    struct Look {
        TMsgDlgType type;
        const char* title;
        LPCSTR icon;
    };
    static const Look looks[] = {{mtWarning, "Warning", IDI_EXCLAMATION},
                                 {mtError, "Error", IDI_HAND},
                                 {mtInformation, "Information", IDI_ASTERISK},
                                 {mtConfirmation, "Confirm", IDI_QUESTION}};
    content.title = applicationTitle;
    for (const Look& look : looks)
        if (look.type == type) {
            content.title = look.title;
            content.icon = look.icon;
        }
    for (const MessageDialogButton& button : MessageDialogButtonTable())
        if (buttons & button.bit)
            content.buttons.push_back(button);
    content.defaultButton = FirstPresent(content.buttons, {mbOK, mbYes, mbRetry});
    content.escapeButton = FirstPresent(content.buttons, {mbCancel, mbNo, mbOK});
    return content;
}

int MessageTextWidth(int screenWidth) {
    return screenWidth / 2;
}

MessageDialogLayout ComputeMessageDialogLayout(const MessageDialogContent& content,
                                               const MessageDialogMetrics& metrics) {
    const int averageWidth = metrics.lettersExtent.cx / 52;
    const int averageHeight = metrics.lettersExtent.cy;
    auto horz = [&](int units) { return MulDiv(units, averageWidth, 4); };
    auto vert = [&](int units) { return MulDiv(units, averageHeight, 8); };

    const int horzMargin = horz(HorzMargin);
    const int vertMargin = vert(VertMargin);
    const int horzSpacing = horz(HorzSpacing);
    const int vertSpacing = vert(VertSpacing);
    const int buttonSpacing = horz(ButtonSpacing);
    const int buttonHeight = vert(ButtonHeight);
    int buttonWidth = horz(ButtonWidth);
    for (int captionWidth : metrics.captionWidths)
        buttonWidth = std::max(buttonWidth, captionWidth + CaptionPadding);

    const bool hasIcon = content.icon != nullptr;
    const int iconSize = metrics.iconSize;
    const int iconTextWidth = hasIcon ? iconSize + horzSpacing : 0;
    const int textHeight = metrics.textExtent.cy;
    const int iconTextHeight = hasIcon ? std::max(iconSize, textHeight) : textHeight;

    const int count = static_cast<int>(content.buttons.size());
    const int buttonGroupWidth = count > 0 ? count * buttonWidth + (count - 1) * buttonSpacing : 0;

    MessageDialogLayout layout;
    layout.client.cx =
        std::max(iconTextWidth + static_cast<int>(metrics.textExtent.cx), buttonGroupWidth) +
        2 * horzMargin;
    layout.client.cy = iconTextHeight + buttonHeight + vertSpacing + 2 * vertMargin;

    if (hasIcon)
        layout.icon = MakeRect(horzMargin, vertMargin, iconSize, iconSize);
    layout.text =
        MakeRect(horzMargin + iconTextWidth, vertMargin, metrics.textExtent.cx, textHeight);
    if (metrics.rightToLeft) {
        // Mirror the icon and the text block together so that they keep
        // their order as seen from the reading direction.
        auto mirror = [&](RECT& r) {
            if (r.right == r.left)
                return;
            const LONG width = r.right - r.left;
            r.left = layout.client.cx - r.right;
            r.right = r.left + width;
        };
        mirror(layout.icon);
        mirror(layout.text);
    }

    int x = (layout.client.cx - buttonGroupWidth) / 2;
    const int y = iconTextHeight + vertMargin + vertSpacing;
    for (int i = 0; i < count; ++i) {
        layout.buttons.push_back(MakeRect(x, y, buttonWidth, buttonHeight));
        x += buttonWidth + buttonSpacing;
    }
    return layout;
}
