// The DirectInput facts of the axes a mapping can name, from the one table of them in
// controller_facts.h (JOYBITS_AXIS_TABLE), in axis order: every part of joybits that
// finds, reads or lists an axis reads it here, so an axis is written once. Its names come
// from controller_facts.h, which needs no DirectInput.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "controllers/controller_facts.h"
#include "controllers/guid.h"
#include "controllers/state_snapshot.h"

struct AxisInfo {
    const GUID* type;  // the DirectInput object type of the axis
    uint32_t offset;   // byte offset of its LONG field in DIJOYSTATE2
};

#define JOYBITS_AXIS_INFO(letters, noun, help, type, field) \
    {&type, static_cast<uint32_t>(offsetof(DIJOYSTATE2, field))},
inline constexpr AxisInfo AXES[] = {JOYBITS_AXIS_TABLE(JOYBITS_AXIS_INFO)};
#undef JOYBITS_AXIS_INFO
static_assert(sizeof(AXES) / sizeof(AXES[0]) == MAPPED_AXIS_COUNT);
static_assert(sizeof(DIJOYSTATE2::rgbButtons) == BUTTON_COUNT);
static_assert(AXES[5].offset == offsetof(DIJOYSTATE2, lRz) && AXES[7].offset == offsetof(DIJOYSTATE2, rglSlider) + 4);
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

// The axis of that DirectInput object type as the data format takes it, given the axes
// already taken (seen): the first of that type not yet taken, so that the sliders, which
// share a type, go in their order; an axis whose type no other shares, taken again, is
// itself; -1 for a type of no axis, or a slider past the last.
inline int axis_of_type(const GUID& type, const bool (&seen)[MAPPED_AXIS_COUNT]) {
    int first = -1;
    int of_type = 0;
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        if (!same_guid(type, *AXES[axis].type)) continue;
        if (!seen[axis]) return axis;
        if (first < 0) first = axis;
        ++of_type;
    }
    return of_type == 1 ? first : -1;
}
