// Conversions between the ANSI code page the program works in, UTF-16 and
// UTF-8, in one place.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace TextCodes {

// Bytes of a code page (the ANSI one unless named) as UTF-16; empty when
// they are not valid in it and strict is asked for, or cannot be converted.
std::wstring Wide(const std::string& text, UINT codePage = CP_ACP, bool strict = false);

// UTF-16 text in the ANSI code page, exactly: nothing when a character has
// no exact form there. The conversion is asked not to fall back to "?" or a
// look-alike ("a" for "a macron"). Where the ANSI code page is UTF-8 itself,
// that call takes no such request and every character has a form; that
// branch is built from Microsoft's documentation, since Wine here runs code
// page 1252.
std::optional<std::string> ExactAnsi(const std::wstring& text);

// ANSI text as UTF-8.
std::string Utf8FromAnsi(const std::string& text);

} // namespace TextCodes
