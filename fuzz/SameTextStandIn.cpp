// The native stand-in for the locale comparison of names (the program's own
// definition calls CompareStringA and is not built here): equal ignoring the
// case of ASCII letters; every other byte compares as itself.
#include "TextCompare.h"

namespace {

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool SameTextByLocale(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}
