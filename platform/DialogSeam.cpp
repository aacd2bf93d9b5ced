// The dialog seam, the application identity and the default error handler.
#include "Dialogs.h"

namespace {
DialogSeam* currentSeam = nullptr;
std::string applicationTitle;
HWND applicationWindow = nullptr;
int busyDepth = 0;
} // namespace

DialogSeam& Dialogs() {
    return currentSeam ? *currentSeam : RealDialogs();
}
void SetDialogSeam(DialogSeam* seam) {
    currentSeam = seam;
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) {
    return Dialogs().MessageDlg(text, type, buttons, helpContext);
}

bool RunOpenFileDialog(const OpenFileRequest& request, std::string& fileName) {
    return Dialogs().OpenFile(request, fileName);
}

void SetApplicationTitle(const std::string& title) {
    applicationTitle = title;
}
const std::string& ApplicationTitle() {
    return applicationTitle;
}
void SetApplicationWindow(HWND window) {
    applicationWindow = window;
}
HWND ApplicationWindow() {
    return applicationWindow;
}

std::string ApplicationErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

void ShowApplicationError(const std::string& message) {
    Dialogs().ShowErrorBox(ApplicationTitle(), ApplicationErrorText(message));
}

BusyCursor::BusyCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {
    ++busyDepth;
}

BusyCursor::~BusyCursor() {
    --busyDepth;
    SetCursor(previous_);
}

bool BusyCursor::Active() {
    return busyDepth > 0;
}
