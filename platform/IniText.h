// The text form of a settings file, held in memory: an ordered list of
// sections, each an ordered list of lines, parsed from and printed to bytes.
// Pure text rules with no file access; TMemIniFile adds the file.
#pragma once

#include <string>
#include <vector>

class TIniText {
  public:
    struct Section {
        std::string name;
        std::vector<std::string> lines;
    };

    // Splits text at CR, LF or CR LF (a NUL ends it), skips empty lines,
    // comments (";" first) and every line before the first "[name]" header,
    // and keeps every other line as it is. A UTF-8 byte-order mark at the
    // start is set aside, so the header after it is recognised, and printed
    // again in front of the text.
    static TIniText Parse(const std::string& text);

    // The canonical text: for each section its "[name]" line, its lines and
    // one empty line, each followed by CR LF. Empty for no sections.
    std::string Print() const;

    // Look-ups take the first section, and in it the first key line, whose
    // name equals the requested one ignoring case by the user's locale.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void DeleteKey(const std::string& section, const std::string& key);
    void EraseSection(const std::string& section);
    // The lines of the first section of that name, or null.
    const std::vector<std::string>* SectionLines(const std::string& section) const;

    const std::vector<Section>& Sections() const { return sections_; }
    bool HasByteOrderMark() const { return byteOrderMark_; }

  private:
    const Section* FindSection(const std::string& name) const;
    Section* FindSection(const std::string& name);

    std::vector<Section> sections_;
    bool byteOrderMark_ = false;
};

// The number rules of ReadInteger: optional leading spaces, then a signed
// decimal in 32-bit range or an unsigned hexadecimal ("$", "x", "X", "0x",
// "0X" prefix, at most 8 significant digits), and nothing after it.
bool TryStrToInt(const std::string& text, int& value);

// A stored value read as an integer: "0x" or "0X" in front of a longer text
// becomes "$", then the number rules; defaultValue when they fail.
int IniValueToInt(const std::string& value, int defaultValue);
