// The simulated DirectInput 8 platform: the functions and interfaces that controllers/
// calls, over scriptable virtual game controllers, with a call log, reference checks and
// injected results. It stands in for Windows in native builds of the plug-in, its tests,
// the host tool, the fuzzers and the benchmarks.
//
// Typical use:
//
//     sim_reset();
//     int pad = sim_add_gamepad("Pad A");          // X and Y axes, 12 buttons
//     ... configure the plug-in (send a window handle first: see "Devices" below) ...
//     sim_set_axis(pad, SimAxis::x, 20000);
//     sim_set_button(pad, 0, true);                // rgbButtons[0], the mapping's b1
//     ... poll ...
//     EXPECT_EQ(sim_problems(), "");               // nothing leaked, nothing misused
//
// Controllers. Virtual controllers are numbered 0, 1, ... in the order they were added,
// which is the order EnumDevices reports them in. Each has an instance GUID
// (sim_instance_guid), a product name, vendor and product IDs (sim_set_product_ids), a
// list of objects (axes, buttons, points of view, in the order EnumObjects reports them)
// and an input state that tests set. At most SIM_MAX_CONTROLLERS controllers and
// SIM_MAX_OBJECTS objects per controller.
//
// Axes. Positions are given in -32768..32767. A device reports them scaled to the range
// set on the axis with DIPROP_RANGE, and to DirectInput's default range 0..65535 while no
// range was set; so a plug-in that forgets the range sees X at rest as 32768, not 0.
//
// Devices. Each CreateDevice makes a new device object (dev1, dev2, ... since the last
// reset) that behaves like a real one:
//   - SetDataFormat accepts c_dfDIJoystick2 only (DIERR_INVALIDPARAM otherwise) and
//     fails with DIERR_ACQUIRED while the device is acquired; likewise
//     SetCooperativeLevel, which also wants exactly one of DISCL_EXCLUSIVE and
//     DISCL_NONEXCLUSIVE and one of DISCL_FOREGROUND and DISCL_BACKGROUND, and a non-null
//     window for exclusive or foreground use (E_HANDLE otherwise: a host that never sent
//     its window gets no ready controller).
//   - Acquire needs the data format; it answers DIERR_OTHERAPPHASPRIO for foreground use
//     while the host window is in the background (sim_set_foreground) or while another
//     device of the same controller holds it exclusively, DIERR_UNPLUGGED for a detached
//     controller, DI_NOEFFECT when already acquired.
//   - Poll answers DIERR_NOTACQUIRED until Acquire succeeded, DIERR_INPUTLOST once after
//     the acquisition was lost (sim_lose_input, detaching, the window going to the
//     background), then DIERR_NOTACQUIRED again; otherwise DI_OK, or DI_NOEFFECT for a
//     controller that needs no polling (sim_set_polled).
//   - GetDeviceState wants the device acquired, the data format set and a size of 272.
//   - Unacquire drops the acquisition (DI_NOEFFECT when there was none).
//   - GetProperty answers DIPROP_GUIDANDPATH with the controller's device path, one per
//     port ("\\?\hid#joybits_sim&port<n>"); other properties DIERR_UNSUPPORTED.
//
// Pads that come and go. A controller detached and attached again is the same pad back in
// its port: as under Wine, its old devices can be acquired again and it keeps its
// instance GUID and path. The same pad in another port (sim_plug_elsewhere) keeps its
// place in the enumeration and its product IDs (sim_set_product_ids), with a new instance
// GUID and path; its old devices stay unplugged. Outside Windows the platform also has the system's
// list of input devices (GetRawInputDeviceList: one HID entry per attached controller,
// with a new handle at every attachment) and its clock (GetTickCount, which moves only by
// sim_advance_clock); both are counted (sim_device_list_reads) but not logged, since a
// poll may read the clock every time. On Windows both are the system's own, which does not
// see simulated controllers.
//
// Windows and notifications. Outside Windows the platform also has window classes,
// windows (with their GWLP_USERDATA value), device notifications and a message queue:
// every controller added, attached or detached sends WM_DEVICECHANGE (DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE, lParam a DEV_BROADCAST_DEVICEINTERFACE_W of the HID class) to
// each window registered for the HID interface class (RegisterDeviceNotificationW with
// DEVICE_NOTIFY_WINDOW_HANDLE), as the system sends it: the message waits until the program
// next calls PeekMessageW, which delivers every waiting one to its window's procedure, as
// a thread's sent messages are, and then answers that no message was posted. A window
// keeps at most 16 waiting notifications (the oldest is lost). As on Windows, a class
// with a window left cannot be unregistered, a class registered twice answers
// ERROR_CLASS_ALREADY_EXISTS, and a window destroyed keeps its registrations (sim_windows
// counts what is left). None of these calls is logged; sim_refuse_notices makes the window
// or the registration fail. On Windows they are the system's own, which is not told of
// simulated controllers.
//
// XInput. Outside Windows the platform also has XInput's DLLs (LoadLibraryW finds
// "xinput1_4.dll", "xinput1_3.dll" and "xinput9_1_0.dll", or the older ones alone:
// sim_set_xinput), their queries (GetProcAddress: "XInputGetState" in each, and the one
// that also reports the guide button, by ordinal 100, in the two newer ones; logged as
// XInputGetStateEx) and four users, each connected or not, with a pad's state
// (sim_xinput_set). An injected failure makes LoadLibraryW or GetProcAddress answer null,
// and a query answer the low 16 bits of the injected code (HRESULT_FROM_WIN32(1167):
// ERROR_DEVICE_NOT_CONNECTED). Every call is logged. The foreground window
// (GetForegroundWindow, not logged) is the host's while sim_set_foreground says so: the
// last window the program named to GetAncestor, each a top-level window of its own; else
// another program's. On Windows all of it is the system's own.
//
// References. Every object (di1.., dev1.., joyconfig1..) counts its references. Release
// past zero and any call on a released object are misuse: they are counted, logged and
// answered with E_POINTER (or 0 from Release) instead of crashing. sim_problems() lists
// the live objects and the misuse since the last reset. Objects live in fixed pools: the
// simulation never allocates while the plug-in calls it.
//
// Call log. Every platform call is logged as one readable line when logging is on (the
// default), at the moment the call starts:
//     GetModuleHandleW(null) -> 0x400000
//     DirectInput8Create(instance=0x400000, version=0x800, riid=IID_IDirectInput8W, outer=null) -> DI_OK di1
//     di1.QueryInterface(IID_IDirectInputJoyConfig8) -> DI_OK joyconfig1
//     di1.CreateDevice("Pad A", outer=null) -> DI_OK dev1
//     dev1.SetCooperativeLevel(hwnd=0x1234, flags=5) -> DI_OK
// The result is appended to the call's own line when no other line was written during
// the call; a call that made other calls (EnumDevices, EnumObjects through their
// callbacks) gets a closing line "di1.EnumDevices -> DI_OK" after them. Injected results
// are marked "(injected)". Device GUIDs of virtual controllers are written as the
// controller's quoted name, other GUIDs by name or in braces. Logging can be switched off
// (the benchmarks do); call counts (sim_calls) are kept either way.
//
// Record of calls. The same calls, as the log has them, kept for tests to read without
// parsing the log's text (sim_call_record): the method, the object it was made on, the
// controller it concerns and its answer, in the order the calls started. It follows the
// log: kept while logging is on, emptied by sim_clear_log, at most SIM_MAX_RECORDED
// calls; misuse is in sim_problems, not here.
//
// Injected results. sim_fail("Poll", 2, DIERR_INPUTLOST) makes the 2nd Poll from now on
// (on any device) answer DIERR_INPUTLOST; with times = 3 the 2nd, 3rd and 4th do,
// with SIM_FOREVER every one from the 2nd on. An injected failure replaces the call: it
// has no effect (out pointers are set to null) and returns the failure. An injected
// success code lets the call do its work and replaces its result when that was a
// success. sim_fail_on restricts the rule to the devices of one controller (and to its
// CreateDevice); sim_fail_enum lets EnumDevices or EnumObjects run some callbacks before
// failing. Method names: those of SimMethod before AddRef (a failure injected into
// GetModuleHandleW makes it return null). An unknown name aborts the program (a misspelt rule must not make a
// test vacuous).
//
// On Windows the simulation is a dinput8.dll of its own, with the real interfaces of the
// mingw-w64 headers: Wine is told to load it instead of its own (WINEDLLOVERRIDES=
// dinput8=n, the DLL beside the test programs), so the shipped joybits.dll and the test
// programs meet the same virtual controllers. GetModuleHandleW is then the system's own:
// it is neither logged nor injectable there.
//
// Everything here is single-threaded, like the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controllers/directinput.h"

#if !defined(_WIN32)
#define SIM_API
#elif defined(JOYBITS_SIM_BUILD)
#define SIM_API __declspec(dllexport)
#else
#define SIM_API __declspec(dllimport)
#endif

inline constexpr int SIM_MAX_CONTROLLERS = 32;
inline constexpr int SIM_MAX_OBJECTS = 164;
inline constexpr int SIM_FOREVER = -1;
// Injection rules in force at once. Adding one more is a mistake in the test and aborts;
// a script that adds rules without bound (a fuzzer) reads sim_rule_count() first.
inline constexpr int SIM_MAX_RULES = 64;
// The instance handle GetModuleHandleW(nullptr) gives outside Windows: the host
// executable's module.
inline constexpr uintptr_t SIM_HOST_MODULE = 0x400000;
// Whether GetModuleHandleW is the simulation's (logged and injectable) or the system's.
#if defined(_WIN32)
inline constexpr bool SIM_HAS_MODULE_HANDLE = false;
#else
inline constexpr bool SIM_HAS_MODULE_HANDLE = true;
#endif
// Whether the device list and the clock are the simulation's (see "Pads that come and go").
inline constexpr bool SIM_HAS_DEVICE_LIST = SIM_HAS_MODULE_HANDLE;
// Whether XInput and the foreground window are the simulation's (see "XInput").
inline constexpr bool SIM_HAS_XINPUT = SIM_HAS_MODULE_HANDLE;

// The platform calls, listed once: SimMethod and the names the log, the record,
// sim_calls and the rules use. Those before AddRef take injected results (sim_fail);
// those before CreateDevice are made before any device exists, so rules for one
// controller (sim_fail_on) take the others. AddRef and Release are counted, logged and
// recorded only; the methods after them are those the plug-in never calls, which answer
// E_NOTIMPL.
#define SIM_METHOD_TABLE(M)                                                                                        \
    M(GetModuleHandleW) M(DirectInput8Create) M(QueryInterface)                                                   \
    M(LoadLibraryW) M(GetProcAddress) M(FreeLibrary) M(XInputGetState) M(XInputGetStateEx) M(CreateDevice) M(EnumDevices) M(EnumObjects)     \
    M(SetProperty) M(GetProperty) M(SetDataFormat) M(SetCooperativeLevel) M(Acquire) M(Unacquire) M(Poll) M(GetDeviceState)     \
    M(AddRef) M(Release)                                                                                           \
    M(GetCapabilities) M(GetDeviceData) M(SetEventNotification) M(GetObjectInfo) M(GetDeviceInfo)   \
    M(RunControlPanel) M(Initialize) M(CreateEffect) M(EnumEffects) M(GetEffectInfo) M(GetForceFeedbackState)     \
    M(SendForceFeedbackCommand) M(EnumCreatedEffectObjects) M(Escape) M(SendDeviceData) M(EnumEffectsInFile)      \
    M(WriteEffectToFile) M(BuildActionMap) M(SetActionMap) M(GetImageInfo) M(GetDeviceStatus) M(FindDevice)       \
    M(EnumDevicesBySemantics) M(ConfigureDevices) M(SendNotify) M(EnumTypes) M(GetTypeInfo) M(SetTypeInfo)        \
    M(DeleteType) M(GetConfig) M(SetConfig) M(DeleteConfig) M(GetUserValues) M(SetUserValues) M(AddNewHardware)   \
    M(OpenTypeKey) M(OpenAppStatusKey)

#define SIM_METHOD_ENUMERATOR(name) name,
enum class SimMethod { SIM_METHOD_TABLE(SIM_METHOD_ENUMERATOR) };
#undef SIM_METHOD_ENUMERATOR
#define SIM_METHOD_NAME(name) #name,
inline constexpr const char* SIM_METHOD_NAMES[] = {SIM_METHOD_TABLE(SIM_METHOD_NAME)};
#undef SIM_METHOD_NAME
inline constexpr int SIM_METHOD_COUNT = static_cast<int>(sizeof(SIM_METHOD_NAMES) / sizeof(SIM_METHOD_NAMES[0]));
inline constexpr int SIM_INJECTABLE_METHODS = static_cast<int>(SimMethod::AddRef);
inline constexpr int SIM_DEVICE_METHODS_FROM = static_cast<int>(SimMethod::CreateDevice);

inline const char* sim_method_name(SimMethod method) { return SIM_METHOD_NAMES[static_cast<int>(method)]; }

enum class SimAxis { x, y, z, rx, ry, rz, slider0, slider1 };

// Puts the platform back to its initial state: no controllers, no rules, an empty log
// with logging on, the host window in the foreground, counts and misuse cleared.
// Objects from before the reset are retired: calls on them are answered quietly and not
// logged, so a plug-in still holding them can release them without disturbing the next
// test.
SIM_API void sim_reset();

// --- Controllers -------------------------------------------------------------------

// Adds a controller without objects; returns its number. The name is cut to 63 bytes.
SIM_API int sim_add_controller(const char* product_name);
// Adds an absolute axis of that type (GUID_XAxis .. GUID_RzAxis, GUID_Slider).
SIM_API void sim_add_axis(int controller, SimAxis axis);
// Adds count push buttons.
SIM_API void sim_add_buttons(int controller, int count);
SIM_API void sim_add_pov(int controller);
// Adds any object: its type GUID and its dwType (type bits and DIDFT_MAKEINSTANCE).
// An axis that is not one of the eight SimAxis fields reports no state.
SIM_API void sim_add_object(int controller, const GUID& type, DWORD dw_type);
// A gamepad: X and Y axes, then the buttons.
SIM_API int sim_add_gamepad(const char* product_name, int buttons = 12);
// A joystick: X, Y, Z, Rz, a slider, a point of view, 8 buttons.
SIM_API int sim_add_joystick(const char* product_name);

// A detached controller is not enumerated with DIEDFL_ATTACHEDONLY, cannot be created,
// and its devices lose their acquisition and cannot be acquired.
SIM_API void sim_set_attached(int controller, bool attached);
// false: Poll answers DI_NOEFFECT, as for a device that needs no polling.
SIM_API void sim_set_polled(int controller, bool polled);
// The host window going to the background takes the acquisition from every device set
// up for foreground use.
SIM_API void sim_set_foreground(bool foreground);
// Every acquired device of the controller loses its acquisition.
SIM_API void sim_lose_input(int controller);

SIM_API GUID sim_instance_guid(int controller);
// The USB vendor and product IDs in the product GUID that EnumDevices reports:
// {MAKELONG(vendor, product), 0, 0, {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'}}, as for a HID
// device. Until set, controller n has the vendor SIM_DEFAULT_VENDOR and the product n + 1,
// so every controller is of a model of its own.
inline constexpr uint16_t SIM_DEFAULT_VENDOR = 0x5349;
SIM_API void sim_set_product_ids(int controller, uint16_t vendor, uint16_t product);
// The controller is enumerated under a new instance GUID from now on, as Wine may list a
// pad it sees again; its path and its devices stay.
SIM_API void sim_renew_instance(int controller);
// The controller is plugged into another port: attached, with a new instance GUID and
// device path, in its place in the enumeration (as Wine lists a pad plugged again); its
// devices from before stay unplugged.
SIM_API void sim_plug_elsewhere(int controller);
// The clock GetTickCount reads outside Windows moves on.
SIM_API void sim_advance_clock(DWORD milliseconds);
// GetRawInputDeviceList calls since the last reset.
SIM_API int sim_device_list_reads();

// What is left of the windows and notifications (see "Windows and notifications").
struct SimWindows {
    int classes;        // registered
    int windows;        // not destroyed, message_only of them with HWND_MESSAGE as parent
    int message_only;
    int registrations;  // for device notifications, not unregistered
    int foreign_peeks;  // PeekMessageW calls for no window of the platform's (null or another)
};
SIM_API SimWindows sim_windows();
// From now on CreateWindowExW, or RegisterDeviceNotificationW, answers null.
enum class SimRefusal { none, window, registration };
SIM_API void sim_refuse_notices(SimRefusal refusal);

// Which XInput DLLs there are: none, or the one named and every older one.
enum class SimXInput { none, xinput9_1_0, xinput1_3, xinput1_4 };
SIM_API void sim_set_xinput(SimXInput newest);
// User 0..3 (the mapping's x1..x4) plugged in or not; a user plugged in answers its state.
SIM_API void sim_xinput_connect(int user, bool connected);
SIM_API void sim_xinput_set(int user, const XINPUT_GAMEPAD& pad);
// LoadLibraryW's references to XInput DLLs not yet freed.
SIM_API int sim_xinput_loaded();

// --- Input state -------------------------------------------------------------------

// Positions in -32768..32767, scaled as above.
SIM_API void sim_set_axis(int controller, SimAxis axis, LONG position);
// index 0..127 into rgbButtons (the mapping language's b1 is index 0).
SIM_API void sim_set_button(int controller, int index, bool pressed);
// index into rgdwPOV of one of the controller's points of view, in the order they were
// added (the mapping language's h1 is index 0): hundredths of a degree clockwise from up,
// or 0xFFFFFFFF for centred, which every point of view reads until set.
SIM_API void sim_set_pov(int controller, int index, DWORD value);

// --- Inspection --------------------------------------------------------------------

// Calls of the method since the last reset, whether logged or not ("Release" and
// "AddRef" count too).
SIM_API int sim_calls(const char* method);
// Reference count of a live object named as in the log ("di1", "dev2", "joyconfig1");
// 0 once released, -1 if no such object was made since the reset.
SIM_API int sim_refs(const char* object);
SIM_API bool sim_acquired(const char* device);
// The range set on the controller's axis through that device; false when none was set.
SIM_API bool sim_axis_range(const char* device, SimAxis axis, LONG& min, LONG& max);
SIM_API int sim_live_objects();
SIM_API int sim_misuse_count();

// --- Call log ----------------------------------------------------------------------

// Both switch and empty the record of calls too.
SIM_API void sim_set_logging(bool on);
SIM_API void sim_clear_log();

// --- Record of calls ---------------------------------------------------------------

inline constexpr size_t SIM_MAX_RECORDED = size_t{1} << 14;

struct SimCall {
    SimMethod method;
    char object[24];  // "di1", "dev2", "joyconfig1"; "" for the DLL's own functions
    int controller;   // the virtual controller of the device or of CreateDevice, else -1
    // The answer: for AddRef and Release the count left, for GetModuleHandleW S_OK when it
    // gave a handle and E_FAIL when it gave null.
    HRESULT result;
    bool injected;    // a rule forced the answer
};

// Copies up to capacity calls of the record, oldest first; answers how many it holds.
SIM_API size_t sim_copy_calls(SimCall* out, size_t capacity);

inline std::vector<SimCall> sim_call_record() {
    std::vector<SimCall> calls(sim_copy_calls(nullptr, 0));
    sim_copy_calls(calls.data(), calls.size());
    return calls;
}

// --- Injected results --------------------------------------------------------------

SIM_API void sim_fail(const char* method, int nth, HRESULT result, int times = 1);
SIM_API void sim_fail_on(int controller, const char* method, int nth, HRESULT result, int times = 1);
SIM_API void sim_fail_enum(const char* method, int nth, int callbacks, HRESULT result);
// Rules in force (at most SIM_MAX_RULES), and taking them all back.
SIM_API int sim_rule_count();
SIM_API void sim_clear_rules();
// A faulty platform that goes on enumerating after a callback returned DIENUM_STOP.
SIM_API void sim_ignore_enum_stop(bool ignore);

// --- Texts -------------------------------------------------------------------------
// The simulation writes its texts into the caller's buffer (it may live in a DLL of
// its own, whose storage the caller must not free); each answers the text's full
// length and writes at most capacity - 1 bytes and a terminating zero.

SIM_API size_t sim_copy_problems(char* out, size_t capacity);
SIM_API size_t sim_copy_log(char* out, size_t capacity);
SIM_API size_t sim_copy_result_name(HRESULT result, char* out, size_t capacity);

// A text of the simulation as a std::string, through one of the copy functions above.
template <typename Copy>
std::string sim_text(Copy copy) {
    std::string text(copy(nullptr, 0), '\0');
    if (!text.empty()) copy(text.data(), text.size() + 1);
    return text;
}

// One line per live object ("dev2 holds 1 reference") and per misuse; empty when clean.
inline std::string sim_problems() { return sim_text(sim_copy_problems); }

// The call log, one entry per line.
inline std::vector<std::string> sim_log() {
    std::string text = sim_text(sim_copy_log);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// "DI_OK", "DIERR_INPUTLOST", ... or "0x8000FFFF".
inline std::string sim_result_name(HRESULT result) {
    return sim_text([result](char* out, size_t capacity) { return sim_copy_result_name(result, out, capacity); });
}
