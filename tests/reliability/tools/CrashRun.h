// What tvn_crash_run is told and what it answers. Arguments, in order:
//   install server old new copy point [merge]
// four folders (an empty argument for none), the copy flag ("1" or "0"), the
// change at which the process ends itself: 0 before the first change, -1 for
// none, and the roots whose sync conflict copies are merged first, joined by
// "|" (a character no path holds). Exit code: CrashExitCode when it ended itself
// before a change, CrashInsideFileExitCode once a temporary file it was making
// held bytes, FailedExitCode when the configuration failed or threw, else the
// number of changes it saw. "restore install point" undoes the newest run of
// the installation instead, ending itself in the same way.
#pragma once

namespace crash_run {

constexpr unsigned long CrashExitCode = 0xDEAD;
constexpr unsigned long CrashInsideFileExitCode = 0xDEAF;
constexpr unsigned long FailedExitCode = 0xFA11;
constexpr unsigned long UsageExitCode = 0xBAD;

} // namespace crash_run
