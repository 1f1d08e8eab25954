// The DirectInput 8 declarations that controllers/ uses. On Windows they come from the
// mingw-w64 headers; elsewhere from our own subset, which sim/ implements.
#pragma once

#ifdef _WIN32
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>
#include <dinputd.h>
#else
#include "controllers/dinput_subset.h"
#endif
