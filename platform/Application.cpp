// The application's default error handler.
#include "Application.h"

std::string ApplicationErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

void ShowApplicationError(const DialogOwner& owner, const std::string& message) {
    Dialogs().ShowErrorBox(owner, ApplicationErrorText(message));
}

void ReportHandlerError(const DialogOwner& owner, const char* message) noexcept {
    try {
        ShowApplicationError(owner, message);
    } catch (...) {
        // Not even the error box could be shown (no memory left): the
        // handler has ended, and the window goes on.
    }
}
