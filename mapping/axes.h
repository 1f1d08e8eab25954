// The six axes a mapping can name, in axis order, which is the order of their kinds in
// EntryKind: every part of joybits that names, finds, reads or lists an axis reads it
// here, so an axis is written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "controllers/guid.h"
#include "controllers/state_snapshot.h"
#include "mapping/mapping_entry.h"

// The range the controller set gives every axis, so that 0 is the middle.
inline constexpr LONG AXIS_MIN = -32768;
inline constexpr LONG AXIS_MAX = 32767;

struct AxisInfo {
    const char* letters;  // in the mapping language after "j<n>": "x", "rx"
    const char* help;     // the axis's part of a controller's help list
    const GUID* type;     // the DirectInput object type of the axis
    uint32_t offset;      // byte offset of its LONG field in DIJOYSTATE2
};

inline constexpr AxisInfo AXES[AXIS_COUNT] = {
    {"x", "x[<N,>N,n],", &GUID_XAxis, offsetof(DIJOYSTATE2, lX)},
    {"y", "y[<N,>N,n],", &GUID_YAxis, offsetof(DIJOYSTATE2, lY)},
    {"z", "z[<N,>N,n],", &GUID_ZAxis, offsetof(DIJOYSTATE2, lZ)},
    {"rx", "rx[<N,>N,n],", &GUID_RxAxis, offsetof(DIJOYSTATE2, lRx)},
    {"ry", "ry[<N,>N,n],", &GUID_RyAxis, offsetof(DIJOYSTATE2, lRy)},
    {"rz", "rz[<N,>N,n],", &GUID_RzAxis, offsetof(DIJOYSTATE2, lRz)},
};
static_assert(sizeof(AXES) / sizeof(AXES[0]) == AXIS_COUNT);
static_assert(axis_kind(0, AxisForm::below) == EntryKind::x_below && axis_kind(5, AxisForm::bit) == EntryKind::rz_bit,
              "the axes are in the order of their kinds");
static_assert(AXES[5].offset == offsetof(DIJOYSTATE2, lRz) && AXES[3].offset == offsetof(DIJOYSTATE2, lRx));

// The axis value of a state record.
inline LONG axis_value(const DIJOYSTATE2& state, int axis) {
    LONG value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&state) + AXES[axis].offset, sizeof value);
    return value;
}

inline void set_axis_value(DIJOYSTATE2& state, int axis, LONG value) {
    std::memcpy(reinterpret_cast<unsigned char*>(&state) + AXES[axis].offset, &value, sizeof value);
}

// The axis of that DirectInput object type, or -1.
inline int axis_of_type(const GUID& type) {
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        if (same_guid(type, *AXES[axis].type)) return axis;
    }
    return -1;
}
