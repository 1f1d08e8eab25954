// The controller set: the DirectInput interface and eight controller slots, filled in
// the order DirectInput enumerates the attached game controllers. This header is all
// the entry point needs from controllers/: reset, open, release, capture.
#pragma once

#include "controllers/directinput.h"
#include "controllers/state_snapshot.h"
#include "text/text_buffer.h"

// A device's path as DIPROP_GUIDANDPATH gives it, NUL-terminated; empty when unknown. It
// names one device whatever instance GUID the enumeration gives it.
using DevicePath = WCHAR[MAX_PATH];

// What a slot's pad is to the poll. It means something only while the slot holds a device:
// the release lets the devices go and leaves the states as they are.
enum class SlotState : uint8_t {
    empty,    // no pad taken in
    unready,  // held, its set-up failed: never read until the next configure
    ready,    // set up: read, or acquired, by every poll
    // Set up, but its last Acquire failed for another reason than the host being in the
    // background (a platform may answer an unplugged pad so): the poll looks for arrivals,
    // and the enumeration says whether the pad is gone.
    unreadable,
    // Set up, but it could not be acquired because it is unplugged, or the enumeration no
    // longer lists it: a pad of the same model arriving takes the slot back.
    gone,
};

// A pad that has been set up: the poll reads it or acquires it.
inline bool set_up(SlotState state) { return state != SlotState::empty && state != SlotState::unready; }

struct ControllerSlot {
    IDirectInputDevice8W* device = nullptr;  // one reference, owned by the slot
    SlotState state = SlotState::empty;
    // The pad's vendor ID in the low 16 bits and its product ID in the high 16 bits, as
    // the enumeration's guidProduct.Data1 holds them; 0 when unknown.
    uint32_t model = 0;
    GUID instance{};         // the enumeration's guidInstance
    DevicePath path{};       // empty until read (see arrivals.cpp)
};

// The HID devices of the system's list of input devices when a poll last looked at it.
// Entries of the list read on the stack: a longer list is told apart by its length alone.
inline constexpr unsigned DEVICE_LIST_CAPACITY = 64;
struct DeviceList {
    HANDLE hid[DEVICE_LIST_CAPACITY] = {};
    unsigned count = 0;  // of hid
    unsigned total = 0;  // devices of every kind in the list
};

// The system's notifications of devices that come and go (controllers/notices.cpp): a
// message-only window of the plug-in's own, registered for the HID interface class, whose
// procedure only notes when a device arrived. While the window stands the poll looks
// for pads when told, never at the device list.
struct DeviceNotices {
    HINSTANCE module = nullptr;          // the window class's owner: the plug-in library, or null for a program
    HWND window = nullptr;               // null: none, the poll looks at the device list
    HDEVNOTIFY registration = nullptr;   // the window's registration for the HID interface class
    bool class_registered = false;       // the window class stands: unregistered after the window
    uint8_t looks_due = 0;               // LOOK_SOON and LOOK_LATE after the last arrival, LOOK_NOW
    DWORD last_notice = 0;               // GetTickCount when the last arrival was told of
    DWORD last_poll = 0;                 // GetTickCount of the previous poll, or of the configure
    DWORD last_take = 0;                 // GetTickCount when the poll last took the window's messages
};

// What on_object_enumerated works on during one EnumObjects call of a slot's set-up.
struct ObjectSetup {
    int32_t slot = 0;             // the set-up slot: the slot whose objects are being enumerated
    bool list_axes = false;       // list the axes' help fragments (a configure), or only set the ranges
    bool out_of_storage = false;  // the fragment list could not grow during the call
    TextBuffer axis_fragments;    // scratch list of the set-up slot's axis fragments
};

// XInput's state query: the one at ordinal 100, which also reports the guide button, where
// the DLL has it, else XInputGetState; both answer ERROR_SUCCESS, ERROR_DEVICE_NOT_CONNECTED
// or another error.
using XInputQuery = DWORD(WINAPI*)(DWORD user, XINPUT_STATE* state);
// The guide button's bit in that query's wButtons, which no header names; the plain query
// leaves it out.
inline constexpr WORD XINPUT_GUIDE_BUTTON = 0x0400;
// Each XInput button's bit, in the order of the mapping's b1.. (JOYBITS_XINPUT_BUTTON_TABLE).
#define JOYBITS_XINPUT_BUTTON_BIT(name, bit) static_cast<WORD>(bit),
inline constexpr WORD XINPUT_BUTTON_BITS[] = {JOYBITS_XINPUT_BUTTON_TABLE(JOYBITS_XINPUT_BUTTON_BIT)};
#undef JOYBITS_XINPUT_BUTTON_BIT
static_assert(sizeof XINPUT_BUTTON_BITS / sizeof XINPUT_BUTTON_BITS[0] == XINPUT_BUTTON_COUNT);
// The XInput users a mapping reads (controllers/xinput.cpp): loaded by the first configure
// whose mapping reads one, kept until command 1. A user not connected is asked again once
// a second at most.
struct XInputUsers {
    HMODULE module = nullptr;       // null: not loaded (none tried, or no XInput on the system)
    XInputQuery query = nullptr;    // within module
    bool with_guide = false;        // query is the one at ordinal 100
    uint32_t read = 0;              // the users the configured mapping reads (user u: bit u)
    bool connected[XINPUT_USER_COUNT] = {};
    bool asked[XINPUT_USER_COUNT] = {};       // since the configure
    DWORD last_asked[XINPUT_USER_COUNT] = {}; // GetTickCount when a user not connected was last asked
    // Whether the host's window was behind another's when the poll last looked (at most every
    // 100 ms: under Wine GetForegroundWindow takes some 45 µs, a hundred polls' work).
    bool behind = false;
    bool looked = false;            // since the configure
    DWORD last_look = 0;            // GetTickCount of that look
};

struct ControllerSet {
    IDirectInput8W* direct_input = nullptr;  // one reference, owned here
    ControllerSlot slots[SLOT_COUNT];
    // The model each slot is kept for (pad_model), 0 for a slot not pinned: set before
    // open_controllers, which gives a pinned slot only a pad of its model.
    uint32_t pins[SLOT_COUNT] = {};
    ObjectSetup setup;            // the scratch of the set-up of one slot's objects
    // The host's window (command 0), which every pad is set up with: at the configure and
    // when a poll takes a pad in.
    HWND window = nullptr;
    DeviceList devices;           // the system's device list when last looked at
    DWORD last_look = 0;          // GetTickCount of that look
    uint8_t polls_unlooked = 0;   // polls since the clock was last read
    DeviceNotices notices;        // kept from the first configure that reads a slot to command 1
    // The slots the configured mapping reads (slot i: bit i), set by the configure: a poll
    // looks for arrivals only while one of them holds no pad it can read.
    uint32_t read_slots = (1u << SLOT_COUNT) - 1;
    XInputUsers xinput;
};

// Creates DirectInput, takes the attached game controllers into the slots and sets each
// up. Expects every slot empty. Each pinned slot takes the first pad of its
// model that no other pinned slot took; the other pads fill the slots not pinned in
// enumeration order; a pad with no slot left for it is not created. The pads are set up
// with window, which becomes set.window. On success returns true and sets text to the
// HelpText; on failure returns false and sets text to the failure message.
bool open_controllers(ControllerSet& set, HWND window, TextBuffer& text);

// Unacquires and releases each device, slot 0 to 7, then the DirectInput interface.
// The slots' states are left as they are.
void release_controllers(ControllerSet& set) noexcept;

// Releases everything, then empties the slots (state empty), clears their pins, reads no XInput user (XInput stays loaded) and drops
// the set-up's scratch: the state open_controllers expects.
void reset_controllers(ControllerSet& set) noexcept;

// Reads every ready controller into the snapshot, acquiring those whose Poll fails. While
// the set is open, a slot with no pad ready, or whose pad could not be acquired, gets a
// pad at rest (axes and sliders 0, buttons up, points of view centred) and is marked
// fresh; a failed read, and the poll whose Acquire succeeds, leave the slot not fresh.
void capture_states(ControllerSet& set, StateSnapshot& snapshot) noexcept;

// Data format, cooperative level (with set.window) and the range of every axis for the
// pad in that slot; with list_axes, the axes' help fragments too (into setup.axis_fragments).
// False when a step failed. Throws std::bad_alloc only while listing the axes.
bool set_up_device(ControllerSet& set, int32_t index, bool list_axes);

// Pads plugged in after the configure (controllers/arrivals.cpp). While a slot of
// read_slots holds no pad or its pad is gone or unreadable, enumerates when the system's
// notifications say to (told_to_look), or, without their window, when a device came into
// the system's device list, looked at a few times a second; takes every new pad into
// arrival_slot, set up as the configure sets up a pad. Allocates nothing.
void take_in_arrivals(ControllerSet& set) noexcept;
// Makes the window of device notifications and registers it, unless both stand; a step
// that fails undoes the others, and the poll then looks at the device list. True when the
// window stands.
bool watch_devices(ControllerSet& set) noexcept;
// Unregisters the notifications, destroys the window and unregisters its class, in that
// order; the state of no window.
void stop_watching_devices(ControllerSet& set) noexcept;
// A poll's part while the window stands: notes the poll's time and, while a pad is wanted,
// takes the messages sent to the window (its own alone; at most every 250 ms, where the
// host's own pump has not delivered them) and answers whether a look is due:
// 300 ms and again 2 s after the last arrival told of, and once after more than 2 s without
// a poll. A look that falls due while no pad is wanted waits for the next poll that wants one.
bool told_to_look(DeviceNotices& notices, bool wanted) noexcept;
// The configure enumerated every pad: a pause without polls is counted from its end (a
// configure with eight pads takes seconds under Wine), and a look a pause made due is done.
void note_enumerated(DeviceNotices& notices) noexcept;
// Reads the system's device list into known; true when it holds a HID device that known
// did not (or, for a list too long to read, when it grew).
bool device_list_grew(DeviceList& known) noexcept;
// The users of read (user u: bit u) are those the configure's mapping reads: XInput is
// loaded for them (xinput1_4.dll, else xinput1_3.dll, else xinput9_1_0.dll) unless it is, and
// each is asked at the next poll. With none, nothing is loaded and no XInput call is made.
// False when they are read at rest for want of XInput.
bool configure_xinput(XInputUsers& users, uint32_t read) noexcept;
// Lets XInput go (command 1): its users are no longer read, until a configure.
void release_xinput(XInputUsers& users) noexcept;
// Reads each user the mapping reads into snapshot record SLOT_COUNT + user, in a
// DirectInput pad's layout (XInput's sticks with y and ry down positive, the triggers on
// 0 .. AXIS_MAX, the D-pad as point of view 1); at rest while the host's window (set.window,
// when not null) is not the foreground window's (looked at in the first poll after a
// configure, then every 100 ms), while XInput is not loaded, and for a user not connected
// (asked again at most once a second). Every read user is fresh; the others are not.
void capture_xinput(ControllerSet& set, StateSnapshot& snapshot) noexcept;
// What an XInput pad's state reads as, in the layout of a DirectInput pad's record.
void xinput_record(const XINPUT_GAMEPAD& pad, DIJOYSTATE2& state) noexcept;
// A pad at rest: every axis and slider 0, every button up, every point of view centred.
void rest_record(DIJOYSTATE2& state) noexcept;

// The empty slot a pad of that model takes, at the configure and after it: the one
// slot_for_model gives it (pinned to its model, else the first not pinned: a slot pinned to
// another model stays kept for that model); -1 when none is left.
int32_t free_slot_for(const ControllerSet& set, uint32_t model) noexcept;
// The slot a new pad of that model goes to: the first slot whose pad of the same model is
// gone, else free_slot_for; -1 when there is none.
int32_t arrival_slot(const ControllerSet& set, uint32_t model) noexcept;
// The model a pad's enumeration gives (guidProduct.Data1: MAKELONG(vendor, product)).
inline uint32_t model_of(const DIDEVICEINSTANCEW& instance) { return instance.guidProduct.Data1; }

// DirectInput callbacks, exposed for tests of the enumeration rules. Neither throws: they
// run inside the platform's frames.
// The EnumDevices context is the ControllerSet being opened.
BOOL CALLBACK on_device_enumerated(const DIDEVICEINSTANCEW* instance, LPVOID context) noexcept;
// The EnumObjects context is the window handle and is not read; the callback works on the
// set-up slot of the set whose open_controllers is running, and stops the enumeration
// when called outside one.
BOOL CALLBACK on_object_enumerated(const DIDEVICEOBJECTINSTANCEW* object, LPVOID context) noexcept;
