// The playground's side in WebAssembly. The page drives the plug-in through its export,
// _pbplug_Device, exactly as a host does; these functions are the rest it needs: the
// simulated platform's virtual controllers, and the host tool's diagnostics of a mapping
// (its table of entries, its syntax error, its warnings), as JSON texts; and XInput's
// four users, whose pads the page drives as XInput gives their state.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "controllers/axes.h"
#include "controllers/controller_facts.h"
#include "controllers/controllers.h"
#include "mapping/compiler.h"
#include "report/check.h"
#include "plugin/chosen_mapping.h"
#include "plugin/joybits.h"
#include "sim/sim_platform.h"
#include "sim/virtual_pad.h"
#include "report/report.h"

namespace {

// The last JSON text handed to the page; valid until the next call.
std::string answer_json;

// Each virtual controller, in the order the platform enumerates them: what it has, its
// model, and whether it is plugged in.
struct Pad {
    ControllerObjects objects;
    uint32_t model = 0;
    bool attached = true;
};
std::vector<Pad> pads;

// The slots of the last configure: what each is pinned to and which hold a pad, so that a
// pad plugged in later is told the slot the controller set gives it.
uint32_t pinned[SLOT_COUNT] = {};
bool held[SLOT_COUNT] = {};

// The pad of that number on the platform; null for none.
Pad* pad_at(int controller) {
    return controller >= 0 && controller < static_cast<int>(pads.size()) ? &pads[static_cast<size_t>(controller)] : nullptr;
}

// The number (1 to 8) a pad of this model takes now, as the controller set gives slots;
// 0 when none is left.
int take_number(uint32_t model) {
    const int32_t slot = slot_for_model(pinned, held, model);
    if (slot < 0) return 0;
    held[slot] = true;
    return slot + 1;
}

static_assert(static_cast<int>(SimAxis::slider0) == AXIS_COUNT, "the platform numbers the axes as the mapping does");

// XInput's controls, as XINPUT_GAMEPAD has them and by what XInput calls them: the
// analogue ones (the sticks, then the triggers) each in XInput's own range, and the D-pad's
// buttons by the names the page's standard layout gives them.
struct XInputField {
    const char* name;
    int min;
    int max;
    void (*set)(XINPUT_GAMEPAD& pad, int value);
};
constexpr XInputField XINPUT_FIELDS[] = {
    {"left stick x", INT16_MIN, INT16_MAX, [](XINPUT_GAMEPAD& pad, int v) { pad.sThumbLX = static_cast<int16_t>(v); }},
    {"left stick y", INT16_MIN, INT16_MAX, [](XINPUT_GAMEPAD& pad, int v) { pad.sThumbLY = static_cast<int16_t>(v); }},
    {"right stick x", INT16_MIN, INT16_MAX, [](XINPUT_GAMEPAD& pad, int v) { pad.sThumbRX = static_cast<int16_t>(v); }},
    {"right stick y", INT16_MIN, INT16_MAX, [](XINPUT_GAMEPAD& pad, int v) { pad.sThumbRY = static_cast<int16_t>(v); }},
    {"left trigger", 0, UINT8_MAX, [](XINPUT_GAMEPAD& pad, int v) { pad.bLeftTrigger = static_cast<BYTE>(v); }},
    {"right trigger", 0, UINT8_MAX, [](XINPUT_GAMEPAD& pad, int v) { pad.bRightTrigger = static_cast<BYTE>(v); }},
};
static_assert(std::size(XINPUT_FIELDS) == AXIS_COUNT, "an XInput pad has an analogue control for each axis");
struct DpadButton {
    const char* name;
    WORD bit;
};
constexpr DpadButton DPAD_BUTTONS[] = {{"up", XINPUT_GAMEPAD_DPAD_UP},
                                       {"down", XINPUT_GAMEPAD_DPAD_DOWN},
                                       {"left", XINPUT_GAMEPAD_DPAD_LEFT},
                                       {"right", XINPUT_GAMEPAD_DPAD_RIGHT}};

// What the mapping reads of a pad in that state, as the capture records it.
DIJOYSTATE2 reading(const XINPUT_GAMEPAD& pad) {
    DIJOYSTATE2 state{};
    xinput_record(pad, state);
    return state;
}

// Which of XInput's fields each of the mapping's x axes is, found by asking the capture what
// a pad with one control moved reads as, so that the page follows it.
struct XInputAxes {
    int field_of_axis[AXIS_COUNT] = {};
};

XInputAxes find_axes() {
    XInputAxes found;
    for (int field = 0; field < AXIS_COUNT; ++field) {
        XINPUT_GAMEPAD pad{};
        XINPUT_FIELDS[field].set(pad, XINPUT_FIELDS[field].max);
        const DIJOYSTATE2 state = reading(pad);
        for (int axis = 0; axis < AXIS_COUNT; ++axis) {
            if (axis_value(state, axis) != 0) found.field_of_axis[axis] = field;
        }
    }
    return found;
}

const XInputField& field_of_axis(int axis) {
    static const XInputAxes found = find_axes();
    return XINPUT_FIELDS[found.field_of_axis[axis]];
}

// The state the page gave each user's pad, and whether it is connected.
XINPUT_GAMEPAD user_pads[XINPUT_USER_COUNT] = {};
bool user_connected[XINPUT_USER_COUNT] = {};

// The user's pad with one wButtons bit set or cleared, handed to the platform; nothing for
// no such user.
void set_user_bit(int user, WORD bit, bool pressed) {
    if (user < 0 || user >= XINPUT_USER_COUNT) return;
    WORD& buttons = user_pads[user].wButtons;
    buttons = static_cast<WORD>(pressed ? buttons | bit : buttons & ~bit);
    sim_xinput_set(user, user_pads[user]);
}

const char* hand_over(const nlohmann::json& json) {
    answer_json = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return answer_json.c_str();
}

// {"users":N,"letter":"x","axes":[{"letters":"x","control":"left stick x","min":N,"max":N},...],
//  "buttons":["A",...],"dpad":["up",...]}: an XInput pad's controls as the page's axis,
// button and D-pad numbers take them, the axes in the mapping's order with XInput's names
// and ranges, the buttons in the mapping's order (b1 first).
nlohmann::json xinput_facts() {
    nlohmann::json axes = nlohmann::json::array();
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        const XInputField& field = field_of_axis(axis);
        axes.push_back(
            {{"letters", mapped_axis_letters(axis)}, {"control", field.name}, {"min", field.min}, {"max", field.max}});
    }
    nlohmann::json dpad = nlohmann::json::array();
    for (const DpadButton& button : DPAD_BUTTONS) dpad.push_back(button.name);
    return {{"users", XINPUT_USER_COUNT}, {"letter", std::string(1, XINPUT_LETTER)}, {"axes", axes},
            {"buttons", XINPUT_BUTTON_NAMES}, {"dpad", dpad}};
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
                      {"xinput", xinput_facts()},
                      {"axis_max", AXIS_MAX},
                      {"first_poll", FIRST_POLL_NOTE}});
}

// Puts the platform back to no controllers; the plug-in must have released its own first.
EMSCRIPTEN_KEEPALIVE void playground_reset() {
    sim_reset();
    sim_set_logging(false);
    pads.clear();
    for (XINPUT_GAMEPAD& pad : user_pads) pad = XINPUT_GAMEPAD{};
    for (bool& connected : user_connected) connected = false;
}

// A virtual pad (sim/virtual_pad.h, the host tool's too), plugged in, of a model of its
// own; its number on the platform. Added while the plug-in runs, it is a pad plugged in
// after the configure.
EMSCRIPTEN_KEEPALIVE int playground_add_controller() {
    const int id = sim_add_virtual_pad(VIRTUAL_PAD_NAME);
    Pad pad;
    for (SimAxis axis : VIRTUAL_PAD_AXES) pad.objects.axes[static_cast<int>(axis)] = true;
    pad.objects.povs = VIRTUAL_PAD_POVS;
    pad.objects.buttons = VIRTUAL_PAD_BUTTONS;
    pad.model = pad_model(SIM_DEFAULT_VENDOR, static_cast<uint32_t>(id) + 1);
    sim_set_product_ids(id, static_cast<uint16_t>(model_vendor(pad.model)), static_cast<uint16_t>(model_product(pad.model)));
    pads.push_back(pad);
    return id;
}

// "5349:0001": the pad's model as a pin writes it.
EMSCRIPTEN_KEEPALIVE const char* playground_model(int controller) {
    const Pad* pad = pad_at(controller);
    return hand_over(pad != nullptr ? model_text(pad->model).text : "");
}

// The pad unplugged, or plugged back into its port.
EMSCRIPTEN_KEEPALIVE void playground_set_attached(int controller, int attached) {
    Pad* pad = pad_at(controller);
    if (pad == nullptr) return;
    pad->attached = attached != 0;
    sim_set_attached(controller, pad->attached);
}

// The platform's clock moves on: the plug-in looks for pads plugged in by its time.
EMSCRIPTEN_KEEPALIVE void playground_advance_clock(int milliseconds) {
    if (milliseconds > 0) sim_advance_clock(static_cast<DWORD>(milliseconds));
}

// [N, ...]: the number (1 to 8, 0 for none) each pad takes at a configure of host_text:
// each pinned slot the first plugged-in pad of its model, the others the slots not pinned
// in the order the platform lists the pads.
EMSCRIPTEN_KEEPALIVE const char* playground_numbers(const char* host_text) {
    MappingTable table;
    const CompileResult compiled = compile_mapping(TextBuffer(chosen_mapping(host_text)), table);
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        pinned[i] = compiled.pins[i];
        held[i] = false;
    }
    nlohmann::json numbers = nlohmann::json::array();
    for (const Pad& pad : pads) numbers.push_back(pad.attached ? take_number(pad.model) : 0);
    return hand_over(numbers);
}

// The number a pad plugged in after the configure takes: the first slot left for its model.
EMSCRIPTEN_KEEPALIVE int playground_arrival_number(int controller) {
    const Pad* pad = pad_at(controller);
    return pad != nullptr ? take_number(pad->model) : 0;
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

// XInput's user 0 to 3 (the mapping's x1 to x4) connected or not.
EMSCRIPTEN_KEEPALIVE void playground_xinput_connect(int user, int connected) {
    if (user < 0 || user >= XINPUT_USER_COUNT) return;
    user_connected[user] = connected != 0;
    sim_xinput_connect(user, user_connected[user]);
}

// axis: an index into the facts' xinput axes; value within that axis's range.
EMSCRIPTEN_KEEPALIVE void playground_xinput_set_axis(int user, int axis, int value) {
    if (user < 0 || user >= XINPUT_USER_COUNT || axis < 0 || axis >= AXIS_COUNT) return;
    const XInputField& field = field_of_axis(axis);
    field.set(user_pads[user], std::clamp(value, field.min, field.max));
    sim_xinput_set(user, user_pads[user]);
}

// button 1 to 11, as the mapping numbers an XInput pad's buttons.
EMSCRIPTEN_KEEPALIVE void playground_xinput_set_button(int user, int button, int pressed) {
    if (button >= 1 && button <= XINPUT_BUTTON_COUNT) {
        set_user_bit(user, XINPUT_BUTTON_BITS[button - 1], pressed != 0);
    }
}

// direction: an index into the facts' dpad.
EMSCRIPTEN_KEEPALIVE void playground_xinput_set_dpad(int user, int direction, int pressed) {
    if (direction >= 0 && direction < static_cast<int>(std::size(DPAD_BUTTONS))) {
        set_user_bit(user, DPAD_BUTTONS[direction].bit, pressed != 0);
    }
}

// [N, ...]: the user's axes as the mapping reads them, in the mapping's order.
EMSCRIPTEN_KEEPALIVE const char* playground_xinput_reading(int user) {
    nlohmann::json axes = nlohmann::json::array();
    if (user < 0 || user >= XINPUT_USER_COUNT) return hand_over(axes);
    const DIJOYSTATE2 state = reading(user_pads[user]);
    for (int axis = 0; axis < AXIS_COUNT; ++axis) axes.push_back(axis_value(state, axis));
    return hand_over(axes);
}

// The report of the mapping text the plug-in compiles for the host's text (the host's, or
// the default) over the virtual controllers and XInput's users, as the host tool's JSON has it.
EMSCRIPTEN_KEEPALIVE const char* playground_describe(const char* host_text) {
    AttachedControllers attached;
    for (const Pad& pad : pads) {
        if (!pad.attached) continue;
        attached.objects.push_back(pad.objects);
        attached.models.push_back(pad.model);
    }
    attached.count = static_cast<int32_t>(attached.objects.size());
    attached.xinput = XInputPresence::present;
    std::copy(std::begin(user_connected), std::end(user_connected), attached.xinput_connected);
    return hand_over(report_json(mapping_report(host_text, attached)));
}

}  // extern "C"
