// An independent reading of the settings store's number rules, for checking
// TryStrToInt: the text is classified and its digits validated first, then
// converted with std::from_chars and range-checked.
//   optional leading spaces (only ' ');
//   decimal: optional "+" or "-" directly before one or more digits, within
//            -2147483648..2147483647;
//   hexadecimal: no sign, "$", "x", "X", "0x" or "0X", then one or more hex
//            digits worth at most 0xFFFFFFFF, read as a signed 32-bit pattern;
//   nothing after the digits.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

inline bool ReferenceStrToInt(std::string_view text, int& value) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return false;
    text.remove_prefix(start);

    const bool hex = text.starts_with("0x") || text.starts_with("0X") || text[0] == '$' ||
                     text[0] == 'x' || text[0] == 'X';
    bool negative = false;
    if (hex)
        text.remove_prefix(text[0] == '0' ? 2 : 1);
    else if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const char* digits = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (text.empty() || text.find_first_not_of(digits) != std::string_view::npos)
        return false;

    std::uint64_t number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number, hex ? 16 : 10);
    if (error != std::errc() || stop != end)
        return false; // out of range even for 64 bits
    if (hex) {
        if (number > 0xFFFFFFFFu)
            return false;
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
        return true;
    }
    if (number > (negative ? 2147483648u : 2147483647u))
        return false;
    const std::int64_t signedNumber = static_cast<std::int64_t>(number);
    value = static_cast<int>(negative ? -signedNumber : signedNumber);
    return true;
}
