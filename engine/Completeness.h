// The counts behind CompareDataCompleteness, for callers that want to know
// how many records differ, not only which side holds more.
#pragma once

#include <string>
#include <string_view>

namespace TVNConfigUtil {

// For each of two roots, the number of its records that the other root
// lacks: every line of a monthly data file without a same-named file at the
// other root, and for each pair of same-named files the lines left when every
// line is matched with at most one equal line of the other file. Files kept
// online only are fetched first. Throws EFOpenError, named by the
// lower-cased full path, for a file that cannot be opened for reading, and
// EFCloudFileError, naming it with its sync client and the cause, for one the
// client could not provide.
// Stopped when the progress observer stopped the comparison before it had
// read every file: the counts then say nothing.
struct MissingRecordCounts {
    long long First = 0;
    long long Second = 0;
    bool Stopped = false;
};
MissingRecordCounts CountMissingRecords(const std::string& firstRoot,
                                        const std::string& secondRoot);

// What a comparison of two roots found.
enum class Comparison {
    Same,               // neither root holds a record that the other lacks
    FirstMoreComplete,  // only the first holds records that the second lacks
    SecondMoreComplete, // only the second holds records that the first lacks
    EachLacks,          // each holds records that the other lacks
    Stopped,            // the observer stopped it: nothing is known
};
Comparison ComparisonOf(const MissingRecordCounts& counts);
Comparison CompareRoots(const std::string& firstRoot, const std::string& secondRoot);

// What makes two records, or two file paths, the same: equal keys, given by
// the locale-aware case-insensitive comparison's sort keys.
std::string SameTextKey(std::string_view text);

} // namespace TVNConfigUtil
