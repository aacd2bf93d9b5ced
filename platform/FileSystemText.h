// The pure text parts of the file-system helpers: path components, line
// splitting and sizes. No system calls, so they also build natively.
#pragma once

#include <string>
#include <vector>

namespace FileSystem {

// The folder part of a path: everything before the last "\" or ":", with
// the "\" or ":" kept (c:\a\b.txt -> c:\a\, c:b.txt -> c:). Empty when none.
std::string ExtractFilePath(const std::string& path);

// The last component of a path: the part after the last "\" or ":".
std::string ExtractFileName(const std::string& path);

// Splits text into lines: a line ends at CR, at LF, or at CR LF (one end);
// LF CR is two ends. A NUL byte ends the text. A line break at the very end
// adds no empty line; a last line without a break still counts.
std::vector<std::string> SplitLines(const std::string& text);

// How a size is rounded to tenths of a megabyte.
enum class Rounding { Nearest, Up, Down };

// A size in megabytes of 1,048,576 bytes with one decimal, without the unit:
// 10,485,760 bytes is "10.0". Every figure the program shows is made here.
std::string Megabytes(unsigned long long bytes, Rounding rounding = Rounding::Nearest);

// A count with its noun: "1 record", "3 records".
std::string Counted(long long number, const char* one, const char* many);

} // namespace FileSystem
