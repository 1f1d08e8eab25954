// Setting up the simulated platform and the plug-in for the benchmarks that go through
// the command dispatch as a host goes through the export. Natively the benchmarks drive
// a plug-in state of their own through `plugin_dispatch`; on Windows they drive the
// shipped joybits.dll through its export, over the simulated dinput8.dll beside it, and
// count the library's own allocations too.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/bench_counters.h"
#include "bench/bench_mapping.h"
#include "controllers/axes.h"
#include "plugin/joybits.h"
#include "sim/sim_platform.h"

#if defined(_WIN32)
#include "tests/plugin/shipped_plugin.h"

// A command to the shipped library, whose allocations are counted from its first call.
inline intptr_t bench_device(int32_t command, intptr_t argument) {
    static PluginEntry entry = [] {
        PluginEntry found = shipped_plugin_entry();
        count_allocations_of(GetModuleHandleW(L"joybits.dll"));
        return found;
    }();
    return entry(command, argument);
}
#else
#include "plugin/plugin.h"

// The plug-in state the benchmarks drive, as the export drives its own.
inline PluginState bench_plugin;

inline intptr_t bench_device(int32_t command, intptr_t argument) { return plugin_dispatch(bench_plugin, command, argument); }
#endif

// Any non-null handle will do: the simulated platform only checks that there is one.
inline const intptr_t BENCH_WINDOW = 0x1234;

// A fresh platform with `controllers` attached controllers, each with all six axes and
// 32 buttons, the call log off, and the host's window handed to the plug-in.
inline void attach_controllers(int controllers) {
    bench_device(CMD_RELEASE, 0);
    sim_reset();
    sim_set_logging(false);
    for (int c = 0; c < controllers; ++c) {
        int pad = sim_add_controller(("Bench pad " + std::to_string(c + 1)).c_str());
        for (SimAxis axis : {SimAxis::x, SimAxis::y, SimAxis::z, SimAxis::rx, SimAxis::ry, SimAxis::rz})
            sim_add_axis(pad, axis);
        sim_add_buttons(pad, 32);
        sim_set_axis(pad, SimAxis::x, 9000 * (c % 2 == 0 ? 1 : -1));
        sim_set_axis(pad, SimAxis::ry, -20000);
        sim_set_button(pad, c % 32, true);
    }
    bench_device(CMD_SET_WINDOW, BENCH_WINDOW);
}

// Lets the plug-in go and retires the platform's objects, so the next benchmark starts clean.
inline void detach_controllers() {
    bench_device(CMD_RELEASE, 0);
    sim_reset();
}
