// Data for the benchmarks: realistic monthly time records at two roots, and a
// large folder tree to copy.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Two roots, each with a Data folder of 120 monthly data files (ten years),
// every file holding `lines` time records. The second root is the first with
// about 1% of the records in another letter case, 0.5% missing and 0.5% extra.
struct RecordRoots {
    std::string first;               // with a trailing backslash
    std::string second;              // with a trailing backslash
    std::vector<std::string> months; // file names, "2015-01.txt" ...
    long long bytes = 0;             // of both roots together
};
RecordRoots WriteRecordRoots(const std::string& folder, int lines, unsigned seed);

// A root whose Data folder holds one month file of `lines` time records and
// a sync conflict copy of it that differs by `differing` records: half of
// them left out of the copy, half new ones added to it at random places.
std::string WriteMonthWithCopy(const std::string& folder, int lines, int differing, unsigned seed);

// A tree of about a thousand files of 64 to 160 KB each (over 100 MB in all)
// in fifty folders on two levels.
struct TreeSize {
    int files = 0;
    int folders = 0;
    long long bytes = 0;
};
TreeSize WriteCopyTree(const std::string& folder);

// Everything below a folder: folders (parents first) and files, as paths
// relative to it.
struct TreeListing {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    long long bytes = 0;
};
TreeListing ListTree(const std::string& folder);

// Removes a folder with everything in it.
void RemoveTree(const std::string& folder);

} // namespace bench
