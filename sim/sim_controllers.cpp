// Virtual controllers: their objects, as EnumObjects reports them, and their input state,
// which tests set and GetDeviceState reports.
#include <cstdio>
#include <cstring>

#include "sim/sim_internal.h"

namespace sim {

Controller& controller_at(int controller) {
    if (controller < 0 || controller >= platform.controller_count) usage_error("no such controller", "");
    return platform.controllers[controller];
}

int controller_with_instance(const GUID& instance) {
    for (int c = 0; c < platform.controller_count; ++c) {
        if (same_guid(instance, platform.controllers[c].instance)) return c;
    }
    return -1;
}

static_assert(static_cast<int>(SimAxis::slider1) + 1 == AXIS_FIELDS);

LONG get_axis_field(const DIJOYSTATE2& s, int field) {
    LONG value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&s) + AXIS_FIELD_TABLE[field].offset, sizeof value);
    return value;
}

void set_axis_field(DIJOYSTATE2& s, int field, LONG value) {
    std::memcpy(reinterpret_cast<unsigned char*>(&s) + AXIS_FIELD_TABLE[field].offset, &value, sizeof value);
}

}  // namespace sim

using namespace sim;

namespace {

const GUID& axis_guid(int field) { return *AXIS_FIELD_TABLE[field].type; }

SimObjectInfo& new_object(Controller& c) {
    if (c.object_count == SIM_MAX_OBJECTS) usage_error("too many objects on", c.name);
    SimObjectInfo& o = c.objects[c.object_count++];
    o = SimObjectInfo{};
    o.axis_field = -1;
    return o;
}

// The axis field an object of this type reports into: the first free one of its type.
int free_axis_field(const Controller& c, const GUID& type) {
    for (int f = 0; f < AXIS_FIELDS; ++f) {
        if (c.axis_object[f] < 0 && same_guid(type, axis_guid(f))) return f;
    }
    return -1;
}

}  // namespace

int sim_add_controller(const char* product_name) {
    if (platform.controller_count == SIM_MAX_CONTROLLERS) usage_error("too many controllers", product_name);
    int number = platform.controller_count++;
    Controller& c = platform.controllers[number];
    std::snprintf(c.name, sizeof c.name, "%s", product_name);
    auto serial = static_cast<BYTE>(number + 1);
    c.instance = {0x6A6F7900u + serial, 0x5349, 0x4D00, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, serial}};
    c.product = {0x6A6F7950u + serial, 0x5349, 0x4D00, {0x50, 0x49, 0x44, 0x56, 0x49, 0x44, 0x00, serial}};
    c.object_count = 0;
    for (int& o : c.axis_object) o = -1;
    c.axis_count = c.button_count = c.pov_count = 0;
    c.input = DIJOYSTATE2{};
    for (DWORD& pov : c.input.rgdwPOV) pov = 0xFFFFFFFF;
    c.attached = true;
    c.polled = true;
    return number;
}

void sim_add_object(int controller, const GUID& type, DWORD dw_type) {
    Controller& c = controller_at(controller);
    SimObjectInfo& o = new_object(c);
    o.type = type;
    o.dw_type = dw_type;
    if ((dw_type & DIDFT_AXIS) != 0) {
        o.axis_field = free_axis_field(c, type);
        if (o.axis_field >= 0) {
            c.axis_object[o.axis_field] = c.object_count - 1;
            o.offset = static_cast<DWORD>(4 * o.axis_field);
        }
    }
}

void sim_add_axis(int controller, SimAxis axis) {
    Controller& c = controller_at(controller);
    sim_add_object(controller, axis_guid(static_cast<int>(axis)), DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(c.axis_count++));
}

void sim_add_buttons(int controller, int count) {
    Controller& c = controller_at(controller);
    for (int i = 0; i < count; ++i) {
        DWORD n = c.button_count++;
        sim_add_object(controller, GUID_Button, DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(n));
        c.objects[c.object_count - 1].offset = 48 + n;
    }
}

void sim_add_pov(int controller) {
    Controller& c = controller_at(controller);
    DWORD n = c.pov_count++;
    sim_add_object(controller, GUID_POV, DIDFT_POV | DIDFT_MAKEINSTANCE(n));
    c.objects[c.object_count - 1].offset = 32 + 4 * n;
}

int sim_add_gamepad(const char* product_name, int buttons) {
    int c = sim_add_controller(product_name);
    sim_add_axis(c, SimAxis::x);
    sim_add_axis(c, SimAxis::y);
    sim_add_buttons(c, buttons);
    return c;
}

int sim_add_joystick(const char* product_name) {
    int c = sim_add_controller(product_name);
    sim_add_axis(c, SimAxis::x);
    sim_add_axis(c, SimAxis::y);
    sim_add_axis(c, SimAxis::z);
    sim_add_axis(c, SimAxis::rz);
    sim_add_axis(c, SimAxis::slider0);
    sim_add_pov(c);
    sim_add_buttons(c, 8);
    return c;
}

GUID sim_instance_guid(int controller) { return controller_at(controller).instance; }

void sim_set_polled(int controller, bool polled) { controller_at(controller).polled = polled; }

void sim_set_axis(int controller, SimAxis axis, LONG position) {
    set_axis_field(controller_at(controller).input, static_cast<int>(axis), position);
}

void sim_set_pov(int controller, int index, DWORD value) {
    Controller& c = controller_at(controller);
    if (index < 0 || index >= static_cast<int>(c.pov_count)) usage_error("no such point of view", c.name);
    c.input.rgdwPOV[index] = value;
}

void sim_set_button(int controller, int index, bool pressed) {
    if (index < 0 || index >= 128) usage_error("no such button", controller_at(controller).name);
    controller_at(controller).input.rgbButtons[index] = pressed ? 0x80 : 0x00;
}
