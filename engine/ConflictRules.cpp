#include "ConflictRules.h"

#include <algorithm>
#include <cstddef>

#include "FileSystemText.h"
#include "PathRules.h"
#include "Providers.h"

namespace TVNConfigUtil {

namespace {

// The forms the two sync clients give a copy they keep beside a file that
// changed on two machines at once, here for "2024-01.txt":
// - OneDrive appends the machine's name: "2024-01-LAPTOP.txt" (documented),
//   and a counter when that name is taken, "2024-01-LAPTOP-1.txt" (reported).
// - Dropbox appends a group in parentheses: "2024-01 (Ann's conflicted copy
//   2024-01-05).txt", "(Case Conflict)" and "(Unicode Encoding Conflict)"
//   (documented); the group without its date, several groups one after the
//   other, a counter group " (1)", and the German client's "(Anns in Konflikt
//   stehende Kopie 2024-01-05)" (reported).
// The words that mark a Dropbox group, in lower case:
const char* const DropboxConflictWords[] = {
    "conflicted copy", "case conflict", "unicode encoding conflict", "in konflikt stehende kopie"};

const size_t MonthLength = 7; // "yyyy-mm"
const char* const DataExtension = ".txt";
const size_t ExtensionLength = 4;

// The longest name Windows gives a computer (its NetBIOS name).
const size_t LongestMachineName = 15;
// Words people add to a file's name by hand, in lower case: a copy named so
// is a snapshot someone kept, not a sync client's copy, and merging it would
// put old records back.
const char* const HandMadeWords[] = {
    "old", "new",  "backup",   "bak",  "copy", "kopie", "final", "summary", "archive", "alt",
    "neu", "orig", "original", "save", "tmp",  "temp",  "draft", "export",  "test"};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           static_cast<unsigned char>(c) >= 0x80;
}

// The text without a counter at its end: "-1", "_2" or bare digits after
// letters ("old2").
std::string WithoutCounter(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && IsDigit(text[end - 1]))
        --end;
    if (end == text.size() || end == 0)
        return text;
    if (text[end - 1] == '-' || text[end - 1] == '_')
        --end;
    return text.substr(0, end);
}

// A computer's name as Windows allows it (letters, digits, hyphens and
// underscores; letters of the code page count; at most 15 characters, at
// least one letter), not beginning with a hyphen, and not a word people add
// by hand. OneDrive may add a counter "-1" when the name repeats; it does not
// count towards the length. So "2024-01-15.txt", "2024-01-15_1.txt" and
// "2024-01-old.txt" are no copies.
bool IsMachinePart(const std::string& text) {
    if (text.empty() || text[0] == '-')
        return false;
    for (char c : text)
        if (!IsLetter(c) && !IsDigit(c) && c != '-' && c != '_')
            return false;
    std::string name = text;
    if (const size_t cut = name.find_last_of('-');
        cut != std::string::npos && cut + 1 < name.size() &&
        std::all_of(name.begin() + long(cut) + 1, name.end(), IsDigit))
        name.erase(cut);
    if (name.empty() || name.size() > LongestMachineName ||
        std::none_of(name.begin(), name.end(), IsLetter))
        return false;
    const std::string word = AsciiLowerCase(WithoutCounter(name));
    return std::none_of(std::begin(HandMadeWords), std::end(HandMadeWords),
                        [&](const char* made) { return word == made; });
}

// One or more " (...)" groups, none holding a parenthesis, each a counter or
// marked by a conflict word, and at least one so marked.
bool IsDropboxPart(const std::string& text) {
    bool marked = false;
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, 2, " (") != 0)
            return false;
        const size_t close = text.find_first_of("()", at + 2);
        if (close == std::string::npos || text[close] != ')')
            return false;
        const std::string group = AsciiLowerCase(text.substr(at + 2, close - at - 2));
        const bool counter =
            !group.empty() && group.size() <= 3 && std::all_of(group.begin(), group.end(), IsDigit);
        const bool conflict =
            std::any_of(std::begin(DropboxConflictWords), std::end(DropboxConflictWords),
                        [&](const char* word) { return group.find(word) != std::string::npos; });
        if (!counter && !conflict)
            return false;
        marked = marked || conflict;
        at = close + 1;
    }
    return marked;
}

bool IsConflictPart(ConflictForm form, const std::string& rest) {
    switch (form) {
    case ConflictForm::MachineName:
        return rest[0] == '-' && IsMachinePart(rest.substr(1));
    case ConflictForm::ParenthesisedGroup:
        return IsDropboxPart(rest);
    }
    return false;
}

// Myers' difference algorithm in linear space: the furthest-reaching paths
// from both corners meet on a shortest edit script, the two parts on either
// side of that point are aligned on their own, and what both parts begin or
// end with is paired first. Diagonals whose path leaves the grid are not
// followed further.
class Aligner {
  public:
    Aligner(const std::vector<unsigned>& a, const std::vector<unsigned>& b,
            std::vector<std::pair<size_t, size_t>>& pairs)
        : a_(a), b_(b), pairs_(pairs) {}

    void Align(size_t a0, size_t a1, size_t b0, size_t b1) {
        while (a0 < a1 && b0 < b1 && a_[a0] == b_[b0])
            pairs_.emplace_back(a0++, b0++);
        size_t shared = 0;
        while (a0 < a1 && b0 < b1 && a_[a1 - 1] == b_[b1 - 1]) {
            --a1;
            --b1;
            ++shared;
        }
        if (a0 < a1 && b0 < b1) {
            const auto [x, y] = Meeting(a0, a1, b0, b1);
            Align(a0, x, b0, y);
            Align(x, a1, y, b1);
        }
        for (size_t i = 0; i < shared; ++i)
            pairs_.emplace_back(a1 + i, b1 + i);
    }

  private:
    using D = std::ptrdiff_t;

    // A point on a shortest path through a[a0, a1) and b[b0, b1), or the far
    // corner of a when the two hold no record in common.
    std::pair<size_t, size_t> Meeting(size_t a0, size_t a1, size_t b0, size_t b1) {
        const D n = D(a1 - a0), m = D(b1 - b0), delta = n - m, most = (n + m + 1) / 2;
        const bool odd = (delta & 1) != 0;
        forward_.assign(size_t(2 * most + 2), -1);
        reverse_.assign(forward_.size(), -1);
        forward_[size_t(most + 1)] = 0;
        reverse_[size_t(most + 1)] = 0;
        auto slot = [&](std::vector<D>& v, D k) -> D* {
            return k + most >= 0 && k + most < D(v.size()) ? &v[size_t(k + most)] : nullptr;
        };
        auto point = [&](D x, D y) {
            return std::pair<size_t, size_t>(a0 + size_t(x), b0 + size_t(y));
        };
        D forwardStart = 0, forwardEnd = 0, reverseStart = 0, reverseEnd = 0;
        for (D d = 0; d < most; ++d) {
            for (D k = -d + forwardStart; k <= d - forwardEnd; k += 2) {
                D& here = *slot(forward_, k);
                D x = k == -d || (k != d && *slot(forward_, k - 1) < *slot(forward_, k + 1))
                          ? *slot(forward_, k + 1)
                          : *slot(forward_, k - 1) + 1;
                D y = x - k;
                while (x < n && y < m && a_[a0 + size_t(x)] == b_[b0 + size_t(y)])
                    ++x, ++y;
                here = x;
                if (x > n) {
                    forwardEnd += 2;
                } else if (y > m) {
                    forwardStart += 2;
                } else if (odd) {
                    const D* other = slot(reverse_, delta - k);
                    if (other && *other != -1 && x >= n - *other)
                        return point(x, y);
                }
            }
            // The reverse paths count records from the far ends.
            for (D k = -d + reverseStart; k <= d - reverseEnd; k += 2) {
                D& here = *slot(reverse_, k);
                D x = k == -d || (k != d && *slot(reverse_, k - 1) < *slot(reverse_, k + 1))
                          ? *slot(reverse_, k + 1)
                          : *slot(reverse_, k - 1) + 1;
                D y = x - k;
                while (x < n && y < m && a_[a0 + size_t(n - 1 - x)] == b_[b0 + size_t(m - 1 - y)])
                    ++x, ++y;
                here = x;
                if (x > n) {
                    reverseEnd += 2;
                } else if (y > m) {
                    reverseStart += 2;
                } else if (!odd) {
                    const D* other = slot(forward_, delta - k);
                    if (other && *other != -1 && *other >= n - x)
                        return point(*other, *other - (delta - k));
                }
            }
        }
        return point(n, 0);
    }

    const std::vector<unsigned>& a_;
    const std::vector<unsigned>& b_;
    std::vector<std::pair<size_t, size_t>>& pairs_;
    std::vector<D> forward_, reverse_;
};

} // namespace

std::string ConflictCopyMonth(const std::string& name) {
    const std::string file = FileSystem::ExtractFileName(name);
    if (file.size() <= MonthLength + ExtensionLength ||
        AsciiLowerCase(file.substr(file.size() - ExtensionLength)) != DataExtension)
        return std::string();
    const std::string month = file.substr(0, MonthLength);
    if (!IsMonthlyDataFileName(month + DataExtension))
        return std::string();
    const std::string rest = file.substr(MonthLength, file.size() - MonthLength - ExtensionLength);
    for (const CloudProvider& provider : Providers)
        if (IsConflictPart(provider.conflictForm, rest))
            return month;
    return std::string();
}

std::vector<std::pair<size_t, size_t>> CommonRecords(const std::vector<unsigned>& a,
                                                     const std::vector<unsigned>& b) {
    // A record that the other side lacks altogether is in no common
    // subsequence: leaving such records out first keeps two files that share
    // little from costing the product of their lengths.
    const unsigned keys = 1 + std::max(a.empty() ? 0u : *std::max_element(a.begin(), a.end()),
                                       b.empty() ? 0u : *std::max_element(b.begin(), b.end()));
    std::vector<char> inA(keys, 0), inB(keys, 0);
    for (unsigned key : a)
        inA[key] = 1;
    for (unsigned key : b)
        inB[key] = 1;
    std::vector<unsigned> keptA, keptB;
    std::vector<size_t> fromA, fromB;
    for (size_t i = 0; i < a.size(); ++i)
        if (inB[a[i]]) {
            keptA.push_back(a[i]);
            fromA.push_back(i);
        }
    for (size_t j = 0; j < b.size(); ++j)
        if (inA[b[j]]) {
            keptB.push_back(b[j]);
            fromB.push_back(j);
        }
    std::vector<std::pair<size_t, size_t>> pairs;
    Aligner(keptA, keptB, pairs).Align(0, keptA.size(), 0, keptB.size());
    for (auto& [i, j] : pairs) {
        i = fromA[i];
        j = fromB[j];
    }
    return pairs;
}

std::vector<MergedRecord> MergeRecords(const std::vector<unsigned>& month,
                                       const std::vector<unsigned>& copy) {
    const std::vector<std::pair<size_t, size_t>> pairs = CommonRecords(month, copy);
    // Per record, the month file's instances left out of the alignment: as
    // many of the copy's left-out instances are the same ones moved, not
    // records the month file lacks.
    unsigned keys = 0;
    for (const std::vector<unsigned>* side : {&month, &copy})
        for (unsigned key : *side)
            keys = std::max(keys, key + 1);
    std::vector<size_t> unpaired(keys, 0);
    for (unsigned key : month)
        ++unpaired[key];
    for (const auto& pair : pairs)
        --unpaired[month[pair.first]];

    std::vector<MergedRecord> merged;
    merged.reserve(month.size() + copy.size());
    size_t i = 0, j = 0;
    for (size_t p = 0; p <= pairs.size(); ++p) {
        const size_t toI = p < pairs.size() ? pairs[p].first : month.size();
        const size_t toJ = p < pairs.size() ? pairs[p].second : copy.size();
        for (; i < toI; ++i)
            merged.push_back({false, i});
        for (; j < toJ; ++j) {
            if (unpaired[copy[j]] > 0)
                --unpaired[copy[j]];
            else
                merged.push_back({true, j});
        }
        if (p < pairs.size()) {
            merged.push_back({false, i++});
            ++j;
        }
    }
    return merged;
}

} // namespace TVNConfigUtil
