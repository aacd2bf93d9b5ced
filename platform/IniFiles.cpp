#include "IniFiles.h"

#include <windows.h>

#include <algorithm>

#include "DiskChanges.h"
#include "FileSystem.h"
#include "Win32Handles.h"

namespace {

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
            DiskChanges::BeforeChange(candidate);
            DiskChanges::RetryWhileShared([&] {
                handle_.reset(CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          attributes, nullptr));
                return handle_.valid();
            });
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
        DiskChanges::BeforeChange(target);
        if (!DiskChanges::RetryWhileShared([&] {
                return MoveFileExA(path_.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            }))
            return false;
        path_.clear();
        return true;
    }

  private:
    UniqueFileHandle handle_;
    std::string path_;
};

} // namespace

int TCustomIniFile::ReadInteger(const std::string& section, const std::string& key,
                                int defaultValue) {
    return IniValueToInt(ReadString(section, key, ""), defaultValue);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

TMemIniFile::TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName) {
    if (fileName.empty() || !FileSystem::FileExists(fileName))
        return;
    const std::string bytes = FileSystem::ReadWholeFile(fileName, fileName);
    if (bytes.find('\0') != std::string::npos)
        throw EFOpenError(fileName);
    text_ = TIniText::Parse(bytes);
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
    return text_.ReadString(section, key, defaultValue);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    text_.WriteString(section, key, value);
}

void TMemIniFile::ReadSectionValues(const std::string& section, TStringList& list) {
    list.Clear();
    if (const std::vector<std::string>* lines = text_.SectionLines(section))
        for (const std::string& line : *lines)
            list.Add(line);
}

void TMemIniFile::EraseSection(const std::string& section) {
    text_.EraseSection(section);
}

void TMemIniFile::DeleteKey(const std::string& section, const std::string& key) {
    text_.DeleteKey(section, key);
}

std::string TMemIniFile::CanonicalText() const {
    return text_.Print();
}

bool TMemIniFile::CanReplace(const std::string& fileName) {
    const DWORD existing = GetFileAttributesA(fileName.c_str());
    if (existing == INVALID_FILE_ATTRIBUTES)
        return true;
    // Windows refuses to replace a read-only file, but Wine running as root
    // would replace it: refuse it here so that both behave alike.
    if (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return false;
    // Nobody else may have the file open while it is replaced. An exclusive
    // open fails while any other handle with data access is open, whatever
    // its share mode; the rename alone may succeed on Windows over a handle
    // that allows deleting. The probe is closed again at once.
    return DiskChanges::RetryWhileShared([&] {
        return UniqueFileHandle(CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
            .valid();
    });
}

// A failure at any point leaves the old file whole, byte for byte, and the
// store as it was, so UpdateFile may be called again.
void TMemIniFile::UpdateFile() {
    const std::string& name = FileName();
    if (name.empty())
        throw EFCreateError(name);
    const std::string text = CanonicalText();

    if (!CanReplace(name))
        throw EFCreateError(name);
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    const DWORD existing = GetFileAttributesA(name.c_str());
    // The new file keeps the old one's hidden and system marks; it is
    // changed, so it carries the archive mark as every written file does.
    if (existing != INVALID_FILE_ATTRIBUTES)
        attributes =
            FILE_ATTRIBUTE_ARCHIVE | (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

    TemporaryFile temp(name, attributes);
    if (!temp.Created())
        throw EFCreateError(name);
    if (!temp.Write(text))
        throw EWriteError();
    if (!temp.ReplaceTarget(name))
        throw EFCreateError(name);
}
