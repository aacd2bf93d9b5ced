// The counts behind CompareDataCompleteness, for callers that want to know
// how many records differ, not only which side holds more.
#pragma once

#include <string>

namespace TVNConfigUtil {

// For each of two roots, the number of its records that the other root
// lacks: every line of a monthly data file without a same-named file at the
// other root, and for each pair of same-named files the lines left when every
// line is matched with at most one equal line of the other file. Throws
// EFOpenError, named by the lower-cased full path, for a file that cannot be
// opened for reading.
struct MissingRecordCounts {
    long long First = 0;
    long long Second = 0;
};
MissingRecordCounts CountMissingRecords(const std::string& firstRoot,
                                        const std::string& secondRoot);

// 0 when neither root lacks anything, 1 when only the second lacks records of
// the first, 2 when only the first lacks records of the second, -1 when both.
int CompletenessResult(const MissingRecordCounts& counts);

} // namespace TVNConfigUtil
