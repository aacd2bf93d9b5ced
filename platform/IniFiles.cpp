#include "IniFiles.h"

#include <windows.h>

#include <algorithm>

#include "DiskChanges.h"
#include "FileSystem.h"
#include "Win32Handles.h"

int TCustomIniFile::ReadInteger(const std::string& section, const std::string& key,
                                int defaultValue) {
    return IniValueToInt(ReadString(section, key, ""), defaultValue);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

TMemIniFile::TMemIniFile(const std::string& fileName) : TCustomIniFile(fileName) {
    Load();
}

// The state is taken before and after the read: a file written meanwhile is
// read again, so that the store holds one version of it and knows which.
void TMemIniFile::Load() {
    loadedFrom_ = FileName().empty() ? std::wstring() : DiskChanges::WidePath(FileName());
    for (int attempt = 0;; ++attempt) {
        DiskChanges::FileState before, after;
        if (loadedFrom_.empty() || !DiskChanges::StateOf(loadedFrom_, before))
            before = DiskChanges::FileState{};
        text_ = TIniText();
        if (FileName().empty() || !FileSystem::FileExists(FileName())) {
            loaded_ = DiskChanges::FileState{};
            return;
        }
        const std::string bytes = FileSystem::ReadWholeFile(FileName(), FileName());
        if (bytes.find('\0') != std::string::npos)
            throw EFOpenError(FileName());
        text_ = TIniText::Parse(bytes);
        if (!DiskChanges::StateOf(loadedFrom_, after) || (after == before && after.exists) ||
            attempt == 4) {
            loaded_ = after;
            return;
        }
    }
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
    return text_.ReadString(section, key, defaultValue);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    text_.WriteString(section, key, value);
    edits_.push_back({Edit::Write, section, key, value});
}

void TMemIniFile::ReadSectionValues(const std::string& section, TStringList& list) {
    list.Clear();
    if (const std::vector<std::string>* lines = text_.SectionLines(section))
        for (const std::string& line : *lines)
            list.Add(line);
}

void TMemIniFile::EraseSection(const std::string& section) {
    text_.EraseSection(section);
    edits_.push_back({Edit::Erase, section, "", ""});
}

void TMemIniFile::DeleteKey(const std::string& section, const std::string& key) {
    text_.DeleteKey(section, key);
    edits_.push_back({Edit::Delete, section, key, ""});
}

void TMemIniFile::Replay() {
    for (const Edit& edit : edits_)
        switch (edit.kind) {
        case Edit::Write:
            text_.WriteString(edit.section, edit.key, edit.value);
            break;
        case Edit::Erase:
            text_.EraseSection(edit.section);
            break;
        case Edit::Delete:
            text_.DeleteKey(edit.section, edit.key);
            break;
        }
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
// store as it was, so UpdateFile may be called again. Another program (the
// sync client, Tallyvane) may write the file after it was read: the new text
// takes the file's place only while the file is as read, and otherwise the
// file is read again and this store's changes made to that text instead, so
// that the other program's change is kept.
void TMemIniFile::UpdateFile() {
    const std::string& name = FileName();
    if (name.empty())
        throw EFCreateError(name);
    const std::wstring wide = DiskChanges::WidePath(name);
    for (int attempt = 0;; ++attempt) {
        if (!CanReplace(name) || wide.empty())
            throw EFCreateError(name);
        DWORD attributes = FILE_ATTRIBUTE_NORMAL;
        const DWORD existing = GetFileAttributesA(name.c_str());
        // The new file keeps the old one's hidden and system marks; it is
        // changed, so it carries the archive mark as every written file does.
        if (existing != INVALID_FILE_ATTRIBUTES)
            attributes = FILE_ATTRIBUTE_ARCHIVE |
                         (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        // A relative name may now lead to another file than the one read: that
        // one was never seen, so it is expected not to be there.
        const DiskChanges::FileState expected =
            wide == loadedFrom_ ? loaded_ : DiskChanges::FileState{};
        if (DiskChanges::WriteWhole(wide, CanonicalText(), attributes, &expected)) {
            loadedFrom_ = wide;
            DiskChanges::StateOf(wide, loaded_);
            return;
        }
        const DWORD error = GetLastError();
        if (error == DiskChanges::TargetChanged && attempt < 4) {
            Load();
            Replay();
            continue;
        }
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
            error == ERROR_WRITE_FAULT)
            throw EWriteError();
        throw EFCreateError(name);
    }
}
