#include "Promises.h"

#include <algorithm>
#include <map>

#include "ConflictRules.h"
#include "FileSystemText.h"
#include "SettingsLines.h"
#include "TVNConfigUtil.h"

using namespace TVNConfigUtil;

namespace test {

Snapshot LowerCaseSnapshot(const std::string& root) {
    const Snapshot tree = SnapshotTree(root);
    Snapshot lowered;
    for (const auto& [path, bytes] : tree.files)
        lowered.files[AsciiLowerCase(root + path)] = bytes;
    for (const std::string& folder : tree.folders)
        lowered.folders.insert(AsciiLowerCase(root + folder));
    return lowered;
}

std::string RewriteProblem(const std::string& bytes, const std::string& base) {
    if (TIniText::Parse(bytes).Print() != bytes)
        return "is not in canonical form";
    const auto now = KeptSettingsLines(bytes), was = KeptSettingsLines(base);
    if (const auto* line = FirstMissing(was, now))
        return "lost the line [" + line->first + "] " + line->second;
    if (const auto* line = FirstMissing(now, was))
        return "gained the line [" + line->first + "] " + line->second;
    return "";
}

RunRecord::RunRecord(const std::string& sandbox, const std::string& installFolder,
                     const std::string& newRedirectFolder, const std::string& sourceRoot,
                     const std::string& destinationRoot, bool copying,
                     const std::vector<std::string>& mergedRoots)
    : before(LowerCaseSnapshot(sandbox)), source(NormalForm(sourceRoot)),
      destination(NormalForm(destinationRoot)), install(NormalForm(installFolder)),
      newPlace(NormalForm(newRedirectFolder)),
      copyHappens(copying), inis{source + "tvn.ini", destination + "tvn.ini", install + "tvn.ini"} {
    for (const std::string& root : mergedRoots) {
        mergeRoots.push_back(NormalForm(root));
        for (const auto& [path, bytes] : before.files) {
            const std::string month = ConflictCopyMonth(path);
            if (!month.empty() && FileSystem::ExtractFilePath(path) == mergeRoots.back() + "data\\")
                mergedMonths.insert(mergeRoots.back() + "data\\" + AsciiLowerCase(month) + ".txt");
        }
    }
}

void RunRecord::Finish(const std::string& sandbox) {
    after = LowerCaseSnapshot(sandbox);
    for (const std::string& folder : after.folders) {
        const std::string root = RootOfBackup(folder);
        if (!before.folders.count(folder) &&
            (root == destination ||
             std::find(mergeRoots.begin(), mergeRoots.end(), root) != mergeRoots.end()) &&
            IsBackupFolderName(BackupPrefix, RemoveBackslash(folder.substr(root.size()))))
            newBackups.push_back(folder);
    }
}

std::string RootOfBackup(const std::string& backup) {
    return backup.substr(0, backup.rfind('\\', backup.size() - 2) + 1);
}

bool RunRecord::BackedUp(const std::string& path, const std::string& bytes) const {
    return std::any_of(newBackups.begin(), newBackups.end(), [&](const std::string& backup) {
        const std::string root = RootOfBackup(backup);
        return path.starts_with(root) && after.Holds(backup + path.substr(root.size()), bytes);
    });
}

void MergedMonthsHoldEveryRecord(const Snapshot& before, const Snapshot& after,
                                 const std::string& root, Problems& problems) {
    std::map<std::string, std::vector<std::string>> copies; // month file -> texts
    for (const auto& [path, bytes] : before.files)
        if (!ConflictCopyMonth(path).empty() &&
            FileSystem::ExtractFilePath(path) == root + "data\\")
            copies[root + "data\\" + AsciiLowerCase(ConflictCopyMonth(path)) + ".txt"].push_back(
                bytes);
    for (const auto& [month, texts] : copies) {
        const auto old = before.files.find(month);
        const auto now = after.files.find(month);
        const std::vector<std::string> was =
            FileSystem::SplitLines(old != before.files.end() ? old->second : "");
        const std::vector<std::string> lines =
            FileSystem::SplitLines(now != after.files.end() ? now->second : "");
        std::map<std::string, long> most, held;
        for (const std::string& line : lines)
            ++held[line];
        for (const std::string& text : texts) {
            std::map<std::string, long> count;
            for (const std::string& line : FileSystem::SplitLines(text))
                most[line] = std::max(most[line], ++count[line]);
        }
        std::map<std::string, long> count;
        for (const std::string& line : was)
            most[line] = std::max(most[line], ++count[line]);
        problems.Expect(held == most, month + ": the merged lines are not those of the month file "
                                              "and its copies, one for one");
        size_t next = 0;
        for (const std::string& line : lines)
            next += next < was.size() && line == was[next];
        problems.Expect(next == was.size(), month + ": the month file's lines lost their order");
    }
}

std::string RunRecord::RewriteProblemOf(const std::string& path, const std::string* old,
                                        const std::string& bytes) const {
    const std::string sourceIni = source + "tvn.ini";
    const bool asSource = path == destination + "tvn.ini" && copyHappens &&
                          before.files.count(sourceIni) && (!old || BackedUp(path, *old)) &&
                          (before.Holds(sourceIni, bytes) ||
                           RewriteProblem(bytes, before.files.at(sourceIni)).empty());
    return asSource ? "" : RewriteProblem(bytes, old ? *old : "");
}

void EveryOldFileIsKeptInPlaceOrInTheNewBackup(const RunRecord& run, FileCounts& counts,
                                               Problems& problems) {
    for (const auto& [path, bytes] : run.before.files) {
        ++counts.filesChecked;
        std::string problem =
            !run.after.files.count(path)   ? "is gone"
            : run.after.Holds(path, bytes) ? ""
            : run.inis.count(path) ? run.RewriteProblemOf(path, &bytes, run.after.files.at(path))
            : run.BackedUp(path, bytes) ? ""
                                        : "changed and no new backup holds its old bytes";
        if (!problem.empty() &&
            std::none_of(run.after.files.begin(), run.after.files.end(),
                         [&](const auto& file) { return file.second == bytes; })) {
            ++counts.filesLost;
            problem += " (old bytes exist nowhere now)";
        }
        problems.Expect(problem.empty(), path + ": " + problem);
    }
}

} // namespace test
