// The playground's side in WebAssembly. The page drives the plug-in through its export,
// _pbplug_Device, exactly as a host does; these functions are the rest it needs: the
// simulated platform's virtual controllers, and the host tool's diagnostics of a mapping
// (its table of entries, its syntax error, its warnings), as JSON texts.
#include <emscripten/emscripten.h>

#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "controllers/controller_facts.h"
#include "report/check.h"
#include "plugin/joybits.h"
#include "sim/sim_platform.h"
#include "sim/virtual_pad.h"
#include "report/report.h"

namespace {

// The last JSON text handed to the page; valid until the next call.
std::string answer_json;

// What each virtual controller has, in the order the platform enumerates them.
std::vector<ControllerObjects> pads;

static_assert(static_cast<int>(SimAxis::slider0) == AXIS_COUNT, "the platform numbers the axes as the mapping does");

const char* hand_over(const nlohmann::json& json) {
    answer_json = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return answer_json.c_str();
}

}  // namespace

extern "C" {

// {"commands":{"set_window":N,...},"slots":N,"axes":["x",...,"u"],"povs":N,"buttons":N,
//  "axis_min":N,"axis_max":N,"first_poll":"..."}: what the page must agree on with the
// plug-in, from its own headers; the axes are the virtual pads' axes and sliders in the
// order the page's axis numbers take, povs and buttons how many each pad has.
EMSCRIPTEN_KEEPALIVE const char* playground_facts() {
    nlohmann::json axes = nlohmann::json::array();
    for (SimAxis axis : VIRTUAL_PAD_AXES) axes.push_back(mapped_axis_letters(static_cast<int>(axis)));
    return hand_over({{"commands",
                       {{"set_window", CMD_SET_WINDOW},
                        {"release", CMD_RELEASE},
                        {"configure", CMD_CONFIGURE},
                        {"poll", CMD_POLL},
                        {"next_bit", CMD_NEXT_BIT}}},
                      {"slots", SLOT_COUNT},
                      {"axes", axes},
                      {"povs", VIRTUAL_PAD_POVS},
                      {"buttons", VIRTUAL_PAD_BUTTONS},
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

// A virtual pad (sim/virtual_pad.h, the host tool's too); its number.
EMSCRIPTEN_KEEPALIVE int playground_add_controller() {
    const int id = sim_add_virtual_pad(VIRTUAL_PAD_NAME);
    ControllerObjects objects;
    for (SimAxis axis : VIRTUAL_PAD_AXES) objects.axes[static_cast<int>(axis)] = true;
    objects.povs = VIRTUAL_PAD_POVS;
    objects.buttons = VIRTUAL_PAD_BUTTONS;
    pads.push_back(objects);
    return id;
}

// axis: an index into the facts' axes (x, y, z, rx, ry, rz, the slider u); position
// -32768 to 32767.
EMSCRIPTEN_KEEPALIVE void playground_set_axis(int controller, int axis, int position) {
    if (axis >= 0 && axis < static_cast<int>(std::size(VIRTUAL_PAD_AXES))) {
        sim_set_axis(controller, VIRTUAL_PAD_AXES[axis], position);
    }
}

// point of view 0 (h1): hundredths of a degree clockwise from up, or -1 for centred.
EMSCRIPTEN_KEEPALIVE void playground_set_pov(int controller, int pov, int value) {
    if (pov >= 0 && pov < VIRTUAL_PAD_POVS) sim_set_pov(controller, pov, static_cast<DWORD>(value));
}

// button 1 to the pad's count, as the mapping language numbers them.
EMSCRIPTEN_KEEPALIVE void playground_set_button(int controller, int button, int pressed) {
    if (button >= 1 && button <= VIRTUAL_PAD_BUTTONS) sim_set_button(controller, button - 1, pressed != 0);
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
