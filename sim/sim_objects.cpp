// The object pools and the reference counting shared by the three kinds of object.
#include <cstdio>

#include "sim/sim_objects.h"

namespace sim {

Pool<SimDirectInput, DIRECT_INPUT_POOL> direct_inputs;
Pool<SimDevice, DEVICE_POOL> devices;
Pool<SimJoyConfig, JOY_CONFIG_POOL> joy_configs;

void start_object(Core& core) {
    core.number = ++platform.numbers[static_cast<int>(core.kind)];
    core.refs = 1;
    core.retired = false;
}

void retire_objects() {
    for (SimDirectInput& o : direct_inputs.items) o.core.retired = true;
    for (SimDevice& o : devices.items) o.core.retired = true;
    for (SimJoyConfig& o : joy_configs.items) o.core.retired = true;
}

SimDevice* device_named(const char* name) {
    int number = 0;
    if (std::sscanf(name, "dev%d", &number) != 1) return nullptr;
    for (SimDevice& d : devices.items) {
        if (!d.core.retired && d.core.number == number) return &d;
    }
    return nullptr;
}

namespace {

// AddRef and Release answer the count left, which the log writes as a number.
ULONG end_count(Call& call, ULONG refs) {
    char text[16] = "";
    if (call.line != NO_LINE) std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(refs));
    end_call_as(call, static_cast<HRESULT>(refs), text);
    return refs;
}

}  // namespace

ULONG add_ref(Core& core) {
    Call call;
    if (!admit(call, &core, SimMethod::AddRef, NO_RULES, nullptr, "%s", "")) return 0;
    return end_count(call, ++core.refs);
}

// Release past zero is misuse of its own, not a call on a released object.
ULONG release(Core& core) {
    if (!core.retired && core.refs == 0) {
        ++platform.calls[static_cast<int>(SimMethod::Release)];
        note_misuse(core, "Release past zero");
        return 0;
    }
    Call call;
    if (!admit(call, &core, SimMethod::Release, NO_RULES, nullptr, "%s", "")) return 0;
    return end_count(call, --core.refs);
}

}  // namespace sim
