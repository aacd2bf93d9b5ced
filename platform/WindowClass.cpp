#include "WindowClass.h"

bool RegisterWindowClassOnce(HINSTANCE instance, const char* name, WNDPROC proc,
                             const char* iconName) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(instance, name, &wc))
        return true;
    wc = WNDCLASSEXA{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (iconName) {
        wc.hIcon = LoadIconA(instance, iconName);
        wc.hIconSm = static_cast<HICON>(LoadImageA(instance, iconName, IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
    return RegisterClassExA(&wc) != 0;
}
