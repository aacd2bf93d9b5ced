// Backup folder names, monthly data file names and the names of sync
// conflict copies against small references. The input's first line is a
// prefix, its second a name; the bytes after them choose a local time whose
// backup folder name is checked as well.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>
#include <utility>

#include "ConflictRules.h"
#include "FuzzCheck.h"
#include "PathRules.h"
#include "ReferenceNumber.h"

using namespace TVNConfigUtil;

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string LastComponent(const std::string& path) {
    std::string last;
    for (char c : path) {
        if (c == '\\' || c == ':')
            last.clear();
        else
            last.push_back(c);
    }
    return last;
}

bool ReferenceBackupFolderName(const std::string& prefix, const std::string& name) {
    const std::string low = Lower(prefix);
    const std::string file = Lower(LastComponent(name));
    if (file.size() <= low.size() || !file.starts_with(low) || file.size() - low.size() < 25)
        return false;
    const std::pair<size_t, char> marks[] = {{5, '-'},  {8, '-'},  {12, '['}, {15, '-'},
                                             {18, '-'}, {21, '-'}, {25, ']'}};
    for (const auto& [position, mark] : marks)
        if (file[low.size() + position - 1] != mark)
            return false;
    return true;
}

bool ReferenceMonthlyDataFileName(const std::string& name) {
    const std::string file = LastComponent(name);
    const size_t dot = file.rfind('.');
    int number = 0;
    return file.size() == 11 && dot != std::string::npos && Lower(file.substr(dot)) == ".txt" &&
           file[4] == '-' && ReferenceStrToInt(file.substr(0, 4), number) &&
           ReferenceStrToInt(file.substr(5, 2), number);
}

// The conflict copy forms read as patterns: the month's name, then a
// computer's name after a hyphen (up to 15 characters besides a counter
// "-n", a letter among them, and no word people add by hand, counted or
// not), or groups in parentheses that are counters or carry a conflict word,
// one at least.
bool ReferenceMachineName(const std::string& part) {
    static const std::regex shape("[a-z0-9_\\x80-\\xff][-a-z0-9_\\x80-\\xff]*", std::regex::icase);
    static const std::regex counted("([\\s\\S]*?)(?:-[0-9]+)?");
    static const std::regex letter("[\\s\\S]*[a-z\\x80-\\xff][\\s\\S]*", std::regex::icase);
    static const std::regex handMade("(?:old|new|backup|bak|copy|kopie|final|summary|archive|alt|"
                                     "neu|orig|original|save|tmp|temp|draft|export|test)"
                                     "(?:[-_]?[0-9]+)?",
                                     std::regex::icase);
    std::smatch base;
    if (!std::regex_match(part, shape) || !std::regex_match(part, base, counted))
        return false;
    const std::string name = base[1].str();
    return !name.empty() && name.size() <= 15 && std::regex_match(name, letter) &&
           !std::regex_match(name, handMade);
}

std::string ReferenceConflictCopyMonth(const std::string& name) {
    static const std::string word =
        "(?:conflicted copy|case conflict|unicode encoding conflict|in konflikt stehende kopie)";
    static const std::regex oneDrive("([\\s\\S]{7})-([\\s\\S]*)\\.txt", std::regex::icase);
    static const std::regex dropbox("([\\s\\S]{7})(?=[\\s\\S]* \\([^()]*" + word +
                                        ")(?: \\((?:[0-9]{1,3}|[^()]*" + word +
                                        "[^()]*)\\))+\\.txt",
                                    std::regex::icase);
    std::smatch parts;
    const std::string file = LastComponent(name);
    const bool copy =
        (std::regex_match(file, parts, oneDrive) && ReferenceMachineName(parts[2].str())) ||
        std::regex_match(file, parts, dropbox);
    return copy && ReferenceMonthlyDataFileName(parts[1].str() + ".txt") ? parts[1].str() : "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find('\n');
    const size_t second = first == std::string::npos ? first : input.find('\n', first + 1);
    const std::string prefix = input.substr(0, first);
    const std::string name =
        first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
    FUZZ_CHECK(IsBackupFolderName(prefix, name) == ReferenceBackupFolderName(prefix, name));
    FUZZ_CHECK(IsMonthlyDataFileName(name) == ReferenceMonthlyDataFileName(name));
    FUZZ_CHECK(IsMonthlyDataFileName(prefix) == ReferenceMonthlyDataFileName(prefix));
    for (const std::string& text : {prefix, name}) {
        const std::string month = ConflictCopyMonth(text);
        // The pattern engine recurses on long texts.
        FUZZ_CHECK(text.size() > 512 || month == ReferenceConflictCopyMonth(text));
        FUZZ_CHECK(month.empty() || !IsMonthlyDataFileName(text));
    }

    // Every local time, each field in its normal range, names a backup folder.
    size_t next = second == std::string::npos ? size : second + 1;
    auto field = [&](int low, int high) {
        unsigned bits = 0;
        for (int i = 0; i < 2 && next < size; ++i)
            bits = bits << 8 | data[next++];
        return low + static_cast<int>(bits % static_cast<unsigned>(high - low + 1));
    };
    const int fields[] = {field(1601, 9999), field(1, 12), field(1, 31), field(0, 23),
                          field(0, 59),      field(0, 59), field(0, 999)};
    const std::string stamp = FormatTimestampFields(fields[0], fields[1], fields[2], fields[3],
                                                    fields[4], fields[5], fields[6]);
    const std::string folder = BackupPrefix + stamp;
    FUZZ_CHECK(folder.size() == 36);
    FUZZ_CHECK(IsBackupFolderName(BackupPrefix, folder));
    FUZZ_CHECK(IsBackupFolderName(Upper(BackupPrefix), "c:\\Data\\" + Lower(folder)));
    if (prefix.find_first_of("\\:") == std::string::npos)
        FUZZ_CHECK(IsBackupFolderName(prefix, name + "\\" + prefix + stamp));
    int read[7] = {};
    int consumed = 0;
    std::sscanf(stamp.c_str(), "%4d-%2d-%2d [%2d-%2d-%2d-%3d]%n", &read[0], &read[1], &read[2],
                &read[3], &read[4], &read[5], &read[6], &consumed);
    FUZZ_CHECK(consumed == 25);
    for (int i = 0; i < 7; ++i)
        FUZZ_CHECK(read[i] == fields[i]);
    FUZZ_CHECK(IsMonthlyDataFileName(stamp.substr(0, 7) + ".TXT"));
    // Any computer's name, with a counter after it, and any person, names a copy.
    std::string machine, person;
    for (char c : prefix) {
        machine += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
        person += c == '(' || c == ')' ? ' ' : c;
    }
    if (ReferenceMachineName(machine + "-1"))
        FUZZ_CHECK(ConflictCopyMonth(stamp.substr(0, 7) + "-" + machine + "-1.txt") ==
                   stamp.substr(0, 7));
    if (person.find_first_of("\\:") == std::string::npos)
        FUZZ_CHECK(ConflictCopyMonth(stamp.substr(0, 7) + " (" + person + "'s conflicted copy " +
                                     stamp.substr(0, 10) + ") (2).txt") == stamp.substr(0, 7));
    return 0;
}
