// The native platform of joybits-host: the plug-in linked in, over the simulated
// DirectInput, whose virtual controllers the scenario scripts.
#include <vector>

#include "joybits_version.h"
#include "controllers/controller_facts.h"
#include "controllers/controllers.h"
#include "plugin/joybits.h"
#include "sim/sim_platform.h"
#include "host/platform.h"

namespace {

// The simulated devices want a window for the exclusive foreground level; any non-null
// handle stands for the host's.
constexpr intptr_t HOST_WINDOW = 0x10;

// A scenario controller's place on the platform: a virtual controller's number, or an
// XInput user's with that user's pad state.
struct PlacedController {
    int id = -1;    // the virtual controller, -1 for an XInput pad
    int user = -1;  // the XInput user, -1 for a DirectInput controller
    XINPUT_GAMEPAD pad{};
};
std::vector<PlacedController> virtual_controllers;

// The D-pad's buttons for each eighth of a turn from up.
constexpr WORD DPAD_BITS = XINPUT_GAMEPAD_DPAD_UP | XINPUT_GAMEPAD_DPAD_DOWN | XINPUT_GAMEPAD_DPAD_LEFT |
                           XINPUT_GAMEPAD_DPAD_RIGHT;
constexpr WORD DPAD_BY_EIGHTH[] = {
    XINPUT_GAMEPAD_DPAD_UP, XINPUT_GAMEPAD_DPAD_UP | XINPUT_GAMEPAD_DPAD_RIGHT, XINPUT_GAMEPAD_DPAD_RIGHT,
    XINPUT_GAMEPAD_DPAD_RIGHT | XINPUT_GAMEPAD_DPAD_DOWN, XINPUT_GAMEPAD_DPAD_DOWN,
    XINPUT_GAMEPAD_DPAD_DOWN | XINPUT_GAMEPAD_DPAD_LEFT, XINPUT_GAMEPAD_DPAD_LEFT,
    XINPUT_GAMEPAD_DPAD_LEFT | XINPUT_GAMEPAD_DPAD_UP};

void apply_to_pad(XINPUT_GAMEPAD& pad, const ScenarioInput& input) {
    if (input.pov >= 0) {
        pad.wButtons &= static_cast<WORD>(~DPAD_BITS);
        if (input.value != POV_CENTRED) pad.wButtons |= DPAD_BY_EIGHTH[input.value / DPAD_STEP];
        return;
    }
    if (input.axis < 0) {
        const WORD bit = XINPUT_BUTTON_BITS[input.button - 1];
        pad.wButtons = static_cast<WORD>(input.value != 0 ? pad.wButtons | bit : pad.wButtons & ~bit);
        return;
    }
    const auto stick = static_cast<int16_t>(input.value);
    const auto trigger = static_cast<BYTE>(input.value);
    switch (static_cast<SimAxis>(input.axis)) {
    case SimAxis::x: pad.sThumbLX = stick; break;
    case SimAxis::y: pad.sThumbLY = stick; break;
    case SimAxis::z: pad.bLeftTrigger = trigger; break;
    case SimAxis::rx: pad.sThumbRX = stick; break;
    case SimAxis::ry: pad.sThumbRY = stick; break;
    default: pad.bRightTrigger = trigger; break;
    }
}

static_assert(static_cast<int>(SimAxis::slider0) == AXIS_COUNT &&
                  static_cast<int>(SimAxis::slider1) + 1 == MAPPED_AXIS_COUNT,
              "a scenario's axis numbers are the platform's");

}  // namespace

bool platform_open(const HostOptions&, const Scenario& scenario, HostPlatform& platform, std::string&) {
    sim_reset();
    // A long run would fill the call log; nothing reads it here.
    sim_set_logging(false);
    virtual_controllers.clear();
    int users = 0;
    for (const ScenarioController& controller : scenario.controllers) {
        if (controller.xinput) {
            sim_xinput_connect(users, controller.attached);
            virtual_controllers.push_back(PlacedController{-1, users++, {}});
            continue;
        }
        const int id = sim_add_controller(controller.name.c_str());
        if (controller.model != 0) {
            sim_set_product_ids(id, static_cast<uint16_t>(model_vendor(controller.model)),
                                static_cast<uint16_t>(model_product(controller.model)));
        }
        // The mapping language's axis numbers, sliders included, are the platform's.
        for (int axis : controller.axes) sim_add_axis(id, static_cast<SimAxis>(axis));
        for (int pov = 0; pov < controller.povs; ++pov) sim_add_pov(id);
        if (controller.buttons > 0) sim_add_buttons(id, controller.buttons);
        sim_set_attached(id, controller.attached);
        virtual_controllers.push_back(PlacedController{id, -1, {}});
    }
    platform.device = _pbplug_Device;
    platform.window = HOST_WINDOW;
    return true;
}

void platform_apply(const ScenarioFrame& frame) {
    for (const ScenarioInput& input : frame.inputs) {
        PlacedController& placed = virtual_controllers.at(static_cast<size_t>(input.controller));
        const int id = placed.id;
        if (placed.user >= 0) {
            if (input.plug) {
                sim_xinput_connect(placed.user, input.value != 0);
            } else {
                apply_to_pad(placed.pad, input);
                sim_xinput_set(placed.user, placed.pad);
            }
        } else if (input.plug) {
            sim_set_attached(id, input.value != 0);
        } else if (input.axis >= 0) {
            sim_set_axis(id, static_cast<SimAxis>(input.axis), input.value);
        } else if (input.pov >= 0) {
            sim_set_pov(id, input.pov, static_cast<DWORD>(input.value));
        } else {
            sim_set_button(id, input.button - 1, input.value != 0);
        }
    }
}

// The simulated clock moves a 60 Hz frame on, so that the plug-in looks for pads plugged in
// as it does on Windows.
bool platform_wait_frame(const HostOptions&, HostPlatform&) {
    sim_advance_clock(1000 / FRAMES_PER_SECOND);
    return false;
}

void platform_close(HostPlatform& platform) { platform = HostPlatform{}; }

bool platform_has_scenarios() { return true; }

bool platform_plugin_version(const HostOptions&, std::string& version, std::string& where, std::string&) {
    version = JOYBITS_VERSION;
    where = "linked into the tool";
    return true;
}
