// Registering the program's window classes.
#pragma once

#include <windows.h>

// Registers a window class with the button face as its background, once per
// process: a class already registered counts as done. iconName, when given,
// names the icon resource the class shows, loaded at the large and small
// sizes when the class is registered. The icons are shared resources that
// the system frees with the module.
bool RegisterWindowClassOnce(HINSTANCE instance, const char* name, WNDPROC proc,
                             const char* iconName = nullptr);
