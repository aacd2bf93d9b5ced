#include "Progress.h"

namespace TVNConfigUtil {

namespace {

// Each thread works under its own observer, so a worker's reports never mix
// with another thread's.
thread_local ProgressObserver* current = nullptr;
thread_local bool stopped = false;

} // namespace

ProgressScope::ProgressScope(ProgressObserver& observer)
    : previous_(current), previousStopped_(stopped) {
    current = &observer;
    stopped = false;
}

ProgressScope::~ProgressScope() {
    current = previous_;
    stopped = previousStopped_;
}

void ReportStage(WorkStage stage, const std::string& root, unsigned long long files,
                 unsigned long long bytes) {
    if (current)
        current->StageBegins(stage, root, files, bytes);
}

bool ProgressObserved() {
    return current != nullptr;
}

bool MayGoOn(const std::string& path, unsigned long long bytes) {
    if (!current || stopped)
        return !stopped;
    stopped = !current->FileBegins(path, bytes);
    return !stopped;
}

bool StopAsked() {
    return stopped;
}

ProgressObserver* ObserverInForce() {
    return current;
}

} // namespace TVNConfigUtil
