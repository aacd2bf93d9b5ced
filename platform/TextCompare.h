// The one comparison of names that the settings store and the string list
// use: equal ignoring case by the user's locale. Kept apart so that the pure
// text rules build on their own; the program's definition is CompareStringA
// with LOCALE_USER_DEFAULT and NORM_IGNORECASE (TextCompare.cpp).
#pragma once

#include <string>

bool SameTextByLocale(const std::string& a, const std::string& b);
