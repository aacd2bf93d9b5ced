// Single-threaded COM with OLE on the calling thread for the lifetime of the
// object. The folder browser's newer dialog style needs it, and the open-file
// dialog's shell extensions may.
#pragma once

#include <windows.h>

#include "LateBound.h"

class OleScope {
  public:
    OleScope() : started_(SUCCEEDED(LateBound::OleInitialize(nullptr))) {}
    // Balances only what this object started.
    ~OleScope() {
        if (started_)
            LateBound::OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

  private:
    bool started_;
};
