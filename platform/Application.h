// The application's default error handler: what happens to an error that
// escapes an event handler.
#pragma once

#include <string>

#include "Dialogs.h"

// Shows the message of an error that escaped an event handler in the error
// box of the window whose handler it was, with "." appended when its last
// character sorts after "." in byte order.
void ShowApplicationError(const DialogOwner& owner, const std::string& message);
std::string ApplicationErrorText(const std::string& message);
