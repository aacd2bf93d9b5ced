// A console helper for scripts: finds the running configuration window and
// reports on it, or closes it. The actions run in the order given:
//   wait      wait (up to 20 s) until the window is shown and painted
//   geometry  print the window's screen rectangle as WIDTHxHEIGHT+LEFT+TOP
//   status    print the two status lines, one per line
//   close     press Cancel and wait (up to 10 s) until the window has gone
// Exits with 1 when the window is not there or does not close, else 0.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "Driver.h"
#include "TVNCloudDriveControlIds.h"

namespace {

HWND FindForm() {
    HWND window = FindWindowA("TMainCloudDriveForm", nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* action = argv[i];
        if (std::strcmp(action, "wait") == 0) {
            if (!gui::WaitUntil([] { return FindForm() != nullptr; }, 20000)) {
                std::fprintf(stderr, "the window did not appear\n");
                return 1;
            }
            // Once the program answers, its queue is empty and the window
            // has been painted.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(FindForm(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
            Sleep(200);
            continue;
        }
        HWND window = FindForm();
        if (!window) {
            std::fprintf(stderr, "the window is not open\n");
            return 1;
        }
        if (std::strcmp(action, "geometry") == 0) {
            RECT r;
            GetWindowRect(window, &r);
            std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        } else if (std::strcmp(action, "status") == 0) {
            std::printf("%s\n", gui::Text(gui::FindById(window, idLblExeLocated1)).c_str());
            std::printf("%s\n", gui::Text(gui::FindById(window, idLblCloudDriveLocated1)).c_str());
        } else if (std::strcmp(action, "close") == 0) {
            gui::Click(gui::FindById(window, idBtnCancel));
            if (!gui::WaitUntil([&] { return !IsWindow(window); }, 10000)) {
                std::fprintf(stderr, "the window did not close\n");
                return 1;
            }
        } else {
            std::fprintf(stderr, "unknown action %s (wait, geometry, status, close)\n", action);
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
