// The playground's side in WebAssembly. The page drives the plug-in through its export,
// _pbplug_Device, exactly as a host does; these functions are the rest it needs: the
// simulated platform's virtual controllers, and the host tool's diagnostics of a mapping
// (its table of entries, its syntax error, its warnings), as JSON texts.
#include <emscripten/emscripten.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "controllers/controller_facts.h"
#include "mapping/check.h"
#include "plugin/joybits.h"
#include "sim/sim_platform.h"
#include "tools/joybits_host_mapping.h"

namespace {

// The last JSON text handed to the page; valid until the next call.
std::string answer_json;

// What each virtual controller has, in the order the platform enumerates them.
std::vector<ControllerObjects> pads;

// Every virtual pad has the six axes, the first slider and one point of view besides its
// buttons.
constexpr int PAD_SLIDERS = 1;
constexpr int PAD_POVS = 1;
static_assert(static_cast<int>(SimAxis::slider0) == AXIS_COUNT, "the platform numbers the axes as the mapping does");

const char* hand_over(const nlohmann::json& json) {
    answer_json = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return answer_json.c_str();
}

}  // namespace

extern "C" {

// {"commands":{"set_window":N,...},"slots":N,"axes":["x",...,"u"],"povs":N,"axis_min":N,
//  "axis_max":N,"first_poll":"..."}: what the page must agree on with the plug-in, from its
// own headers; the axes are the virtual pads' axes and sliders, povs their points of view.
EMSCRIPTEN_KEEPALIVE const char* playground_facts() {
    nlohmann::json axes = nlohmann::json::array();
    for (int axis = 0; axis < AXIS_COUNT + PAD_SLIDERS; ++axis) axes.push_back(mapped_axis_letters(axis));
    return hand_over({{"commands",
                       {{"set_window", CMD_SET_WINDOW},
                        {"release", CMD_RELEASE},
                        {"configure", CMD_CONFIGURE},
                        {"poll", CMD_POLL},
                        {"next_bit", CMD_NEXT_BIT}}},
                      {"slots", SLOT_COUNT},
                      {"axes", axes},
                      {"povs", PAD_POVS},
                      {"axis_min", AXIS_MIN},
                      {"axis_max", AXIS_MAX},
                      {"first_poll", FIRST_POLL_NOTE}});
}

// Puts the platform back to no controllers; the plug-in must have released its own first.
EMSCRIPTEN_KEEPALIVE void playground_reset() {
    sim_reset();
    sim_set_logging(false);
    pads.clear();
}

// A virtual controller with the six axes, a slider, a point of view and the given number
// of buttons; its number.
EMSCRIPTEN_KEEPALIVE int playground_add_controller(int buttons) {
    const int id = sim_add_controller("Virtual pad");
    ControllerObjects objects;
    for (int axis = 0; axis < AXIS_COUNT + PAD_SLIDERS; ++axis) {
        sim_add_axis(id, static_cast<SimAxis>(axis));
        objects.axes[axis] = true;
    }
    for (int pov = 0; pov < PAD_POVS; ++pov) sim_add_pov(id);
    objects.povs = PAD_POVS;
    sim_add_buttons(id, buttons);
    objects.buttons = buttons;
    pads.push_back(objects);
    return id;
}

// axis 0 to 6 (x, y, z, rx, ry, rz, the slider u), position -32768 to 32767.
EMSCRIPTEN_KEEPALIVE void playground_set_axis(int controller, int axis, int position) {
    if (axis >= 0 && axis < AXIS_COUNT + PAD_SLIDERS) sim_set_axis(controller, static_cast<SimAxis>(axis), position);
}

// point of view 0 (h1): hundredths of a degree clockwise from up, or -1 for centred.
EMSCRIPTEN_KEEPALIVE void playground_set_pov(int controller, int pov, int value) {
    if (pov >= 0 && pov < PAD_POVS) sim_set_pov(controller, pov, static_cast<DWORD>(value));
}

// button 1 to BUTTON_COUNT, as the mapping language numbers them.
EMSCRIPTEN_KEEPALIVE void playground_set_button(int controller, int button, int pressed) {
    if (button >= 1 && button <= BUTTON_COUNT) sim_set_button(controller, button - 1, pressed != 0);
}

// The report of the mapping text the plug-in compiles for the host's text (the host's, or
// the default) over the virtual controllers, as the host tool's JSON has it.
EMSCRIPTEN_KEEPALIVE const char* playground_describe(const char* host_text) {
    AttachedControllers attached;
    attached.count = static_cast<int32_t>(pads.size());
    attached.objects = pads;
    return hand_over(report_json(mapping_report(host_text, attached)));
}

}  // extern "C"
