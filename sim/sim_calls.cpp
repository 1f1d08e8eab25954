// The path of every simulated call: admission (retired and released objects), the call
// log, the injection rules and the result override. Each method's own rule runs between
// begin_call and end_call and sees nothing of this bookkeeping.
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

int method_named(const char* name) {
    for (int m = 0; m < SIM_METHOD_COUNT; ++m) {
        if (std::strcmp(name, SIM_METHOD_NAMES[m]) == 0) return m;
    }
    usage_error("unknown method", name);
}

}  // namespace sim

using namespace sim;

namespace {

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

void log_raw(const char* format, ...) __attribute__((format(printf, 1, 2)));
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

// "di1." before a method's name; nothing for the functions of the DLL itself.
void log_object_prefix(const Core* core) {
    if (core == nullptr) return;
    char name[24];
    object_name(*core, name);
    log_raw("%s.", name);
}

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

// --- Rules ---------------------------------------------------------------------------

// The result a rule forces on this call of the method on that controller, if any.
Injection injection_for(int method, int controller) {
    Injection injection;
    if (method >= SIM_INJECTABLE_METHODS || controller == NO_RULES) return injection;
    for (int i = 0; i < platform.rule_count; ++i) {
        Rule& rule = platform.rules[i];
        if (rule.method != method) continue;
        if (rule.controller != ANY_CONTROLLER && rule.controller != controller) continue;
        int call = ++rule.seen;
        if (call < rule.nth) continue;
        if (rule.times != SIM_FOREVER && call >= rule.nth + rule.times) continue;
        injection.forced = true;
        injection.result = rule.result;
        injection.callbacks = rule.callbacks;
        return injection;
    }
    return injection;
}

void add_rule(int controller, const char* method, int nth, HRESULT result, int times, int callbacks) {
    int m = method_named(method);
    if (m >= SIM_INJECTABLE_METHODS) usage_error("no result can be injected into", method);
    if (m == M_GET_MODULE_HANDLE && !SIM_HAS_MODULE_HANDLE) usage_error("the system answers", method);
    if (platform.rule_count == SIM_MAX_RULES) usage_error("too many rules", method);
    if (nth < 1 || (times < 1 && times != SIM_FOREVER)) usage_error("bad rule count for", method);
    platform.rules[platform.rule_count++] = Rule{m, controller, nth, times, callbacks, result, 0};
}

}  // namespace

namespace sim {

void log_line(const char* format, ...) {
    if (!platform.logging || platform.log_full) return;
    platform.last_line = platform.log_length;
    va_list args;
    va_start(args, format);
    log_append(format, args);
    va_end(args);
    end_line();
}

void note_misuse(const Core& core, const char* what) {
    ++platform.misuse;
    char name[24];
    object_name(core, name);
    if (platform.misuse <= MAX_MISUSE_NOTES) {
        std::snprintf(platform.misuse_notes[platform.misuse - 1], sizeof platform.misuse_notes[0], "%s: %s", name, what);
    }
    log_line("MISUSE %s: %s", name, what);
}

bool begin_call(Call& call, Core* core, int method, int controller, const char* format, ...) {
    call = Call{core, method, NO_LINE, Injection{}, false};
    if (core != nullptr && core->retired) {
        call.retired = true;
        return false;
    }
    ++platform.calls[method];
    if (core != nullptr && core->refs == 0) {
        char what[48];
        std::snprintf(what, sizeof what, "%s on a released object", SIM_METHOD_NAMES[method]);
        note_misuse(*core, what);
        return false;
    }
    if (logged()) {
        call.line = platform.log_length;
        log_object_prefix(core);
        log_raw("%s(", SIM_METHOD_NAMES[method]);
        va_list args;
        va_start(args, format);
        log_append(format, args);
        va_end(args);
        log_raw(")");
        end_line();
        platform.last_line = call.line;
    }
    call.injection = injection_for(method, controller);
    return true;
}

// The result goes on the call's own line while it is the last one, else on a closing
// line ("di1.EnumDevices -> DI_OK") after the lines of the calls it made.
void log_text_result(Call& call, const char* text) {
    if (call.line == NO_LINE || platform.log_full) return;
    if (platform.last_line == call.line) {
        --platform.log_length;  // the line's '\n'
    } else {
        platform.last_line = platform.log_length;
        log_object_prefix(call.core);
        log_raw("%s", SIM_METHOD_NAMES[call.method]);
    }
    log_raw(" -> %s%s", text, call.injection.forced ? " (injected)" : "");
    end_line();
}

HRESULT end_call(Call& call, HRESULT result, const Core* made) {
    const Injection& injection = call.injection;
    if (injection.forced && (FAILED(injection.result) || SUCCEEDED(result))) result = injection.result;
    if (call.line == NO_LINE) return result;
    char text[80];
    char name[40];
    result_text(result, name);
    char made_name[24] = "";
    if (made != nullptr && SUCCEEDED(result)) object_name(*made, made_name);
    std::snprintf(text, sizeof text, "%s%s%s", name, made_name[0] != '\0' ? " " : "", made_name);
    log_text_result(call, text);
    return result;
}

HRESULT not_implemented(Core& core, int method) {
    Call call;
    if (!begin_call(call, &core, method, NO_RULES, "%s", "")) return E_POINTER;
    return end_call(call, E_NOTIMPL);
}

size_t copy_out(const char* text, size_t length, char* out, size_t capacity) {
    if (capacity == 0) return length;
    size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
    return length;
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

}  // namespace sim

// --- Scripting: the log, the counts and the rules --------------------------------------

void sim_reset() {
    retire_objects();
    platform.controller_count = 0;
    platform.foreground = true;
    platform.ignore_enum_stop = false;
    sim_clear_rules();
    for (int& c : platform.calls) c = 0;
    for (int& n : platform.numbers) n = 0;
    platform.misuse = 0;
    platform.logging = true;
    sim_clear_log();
}

int sim_calls(const char* method) { return platform.calls[method_named(method)]; }

void sim_set_logging(bool on) { platform.logging = on; }

void sim_clear_log() {
    platform.log_length = 0;
    platform.log_full = false;
    platform.last_line = NO_LINE;
}

size_t sim_copy_log(char* out, size_t capacity) {
    return copy_out(platform.log, platform.log_length, out, capacity);
}

size_t sim_copy_result_name(HRESULT result, char* out, size_t capacity) {
    char text[40];
    result_text(result, text);
    return copy_out(text, std::strlen(text), out, capacity);
}

void sim_fail(const char* method, int nth, HRESULT result, int times) {
    add_rule(ANY_CONTROLLER, method, nth, result, times, 0);
}

void sim_fail_on(int controller, const char* method, int nth, HRESULT result, int times) {
    controller_at(controller);
    if (method_named(method) < SIM_DEVICE_METHODS_FROM) usage_error("not a call of one controller", method);
    add_rule(controller, method, nth, result, times, 0);
}

void sim_fail_enum(const char* method, int nth, int callbacks, HRESULT result) {
    int m = method_named(method);
    if (m != M_ENUM_DEVICES && m != M_ENUM_OBJECTS) usage_error("not an enumeration", method);
    add_rule(ANY_CONTROLLER, method, nth, result, 1, callbacks);
}

int sim_rule_count() { return platform.rule_count; }

void sim_clear_rules() { platform.rule_count = 0; }

void sim_ignore_enum_stop(bool ignore) { platform.ignore_enum_stop = ignore; }
