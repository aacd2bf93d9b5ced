#include "StringList.h"

#include "FileSystem.h"

int TStringList::IndexOf(const std::string& text) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameTextByLocale(items_[i], text))
            return static_cast<int>(i);
    return -1;
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    items_.erase(items_.begin() + index);
}

void TStringList::LoadFromFile(const std::string& fileName, const std::string& errorName) {
    std::string text =
        FileSystem::ReadWholeFile(fileName, errorName.empty() ? fileName : errorName);
    items_ = FileSystem::SplitLines(text);
}
