// The platform joybits-host drives: the simulated one with the plug-in linked in
// (platform_sim.cpp), or joybits.dll and the real controllers on Windows
// (platform_win32.cpp).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "report/check.h"

#include "host/host.h"
#include "host/scenario.h"

using DeviceFunction = intptr_t (*)(int32_t command, intptr_t argument);

// The host's frame rate: live runs poll at it, and the simulated clock moves by one such
// frame per frame of a scenario.
inline constexpr int64_t FRAMES_PER_SECOND = 60;

struct HostPlatform {
    DeviceFunction device = nullptr;
    intptr_t window = 0;  // sent with command 0 when not 0; on Windows the tool's own window
    // The Windows platform's own; natively unused.
    void* library = nullptr;       // the plug-in loaded for the run
    bool stop = false;             // a key was pressed or the window closed
    int64_t ticks_per_second = 0;  // of the frame clock; 0 before the first frame
    int64_t next_tick = 0;
    // Game controllers plugged in or unplugged since the last frame, as the system told the
    // window ("a game controller plugged in"); the frame's line shows them.
    std::vector<std::string> device_notes;
    std::vector<void*> devices_at_start;  // the system's game controllers when the window was made
    // Why the run will read no controller, said before anything else; empty when none.
    std::string notice;
};

// Makes the platform ready for a run: loads the plug-in on Windows (plugin_path), or puts
// the scenario's virtual controllers in place natively. False with error set on failure.
bool platform_open(const HostOptions& options, const Scenario& scenario, HostPlatform& platform, std::string& error);
// Natively: sets the frame's inputs on the virtual controllers. Windows: nothing.
void platform_apply(const ScenarioFrame& frame);
// Windows: pumps the window's messages and waits for the next 60 Hz tick; true when a key
// was pressed (live runs stop then). Natively: false at once.
bool platform_wait_frame(const HostOptions& options, HostPlatform& platform);
void platform_close(HostPlatform& platform);
// Whether this build scripts virtual controllers.
bool platform_has_scenarios();
// The version of the plug-in this platform drives, and where it was found: on Windows
// read from the version resource of the library loaded as for a run; natively the
// linked-in plug-in's, which is the tool's own. False with error set on failure.
bool platform_plugin_version(const HostOptions& options, std::string& version, std::string& where, std::string& error);

// Lists the attached game controllers as the plug-in numbers them; false with error set
// when DirectInput could not be created or the enumeration failed.
bool list_controllers(std::ostream& out, bool json, std::string& error);
// What each attached controller has, from the same enumeration, and the models of all of
// them (also those past the eighth), in the platform's order; false with error set when it
// failed.
bool attached_objects(AttachedControllers& attached, std::string& error);
