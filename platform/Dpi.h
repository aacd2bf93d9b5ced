// The scale the program's windows are drawn at. The windows are per-monitor
// DPI aware: each lays itself out at the DPI of the monitor it is on and again
// when that changes (WM_DPICHANGED), from design sizes at 96 DPI.
//
// The per-window calls (GetDpiForWindow, AdjustWindowRectExForDpi,
// GetSystemMetricsForDpi) exist from Windows 10 version 1607 on, and the
// program also runs on Windows 7, so they are looked up at run time; without
// them every window is at the system DPI, as the manifest's older dpiAware
// setting asks there. Wine shows one monitor and never changes a window's
// DPI, so moving between monitors follows Microsoft's documentation of these
// calls and of WM_DPICHANGED rather than a test on a second monitor.
#pragma once

#include <windows.h>

#include "Win32Handles.h"

constexpr int DesignDpi = 96;

// A design size in pixels at 96 DPI, at the given DPI.
inline int ScaleForDpi(int value, int dpi) {
    return MulDiv(value, dpi, DesignDpi);
}

// A control's place at a DPI from its place at 96 DPI: edges scaled, not
// sizes, so that neighbours stay flush at any scale.
inline RECT ScaleRectForDpi(int left, int top, int width, int height, int dpi) {
    return RECT{ScaleForDpi(left, dpi), ScaleForDpi(top, dpi), ScaleForDpi(left + width, dpi),
                ScaleForDpi(top + height, dpi)};
}

// The DPI of the whole screen, as the system reports it to this process.
int SystemDpi();
// The DPI the window is drawn at: its monitor's, or the system DPI.
int WindowDpi(HWND window);
// The window rectangle around a client rectangle at a DPI.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);
// Takes the rectangle a WM_DPICHANGED message suggests, or without one sizes
// the window around a design client area scaled to the DPI, where it is.
void SizeWindowForDpi(HWND window, const RECT* suggested, int clientWidth, int clientHeight,
                      DWORD style, DWORD exStyle, int dpi);
// A system metric (SM_CXICON, ...) at a DPI.
int SystemMetricForDpi(int index, int dpi);
// The font the system uses for message boxes, at a DPI; null on failure.
UniqueGdiObject MessageFontForDpi(int dpi);
// The font of the program's own windows (Tahoma 8 pt), at a DPI.
UniqueGdiObject FormFontForDpi(int dpi, bool bold);
// In the per-monitor mode the dialog manager would rescale a dialog by its
// own rules on a DPI change; a dialog that lays itself out calls this first.
void KeepDialogManagerFromRescaling(HWND dialog);
// The DPI that a WM_DPICHANGED message carries.
inline int DpiOfChange(WPARAM wParam) {
    return HIWORD(wParam);
}
