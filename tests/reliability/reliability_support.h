// Shared set-up of the reliability tests: three controllers of different shapes on the
// simulated platform, and the host's side of the entry point.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "sim/sim_platform.h"

namespace reliability {

// The plug-in state these tests drive, as the export drives its own.
inline PluginState tested;

inline intptr_t device(int32_t command, intptr_t argument = 0) { return plugin_dispatch(tested, command, argument); }

inline std::string configure(const char* text) {
    auto answer = reinterpret_cast<const char*>(device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(text)));
    return answer == nullptr ? std::string("<null>") : std::string(answer);
}

inline std::string read_bits(int n) {
    std::string bits;
    for (int i = 0; i < n; ++i) bits += device(CMD_NEXT_BIT) != 0 ? '1' : '0';
    return bits;
}

// Fresh platform with three controllers attached: a gamepad (X, Y), a joystick (X, Y, Z,
// Rz, a slider) and a pad with rotations only; the host has sent its window and
// the plug-in holds nothing.
inline void set_up_three_controllers() {
    device(CMD_RELEASE);
    sim_reset();
    sim_add_gamepad("Pad A");
    sim_add_joystick("Stick B");
    int c = sim_add_controller("Pad C");
    sim_add_axis(c, SimAxis::rx);
    sim_add_axis(c, SimAxis::ry);
    sim_add_buttons(c, 4);
    device(CMD_SET_WINDOW, 0x1234);
    tested.cursor = 0;
}

// Nothing held and nothing misused: every object was let go exactly once.
inline void expect_platform_clean(const std::string& where) {
    EXPECT_EQ(sim_live_objects(), 0) << where << "\n" << sim_problems();
    EXPECT_EQ(sim_misuse_count(), 0) << where << "\n" << sim_problems();
}

}  // namespace reliability
