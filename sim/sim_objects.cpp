// The object pools, reference counting shared by the three kinds of object, and what
// tests read of the objects: references, live objects, misuse.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "sim/sim_objects.h"

namespace sim {

Pool<SimDirectInput, DIRECT_INPUT_POOL> direct_inputs;
Pool<SimDevice, DEVICE_POOL> devices;
Pool<SimJoyConfig, JOY_CONFIG_POOL> joy_configs;

void object_name(const Core& core, char (&out)[24]) {
    static const char* const prefixes[KIND_COUNT] = {"di", "dev", "joyconfig"};
    std::snprintf(out, sizeof out, "%s%d", prefixes[static_cast<int>(core.kind)], core.number);
}

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

ULONG add_ref(Core& core) {
    Call call;
    if (!begin_call(call, &core, M_ADD_REF, NO_RULES, "%s", "")) return 0;
    ++core.refs;
    if (call.line != NO_LINE) {
        char text[16];
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(core.refs));
        log_text_result(call, text);
    }
    return core.refs;
}

ULONG release(Core& core) {
    if (core.retired) return 0;
    if (core.refs == 0) {
        ++platform.calls[M_RELEASE];
        note_misuse(core, "Release past zero");
        return 0;
    }
    Call call;
    begin_call(call, &core, M_RELEASE, NO_RULES, "%s", "");
    --core.refs;
    if (call.line != NO_LINE) {
        char text[16];
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(core.refs));
        log_text_result(call, text);
    }
    return core.refs;
}

}  // namespace sim

using namespace sim;

namespace {

// Calls f with the core of every object made since the last reset.
template <typename F>
void for_each_core(F f) {
    for (const SimDirectInput& o : direct_inputs.items) f(o.core);
    for (const SimDevice& o : devices.items) f(o.core);
    for (const SimJoyConfig& o : joy_configs.items) f(o.core);
}

}  // namespace

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

int sim_live_objects() {
    int n = 0;
    for_each_core([&](const Core& core) { n += live(core) ? 1 : 0; });
    return n;
}

int sim_misuse_count() { return platform.misuse; }

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
