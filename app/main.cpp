// The program: one window and its message loop.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include "Application.h"
#include "TVNCloudDriveMain.h"

namespace {
// The folder browser's newer dialog style needs single-threaded COM.
class OleScope {
  public:
    OleScope() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleScope() {
        if (ok_)
            OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

  private:
    bool ok_;
};
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    OleScope ole;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    SetApplicationTitle("TVN - Cloud Drive Configuration");
    TMainCloudDriveForm form;
    if (!form.CreateHandle(instance))
        return 1;
    SetApplicationWindow(form.Handle());
    form.Show();

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        HWND window = form.Handle();
        if (window && IsDialogMessageA(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    SetApplicationWindow(nullptr);
    return 0;
}
