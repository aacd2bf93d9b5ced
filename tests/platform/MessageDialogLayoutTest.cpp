#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "MessageDialogLayout.h"
#include "OpenFileDialog.h"

namespace {

std::vector<std::string> Names(const MessageDialogContent& content) {
    std::vector<std::string> names;
    for (const MessageDialogButton& button : content.buttons)
        names.push_back(button.name);
    return names;
}

std::string NameAt(const MessageDialogContent& content, int index) {
    return index < 0 ? "" : content.buttons[index].name;
}

std::vector<RECT> Rects(std::initializer_list<RECT> rects) {
    return rects;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT& r) {
    std::ostringstream text;
    text << '(' << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << ')';
    return text.str();
}

} // namespace

TEST(MessageDialogContent, ButtonsFollowTheTableWhateverTheBitOrder) {
    struct Case {
        TMsgDlgButtons buttons;
        std::vector<std::string> names;
        std::vector<std::string> captions;
        std::vector<int> results;
    } cases[] = {
        {mbOK, {"OK"}, {"OK"}, {mrOk}},
        {mbYesNo, {"Yes", "No"}, {"&Yes", "&No"}, {mrYes, mrNo}},
        {mbCancel | mbNo | mbYes, {"Yes", "No", "Cancel"}, {"&Yes", "&No", "Cancel"}, {6, 7, 2}},
        {mbHelp | mbAbort, {"Abort", "Help"}, {"&Abort", "&Help"}, {mrAbort, mrNone}},
        {0x7FF,
         {"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll",
          "Help"},
         {"&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All", "N&o to All",
          "Yes to &All", "&Help"},
         {6, 7, 1, 2, 3, 4, 5, 8, 9, 10, 0}},
        // Bits beyond the table name no button.
        {0xFFFFF800u | mbRetry, {"Retry"}, {"&Retry"}, {mrRetry}},
        {0, {}, {}, {}},
    };
    for (const Case& c : cases) {
        MessageDialogContent content = DescribeMessageDialog(mtCustom, c.buttons, "");
        std::vector<std::string> captions;
        std::vector<int> results;
        for (const MessageDialogButton& button : content.buttons) {
            captions.push_back(button.caption);
            results.push_back(button.result);
        }
        EXPECT_EQ(Names(content), c.names) << c.buttons;
        EXPECT_EQ(captions, c.captions) << c.buttons;
        EXPECT_EQ(results, c.results) << c.buttons;
    }
}

TEST(MessageDialogContent, ButtonIdsAreDistinctAndClearOfTheDialogCommands) {
    std::set<int> ids;
    for (const MessageDialogButton& button : MessageDialogButtonTable()) {
        EXPECT_NE(button.controlId, IDOK) << button.name;
        EXPECT_NE(button.controlId, IDCANCEL) << button.name;
        EXPECT_NE(button.controlId, idMessageIcon) << button.name;
        EXPECT_NE(button.controlId, idMessageText) << button.name;
        EXPECT_TRUE(ids.insert(button.controlId).second) << button.name;
    }
    EXPECT_EQ(ids.size(), 11u);
}

TEST(MessageDialogContent, DefaultAndEscapeButtons) {
    struct Case {
        TMsgDlgButtons buttons;
        const char* defaultName; // Enter
        const char* escapeName;  // Escape
    } cases[] = {
        {mbOK, "OK", "OK"},
        {mbYesNo, "Yes", "No"},
        {mbYesNoCancel, "Yes", "Cancel"},
        {mbOK | mbCancel, "OK", "Cancel"},
        {mbYes | mbOK, "OK", "OK"},
        {mbAbort | mbRetry | mbIgnore, "Retry", ""},
        {mbRetry | mbCancel, "Retry", "Cancel"},
        {mbNo, "", "No"},
        {mbIgnore | mbHelp, "", ""},
        {0, "", ""},
    };
    for (const Case& c : cases) {
        MessageDialogContent content = DescribeMessageDialog(mtWarning, c.buttons, "");
        EXPECT_EQ(NameAt(content, content.defaultButton), c.defaultName) << c.buttons;
        EXPECT_EQ(NameAt(content, content.escapeButton), c.escapeName) << c.buttons;
    }
}

TEST(MessageDialogContent, TitleAndIconByType) {
    struct Case {
        TMsgDlgType type;
        const char* title;
        LPCSTR icon;
    } cases[] = {
        {mtWarning, "Warning", IDI_EXCLAMATION},
        {mtError, "Error", IDI_HAND},
        {mtInformation, "Information", IDI_ASTERISK},
        {mtConfirmation, "Confirm", IDI_QUESTION},
        {mtCustom, "TVN - Cloud Drive Configuration", nullptr},
    };
    for (const Case& c : cases) {
        MessageDialogContent content =
            DescribeMessageDialog(c.type, mbOK, "TVN - Cloud Drive Configuration");
        EXPECT_EQ(content.title, c.title) << c.type;
        EXPECT_EQ(content.icon, c.icon) << c.type;
    }
}

// The expected geometry is worked out by hand from the dialog-unit rules.
// Font A: average width 6 (312 / 52), height 13: margins 12 x 13, spacing
// 15 x 16, buttons 75 x 23 with 6 between.
TEST(MessageDialogLayout, GeometryFromTheFontAndText) {
    const SIZE fontA{312, 13};
    struct Case {
        const char* what;
        TMsgDlgType type;
        TMsgDlgButtons buttons;
        SIZE letters;
        SIZE text;
        std::vector<int> captions;
        bool rightToLeft;
        SIZE client;
        RECT icon;
        RECT text_;
        std::vector<RECT> buttonRects;
        int iconSize = 32;
    } cases[] = {
        {"icon, text wider than buttons",
         mtConfirmation,
         mbYesNoCancel,
         fontA,
         {200, 26},
         {20, 18, 36},
         false,
         {271, 97},
         {12, 13, 44, 45},
         {59, 13, 259, 39},
         Rects({{17, 61, 92, 84}, {98, 61, 173, 84}, {179, 61, 254, 84}})},
        {"no icon, one button",
         mtCustom,
         mbOK,
         fontA,
         {100, 13},
         {14},
         false,
         {124, 78},
         {0, 0, 0, 0},
         {12, 13, 112, 26},
         Rects({{24, 42, 99, 65}})},
        {"text taller than the icon",
         mtError,
         mbOK,
         fontA,
         {300, 80},
         {14},
         false,
         {371, 145},
         {12, 13, 44, 45},
         {59, 13, 359, 93},
         Rects({{148, 109, 223, 132}})},
        {"a wide caption widens every button",
         mtCustom,
         mbYesNo,
         fontA,
         {10, 13},
         {20, 90},
         false,
         {226, 78},
         {0, 0, 0, 0},
         {12, 13, 22, 26},
         Rects({{12, 42, 110, 65}, {116, 42, 214, 65}})},
        {"no buttons",
         mtWarning,
         0,
         fontA,
         {50, 13},
         {},
         false,
         {121, 97},
         {12, 13, 44, 45},
         {59, 13, 109, 26},
         Rects({})},
        {"right to left mirrors icon and text",
         mtConfirmation,
         mbYesNoCancel,
         fontA,
         {200, 26},
         {20, 18, 36},
         true,
         {271, 97},
         {227, 13, 259, 45},
         {12, 13, 212, 39},
         Rects({{17, 61, 92, 84}, {98, 61, 173, 84}, {179, 61, 254, 84}})},
        // Font B: average width 9 (519 / 52, rounded down), height 19:
        // margins 18 x 19, spacing 23 x 24, buttons 113 x 33 with 9 between.
        {"larger font",
         mtInformation,
         mbYesNo,
         {519, 19},
         {100, 19},
         {30, 25},
         false,
         {271, 127},
         {18, 19, 50, 51},
         {73, 19, 173, 38},
         Rects({{18, 75, 131, 108}, {140, 75, 253, 108}})},
        // At 144 DPI the system's icons are 48 pixels.
        {"the icon takes the size it is loaded at",
         mtError,
         mbOK,
         fontA,
         {200, 26},
         {14},
         false,
         {287, 113},
         {12, 13, 60, 61},
         {75, 13, 275, 39},
         Rects({{106, 77, 181, 100}}),
         48},
    };
    for (const Case& c : cases) {
        MessageDialogContent content = DescribeMessageDialog(c.type, c.buttons, "title");
        MessageDialogMetrics metrics;
        metrics.lettersExtent = c.letters;
        metrics.textExtent = c.text;
        metrics.captionWidths = c.captions;
        metrics.rightToLeft = c.rightToLeft;
        metrics.iconSize = c.iconSize;
        MessageDialogLayout layout = ComputeMessageDialogLayout(content, metrics);
        EXPECT_EQ(layout.client.cx, c.client.cx) << c.what;
        EXPECT_EQ(layout.client.cy, c.client.cy) << c.what;
        EXPECT_TRUE(SameRect(layout.icon, c.icon)) << c.what << " icon " << Show(layout.icon);
        EXPECT_TRUE(SameRect(layout.text, c.text_)) << c.what << " text " << Show(layout.text);
        ASSERT_EQ(layout.buttons.size(), c.buttonRects.size()) << c.what;
        for (size_t i = 0; i < c.buttonRects.size(); ++i)
            EXPECT_TRUE(SameRect(layout.buttons[i], c.buttonRects[i]))
                << c.what << " button " << i << " " << Show(layout.buttons[i]);
    }
    EXPECT_EQ(MessageTextWidth(1280), 640);
}

TEST(OpenFileDialogText, FilterBecomesNulSeparatedWithDoubleNulEnd) {
    using namespace std::string_literals;
    struct Case {
        std::string filter;
        std::string expected;
    } cases[] = {
        {"TVN INF files (tvn.inf)|tvn.inf|Any file (*.*)|*.*",
         "TVN INF files (tvn.inf)\0tvn.inf\0Any file (*.*)\0*.*\0\0"s},
        {"All|*.*", "All\0*.*\0\0"s},
        {"All|*.*|", "All\0*.*\0\0"s},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogFilterText(c.filter), c.expected) << c.filter;
}

TEST(OpenFileDialogText, DefaultExtensionWithoutWildcardOrDot) {
    struct Case {
        const char* given;
        const char* expected;
    } cases[] = {
        {"*.inf", "inf"}, {".inf", "inf"}, {"inf", "inf"},         {"*.*", ""},
        {"*", ""},        {"", ""},        {"*.tar.gz", "tar.gz"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogDefaultExtension(c.given), c.expected) << c.given;
}
