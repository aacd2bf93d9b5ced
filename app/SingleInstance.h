// One copy of the utility at a time for a user account, in whatever session
// it runs: the window holds
// the lock for as long as it is open, and the command line's configure for
// its run, so that no copy works on data that another is moving.
#pragma once

#include <windows.h>

#include <string>

#include "Win32Handles.h"

class InstanceLock {
  public:
    // Takes the lock, unless another copy of this account holds it.
    InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    bool Held() const { return held_; }

    // What the command line says when it cannot take the lock.
    static const char* const RefusalText;
    // The lock's name: "Global\\TVNCloudDriveConfiguration-<the account's
    // SID>", or the session's own where the account cannot be told.
    static std::string Name();

  private:
    static HANDLE Create();
    UniqueKernelHandle mutex_;
    bool held_ = false;
};

// Brings the running copy's window to the front (its dialog or progress
// window, where one is open), restoring it from the taskbar. Where no window
// comes within a few seconds, the other copy is the command line at work,
// and a message says so. For a second start of the window.
void ShowRunningCopy();
