// The pure rules of sync conflict copies: which file names are a sync
// client's conflict copy of a monthly data file, and in which order the
// records of a copy join those of its month file. No file access, so they
// also build natively and are fuzzed there.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace TVNConfigUtil {

// The month ("yyyy-mm", as the name writes it) of the monthly data file whose
// sync conflict copy the name is, or empty when it is none. As with
// IsMonthlyDataFileName, only the part after the last "\" or ":" counts.
std::string ConflictCopyMonth(const std::string& name);

// Records are numbers here: two records are the same record when their
// numbers are equal.
//
// A longest common subsequence of a and b, as pairs of indices (of a, of b)
// rising on both sides. Near-linear when the two differ by few records.
std::vector<std::pair<size_t, size_t>> CommonRecords(const std::vector<unsigned>& a,
                                                     const std::vector<unsigned>& b);

// One record of a merged file: the month file's record index, or the copy's.
struct MergedRecord {
    bool fromCopy = false;
    size_t index = 0;
    bool operator==(const MergedRecord&) const = default;
};

// The month file's records in their order, with each record of the copy that
// the month file lacks (matched one for one) inserted where it stands in the
// copy relative to the records both hold, after the month file's own records
// at that place.
std::vector<MergedRecord> MergeRecords(const std::vector<unsigned>& month,
                                       const std::vector<unsigned>& copy);

} // namespace TVNConfigUtil
