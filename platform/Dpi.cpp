#include "Dpi.h"

namespace {

// A user32 function of a later Windows, or null where this one lacks it.
template <typename Function> Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(user32, name)))
                  : nullptr;
}

} // namespace

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : DesignDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : DesignDpi;
}

int WindowDpi(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static const auto getDpi = User32Function<GetDpi>("GetDpiForWindow");
    const UINT dpi = getDpi && window ? getDpi(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = User32Function<Adjust>("AdjustWindowRectExForDpi");
    if (!adjust || !adjust(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

int SystemMetricForDpi(int index, int dpi) {
    using Metric = int(WINAPI*)(int, UINT);
    static const auto metric = User32Function<Metric>("GetSystemMetricsForDpi");
    if (metric)
        return metric(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

UniqueGdiObject MessageFontForDpi(int dpi) {
    // The system keeps its fonts at the system DPI; a monitor at another DPI
    // gets the same font at its scale, as SystemParametersInfoForDpi would
    // give (that call has only a wide form).
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return UniqueGdiObject();
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    return UniqueGdiObject(CreateFontIndirectA(&metrics.lfMessageFont));
}

void SizeWindowForDpi(HWND window, const RECT* suggested, int clientWidth, int clientHeight,
                      DWORD style, DWORD exStyle, int dpi) {
    if (suggested) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    RECT rect{0, 0, ScaleForDpi(clientWidth, dpi), ScaleForDpi(clientHeight, dpi)};
    AdjustWindowRectForDpi(rect, style, exStyle, dpi);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

UniqueGdiObject FormFontForDpi(int dpi, bool bold) {
    LOGFONTA font{};
    font.lfHeight = -MulDiv(8, dpi, 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynA(font.lfFaceName, "Tahoma", LF_FACESIZE);
    return UniqueGdiObject(CreateFontIndirectA(&font));
}

void KeepDialogManagerFromRescaling(HWND dialog) {
    // The function exists from Windows 10 version 1703 on.
    using SetBehavior = BOOL(WINAPI*)(HWND, int, int);
    static const auto set = User32Function<SetBehavior>("SetDialogDpiChangeBehavior");
    const int disableAll = 1; // DDC_DISABLE_ALL
    if (set)
        set(dialog, disableAll, disableAll);
}
