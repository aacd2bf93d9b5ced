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

std::string RunRecord::RewriteProblemOf(const std::string& path, const std::string* old,
                                        const std::string& bytes) const {
    const std::string sourceIni = source + "tvn.ini";
    const bool asSource = path == destination + "tvn.ini" && copyHappens &&
                          before.files.count(sourceIni) && (!old || BackedUp(path, *old)) &&
                          (before.Holds(sourceIni, bytes) ||
                           RewriteProblem(bytes, before.files.at(sourceIni)).empty());
    return asSource ? "" : RewriteProblem(bytes, old ? *old : "");
}

void MergedMonthsHoldEveryRecord(const Snapshot& before, const Snapshot& after,
                                 const std::string& root, Problems& problems) {
    // Per month file with copies: the most of each line that it or a copy holds.
    std::map<std::string, std::map<std::string, long>> most;
    auto count = [&](const std::string& month, const std::string& text) {
        std::map<std::string, long> seen;
        for (const std::string& line : FileSystem::SplitLines(text))
            most[month][line] = std::max(most[month][line], ++seen[line]);
    };
    for (const auto& [path, bytes] : before.files)
        if (!ConflictCopyMonth(path).empty() &&
            FileSystem::ExtractFilePath(path) == root + "data\\")
            count(root + "data\\" + AsciiLowerCase(ConflictCopyMonth(path)) + ".txt", bytes);
    for (auto& [month, lines] : most) {
        auto text = [&](const Snapshot& s) {
            return s.files.count(month) ? s.files.at(month) : std::string();
        };
        count(month, text(before));
        const std::vector<std::string> was = FileSystem::SplitLines(text(before));
        std::map<std::string, long> held;
        size_t inOrder = 0;
        for (const std::string& line : FileSystem::SplitLines(text(after))) {
            ++held[line];
            inOrder += inOrder < was.size() && line == was[inOrder];
        }
        problems.Expect(held == lines && inOrder == was.size(),
                        month + ": not its old lines in order and its copies' lines, one for one");
    }
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
