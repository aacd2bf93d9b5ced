#include "BusyCursor.h"

namespace {
int busyDepth = 0;
} // namespace

BusyCursor::BusyCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {
    ++busyDepth;
}

BusyCursor::~BusyCursor() {
    --busyDepth;
    SetCursor(previous_);
}

bool BusyCursor::Active() {
    return busyDepth > 0;
}
