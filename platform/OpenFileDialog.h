// The system open-file dialog, and how an open-file request is handed to it.
#pragma once

#include <string>

#include "Dialogs.h"

// The filter as the system dialog wants it: "|" between descriptions and
// patterns becomes a NUL, and the list ends with two NULs. The returned
// string holds the embedded NULs; use data().
std::string DialogFilterText(const std::string& filter);

// The default extension as the system dialog wants it: without the leading
// "*." or ".", and none at all when what is left still holds a wildcard. A
// pattern such as "*.inf" would otherwise be appended literally, turning a
// typed "tvn" into "tvn.*.inf".
std::string DialogDefaultExtension(const std::string& defaultExt);

// Room for the chosen file name, well beyond what the ANSI file calls accept.
constexpr unsigned OpenFileNameBufferSize = 1024;

// Shows the system open-file dialog; true and the chosen name when the user
// picked a file.
bool ShowOpenFileDialog(const OpenFileRequest& request, std::string& fileName);
