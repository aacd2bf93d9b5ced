// The in-memory settings store: one INI file read whole at creation, changed
// in memory, written back whole by UpdateFile.
#pragma once

#include <string>
#include <vector>

#include "DiskChanges.h"
#include "FileErrors.h"
#include "IniText.h"
#include "StringList.h"

class TCustomIniFile {
  public:
    explicit TCustomIniFile(const std::string& fileName) : fileName_(fileName) {}
    virtual ~TCustomIniFile() = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // The value as a signed 32-bit number, or defaultValue when it is not one.
    virtual int ReadInteger(const std::string& section, const std::string& key, int defaultValue);
    virtual void WriteInteger(const std::string& section, const std::string& key, int value);
    virtual void ReadSectionValues(const std::string& section, TStringList& list) = 0;
    virtual void EraseSection(const std::string& section) = 0;
    virtual void DeleteKey(const std::string& section, const std::string& key) = 0;
    virtual void UpdateFile() = 0;

  private:
    std::string fileName_;
};

class TMemIniFile : public TCustomIniFile {
  public:
    // Loads the file; a missing file, a folder or an empty name give an empty
    // store. Throws EFOpenError when the file exists but cannot be read, and
    // when it holds a byte 0: such a file is not settings text (a UTF-16 or
    // binary file), and writing it back would lose everything after the 0.
    explicit TMemIniFile(const std::string& fileName);

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    void ReadSectionValues(const std::string& section, TStringList& list) override;
    void EraseSection(const std::string& section) override;
    void DeleteKey(const std::string& section, const std::string& key) override;
    // Writes the canonical text, whole, in the file's place. A file that
    // another program wrote since it was read is read again and this store's
    // changes are made to it first. Throws EFCreateError or EWriteError; the
    // file on disk is then left exactly as it was.
    void UpdateFile() override;

    // The text UpdateFile writes.
    std::string CanonicalText() const;

    // Whether UpdateFile could put a new text in the file's place now: the
    // file is missing, or it is not read-only, not a folder, and nobody else
    // holds it open (a sharing violation is waited out for a moment first).
    static bool CanReplace(const std::string& fileName);

  private:
    void Load();
    // This store's changes since it was read, made again to a text read anew.
    void Replay();
    struct Edit {
        enum Kind { Write, Erase, Delete } kind;
        std::string section, key, value;
    };
    TIniText text_;
    std::vector<Edit> edits_;
    DiskChanges::FileState loaded_; // the file as it was read
    std::wstring loadedFrom_;       // and the full path it was read from
};
