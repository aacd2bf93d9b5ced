#include "IniFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "FileSystem.h"
#include "Win32Handles.h"

namespace {

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

// The new text of a settings file, written beside it first so that it takes
// the old file's place in one rename. The temporary file stays on the same
// volume as the target, and it is the one file this program ever deletes:
// when it does not end up in the target's place, it is removed.
class TemporaryFile {
  public:
    // CREATE_NEW makes the name ours alone: a name left behind by an earlier
    // run, or taken by another process at the same moment, is skipped, never
    // reused. The suffix is short so that a target close to the path length
    // limit still gets a temporary name that fits.
    TemporaryFile(const std::string& target, DWORD attributes) {
        for (int n = 1; n <= 999; ++n) {
            std::string candidate = target + "~" + std::to_string(n);
            handle_.reset(CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      attributes, nullptr));
            if (handle_) {
                path_ = candidate;
                return;
            }
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return;
        }
    }
    ~TemporaryFile() {
        handle_.reset();
        if (!path_.empty())
            DeleteFileA(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool Created() const { return handle_.valid(); }

    // All of text, flushed to the disk; false when any byte was not stored.
    bool Write(const std::string& text) {
        const size_t chunk = 1 << 20;
        for (size_t done = 0; done < text.size();) {
            DWORD wanted = static_cast<DWORD>(std::min(chunk, text.size() - done));
            DWORD written = 0;
            if (!WriteFile(handle_.get(), text.data() + done, wanted, &written, nullptr) ||
                written != wanted)
                return false;
            done += written;
        }
        return FlushFileBuffers(handle_.get()) != 0;
    }

    // Puts the file in the target's place. Under Wine ReplaceFileA deletes
    // the target before it moves the replacement in; MoveFileExA is a single
    // rename on both systems.
    bool ReplaceTarget(const std::string& target) {
        handle_.reset();
        if (!MoveFileExA(path_.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return false;
        path_.clear();
        return true;
    }

  private:
    UniqueFileHandle handle_;
    std::string path_;
};

} // namespace

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

int TCustomIniFile::ReadInteger(const std::string& section, const std::string& key,
                                int defaultValue) {
    std::string text = ReadString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    int value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

TMemIniFile::TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName) {
    if (fileName.empty() || !FileSystem::FileExists(fileName))
        return;
    // The text is taken as bytes. A byte-order mark is not skipped, so the
    // header line that carries it is not a header and, with no section before
    // it, is dropped with the lines under it. A NUL byte ends the text. The
    // settings files this store writes hold neither, so both only matter for
    // files written by something else, and such files are read this way.
    bool inSection = false;
    for (std::string& line :
         FileSystem::SplitLines(FileSystem::ReadWholeFile(fileName, fileName))) {
        if (line.empty() || line[0] == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections_.push_back(Section{line.substr(1, line.size() - 2), {}});
            inSection = true;
        } else if (inSection) {
            sections_.back().lines.push_back(std::move(line));
        }
    }
}

TMemIniFile::Section* TMemIniFile::FindSection(const std::string& name) {
    for (Section& section : sections_)
        if (SameTextByLocale(section.name, name))
            return &section;
    return nullptr;
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
    Section* found = FindSection(section);
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

void TMemIniFile::WriteString(const std::string& section, const std::string& key,
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

void TMemIniFile::ReadSectionValues(const std::string& section, TStringList& list) {
    list.Clear();
    if (Section* found = FindSection(section))
        for (const std::string& line : found->lines)
            list.Add(line);
}

void TMemIniFile::EraseSection(const std::string& section) {
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
        if (SameTextByLocale(it->name, section)) {
            sections_.erase(it);
            return;
        }
    }
}

void TMemIniFile::DeleteKey(const std::string& section, const std::string& key) {
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

std::string TMemIniFile::CanonicalText() const {
    std::string text;
    for (const Section& section : sections_) {
        text += "[" + section.name + "]\r\n";
        for (const std::string& line : section.lines)
            text += line + "\r\n";
        text += "\r\n";
    }
    return text;
}

// A failure at any point leaves the old file whole, byte for byte, and the
// store as it was, so UpdateFile may be called again.
void TMemIniFile::UpdateFile() {
    const std::string& name = FileName();
    if (name.empty())
        throw EFCreateError(name);
    const std::string text = CanonicalText();

    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    DWORD existing = GetFileAttributesA(name.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        // Windows refuses to replace a read-only file, but Wine running as
        // root would replace it: refuse it here so that both behave alike.
        if (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
            throw EFCreateError(name);
        // Nobody else may have the file open while it is replaced. An
        // exclusive open fails while any other handle with data access is
        // open, whatever its share mode; the rename alone may succeed on
        // Windows over a handle that allows deleting. The probe is closed
        // again before the rename.
        UniqueFileHandle probe(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe)
            throw EFCreateError(name);
        // The new file keeps the old one's hidden and system marks; it is
        // changed, so it carries the archive mark as every written file does.
        attributes =
            FILE_ATTRIBUTE_ARCHIVE | (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    }

    TemporaryFile temp(name, attributes);
    if (!temp.Created())
        throw EFCreateError(name);
    if (!temp.Write(text))
        throw EWriteError();
    if (!temp.ReplaceTarget(name))
        throw EFCreateError(name);
}
