// Single-threaded COM with OLE on the calling thread for the lifetime of the
// object. The folder browser's newer dialog style needs it.
#pragma once

#include <windows.h>

#include <ole2.h>

class OleScope {
  public:
    OleScope() : started_(SUCCEEDED(OleInitialize(nullptr))) {}
    // Balances only what this object started.
    ~OleScope() {
        if (started_)
            OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

  private:
    bool started_;
};
