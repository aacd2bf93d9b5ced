#include "ScreenPlacement.h"

namespace {

void CentreInWorkArea(HWND window, HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoA(monitor, &info))
        area = info.rcWork;
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // A window larger than the work area keeps its caption on the screen.
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(window, nullptr, x > area.left ? x : area.left, y > area.top ? y : area.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void CentreOnMonitorAt(HWND window, POINT point) {
    CentreInWorkArea(window, MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY));
}

void CentreOnOwnersMonitor(HWND window, HWND owner) {
    if (!owner) {
        CentreOnMonitorAt(window, POINT{0, 0});
        return;
    }
    CentreInWorkArea(window, MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY));
}
