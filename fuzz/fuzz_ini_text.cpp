// Settings-file text. The input is a file's bytes; after its first NUL (where
// the text ends) follow store operations, one a line: "W", "D" or "E", then
// section, key and value separated by tabs.
//
// What holds for every text:
//  - SplitLines agrees with a reference: cut at the first NUL, CR LF and then
//    CR read as LF, split at LF, no empty line after a final break.
//  - The store keeps only what printing gives back: names and lines hold no
//    CR, LF or NUL; no line is empty, starts with ";" or has the form of a
//    header ("[" first, "]" last, two bytes or more). Section names may be
//    empty and may hold "[" and "]".
//  - Line ends only separate lines: reading every CR as LF gives the same
//    store, and so does cutting the text at its first NUL.
//  - The print is the mark (exactly when the text began with one), then lines
//    each closed by CR LF: per section its header, its lines and one empty
//    line. Parsing the print gives the same store; printing that, the same bytes.
// What the operations keep:
//  - WriteString: the key then reads back as the value. The round trip holds
//    when the line could have come from a file: no CR, LF or NUL, a key that
//    neither starts with ";" nor holds "=" (its name would end there), and not
//    a key starting "[" with a value ending "]" (that line reads as a header).
//  - DeleteKey drops one line exactly when the key was there; EraseSection
//    drops one section exactly when it was there.
#include <cstdint>
#include <string>
#include <vector>

#include "FileSystemText.h"
#include "FuzzCheck.h"
#include "IniText.h"

namespace {

bool SameStore(const TIniText& a, const TIniText& b) {
    if (a.HasByteOrderMark() != b.HasByteOrderMark() || a.Sections().size() != b.Sections().size())
        return false;
    for (size_t i = 0; i < a.Sections().size(); ++i)
        if (a.Sections()[i].name != b.Sections()[i].name ||
            a.Sections()[i].lines != b.Sections()[i].lines)
            return false;
    return true;
}

bool Printable(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

void CheckStore(const TIniText& store) {
    size_t lineCount = 0;
    for (const TIniText::Section& section : store.Sections()) {
        FUZZ_CHECK(Printable(section.name));
        for (const std::string& line : section.lines) {
            FUZZ_CHECK(Printable(line) && !line.empty() && line[0] != ';');
            FUZZ_CHECK(!(line.size() >= 2 && line.front() == '[' && line.back() == ']'));
        }
        lineCount += section.lines.size() + 2;
    }
    const std::string text = store.Print();
    const TIniText again = TIniText::Parse(text);
    FUZZ_CHECK(SameStore(again, store));
    FUZZ_CHECK(again.Print() == text);

    size_t pos = store.HasByteOrderMark() ? 3 : 0;
    FUZZ_CHECK(text.compare(0, pos, "\xEF\xBB\xBF", pos) == 0);
    for (; pos < text.size(); --lineCount) {
        const size_t end = text.find_first_of("\r\n", pos);
        FUZZ_CHECK(end != std::string::npos && text.compare(end, 2, "\r\n") == 0);
        pos = end + 2;
    }
    FUZZ_CHECK(lineCount == 0);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

std::vector<std::string> ReferenceLines(const std::string& text) {
    std::string unified;
    for (size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        unified.push_back(text[i] == '\r' ? '\n' : text[i]);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    std::vector<std::string> lines = Split(unified, '\n');
    if (lines.back().empty())
        lines.pop_back();
    return lines;
}

void Apply(TIniText& store, char op, const std::string& section, const std::string& key,
           const std::string& value) {
    const std::vector<std::string>* lines = store.SectionLines(section);
    const size_t linesBefore = lines ? lines->size() : 0;
    const size_t sectionsBefore = store.Sections().size();
    const bool hasKey = store.ReadString(section, key, "a") == store.ReadString(section, key, "b");
    if (op == 'W') {
        if (!Printable(section + key + value) || key.find('=') != std::string::npos ||
            key.starts_with(';') || (key.starts_with('[') && value.ends_with(']')))
            return;
        store.WriteString(section, key, value);
        FUZZ_CHECK(store.ReadString(section, key, value + "?") == value);
    } else if (op == 'D') {
        store.DeleteKey(section, key);
        lines = store.SectionLines(section);
        FUZZ_CHECK((lines ? lines->size() : 0) + hasKey == linesBefore);
    } else if (op == 'E') {
        store.EraseSection(section);
        FUZZ_CHECK(store.Sections().size() + (lines != nullptr) == sectionsBefore);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(FileSystem::SplitLines(input) == ReferenceLines(input));
    TIniText store = TIniText::Parse(input);
    FUZZ_CHECK(store.HasByteOrderMark() == input.starts_with("\xEF\xBB\xBF"));
    CheckStore(store);

    std::string linefeeds = input;
    for (char& c : linefeeds)
        c = c == '\r' ? '\n' : c;
    FUZZ_CHECK(SameStore(TIniText::Parse(linefeeds), store));

    const size_t end = input.find('\0');
    if (end == std::string::npos)
        return 0;
    FUZZ_CHECK(SameStore(TIniText::Parse(input.substr(0, end)), store));
    for (const std::string& record : Split(input.substr(end + 1), '\n')) {
        if (record.empty())
            continue;
        std::vector<std::string> fields = Split(record.substr(1), '\t');
        fields.resize(3);
        Apply(store, record[0], fields[0], fields[1], fields[2]);
    }
    CheckStore(store);
    return 0;
}
