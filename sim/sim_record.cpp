// The bottom of the simulated platform: the platform record and its virtual controllers,
// the call log and the record of calls, the texts they are written in, usage_error.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/sim_internal.h"

namespace sim {

Platform platform;

[[noreturn]] void usage_error(const char* what, const char* detail) {
    std::fprintf(stderr, "sim: %s: %s\n", what, detail);
    std::abort();
}

SimMethod method_named(const char* name) {
    for (int m = 0; m < SIM_METHOD_COUNT; ++m) {
        if (std::strcmp(name, SIM_METHOD_NAMES[m]) == 0) return static_cast<SimMethod>(m);
    }
    usage_error("unknown method", name);
}

// --- Virtual controllers -------------------------------------------------------------

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

void object_name(const Core& core, char (&out)[24]) {
    static const char* const prefixes[KIND_COUNT] = {"di", "dev", "joyconfig"};
    std::snprintf(out, sizeof out, "%s%d", prefixes[static_cast<int>(core.kind)], core.number);
}

// --- The log -------------------------------------------------------------------------

void log_append(const char* format, va_list args) {
    if (platform.log_full) return;
    size_t room = LOG_CAPACITY - platform.log_length;
    int written = std::vsnprintf(platform.log + platform.log_length, room, format, args);
    if (written < 0 || static_cast<size_t>(written) + 1 >= room) {
        platform.log_full = true;
        platform.log[platform.log_length] = '\0';
        return;
    }
    platform.log_length += static_cast<size_t>(written);
}

void log_raw(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_append(format, args);
    va_end(args);
}

void end_line() {
    if (platform.log_full) return;
    if (platform.log_length + 1 >= LOG_CAPACITY) {
        platform.log_full = true;
        return;
    }
    platform.log[platform.log_length++] = '\n';
}

void log_line(const char* format, ...) {
    if (!platform.logging || platform.log_full) return;
    platform.last_line = platform.log_length;
    va_list args;
    va_start(args, format);
    log_append(format, args);
    va_end(args);
    end_line();
}

void log_object_prefix(const Core* core) {
    if (core == nullptr) return;
    char name[24];
    object_name(*core, name);
    log_raw("%s.", name);
}

// --- The log's texts -----------------------------------------------------------------

// The result codes the log writes by name. Some Windows headers define them as unsigned
// values: the cast makes them result codes.
#define RESULT_NAME(code) {static_cast<HRESULT>(code), #code}
const struct {
    HRESULT result;
    const char* name;
} RESULT_NAMES[] = {
    RESULT_NAME(DI_OK), RESULT_NAME(DI_NOEFFECT), RESULT_NAME(DIERR_INPUTLOST), RESULT_NAME(DIERR_NOTACQUIRED),
    RESULT_NAME(DIERR_ACQUIRED), RESULT_NAME(DIERR_INVALIDPARAM), RESULT_NAME(DIERR_NOINTERFACE),
    RESULT_NAME(DIERR_GENERIC), RESULT_NAME(DIERR_OUTOFMEMORY), RESULT_NAME(DIERR_UNSUPPORTED),
    RESULT_NAME(DIERR_OTHERAPPHASPRIO), RESULT_NAME(DIERR_DEVICENOTREG), RESULT_NAME(DIERR_NOAGGREGATION),
    RESULT_NAME(DIERR_OLDDIRECTINPUTVERSION), RESULT_NAME(DIERR_BETADIRECTINPUTVERSION),
    RESULT_NAME(DIERR_OBJECTNOTFOUND), RESULT_NAME(DIERR_UNPLUGGED), RESULT_NAME(E_POINTER), RESULT_NAME(E_HANDLE),
    RESULT_NAME(E_NOTIMPL),
};
#undef RESULT_NAME

void result_text(HRESULT result, char (&out)[40]) {
    for (const auto& known : RESULT_NAMES) {
        if (known.result != result) continue;
        std::snprintf(out, sizeof out, "%s", known.name);
        return;
    }
    std::snprintf(out, sizeof out, "0x%08" PRIX32, static_cast<uint32_t>(result));
}

void pointer_text(const void* p, char (&out)[24]) {
    if (!logged()) {
        out[0] = '\0';
    } else if (p == nullptr) {
        std::snprintf(out, sizeof out, "null");
    } else {
        std::snprintf(out, sizeof out, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(p));
    }
}

void guid_name(const GUID& g, char (&out)[80]) {
    static const struct {
        const GUID* guid;
        const char* name;
    } known[] = {
        {&IID_IDirectInput8W, "IID_IDirectInput8W"}, {&IID_IDirectInputDevice8W, "IID_IDirectInputDevice8W"},
        {&IID_IDirectInputJoyConfig8, "IID_IDirectInputJoyConfig8"}, {&GUID_XAxis, "GUID_XAxis"},
        {&GUID_YAxis, "GUID_YAxis"}, {&GUID_ZAxis, "GUID_ZAxis"}, {&GUID_RxAxis, "GUID_RxAxis"},
        {&GUID_RyAxis, "GUID_RyAxis"}, {&GUID_RzAxis, "GUID_RzAxis"}, {&GUID_Slider, "GUID_Slider"},
        {&GUID_Button, "GUID_Button"}, {&GUID_POV, "GUID_POV"},
    };
    for (const auto& k : known) {
        if (same_guid(g, *k.guid)) {
            std::snprintf(out, sizeof out, "%s", k.name);
            return;
        }
    }
    int controller = controller_with_instance(g);
    if (controller >= 0) {
        std::snprintf(out, sizeof out, "\"%s\"", platform.controllers[controller].name);
        return;
    }
    char braces[40];
    format_guid(g, braces);
    std::snprintf(out, sizeof out, "%s", braces);
}

size_t copy_out(const char* text, size_t length, char* out, size_t capacity) {
    if (capacity == 0) return length;
    size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
    return length;
}

}  // namespace sim
