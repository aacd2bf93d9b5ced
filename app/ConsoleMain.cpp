// The console twin of the program, TVNCloudDrive.com: the command line with
// standard streams a console or script reads. A console looks for the .com
// before the .exe, waits for it and gets its exit code.
#include <windows.h>

#include "CommandLine.h"

namespace {

// Without arguments the window is what the user asked for: the .exe beside
// this program opens it, and the console is given back at once, as when the
// .exe is started itself.
int OpenTheWindow() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    if (length < 4 || length >= MAX_PATH * 4)
        return CommandLine::ExitUsage;
    lstrcpyW(path + length - 4, L".exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        CommandLine::Run({L"--help"});
        return CommandLine::ExitUsage;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return CommandLine::ExitDone;
}

} // namespace

int main() {
    const std::vector<std::wstring> arguments = CommandLine::ProcessArguments();
    if (arguments.empty())
        return OpenTheWindow();
    return CommandLine::Run(arguments);
}
