#include "CommandLine.h"

#include <windows.h>

#include "PathRules.h"
#include "TextCodes.h"

namespace CommandLine {

namespace {

using TVNConfigUtil::AsciiLowerCase;

std::string Narrow(const std::wstring& text) {
    // For names and messages only: switches are ASCII, and a name that is
    // not is shown as the code page can.
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

struct Switch {
    const char* name;
    bool takesValue;
};

const Switch Switches[] = {
    {"help", false},
    {"h", false},
    {"?", false},
    {"version", false},
    {"json", false},
    {"quiet", false},
    {"standard", false},
    {"replace-redirection", false},
    {"dry-run", false},
    {"to", true},
    {"install", true},
    {"provider", true},
    {"keep", true},
    {"log", true},
    {"merge-conflicts", true},
    {"last", false},
};

const Switch* FindSwitch(const std::string& name) {
    for (const Switch& known : Switches)
        if (name == known.name)
            return &known;
    return nullptr;
}

// The switches each command takes, beyond help.
bool Allowed(Arguments::Command command, const std::string& name) {
    if (command == Arguments::Command::Status)
        return name == "json" || name == "install" || name == "provider";
    if (command == Arguments::Command::History)
        return name == "json" || name == "install";
    if (command == Arguments::Command::Restore)
        return name == "json" || name == "install" || name == "dry-run" || name == "log" ||
               name == "last" || name == "quiet";
    return name != "last";
}

Parsed Usage(const std::string& error) {
    Parsed parsed;
    parsed.exitCode = ExitUsage;
    parsed.error = error + "\r\nType \"TVNCloudDrive --help\" for the commands and switches.";
    return parsed;
}

Parsed Refused(const std::string& error) {
    Parsed parsed;
    parsed.exitCode = ExitRefused;
    parsed.error = error;
    return parsed;
}

} // namespace

std::optional<std::string> ExactAnsi(const std::wstring& text) {
    return TextCodes::ExactAnsi(text);
}

Parsed Parse(const std::vector<std::wstring>& arguments) {
    Parsed parsed;
    Arguments& a = parsed.arguments;
    bool commandSeen = false;
    bool help = false, version = false;
    std::vector<std::pair<std::string, std::wstring>> given; // switches with their values

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        std::wstring name, value;
        bool hasValue = false;
        if (argument.size() > 1 && (argument[0] == L'-' || argument[0] == L'/')) {
            const bool slash = argument[0] == L'/';
            const size_t start = argument.rfind(L"--", 0) == 0 ? 2 : 1;
            const size_t cut = argument.find(slash ? L':' : L'=', start);
            name = argument.substr(start,
                                   cut == std::wstring::npos ? std::wstring::npos : cut - start);
            if (cut != std::wstring::npos) {
                hasValue = true;
                value = argument.substr(cut + 1);
            }
        } else {
            // restore takes the id of the run it undoes.
            if (commandSeen && a.command == Arguments::Command::Restore && a.runId.empty()) {
                a.runId = Narrow(argument);
                continue;
            }
            if (commandSeen)
                return Usage("Unexpected argument \"" + Narrow(argument) + "\".");
            const std::string command = AsciiLowerCase(Narrow(argument));
            if (command == "status")
                a.command = Arguments::Command::Status;
            else if (command == "configure")
                a.command = Arguments::Command::Configure;
            else if (command == "history")
                a.command = Arguments::Command::History;
            else if (command == "restore")
                a.command = Arguments::Command::Restore;
            else
                return Usage("Unknown command \"" + Narrow(argument) + "\".");
            commandSeen = true;
            continue;
        }
        const std::string key = AsciiLowerCase(Narrow(name));
        const Switch* known = FindSwitch(key);
        if (!known)
            return Usage("Unknown switch \"" + Narrow(argument) + "\".");
        if (!known->takesValue && hasValue)
            return Usage("The switch \"" + key + "\" takes no value.");
        if (known->takesValue && !hasValue) {
            if (i + 1 >= arguments.size())
                return Usage("The switch \"" + key + "\" needs a value.");
            value = arguments[++i];
        }
        if (key == "help" || key == "h" || key == "?")
            help = true;
        else if (key == "version")
            version = true;
        else
            given.emplace_back(key, value);
    }
    if (help) {
        a.command = Arguments::Command::Help;
        return parsed;
    }
    if (version) {
        a.command = Arguments::Command::Version;
        return parsed;
    }
    if (!commandSeen)
        return Usage(arguments.empty() ? "No command given."
                                       : "No command given: status or configure.");

    for (const auto& [key, wide] : given) {
        if (!Allowed(a.command, key))
            return Usage("The switch \"" + key + "\" does not go with this command.");
        const std::string lowerValue = AsciiLowerCase(Narrow(wide));
        if (key == "provider") {
            std::string known;
            for (const TVNConfigUtil::CloudProvider& provider : TVNConfigUtil::Providers) {
                if (lowerValue == provider.switchValue)
                    a.provider = provider.client;
                known += (known.empty() ? "" : " or ") + std::string(provider.switchValue);
            }
            if (!a.provider)
                return Usage("The provider is " + known + ", not \"" + Narrow(wide) + "\".");
        } else if (key == "keep") {
            if (lowerValue == "current")
                a.keep = Keep::Current;
            else if (lowerValue == "destination")
                a.keep = Keep::Destination;
            else if (lowerValue == "more-complete")
                a.keep = Keep::MoreComplete;
            else
                return Usage("--keep is current, destination or more-complete, not \"" +
                             Narrow(wide) + "\".");
        } else if (key == "merge-conflicts") {
            if (lowerValue != "yes" && lowerValue != "no")
                return Usage("--merge-conflicts is yes or no, not \"" + Narrow(wide) + "\".");
            a.mergeConflicts = lowerValue == "yes";
        } else if (key == "to" || key == "install" || key == "log") {
            if (wide.empty())
                return Usage("The switch \"" + key + "\" needs a value.");
            // "C:\Folder\" reaches the program as C:\Folder" and whatever
            // followed it: the backslash took the quote as a character.
            if (wide.find(L'"') != std::wstring::npos)
                return Refused("The path given to --" + key + " contains a double quote: \"" +
                               Narrow(wide) +
                               "\".\r\nA backslash before a closing quote keeps the quote: drop "
                               "the trailing backslash (\"C:\\Folder\") or double it "
                               "(\"C:\\Folder\\\\\").");
            // A folder is taken from the current folder as a command line's
            // user means it; written into tvn.ini as typed, Tallyvane would
            // take it from its own working folder instead.
            // "C:Data" is taken from drive C:'s own current folder, which a
            // program started from a script need not share with its user.
            const bool driveRelative = wide.size() >= 2 && wide[1] == L':' &&
                                       (wide.size() == 2 || (wide[2] != L'\\' && wide[2] != L'/'));
            if (driveRelative)
                return Usage("The path given to --" + key + " (\"" + Narrow(wide) +
                             "\") is relative to drive " + Narrow(wide.substr(0, 1)) +
                             "'s current folder: give the full path, such as \"" +
                             Narrow(wide.substr(0, 2)) + "\\" + Narrow(wide.substr(2)) + "\".");
            std::wstring full = wide;
            if (key != "log") {
                const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
                full.assign(size, L'\0');
                const DWORD length =
                    size ? GetFullPathNameW(wide.c_str(), size, full.data(), nullptr) : 0;
                if (length == 0 || length >= size)
                    return Refused("The path given to --" + key + " (\"" + Narrow(wide) +
                                   "\") is no folder name.");
                full.resize(length);
            }
            const std::optional<std::string> path = ExactAnsi(full);
            if (!path)
                return Refused("The path given to --" + key + " (\"" + Narrow(wide) +
                               "\") has a character that this system's code page cannot "
                               "hold, so the program's file calls could not open it.\r\nChoose "
                               "a folder whose name has none.");
            (key == "to" ? a.to : key == "install" ? a.install : a.log) = *path;
        } else if (key == "standard") {
            a.standard = true;
        } else if (key == "replace-redirection") {
            a.replaceRedirection = true;
        } else if (key == "last") {
            a.last = true;
        } else if (key == "dry-run") {
            a.dryRun = true;
        } else if (key == "json") {
            a.json = true;
        } else if (key == "quiet") {
            a.quiet = true;
        }
    }
    if (a.command == Arguments::Command::Restore && a.runId.empty() == !a.last)
        return Usage("restore needs either --last or the id of a run (TVNCloudDrive history "
                     "lists them).");
    if (a.command == Arguments::Command::Configure && a.to.empty() == !a.standard)
        return Usage("configure needs either --to FOLDER or --standard.");
    return parsed;
}

std::string Usage() {
    return "TVN Cloud Drive Configuration: points Tallyvane at a data folder in OneDrive or "
           "Dropbox, or back at its standard location.\r\n"
           "\r\n"
           "TVNCloudDrive status [--json] [--install FOLDER] [--provider onedrive|dropbox]\r\n"
           "TVNCloudDrive configure --to FOLDER | --standard [--install FOLDER]\r\n"
           "              [--provider onedrive|dropbox] [--keep "
           "current|destination|more-complete]\r\n"
           "              [--merge-conflicts yes|no] [--replace-redirection] [--dry-run]\r\n"
           "              [--json] [--quiet] [--log FILE]\r\n"
           "TVNCloudDrive history [--json] [--install FOLDER]\r\n"
           "TVNCloudDrive restore --last | ID [--dry-run] [--install FOLDER] [--json] [--quiet]\r\n"
           "              [--log FILE]\r\n"
           "TVNCloudDrive --help | --version\r\n"
           "\r\n"
           "  --to FOLDER            the data folder to use, inside the provider's folder\r\n"
           "  --standard             back to the installation's standard data location\r\n"
           "  --install FOLDER       the installation folder (default: the standard one)\r\n"
           "  --provider NAME        the provider whose folder is used (default: the one\r\n"
           "                         that holds --to, else onedrive)\r\n"
           "  --keep WHICH           where both places hold data that differs: current (the\r\n"
           "                         data in use, copied after a backup), destination (left\r\n"
           "                         as it is), or more-complete (the more complete copy)\r\n"
           "  --merge-conflicts yes|no\r\n"
           "                         where sync conflict copies hold records their month\r\n"
           "                         file lacks: yes merges them in first (after a backup),\r\n"
           "                         no leaves them\r\n"
           "  --replace-redirection  replace a redirection this utility did not make\r\n"
           "  --dry-run              check and list what would be done; change nothing\r\n"
           "  --json                 one JSON object on standard output\r\n"
           "  --quiet                no progress line\r\n"
           "  --log FILE             append what was done to FILE (UTF-8)\r\n"
           "  --last                 restore: the newest run of this installation\r\n"
           "\r\n"
           "Switches may also be written /name or /name:value, in any letter case.\r\n"
           "Exit codes: 0 done or nothing to do, 1 failed after its first change, 2 usage,\r\n"
           "3 a decision is needed that the switches do not give (nothing changed),\r\n"
           "4 refused before any change, 5 cancelled.\r\n";
}

Answer AnswerPrompt(const ConfigureDecisions::Prompt& prompt, std::optional<Keep> keep) {
    Answer answer;
    if (!keep || (*keep == Keep::MoreComplete && !prompt.recommendsYes))
        return answer;
    answer.goOn = true;
    answer.copyData = *keep == Keep::Current       ? true
                      : *keep == Keep::Destination ? false
                                                   : prompt.yesCopies;
    // The window asks to confirm the direction opposite to what Yes gives.
    answer.warnOpposite = answer.copyData != prompt.yesCopies;
    return answer;
}

} // namespace CommandLine
