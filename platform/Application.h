// The application's default error handler: what happens to an error that
// escapes an event handler.
#pragma once

#include <exception>
#include <string>

#include "Dialogs.h"

// Shows the message of an error that escaped an event handler in the error
// box of the window whose handler it was, with "." appended when its last
// character sorts after "." in byte order.
void ShowApplicationError(const DialogOwner& owner, const std::string& message);
std::string ApplicationErrorText(const std::string& message);

// Shows an error that escaped a handler; never throws.
void ReportHandlerError(const DialogOwner& owner, const char* message) noexcept;

// Runs an event handler of a window as its message handling does: the
// dialogs it shows, the engine's too, are opened by owner; an error that
// escapes it ends only that handler and goes to the application's error
// handler.
template <typename Handler>
void RunEventHandler(const DialogOwner& owner, Handler&& handler) noexcept {
    try {
        DialogOwnerScope opener(owner);
        handler();
    } catch (const std::exception& error) {
        ReportHandlerError(owner, error.what());
    } catch (...) {
        ReportHandlerError(owner, "Unexpected error");
    }
}
