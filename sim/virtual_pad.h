// The virtual pad that the host tool's built-in scenario and the playground put on the
// simulated platform, so that both show the same controllers: today's common pad, two
// sticks and two triggers as the six axes, a slider, the D-pad as a point of view, and
// the 16 buttons of a standard gamepad layout (its D-pad buttons are 13 to 16).
#pragma once

#include "sim/sim_platform.h"

inline constexpr SimAxis VIRTUAL_PAD_AXES[] = {SimAxis::x,  SimAxis::y,  SimAxis::z,      SimAxis::rx,
                                               SimAxis::ry, SimAxis::rz, SimAxis::slider0};
inline constexpr int VIRTUAL_PAD_POVS = 1;
inline constexpr int VIRTUAL_PAD_BUTTONS = 16;
inline constexpr char VIRTUAL_PAD_NAME[] = "Virtual Pad";

// Adds one virtual pad to the platform; its number.
inline int sim_add_virtual_pad(const char* product_name) {
    const int id = sim_add_controller(product_name);
    for (SimAxis axis : VIRTUAL_PAD_AXES) sim_add_axis(id, axis);
    for (int pov = 0; pov < VIRTUAL_PAD_POVS; ++pov) sim_add_pov(id);
    sim_add_buttons(id, VIRTUAL_PAD_BUTTONS);
    return id;
}
