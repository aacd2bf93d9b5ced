// The alignment of a month file's records with a copy's, and the merge built
// on it, against a table of longest common subsequence lengths. The input's
// bytes are records, each a number out of a few, so that many are equal; a
// byte 255 ends the month file's records and begins the copy's.
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "ConflictRules.h"
#include "FuzzCheck.h"

using namespace TVNConfigUtil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::vector<unsigned> month, copy;
    const unsigned kinds = size > 0 ? 2 + data[0] % 12 : 2;
    bool inCopy = false;
    for (size_t i = 1; i < size && month.size() + copy.size() < 400; ++i) {
        if (data[i] == 255 && !inCopy)
            inCopy = true;
        else
            (inCopy ? copy : month).push_back(data[i] % kinds);
    }
    std::vector<std::vector<size_t>> longest(month.size() + 1,
                                             std::vector<size_t>(copy.size() + 1, 0));
    for (size_t i = 1; i <= month.size(); ++i)
        for (size_t j = 1; j <= copy.size(); ++j)
            longest[i][j] = month[i - 1] == copy[j - 1]
                                ? longest[i - 1][j - 1] + 1
                                : std::max(longest[i - 1][j], longest[i][j - 1]);

    const auto pairs = CommonRecords(month, copy);
    FUZZ_CHECK(pairs.size() == longest[month.size()][copy.size()]);
    for (size_t p = 0; p < pairs.size(); ++p) {
        FUZZ_CHECK(month[pairs[p].first] == copy[pairs[p].second]);
        FUZZ_CHECK(p == 0 ||
                   (pairs[p].first > pairs[p - 1].first && pairs[p].second > pairs[p - 1].second));
    }

    // Every record of the month file, in its order; of each record, as many
    // as the file holding more of it; copy records in the copy's order, each
    // between the pairs that surround it in the copy.
    std::map<unsigned, long> balance;
    for (unsigned key : month)
        ++balance[key];
    for (unsigned key : copy)
        --balance[key];
    size_t nextMonth = 0, nextCopy = 0, pair = 0;
    for (const MergedRecord& record : MergeRecords(month, copy)) {
        if (!record.fromCopy) {
            FUZZ_CHECK(record.index == nextMonth++);
            while (pair < pairs.size() && pairs[pair].first < nextMonth)
                ++pair;
            continue;
        }
        FUZZ_CHECK(record.index >= nextCopy && record.index < copy.size());
        FUZZ_CHECK(pair == pairs.size() || pairs[pair].second > record.index);
        FUZZ_CHECK(pair == 0 || pairs[pair - 1].second < record.index);
        nextCopy = record.index + 1;
        FUZZ_CHECK(++balance[copy[record.index]] <= 0);
    }
    FUZZ_CHECK(nextMonth == month.size());
    for (const auto& [key, left] : balance)
        FUZZ_CHECK(left >= 0);
    return 0;
}
