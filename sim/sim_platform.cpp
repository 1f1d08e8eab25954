#include "sim/sim_platform.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// --- The platform's predefined identifiers and data ----------------------------------

const GUID IID_IDirectInput8W = {0xBF798031, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID IID_IDirectInputDevice8W = {0x54D41081, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
const GUID IID_IDirectInputJoyConfig8 = {0xEB0D7DFA, 0x1990, 0x4F27, {0xB4, 0xD6, 0xED, 0xF2, 0xEE, 0xC4, 0xA4, 0x4C}};
const GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RxAxis = {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RyAxis = {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Slider = {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Button = {0xA36D02F0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_POV = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

constexpr int JOYSTICK2_OBJECT_COUNT = 164;
constexpr DWORD ANY_AXIS = DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
constexpr DWORD ANY_BUTTON = DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
constexpr DWORD ANY_POV = DIDFT_POV | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
constexpr DWORD ASPECT_POSITION = 0x100;
constexpr DWORD ASPECT_VELOCITY = 0x200;
constexpr DWORD ASPECT_ACCEL = 0x300;
constexpr DWORD ASPECT_FORCE = 0x400;

struct ObjectFormats {
    DIOBJECTDATAFORMAT items[JOYSTICK2_OBJECT_COUNT];
};

// The objects of DIJOYSTATE2 in field order: position axes and sliders, points of view,
// buttons, then velocity, acceleration and force axes and sliders.
constexpr ObjectFormats make_joystick2_objects() {
    ObjectFormats f{};
    const GUID* axes[8] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis,
                           &GUID_RyAxis, &GUID_RzAxis, &GUID_Slider, &GUID_Slider};
    int n = 0;
    for (DWORD i = 0; i < 8; ++i) f.items[n++] = {axes[i], 4 * i, ANY_AXIS, ASPECT_POSITION};
    for (DWORD i = 0; i < 4; ++i) f.items[n++] = {&GUID_POV, 32 + 4 * i, ANY_POV, 0};
    for (DWORD i = 0; i < 128; ++i) f.items[n++] = {nullptr, 48 + i, ANY_BUTTON, 0};
    const DWORD aspects[3] = {ASPECT_VELOCITY, ASPECT_ACCEL, ASPECT_FORCE};
    for (DWORD a = 0; a < 3; ++a) {
        for (DWORD i = 0; i < 8; ++i) f.items[n++] = {axes[i], 176 + 32 * a + 4 * i, ANY_AXIS, aspects[a]};
    }
    return f;
}

ObjectFormats joystick2_objects = make_joystick2_objects();

}  // namespace

const DIDATAFORMAT c_dfDIJoystick2 = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS,
                                      sizeof(DIJOYSTATE2), JOYSTICK2_OBJECT_COUNT, joystick2_objects.items};

namespace {

// --- Methods, rules and counts -------------------------------------------------------

enum Method : int {
    M_GET_MODULE_HANDLE, M_CREATE, M_QUERY_INTERFACE, M_ADD_REF, M_RELEASE, M_CREATE_DEVICE,
    M_ENUM_DEVICES, M_ENUM_OBJECTS, M_SET_PROPERTY, M_SET_DATA_FORMAT, M_SET_COOPERATIVE_LEVEL,
    M_ACQUIRE, M_UNACQUIRE, M_POLL, M_GET_DEVICE_STATE, METHOD_COUNT,
};

const char* const METHOD_NAMES[METHOD_COUNT] = {
    "GetModuleHandleW", "DirectInput8Create", "QueryInterface", "AddRef", "Release", "CreateDevice",
    "EnumDevices", "EnumObjects", "SetProperty", "SetDataFormat", "SetCooperativeLevel",
    "Acquire", "Unacquire", "Poll", "GetDeviceState",
};

constexpr int ANY_CONTROLLER = -1;
constexpr int MAX_RULES = 64;

struct Rule {
    Method method;
    int controller;
    int nth;
    int times;
    int callbacks;
    HRESULT result;
    int seen;
};

// --- Virtual controllers ----------------------------------------------------------------

constexpr int AXIS_FIELDS = 8;

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

// --- Objects ---------------------------------------------------------------------------

enum class Kind { direct_input, device, joy_config };

struct Core {
    Kind kind;
    int number = 0;   // 1, 2, ... since the last reset; 0: never used
    ULONG refs = 0;
    bool retired = true;  // made before the last reset, or never made
};

bool live(const Core& c) { return !c.retired && c.refs > 0; }

class SimDirectInput final : public IDirectInput8W {
public:
    Core core{Kind::direct_input};
    virtual ~SimDirectInput() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN outer) override;
    HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context,
                                          DWORD flags) override;
};

struct AxisRange {
    LONG min;
    LONG max;
    bool set;
};

class SimDevice final : public IDirectInputDevice8W {
public:
    Core core{Kind::device};
    int controller = 0;
    bool acquired = false;
    bool lost = false;  // the next Poll reports the lost acquisition
    bool format_set = false;
    bool cooperation_set = false;
    DWORD cooperation = 0;
    AxisRange ranges[SIM_MAX_OBJECTS] = {};

    virtual ~SimDevice() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context,
                                          DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) override;
    HRESULT STDMETHODCALLTYPE Acquire() override;
    HRESULT STDMETHODCALLTYPE Unacquire() override;
    HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override;
    HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Poll() override;
};

class SimJoyConfig final : public IDirectInputJoyConfig8 {
public:
    Core core{Kind::joy_config};
    virtual ~SimJoyConfig() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
};

constexpr int DIRECT_INPUT_POOL = 64;
constexpr int DEVICE_POOL = 256;
constexpr int JOY_CONFIG_POOL = 64;
constexpr size_t LOG_CAPACITY = size_t{1} << 20;
constexpr size_t NO_LINE = SIZE_MAX;
constexpr int MAX_MISUSE_NOTES = 32;

struct Platform {
    Controller controllers[SIM_MAX_CONTROLLERS];
    int controller_count = 0;
    bool foreground = true;
    bool ignore_enum_stop = false;

    Rule rules[MAX_RULES];
    int rule_count = 0;
    uint32_t rule_methods = 0;  // bit per method that has a rule
    int calls[METHOD_COUNT] = {};

    int numbers[3] = {};  // objects made per kind since the reset
    int misuse = 0;
    char misuse_notes[MAX_MISUSE_NOTES][96] = {};

    bool logging = true;
    bool log_full = false;
    size_t log_length = 0;
    size_t last_line = NO_LINE;
    char log[LOG_CAPACITY];
};

Platform platform;
SimDirectInput direct_inputs[DIRECT_INPUT_POOL];
SimDevice devices[DEVICE_POOL];
SimJoyConfig joy_configs[JOY_CONFIG_POOL];
size_t direct_input_cursor = 0;
size_t device_cursor = 0;
size_t joy_config_cursor = 0;

[[noreturn]] void usage_error(const char* what, const char* detail) {
    std::fprintf(stderr, "sim: %s: %s\n", what, detail);
    std::abort();
}

Controller& controller_at(int controller) {
    if (controller < 0 || controller >= platform.controller_count) usage_error("no such controller", "");
    return platform.controllers[controller];
}

bool same_guid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The next pool entry not in use, searched round from the cursor, so that released
// objects are reused as late as possible; nullptr when every entry is live.
template <typename T, size_t N>
T* take_from(T (&pool)[N], size_t& cursor) {
    for (size_t k = 0; k < N; ++k) {
        T& candidate = pool[(cursor + k) % N];
        if (live(candidate.core)) continue;
        cursor = (cursor + k + 1) % N;
        return &candidate;
    }
    return nullptr;
}

void start_object(Core& core) {
    core.number = ++platform.numbers[static_cast<int>(core.kind)];
    core.refs = 1;
    core.retired = false;
}

void object_name(const Core& core, char (&out)[24]) {
    static const char* const prefixes[3] = {"di", "dev", "joyconfig"};
    std::snprintf(out, sizeof out, "%s%d", prefixes[static_cast<int>(core.kind)], core.number);
}

// --- Log -------------------------------------------------------------------------------

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

// Starts the line of a call: "name.Method(" + arguments + ")". Returns the line's start,
// or NO_LINE when logging is off.
size_t log_call(const Core* core, Method method, const char* format, ...) __attribute__((format(printf, 3, 4)));
size_t log_call(const Core* core, Method method, const char* format, ...) {
    if (!platform.logging || platform.log_full) return NO_LINE;
    size_t start = platform.log_length;
    if (core != nullptr) {
        char name[24];
        object_name(*core, name);
        log_raw("%s.", name);
    }
    log_raw("%s(", METHOD_NAMES[method]);
    va_list args;
    va_start(args, format);
    log_append(format, args);
    va_end(args);
    log_raw(")");
    end_line();
    platform.last_line = start;
    return start;
}

// Ends a call's log entry with its result text: on the call's own line while it is the
// last one, else on a closing line.
void log_result(size_t line, const Core* core, Method method, const char* result) {
    if (line == NO_LINE || platform.log_full) return;
    if (platform.last_line == line) {
        --platform.log_length;  // the line's '\n'
    } else {
        platform.last_line = platform.log_length;
        if (core != nullptr) {
            char name[24];
            object_name(*core, name);
            log_raw("%s.", name);
        }
        log_raw("%s", METHOD_NAMES[method]);
    }
    log_raw(" -> %s", result);
    end_line();
}

const char* known_result_name(HRESULT r) {
    switch (r) {
    case DI_OK: return "DI_OK";
    case DI_NOEFFECT: return "DI_NOEFFECT";
    case DIERR_INPUTLOST: return "DIERR_INPUTLOST";
    case DIERR_NOTACQUIRED: return "DIERR_NOTACQUIRED";
    case DIERR_ACQUIRED: return "DIERR_ACQUIRED";
    case DIERR_INVALIDPARAM: return "DIERR_INVALIDPARAM";
    case DIERR_NOINTERFACE: return "DIERR_NOINTERFACE";
    case DIERR_GENERIC: return "DIERR_GENERIC";
    case DIERR_OUTOFMEMORY: return "DIERR_OUTOFMEMORY";
    case DIERR_UNSUPPORTED: return "DIERR_UNSUPPORTED";
    case DIERR_OTHERAPPHASPRIO: return "DIERR_OTHERAPPHASPRIO";
    case DIERR_DEVICENOTREG: return "DIERR_DEVICENOTREG";
    case DIERR_NOAGGREGATION: return "DIERR_NOAGGREGATION";
    case DIERR_OLDDIRECTINPUTVERSION: return "DIERR_OLDDIRECTINPUTVERSION";
    case DIERR_BETADIRECTINPUTVERSION: return "DIERR_BETADIRECTINPUTVERSION";
    case DIERR_OBJECTNOTFOUND: return "DIERR_OBJECTNOTFOUND";
    case DIERR_UNPLUGGED: return "DIERR_UNPLUGGED";
    case E_POINTER: return "E_POINTER";
    case E_HANDLE: return "E_HANDLE";
    default: return nullptr;
    }
}

void log_hresult(size_t line, const Core* core, Method method, HRESULT hr, bool injected, const Core* made = nullptr) {
    if (line == NO_LINE) return;
    char text[80];
    const char* name = known_result_name(hr);
    char made_name[24] = "";
    if (made != nullptr) object_name(*made, made_name);
    char number[16];
    if (name == nullptr) {
        std::snprintf(number, sizeof number, "0x%08" PRIX32, static_cast<uint32_t>(hr));
        name = number;
    }
    std::snprintf(text, sizeof text, "%s%s%s%s", name, made != nullptr ? " " : "", made_name,
                  injected ? " (injected)" : "");
    log_result(line, core, method, text);
}

void note_misuse(const Core& core, const char* what) {
    ++platform.misuse;
    char name[24];
    object_name(core, name);
    if (platform.misuse <= MAX_MISUSE_NOTES) {
        std::snprintf(platform.misuse_notes[platform.misuse - 1], sizeof platform.misuse_notes[0], "%s: %s", name, what);
    }
    if (platform.logging && !platform.log_full) {
        platform.last_line = platform.log_length;
        log_raw("MISUSE %s: %s", name, what);
        end_line();
    }
}

// Admits a method call on an object: counts it, and refuses calls on retired objects
// (quietly) and on released ones (as misuse).
enum class Admit { ok, retired, released };

Admit admit(Core& core, Method method) {
    if (core.retired) return Admit::retired;
    ++platform.calls[method];
    if (core.refs == 0) {
        char what[48];
        std::snprintf(what, sizeof what, "%s on a released object", METHOD_NAMES[method]);
        note_misuse(core, what);
        return Admit::released;
    }
    return Admit::ok;
}

// The result a rule forces on this call, if any; callbacks receives the rule's callback
// count (enumerations only).
bool forced_result(Method method, int controller, HRESULT& result, int* callbacks = nullptr) {
    if ((platform.rule_methods & (1u << method)) == 0) return false;
    for (int i = 0; i < platform.rule_count; ++i) {
        Rule& rule = platform.rules[i];
        if (rule.method != method) continue;
        if (rule.controller != ANY_CONTROLLER && rule.controller != controller) continue;
        int call = ++rule.seen;
        if (call < rule.nth) continue;
        if (rule.times != SIM_FOREVER && call >= rule.nth + rule.times) continue;
        result = rule.result;
        if (callbacks != nullptr) *callbacks = rule.callbacks;
        return true;
    }
    return false;
}

void pointer_text(const void* p, char (&out)[24]) {
    if (p == nullptr) {
        std::snprintf(out, sizeof out, "null");
    } else {
        std::snprintf(out, sizeof out, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(p));
    }
}

void guid_text(const GUID& g, char (&out)[40]) {
    std::snprintf(out, sizeof out, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

// The GUID by name where the platform knows it, else in braces.
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
    for (int c = 0; c < platform.controller_count; ++c) {
        if (same_guid(g, platform.controllers[c].instance)) {
            std::snprintf(out, sizeof out, "\"%s\"", platform.controllers[c].name);
            return;
        }
    }
    char braces[40];
    guid_text(g, braces);
    std::snprintf(out, sizeof out, "%s", braces);
}

// Ends the acquisition of a device, to be reported by its next Poll.
void lose(SimDevice& d) {
    if (!d.acquired) return;
    d.acquired = false;
    d.lost = true;
}

template <typename F>
void for_each_live_device(F f) {
    for (SimDevice& d : devices) {
        if (live(d.core)) f(d);
    }
}

void copy_wide(WCHAR* out, int capacity, const char* s) {
    int i = 0;
    for (; s[i] != '\0' && i < capacity - 1; ++i) out[i] = static_cast<WCHAR>(static_cast<unsigned char>(s[i]));
    out[i] = 0;
}

// Scales a position in -32768..32767 into min..max.
LONG scaled(LONG position, LONG min, LONG max) {
    if (min == -32768 && max == 32767) return position;
    int64_t offset = static_cast<int64_t>(position) + 32768;
    int64_t span = static_cast<int64_t>(max) - min;
    return static_cast<LONG>(min + (offset * span + 32767) / 65535);
}

// --- IUnknown, shared by the three object kinds ------------------------------------------

ULONG add_ref(Core& core) {
    Admit a = admit(core, M_ADD_REF);
    if (a != Admit::ok) return 0;
    size_t line = log_call(&core, M_ADD_REF, "%s", "");
    ++core.refs;
    char text[16];
    std::snprintf(text, sizeof text, "%" PRIu32, core.refs);
    log_result(line, &core, M_ADD_REF, text);
    return core.refs;
}

ULONG release(Core& core) {
    if (core.retired) return 0;
    ++platform.calls[M_RELEASE];
    if (core.refs == 0) {
        note_misuse(core, "Release past zero");
        return 0;
    }
    size_t line = log_call(&core, M_RELEASE, "%s", "");
    --core.refs;
    char text[16];
    std::snprintf(text, sizeof text, "%" PRIu32, core.refs);
    log_result(line, &core, M_RELEASE, text);
    return core.refs;
}

// QueryInterface for an object that offers only itself under one identifier.
template <typename Self>
HRESULT query_self(Self& self, REFIID riid, void** object, const GUID& own) {
    Admit a = admit(self.core, M_QUERY_INTERFACE);
    if (a != Admit::ok) return E_POINTER;
    char iid[80];
    guid_name(riid, iid);
    size_t line = log_call(&self.core, M_QUERY_INTERFACE, "%s", iid);
    HRESULT forced = 0;
    bool is_forced = forced_result(M_QUERY_INTERFACE, ANY_CONTROLLER, forced);
    HRESULT hr;
    if (object == nullptr) {
        hr = E_POINTER;
    } else if (is_forced && FAILED(forced)) {
        *object = nullptr;
        hr = forced;
    } else if (same_guid(riid, own)) {
        ++self.core.refs;
        *object = &self;
        hr = is_forced ? forced : S_OK;
    } else {
        *object = nullptr;
        hr = E_NOINTERFACE;
    }
    log_hresult(line, &self.core, M_QUERY_INTERFACE, hr, is_forced);
    return hr;
}

}  // namespace

// --- DirectInput -------------------------------------------------------------------------

HRESULT SimDirectInput::QueryInterface(REFIID riid, void** object) {
    if (!same_guid(riid, IID_IDirectInputJoyConfig8)) return query_self(*this, riid, object, IID_IDirectInput8W);
    Admit a = admit(core, M_QUERY_INTERFACE);
    if (a != Admit::ok) return E_POINTER;
    size_t line = log_call(&core, M_QUERY_INTERFACE, "IID_IDirectInputJoyConfig8");
    HRESULT forced = 0;
    bool is_forced = forced_result(M_QUERY_INTERFACE, ANY_CONTROLLER, forced);
    SimJoyConfig* made = nullptr;
    HRESULT hr;
    if (object == nullptr) {
        hr = E_POINTER;
    } else if (is_forced && FAILED(forced)) {
        *object = nullptr;
        hr = forced;
    } else if ((made = take_from(joy_configs, joy_config_cursor)) == nullptr) {
        *object = nullptr;
        hr = E_OUTOFMEMORY;
    } else {
        start_object(made->core);
        *object = static_cast<IDirectInputJoyConfig8*>(made);
        hr = is_forced ? forced : S_OK;
    }
    log_hresult(line, &core, M_QUERY_INTERFACE, hr, is_forced,
                made != nullptr && SUCCEEDED(hr) ? &made->core : nullptr);
    return hr;
}

ULONG SimDirectInput::AddRef() { return add_ref(core); }
ULONG SimDirectInput::Release() { return release(core); }

HRESULT SimDirectInput::CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN outer) {
    Admit a = admit(core, M_CREATE_DEVICE);
    if (a != Admit::ok) return E_POINTER;
    char guid[80];
    guid_name(instance, guid);
    char outer_text[24];
    pointer_text(outer, outer_text);
    size_t line = log_call(&core, M_CREATE_DEVICE, "%s, outer=%s", guid, outer_text);
    int controller = -1;
    for (int c = 0; c < platform.controller_count; ++c) {
        if (same_guid(instance, platform.controllers[c].instance)) controller = c;
    }
    HRESULT forced = 0;
    bool is_forced = forced_result(M_CREATE_DEVICE, controller, forced);
    SimDevice* made = nullptr;
    HRESULT hr;
    if (device == nullptr) {
        hr = E_POINTER;
    } else if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (outer != nullptr) {
        hr = DIERR_NOAGGREGATION;
    } else if (controller < 0 || !platform.controllers[controller].attached) {
        hr = DIERR_DEVICENOTREG;
    } else if ((made = take_from(devices, device_cursor)) == nullptr) {
        hr = DIERR_OUTOFMEMORY;
    } else {
        start_object(made->core);
        made->controller = controller;
        made->acquired = false;
        made->lost = false;
        made->format_set = false;
        made->cooperation_set = false;
        made->cooperation = 0;
        for (AxisRange& r : made->ranges) r = AxisRange{};
        hr = is_forced ? forced : DI_OK;
    }
    if (device != nullptr) *device = SUCCEEDED(hr) ? made : nullptr;
    log_hresult(line, &core, M_CREATE_DEVICE, hr, is_forced, SUCCEEDED(hr) ? &made->core : nullptr);
    return hr;
}

HRESULT SimDirectInput::EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context,
                                    DWORD flags) {
    Admit a = admit(core, M_ENUM_DEVICES);
    if (a != Admit::ok) return E_POINTER;
    size_t line = log_call(&core, M_ENUM_DEVICES, "type=%" PRIu32 ", flags=%" PRIu32, static_cast<uint32_t>(device_type),
                           static_cast<uint32_t>(flags));
    HRESULT forced = 0;
    int callbacks = 0;
    bool is_forced = forced_result(M_ENUM_DEVICES, ANY_CONTROLLER, forced, &callbacks);
    HRESULT hr = DI_OK;
    if (callback == nullptr) {
        hr = DIERR_INVALIDPARAM;
    } else if (device_type == DI8DEVCLASS_ALL || device_type == DI8DEVCLASS_GAMECTRL) {
        int made = 0;
        for (int c = 0; c < platform.controller_count; ++c) {
            if (is_forced && FAILED(forced) && made >= callbacks) break;
            const Controller& ctl = platform.controllers[c];
            if ((flags & DIEDFL_ATTACHEDONLY) != 0 && !ctl.attached) continue;
            DIDEVICEINSTANCEW instance{};
            instance.dwSize = sizeof instance;
            instance.guidInstance = ctl.instance;
            instance.guidProduct = ctl.product;
            instance.dwDevType = DI8DEVTYPE_JOYSTICK | (0x02u << 8);
            copy_wide(instance.tszInstanceName, MAX_PATH, ctl.name);
            copy_wide(instance.tszProductName, MAX_PATH, ctl.name);
            instance.wUsagePage = 1;
            instance.wUsage = 4;
            ++made;
            if (callback(&instance, context) == DIENUM_STOP && !platform.ignore_enum_stop) break;
        }
    }
    if (is_forced && (FAILED(forced) || SUCCEEDED(hr))) hr = forced;
    log_hresult(line, &core, M_ENUM_DEVICES, hr, is_forced);
    return hr;
}

// --- Devices ---------------------------------------------------------------------------------

HRESULT SimDevice::QueryInterface(REFIID riid, void** object) {
    return query_self(*this, riid, object, IID_IDirectInputDevice8W);
}
ULONG SimDevice::AddRef() { return add_ref(core); }

ULONG SimDevice::Release() {
    ULONG left = release(core);
    if (left == 0 && !core.retired) acquired = false;
    return left;
}

HRESULT SimDevice::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context, DWORD flags) {
    Admit a = admit(core, M_ENUM_OBJECTS);
    if (a != Admit::ok) return E_POINTER;
    char context_text[24];
    pointer_text(context, context_text);
    size_t line = log_call(&core, M_ENUM_OBJECTS, "context=%s, flags=0x%" PRIX32, context_text,
                           static_cast<uint32_t>(flags));
    HRESULT forced = 0;
    int callbacks = 0;
    bool is_forced = forced_result(M_ENUM_OBJECTS, controller, forced, &callbacks);
    HRESULT hr = DI_OK;
    if (callback == nullptr) {
        hr = DIERR_INVALIDPARAM;
    } else {
        const Controller& ctl = platform.controllers[controller];
        DWORD type_filter = flags & 0xFF;
        int made = 0;
        for (int i = 0; i < ctl.object_count; ++i) {
            if (is_forced && FAILED(forced) && made >= callbacks) break;
            const SimObjectInfo& o = ctl.objects[i];
            if (type_filter != DIDFT_ALL && (o.dw_type & type_filter) == 0) continue;
            DIDEVICEOBJECTINSTANCEW object{};
            object.dwSize = sizeof object;
            object.guidType = o.type;
            object.dwOfs = o.offset;
            object.dwType = o.dw_type;
            if ((o.dw_type & DIDFT_AXIS) != 0) object.dwFlags = ASPECT_POSITION;
            char name[32];
            std::snprintf(name, sizeof name, "Object %d", i);
            copy_wide(object.tszName, MAX_PATH, name);
            ++made;
            if (callback(&object, context) == DIENUM_STOP && !platform.ignore_enum_stop) break;
        }
    }
    if (is_forced && (FAILED(forced) || SUCCEEDED(hr))) hr = forced;
    log_hresult(line, &core, M_ENUM_OBJECTS, hr, is_forced);
    return hr;
}

HRESULT SimDevice::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
    Admit a = admit(core, M_SET_PROPERTY);
    if (a != Admit::ok) return E_POINTER;
    bool is_range = &property == &DIPROP_RANGE;
    size_t line = NO_LINE;
    if (header == nullptr) {
        line = log_call(&core, M_SET_PROPERTY, "%s, null", is_range ? "DIPROP_RANGE" : "other");
    } else if (is_range && header->dwSize == sizeof(DIPROPRANGE)) {
        const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
        line = log_call(&core, M_SET_PROPERTY,
                        "DIPROP_RANGE, size=%" PRIu32 ", header=%" PRIu32 ", obj=0x%" PRIX32 ", how=%" PRIu32
                        ", min=%" PRId32 ", max=%" PRId32,
                        static_cast<uint32_t>(header->dwSize), static_cast<uint32_t>(header->dwHeaderSize),
                        static_cast<uint32_t>(header->dwObj), static_cast<uint32_t>(header->dwHow),
                        static_cast<int32_t>(range->lMin), static_cast<int32_t>(range->lMax));
    } else {
        line = log_call(&core, M_SET_PROPERTY, "%s, size=%" PRIu32 ", header=%" PRIu32 ", obj=0x%" PRIX32 ", how=%" PRIu32,
                        is_range ? "DIPROP_RANGE" : "other", static_cast<uint32_t>(header->dwSize),
                        static_cast<uint32_t>(header->dwHeaderSize), static_cast<uint32_t>(header->dwObj),
                        static_cast<uint32_t>(header->dwHow));
    }
    HRESULT forced = 0;
    bool is_forced = forced_result(M_SET_PROPERTY, controller, forced);
    HRESULT hr = DI_OK;
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (header == nullptr) {
        hr = E_POINTER;
    } else if (!is_range) {
        hr = DIERR_UNSUPPORTED;
    } else if (header->dwSize != sizeof(DIPROPRANGE) || header->dwHeaderSize != sizeof(DIPROPHEADER)) {
        hr = DIERR_INVALIDPARAM;
    } else if (acquired) {
        hr = DIERR_ACQUIRED;
    } else {
        const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
        const Controller& ctl = platform.controllers[controller];
        if (range->lMin >= range->lMax) {
            hr = DIERR_INVALIDPARAM;
        } else if (header->dwHow == DIPH_DEVICE && header->dwObj == 0) {
            for (int i = 0; i < ctl.object_count; ++i) {
                if ((ctl.objects[i].dw_type & DIDFT_AXIS) != 0) ranges[i] = {range->lMin, range->lMax, true};
            }
        } else if (header->dwHow == DIPH_BYID) {
            hr = DIERR_OBJECTNOTFOUND;
            for (int i = 0; i < ctl.object_count; ++i) {
                if (ctl.objects[i].dw_type != header->dwObj) continue;
                if ((ctl.objects[i].dw_type & DIDFT_AXIS) == 0) {
                    hr = DIERR_UNSUPPORTED;
                } else {
                    ranges[i] = {range->lMin, range->lMax, true};
                    hr = DI_OK;
                }
                break;
            }
        } else {
            hr = DIERR_UNSUPPORTED;
        }
        if (is_forced && SUCCEEDED(hr)) hr = forced;
    }
    log_hresult(line, &core, M_SET_PROPERTY, hr, is_forced);
    return hr;
}

HRESULT SimDevice::Acquire() {
    Admit a = admit(core, M_ACQUIRE);
    if (a != Admit::ok) return E_POINTER;
    size_t line = log_call(&core, M_ACQUIRE, "%s", "");
    HRESULT forced = 0;
    bool is_forced = forced_result(M_ACQUIRE, controller, forced);
    const Controller& ctl = platform.controllers[controller];
    HRESULT hr = DI_OK;
    bool taken_elsewhere = false;
    if (cooperation_set && (cooperation & DISCL_EXCLUSIVE) != 0) {
        for_each_live_device([&](const SimDevice& d) {
            if (&d != this && d.controller == controller && d.acquired && (d.cooperation & DISCL_EXCLUSIVE) != 0) {
                taken_elsewhere = true;
            }
        });
    }
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (!format_set) {
        hr = DIERR_INVALIDPARAM;
    } else if (acquired) {
        hr = DI_NOEFFECT;
    } else if (!ctl.attached) {
        hr = DIERR_UNPLUGGED;
    } else if ((cooperation & DISCL_FOREGROUND) != 0 && !platform.foreground) {
        hr = DIERR_OTHERAPPHASPRIO;
    } else if (taken_elsewhere) {
        hr = DIERR_OTHERAPPHASPRIO;
    } else {
        acquired = true;
        lost = false;
    }
    if (is_forced && SUCCEEDED(hr)) hr = forced;
    log_hresult(line, &core, M_ACQUIRE, hr, is_forced);
    return hr;
}

HRESULT SimDevice::Unacquire() {
    Admit a = admit(core, M_UNACQUIRE);
    if (a == Admit::retired) return DI_OK;
    if (a != Admit::ok) return E_POINTER;
    size_t line = log_call(&core, M_UNACQUIRE, "%s", "");
    HRESULT forced = 0;
    bool is_forced = forced_result(M_UNACQUIRE, controller, forced);
    HRESULT hr;
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else {
        hr = acquired ? DI_OK : DI_NOEFFECT;
        acquired = false;
        lost = false;
        if (is_forced) hr = forced;
    }
    log_hresult(line, &core, M_UNACQUIRE, hr, is_forced);
    return hr;
}

HRESULT SimDevice::GetDeviceState(DWORD size, LPVOID data) {
    Admit a = admit(core, M_GET_DEVICE_STATE);
    if (a != Admit::ok) return E_POINTER;
    size_t line = log_call(&core, M_GET_DEVICE_STATE, "size=%" PRIu32, static_cast<uint32_t>(size));
    HRESULT forced = 0;
    bool is_forced = forced_result(M_GET_DEVICE_STATE, controller, forced);
    HRESULT hr = DI_OK;
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (data == nullptr || !format_set || size != sizeof(DIJOYSTATE2)) {
        hr = DIERR_INVALIDPARAM;
    } else if (!acquired) {
        hr = lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
    } else {
        const Controller& ctl = platform.controllers[controller];
        DIJOYSTATE2 state = ctl.input;
        LONG* fields[AXIS_FIELDS] = {&state.lX, &state.lY, &state.lZ, &state.lRx, &state.lRy, &state.lRz,
                                     &state.rglSlider[0], &state.rglSlider[1]};
        for (int f = 0; f < AXIS_FIELDS; ++f) {
            int o = ctl.axis_object[f];
            if (o < 0) continue;
            const AxisRange& r = ranges[o];
            *fields[f] = r.set ? scaled(*fields[f], r.min, r.max) : scaled(*fields[f], 0, 65535);
        }
        std::memcpy(data, &state, sizeof state);
        if (is_forced) hr = forced;
    }
    log_hresult(line, &core, M_GET_DEVICE_STATE, hr, is_forced);
    return hr;
}

HRESULT SimDevice::SetDataFormat(LPCDIDATAFORMAT format) {
    Admit a = admit(core, M_SET_DATA_FORMAT);
    if (a != Admit::ok) return E_POINTER;
    size_t line;
    if (format == &c_dfDIJoystick2) {
        line = log_call(&core, M_SET_DATA_FORMAT, "c_dfDIJoystick2");
    } else if (format == nullptr) {
        line = log_call(&core, M_SET_DATA_FORMAT, "null");
    } else {
        line = log_call(&core, M_SET_DATA_FORMAT, "size=%" PRIu32 ", objects=%" PRIu32 ", flags=%" PRIu32,
                        static_cast<uint32_t>(format->dwDataSize), static_cast<uint32_t>(format->dwNumObjs),
                        static_cast<uint32_t>(format->dwFlags));
    }
    HRESULT forced = 0;
    bool is_forced = forced_result(M_SET_DATA_FORMAT, controller, forced);
    HRESULT hr = DI_OK;
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (format == nullptr) {
        hr = E_POINTER;
    } else if (acquired) {
        hr = DIERR_ACQUIRED;
    } else if (format->dwDataSize != sizeof(DIJOYSTATE2) || format->dwNumObjs != JOYSTICK2_OBJECT_COUNT ||
               format->dwFlags != DIDF_ABSAXIS || format->dwObjSize != sizeof(DIOBJECTDATAFORMAT)) {
        hr = DIERR_INVALIDPARAM;
    } else {
        format_set = true;
        if (is_forced) hr = forced;
    }
    log_hresult(line, &core, M_SET_DATA_FORMAT, hr, is_forced);
    return hr;
}

HRESULT SimDevice::SetCooperativeLevel(HWND window, DWORD flags) {
    Admit a = admit(core, M_SET_COOPERATIVE_LEVEL);
    if (a != Admit::ok) return E_POINTER;
    char window_text[24];
    pointer_text(window, window_text);
    size_t line = log_call(&core, M_SET_COOPERATIVE_LEVEL, "hwnd=%s, flags=%" PRIu32, window_text,
                           static_cast<uint32_t>(flags));
    HRESULT forced = 0;
    bool is_forced = forced_result(M_SET_COOPERATIVE_LEVEL, controller, forced);
    bool one_exclusivity = ((flags & DISCL_EXCLUSIVE) != 0) != ((flags & DISCL_NONEXCLUSIVE) != 0);
    bool one_ground = ((flags & DISCL_FOREGROUND) != 0) != ((flags & DISCL_BACKGROUND) != 0);
    HRESULT hr = DI_OK;
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (acquired) {
        hr = DIERR_ACQUIRED;
    } else if (!one_exclusivity || !one_ground) {
        hr = DIERR_INVALIDPARAM;
    } else if (window == nullptr && (flags & (DISCL_EXCLUSIVE | DISCL_FOREGROUND)) != 0) {
        hr = E_HANDLE;
    } else {
        cooperation_set = true;
        cooperation = flags;
        if (is_forced) hr = forced;
    }
    log_hresult(line, &core, M_SET_COOPERATIVE_LEVEL, hr, is_forced);
    return hr;
}

HRESULT SimDevice::Poll() {
    Admit a = admit(core, M_POLL);
    if (a != Admit::ok) return E_POINTER;
    size_t line = log_call(&core, M_POLL, "%s", "");
    HRESULT forced = 0;
    bool is_forced = forced_result(M_POLL, controller, forced);
    HRESULT hr;
    if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (!acquired) {
        hr = lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
        lost = false;
    } else {
        hr = platform.controllers[controller].polled ? DI_OK : DI_NOEFFECT;
        if (is_forced) hr = forced;
    }
    log_hresult(line, &core, M_POLL, hr, is_forced);
    return hr;
}

// --- Joystick configuration ------------------------------------------------------------------

HRESULT SimJoyConfig::QueryInterface(REFIID riid, void** object) {
    return query_self(*this, riid, object, IID_IDirectInputJoyConfig8);
}
ULONG SimJoyConfig::AddRef() { return add_ref(core); }
ULONG SimJoyConfig::Release() { return release(core); }

// --- Entry points ----------------------------------------------------------------------------

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name) {
    ++platform.calls[M_GET_MODULE_HANDLE];
    size_t line = log_call(nullptr, M_GET_MODULE_HANDLE, "%s", module_name == nullptr ? "null" : "name");
    HRESULT forced = 0;
    bool is_forced = forced_result(M_GET_MODULE_HANDLE, ANY_CONTROLLER, forced);
    HMODULE module = nullptr;
    if (module_name == nullptr && !(is_forced && FAILED(forced))) module = reinterpret_cast<HMODULE>(SIM_HOST_MODULE);
    char handle[24];
    pointer_text(module, handle);
    char text[48];
    std::snprintf(text, sizeof text, "%s%s", handle, is_forced ? " (injected)" : "");
    log_result(line, nullptr, M_GET_MODULE_HANDLE, text);
    return module;
}

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out,
                                             LPUNKNOWN outer) {
    ++platform.calls[M_CREATE];
    char instance_text[24];
    pointer_text(instance, instance_text);
    char iid[80];
    guid_name(riid, iid);
    char outer_text[24];
    pointer_text(outer, outer_text);
    size_t line = log_call(nullptr, M_CREATE, "instance=%s, version=0x%" PRIX32 ", riid=%s, outer=%s", instance_text,
                           static_cast<uint32_t>(version), iid, outer_text);
    HRESULT forced = 0;
    bool is_forced = forced_result(M_CREATE, ANY_CONTROLLER, forced);
    SimDirectInput* made = nullptr;
    HRESULT hr;
    if (out == nullptr) {
        hr = E_POINTER;
    } else if (is_forced && FAILED(forced)) {
        hr = forced;
    } else if (instance == nullptr) {
        hr = DIERR_INVALIDPARAM;
    } else if (version < DIRECTINPUT_VERSION) {
        hr = DIERR_OLDDIRECTINPUTVERSION;
    } else if (version > DIRECTINPUT_VERSION) {
        hr = DIERR_BETADIRECTINPUTVERSION;
    } else if (!same_guid(riid, IID_IDirectInput8W)) {
        hr = DIERR_NOINTERFACE;
    } else if (outer != nullptr) {
        hr = DIERR_NOAGGREGATION;
    } else if ((made = take_from(direct_inputs, direct_input_cursor)) == nullptr) {
        hr = DIERR_OUTOFMEMORY;
    } else {
        start_object(made->core);
        hr = is_forced ? forced : DI_OK;
    }
    if (out != nullptr) *out = SUCCEEDED(hr) ? static_cast<IDirectInput8W*>(made) : nullptr;
    log_hresult(line, nullptr, M_CREATE, hr, is_forced, SUCCEEDED(hr) ? &made->core : nullptr);
    return hr;
}

// --- Scripting -------------------------------------------------------------------------------

namespace {

Method method_named(const char* name) {
    for (int m = 0; m < METHOD_COUNT; ++m) {
        if (std::strcmp(name, METHOD_NAMES[m]) == 0) return static_cast<Method>(m);
    }
    usage_error("unknown method", name);
}

void add_rule(int controller, const char* method, int nth, HRESULT result, int times, int callbacks) {
    Method m = method_named(method);
    if (m == M_ADD_REF || m == M_RELEASE) usage_error("no result can be injected into", method);
    if (platform.rule_count == MAX_RULES) usage_error("too many rules", method);
    if (nth < 1 || (times < 1 && times != SIM_FOREVER)) usage_error("bad rule count for", method);
    platform.rules[platform.rule_count++] = Rule{m, controller, nth, times, callbacks, result, 0};
    platform.rule_methods |= 1u << m;
}

int axis_index(SimAxis axis) { return static_cast<int>(axis); }

const GUID& axis_guid(SimAxis axis) {
    static const GUID* const guids[AXIS_FIELDS] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis,
                                                   &GUID_RyAxis, &GUID_RzAxis, &GUID_Slider, &GUID_Slider};
    return *guids[axis_index(axis)];
}

LONG& axis_field(DIJOYSTATE2& s, SimAxis axis) {
    LONG* fields[AXIS_FIELDS] = {&s.lX, &s.lY, &s.lZ, &s.lRx, &s.lRy, &s.lRz, &s.rglSlider[0], &s.rglSlider[1]};
    return *fields[axis_index(axis)];
}

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
        if (c.axis_object[f] < 0 && same_guid(type, axis_guid(static_cast<SimAxis>(f)))) return f;
    }
    return -1;
}

SimDevice* device_named(const char* name) {
    int number = 0;
    if (std::sscanf(name, "dev%d", &number) != 1) return nullptr;
    for (SimDevice& d : devices) {
        if (!d.core.retired && d.core.number == number) return &d;
    }
    return nullptr;
}

}  // namespace

void sim_reset() {
    for (SimDirectInput& o : direct_inputs) o.core.retired = true;
    for (SimDevice& o : devices) o.core.retired = true;
    for (SimJoyConfig& o : joy_configs) o.core.retired = true;
    platform.controller_count = 0;
    platform.foreground = true;
    platform.ignore_enum_stop = false;
    platform.rule_count = 0;
    platform.rule_methods = 0;
    for (int& c : platform.calls) c = 0;
    for (int& n : platform.numbers) n = 0;
    platform.misuse = 0;
    platform.logging = true;
    sim_clear_log();
}

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
    sim_add_object(controller, axis_guid(axis), DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(c.axis_count++));
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

void sim_set_attached(int controller, bool attached) {
    controller_at(controller).attached = attached;
    if (!attached) for_each_live_device([&](SimDevice& d) { if (d.controller == controller) lose(d); });
}

void sim_set_polled(int controller, bool polled) { controller_at(controller).polled = polled; }

void sim_set_foreground(bool foreground) {
    platform.foreground = foreground;
    if (!foreground) for_each_live_device([](SimDevice& d) { if ((d.cooperation & DISCL_FOREGROUND) != 0) lose(d); });
}

void sim_lose_input(int controller) {
    controller_at(controller);
    for_each_live_device([&](SimDevice& d) { if (d.controller == controller) lose(d); });
}

GUID sim_instance_guid(int controller) { return controller_at(controller).instance; }

void sim_set_axis(int controller, SimAxis axis, LONG position) {
    axis_field(controller_at(controller).input, axis) = position;
}

void sim_set_button(int controller, int index, bool pressed) {
    if (index < 0 || index >= 128) usage_error("no such button", controller_at(controller).name);
    controller_at(controller).input.rgbButtons[index] = pressed ? 0x80 : 0x00;
}

void sim_set_pov(int controller, int index, DWORD value) {
    if (index < 0 || index >= 4) usage_error("no such point of view", controller_at(controller).name);
    controller_at(controller).input.rgdwPOV[index] = value;
}

DIJOYSTATE2& sim_input(int controller) { return controller_at(controller).input; }

int sim_calls(const char* method) { return platform.calls[method_named(method)]; }

int sim_refs(const char* object) {
    int number = 0;
    auto find = [&](auto& pool) -> int {
        for (auto& o : pool) {
            if (!o.core.retired && o.core.number == number) return static_cast<int>(o.core.refs);
        }
        return -1;
    };
    if (std::sscanf(object, "joyconfig%d", &number) == 1) return find(joy_configs);
    if (std::sscanf(object, "dev%d", &number) == 1) return find(devices);
    if (std::sscanf(object, "di%d", &number) == 1) return find(direct_inputs);
    return -1;
}

bool sim_acquired(const char* device) {
    SimDevice* d = device_named(device);
    return d != nullptr && live(d->core) && d->acquired;
}

bool sim_axis_range(const char* device, SimAxis axis, LONG& min, LONG& max) {
    SimDevice* d = device_named(device);
    if (d == nullptr) return false;
    int o = platform.controllers[d->controller].axis_object[axis_index(axis)];
    if (o < 0 || !d->ranges[o].set) return false;
    min = d->ranges[o].min;
    max = d->ranges[o].max;
    return true;
}

int sim_live_objects() {
    int n = 0;
    for (const SimDirectInput& o : direct_inputs) n += live(o.core) ? 1 : 0;
    for (const SimDevice& o : devices) n += live(o.core) ? 1 : 0;
    for (const SimJoyConfig& o : joy_configs) n += live(o.core) ? 1 : 0;
    return n;
}

int sim_misuse_count() { return platform.misuse; }

std::string sim_problems() {
    std::string text;
    auto report = [&](const Core& core) {
        if (!live(core)) return;
        char name[24];
        object_name(core, name);
        char line[64];
        std::snprintf(line, sizeof line, "%s holds %" PRIu32 " reference%s\n", name, core.refs, core.refs == 1 ? "" : "s");
        text += line;
    };
    for (const SimDirectInput& o : direct_inputs) report(o.core);
    for (const SimDevice& o : devices) report(o.core);
    for (const SimJoyConfig& o : joy_configs) report(o.core);
    for (int i = 0; i < platform.misuse && i < MAX_MISUSE_NOTES; ++i) {
        text += platform.misuse_notes[i];
        text += '\n';
    }
    if (platform.misuse > MAX_MISUSE_NOTES) text += "and more misuse\n";
    return text;
}

void sim_set_logging(bool on) { platform.logging = on; }

void sim_clear_log() {
    platform.log_length = 0;
    platform.log_full = false;
    platform.last_line = NO_LINE;
}

std::vector<std::string> sim_log() {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < platform.log_length; ++i) {
        if (platform.log[i] != '\n') continue;
        lines.emplace_back(platform.log + start, i - start);
        start = i + 1;
    }
    return lines;
}

std::string sim_log_text() { return std::string(platform.log, platform.log_length); }

bool sim_log_full() { return platform.log_full; }

void sim_fail(const char* method, int nth, HRESULT result, int times) {
    add_rule(ANY_CONTROLLER, method, nth, result, times, 0);
}

void sim_fail_on(int controller, const char* method, int nth, HRESULT result, int times) {
    controller_at(controller);
    add_rule(controller, method, nth, result, times, 0);
}

void sim_fail_enum(const char* method, int nth, int callbacks, HRESULT result) {
    Method m = method_named(method);
    if (m != M_ENUM_DEVICES && m != M_ENUM_OBJECTS) usage_error("not an enumeration", method);
    add_rule(ANY_CONTROLLER, method, nth, result, 1, callbacks);
}

void sim_ignore_enum_stop(bool ignore) { platform.ignore_enum_stop = ignore; }

std::string sim_result_name(HRESULT result) {
    const char* name = known_result_name(result);
    if (name != nullptr) return name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<uint32_t>(result));
    return text;
}

std::string sim_guid_text(const GUID& guid) {
    char text[40];
    guid_text(guid, text);
    return text;
}
