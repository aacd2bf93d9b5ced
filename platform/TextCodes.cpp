#include "TextCodes.h"

#include <climits>

namespace TextCodes {

namespace {

std::string Narrow(const std::wstring& wide, UINT codePage, DWORD flags, BOOL* usedDefault) {
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, usedDefault);
    if (size <= 0)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, wide.data(), length, out.data(), size, nullptr,
                            usedDefault) != size)
        return std::string();
    return out;
}

} // namespace

std::wstring Wide(const std::string& text, UINT codePage, bool strict) {
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), size);
    return wide;
}

std::optional<std::string> ExactAnsi(const std::wstring& text) {
    if (text.empty())
        return std::string();
    if (text.size() > INT_MAX)
        return std::nullopt;
    if (GetACP() == CP_UTF8) {
        std::string out = Narrow(text, CP_UTF8, WC_ERR_INVALID_CHARS, nullptr);
        return out.empty() ? std::nullopt : std::optional<std::string>(out);
    }
    BOOL usedDefault = FALSE;
    std::string out = Narrow(text, CP_ACP, WC_NO_BEST_FIT_CHARS, &usedDefault);
    if (out.empty() || usedDefault)
        return std::nullopt;
    return out;
}

std::string Utf8FromAnsi(const std::string& text) {
    return Narrow(Wide(text), CP_UTF8, 0, nullptr);
}

} // namespace TextCodes
