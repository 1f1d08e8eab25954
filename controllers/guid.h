// GUIDs as the platform hands them over: compared byte for byte and written in the usual
// braces form.
#pragma once

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "controllers/directinput.h"

inline bool same_guid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// "{A36D02E0-C9F3-11CF-BFC7-444553540000}".
inline void format_guid(const GUID& g, char (&out)[40]) {
    std::snprintf(out, sizeof out, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<uint32_t>(g.Data1), static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3),
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}
