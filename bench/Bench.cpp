// Times the completeness comparison against the plain linear one and against
// only reading its files, the folder copy against a loop of the platform's
// file copy, the merge of a sync conflict copy, and the program's start to a
// window that answers against a minimal window's. Prints one table; the last
// line is for machines:
//   bench: speedup_vs_linear=<x> compare_vs_floor=<y> compare_1k_vs_floor=<y1>
//          copy_vs_copyfile=<z> copy_vs_bare=<r> progress_overhead=<p>%
//          merge_ms=<m> look_vs_compare=<l>% startup_vs_minimal=<s>
//          recorded_copy_vs_copyfile=<c>
// (the tree copy against a loop that lists the tree and copies each file
// with CopyFileA to a temporary name and renames it, the least a copy that
// leaves no half file costs, and against one that copies each file straight
// to its name; the tree copy with a run's record against the first loop;
// what the window's progress observer costs, from interleaved runs with it
// and without, for the comparison and for the tree copy, the larger of the
// two; the median merge of a 10,000-line month file with a copy 50 records
// apart, with its checks, backup and replacement; the look for conflict
// copies in the two compared roots against the comparison; and the start).
// The comparison's floor is the fastest of the ways the benchmark has to
// read the same files, timed in the same runs.
//
//   tvn_bench <work folder> [<tree folder> [<cp -r seconds>]]
//   tvn_bench --make-tree <tree folder>
//   tvn_bench --start <work folder>
//
// The work folder receives the generated data and is emptied again. Without a
// tree folder the benchmark writes its own tree into the work folder; the
// second form only writes the tree, so that a script can time other copy
// tools on the same files; the third times only the start. The exit code
// is 1 when a target is missed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BackgroundWork.h"
#include "Completeness.h"
#include "CopyPlan.h"
#include "CompletenessOracle.h"
#include "ConflictCopies.h"
#include "FileSystem.h"
#include "Generators.h"
#include "Progress.h"
#include "RunRecord.h"
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
const double CompareVsFloorTarget = 1.5;   // at 10,000 lines per file
const double CompareVsFloorTarget1k = 1.3; // at 1,000
const double CopyVsCopyFileTarget = 1.10;
const double StartupVsMinimalTarget = 1.3;
// Starts of each program, by turns.
const int StartRuns = 15;
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
    double readRaw = 0;    // one ReadFile of each into one buffer, big enough for any
    double Floor() const { return std::min(readReused, readRaw); }
    double look = 0; // the look for conflict copies in both roots (there are none)
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
    // The least a read can be: each file opened and read with one call into
    // a buffer that holds the largest.
    std::vector<char> buffer(size_t(1) << 16);
    for (const std::string& file : files) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data))
            buffer.resize(std::max<size_t>(buffer.size(), data.nFileSizeLow + size_t(1)));
    }
    auto readRaw = [&] {
        size_t total = 0;
        for (const std::string& file : files) {
            UniqueFileHandle handle(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                nullptr));
            DWORD got = 0;
            if (!handle || !ReadFile(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                     &got, nullptr))
                std::abort();
            total += got;
        }
        if (total == 0)
            std::abort();
    };
    readAll(); // the same warm cache for every run

    std::vector<double> reads;
    std::vector<double> reusedReads;
    std::vector<double> rawReads;
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
        rawReads.push_back(Seconds(readRaw));
        looks.push_back(Seconds(look));
        pairs.Time(compare, [] {});
    }
    row.read = Median(reads);
    row.readReused = Median(reusedReads);
    row.readRaw = Median(rawReads);
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
    double carried = 0; // the copy of a plan made beforehand, as a configuration copies
    std::vector<double> copyVsFloor;     // the tree copy over its floor, pair by pair
    double pairedWithout = 0;            // the tree copy in the observer's pairs, without it
    double observed = 0;                 // the tree copy under the progress observer
    std::vector<double> observerEffects; // see ObserverPairs
    std::vector<double> orderEffects;
    double backup = 0;
    // The tree copy as a configuration makes it, with its record: a journal
    // line before and after each file and the SHA-256 of each file placed.
    double recorded = 0;
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

// Copies the tree at from into to (both ending with a backslash), each
// folder listed once and made, each file handed to copy as it is found.
template <typename Copy>
void WalkAndCopy(const std::string& from, const std::string& to, const Copy& copy) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((from + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        std::abort();
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            WalkAndCopy(from + name + "\\", to + name + "\\", copy);
        else if (!copy(from + name, to + name))
            std::abort();
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

CopyTimes MeasureCopy(const std::string& work, const std::string& source) {
    CopyTimes times;
    times.tree = bench::ListTree(source);
    const std::string floorTarget = work + "copy-floor\\";
    const std::string treeTarget = work + "copy-tree\\";

    // Both loops list the tree as they go, as any copy of a tree must: the
    // fastest complete copy with the platform's call, one file straight to
    // its name, or each whole or not at all, the least a copy that no crash
    // leaves half done can cost.
    auto bareLoop = [&] {
        WalkAndCopy(source, floorTarget, [](const std::string& from, const std::string& to) {
            return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
        });
    };
    auto renameLoop = [&] {
        WalkAndCopy(source, floorTarget, [](const std::string& from, const std::string& to) {
            const size_t name = to.rfind('\\') + 1;
            const std::string temporary = to.substr(0, name) + "~$" + to.substr(name) + ".tvn.tmp";
            return CopyFileA(from.c_str(), temporary.c_str(), TRUE) &&
                   MoveFileExA(temporary.c_str(), to.c_str(), 0);
        });
    };
    auto copyTree = [&] {
        if (!TVNConfigUtil::CopyFolderTree(source, treeTarget, ""))
            std::abort();
    };
    auto backup = [&] {
        if (!TVNConfigUtil::BackupFolder(source, source))
            std::abort();
    };
    const std::string recordFolder = work + "record\\";
    auto recordedCopy = [&] {
        CreateDirectoryA(recordFolder.c_str(), nullptr);
        TVNConfigUtil::RunRecord header;
        header.kind = "configuration";
        TVNConfigUtil::RunRecorder recorder(header, recordFolder);
        if (!TVNConfigUtil::CopyFolderTree(source, treeTarget, ""))
            std::abort();
    };

    auto checkCopy = [&] {
        times.complete &= SameListing(bench::ListTree(treeTarget), times.tree);
        bench::RemoveTree(treeTarget);
    };

    std::vector<double> floors, renames, backups, recordeds, carried, copies;
    ObserverPairs pairs;
    for (int run = 0; run < CopyRuns; ++run) {
        // Rotate the order, so that no method always runs on a colder cache.
        for (int step = 0; step < 6; ++step) {
            switch ((run + step) % 6) {
            case 5: {
                const TVNConfigUtil::TreePlan plan =
                    TVNConfigUtil::PlanCopy(source, treeTarget, "");
                carried.push_back(Seconds([&] {
                    if (!TVNConfigUtil::CarryOutCopy(plan, nullptr))
                        std::abort();
                }));
                checkCopy();
                break;
            }
            case 4:
                recordeds.push_back(Seconds(recordedCopy));
                checkCopy();
                bench::RemoveTree(recordFolder);
                break;
            case 0:
                floors.push_back(Seconds(bareLoop));
                times.complete &= SameListing(bench::ListTree(floorTarget), times.tree);
                bench::RemoveTree(floorTarget);
                break;
            // The copy next to its floor, each first by turns: the order of
            // the methods stays the same from round to round, and a method
            // run after others that wrote hundreds of MB (the observer's
            // pairs) waits on the system's writing out of theirs.
            case 3: {
                double copySeconds = 0, floorSeconds = 0;
                for (int half = 0; half < 2; ++half) {
                    if ((half == 0) == (run % 2 == 1)) {
                        copySeconds = Seconds(copyTree);
                        checkCopy();
                    } else {
                        floorSeconds = Seconds(renameLoop);
                        times.complete &= SameListing(bench::ListTree(floorTarget), times.tree);
                        bench::RemoveTree(floorTarget);
                    }
                }
                copies.push_back(copySeconds);
                renames.push_back(floorSeconds);
                times.copyVsFloor.push_back(copySeconds / floorSeconds);
                break;
            }
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
    times.copyTree = Median(copies);
    times.pairedWithout = Median(pairs.without);
    times.observed = Median(pairs.with);
    times.observerEffects = pairs.ObserverEffects();
    times.orderEffects = pairs.OrderEffects();
    times.backup = Median(backups);
    times.recorded = Median(recordeds);
    times.carried = Median(carried);
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

// The program's start: from CreateProcess to a visible top-level window of
// the new process that answers a message, against the same for a window with
// nothing in it and for one with the controls of the program's window (the
// same common controls and visual styles, sixteen controls, a font), which
// shows what of the difference any window of that kind costs. Each program
// is closed and has ended before the next starts.
struct StartTimes {
    double program = 0;
    double minimal = 0;
    double controls = 0;
    bool measured = false;
};

struct FoundWindow {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM found) {
    auto* wanted = reinterpret_cast<FoundWindow*>(found);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != wanted->process || !IsWindowVisible(window))
        return TRUE;
    wanted->window = window;
    return FALSE;
}

// Seconds to an answering window, or a negative number when none came.
double TimeStart(const std::string& exe, std::string& environment) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exe + "\"";
    const Clock::time_point start = Clock::now();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        environment.data(), nullptr, &startup, &info))
        return -1;
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    FoundWindow found{info.dwProcessId, nullptr};
    DWORD_PTR answer = 0;
    while (!found.window && Clock::now() - start < std::chrono::seconds(20)) {
        EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&found));
        if (!found.window)
            Sleep(1);
    }
    const bool answered = found.window && SendMessageTimeoutA(found.window, WM_NULL, 0, 0,
                                                              SMTO_NORMAL, 20000, &answer);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (found.window)
        PostMessageA(found.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 20000);
    }
    return answered ? seconds : -1;
}

// An environment block of this process's variables with some replaced.
std::string EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& replaced) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* at = strings; at && *at; at += std::strlen(at) + 1) {
        const std::string entry = at;
        const std::string name = entry.substr(0, entry.find('=', 1));
        bool kept = true;
        for (const auto& pair : replaced)
            kept &= lstrcmpiA(pair.first.c_str(), name.c_str()) != 0;
        if (kept)
            block.append(entry).push_back('\0');
    }
    if (strings)
        FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : replaced)
        block.append(name + "=" + value).push_back('\0');
    block.push_back('\0');
    return block;
}

StartTimes MeasureStart(const std::string& work) {
    StartTimes times;
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string folder =
        std::string(self, length).substr(0, std::string(self, length).rfind('\\') + 1);
    // A user with an installation whose data lies in OneDrive, as the
    // window finds it at most starts.
    const std::string sandbox = work + "start\\";
    const std::string install = sandbox + "appdata\\Brimlace\\Tallyvane\\";
    const std::string cloud = sandbox + "profile\\OneDrive\\Tallyvane Data\\";
    if (!FileSystem::ForceDirectories(install) || !FileSystem::ForceDirectories(cloud + "Data") ||
        !FileSystem::ForceDirectories(sandbox + "localappdata"))
        return times;
    auto write = [](const std::string& path, const std::string& text) {
        UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return file && WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr);
    };
    write(install + TVNConfigUtil::InstallationMarkerName, "[Tallyvane]\r\n");
    write(install + TVNConfigUtil::SettingsFileName,
          "[Setup]\r\nRedirect=" + TVNConfigUtil::RemoveBackslash(cloud) + "\r\n");
    write(cloud + TVNConfigUtil::InstallationMarkerName, "[Tallyvane]\r\n");
    std::string environment = EnvironmentWith({{"APPDATA", sandbox + "appdata"},
                                               {"LOCALAPPDATA", sandbox + "localappdata"},
                                               {"USERPROFILE", sandbox + "profile"},
                                               {"OneDrive", ""},
                                               {"OneDriveCommercial", ""},
                                               {"OneDriveConsumer", ""}});
    const std::string programs[3] = {folder + "TVNCloudDrive.exe",
                                     folder + "tvn_minimal_window.exe",
                                     folder + "tvn_control_window.exe"};
    std::vector<double> seconds[3];
    // Once each unmeasured: the first start after a build loads files the
    // others find in the cache.
    for (const std::string& program : programs)
        if (TimeStart(program, environment) < 0) {
            std::fprintf(stderr, "start: %s showed no window that answered\n", program.c_str());
            return times;
        }
    for (int run = 0; run < StartRuns; ++run)
        for (int step = 0; step < 3; ++step) {
            const int which = (run + step) % 3;
            const double time = TimeStart(programs[which], environment);
            if (time < 0) {
                std::fprintf(stderr, "start: %s showed no window that answered\n",
                             programs[which].c_str());
                return times;
            }
            seconds[which].push_back(time);
        }
    times.program = Median(seconds[0]);
    times.minimal = Median(seconds[1]);
    times.controls = Median(seconds[2]);
    times.measured = true;
    bench::RemoveTree(sandbox);
    return times;
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
    if (std::string(argv[1]) == "--start") {
        if (argc < 3 || !FileSystem::ForceDirectories(argv[2]))
            return 2;
        const StartTimes start = MeasureStart(TVNConfigUtil::AddBackslash(argv[2]));
        std::printf("start: program %s, minimal %s, controls %s: %.2fx the minimal window\n",
                    Duration(start.program).c_str(), Duration(start.minimal).c_str(),
                    Duration(start.controls).c_str(),
                    start.measured ? start.program / start.minimal : 0.0);
        return start.measured ? 0 : 1;
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
    std::fprintf(stderr, "start of the window...\n");
    const StartTimes start = MeasureStart(work);

    std::printf("\nCompleteness comparison: 2 roots x 120 monthly files of time records; "
                "medians of %d runs\n",
                Runs);
    std::printf("%-11s %-9s %-34s %-11s %-10s %-12s %-10s %-15s %-15s %s\n", "lines/file", "data",
                "linear reference (120 pairs)", "comparison", "read only", "read reused",
                "read raw", "linear/compare", "compare/floor", "result");
    for (const ComparisonRow& row : rows) {
        std::string linear = Duration(row.linear);
        if (row.linearPairs < 120)
            linear += " (est. from " + std::to_string(row.linearPairs) + " pairs)";
        char data[32];
        std::snprintf(data, sizeof data, "%.0f MB", row.megabytes);
        std::printf("%-11d %-9s %-34s %-11s %-10s %-12s %-10s %-15s %-15s %d\n", row.lines, data,
                    linear.c_str(), Duration(row.compare).c_str(), Duration(row.read).c_str(),
                    Duration(row.readReused).c_str(), Duration(row.readRaw).c_str(),
                    Ratio(row.linear / row.compare).c_str(),
                    Ratio(row.compare / row.Floor()).c_str(), row.result);
    }
    std::printf("(read only: each file into a string of its own; read reused: into one buffer "
                "per root, as the comparison reads them; read raw: one ReadFile of each into one "
                "buffer that holds the largest; the floor is the faster of the last two)\n");
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

    std::printf("\nTree copy: %zu files, %.1f MB in %zu folders; medians of %d runs, "
                "each method once a round, by turns\n",
                copy.tree.files.size(), static_cast<double>(copy.tree.bytes) / (1024.0 * 1024.0),
                copy.tree.folders.size(), CopyRuns);
    std::printf("%-40s %-10s %-14s %s\n", "method (each lists the tree it copies)", "time",
                "vs CopyFileA", "vs through ~$*.tvn.tmp (floor)");
    auto copyRow = [&](const char* method, double seconds) {
        std::printf("%-40s %-10s %-14s %s\n", method, Duration(seconds).c_str(),
                    Ratio(seconds / copy.floor).c_str(), Ratio(seconds / copy.renamed).c_str());
    };
    copyRow("CopyFileA loop", copy.floor);
    copyRow("CopyFileA to ~$*.tvn.tmp + MoveFileExA", copy.renamed);
    copyRow("CopyFolderTree (plan and copy)", copy.copyTree);
    copyRow("  its copy of a plan made beforehand", copy.carried);
    copyRow("CopyFolderTree with the run's record", copy.recorded);
    copyRow("BackupFolder (into itself)", copy.backup);
    if (cpSeconds > 0)
        copyRow("cp -r from Linux (reference only)", cpSeconds);
    {
        std::vector<double> ratios = copy.copyVsFloor;
        std::sort(ratios.begin(), ratios.end());
        const size_t n = ratios.size();
        std::printf("CopyFolderTree next to the loop through ~$*.tvn.tmp, each first by turns: "
                    "%s, the median of %zu pairs (middle half %s to %s)\n",
                    Ratio(Median(ratios)).c_str(), n, Ratio(ratios[n / 4]).c_str(),
                    Ratio(ratios[(3 * n) / 4]).c_str());
    }
    if (!copy.complete)
        std::printf("a copy was incomplete\n");

    if (start.measured) {
        std::printf("\nStart to a shown window that answers WM_NULL, from CreateProcess; "
                    "medians of %d starts each, by turns\n",
                    StartRuns);
        std::printf("%-46s %-10s %s\n", "program", "time", "vs minimal window");
        std::printf("%-46s %-10s %s\n", "minimal window (floor)", Duration(start.minimal).c_str(),
                    "1.00x");
        std::printf("%-46s %-10s %s\n", "window with 16 common controls and styles",
                    Duration(start.controls).c_str(),
                    Ratio(start.controls / start.minimal).c_str());
        std::printf("%-46s %-10s %s\n", "TVNCloudDrive.exe", Duration(start.program).c_str(),
                    Ratio(start.program / start.minimal).c_str());
    } else {
        std::printf("\nStart of the window: not measured (no display, or a program did not "
                    "show a window that answered)\n");
    }

    const ComparisonRow& small = rows.front();
    const ComparisonRow& big = rows.back();
    const double speedup = big.linear / big.compare;
    const double compareVsFloor = big.compare / big.Floor();
    const double compare1kVsFloor = small.compare / small.Floor();
    // The copy writes each file whole through a temporary file; its floor is
    // the loop that does the same.
    const double copyVsCopyFile = Median(copy.copyVsFloor);
    const double copyVsBare = copy.copyTree / copy.floor;
    const double startVsMinimal = start.measured ? start.program / start.minimal : 0;
    const bool speedupMet = speedup >= SpeedupTarget;
    const bool floorMet =
        compareVsFloor <= CompareVsFloorTarget && compare1kVsFloor <= CompareVsFloorTarget1k;
    const bool copyMet = copyVsCopyFile <= CopyVsCopyFileTarget && copy.complete;
    const bool startMet = start.measured && startVsMinimal <= StartupVsMinimalTarget;
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
                Duration(copy.pairedWithout).c_str(),
                Percent(1.0 / Median(copy.orderEffects) - 1.0).c_str());
    std::printf("\nTargets: comparison >= %.0fx faster than linear: %s; comparison <= %.1fx the "
                "floor at %d lines per file and <= %.1fx at %d: %s; tree copy <= %.2fx the loop "
                "of CopyFileA through temporary files: %s; progress overhead <= %.0f%%: %s; merge "
                "< %.0f ms: %s; look < %.0f%% of "
                "the comparison: %s; start <= %.1fx the minimal window: %s\n",
                SpeedupTarget, Verdict(speedupMet).c_str(), CompareVsFloorTarget, big.lines,
                CompareVsFloorTarget1k, small.lines, Verdict(floorMet).c_str(),
                CopyVsCopyFileTarget, Verdict(copyMet).c_str(), ProgressOverheadTarget * 100,
                Verdict(overheadMet).c_str(), MergeSecondsTarget * 1000, Verdict(mergeMet).c_str(),
                LookVsCompareTarget * 100, Verdict(lookMet).c_str(), StartupVsMinimalTarget,
                Verdict(startMet).c_str());
    std::printf("bench: speedup_vs_linear=%.1f compare_vs_floor=%.2f compare_1k_vs_floor=%.2f "
                "copy_vs_copyfile=%.2f copy_vs_bare=%.2f progress_overhead=%.1f%% "
                "merge_ms=%.1f look_vs_compare=%.2f%% startup_vs_minimal=%.2f "
                "recorded_copy_vs_copyfile=%.2f\n",
                speedup, compareVsFloor, compare1kVsFloor, copyVsCopyFile, copyVsBare,
                overhead * 100, merge.merge * 1000, lookVsCompare * 100, startVsMinimal,
                copy.recorded / copy.renamed);
    return speedupMet && floorMet && copyMet && overheadMet && mergeMet && lookMet && startMet ? 0
                                                                                               : 1;
}
