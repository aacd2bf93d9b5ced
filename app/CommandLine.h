// The command line for administrators: the same job as the window, without
// it. Parsing is pure; the switches stand in for the answers the window asks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ConfigureDecisions.h"

namespace CommandLine {

// What the process ends with.
enum ExitCode {
    ExitDone = 0,           // done, or nothing to do
    ExitFailed = 1,         // failed after its first change; the report says what is where
    ExitUsage = 2,          // unknown command or switch, or a missing value
    ExitDecisionNeeded = 3, // a decision the switches do not give; nothing changed
    ExitRefused = 4,        // refused before any change
    ExitCancelled = 5,      // Ctrl+C, Ctrl+Break or a closed console
};

// Which copy --keep keeps where the window would ask.
enum class Keep { Current, Destination, MoreComplete };

struct Arguments {
    enum class Command { Help, Version, Status, Configure, History, Restore };
    Command command = Command::Help;
    std::string to; // a folder, as given (ANSI)
    bool standard = false;
    std::string install;
    std::optional<ConfigureDecisions::Provider> provider;
    std::optional<Keep> keep;
    // Whether to merge sync conflict copies where the window would ask.
    std::optional<bool> mergeConflicts;
    bool replaceRedirection = false;
    bool dryRun = false;
    bool json = false;
    bool quiet = false;
    std::string log;
    // restore: the run to undo, by its id, or the newest.
    std::string runId;
    bool last = false;
};

// A command line read, or why not: exitCode ExitUsage for a usage error,
// ExitRefused for a value the program cannot use.
struct Parsed {
    Arguments arguments;
    int exitCode = ExitDone;
    std::string error;
};

// The arguments after the program's name, as the wide command line gives
// them. Switches are accepted as -name, --name, --name=value, /name and
// /name:value, in any letter case; a value may also be the next argument.
Parsed Parse(const std::vector<std::wstring>& arguments);

// The usage text.
std::string Usage();

// A wide text in the ANSI code page, exactly: empty when a character has no
// exact form there (no best-fit "?" or look-alike).
std::optional<std::string> ExactAnsi(const std::wstring& text);

// What the switches answer where the window would ask.
struct Answer {
    bool goOn = false;         // else the command ends with ExitDecisionNeeded
    bool copyData = false;     // with goOn
    bool warnOpposite = false; // the direction warning the window would have asked, printed
};
// A comparison prompt.
Answer AnswerPrompt(const ConfigureDecisions::Prompt& prompt, std::optional<Keep> keep);

// The arguments of this process after its name, from the wide command line.
std::vector<std::wstring> ProcessArguments();

// Runs a command line to its end and returns the exit code. Writes the
// report to standard output and errors to standard error where those are
// usable, and never opens a window or a dialog.
int Run(const std::vector<std::wstring>& arguments);

} // namespace CommandLine
