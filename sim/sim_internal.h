// What the files of the simulated platform share: the platform record, the objects'
// common core, and the one path every simulated call takes (admission, log, injected
// result, the method's own rule, the success override, the logged result).
//
//   sim_data.cpp         the platform's predefined identifiers and c_dfDIJoystick2
//   sim_controllers.cpp  virtual controllers, their objects and input state
//   sim_calls.cpp        the call path: admission, misuse, the call log, injection rules
//   sim_objects.cpp      object pools, IUnknown, reference inspection, sim_problems
//   sim_direct_input.cpp DirectInput8Create, IDirectInput8W, IDirectInputJoyConfig8
//   sim_device.cpp       IDirectInputDevice8W
#pragma once

#include <cstddef>
#include <cstdint>

#include "controllers/guid.h"
#include "sim/sim_platform.h"

namespace sim {

// Indexes into SIM_METHOD_NAMES, for the methods the simulation gives a rule of its own.
enum Method : int {
    M_GET_MODULE_HANDLE, M_CREATE, M_QUERY_INTERFACE, M_CREATE_DEVICE, M_ENUM_DEVICES, M_ENUM_OBJECTS,
    M_SET_PROPERTY, M_SET_DATA_FORMAT, M_SET_COOPERATIVE_LEVEL, M_ACQUIRE, M_UNACQUIRE, M_POLL,
    M_GET_DEVICE_STATE, M_ADD_REF, M_RELEASE, M_FIRST_NOT_IMPLEMENTED,
};
static_assert(M_ADD_REF == SIM_INJECTABLE_METHODS, "the injectable methods come first");
static_assert(M_CREATE_DEVICE == SIM_DEVICE_METHODS_FROM, "rules for one controller start at CreateDevice");

// Looks a method up by name; an unknown name aborts (a misspelt rule must not make a test
// vacuous).
int method_named(const char* name);

constexpr int ANY_CONTROLLER = -1;
constexpr int NO_RULES = -2;  // a call that no rule applies to
constexpr int AXIS_FIELDS = 8;  // SimAxis: six axes and two sliders

// What the platform itself knows of an axis field: its object type and its place in
// DIJOYSTATE2. The simulated platform keeps its own table, so that a wrong fact in the
// plug-in's axis table shows as a disagreement instead of being shared.
struct AxisField {
    const GUID* type;
    size_t offset;  // of its LONG in DIJOYSTATE2
};
extern const AxisField AXIS_FIELD_TABLE[AXIS_FIELDS];

// The positions tests give, like a HID axis's logical range, which a device scales to the
// range set on the axis.
constexpr LONG POSITION_MIN = -32768;
constexpr LONG POSITION_MAX = 32767;
constexpr int JOYSTICK2_OBJECT_COUNT = 164;
constexpr DWORD ASPECT_POSITION = 0x100;

// --- Virtual controllers -------------------------------------------------------------

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
};

// The controller of that number; a number never handed out aborts.
Controller& controller_at(int controller);
// The controller whose instance GUID this is, or -1.
int controller_with_instance(const GUID& instance);
// The input field of an axis (SimAxis order).
LONG get_axis_field(const DIJOYSTATE2& state, int field);
void set_axis_field(DIJOYSTATE2& state, int field, LONG value);

// --- Objects -------------------------------------------------------------------------

enum class Kind { direct_input, device, joy_config };
constexpr int KIND_COUNT = 3;

struct Core {
    Kind kind;
    int number = 0;   // 1, 2, ... since the last reset; 0: never used
    ULONG refs = 0;
    bool retired = true;  // made before the last reset, or never made
};

inline bool live(const Core& c) { return !c.retired && c.refs > 0; }

// "di1", "dev2", "joyconfig3".
void object_name(const Core& core, char (&out)[24]);
// Gives a pool entry its next number and one reference.
void start_object(Core& core);
// Retires every object (sim_reset).
void retire_objects();

ULONG add_ref(Core& core);
ULONG release(Core& core);

// --- The platform record -------------------------------------------------------------

struct Rule {
    int method;
    int controller;
    int nth;
    int times;
    int callbacks;
    HRESULT result;
    int seen;
};

constexpr size_t LOG_CAPACITY = size_t{1} << 20;
constexpr size_t NO_LINE = SIZE_MAX;
constexpr int MAX_MISUSE_NOTES = 32;

struct Platform {
    Controller controllers[SIM_MAX_CONTROLLERS];
    int controller_count = 0;
    bool foreground = true;
    bool ignore_enum_stop = false;

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
};

extern Platform platform;

// Whether the next call's texts reach the log: the texts are formatted only then, since a
// run with the log off (a fuzzer's) makes millions of calls.
inline bool logged() { return platform.logging && !platform.log_full; }

[[noreturn]] void usage_error(const char* what, const char* detail);

// --- The call path -------------------------------------------------------------------

// A result a rule forces on a call.
struct Injection {
    bool forced = false;
    HRESULT result = 0;
    int callbacks = 0;  // enumerations: callbacks made before an injected failure
    // An injected failure takes the call's place: it has no effect.
    bool refuses() const { return forced && FAILED(result); }
    // Whether an enumeration may make one more callback after `made` of them.
    bool allows_callback(int made) const { return !refuses() || made < callbacks; }
};

// One simulated call in progress.
struct Call {
    Core* core;  // null for the functions of the DLL itself
    int method;
    size_t line;  // its log line, or NO_LINE
    Injection injection;
    bool retired;  // a call on an object from before the last reset: answered quietly
};

// Admits a call: counts it, logs "object.Method(arguments)", and finds the injected result
// for that controller. False when the object is retired or released (the latter is
// misuse): the caller answers without doing anything.
bool begin_call(Call& call, Core* core, int method, int controller, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// Ends a call: an injected failure is the answer, an injected success replaces a success;
// logs the result (and the object made, if any). Returns the answer.
HRESULT end_call(Call& call, HRESULT result, const Core* made = nullptr);
// A method the plug-in never calls: logged, counted, E_NOTIMPL.
HRESULT not_implemented(Core& core, int method);

// The log's own texts.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_text_result(Call& call, const char* text);
void note_misuse(const Core& core, const char* what);
// Copies a text of the simulation into a caller's buffer as the sim_copy_ functions
// promise; answers length.
size_t copy_out(const char* text, size_t length, char* out, size_t capacity);
// "0x1234" or "null".
void pointer_text(const void* p, char (&out)[24]);
// A GUID by name where the platform knows it ("GUID_XAxis", a controller's quoted name),
// else in braces.
void guid_name(const GUID& g, char (&out)[80]);

}  // namespace sim
