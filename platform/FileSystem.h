// Thin helpers over the ANSI file-system calls. Failures are values.
#pragma once

#include <string>
#include <vector>

namespace FileSystem {

// GetFullPathNameA into a 260-character buffer. Empty when the call fails or
// the full path would not fit (the ANSI file calls refuse such paths anyway).
std::string ExpandFullPath(const std::string& path);

// True when FindFirstFileA finds the exact name and it is not a folder.
bool FileExists(const std::string& path);

// True when GetFileAttributesA succeeds and carries the folder attribute.
bool DirectoryExists(const std::string& path);

// Creates a folder and every missing folder above it. One trailing backslash
// is ignored; a drive root ("c:"), an existing folder, or a path whose parent
// part is itself counts as done. False for an empty path or any failed step.
bool ForceDirectories(const std::string& path);

// The folder part of a path: everything before the last "\" or ":", with
// the "\" or ":" kept (c:\a\b.txt -> c:\a\, c:b.txt -> c:). Empty when none.
std::string ExtractFilePath(const std::string& path);

// The last component of a path: the part after the last "\" or ":".
std::string ExtractFileName(const std::string& path);

// Reads a whole file, opened for reading with only readers allowed to share
// it. Throws EFOpenError(errorName) when the file cannot be opened or read.
std::string ReadWholeFile(const std::string& path, const std::string& errorName);

// Splits text into lines: a line ends at CR, at LF, or at CR LF (one end);
// LF CR is two ends. A NUL byte ends the text. A line break at the very end
// adds no empty line; a last line without a break still counts.
std::vector<std::string> SplitLines(const std::string& text);

} // namespace FileSystem
