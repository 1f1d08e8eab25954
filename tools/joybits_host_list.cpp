// --list: the attached game controllers, enumerated the way the plug-in enumerates them,
// through the DirectInput interface (the real one on Windows, the simulated one natively).
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "controllers/directinput.h"
#include "controllers/axes.h"
#include "controllers/controller_facts.h"
#include "tools/joybits_host_platform.h"
#include "tools/joybits_host_text.h"

namespace {

struct ListedController {
    std::string name;
    std::string guid;
    std::vector<std::string> axes;
    int other_axes = 0;
    int buttons = 0;
    bool taken = true;  // false past the eighth: the plug-in has no slot for it
};

struct ListState {
    IDirectInput8W* direct_input = nullptr;
    std::vector<ListedController> listed;
    size_t taken = 0;
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

BOOL CALLBACK on_object(const DIDEVICEOBJECTINSTANCEW* object, LPVOID context) {
    auto* state = static_cast<ListState*>(context);
    if (object == nullptr || state->current == nullptr) return DIENUM_CONTINUE;
    try {
        if ((object->dwType & DIDFT_BUTTON) != 0) ++state->current->buttons;
        if ((object->dwType & DIDFT_AXIS) == 0) return DIENUM_CONTINUE;
        const int axis = axis_of_type(object->guidType);
        if (axis >= 0) {
            state->current->axes.emplace_back(AXES[axis].letters);
        } else {
            ++state->current->other_axes;
        }
    } catch (...) {
        state->out_of_storage = true;
        return DIENUM_STOP;
    }
    return DIENUM_CONTINUE;
}

// As the plug-in does: a controller whose device cannot be created takes no number, and
// none is taken after the eighth (those are listed as not taken).
BOOL CALLBACK on_device(const DIDEVICEINSTANCEW* instance, LPVOID context) {
    auto* state = static_cast<ListState*>(context);
    if (instance == nullptr) return DIENUM_CONTINUE;
    if (state->taken >= static_cast<size_t>(SLOT_COUNT)) {
        try {
            state->listed.push_back(
                ListedController{product_name(*instance), guid_text(instance->guidInstance), {}, 0, 0, false});
        } catch (...) {
            state->out_of_storage = true;
            return DIENUM_STOP;
        }
        return DIENUM_CONTINUE;
    }
    IDirectInputDevice8W* device = nullptr;
    if (FAILED(state->direct_input->CreateDevice(instance->guidInstance, &device, nullptr)) || device == nullptr) {
        return DIENUM_CONTINUE;
    }
    try {
        state->listed.push_back(ListedController{product_name(*instance), guid_text(instance->guidInstance), {}, 0, 0, true});
        ++state->taken;
        state->current = &state->listed.back();
        device->EnumObjects(on_object, state, DIDFT_ALL);
        state->current = nullptr;
    } catch (...) {
        state->out_of_storage = true;
    }
    device->Release();
    return state->out_of_storage ? DIENUM_STOP : DIENUM_CONTINUE;
}

}  // namespace

bool list_controllers(std::ostream& out, bool json, std::string& error) {
    ListState state;
    void* created = nullptr;
    if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W, &created, nullptr)) ||
        created == nullptr) {
        error = "DirectInput could not be created";
        return false;
    }
    state.direct_input = static_cast<IDirectInput8W*>(created);
    state.listed.reserve(SLOT_COUNT);
    const HRESULT hr = state.direct_input->EnumDevices(DI8DEVCLASS_GAMECTRL, on_device, &state, DIEDFL_ATTACHEDONLY);
    state.direct_input->Release();
    if (FAILED(hr)) {
        error = "the enumeration of the game controllers failed";
        return false;
    }
    if (state.out_of_storage) {
        error = "out of memory while listing the controllers";
        return false;
    }
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (size_t i = 0; i < state.listed.size(); ++i) {
            const ListedController& c = state.listed[i];
            if (!c.taken) {
                list.push_back({{"number", nullptr}, {"name", c.name}, {"guid", c.guid}, {"taken", false}});
                continue;
            }
            list.push_back({{"number", i + 1}, {"name", c.name}, {"guid", c.guid}, {"axes", c.axes},
                            {"other_axes", c.other_axes}, {"buttons", c.buttons}});
        }
        out << nlohmann::json{{"controllers", list}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
            << "\n";
        return true;
    }
    if (state.listed.empty()) out << "no game controller attached\n";
    for (size_t i = 0; i < state.listed.size(); ++i) {
        const ListedController& c = state.listed[i];
        if (!c.taken) {
            out << "--  " << c.name << "  " << c.guid << "  not taken: the plug-in has " << SLOT_COUNT << " slots\n";
            continue;
        }
        out << "j" << i + 1 << "  " << c.name << "  " << c.guid << "  axes:";
        if (c.axes.empty()) out << " none";
        for (const std::string& axis : c.axes) out << " " << axis;
        if (c.other_axes > 0) out << " (and " << c.other_axes << " other)";
        out << "  buttons: " << c.buttons << "\n";
    }
    return true;
}
