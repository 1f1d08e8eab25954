// Shared set-up of the reliability tests: three controllers of different shapes on the
// simulated platform, the host's side of the entry point, and readers of the call log.
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

// The axis objects of each controller, in the order EnumObjects reports them, with the
// help fragment each gives ("" for an axis that gives none, such as a slider).
struct ControllerShape {
    std::vector<std::string> axis_fragments;
};

// A gamepad (X, Y), a joystick (X, Y, Z, Rz, a slider) and a pad with rotations only.
inline const std::vector<ControllerShape>& three_shapes() {
    static const std::vector<ControllerShape> shapes = {
        {{"x[<N,>N,n],", "y[<N,>N,n],"}},
        {{"x[<N,>N,n],", "y[<N,>N,n],", "z[<N,>N,n],", "rz[<N,>N,n],", ""}},
        {{"rx[<N,>N,n],", "ry[<N,>N,n],"}},
    };
    return shapes;
}

// Fresh platform with the three controllers attached; the host has sent its window and
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

// The method name of a call-log line ("dev2.Poll() -> DI_OK" gives "Poll"), or "" for the
// closing line of a call that made other calls ("di1.EnumDevices -> DI_OK").
inline std::string logged_method(const std::string& line) {
    size_t paren = line.find('(');
    if (paren == std::string::npos) return "";
    size_t dot = line.rfind('.', paren);
    size_t start = dot == std::string::npos ? 0 : dot + 1;
    return line.substr(start, paren - start);
}

// The object a call-log line is made on ("dev2" for "dev2.Poll() -> DI_OK"), or "".
inline std::string logged_object(const std::string& line) {
    size_t paren = line.find('(');
    size_t dot = line.rfind('.', paren);
    return dot == std::string::npos ? std::string() : line.substr(0, dot);
}

// Methods whose results the platform can be told to replace.
inline bool injectable(const std::string& method) {
    for (int m = 0; m < SIM_INJECTABLE_METHODS; ++m) {
        if (method == SIM_METHOD_NAMES[m]) return true;
    }
    return false;
}

// One injectable call of a clean run: the n-th call of method, made on object.
struct PlatformCall {
    std::string method;
    int nth;
    std::string object;
};

inline std::vector<PlatformCall> injectable_calls(const std::vector<std::string>& log) {
    std::vector<PlatformCall> calls;
    for (const std::string& line : log) {
        std::string method = logged_method(line);
        if (!injectable(method)) continue;
        int nth = 1;
        for (const PlatformCall& c : calls) nth += c.method == method ? 1 : 0;
        calls.push_back({method, nth, logged_object(line)});
    }
    return calls;
}

// Nothing held and nothing misused: every object was let go exactly once.
inline void expect_platform_clean(const std::string& where) {
    EXPECT_EQ(sim_live_objects(), 0) << where << "\n" << sim_problems();
    EXPECT_EQ(sim_misuse_count(), 0) << where << "\n" << sim_problems();
}

}  // namespace reliability
