// What one poll captured: per controller (the slots j1..j8, then the XInput users x1..x4),
// a fresh flag and the controller's state record, an XInput pad's in a DirectInput pad's
// layout. It lives on the stack of one poll command; a record is undefined while its flag
// is false.
#pragma once

#include <cstddef>

#include "controllers/controller_facts.h"
#include "controllers/directinput.h"

struct StateSnapshot {
    DIJOYSTATE2 state[CONTROLLER_COUNT];
    bool fresh[CONTROLLER_COUNT];
};

static_assert(sizeof(DIJOYSTATE2) == 272);
static_assert(offsetof(DIJOYSTATE2, lX) == 0 && offsetof(DIJOYSTATE2, lY) == 4 && offsetof(DIJOYSTATE2, lZ) == 8);
static_assert(offsetof(DIJOYSTATE2, lRx) == 12 && offsetof(DIJOYSTATE2, lRy) == 16 && offsetof(DIJOYSTATE2, lRz) == 20);
static_assert(offsetof(DIJOYSTATE2, rgbButtons) == 48);
// The data format record the platform reads: 24 bytes where pointers have 32 bits.
static_assert(sizeof(void*) != 4 || sizeof(DIDATAFORMAT) == 24);
