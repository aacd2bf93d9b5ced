// The account file of the Dropbox client. The input is read twice: as the
// text of an info.json, which may be anything, and as the recipe for a
// document built here whose answer is known: accounts with chosen names and
// entries, written out in one of four layouts (compact or indented, UTF-8 or
// \u escapes).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DropboxInfo.h"
#include "FuzzCheck.h"

using TVNConfigUtil::DropboxInfoMaxBytes;
using TVNConfigUtil::DropboxInfoPaths;

namespace {

// Code point to UTF-8, written out here rather than taken from the parser.
std::string Utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// A valid UTF-8 text from the bytes, three to a character: every plane,
// NUL and the characters that need escapes included, surrogates left out.
std::string TextOf(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
        char32_t c = (static_cast<unsigned char>(bytes[i]) << 16 |
                      static_cast<unsigned char>(bytes[i + 1]) << 8 |
                      static_cast<unsigned char>(bytes[i + 2])) %
                     0x110000;
        text += Utf8(c >= 0xD800 && c < 0xE000 ? c - 0xD800 : c);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Any text: what it names is non-empty and holds no NUL, and blanks
    // after a document change nothing.
    const std::vector<std::string> named = DropboxInfoPaths(input);
    for (const std::string& path : named)
        FUZZ_CHECK(!path.empty() && path.find('\0') == std::string::npos);
    if (input.size() < DropboxInfoMaxBytes - 4)
        FUZZ_CHECK(DropboxInfoPaths(input + " \r\n\t") == named);

    // The recipe: parts split at 0xFF; of each, byte 0 picks the account's
    // name, byte 1 its entry, and the rest is text (the name or the path).
    nlohmann::json document = nlohmann::json::object();
    std::map<std::string, std::string> expected; // account -> path it names
    size_t start = 0;
    while (start < input.size()) {
        size_t end = input.find('\xFF', start);
        end = end == std::string::npos ? input.size() : end;
        const std::string part = input.substr(start, end - start);
        start = end + 1;
        if (part.size() < 2)
            continue;
        const std::string text = TextOf(part.substr(2));
        const unsigned char pick = part[0], entry = part[1];
        const std::string name = pick % 3 == 0 ? "personal" : pick % 3 == 1 ? "business" : text;
        switch (entry % 5) {
        case 0: // the usual entry
            document[name] = {{"path", text}, {"host", 1}};
            expected[name] = text.find('\0') == std::string::npos ? text : "";
            break;
        case 1:
            document[name] = {{"path", part.size()}};
            expected[name] = "";
            break;
        case 2:
            document[name] = text;
            expected[name] = "";
            break;
        case 3:
            document[name] = {{"Path", text}};
            expected[name] = "";
            break;
        default: // the path wrapped in an array
            document[name] = {{"path", nlohmann::json::array({text})}};
            expected[name] = "";
        }
    }
    std::vector<std::string> want;
    for (const char* preferred : {"personal", "business"})
        if (expected.count(preferred) && !expected[preferred].empty())
            want.push_back(expected[preferred]);
    for (const auto& [name, path] : expected)
        if (name != "personal" && name != "business" && !path.empty())
            want.push_back(path);
    const bool ascii = size > 0 && data[0] & 1, indented = size > 0 && data[0] & 2;
    const std::string written = document.dump(indented ? 2 : -1, ' ', ascii);
    FUZZ_CHECK(written.size() > DropboxInfoMaxBytes || DropboxInfoPaths(written) == want);
    return 0;
}
