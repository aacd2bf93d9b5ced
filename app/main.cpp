// The program: one window and its message loop.
#include <windows.h>

#include <commctrl.h>

#include "CommandLine.h"
#include "SingleInstance.h"
#include "TVNCloudDriveMain.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // With arguments, the command line's job without a window: what it says
    // goes to the standard streams this process was given, if any.
    const std::vector<std::wstring> arguments = CommandLine::ProcessArguments();
    if (!arguments.empty())
        return CommandLine::Run(arguments);

    // One window at a time: a second start shows the first and ends.
    const InstanceLock lock;
    if (!lock.Held()) {
        ShowRunningCopy();
        return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    TMainCloudDriveForm form;
    if (!form.CreateHandle(instance))
        return 1;
    form.Show();

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        HWND window = form.Handle();
        if (window && IsDialogMessageA(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
