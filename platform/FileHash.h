// SHA-256 of a file's bytes or of a text, by the system's own cryptography
// (CNG), as lower-case hex: what a run left in a file, so that a later
// restore can tell whether the file still holds it.
#pragma once

#include <string>

namespace FileHash {

// Empty when the file cannot be read or CNG fails. The file's size and
// last-write time (FILETIME as one number) as read, if asked.
std::string Sha256OfFile(const std::wstring& path, unsigned long long* bytes = nullptr,
                         unsigned long long* written = nullptr);
std::string Sha256OfText(const std::string& text);

} // namespace FileHash
