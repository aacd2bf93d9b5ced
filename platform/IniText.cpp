#include "IniText.h"

#include <cstdint>

#include "FileSystemText.h"
#include "TextCompare.h"

namespace {

const char ByteOrderMark[] = "\xEF\xBB\xBF";
const size_t ByteOrderMarkLength = 3;

// The name of a key line: the text before its first "=". False for a line
// without "=", which belongs to its section but never answers a key.
bool KeyNameOf(const std::string& line, std::string& name) {
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    name = line.substr(0, equals);
    return true;
}

bool IsKeyLine(const std::string& line, const std::string& key) {
    std::string name;
    return KeyNameOf(line, name) && SameTextByLocale(name, key);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

TIniText TIniText::Parse(const std::string& text) {
    TIniText result;
    size_t start = 0;
    if (text.compare(0, ByteOrderMarkLength, ByteOrderMark) == 0) {
        result.byteOrderMark_ = true;
        start = ByteOrderMarkLength;
    }
    bool inSection = false;
    for (std::string& line : FileSystem::SplitLines(text.substr(start))) {
        if (line.empty() || line[0] == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            result.sections_.push_back(Section{line.substr(1, line.size() - 2), {}});
            inSection = true;
        } else if (inSection) {
            result.sections_.back().lines.push_back(std::move(line));
        }
    }
    return result;
}

std::string TIniText::Print() const {
    std::string text = byteOrderMark_ ? ByteOrderMark : "";
    for (const Section& section : sections_) {
        text += "[" + section.name + "]\r\n";
        for (const std::string& line : section.lines)
            text += line + "\r\n";
        text += "\r\n";
    }
    return text;
}

const TIniText::Section* TIniText::FindSection(const std::string& name) const {
    for (const Section& section : sections_)
        if (SameTextByLocale(section.name, name))
            return &section;
    return nullptr;
}

TIniText::Section* TIniText::FindSection(const std::string& name) {
    return const_cast<Section*>(static_cast<const TIniText*>(this)->FindSection(name));
}

std::string TIniText::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    const Section* found = FindSection(section);
    if (!found)
        return defaultValue;
    for (const std::string& line : found->lines)
        // The value starts after the line's own first "=", not after as many
        // characters as the requested key has: the locale comparison finds
        // some names of different lengths equal (a sharp s and "ss").
        if (IsKeyLine(line, key))
            return line.substr(line.find('=') + 1);
    return defaultValue;
}

void TIniText::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    Section* found = FindSection(section);
    if (!found) {
        sections_.push_back(Section{section, {}});
        found = &sections_.back();
    }
    std::string line = key + "=" + value;
    for (std::string& existing : found->lines) {
        if (IsKeyLine(existing, key)) {
            existing = std::move(line);
            return;
        }
    }
    found->lines.push_back(std::move(line));
}

void TIniText::DeleteKey(const std::string& section, const std::string& key) {
    Section* found = FindSection(section);
    if (!found)
        return;
    for (auto it = found->lines.begin(); it != found->lines.end(); ++it) {
        if (IsKeyLine(*it, key)) {
            found->lines.erase(it);
            return;
        }
    }
}

void TIniText::EraseSection(const std::string& section) {
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
        if (SameTextByLocale(it->name, section)) {
            sections_.erase(it);
            return;
        }
    }
}

const std::vector<std::string>* TIniText::SectionLines(const std::string& section) const {
    const Section* found = FindSection(section);
    return found ? &found->lines : nullptr;
}

bool TryStrToInt(const std::string& text, int& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return false;

    const char first = text[i];
    if (first == '$' || first == 'x' || first == 'X' ||
        (first == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))) {
        i += first == '0' ? 2 : 1;
        if (i == text.size())
            return false;
        std::uint64_t result = 0;
        for (; i < text.size(); ++i) {
            int digit = HexDigitValue(text[i]);
            if (digit < 0)
                return false;
            result = result * 16 + static_cast<unsigned>(digit);
            if (result > 0xFFFFFFFFu)
                return false;
        }
        // Eight hexadecimal digits are a 32-bit pattern: $FFFFFFFF is -1.
        value = static_cast<int>(static_cast<std::uint32_t>(result));
        return true;
    }

    bool negative = false;
    if (first == '+' || first == '-') {
        negative = first == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return false;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

int IniValueToInt(const std::string& value, int defaultValue) {
    std::string text = value;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    int result = 0;
    return TryStrToInt(text, result) ? result : defaultValue;
}
