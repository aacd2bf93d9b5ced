// The application's identity and its default error handler: the title its
// dialogs carry, the main window that owns them, and what happens to an error
// that escapes an event handler.
#pragma once

#include <windows.h>

#include <string>

// The application title ("TVN - Cloud Drive Configuration" once set) and the
// main window, which owns every dialog.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();
void SetApplicationWindow(HWND window);
HWND ApplicationWindow();

// The application's default error handler: shows the message of an error that
// escaped an event handler, with "." appended when its last character sorts
// after "." in byte order.
void ShowApplicationError(const std::string& message);
std::string ApplicationErrorText(const std::string& message);
