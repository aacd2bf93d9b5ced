#include "Promises.h"

#include <algorithm>

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
                     const std::string& destinationRoot, bool copying)
    : before(LowerCaseSnapshot(sandbox)), source(NormalForm(sourceRoot)),
      destination(NormalForm(destinationRoot)), install(NormalForm(installFolder)),
      newPlace(NormalForm(newRedirectFolder)),
      copyHappens(copying), inis{source + "tvn.ini", destination + "tvn.ini", install + "tvn.ini"} {
}

void RunRecord::Finish(const std::string& sandbox) {
    after = LowerCaseSnapshot(sandbox);
    for (const std::string& folder : after.folders) {
        const std::string name =
            folder.starts_with(destination) ? folder.substr(destination.size()) : "";
        if (!before.folders.count(folder) && name.find('\\') == name.size() - 1 &&
            IsBackupFolderName(BackupPrefix, RemoveBackslash(name)))
            newBackups.push_back(folder);
    }
}

bool RunRecord::BackedUp(const std::string& path, const std::string& bytes) const {
    return path.starts_with(destination) &&
           std::any_of(newBackups.begin(), newBackups.end(), [&](const std::string& backup) {
               return after.Holds(backup + path.substr(destination.size()), bytes);
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
