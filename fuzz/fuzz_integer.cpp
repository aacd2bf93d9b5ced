// TryStrToInt and IniValueToInt against the independent reference of the
// number rules, on arbitrary texts; and every 32-bit value written in each
// accepted form reads back as itself.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "IniText.h"
#include "ReferenceNumber.h"

namespace {

std::string Format(const char* format, long long number) {
    char text[64];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    int expected = 0;
    const bool valid = ReferenceStrToInt(text, expected);
    int actual = 0;
    FUZZ_CHECK(TryStrToInt(text, actual) == valid);
    FUZZ_CHECK(!valid || actual == expected);

    // A stored value: "0x"/"0X" in front of a longer text becomes "$" first;
    // the default stands for every failure.
    std::string stored = text;
    if (stored.size() > 2 && stored[0] == '0' && (stored[1] == 'x' || stored[1] == 'X'))
        stored.replace(0, 2, "$");
    int storedValue = 0;
    const bool storedValid = ReferenceStrToInt(stored, storedValue);
    for (int fallback : {0, -1, 1000})
        FUZZ_CHECK(IniValueToInt(text, fallback) == (storedValid ? storedValue : fallback));

    if (size < 4)
        return 0;
    std::int32_t number = 0;
    std::memcpy(&number, data, sizeof number);
    const long long bits = static_cast<std::uint32_t>(number);
    const std::string forms[] = {
        Format("%lld", number),
        Format("   %lld", number),
        Format("$%llX", bits),
        Format("0x%08llx", bits),
        Format("X%llx", bits),
        Format("x%llX", bits),
        Format("0X%llx", bits),
        Format("$%012llx", bits),
        number >= 0 ? Format("+%lld", number) : Format("-%010lld", -static_cast<long long>(number)),
    };
    for (const std::string& form : forms) {
        int read = ~number;
        FUZZ_CHECK(TryStrToInt(form, read) && read == number);
        FUZZ_CHECK(IniValueToInt(form, ~number) == number);
    }
    return 0;
}
