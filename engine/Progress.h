// How long work tells its progress and hears that it should stop. The engine
// reports to the observer that a scope installs on the calling thread; with
// none installed the reports cost one test and the work never stops early.
#pragma once

#include <string>

namespace TVNConfigUtil {

// Downloading: files that a sync client keeps online only are read before
// the comparison or the first change, so that the client downloads them.
// Merging replaces month files with their conflict copies' records added,
// each in one rename: like writing the settings, it takes milliseconds and
// is not stopped.
enum class WorkStage {
    Comparing,
    BackingUp,
    Copying,
    WritingSettings,
    Downloading,
    Merging,
    Restoring, // the root: the installation whose run is undone
};

class ProgressObserver {
  public:
    virtual ~ProgressObserver() = default;
    // A stage begins: the root it works on (for Downloading, the name of the
    // sync client that provides the files) and how many files and bytes it
    // will go through (0 when not known).
    virtual void StageBegins(WorkStage stage, const std::string& root, unsigned long long files,
                             unsigned long long bytes) = 0;
    // Before each file of the stage (its path as shown, and its size): false
    // stops the work before that file.
    virtual bool FileBegins(const std::string& path, unsigned long long bytes) = 0;
};

// Installs an observer for the calling thread while the scope lives.
class ProgressScope {
  public:
    explicit ProgressScope(ProgressObserver& observer);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

  private:
    ProgressObserver* previous_;
    bool previousStopped_;
};

// For the engine: what its work tells the observer in force.
void ReportStage(WorkStage stage, const std::string& root, unsigned long long files,
                 unsigned long long bytes);
// Whether an observer is in force, so that a report's text is only made for one.
bool ProgressObserved();
// False once the observer has asked to stop, at this file or an earlier one.
bool MayGoOn(const std::string& path, unsigned long long bytes);
// Whether the observer in force has asked to stop.
bool StopAsked();
// The calling thread's observer, or nullptr: work handed to another thread
// may report to it as well.
ProgressObserver* ObserverInForce();

} // namespace TVNConfigUtil
