// --list: the attached game controllers, enumerated the way the plug-in enumerates them,
// through the DirectInput interface (the real one on Windows, the simulated one natively),
// with the objects each has, then the XInput users, asked through XInput as the plug-in
// loads it; the check hears of the same objects and users.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "controllers/directinput.h"
#include "controllers/axes.h"
#include "controllers/controller_facts.h"
#include "controllers/controllers.h"
#include "controllers/guid.h"
#include "report/check.h"
#include "host/platform.h"
#include "host/text.h"

namespace {

struct ListedController {
    std::string name;
    std::string guid;
    uint32_t model;                 // pad_model, as the plug-in reads it
    std::vector<std::string> axes;  // the six axes' letters, in object order
    ControllerObjects objects;      // what the mapping language reads of it
    int other_axes = 0;             // axes of no other kind, and sliders past the second
    bool taken = true;              // false past the eighth: the plug-in has no slot for it
};

struct ListState {
    ControllerSet set;  // the plug-in's slots, which its own enumeration callback fills
    bool stopped = false;  // that callback stopped the enumeration: the pads after are not taken
    std::vector<ListedController> listed;
    ListedController* current = nullptr;
    bool out_of_storage = false;
};

std::string guid_text(const GUID& guid) {
    char text[40];
    format_guid(guid, text);
    return text;
}

std::string product_name(const DIDEVICEINSTANCEW& instance) {
    constexpr size_t units = sizeof instance.tszProductName / sizeof instance.tszProductName[0];
    char16_t name[units];
    for (size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(instance.tszProductName[i]);
    return utf16_to_utf8(name, units);
}

// The pin that keeps the controller listed as j<number> at its number: "j1=045E:028E".
std::string pin_text(size_t number, const ListedController& c) {
    return controller_name(static_cast<uint32_t>(number)) + PIN_MARK + model_text(c.model).text;
}

BOOL CALLBACK on_object(const DIDEVICEOBJECTINSTANCEW* object, LPVOID context) {
    auto* state = static_cast<ListState*>(context);
    if (object == nullptr || state->current == nullptr) return DIENUM_CONTINUE;
    ListedController& c = *state->current;
    try {
        if ((object->dwType & DIDFT_BUTTON) != 0) ++c.objects.buttons;
        if ((object->dwType & DIDFT_POV) != 0) ++c.objects.povs;
        if ((object->dwType & DIDFT_AXIS) == 0) return DIENUM_CONTINUE;
        const int axis = axis_of_type(object->guidType, c.objects.axes);
        if (axis < 0) {
            ++c.other_axes;
        } else {
            if (axis < AXIS_COUNT) c.axes.emplace_back(AXIS_NAMES[axis].letters);
            c.objects.axes[axis] = true;
        }
    } catch (...) {
        state->out_of_storage = true;
        return DIENUM_STOP;
    }
    return DIENUM_CONTINUE;
}

// The slot the plug-in's enumeration callback gives the pad, which it creates; -1 when it
// gives none (the device could not be created, or no slot is left).
int32_t slot_taken(ListState& state, const DIDEVICEINSTANCEW& instance) {
    if (state.stopped) return -1;
    IDirectInputDevice8W* before[SLOT_COUNT];
    for (int32_t i = 0; i < SLOT_COUNT; ++i) before[i] = state.set.slots[i].device;
    state.stopped = on_device_enumerated(&instance, &state.set) == DIENUM_STOP;
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (state.set.slots[i].device != before[i]) return i;
    }
    return -1;
}

// Every attached pad is listed: those the plug-in's callback takes with their objects,
// those after it stopped as not taken, those whose device could not be created not at all.
BOOL CALLBACK on_device(const DIDEVICEINSTANCEW* instance, LPVOID context) {
    auto* state = static_cast<ListState*>(context);
    if (instance == nullptr) return DIENUM_CONTINUE;
    const bool stopped = state->stopped;
    const int32_t slot = slot_taken(*state, *instance);
    if (slot < 0 && !stopped) return DIENUM_CONTINUE;
    try {
        state->listed.push_back(ListedController{product_name(*instance), guid_text(instance->guidInstance),
                                                 model_of(*instance), {}, {}, 0, slot >= 0});
        if (slot < 0) return DIENUM_CONTINUE;
        state->current = &state->listed.back();
        state->set.slots[slot].device->EnumObjects(on_object, state, DIDFT_ALL);
        state->current = nullptr;
    } catch (...) {
        state->out_of_storage = true;
    }
    return state->out_of_storage ? DIENUM_STOP : DIENUM_CONTINUE;
}

// The attached controllers in the plug-in's order; false with error set on failure.
bool enumerate_controllers(std::vector<ListedController>& listed, std::string& error) {
    ListState state;
    void* created = nullptr;
    if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W, &created, nullptr)) ||
        created == nullptr) {
        error = "DirectInput could not be created";
        return false;
    }
    state.set.direct_input = static_cast<IDirectInput8W*>(created);
    state.listed.reserve(SLOT_COUNT);
    const HRESULT hr = state.set.direct_input->EnumDevices(DI8DEVCLASS_GAMECTRL, on_device, &state, DIEDFL_ATTACHEDONLY);
    reset_controllers(state.set);
    if (FAILED(hr)) {
        error = "the enumeration of the game controllers failed";
        return false;
    }
    if (state.out_of_storage) {
        error = "out of memory while listing the controllers";
        return false;
    }
    listed = std::move(state.listed);
    return true;
}

// "u v", the sliders' letters; "h1 h2", the points of view as their tokens begin.
std::vector<std::string> slider_letters(const ControllerObjects& objects) {
    std::vector<std::string> letters;
    for (int slider = AXIS_COUNT; slider < MAPPED_AXIS_COUNT; ++slider) {
        if (objects.axes[slider]) letters.emplace_back(AXIS_NAMES[slider].letters);
    }
    return letters;
}
std::vector<std::string> pov_names(const ControllerObjects& objects) {
    std::vector<std::string> names;
    for (int pov = 1; pov <= objects.povs && pov <= POV_COUNT; ++pov) names.push_back(POV_LETTER + std::to_string(pov));
    return names;
}
// " u r d l", the points of view's directions.
std::string direction_letters() {
    std::string letters;
    for (const PovDirection& direction : POV_DIRECTIONS) (letters += ' ') += direction.letter;
    return letters;
}

// The XInput users as the plug-in's own loading finds XInput: whether it is there, and which
// users a pad is connected as.
XInputPresence xinput_users(bool (&connected)[XINPUT_USER_COUNT], bool& guide) {
    XInputUsers users;
    if (!configure_xinput(users, (1u << XINPUT_USER_COUNT) - 1)) return XInputPresence::missing;
    for (int u = 0; u < XINPUT_USER_COUNT; ++u) {
        XINPUT_STATE state{};
        connected[u] = users.query(static_cast<DWORD>(u), &state) == ERROR_SUCCESS;
    }
    guide = users.with_guide;
    release_xinput(users);
    return XInputPresence::present;
}

std::string xinput_name(int user) { return controller_name(static_cast<uint32_t>(SLOT_COUNT + 1 + user)); }

// The XInput users after the DirectInput pads: each connected or not, with what every
// XInput pad has; one line when the system has no XInput.
void list_xinput_users(std::ostream& out, bool json, nlohmann::json& document) {
    bool connected[XINPUT_USER_COUNT] = {};
    bool guide = true;
    const bool present = xinput_users(connected, guide) == XInputPresence::present;
    const ControllerObjects pad = xinput_pad_objects();
    std::vector<std::string> axes;
    for (int axis = 0; axis < AXIS_COUNT; ++axis) axes.emplace_back(AXIS_NAMES[axis].letters);
    if (json) {
        document["xinput"] = nullptr;
        for (int u = 0; present && u < XINPUT_USER_COUNT; ++u) {
            nlohmann::json user{{"number", xinput_name(u)}, {"connected", connected[u]}};
            if (connected[u]) {
                user.update({{"axes", axes}, {"povs", pov_names(pad)}, {"buttons", pad.buttons}});
            }
            document["xinput"].push_back(user);
        }
        return;
    }
    if (!present) {
        out << "x1..x" << XINPUT_USER_COUNT << "  no XInput on this system: x tokens read at rest\n";
        return;
    }
    if (std::find(std::begin(connected), std::end(connected), true) == std::end(connected)) {
        out << "x1..x" << XINPUT_USER_COUNT << "  no XInput pad connected\n";
        return;
    }
    for (int u = 0; u < XINPUT_USER_COUNT; ++u) {
        out << xinput_name(u) << "  ";
        if (!connected[u]) {
            out << "not connected\n";
            continue;
        }
        out << "XInput pad  axes:";
        for (const std::string& axis : axes) out << " " << axis;
        out << "  points of view: h1 (directions" << direction_letters() << ")  buttons: " << pad.buttons << "\n";
    }
}

}  // namespace

bool attached_objects(AttachedControllers& attached, std::string& error) {
    std::vector<ListedController> listed;
    if (!enumerate_controllers(listed, error)) return false;
    attached.objects.clear();
    attached.models.clear();
    for (const ListedController& c : listed) {
        if (c.taken) attached.objects.push_back(c.objects);
        attached.models.push_back(c.model);
    }
    attached.xinput = xinput_users(attached.xinput_connected, attached.xinput_guide);
    return true;
}

bool list_controllers(std::ostream& out, bool json, std::string& error) {
    std::vector<ListedController> listed;
    if (!enumerate_controllers(listed, error)) return false;
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (size_t i = 0; i < listed.size(); ++i) {
            const ListedController& c = listed[i];
            if (!c.taken) {
                list.push_back({{"number", nullptr}, {"name", c.name}, {"guid", c.guid},
                                {"model", model_text(c.model).text}, {"taken", false}});
                continue;
            }
            list.push_back({{"number", i + 1}, {"name", c.name}, {"guid", c.guid}, {"model", model_text(c.model).text},
                            {"pin", pin_text(i + 1, c)}, {"axes", c.axes},
                            {"sliders", slider_letters(c.objects)}, {"povs", pov_names(c.objects)},
                            {"other_axes", c.other_axes}, {"buttons", c.objects.buttons}});
        }
        nlohmann::json document{{"controllers", list}};
        list_xinput_users(out, true, document);
        out << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return true;
    }
    if (listed.empty()) out << "no game controller attached\n";
    for (size_t i = 0; i < listed.size(); ++i) {
        const ListedController& c = listed[i];
        if (!c.taken) {
            out << "--  " << c.name << "  " << c.guid << "  not taken: the plug-in has " << SLOT_COUNT
                << " slots (a pin j<n>=" << model_text(c.model).text << " can give it one)\n";
            continue;
        }
        out << controller_name(static_cast<uint32_t>(i + 1)) << "  " << c.name << "  " << c.guid << "  " << model_text(c.model).text << "  axes:";
        if (c.axes.empty()) out << " none";
        for (const std::string& axis : c.axes) out << " " << axis;
        if (c.other_axes > 0) out << " (and " << c.other_axes << " other)";
        // Sliders and points of view only where there are some, so that a plain pad's line
        // keeps the form scripts read.
        const std::vector<std::string> sliders = slider_letters(c.objects);
        if (!sliders.empty()) out << "  sliders:";
        for (const std::string& slider : sliders) out << " " << slider;
        const std::vector<std::string> povs = pov_names(c.objects);
        if (!povs.empty()) out << "  points of view:";
        for (const std::string& pov : povs) out << " " << pov;
        if (!povs.empty()) out << " (directions" << direction_letters() << ")";
        out << "  buttons: " << c.objects.buttons << "  pin: " << pin_text(i + 1, c) << "\n";
    }
    nlohmann::json unused;
    list_xinput_users(out, false, unused);
    return true;
}
