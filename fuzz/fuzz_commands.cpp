// Fuzzer for the command protocol: the input bytes are a script of host commands (any
// code, negative and unknown ones included, with null, text or arbitrary arguments)
// mixed with platform events (controllers added, detached, losing input, the window
// going to the background, failures injected into any platform call, XInput's pads
// coming, going and moving, its DLLs missing) and failures of
// the allocation operator inside a configure.
//
// Checked after every step: the command's answer is what the command table gives; a
// configure answers a zero-terminated text of one of its shapes; the table and the slots
// keep their invariants; the plug-in never misuses a platform object; and after the
// final release no platform object is left held.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "controllers/controller_facts.h"
#include "plugin/plugin.h"
#include "sim/sim_platform.h"
#include "tests/support/alloc_counter.h"

namespace {

// The plug-in state the input drives, as the export drives its own.
PluginState tested;

[[noreturn]] void fail(const char* what, const char* detail) {
    std::fprintf(stderr, "fuzz_commands: %s\n%s\n", what, detail);
    std::abort();
}

// The detail is a text already at hand: nothing is formatted for a check that holds.
void check(bool ok, const char* what, const char* detail = "") {
    if (!ok) fail(what, detail);
}

// The platform's problem list is formatted only once there is one to show.
void check_platform(bool ok, const char* what) {
    if (!ok) fail(what, sim_problems().c_str());
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

uint8_t next_byte(Input& in) { return in.pos < in.size ? in.data[in.pos++] : 0; }

int32_t next_int(Input& in) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | next_byte(in);
    return static_cast<int32_t>(v);
}

// A text for the configure command: up to 199 input bytes, ending at a zero or ';'.
constexpr size_t TEXT_ROOM = 200;

void next_text(Input& in, char (&text)[TEXT_ROOM]) {
    size_t length = 0;
    size_t n = next_byte(in) % TEXT_ROOM;
    for (size_t i = 0; i < n && in.pos < in.size; ++i) {
        char c = static_cast<char>(next_byte(in));
        if (c == '\0' || c == ';') break;
        text[length++] = c;
    }
    text[length] = '\0';
}

int32_t next_code(Input& in) {
    static const int32_t codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1, -7,
                                    std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    uint8_t b = next_byte(in);
    if (b < 200) return codes[b % (sizeof(codes) / sizeof(codes[0]))];
    return next_int(in);
}

HRESULT next_result(Input& in) {
    static const HRESULT results[] = {E_FAIL, DIERR_INPUTLOST, DIERR_NOTACQUIRED, DIERR_OTHERAPPHASPRIO,
                                      DIERR_UNPLUGGED, E_OUTOFMEMORY, S_FALSE, DI_NOEFFECT, 2};
    return results[next_byte(in) % (sizeof(results) / sizeof(results[0]))];
}

void check_state() {
    const PluginState& state = tested;
    check(state.table.count >= 0 && state.table.count <= MAX_ENTRIES, "count out of range");
    bool gap = false;
    for (const ControllerSlot& slot : state.controllers.slots) {
        if (slot.device == nullptr) {
            gap = true;
        } else {
            check(!gap, "slots filled with a gap");
            check(state.controllers.direct_input != nullptr, "a device held without DirectInput");
        }
    }
    check_platform(sim_misuse_count() == 0, "platform misuse");
}

void check_configure_answer(intptr_t result) {
    auto answer = reinterpret_cast<const char*>(result);
    check(answer != nullptr, "configure returned null");
    size_t n = std::strlen(answer);  // AddressSanitizer checks that the text is terminated in bounds
    if (std::strcmp(answer, OUT_OF_MEMORY_MESSAGE) == 0) {
        check(tested.table.count == 0, "entries served after running out of storage");
        check(tested.controllers.direct_input == nullptr, "DirectInput kept after running out of storage");
        return;
    }
    if (std::strcmp(answer, INIT_ERROR_MESSAGE) == 0 || std::strcmp(answer, ENUMERATION_ERROR_MESSAGE) == 0) {
        check(tested.table.count == 0, "entries served after a failed open");
        return;
    }
    const char* help = std::strstr(answer, "//help//a;p;");
    check(help != nullptr, "answer without help list", answer);
    check(answer[n - 1] == ';', "help list does not end with ';'", answer);
    const char* marker = std::strstr(answer, SYNTAX_ERROR_MARK);
    if (marker != nullptr && marker < help) check(tested.table.count == 0, "syntax error but entries served");
}

// Controllers added to the platform in this input; more than ten add nothing new.
int g_controllers = 0;
constexpr int MAX_CONTROLLERS = 10;

// Whether another injection rule may be added. The platform holds SIM_MAX_RULES at most;
// when they are all in force, the input decides whether the new rule is dropped or takes
// the place of all the old ones.
bool room_for_rule(Input& in) {
    if (sim_rule_count() < SIM_MAX_RULES) return true;
    if ((next_byte(in) & 1) == 0) return false;
    sim_clear_rules();
    return true;
}

// The platform events an input can make, each on a controller that exists (the first
// three add one).
void add_bare(Input&, int) { sim_add_controller("Bare"); }
void add_pad(Input& in, int) { sim_add_gamepad("Pad", next_byte(in) % 20); }
void add_stick(Input&, int) { sim_add_joystick("Stick"); }
void attach(Input& in, int controller) { sim_set_attached(controller, (next_byte(in) & 1) != 0); }
void lose_input(Input&, int controller) { sim_lose_input(controller); }
void set_foreground(Input& in, int) { sim_set_foreground((next_byte(in) & 1) != 0); }
void set_polled(Input& in, int controller) { sim_set_polled(controller, (next_byte(in) & 1) != 0); }

void fail_any(Input& in, int) {
    const char* method = SIM_METHOD_NAMES[next_byte(in) % SIM_INJECTABLE_METHODS];
    int nth = 1 + next_byte(in) % 6;
    HRESULT result = next_result(in);
    uint8_t t = next_byte(in);
    sim_fail(method, nth, result, t == 0xFF ? SIM_FOREVER : 1 + t % 3);
}

void fail_on_controller(Input& in, int controller) {
    const char* method =
        SIM_METHOD_NAMES[SIM_DEVICE_METHODS_FROM + next_byte(in) % (SIM_INJECTABLE_METHODS - SIM_DEVICE_METHODS_FROM)];
    int nth = 1 + next_byte(in) % 4;
    sim_fail_on(controller, method, nth, next_result(in), 1 + next_byte(in) % 3);
}

void fail_enumeration(Input& in, int) {
    const char* method = (next_byte(in) & 1) != 0 ? "EnumDevices" : "EnumObjects";
    sim_fail_enum(method, 1 + next_byte(in) % 3, next_byte(in) % 10, E_FAIL);
}

void ignore_enum_stop(Input& in, int) { sim_ignore_enum_stop((next_byte(in) & 1) != 0); }

void move_stick(Input& in, int controller) {
    sim_set_axis(controller, static_cast<SimAxis>(next_byte(in) % 8),
                 static_cast<int16_t>(static_cast<uint16_t>(next_int(in))));
    sim_set_button(controller, next_byte(in) % BUTTON_COUNT, (next_byte(in) & 1) != 0);
}

// XInput: a user's pad plugged in or out, moved, or the system's DLLs other ones.
void xinput_event(Input& in, int) {
    const int user = next_byte(in) % 4;
    switch (next_byte(in) % 3) {
    case 0: sim_xinput_connect(user, (next_byte(in) & 1) != 0); break;
    case 1: {
        const auto word = static_cast<uint32_t>(next_int(in));
        const auto sticks = static_cast<uint32_t>(next_int(in));
        sim_xinput_set(user, XINPUT_GAMEPAD{static_cast<WORD>(word), static_cast<BYTE>(word >> 16),
                                            static_cast<BYTE>(word >> 24), static_cast<int16_t>(sticks),
                                            static_cast<int16_t>(sticks >> 16), static_cast<int16_t>(~sticks),
                                            static_cast<int16_t>(sticks ^ word)});
        break;
    }
    default: sim_set_xinput(static_cast<SimXInput>(next_byte(in) % 4)); break;
    }
}

struct PlatformEvent {
    void (*run)(Input& in, int controller);
    bool adds_controller;
    bool adds_rule;
};

constexpr PlatformEvent PLATFORM_EVENTS[] = {
    {add_bare, true, false},        {add_pad, true, false},          {add_stick, true, false},
    {attach, false, false},         {lose_input, false, false},      {set_foreground, false, false},
    {set_polled, false, false},     {fail_any, false, true},         {fail_on_controller, false, true},
    {fail_enumeration, false, true}, {ignore_enum_stop, false, false}, {move_stick, false, false},
    {xinput_event, false, false},
};
constexpr size_t PLATFORM_EVENT_COUNT = sizeof(PLATFORM_EVENTS) / sizeof(PLATFORM_EVENTS[0]);
constexpr size_t ATTACH_EVENT = 3;  // what an event that would add an eleventh controller does instead

void platform_event(Input& in) {
    size_t what = next_byte(in) % PLATFORM_EVENT_COUNT;
    if (PLATFORM_EVENTS[what].adds_rule && !room_for_rule(in)) return;
    int controller = next_byte(in) % MAX_CONTROLLERS;
    if (PLATFORM_EVENTS[what].adds_controller && g_controllers >= MAX_CONTROLLERS) what = ATTACH_EVENT;
    if (!PLATFORM_EVENTS[what].adds_controller && controller >= g_controllers) {
        if (g_controllers == 0) return;
        controller %= g_controllers;
    }
    PLATFORM_EVENTS[what].run(in, controller);
    if (PLATFORM_EVENTS[what].adds_controller) ++g_controllers;
}

void host_command(Input& in) {
    int32_t code = next_code(in);
    uint8_t how = next_byte(in);
    char text[TEXT_ROOM];
    intptr_t argument = 0;
    if (code == CMD_CONFIGURE) {
        // The host hands over a text or nothing; sometimes storage runs out inside.
        if (how % 4 != 0) {
            next_text(in, text);
            argument = reinterpret_cast<intptr_t>(text);
        }
        if (how >= 0xC0) alloc_counter::fail_at(1 + (how & 0x3F));
    } else if (how % 3 == 1) {
        // Commands that take no argument must not look at one.
        argument = static_cast<intptr_t>(next_int(in)) | 1;
    } else if (how % 3 == 2 && code == CMD_SET_WINDOW) {
        argument = 0x1234;
    }
    intptr_t result = plugin_dispatch(tested, code, argument);
    alloc_counter::fail_at(0);
    switch (code) {
    case CMD_CONFIGURE:
        check_configure_answer(result);
        break;
    case CMD_POLL:
        check(result == tested.table.count, "poll does not return the count");
        break;
    case CMD_NEXT_BIT:
        check(result == 0 || result == 1, "a read gave neither 0 nor 1");
        if (tested.cursor >= tested.table.count) check(result == 1, "a read past the end gave 0");
        break;
    case CMD_ALWAYS_ONE:
        check(result == 1, "command 10 did not answer 1");
        break;
    default:
        check(result == 0, "command answered other than 0");
        break;
    }
    check_state();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plugin_dispatch(tested, CMD_RELEASE, 0);
    sim_reset();
    sim_set_logging(false);
    tested.controllers.window = nullptr;
    tested.cursor = 0;
    tested.table.count = 0;
    g_controllers = 0;

    Input in{data, size, 0};
    for (int step = 0; step < 200 && in.pos < in.size; ++step) {
        if (next_byte(in) < 96) {
            platform_event(in);
        } else {
            host_command(in);
        }
    }
    plugin_dispatch(tested, CMD_RELEASE, 0);
    check_platform(sim_live_objects() == 0 && sim_misuse_count() == 0, "platform objects left or misused");
    check(sim_xinput_loaded() == 0, "an XInput DLL left loaded after the release");
    return 0;
}
