// Where the program's windows go on a machine with one screen or several.
#pragma once

#include <windows.h>

// Centres a window on the work area (the screen less the taskbar) of the
// monitor that holds the point, or, with an owner, of the owner's monitor.
// Wine shows a single monitor; the choice of monitor follows the documented
// MonitorFromPoint/MonitorFromWindow and GetMonitorInfo rules.
void CentreOnMonitorAt(HWND window, POINT point);
void CentreOnOwnersMonitor(HWND window, HWND owner);
