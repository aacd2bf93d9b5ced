// The pure text parts of the file-system helpers: path components, line
// splitting and sizes. No system calls, so they also build natively.
#include "FileSystemText.h"

#include <string>

namespace FileSystem {

std::string ExtractFilePath(const std::string& path) {
    size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t end = text.find('\0');
    if (end == std::string::npos)
        end = text.size();
    size_t start = 0;
    size_t i = 0;
    while (i < end) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text, start, i - start);
            ++i;
            if (c == '\r' && i < end && text[i] == '\n')
                ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < end)
        lines.emplace_back(text, start, end - start);
    return lines;
}

std::string Megabytes(unsigned long long bytes, Rounding rounding) {
    const unsigned long long megabyte = 1048576;
    // Tenths of the remainder, so that no size overflows.
    const unsigned long long rest = bytes % megabyte * 10;
    const unsigned long long added = rounding == Rounding::Up        ? megabyte - 1
                                     : rounding == Rounding::Nearest ? megabyte / 2
                                                                     : 0;
    const unsigned long long tenths = bytes / megabyte * 10 + (rest + added) / megabyte;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string Counted(long long number, const char* one, const char* many) {
    return std::to_string(number) + " " + (number == 1 ? one : many);
}

} // namespace FileSystem
