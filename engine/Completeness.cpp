// The completeness comparison: which of two roots holds records that the
// other lacks. Reads monthly data files and changes nothing.
#include "Completeness.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "CloudFiles.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "OnlineFiles.h"
#include "Progress.h"
#include "TVNConfigUtil.h"

namespace TVNConfigUtil {

namespace {

// Position of the first CR, LF or NUL at or after `from`, or the text's size.
// Data files are large and their lines long, so eight bytes are tested at a
// time: a word holds one of the three bytes when it has a zero byte after
// XOR with that byte repeated.
size_t NextBreak(std::string_view text, size_t from) {
    const unsigned long long ones = 0x0101010101010101ULL;
    const unsigned long long highs = 0x8080808080808080ULL;
    auto holds = [&](unsigned long long word, unsigned char byte) {
        const unsigned long long x = word ^ (ones * byte);
        return ((x - ones) & ~x & highs) != 0;
    };
    size_t at = from;
    for (; at + 8 <= text.size(); at += 8) {
        unsigned long long word;
        std::memcpy(&word, text.data() + at, 8);
        if (holds(word, '\r') || holds(word, '\n') || holds(word, '\0'))
            break;
    }
    while (at < text.size() && text[at] != '\r' && text[at] != '\n' && text[at] != '\0')
        ++at;
    return at;
}

// The lines of a text as views into it, split the way a data file is read
// (see FileSystem::SplitLines): at CR, LF or CR LF; a NUL ends the text; a
// break at the very end adds no empty line.
std::vector<std::string_view> SplitLineViews(std::string_view text) {
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 32 + 1);
    size_t start = 0;
    for (;;) {
        const size_t at = NextBreak(text, start);
        if (at == text.size() || text[at] == '\0') {
            if (start < at)
                lines.push_back(text.substr(start, at - start));
            return lines;
        }
        lines.push_back(text.substr(start, at - start));
        start = at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
    }
}

long long CountLines(std::string_view text) {
    return static_cast<long long>(SplitLineViews(text).size());
}

// Two records, or two file paths, are the same when their sort keys under the
// user's locale with case ignored are equal: these are the keys that the
// locale-aware case-insensitive comparison compares, so equal keys mean
// exactly the texts it finds equal. The call refuses a zero length, so the
// empty text is keyed through its terminating zero.
std::string SameTextKey(std::string_view text) {
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const char* source = text.empty() ? "" : text.data();
    const int length = text.empty() ? -1 : static_cast<int>(text.size());
    char buffer[512];
    int size = LCMapStringA(LOCALE_USER_DEFAULT, flags, source, length, buffer, sizeof buffer);
    if (size > 0)
        return std::string(buffer, static_cast<size_t>(size));
    size = LCMapStringA(LOCALE_USER_DEFAULT, flags, source, length, nullptr, 0);
    if (size > 0) {
        std::string key(static_cast<size_t>(size), '\0');
        if (LCMapStringA(LOCALE_USER_DEFAULT, flags, source, length, key.data(), size) == size)
            return key;
    }
    // Not expected to happen. Such a text then equals only its own bytes; the
    // leading zero keeps it apart from every sort key.
    std::string marked(1, '\0');
    marked.append(text);
    return marked;
}

// How far ahead the in-step walk looks for a line's twin.
const size_t StepWindow = 8;

// Pairs lines that meet their byte-identical twin while both files are walked
// in step. Copies of one month mostly hold the same records in the same
// order, with a few lines changed, missing or added: the walk looks a few
// lines ahead on either side to get back in step, and sets aside what it
// cannot pair. Any pairing of byte-identical lines is part of a largest
// one-for-one matching, so this changes no count, only the cost.
void MatchInStep(const std::vector<std::string_view>& first,
                 const std::vector<std::string_view>& second,
                 std::vector<std::string_view>& firstLeft,
                 std::vector<std::string_view>& secondLeft) {
    size_t i = 0;
    size_t j = 0;
    while (i < first.size() && j < second.size()) {
        if (first[i] == second[j]) {
            ++i;
            ++j;
            continue;
        }
        size_t skipFirst = 1;
        size_t skipSecond = 1;
        for (size_t ahead = 1; ahead <= StepWindow; ++ahead) {
            if (i + ahead < first.size() && first[i + ahead] == second[j]) {
                skipFirst = ahead;
                skipSecond = 0;
                break;
            }
            if (j + ahead < second.size() && first[i] == second[j + ahead]) {
                skipFirst = 0;
                skipSecond = ahead;
                break;
            }
        }
        firstLeft.insert(firstLeft.end(), first.begin() + i, first.begin() + i + skipFirst);
        secondLeft.insert(secondLeft.end(), second.begin() + j, second.begin() + j + skipSecond);
        i += skipFirst;
        j += skipSecond;
    }
    firstLeft.insert(firstLeft.end(), first.begin() + i, first.end());
    secondLeft.insert(secondLeft.end(), second.begin() + j, second.end());
}

// Pairs the lines of the two lists that are equal under `key`, one for one,
// and leaves in each list only the lines that found no partner.
template <typename Key, typename KeyOf>
void MatchBy(KeyOf keyOf, std::vector<std::string_view>& firstLeft,
             std::vector<std::string_view>& secondLeft) {
    std::unordered_map<Key, std::vector<std::string_view>> waiting;
    waiting.reserve(firstLeft.size());
    for (std::string_view line : firstLeft)
        waiting[keyOf(line)].push_back(line);
    std::vector<std::string_view> secondUnpaired;
    for (std::string_view line : secondLeft) {
        auto found = waiting.find(keyOf(line));
        if (found != waiting.end() && !found->second.empty())
            found->second.pop_back();
        else
            secondUnpaired.push_back(line);
    }
    firstLeft.clear();
    for (const auto& entry : waiting)
        firstLeft.insert(firstLeft.end(), entry.second.begin(), entry.second.end());
    secondLeft.swap(secondUnpaired);
}

// Adds to each side's count the lines of its file that find no equal line in
// the other file, every line matched with at most one line. Byte-identical
// lines are always the same record, so they are paired first, cheaply; only
// the lines left over need the costly locale keys.
void CompareMonth(const std::string& firstText, const std::string& secondText,
                  long long& firstMissing, long long& secondMissing) {
    if (firstText == secondText)
        return;
    std::vector<std::string_view> firstLeft;
    std::vector<std::string_view> secondLeft;
    MatchInStep(SplitLineViews(firstText), SplitLineViews(secondText), firstLeft, secondLeft);
    if (!firstLeft.empty() && !secondLeft.empty())
        MatchBy<std::string_view>([](std::string_view line) { return line; }, firstLeft,
                                  secondLeft);
    if (!firstLeft.empty() && !secondLeft.empty())
        MatchBy<std::string>(SameTextKey, firstLeft, secondLeft);
    firstMissing += static_cast<long long>(firstLeft.size());
    secondMissing += static_cast<long long>(secondLeft.size());
}

// One root's monthly data files: full paths after ASCII lower-casing, in the
// order the file system lists them, each with its comparison key.
struct DataFile {
    std::string path;
    std::string key;
    unsigned long long bytes = 0;
    bool onlineOnly = false;
};

std::vector<DataFile> MonthlyDataFiles(const std::string& root) {
    const std::string data = DataFolderOf(root);
    std::vector<DataFile> files;
    FileSystem::ForEachEntry(data, [&](const WIN32_FIND_DATAA& entry) {
        // Hidden and system files count; folders never do.
        if (!FileSystem::IsFolderEntry(entry) && IsMonthlyDataFileName(entry.cFileName)) {
            std::string path = AsciiLowerCase(data + entry.cFileName);
            std::string key = SameTextKey(path);
            files.push_back(DataFile{std::move(path), std::move(key),
                                     FileSystem::ReportedSize(entry),
                                     CloudFiles::IsOnlineOnly(entry.dwFileAttributes)});
        }
        return true;
    });
    return files;
}

// A file that cannot be read: named with the cause when its sync client
// could not provide it, else as the settings store names one.
[[noreturn]] void Unreadable(const std::string& path, DWORD error) {
    if (const std::string named = CloudFileFailure(path, error); !named.empty())
        throw EFCloudFileError(named);
    throw EFOpenError(path);
}

std::string ReadDataFile(const DataFile& file) {
    std::string text;
    DWORD error = 0;
    if (!FileSystem::ReadWholeFile(file.path, text, error))
        Unreadable(file.path, error);
    return text;
}

// Reads the files kept online only before the comparison reads any, so that
// their clients download them as one stage the user can follow and cancel.
// False when the observer stopped it.
bool FetchOnlineOnly(const std::vector<DataFile> (&files)[2]) {
    std::vector<FileToFetch> fetch;
    for (const auto& list : files)
        for (const DataFile& file : list)
            if (file.onlineOnly)
                fetch.push_back(FileToFetch{DiskChanges::WidePath(file.path), file.bytes});
    FetchFailure failure;
    if (FetchOnlineFiles(fetch, failure))
        return true;
    if (failure.error == 0)
        return false;
    Unreadable(AsciiLowerCase(DiskChanges::ShownPath(failure.path)), failure.error);
}

// False when the observer asks the comparison to stop before this file.
bool MayRead(const DataFile& file) {
    return !ProgressObserved() || MayGoOn(file.path, file.bytes);
}

} // namespace

MissingRecordCounts CountMissingRecords(const std::string& firstRoot,
                                        const std::string& secondRoot) {
    std::vector<DataFile> files[2] = {MonthlyDataFiles(AddBackslash(firstRoot)),
                                      MonthlyDataFiles(AddBackslash(secondRoot))};
    // For each root, the root it is compared with.
    const std::string otherRoot[2] = {AddBackslash(secondRoot), AddBackslash(firstRoot)};
    long long missing[2] = {0, 0};
    if (!FetchOnlineOnly(files))
        return MissingRecordCounts{0, 0, true};
    if (ProgressObserved()) {
        unsigned long long bytes = 0;
        for (const auto& list : files)
            for (const DataFile& file : list)
                bytes += file.bytes;
        ReportStage(WorkStage::Comparing, AddBackslash(firstRoot),
                    files[0].size() + files[1].size(), bytes);
    }

    // The root with fewer files is walked, from its last file to its first,
    // and each file is paired with the first same-named file of the other
    // root. The files are read in the order this walk needs them, so that of
    // several unreadable files the same one is always reported.
    const int lesser = files[0].size() < files[1].size() ? 0 : 1;
    const int greater = 1 - lesser;
    std::unordered_map<std::string, std::vector<size_t>> byKey;
    for (size_t i = files[greater].size(); i-- > 0;)
        byKey[files[greater][i].key].push_back(i); // last is first
    std::vector<bool> paired(files[greater].size(), false);

    for (size_t i = files[lesser].size(); i-- > 0;) {
        const DataFile& entry = files[lesser][i];
        const std::string counterpart = AsciiLowerCase(DataFolderOf(otherRoot[lesser]) +
                                                       FileSystem::ExtractFileName(entry.path));
        auto found = byKey.find(SameTextKey(counterpart));
        if (found == byKey.end() || found->second.empty()) {
            if (!MayRead(entry))
                return MissingRecordCounts{0, 0, true};
            missing[lesser] += CountLines(ReadDataFile(entry));
            continue;
        }
        const size_t match = found->second.back();
        found->second.pop_back();
        paired[match] = true;
        if (!MayRead(files[greater][match]) || !MayRead(entry))
            return MissingRecordCounts{0, 0, true};
        const std::string greaterText = ReadDataFile(files[greater][match]);
        const std::string lesserText = ReadDataFile(entry);
        if (lesser == 0)
            CompareMonth(lesserText, greaterText, missing[0], missing[1]);
        else
            CompareMonth(greaterText, lesserText, missing[0], missing[1]);
    }

    for (size_t i = files[greater].size(); i-- > 0;)
        if (!paired[i]) {
            if (!MayRead(files[greater][i]))
                return MissingRecordCounts{0, 0, true};
            missing[greater] += CountLines(ReadDataFile(files[greater][i]));
        }

    return MissingRecordCounts{missing[0], missing[1]};
}

Comparison ComparisonOf(const MissingRecordCounts& counts) {
    if (counts.Stopped)
        return Comparison::Stopped;
    if (counts.First > 0 && counts.Second > 0)
        return Comparison::EachLacks;
    if (counts.First > 0)
        return Comparison::FirstMoreComplete;
    if (counts.Second > 0)
        return Comparison::SecondMoreComplete;
    return Comparison::Same;
}

Comparison CompareRoots(const std::string& firstRoot, const std::string& secondRoot) {
    return ComparisonOf(CountMissingRecords(firstRoot, secondRoot));
}

namespace {
// The number CompareDataCompleteness gives: a stopped comparison gives 0, and
// its caller asks StopAsked().
int CompletenessResult(Comparison comparison) {
    switch (comparison) {
    case Comparison::FirstMoreComplete:
        return 1;
    case Comparison::SecondMoreComplete:
        return 2;
    case Comparison::EachLacks:
        return -1;
    case Comparison::Same:
    case Comparison::Stopped:
        break;
    }
    return 0;
}
} // namespace

int CompareDataCompleteness(const std::vector<std::string>& roots) {
    if (roots.size() > 2)
        return -1;
    if (roots.size() < 2)
        return 0;
    return CompletenessResult(CompareRoots(roots[0], roots[1]));
}

} // namespace TVNConfigUtil
