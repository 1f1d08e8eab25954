// The six axes with their DirectInput facts, in axis order (controller_facts.h): every
// part of joybits that finds, reads or lists an axis reads it here, so an axis is written
// once. The names come from controller_facts.h, which needs no DirectInput.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "controllers/controller_facts.h"
#include "controllers/guid.h"
#include "controllers/state_snapshot.h"

struct AxisInfo {
    const char* letters;  // in the mapping language after "j<n>": "x", "rx"
    const char* help;     // the axis's part of a controller's help list
    const GUID* type;     // the DirectInput object type of the axis
    uint32_t offset;      // byte offset of its LONG field in DIJOYSTATE2
};

inline constexpr AxisInfo AXES[AXIS_COUNT] = {
    {AXIS_NAMES[0].letters, AXIS_NAMES[0].help, &GUID_XAxis, offsetof(DIJOYSTATE2, lX)},
    {AXIS_NAMES[1].letters, AXIS_NAMES[1].help, &GUID_YAxis, offsetof(DIJOYSTATE2, lY)},
    {AXIS_NAMES[2].letters, AXIS_NAMES[2].help, &GUID_ZAxis, offsetof(DIJOYSTATE2, lZ)},
    {AXIS_NAMES[3].letters, AXIS_NAMES[3].help, &GUID_RxAxis, offsetof(DIJOYSTATE2, lRx)},
    {AXIS_NAMES[4].letters, AXIS_NAMES[4].help, &GUID_RyAxis, offsetof(DIJOYSTATE2, lRy)},
    {AXIS_NAMES[5].letters, AXIS_NAMES[5].help, &GUID_RzAxis, offsetof(DIJOYSTATE2, lRz)},
};
static_assert(sizeof(AXES) / sizeof(AXES[0]) == AXIS_COUNT);
static_assert(sizeof(DIJOYSTATE2::rgbButtons) == BUTTON_COUNT);
static_assert(AXES[5].offset == offsetof(DIJOYSTATE2, lRz) && AXES[3].offset == offsetof(DIJOYSTATE2, lRx));

// Where each axis a mapping reads in the three forms stands in DIJOYSTATE2: the six axes,
// then the sliders.
constexpr uint32_t mapped_axis_offset(int axis) {
    return axis < AXIS_COUNT ? AXES[axis].offset
                             : static_cast<uint32_t>(offsetof(DIJOYSTATE2, rglSlider)) + 4u * static_cast<uint32_t>(axis - AXIS_COUNT);
}
static_assert(mapped_axis_offset(AXIS_COUNT + 1) == offsetof(DIJOYSTATE2, rglSlider) + 4);
static_assert(sizeof(DIJOYSTATE2::rglSlider) / sizeof(LONG) == SLIDER_COUNT);
static_assert(sizeof(DIJOYSTATE2::rgdwPOV) / sizeof(DWORD) == POV_COUNT);

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
