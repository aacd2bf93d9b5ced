// An ordered, unsorted list of byte strings. Look-ups compare texts with the
// user's locale, ignoring case (CompareStringA, LOCALE_USER_DEFAULT,
// NORM_IGNORECASE), and take the first equal entry.
#pragma once

#include <string>
#include <vector>

#include "TextCompare.h"

class TStringList {
  public:
    void Add(const std::string& text) { items_.push_back(text); }
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    std::string& operator[](int index) { return items_.at(static_cast<size_t>(index)); }

    // Position of the first entry equal to text, or -1.
    int IndexOf(const std::string& text) const;

    // Removes the entry at index; later entries move up by one.
    void Delete(int index);
    void Clear() { items_.clear(); }

    // Replaces the content with the file's lines (see FileSystem::SplitLines).
    // Throws EFOpenError carrying errorName, or the file name when errorName
    // is empty, when the file cannot be opened.
    void LoadFromFile(const std::string& fileName, const std::string& errorName = std::string());

    const std::vector<std::string>& Items() const { return items_; }

  private:
    std::vector<std::string> items_;
};
