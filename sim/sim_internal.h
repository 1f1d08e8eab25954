// What the files of the simulated platform share. They stand in layers, each calling only
// the ones below it, as Wine's dinput does:
//
//   sim_script.cpp        top: the scripting API of sim_platform.h
//   sim_direct_input.cpp  the objects: DirectInput8Create, IDirectInput8W,
//   sim_device.cpp          IDirectInputJoyConfig8, IDirectInputDevice8W, and their pools
//   sim_objects.cpp         and reference counts (sim_objects.h); sim_windows.cpp, the
//                           windows and device notifications
//   sim_calls.cpp         the calls: admission, injection rules, the result of each call
//   sim_record.cpp        bottom: the platform record, its controllers, the log and the
//   sim_data.cpp            record of calls, usage_error; the identifiers and c_dfDIJoystick2
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "controllers/guid.h"
#include "sim/sim_platform.h"

namespace sim {

// --- The record (sim_record.cpp, sim_data.cpp) ---------------------------------------

[[noreturn]] void usage_error(const char* what, const char* detail);
// Looks a method up by name; an unknown name aborts (a misspelt rule must not make a test
// vacuous).
SimMethod method_named(const char* name);

constexpr int ANY_CONTROLLER = -1;
constexpr int NO_RULES = -2;  // a call that no rule applies to
constexpr int AXIS_FIELDS = 8;  // SimAxis: six axes and two sliders

// Where DIJOYSTATE2 keeps each kind of object, written here alone: what the platform
// itself knows, in a table of its own, so that a wrong fact in the plug-in's axis table
// shows as a disagreement instead of being shared. The axis fields of the other aspects
// (velocity, acceleration, force) follow the same order from their own start.
struct AxisField {
    const GUID* type;
    DWORD offset;  // of its LONG in DIJOYSTATE2
};
extern const AxisField AXIS_FIELD_TABLE[AXIS_FIELDS];
extern const DWORD POV_OFFSET;     // rgdwPOV, four DWORDs
extern const DWORD BUTTON_OFFSET;  // rgbButtons, one byte each

// The positions tests give, like a HID axis's logical range, which a device scales to the
// range set on the axis.
constexpr LONG POSITION_MIN = -32768;
constexpr LONG POSITION_MAX = 32767;
constexpr int JOYSTICK2_OBJECT_COUNT = 164;
constexpr DWORD ASPECT_POSITION = 0x100;

struct SimObjectInfo {
    GUID type;
    DWORD dw_type;
    DWORD offset;
    int axis_field;  // SimAxis index, or -1
};

struct Controller {
    char name[64];
    GUID instance;
    GUID product;
    SimObjectInfo objects[SIM_MAX_OBJECTS];
    int object_count;
    int axis_object[AXIS_FIELDS];  // object index per axis field, or -1
    DWORD axis_count;
    DWORD button_count;
    DWORD pov_count;
    DIJOYSTATE2 input;
    bool attached;
    bool polled;
    unsigned attachments;  // how often it was attached: its entry in the device list changes each time
    int port;              // its device path's number; its devices are those of this port
};

// The controller of that number; a number never handed out aborts.
Controller& controller_at(int controller);
// The controller whose instance GUID this is, or -1.
int controller_with_instance(const GUID& instance);
// The input field of an axis (SimAxis order).
LONG get_axis_field(const DIJOYSTATE2& state, int field);
void set_axis_field(DIJOYSTATE2& state, int field, LONG value);

enum class Kind { direct_input, device, joy_config };
constexpr int KIND_COUNT = 3;

// What every object has: its kind, number and references.
struct Core {
    Kind kind;
    int number = 0;   // 1, 2, ... since the last reset; 0: never used
    ULONG refs = 0;
    bool retired = true;  // made before the last reset, or never made
};

inline bool live(const Core& c) { return !c.retired && c.refs > 0; }

// "di1", "dev2", "joyconfig3".
void object_name(const Core& core, char (&out)[24]);

struct Rule {
    SimMethod method;
    int controller;
    int nth;
    int times;
    int callbacks;
    HRESULT result;
    int seen;
};

// The message-only windows and device notifications (outside Windows): window classes,
// windows and registrations, each in a pool of its own. Handles count on across resets, so
// a handle from before one names nothing after it.
constexpr int MAX_WINDOW_OBJECTS = 8;
constexpr int MAX_PENDING_NOTICES = 16;

struct WindowClass {
    WCHAR name[64];
    WNDPROC procedure;
    bool live;
};

struct Window {
    uintptr_t handle;
    int window_class;
    LONG_PTR user_data;
    bool live;
    bool message_only;
    // Notifications sent and not yet delivered (DBT_DEVICEARRIVAL or
    // DBT_DEVICEREMOVECOMPLETE), oldest first; the oldest is lost when more come.
    WPARAM pending[MAX_PENDING_NOTICES];
    int pending_count;
};

struct Registration {
    uintptr_t handle;
    uintptr_t window;
    bool hid;  // registered for the HID interface class: told of the controllers
    bool live;
};

// The HID device interface class, as the platform knows it.
extern const GUID HID_CLASS;

// XInput's users outside Windows (sim_xinput.cpp).
constexpr int XINPUT_USERS = 4;
struct XInputUser {
    bool connected;
    XINPUT_STATE state;
};

constexpr size_t LOG_CAPACITY = size_t{1} << 20;
constexpr size_t NO_LINE = SIZE_MAX;
constexpr int MAX_MISUSE_NOTES = 32;

struct Platform {
    Controller controllers[SIM_MAX_CONTROLLERS];
    int controller_count = 0;
    bool foreground = true;
    bool ignore_enum_stop = false;
    DWORD clock = 0;
    int ports = 0;  // ports handed out since the reset
    int device_list_reads = 0;

    WindowClass classes[MAX_WINDOW_OBJECTS] = {};
    Window windows[MAX_WINDOW_OBJECTS] = {};
    Registration registrations[MAX_WINDOW_OBJECTS] = {};
    uintptr_t next_handle = 0x10000;  // never reset
    SimRefusal refusal = SimRefusal::none;
    int foreign_peeks = 0;
    DWORD last_error = 0;

    SimXInput xinput = SimXInput::xinput1_4;
    XInputUser xinput_users[XINPUT_USERS] = {};
    int xinput_loaded[3] = {};  // references per DLL, newest first
    uintptr_t host_window = 0;  // the last window named to GetAncestor

    Rule rules[SIM_MAX_RULES];
    int rule_count = 0;
    int calls[SIM_METHOD_COUNT] = {};

    int numbers[KIND_COUNT] = {};  // objects made per kind since the reset
    int misuse = 0;
    char misuse_notes[MAX_MISUSE_NOTES][96] = {};

    bool logging = true;
    bool log_full = false;
    size_t log_length = 0;
    size_t last_line = NO_LINE;
    char log[LOG_CAPACITY];
    size_t recorded = 0;
    SimCall record[SIM_MAX_RECORDED];
};

extern Platform platform;

// Whether the next call's texts reach the log: the texts are formatted only then, since a
// run with the log off (a fuzzer's) makes millions of calls.
inline bool logged() { return platform.logging && !platform.log_full; }

// The log's primitives: text added to the current line, a line ended, a whole line.
void log_append(const char* format, va_list args);
void log_raw(const char* format, ...) __attribute__((format(printf, 1, 2)));
void end_line();
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "di1." before a method's name; nothing for the functions of the DLL itself.
void log_object_prefix(const Core* core);
// "DI_OK", "DIERR_INPUTLOST", ... or "0x8000FFFF".
void result_text(HRESULT result, char (&out)[40]);
// "0x1234" or "null" (nothing while the log is off).
void pointer_text(const void* p, char (&out)[24]);
// A GUID by name where the platform knows it ("GUID_XAxis", a controller's quoted name),
// else in braces.
void guid_name(const GUID& g, char (&out)[80]);
// Copies a text of the simulation into a caller's buffer as the sim_copy_ functions
// promise; answers length.
size_t copy_out(const char* text, size_t length, char* out, size_t capacity);

// --- Windows and notifications (sim_windows.cpp) ------------------------------------

// A controller came or went: every window registered for the HID class is sent a
// notification, delivered when its thread next takes messages.
void notify_device_change(bool arrival);
// Drops every class, window and registration (sim_reset).
void retire_windows();

// Puts XInput back to its initial state: every DLL there, no user connected, none loaded.
void reset_xinput();

// --- The calls (sim_calls.cpp) -------------------------------------------------------

// A result a rule forces on a call.
struct Injection {
    bool forced = false;
    HRESULT result = 0;
    int callbacks = 0;  // enumerations: callbacks made before an injected failure
    // An injected failure takes the call's place (it has no effect), unless it lets an
    // enumeration make some callbacks first.
    bool refuses() const { return forced && FAILED(result) && callbacks == 0; }
    // Whether an enumeration may make one more callback after `made` of them.
    bool allows_callback(int made) const { return !forced || SUCCEEDED(result) || made < callbacks; }
};

// One simulated call in progress.
struct Call {
    Core* core = nullptr;  // null for the functions of the DLL itself
    SimMethod method = SimMethod::GetModuleHandleW;
    size_t line = NO_LINE;        // its log line
    size_t recorded = SIZE_MAX;   // its entry in the record of calls
    Injection injection;
    HRESULT answer = S_OK;  // when the call was not admitted: what the method answers
};

// Starts a call: counts it, logs "object.Method(arguments)", records it, and finds the
// result a rule injects for that controller. Only GetModuleHandleW, whose answer is no
// result code, starts itself; every method is admitted.
void begin_call(Call& call, Core* core, SimMethod method, int controller, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// The one admission step of every method. False when the method must not run, with its
// answer in call.answer: a call on a retired object (from before the last reset) is
// answered quietly and goes nowhere (DI_OK from Unacquire, which a plug-in letting old
// objects go calls, E_POINTER from the rest); a call on a released object is misuse,
// E_POINTER; an injected failure is the answer, logged, and sets *out to null (out: the
// method's out pointer, or null for a method without one). Otherwise the call has begun.
bool admit(Call& call, Core* core, SimMethod method, int controller, void** out, const char* format, ...)
    __attribute__((format(printf, 6, 7)));
// Ends a call: an injected failure is the answer, an injected success replaces a success;
// logs and records the result (and the object made, if any). Returns the answer.
HRESULT end_call(Call& call, HRESULT result, const Core* made = nullptr);
// Ends a call whose answer the log writes as text (a count, a handle); records result.
void end_call_as(Call& call, HRESULT result, const char* text);
// A method the plug-in never calls: logged, counted, E_NOTIMPL.
HRESULT not_implemented(Core& core, SimMethod method);
void note_misuse(const Core& core, const char* what);
void add_rule(int controller, const char* method, int nth, HRESULT result, int times, int callbacks);

}  // namespace sim
