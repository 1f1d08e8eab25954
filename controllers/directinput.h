// The DirectInput 8 declarations that controllers/ uses, and the few of Windows beside them
// (the device list, the clock, the window of device notifications, XInput's
// types and the module calls that load it). On Windows they come from the
// mingw-w64 headers; elsewhere from our own subset, which sim/ implements.
#pragma once

#ifdef _WIN32
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>
#include <dinputd.h>
#include <dbt.h>
#include <xinput.h>
#else
#include "controllers/dinput_subset.h"
#endif
