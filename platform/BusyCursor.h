// The busy cursor shown while the program works on the window's thread.
#pragma once

#include <windows.h>

// Shows the busy cursor for the lifetime of the object. The window asks
// Active() when the system wants a cursor, so that the busy cursor also stays
// while the pointer moves.
class BusyCursor {
  public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    static bool Active();

  private:
    HCURSOR previous_;
};
