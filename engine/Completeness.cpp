// The completeness comparison: which of two roots holds records that the
// other lacks. Reads monthly data files and changes nothing.
#include "Completeness.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "CloudFiles.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "FileSystem.h"
#include "KeptWork.h"
#include "OnlineFiles.h"
#include "Progress.h"
#include "RecordFold.h"
#include "TVNConfigUtil.h"

#if defined(_M_X64) || defined(__SSE2__)
#include <emmintrin.h>
#define TVN_SSE2
#endif

namespace TVNConfigUtil {

namespace {

using Word = unsigned long long;

// Data files are large, so their bytes are tested eight at a time: a word
// holds a given byte when it has a zero byte after XOR with that byte
// repeated.
bool WordHolds(Word word, unsigned char byte) {
    const Word ones = 0x0101010101010101ULL;
    const Word highs = 0x8080808080808080ULL;
    const Word x = word ^ (ones * byte);
    return ((x - ones) & ~x & highs) != 0;
}

Word WordAt(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Position of the first CR, LF or NUL at or after `from`, or the text's size.
size_t NextBreak(std::string_view text, size_t from) {
    size_t at = from;
#if defined(TVN_SSE2)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    for (; at + 16 <= text.size(); at += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)), _mm_cmpeq_epi8(x, zero));
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)))
            return at + static_cast<size_t>(std::countr_zero(mask));
    }
#endif
    for (; at + 8 <= text.size(); at += 8) {
        const Word word = WordAt(text.data() + at);
        if (WordHolds(word, '\r') || WordHolds(word, '\n') || WordHolds(word, '\0'))
            break;
    }
    while (at < text.size() && text[at] != '\r' && text[at] != '\n' && text[at] != '\0')
        ++at;
    return at;
}

// How many leading bytes two texts share before either differs or a NUL
// ends them. Most of a month's bytes pass through here, many at a time where
// the processor has the instructions for it (every x64 one does).
size_t SharedLength(std::string_view a, std::string_view b) {
    const size_t shorter = std::min(a.size(), b.size());
    size_t at = 0;
#if defined(TVN_SSE2)
    // Sixty-four bytes at a time while all are equal and none is a NUL;
    // where not, the exact place is found sixteen at a time below.
    const __m128i zero = _mm_setzero_si128();
    auto load = [](const char* bytes) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    };
    for (; at + 64 <= shorter; at += 64) {
        const char* x = a.data() + at;
        const char* y = b.data() + at;
        const __m128i x0 = load(x), x1 = load(x + 16), x2 = load(x + 32), x3 = load(x + 48);
        const __m128i same = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(x0, load(y)), _mm_cmpeq_epi8(x1, load(y + 16))),
            _mm_and_si128(_mm_cmpeq_epi8(x2, load(y + 32)), _mm_cmpeq_epi8(x3, load(y + 48))));
        const __m128i least = _mm_min_epu8(_mm_min_epu8(x0, x1), _mm_min_epu8(x2, x3));
        if (_mm_movemask_epi8(_mm_andnot_si128(_mm_cmpeq_epi8(least, zero), same)) != 0xffff)
            break;
    }
    for (; at + 16 <= shorter; at += 16) {
        const __m128i x = load(a.data() + at);
        const unsigned stop =
            static_cast<unsigned>(~_mm_movemask_epi8(_mm_cmpeq_epi8(x, load(b.data() + at))) |
                                  _mm_movemask_epi8(_mm_cmpeq_epi8(x, zero)));
        if (stop & 0xffff)
            return at + static_cast<size_t>(std::countr_zero(stop));
    }
#endif
    for (; at + 8 <= shorter; at += 8) {
        const Word word = WordAt(a.data() + at);
        if (word != WordAt(b.data() + at) || WordHolds(word, '\0'))
            break;
    }
    while (at < shorter && a[at] == b[at] && a[at] != '\0')
        ++at;
    return at;
}

// A file's text walked line by line the way a data file is read (see
// FileSystem::SplitLines): lines end at CR, LF or CR LF, a NUL ends the text,
// and a break at the very end adds no empty line.
struct LineWalk {
    std::string_view text;
    size_t at = 0; // where the next line starts

    bool Done() const { return at >= text.size() || text[at] == '\0'; }
    std::string_view Next() {
        const size_t end = NextBreak(text, at);
        const std::string_view line = text.substr(at, end - at);
        at = end;
        if (at < text.size() && text[at] != '\0')
            at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
        return line;
    }
};

long long CountLines(std::string_view text) {
    LineWalk walk{text};
    long long lines = 0;
    for (; !walk.Done(); walk.Next())
        ++lines;
    return lines;
}

// The length of the whole lines at the start of a stretch that two texts
// share from a line start on: up to the last break in it, except a CR at its
// very end, which may be half of a CR LF in only one of the texts.
size_t WholeLinesIn(std::string_view shared) {
    size_t end = shared.size();
    if (end > 0 && shared[end - 1] == '\r')
        --end;
    while (end > 0 && shared[end - 1] != '\r' && shared[end - 1] != '\n')
        --end;
    return end;
}

// Two records, or two file paths, are the same when their sort keys under the
// user's locale with case ignored are equal: these are the keys that the
// locale-aware case-insensitive comparison compares, so equal keys mean
// exactly the texts it finds equal. Appends the key of `text` to `keys`. The
// call refuses a zero length, so the empty text is keyed through its
// terminating zero.
void AppendSameTextKey(std::string_view text, std::string& keys) {
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const char* source = text.empty() ? "" : text.data();
    const int length = text.empty() ? -1 : static_cast<int>(text.size());
    char buffer[512];
    int size = LCMapStringA(LOCALE_USER_DEFAULT, flags, source, length, buffer, sizeof buffer);
    if (size > 0) {
        keys.append(buffer, static_cast<size_t>(size));
        return;
    }
    size = LCMapStringA(LOCALE_USER_DEFAULT, flags, source, length, nullptr, 0);
    if (size > 0) {
        const size_t at = keys.size();
        keys.resize(at + static_cast<size_t>(size));
        if (LCMapStringA(LOCALE_USER_DEFAULT, flags, source, length, keys.data() + at, size) ==
            size)
            return;
        keys.resize(at);
    }
    // Not expected to happen. Such a text then equals only its own bytes; the
    // leading zero keeps it apart from every sort key.
    keys.push_back('\0');
    keys.append(text);
}

} // namespace

std::string SameTextKey(std::string_view text) {
    std::string key;
    AppendSameTextKey(text, key);
    return key;
}

namespace {

// How far ahead the in-step walk looks for a line's twin among the nearest
// lines of both files.
const size_t StepWindow = 8;
// Beyond that, how many lines on either side it looks for the twin of one
// side's next line, when a block of lines is added or missing.
const size_t FarHorizon = 4096;

// A hash of bytes, eight at a time: enough to sort equal texts together and
// to spare most byte comparisons.
Word HashOf(std::string_view bytes) {
    const Word odd = 0x9E3779B97F4A7C15ULL;
    Word hash = bytes.size() * odd;
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8)
        hash = ((hash ^ WordAt(bytes.data() + at)) * odd) ^ (hash >> 29);
    for (; at < bytes.size(); ++at)
        hash = (hash ^ static_cast<unsigned char>(bytes[at])) * odd;
    return hash ^ (hash >> 32);
}

// The lines of one file that the in-step walk has split off and not yet
// passed: each with its hash and where the line after it starts.
class LinesAhead {
  public:
    struct Line {
        std::string_view text;
        size_t next;
        Word hash = 0;
        bool hashed = false;
    };
    size_t Size() const { return lines_.size() - first_; }
    const Line& operator[](size_t index) const { return lines_[first_ + index]; }
    // Hashed only for the look further on, which compares one line with many.
    Word Hash(size_t index) {
        Line& line = lines_[first_ + index];
        if (!line.hashed) {
            line.hash = HashOf(line.text);
            line.hashed = true;
        }
        return line.hash;
    }
    void Push(std::string_view text, size_t next) { lines_.push_back({text, next}); }
    void Drop(size_t count) {
        first_ += count;
        if (first_ == lines_.size())
            Clear();
    }
    void Clear() {
        lines_.clear();
        first_ = 0;
    }

  private:
    std::vector<Line> lines_;
    size_t first_ = 0;
};

// The work of comparing one month, kept from month to month so that its
// memory is reused: the two files' text, the lines of each that are not yet
// paired, and what pairing them needs.
struct MonthWork {
    std::string text[2];
    LinesAhead ahead[2];
    std::vector<std::string_view> left[2];

    // A line with what it is paired by (its key, in `keys`) and that key's
    // hash, and its side; folded when the key is its folded form (see
    // RecordFold), else its bytes or its sort key.
    struct Entry {
        Word hash;
        size_t keyAt;
        size_t keyLength;
        std::string_view line;
        int side;
        bool folded;
    };
    std::vector<Entry> entries;
    // What PairByKey gathers them with.
    static const size_t None = static_cast<size_t>(-1);
    std::vector<size_t> table, next, count;
    std::string keys;
    size_t keyed = 0; // how much of keys holds keys while lines are set aside
    RecordFold* fold = nullptr;

    // Kept for the next comparison but for its fold, unless a month of more
    // than KeptTextBytes left its texts that large.
    bool Keep() {
        fold = nullptr;
        return AllKeptSize(text);
    }

    // A line the in-step walk could not pair, keyed at once by its folded
    // form, or by its bytes where it does not fold, while its bytes are at
    // hand.
    void SetAside(int side, std::string_view line) {
        // The buffer grows only now and then: its bytes past `keyed` are room.
        if (keys.size() < keyed + 2 * line.size())
            keys.resize(std::max(2 * keys.size(), keyed + 2 * line.size()));
        char* at = keys.data() + keyed;
        size_t length = fold->Fold(line, at);
        const bool folded = length != RecordFold::Refused;
        if (!folded) {
            length = line.size();
            std::memcpy(at, line.data(), length);
        }
        entries.push_back(
            {HashOf(std::string_view(at, length)), keyed, length, line, side, folded});
        keyed += length;
    }
    std::string_view KeyOf(const Entry& entry) const {
        return std::string_view(keys).substr(entry.keyAt, entry.keyLength);
    }
};

// Pairs the lines of both files that meet their byte-identical twin while the
// files are walked in step, and sets aside in work.left what it cannot pair.
// Copies of one month mostly hold the same records in the same order, with a
// few lines changed, missing or added: the walk passes over what the two
// texts share without splitting it into lines, and where they part it looks
// a few lines ahead on either side, nearest first, to get back in step; after
// a longer block of lines that only one file holds, it finds the next line of
// the other further on. Any pairing of byte-identical lines is part of a
// largest one-for-one matching, so this changes no count, only the cost.
void MatchInStep(MonthWork& work, std::string_view first, std::string_view second) {
    work.entries.clear();
    work.keyed = 0;
    LineWalk walks[2] = {{first}, {second}};
    LinesAhead(&ahead)[2] = work.ahead;
    ahead[0].Clear();
    ahead[1].Clear();
    // Lines are split off only as far as the search reaches.
    auto has = [&](int side, size_t index) {
        while (ahead[side].Size() <= index && !walks[side].Done()) {
            const std::string_view line = walks[side].Next();
            ahead[side].Push(line, walks[side].at);
        }
        return index < ahead[side].Size();
    };
    // The far look goes line by line through the other file; a month whose
    // files hold their lines in another order would make each look go to the
    // horizon, so all looks of a month together stop at a bound.
    size_t farBudget = 16 * FarHorizon + (first.size() + second.size()) / 8;
    // After a search that found no twins, the pairs of lines before this
    // index on both sides are known to differ.
    size_t known = 0;
    for (;;) {
        if (ahead[0].Size() == 0 && ahead[1].Size() == 0) {
            const size_t shared = WholeLinesIn(first.substr(
                walks[0].at, SharedLength(first.substr(walks[0].at), second.substr(walks[1].at))));
            walks[0].at += shared;
            walks[1].at += shared;
        }
        if (!has(0, 0) || !has(1, 0))
            break;
        // The nearest twins: those that leave the fewest lines behind.
        bool found = false;
        size_t skip[2] = {1, 1};
        for (size_t total = 0; !found && total <= 2 * StepWindow; ++total)
            for (size_t i = total > StepWindow ? total - StepWindow : 0;
                 i <= total && i <= StepWindow; ++i)
                if ((i >= known || total - i >= known) && has(0, i) && has(1, total - i) &&
                    ahead[0][i].text == ahead[1][total - i].text) {
                    skip[0] = i;
                    skip[1] = total - i;
                    found = true;
                    break;
                }
        // Further on: the twin of either side's next line in the other file.
        for (size_t distance = StepWindow + 1; !found && distance <= FarHorizon && farBudget > 0;
             ++distance) {
            bool looked = false;
            for (int side = 0; side < 2 && !found; ++side)
                if (has(1 - side, distance)) {
                    looked = true;
                    --farBudget;
                    if (ahead[side].Hash(0) == ahead[1 - side].Hash(distance) &&
                        ahead[side][0].text == ahead[1 - side][distance].text) {
                        skip[side] = 0;
                        skip[1 - side] = distance;
                        found = true;
                    }
                }
            if (!looked)
                break;
        }
        for (int side = 0; side < 2; ++side) {
            for (size_t i = 0; i < skip[side]; ++i)
                work.SetAside(side, ahead[side][i].text);
            if (found) {
                walks[side].at = ahead[side][skip[side]].next;
                ahead[side].Clear();
            } else {
                ahead[side].Drop(1);
            }
        }
        known = found ? 0 : StepWindow;
    }
    for (int side = 0; side < 2; ++side) {
        for (size_t i = 0; i < ahead[side].Size(); ++i)
            work.SetAside(side, ahead[side][i].text);
        while (!walks[side].Done())
            work.SetAside(side, walks[side].Next());
    }
}

// Pairs the entries of both sides whose keys are equal, one for one, and
// leaves in work.left only the lines that found no partner. True when a line
// whose key is not its folded form is left on a side.
bool PairByKey(MonthWork& work) {
    const auto& entries = work.entries;
    // Entries of equal keys are gathered through a table on their hashes,
    // half empty, each slot the first of a group; the rest of a group hang
    // on it in `next`. Cheaper than sorting for the few hundred lines of a
    // month.
    size_t slots = 16;
    while (slots < 2 * entries.size())
        slots *= 2;
    auto& table = work.table;
    auto& next = work.next;
    table.assign(slots, MonthWork::None);
    next.assign(entries.size(), MonthWork::None);
    auto& count = work.count;
    count.assign(2 * entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t slot = entries[i].hash & (slots - 1);
        while (table[slot] != MonthWork::None &&
               (entries[table[slot]].hash != entries[i].hash ||
                work.KeyOf(entries[table[slot]]) != work.KeyOf(entries[i])))
            slot = (slot + 1) & (slots - 1);
        const size_t first = table[slot];
        if (first == MonthWork::None) {
            table[slot] = i;
            ++count[2 * i + entries[i].side];
        } else {
            next[i] = next[first];
            next[first] = i;
            ++count[2 * first + entries[i].side];
        }
    }
    work.left[0].clear();
    work.left[1].clear();
    bool unfoldedLeft = false;
    for (const size_t first : table) {
        if (first == MonthWork::None)
            continue;
        const int more = count[2 * first] > count[2 * first + 1] ? 0 : 1;
        size_t unpaired = count[2 * first + more] - count[2 * first + 1 - more];
        for (size_t i = first; i != MonthWork::None && unpaired > 0; i = next[i])
            if (entries[i].side == more) {
                work.left[more].push_back(entries[i].line);
                unfoldedLeft |= !entries[i].folded;
                --unpaired;
            }
    }
    return unfoldedLeft;
}

// Adds to each side's count the lines of its file (in work.text) that find no
// equal line in the other file, every line matched with at most one line.
// Byte-identical lines are always the same record, so they are paired first,
// cheaply, then the lines left by their folded forms (or, those that do not
// fold, by their bytes). Only when a line that does not fold is left do the
// lines left need the costly sort keys: two lines that fold and are left have
// other folded forms and are other records.
void CompareMonth(MonthWork& work, long long& firstMissing, long long& secondMissing) {
    MatchInStep(work, work.text[0], work.text[1]);
    bool sides[2] = {false, false};
    for (const MonthWork::Entry& entry : work.entries)
        sides[entry.side] = true;
    if (sides[0] && sides[1] && PairByKey(work) && !work.left[0].empty() && !work.left[1].empty()) {
        work.keys.clear();
        work.entries.clear();
        for (int side = 0; side < 2; ++side)
            for (std::string_view line : work.left[side]) {
                const size_t at = work.keys.size();
                AppendSameTextKey(line, work.keys);
                const size_t length = work.keys.size() - at;
                work.entries.push_back({HashOf(std::string_view(work.keys).substr(at, length)), at,
                                        length, line, side, false});
            }
        PairByKey(work);
    } else if (!sides[0] || !sides[1]) {
        work.left[0].clear();
        work.left[1].clear();
        for (const MonthWork::Entry& entry : work.entries)
            work.left[entry.side].push_back(entry.line);
    }
    firstMissing += static_cast<long long>(work.left[0].size());
    secondMissing += static_cast<long long>(work.left[1].size());
}

// One root's monthly data files: full paths after ASCII lower-casing, in the
// order the file system lists them, each with its comparison key. They are
// opened by their names as listed: where names keep their case (Wine), a
// name in other letters is found only by a search through its folder.
struct DataFile {
    std::string path;
    std::string listed;
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
            std::string listed = data + entry.cFileName;
            std::string path = AsciiLowerCase(listed);
            std::string key = SameTextKey(path);
            files.push_back(DataFile{std::move(path), std::move(listed), std::move(key),
                                     FileSystem::ReportedSize(entry),
                                     CloudFiles::IsOnlineOnly(entry.dwFileAttributes)});
        }
        return true;
    });
    return files;
}

void ReadDataFile(const DataFile& file, std::string& text) {
    DWORD error = 0;
    if (!FileSystem::ReadWholeFile(file.listed, text, error))
        ThrowUnreadable(file.path, error);
}

// Reads the files kept online only before the comparison reads any, so that
// their clients download them as one stage the user can follow and cancel.
// False when the observer stopped it.
bool FetchOnlineOnly(const std::vector<DataFile> (&files)[2]) {
    std::vector<FileToFetch> fetch;
    for (const auto& list : files)
        for (const DataFile& file : list)
            if (file.onlineOnly)
                fetch.push_back(FileToFetch{DiskChanges::WidePath(file.listed), file.bytes});
    FetchFailure failure;
    if (FetchOnlineFiles(fetch, failure))
        return true;
    if (failure.error == 0)
        return false;
    ThrowUnreadable(AsciiLowerCase(DiskChanges::ShownPath(failure.path)), failure.error);
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
    // The month's work of the last comparison, kept for the next.
    KeptWork<MonthWork> kept;
    MonthWork& work = *kept;
    RecordFold fold;
    work.fold = &fold;
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
            ReadDataFile(entry, work.text[lesser]);
            missing[lesser] += CountLines(work.text[lesser]);
            continue;
        }
        const size_t match = found->second.back();
        found->second.pop_back();
        paired[match] = true;
        if (!MayRead(files[greater][match]) || !MayRead(entry))
            return MissingRecordCounts{0, 0, true};
        ReadDataFile(files[greater][match], work.text[greater]);
        ReadDataFile(entry, work.text[lesser]);
        CompareMonth(work, missing[0], missing[1]);
    }

    for (size_t i = files[greater].size(); i-- > 0;)
        if (!paired[i]) {
            if (!MayRead(files[greater][i]))
                return MissingRecordCounts{0, 0, true};
            ReadDataFile(files[greater][i], work.text[greater]);
            missing[greater] += CountLines(work.text[greater]);
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
