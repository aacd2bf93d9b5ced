// Runs one configuration and, at a chosen change to the disk, ends its own
// process on the spot: no destructors, no clean-up, no buffered writes
// finished, as when the machine loses power or the program is killed. The
// crash-point tests start it once per change of a run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ConflictCopies.h"
#include "CrashRun.h"
#include "DiskChanges.h"
#include "FileErrors.h"
#include "TVNConfigUtil.h"

namespace {

class CrashAtChange : public DiskChanges::ChangeSeam {
  public:
    explicit CrashAtChange(long point) : point_(point) {}
    void BeforeChange(const std::wstring&) override {
        if (changes_++ == point_)
            TerminateProcess(GetCurrentProcess(), crash_run::CrashExitCode);
    }
    long Changes() const { return changes_; }

  private:
    long point_;
    long changes_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 7 && argc != 8) {
        std::fprintf(stderr,
                     "usage: tvn_crash_run install server old new copy(0|1) point [merge]\n");
        return crash_run::UsageExitCode;
    }
    CrashAtChange seam(std::strtol(argv[6], nullptr, 10));
    DiskChanges::SetChangeSeam(&seam);
    TVNConfigUtil::Outcome outcome;
    try {
        for (std::string roots = argc == 8 ? argv[7] : "";
             !roots.empty() && outcome.ErrorText.empty();) {
            const size_t cut = std::min(roots.find('|'), roots.size());
            outcome.ErrorText = TVNConfigUtil::MergeConflictCopies(roots.substr(0, cut)).errorText;
            roots.erase(0, cut + 1);
        }
        if (outcome.ErrorText.empty())
            outcome = TVNConfigUtil::ConfigureInstallation(argv[1], argv[2], argv[3], argv[4],
                                                           std::string(argv[5]) == "1");
    } catch (const EFileError& error) {
        outcome.ErrorText = error.what();
    }
    DiskChanges::SetChangeSeam(nullptr);
    std::printf("changes=%ld\n%s%s\n", seam.Changes(), outcome.Report.c_str(),
                outcome.ErrorText.c_str());
    return outcome.ErrorText.empty() ? static_cast<int>(seam.Changes())
                                     : static_cast<int>(crash_run::FailedExitCode);
}
