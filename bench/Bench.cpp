// Times the completeness comparison against the plain linear one and against
// only reading its files, the folder copy against a bare loop of the
// platform's file copy, and the merge of a sync conflict copy. Prints one
// table; the last line is for machines:
//   bench: speedup_vs_linear=<x> compare_vs_read=<y> copy_vs_copyfile=<z>
//          copy_vs_renamed=<r> progress_overhead=<p>% merge_ms=<m>
//          look_vs_compare=<l>%
// (the tree copy also against a loop that copies each file to a temporary
// name and renames it, the least a copy that leaves no half file costs; what the window's progress
// observer costs, from interleaved runs with it and without, for the comparison and for the tree
// copy, the larger of the two; the median merge of a 10,000-line month file with a copy 50 records
// apart, with its checks, backup and replacement; and the look for conflict
// copies in the two compared roots against the comparison).
//
//   tvn_bench <work folder> [<tree folder> [<cp -r seconds>]]
//   tvn_bench --make-tree <tree folder>
//
// The work folder receives the generated data and is emptied again. Without a
// tree folder the benchmark writes its own tree into the work folder; the
// second form only writes the tree, so that a script can time other copy
// tools on the same files. The exit code is 1 when a target is missed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "BackgroundWork.h"
#include "Completeness.h"
#include "CompletenessOracle.h"
#include "ConflictCopies.h"
#include "FileSystem.h"
#include "Generators.h"
#include "Progress.h"
#include "StringList.h"
#include "TVNConfigUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

const int Runs = 30;
// Copies of 100 MB vary more from run to run on a busy machine.
const int CopyRuns = 11;
// The observer's cost is a small difference between two copies that each
// vary by a tenth or more while others use the machine: more pairs of them.
// An odd number, so that the runs begin by turns with and without it (see
// ObserverPairs).
const int CopyPairsPerRun = 3;
const double SpeedupTarget = 100.0;
const double CompareVsReadTarget = 1.5;
const double CopyVsCopyFileTarget = 1.15;
const double ProgressOverheadTarget = 0.02;
const double MergeSecondsTarget = 0.050;
const double LookVsCompareTarget = 0.05;
const int MergeLines = 10000, MergeDiffering = 50;
// The linear comparison is timed on file pairs until this much time has gone;
// beyond it the total for all pairs is estimated from the pairs timed.
const double LinearBudgetSeconds = 20.0;

double Seconds(const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The work timed with the progress observer attached and without, in pairs,
// one right after the other, so that both halves of a pair meet the same load
// on the machine. Every other pair runs the other half first, because the
// second of two runs in a row took a few percent longer here, as much as the
// cost to be measured. Two pairs of opposite order taken together cancel that:
// the geometric mean of their ratios is what the observer costs, and that of
// their first-by-second ratios the order's effect. Callers let whatever else
// they time come before the one half as often as before the other.
struct ObserverPairs {
    std::vector<double> with;
    std::vector<double> without;
    std::vector<double> ratios; // with / without, pair by pair

    // `after` runs untimed after each half, to check and clear what it made.
    void Time(const std::function<void()>& work, const std::function<void()>& after) {
        auto observed = [&] {
            SharedProgress progress;
            TVNConfigUtil::ProgressScope scope(progress);
            work();
        };
        const bool withFirst = ratios.size() % 2 == 0;
        const double first = Seconds(withFirst ? std::function<void()>(observed) : work);
        after();
        const double second = Seconds(withFirst ? work : std::function<void()>(observed));
        after();
        with.push_back(withFirst ? first : second);
        without.push_back(withFirst ? second : first);
        ratios.push_back(with.back() / without.back());
    }

    // One value for each two pairs, with first and without first.
    std::vector<double> ObserverEffects() const { return Combined(+1); }
    std::vector<double> OrderEffects() const { return Combined(-1); }

  private:
    std::vector<double> Combined(int sign) const {
        std::vector<double> effects;
        for (size_t k = 0; k + 1 < ratios.size(); k += 2)
            effects.push_back(std::sqrt(ratios[k] * std::pow(ratios[k + 1], sign)));
        return effects;
    }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Duration(double seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%.1f h", seconds / 3600);
    else if (seconds >= 100)
        std::snprintf(text, sizeof text, "%.0f s", seconds);
    else if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    else
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
    return text;
}

std::string Ratio(double ratio) {
    char text[32];
    std::snprintf(text, sizeof text, ratio >= 100 ? "%.0fx" : "%.2fx", ratio);
    return text;
}

struct ComparisonRow {
    int lines = 0;
    double megabytes = 0;
    double linear = 0; // all 120 pairs, measured or estimated
    int linearPairs = 0;
    double compare = 0;
    double observed = 0;                 // the comparison under the progress observer
    std::vector<double> observerEffects; // see ObserverPairs
    std::vector<double> orderEffects;
    double read = 0;       // each file into a string of its own
    double readReused = 0; // into one buffer per side, as the comparison reads
    double look = 0;       // the look for conflict copies in both roots (there are none)
    int result = 0;
};

ComparisonRow MeasureComparison(const std::string& work, int lines) {
    ComparisonRow row;
    row.lines = lines;
    const bench::RecordRoots roots =
        bench::WriteRecordRoots(work + "records-" + std::to_string(lines), lines, 20240305u);
    row.megabytes = static_cast<double>(roots.bytes) / (1024.0 * 1024.0);
    std::vector<std::string> files;
    for (const std::string& month : roots.months) {
        files.push_back(roots.first + "Data\\" + month);
        files.push_back(roots.second + "Data\\" + month);
    }
    auto readAll = [&] {
        size_t total = 0;
        for (const std::string& file : files)
            total += FileSystem::ReadWholeFile(file, file).size();
        if (total == 0)
            std::abort();
    };
    auto readReused = [&] {
        std::string text[2];
        size_t total = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            FileSystem::ReadWholeFileInto(files[i], files[i], text[i % 2]);
            total += text[i % 2].size();
        }
        if (total == 0)
            std::abort();
    };
    readAll(); // the same warm cache for every run

    std::vector<double> reads;
    std::vector<double> reusedReads;
    std::vector<double> looks;
    ObserverPairs pairs;
    auto compare = [&] {
        row.result = TVNConfigUtil::CompareDataCompleteness({roots.first, roots.second});
    };
    auto look = [&] {
        for (const std::string& root : {roots.first, roots.second})
            if (!TVNConfigUtil::FindConflictCopies(root).copies.empty())
                std::abort();
    };
    for (int run = 0; run < Runs; ++run) {
        reads.push_back(Seconds(readAll));
        reusedReads.push_back(Seconds(readReused));
        looks.push_back(Seconds(look));
        pairs.Time(compare, [] {});
    }
    row.read = Median(reads);
    row.readReused = Median(reusedReads);
    row.look = Median(looks);
    row.compare = Median(pairs.without);
    row.observed = Median(pairs.with);
    row.observerEffects = pairs.ObserverEffects();
    row.orderEffects = pairs.OrderEffects();

    // The linear comparison, pair by pair as it walks them: from the last
    // month down, each pair loaded into string lists and matched.
    std::vector<double> linearPairs;
    double spent = 0;
    for (auto month = roots.months.rbegin(); month != roots.months.rend(); ++month) {
        const double pair = Seconds([&] {
            TStringList first;
            TStringList second;
            second.LoadFromFile(roots.second + "Data\\" + *month);
            first.LoadFromFile(roots.first + "Data\\" + *month);
            long long firstCount = 0;
            long long secondCount = 0;
            oracle::MatchLines(first, second, firstCount, secondCount);
        });
        linearPairs.push_back(pair);
        spent += pair;
        if (spent >= LinearBudgetSeconds && linearPairs.size() < roots.months.size())
            break;
    }
    row.linearPairs = static_cast<int>(linearPairs.size());
    row.linear = row.linearPairs == static_cast<int>(roots.months.size())
                     ? spent
                     : Median(linearPairs) * static_cast<double>(roots.months.size());
    bench::RemoveTree(work + "records-" + std::to_string(lines));
    return row;
}

std::string BackupMadeIn(const std::string& folder);

struct MergeTimes {
    double look = 0;  // FindConflictCopies: both files read, the copy aligned in memory
    double merge = 0; // MergeConflictCopies: the checks, the backup and the replacement
    long long added = 0;
};

// Each run merges the copy into the month file as generated, which is then
// put back and its backup removed.
MergeTimes MeasureMerge(const std::string& work) {
    MergeTimes times;
    const std::string root =
        bench::WriteMonthWithCopy(work + "merge", MergeLines, MergeDiffering, 20240105u);
    const std::string month = root + "Data\\2024-01.txt", kept = work + "merge-month.txt";
    if (!CopyFileA(month.c_str(), kept.c_str(), FALSE))
        std::abort();
    std::vector<double> looks, merges;
    for (int run = 0; run < Runs; ++run) {
        looks.push_back(
            Seconds([&] { times.added = TVNConfigUtil::FindConflictCopies(root).records; }));
        merges.push_back(Seconds([&] {
            if (!TVNConfigUtil::MergeConflictCopies(root).errorText.empty())
                std::abort();
        }));
        const std::string backup = BackupMadeIn(root);
        if (backup.empty() || !CopyFileA(kept.c_str(), month.c_str(), FALSE))
            std::abort();
        bench::RemoveTree(backup);
    }
    times.look = Median(looks);
    times.merge = Median(merges);
    bench::RemoveTree(root);
    DeleteFileA(kept.c_str());
    return times;
}

struct CopyTimes {
    bench::TreeListing tree;
    double floor = 0;
    double renamed = 0; // CopyFileA to a temporary name, then MoveFileExA: the same safe work
    double copyTree = 0;
    double observed = 0;                 // the tree copy under the progress observer
    std::vector<double> observerEffects; // see ObserverPairs
    std::vector<double> orderEffects;
    double backup = 0;
    bool complete = true;
};

// Every method must have copied every file with every byte.
bool SameListing(const bench::TreeListing& a, const bench::TreeListing& b) {
    return a.files.size() == b.files.size() && a.bytes == b.bytes;
}

std::string BackupMadeIn(const std::string& folder) {
    for (const std::string& name : bench::ListTree(folder).folders)
        if (name.find('\\') == name.size() - 1 &&
            TVNConfigUtil::IsBackupFolderName(TVNConfigUtil::BackupPrefix,
                                              name.substr(0, name.size() - 1)))
            return folder + name;
    return std::string();
}

CopyTimes MeasureCopy(const std::string& work, const std::string& source) {
    CopyTimes times;
    times.tree = bench::ListTree(source);
    const std::string floorTarget = work + "copy-floor\\";
    const std::string treeTarget = work + "copy-tree\\";

    auto bareLoop = [&] {
        CreateDirectoryA(floorTarget.c_str(), nullptr);
        for (const std::string& folder : times.tree.folders)
            CreateDirectoryA((floorTarget + folder).c_str(), nullptr);
        for (const std::string& file : times.tree.files)
            if (!CopyFileA((source + file).c_str(), (floorTarget + file).c_str(), FALSE))
                std::abort();
    };
    // Each file whole or not at all, the least a copy that no crash leaves
    // half done can cost.
    auto renameLoop = [&] {
        CreateDirectoryA(floorTarget.c_str(), nullptr);
        for (const std::string& folder : times.tree.folders)
            CreateDirectoryA((floorTarget + folder).c_str(), nullptr);
        for (const std::string& file : times.tree.files) {
            const size_t name = file.rfind('\\') + 1;
            const std::string target = floorTarget + file,
                              temporary = floorTarget + file.substr(0, name) + "~$" +
                                          file.substr(name) + ".tvn.tmp";
            if (!CopyFileA((source + file).c_str(), temporary.c_str(), TRUE) ||
                !MoveFileExA(temporary.c_str(), target.c_str(), 0))
                std::abort();
        }
    };
    auto copyTree = [&] {
        if (!TVNConfigUtil::CopyFolderTree(source, treeTarget, ""))
            std::abort();
    };
    auto backup = [&] {
        if (!TVNConfigUtil::BackupFolder(source, source))
            std::abort();
    };

    auto checkCopy = [&] {
        times.complete &= SameListing(bench::ListTree(treeTarget), times.tree);
        bench::RemoveTree(treeTarget);
    };

    std::vector<double> floors, renames, backups;
    ObserverPairs pairs;
    for (int run = 0; run < CopyRuns; ++run) {
        // Rotate the order, so that no method always runs on a colder cache.
        for (int step = 0; step < 4; ++step) {
            switch ((run + step) % 4) {
            case 0:
                floors.push_back(Seconds(bareLoop));
                times.complete &= SameListing(bench::ListTree(floorTarget), times.tree);
                bench::RemoveTree(floorTarget);
                break;
            case 3:
                renames.push_back(Seconds(renameLoop));
                times.complete &= SameListing(bench::ListTree(floorTarget), times.tree);
                bench::RemoveTree(floorTarget);
                break;
            case 1:
                for (int pair = 0; pair < CopyPairsPerRun; ++pair)
                    pairs.Time(copyTree, checkCopy);
                break;
            case 2: {
                backups.push_back(Seconds(backup));
                const std::string made = BackupMadeIn(source);
                times.complete &= !made.empty() && SameListing(bench::ListTree(made), times.tree);
                if (!made.empty())
                    bench::RemoveTree(made);
                break;
            }
            }
        }
    }
    times.floor = Median(floors);
    times.renamed = Median(renames);
    times.copyTree = Median(pairs.without);
    times.observed = Median(pairs.with);
    times.observerEffects = pairs.ObserverEffects();
    times.orderEffects = pairs.OrderEffects();
    times.backup = Median(backups);
    return times;
}

std::string Percent(double fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f%%", fraction * 100);
    return text;
}

// An effect from its values for each two pairs: their median, and the middle
// half of them to show how far they spread.
std::string PairedEffect(std::vector<double> ratios) {
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    return Percent(Median(ratios) - 1.0) + " (middle half " + Percent(ratios[n / 4] - 1.0) +
           " to " + Percent(ratios[(3 * n) / 4] - 1.0) + ")";
}

std::string Verdict(bool met) {
    return met ? "met" : "MISSED";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tvn_bench <work folder> [<tree folder> [<cp -r seconds>]]\n");
        return 2;
    }
    if (std::string(argv[1]) == "--make-tree") {
        if (argc < 3)
            return 2;
        const bench::TreeSize size = bench::WriteCopyTree(argv[2]);
        std::fprintf(stderr, "tree: %d files, %.1f MB in %d folders\n", size.files,
                     static_cast<double>(size.bytes) / (1024.0 * 1024.0), size.folders);
        return 0;
    }
    const std::string work = TVNConfigUtil::AddBackslash(argv[1]);
    std::string tree = argc > 2 ? TVNConfigUtil::AddBackslash(argv[2]) : std::string();
    const double cpSeconds = argc > 3 ? std::atof(argv[3]) : 0.0;
    if (!FileSystem::ForceDirectories(work)) {
        std::fprintf(stderr, "cannot create %s\n", work.c_str());
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    std::vector<ComparisonRow> rows;
    for (int lines : {1000, 10000}) {
        std::fprintf(stderr, "comparison, %d lines per file...\n", lines);
        rows.push_back(MeasureComparison(work, lines));
    }

    const bool ownTree = tree.empty();
    if (ownTree) {
        tree = work + "tree\\";
        bench::WriteCopyTree(tree);
    }
    std::fprintf(stderr, "conflict copy merge...\n");
    const MergeTimes merge = MeasureMerge(work);
    std::fprintf(stderr, "tree copy...\n");
    const CopyTimes copy = MeasureCopy(work, tree);
    if (ownTree)
        bench::RemoveTree(tree);

    std::printf("\nCompleteness comparison: 2 roots x 120 monthly files of time records; "
                "medians of %d runs\n",
                Runs);
    std::printf("%-11s %-9s %-34s %-11s %-10s %-12s %-15s %-12s %-14s %s\n", "lines/file", "data",
                "linear reference (120 pairs)", "comparison", "read only", "read reused",
                "linear/compare", "compare/read", "compare/reused", "result");
    for (const ComparisonRow& row : rows) {
        std::string linear = Duration(row.linear);
        if (row.linearPairs < 120)
            linear += " (est. from " + std::to_string(row.linearPairs) + " pairs)";
        char data[32];
        std::snprintf(data, sizeof data, "%.0f MB", row.megabytes);
        std::printf("%-11d %-9s %-34s %-11s %-10s %-12s %-15s %-12s %-14s %d\n", row.lines, data,
                    linear.c_str(), Duration(row.compare).c_str(), Duration(row.read).c_str(),
                    Duration(row.readReused).c_str(), Ratio(row.linear / row.compare).c_str(),
                    Ratio(row.compare / row.read).c_str(),
                    Ratio(row.compare / row.readReused).c_str(), row.result);
    }
    std::printf("(read only: each file into a string of its own; read reused: into one buffer "
                "per root, as the comparison reads them)\n");
    std::printf("(linear: the string-list method with linear locale-aware look-ups; past %.0f s "
                "it is timed on the last months only and the median pair is multiplied by 120)\n",
                LinearBudgetSeconds);

    std::printf("\nSync conflict copies: a %d-line month file and a copy %d records apart "
                "(%lld to add); medians of %d runs\n",
                MergeLines, MergeDiffering, merge.added, Runs);
    std::printf("  look (read both, align in memory)        %s\n", Duration(merge.look).c_str());
    std::printf("  merge (checks, backup, replacement)      %s\n", Duration(merge.merge).c_str());
    for (const ComparisonRow& row : rows)
        std::printf("  look in the two roots of %5d-line files %s, %s of the comparison\n",
                    row.lines, Duration(row.look).c_str(),
                    Percent(row.look / row.compare).substr(1).c_str());

    std::printf("\nTree copy: %zu files, %.1f MB in %zu folders; medians of %d runs "
                "(CopyFolderTree: of its %d runs without the observer)\n",
                copy.tree.files.size(), static_cast<double>(copy.tree.bytes) / (1024.0 * 1024.0),
                copy.tree.folders.size(), CopyRuns, CopyRuns * CopyPairsPerRun);
    std::printf("%-34s %-10s %s\n", "method", "time", "vs CopyFileA loop");
    std::printf("%-34s %-10s %s\n", "CopyFileA loop (floor)", Duration(copy.floor).c_str(),
                "1.00x");
    std::printf("%-34s %-10s %s\n", "CopyFileA to ~$*.tvn.tmp + rename",
                Duration(copy.renamed).c_str(), Ratio(copy.renamed / copy.floor).c_str());
    std::printf("%-34s %-10s %s\n", "CopyFolderTree", Duration(copy.copyTree).c_str(),
                Ratio(copy.copyTree / copy.floor).c_str());
    std::printf("%-34s %-10s %s\n", "BackupFolder (into itself)", Duration(copy.backup).c_str(),
                Ratio(copy.backup / copy.floor).c_str());
    if (cpSeconds > 0)
        std::printf("%-34s %-10s %s\n", "cp -r from Linux (reference only)",
                    Duration(cpSeconds).c_str(), Ratio(cpSeconds / copy.floor).c_str());
    if (!copy.complete)
        std::printf("a copy was incomplete\n");

    const ComparisonRow& big = rows.back();
    const double speedup = big.linear / big.compare;
    const double compareVsRead = big.compare / big.read;
    const double copyVsCopyFile = copy.copyTree / copy.floor;
    const double copyVsRenamed = copy.copyTree / copy.renamed;
    const bool speedupMet = speedup >= SpeedupTarget;
    const bool readMet = compareVsRead <= CompareVsReadTarget;
    const bool copyMet = copyVsCopyFile <= CopyVsCopyFileTarget && copy.complete;
    const double overhead =
        std::max(Median(big.observerEffects), Median(copy.observerEffects)) - 1.0;
    const bool overheadMet = overhead <= ProgressOverheadTarget;
    const double lookVsCompare = big.look / big.compare;
    const bool mergeMet = merge.merge < MergeSecondsTarget;
    const bool lookMet = lookVsCompare < LookVsCompareTarget;
    std::printf("\nWith the progress observer against without, %d and %d interleaved pairs, "
                "every other one in the other order:\n"
                "  comparison %s, medians %s with, %s without; second run of a pair %s\n"
                "  tree copy  %s, medians %s with, %s without; second run of a pair %s\n",
                Runs, CopyRuns * CopyPairsPerRun, PairedEffect(big.observerEffects).c_str(),
                Duration(big.observed).c_str(), Duration(big.compare).c_str(),
                Percent(1.0 / Median(big.orderEffects) - 1.0).c_str(),
                PairedEffect(copy.observerEffects).c_str(), Duration(copy.observed).c_str(),
                Duration(copy.copyTree).c_str(),
                Percent(1.0 / Median(copy.orderEffects) - 1.0).c_str());
    std::printf("\nTargets at %d lines per file: comparison >= %.0fx faster than linear: %s; "
                "comparison <= %.1fx read only: %s; tree copy <= %.2fx CopyFileA loop: %s; "
                "progress overhead <= %.0f%%: %s; merge < %.0f ms: %s; look < %.0f%% of the "
                "comparison: %s\n",
                big.lines, SpeedupTarget, Verdict(speedupMet).c_str(), CompareVsReadTarget,
                Verdict(readMet).c_str(), CopyVsCopyFileTarget, Verdict(copyMet).c_str(),
                ProgressOverheadTarget * 100, Verdict(overheadMet).c_str(),
                MergeSecondsTarget * 1000, Verdict(mergeMet).c_str(), LookVsCompareTarget * 100,
                Verdict(lookMet).c_str());
    std::printf("bench: speedup_vs_linear=%.1f compare_vs_read=%.2f copy_vs_copyfile=%.2f "
                "copy_vs_renamed=%.2f progress_overhead=%.1f%% merge_ms=%.1f "
                "look_vs_compare=%.2f%%\n",
                speedup, compareVsRead, copyVsCopyFile, copyVsRenamed, overhead * 100,
                merge.merge * 1000, lookVsCompare * 100);
    return speedupMet && readMet && copyMet && overheadMet && mergeMet && lookMet ? 0 : 1;
}
