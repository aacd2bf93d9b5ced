// The application's identity and its default error handler.
#include "Application.h"

#include "Dialogs.h"

namespace {
std::string applicationTitle;
HWND applicationWindow = nullptr;
} // namespace

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
