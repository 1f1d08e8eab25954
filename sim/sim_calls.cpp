// The path of every simulated call: admission (retired and released objects, injected
// failures), the injection rules, and the result, logged and recorded. Each method's own
// rule runs between admit and end_call and sees nothing of this bookkeeping.
#include <cstdarg>
#include <cstdio>

#include "sim/sim_internal.h"

namespace sim {

namespace {

// The result a rule forces on this call of the method on that controller, if any.
Injection injection_for(SimMethod method, int controller) {
    Injection injection;
    if (static_cast<int>(method) >= SIM_INJECTABLE_METHODS || controller == NO_RULES) return injection;
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

void start_call(Call& call, Core* core, SimMethod method, int controller, const char* format, va_list args) {
    call.core = core;
    call.method = method;
    ++platform.calls[static_cast<int>(method)];
    if (logged()) {
        call.line = platform.log_length;
        log_object_prefix(core);
        log_raw("%s(", sim_method_name(method));
        log_append(format, args);
        log_raw(")");
        end_line();
        platform.last_line = call.line;
    }
    call.injection = injection_for(method, controller);
    if (platform.logging && platform.recorded < SIM_MAX_RECORDED) {
        call.recorded = platform.recorded++;
        SimCall& entry = platform.record[call.recorded];
        entry = SimCall{method, "", controller < 0 ? -1 : controller, S_OK, call.injection.forced};
        if (core != nullptr) object_name(*core, entry.object);
    }
}

}  // namespace

void begin_call(Call& call, Core* core, SimMethod method, int controller, const char* format, ...) {
    va_list args;
    va_start(args, format);
    start_call(call, core, method, controller, format, args);
    va_end(args);
}

bool admit(Call& call, Core* core, SimMethod method, int controller, void** out, const char* format, ...) {
    call = Call{};
    if (core != nullptr && core->retired) {
        call.answer = method == SimMethod::Unacquire ? DI_OK : E_POINTER;
        return false;
    }
    if (core != nullptr && core->refs == 0) {
        ++platform.calls[static_cast<int>(method)];
        char what[48];
        std::snprintf(what, sizeof what, "%s on a released object", sim_method_name(method));
        note_misuse(*core, what);
        call.answer = E_POINTER;
        return false;
    }
    va_list args;
    va_start(args, format);
    start_call(call, core, method, controller, format, args);
    va_end(args);
    if (!call.injection.refuses()) return true;
    if (out != nullptr) *out = nullptr;
    call.answer = end_call(call, call.injection.result);
    return false;
}

// The result goes on the call's own line while it is the last one, else on a closing
// line ("di1.EnumDevices -> DI_OK") after the lines of the calls it made.
void end_call_as(Call& call, HRESULT result, const char* text) {
    if (call.recorded != SIZE_MAX) platform.record[call.recorded].result = result;
    if (call.line == NO_LINE || platform.log_full) return;
    if (platform.last_line == call.line) {
        --platform.log_length;  // the line's '\n'
    } else {
        platform.last_line = platform.log_length;
        log_object_prefix(call.core);
        log_raw("%s", sim_method_name(call.method));
    }
    log_raw(" -> %s%s", text, call.injection.forced ? " (injected)" : "");
    end_line();
}

HRESULT end_call(Call& call, HRESULT result, const Core* made) {
    const Injection& injection = call.injection;
    if (injection.forced && (FAILED(injection.result) || SUCCEEDED(result))) result = injection.result;
    char text[80] = "";
    if (call.line != NO_LINE) {
        char name[40];
        result_text(result, name);
        char made_name[24] = "";
        if (made != nullptr && SUCCEEDED(result)) object_name(*made, made_name);
        std::snprintf(text, sizeof text, "%s%s%s", name, made_name[0] != '\0' ? " " : "", made_name);
    }
    end_call_as(call, result, text);
    return result;
}

HRESULT not_implemented(Core& core, SimMethod method) {
    Call call;
    if (!admit(call, &core, method, NO_RULES, nullptr, "%s", "")) return call.answer;
    return end_call(call, E_NOTIMPL);
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

void add_rule(int controller, const char* method, int nth, HRESULT result, int times, int callbacks) {
    SimMethod m = method_named(method);
    if (static_cast<int>(m) >= SIM_INJECTABLE_METHODS) usage_error("no result can be injected into", method);
    if (m == SimMethod::GetModuleHandleW && !SIM_HAS_MODULE_HANDLE) usage_error("the system answers", method);
    if (platform.rule_count == SIM_MAX_RULES) usage_error("too many rules", method);
    if (nth < 1 || (times < 1 && times != SIM_FOREVER)) usage_error("bad rule count for", method);
    platform.rules[platform.rule_count++] = Rule{m, controller, nth, times, callbacks, result, 0};
}

}  // namespace sim
