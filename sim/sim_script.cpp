// The top of the simulated platform: the scripting API of sim_platform.h, over the
// platform record, the calls' rules and the objects below.
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/sim_objects.h"

using namespace sim;

// --- The platform as a whole -----------------------------------------------------------

void sim_reset() {
    retire_objects();
    platform.controller_count = 0;
    platform.foreground = true;
    platform.ignore_enum_stop = false;
    platform.clock = 0;
    platform.ports = 0;
    platform.device_list_reads = 0;
    retire_windows();
    reset_xinput();
    sim_clear_rules();
    for (int& c : platform.calls) c = 0;
    for (int& n : platform.numbers) n = 0;
    platform.misuse = 0;
    platform.logging = true;
    sim_clear_log();
}

// --- Controllers -------------------------------------------------------------------------

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
    sim_set_product_ids(number, SIM_DEFAULT_VENDOR, static_cast<uint16_t>(number + 1));
    c.object_count = 0;
    for (int& o : c.axis_object) o = -1;
    c.axis_count = c.button_count = c.pov_count = 0;
    c.input = DIJOYSTATE2{};
    for (DWORD& pov : c.input.rgdwPOV) pov = 0xFFFFFFFF;
    c.attached = true;
    c.polled = true;
    c.attachments = 1;
    c.port = platform.ports++;
    notify_device_change(true);
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
            o.offset = AXIS_FIELD_TABLE[o.axis_field].offset;
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
        c.objects[c.object_count - 1].offset = BUTTON_OFFSET + n;
    }
}

void sim_add_pov(int controller) {
    Controller& c = controller_at(controller);
    DWORD n = c.pov_count++;
    sim_add_object(controller, GUID_POV, DIDFT_POV | DIDFT_MAKEINSTANCE(n));
    c.objects[c.object_count - 1].offset = POV_OFFSET + 4 * n;
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

void sim_set_attached(int controller, bool attached) {
    Controller& c = controller_at(controller);
    if (attached && !c.attached) ++c.attachments;
    if (attached != c.attached) notify_device_change(attached);
    c.attached = attached;
    if (!attached) for_each_live_device([&](SimDevice& d) { if (d.controller == controller) d.lose(); });
}

void sim_set_polled(int controller, bool polled) { controller_at(controller).polled = polled; }

void sim_set_foreground(bool foreground) {
    platform.foreground = foreground;
    if (!foreground) for_each_live_device([](SimDevice& d) { if ((d.cooperation & DISCL_FOREGROUND) != 0) d.lose(); });
}

void sim_lose_input(int controller) {
    controller_at(controller);
    for_each_live_device([&](SimDevice& d) { if (d.controller == controller) d.lose(); });
}

GUID sim_instance_guid(int controller) { return controller_at(controller).instance; }

void sim_set_product_ids(int controller, uint16_t vendor, uint16_t product) {
    controller_at(controller).product = {static_cast<DWORD>(vendor) | static_cast<DWORD>(product) << 16, 0, 0,
                                         {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'}};
}

void sim_renew_instance(int controller) { ++controller_at(controller).instance.Data4[5]; }

void sim_plug_elsewhere(int controller) {
    Controller& c = controller_at(controller);
    sim_set_attached(controller, false);
    ++c.instance.Data4[5];
    c.port = platform.ports++;
    sim_set_attached(controller, true);
}

void sim_advance_clock(DWORD milliseconds) { platform.clock += milliseconds; }

int sim_device_list_reads() { return platform.device_list_reads; }

SimWindows sim_windows() {
    SimWindows left{};
    for (const WindowClass& c : platform.classes) left.classes += c.live ? 1 : 0;
    for (const Window& w : platform.windows) left.windows += w.live ? 1 : 0;
    for (const Window& w : platform.windows) left.message_only += w.live && w.message_only ? 1 : 0;
    for (const Registration& r : platform.registrations) left.registrations += r.live ? 1 : 0;
    left.foreign_peeks = platform.foreign_peeks;
    return left;
}

void sim_refuse_notices(SimRefusal refusal) { platform.refusal = refusal; }

// --- Input state -------------------------------------------------------------------------

void sim_set_axis(int controller, SimAxis axis, LONG position) {
    set_axis_field(controller_at(controller).input, static_cast<int>(axis), position);
}

void sim_set_button(int controller, int index, bool pressed) {
    if (index < 0 || index >= 128) usage_error("no such button", controller_at(controller).name);
    controller_at(controller).input.rgbButtons[index] = pressed ? 0x80 : 0x00;
}

void sim_set_pov(int controller, int index, DWORD value) {
    Controller& c = controller_at(controller);
    if (index < 0 || index >= static_cast<int>(c.pov_count)) usage_error("no such point of view", c.name);
    c.input.rgdwPOV[index] = value;
}

// --- Inspection --------------------------------------------------------------------------

int sim_calls(const char* method) { return platform.calls[static_cast<int>(method_named(method))]; }

int sim_refs(const char* object) {
    int result = -1;
    char name[24];
    for_each_core([&](const Core& core) {
        if (core.retired) return;
        object_name(core, name);
        if (std::string(name) == object) result = static_cast<int>(core.refs);
    });
    return result;
}

bool sim_acquired(const char* device) {
    SimDevice* d = device_named(device);
    return d != nullptr && live(d->core) && d->acquired;
}

bool sim_axis_range(const char* device, SimAxis axis, LONG& min, LONG& max) {
    SimDevice* d = device_named(device);
    if (d == nullptr) return false;
    int o = platform.controllers[d->controller].axis_object[static_cast<int>(axis)];
    if (o < 0 || !d->ranges[o].set) return false;
    min = d->ranges[o].min;
    max = d->ranges[o].max;
    return true;
}

int sim_live_objects() {
    int n = 0;
    for_each_core([&](const Core& core) { n += live(core) ? 1 : 0; });
    return n;
}

int sim_misuse_count() { return platform.misuse; }

// --- The call log and the record of calls ------------------------------------------------

void sim_set_logging(bool on) { platform.logging = on; }

void sim_clear_log() {
    platform.log_length = 0;
    platform.log_full = false;
    platform.last_line = NO_LINE;
    platform.recorded = 0;
}

size_t sim_copy_calls(SimCall* out, size_t capacity) {
    size_t n = capacity < platform.recorded ? capacity : platform.recorded;
    if (n > 0) std::memcpy(out, platform.record, n * sizeof(SimCall));
    return platform.recorded;
}

// --- Injected results --------------------------------------------------------------------

void sim_fail(const char* method, int nth, HRESULT result, int times) {
    add_rule(ANY_CONTROLLER, method, nth, result, times, 0);
}

void sim_fail_on(int controller, const char* method, int nth, HRESULT result, int times) {
    controller_at(controller);
    if (static_cast<int>(method_named(method)) < SIM_DEVICE_METHODS_FROM) {
        usage_error("not a call of one controller", method);
    }
    add_rule(controller, method, nth, result, times, 0);
}

void sim_fail_enum(const char* method, int nth, int callbacks, HRESULT result) {
    SimMethod m = method_named(method);
    if (m != SimMethod::EnumDevices && m != SimMethod::EnumObjects) usage_error("not an enumeration", method);
    add_rule(ANY_CONTROLLER, method, nth, result, 1, callbacks);
}

int sim_rule_count() { return platform.rule_count; }

void sim_clear_rules() { platform.rule_count = 0; }

void sim_ignore_enum_stop(bool ignore) { platform.ignore_enum_stop = ignore; }

// --- Texts -------------------------------------------------------------------------------

size_t sim_copy_problems(char* out, size_t capacity) {
    std::string text;
    for_each_core([&](const Core& core) {
        if (!live(core)) return;
        char name[24];
        object_name(core, name);
        char line[64];
        std::snprintf(line, sizeof line, "%s holds %u reference%s\n", name, static_cast<unsigned>(core.refs),
                      core.refs == 1 ? "" : "s");
        text += line;
    });
    for (int i = 0; i < platform.misuse && i < MAX_MISUSE_NOTES; ++i) {
        text += platform.misuse_notes[i];
        text += '\n';
    }
    if (platform.misuse > MAX_MISUSE_NOTES) text += "and more misuse\n";
    return copy_out(text.data(), text.size(), out, capacity);
}

size_t sim_copy_log(char* out, size_t capacity) { return copy_out(platform.log, platform.log_length, out, capacity); }

size_t sim_copy_result_name(HRESULT result, char* out, size_t capacity) {
    char text[40];
    result_text(result, text);
    return copy_out(text, std::strlen(text), out, capacity);
}
