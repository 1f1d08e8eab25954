#include "controllers/controllers.h"

#include "controllers/axes.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

// The platform calls the callbacks through its own pointer types, with their calling
// convention (stdcall on 32-bit Windows): a mismatch must not build.
static_assert(std::is_convertible_v<decltype(&on_device_enumerated), LPDIENUMDEVICESCALLBACKW>);
static_assert(std::is_convertible_v<decltype(&on_object_enumerated), LPDIENUMDEVICEOBJECTSCALLBACKW>);

namespace {

constexpr DWORD COOPERATIVE_FLAGS = DISCL_EXCLUSIVE | DISCL_FOREGROUND;

// A platform that keeps answering DIERR_INPUTLOST must not keep the host's poll call
// waiting: this many Acquire calls per slot and poll at most.
constexpr int MAX_ACQUIRE_TRIES = 16;

// The set whose objects are being enumerated. The EnumObjects context must carry the
// window handle, so on_object_enumerated finds its set here; it is set only for the
// duration of one EnumObjects call.
ControllerSet* setup_set = nullptr;

// Runs EnumObjects on the set-up slot's device; false when it reports failure. Throws
// std::bad_alloc when the fragments could not be stored (the callback itself must not
// throw through the platform's frames).
bool enumerate_objects(ControllerSet& set, IDirectInputDevice8W* device) {
    setup_set = &set;
    set.setup.out_of_storage = false;
    HRESULT hr = device->EnumObjects(on_object_enumerated, set.window, DIDFT_ALL);
    setup_set = nullptr;
    if (set.setup.out_of_storage) throw std::bad_alloc();
    return SUCCEEDED(hr);
}

// The help fragment of an object of that DirectInput type, or null: the first axis of
// the type that the help list names.
const char* help_fragment(const GUID& type) {
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        if (AXIS_NAMES[axis].help != nullptr && same_guid(type, *AXES[axis].type)) return AXIS_NAMES[axis].help;
    }
    return nullptr;
}

// The configure's set-up of one slot; appends the slot's block to help when it completes.
bool set_up_slot(ControllerSet& set, int32_t index, TextBuffer& help) {
    if (!set_up_device(set, index, true)) return false;
    help.append(help_slot_head(index).text);
    help.append(set.setup.axis_fragments);
    help.append(HELP_BUTTONS);
    return true;
}

// Every slot holds a pad: the enumeration can stop.
bool full(const ControllerSet& set) {
    for (const ControllerSlot& slot : set.slots) {
        if (slot.device == nullptr) return false;
    }
    return true;
}

// A pad at rest: every axis and slider 0, every button up, every point of view centred.
constexpr DIJOYSTATE2 rest_state() {
    DIJOYSTATE2 state{};
    for (DWORD& pov : state.rgdwPOV) pov = 0xFFFFFFFF;
    return state;
}
constexpr DIJOYSTATE2 REST_STATE = rest_state();
// What the evaluation reads of a record: the axes, the sliders, the points of view and the
// buttons, which end the part written at rest.
constexpr size_t READ_PART = offsetof(DIJOYSTATE2, rgbButtons) + sizeof REST_STATE.rgbButtons;

enum class Capture { read, kept, at_rest };

// One ready slot: read, or acquired. An Acquire that fails, whatever its answer (lost
// input MAX_ACQUIRE_TRIES times included), leaves the pad at rest; even a successful one
// yields no state in this poll: the next poll reads.
Capture capture_slot(ControllerSlot& slot, DIJOYSTATE2& state) noexcept {
    if (SUCCEEDED(slot.device->Poll())) {
        slot.state = SlotState::ready;  // acquired and polled: there, whatever an enumeration missed
        return SUCCEEDED(slot.device->GetDeviceState(sizeof(DIJOYSTATE2), &state)) ? Capture::read : Capture::kept;
    }
    HRESULT hr = slot.device->Acquire();
    for (int tries = 1; hr == DIERR_INPUTLOST && tries < MAX_ACQUIRE_TRIES; ++tries) hr = slot.device->Acquire();
    if (SUCCEEDED(hr)) {
        slot.state = SlotState::ready;
        return Capture::kept;
    }
    if (hr == static_cast<HRESULT>(DIERR_UNPLUGGED)) {  // unsigned in some headers
        slot.state = SlotState::gone;
    } else if (slot.state != SlotState::gone) {  // gone until the pad is acquired again
        slot.state = hr == DIERR_OTHERAPPHASPRIO ? SlotState::ready : SlotState::unreadable;
    }
    return Capture::at_rest;
}

}  // namespace

int32_t free_slot_for(const ControllerSet& set, uint32_t model) noexcept {
    bool held[SLOT_COUNT];
    for (int32_t i = 0; i < SLOT_COUNT; ++i) held[i] = set.slots[i].device != nullptr;
    return slot_for_model(set.pins, held, model);
}

bool set_up_device(ControllerSet& set, int32_t index, bool list_axes) {
    IDirectInputDevice8W* device = set.slots[index].device;
    set.setup.axis_fragments.release();
    if (FAILED(device->SetDataFormat(&c_dfDIJoystick2))) return false;
    if (FAILED(device->SetCooperativeLevel(set.window, COOPERATIVE_FLAGS))) return false;
    set.setup.slot = index;
    set.setup.list_axes = list_axes;
    return enumerate_objects(set, device);
}

bool open_controllers(ControllerSet& set, HWND window, TextBuffer& text) {
    set.window = window;
    HINSTANCE host = GetModuleHandleW(nullptr);
    void* created = nullptr;
    if (FAILED(DirectInput8Create(host, DIRECTINPUT_VERSION, IID_IDirectInput8W, &created, nullptr))) {
        text.assign(INIT_ERROR_MESSAGE);
        return false;
    }
    set.direct_input = static_cast<IDirectInput8W*>(created);

    // Asked for and let go at once: only a check that this DirectInput offers joystick
    // configuration; one that does not is answered like one that failed to start.
    void* joy_config = nullptr;
    if (FAILED(set.direct_input->QueryInterface(IID_IDirectInputJoyConfig8, &joy_config))) {
        text.assign(INIT_ERROR_MESSAGE);
        return false;
    }
    static_cast<IDirectInputJoyConfig8*>(joy_config)->Release();

    // Looked at before the enumeration: a pad plugged in between is taken in by a poll.
    // Never while the window of notifications stands, which tells of such a pad.
    if (set.notices.window == nullptr) {
        set.devices = DeviceList{};
        device_list_grew(set.devices);
        set.last_look = GetTickCount();
        set.polls_unlooked = 0;
    }
    if (FAILED(set.direct_input->EnumDevices(DI8DEVCLASS_GAMECTRL, on_device_enumerated, &set,
                                             DIEDFL_ATTACHEDONLY))) {
        text.assign(ENUMERATION_ERROR_MESSAGE);
        return false;
    }

    TextBuffer help(HELP_HEAD);
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (set.slots[i].device == nullptr) continue;
        set.slots[i].state = set_up_slot(set, i, help) ? SlotState::ready : SlotState::unready;
    }
    set.setup.axis_fragments.release();
    help.move_to(text);
    note_enumerated(set.notices);
    return true;
}

void rest_record(DIJOYSTATE2& state) noexcept { std::memcpy(&state, &REST_STATE, READ_PART); }

void release_controllers(ControllerSet& set) noexcept {
    for (ControllerSlot& slot : set.slots) {
        IDirectInputDevice8W* device = slot.device;
        slot.device = nullptr;
        if (device == nullptr) continue;
        device->Unacquire();
        device->Release();
    }
    IDirectInput8W* direct_input = set.direct_input;
    set.direct_input = nullptr;
    if (direct_input != nullptr) direct_input->Release();
}

void reset_controllers(ControllerSet& set) noexcept {
    release_controllers(set);
    for (ControllerSlot& slot : set.slots) slot = ControllerSlot{};
    for (uint32_t& pin : set.pins) pin = 0;
    set.xinput.read = 0;
    set.setup.axis_fragments.release();
}

void capture_states(ControllerSet& set, StateSnapshot& snapshot) noexcept {
    // After a release no configure is in force: every entry keeps its bit.
    const Capture unready = set.direct_input != nullptr ? Capture::at_rest : Capture::kept;
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        ControllerSlot& slot = set.slots[i];
        const Capture got = slot.device != nullptr && set_up(slot.state) ? capture_slot(slot, snapshot.state[i]) : unready;
        if (got == Capture::at_rest) rest_record(snapshot.state[i]);
        snapshot.fresh[i] = got != Capture::kept;
    }
}

BOOL CALLBACK on_device_enumerated(const DIDEVICEINSTANCEW* instance, LPVOID context) noexcept {
    auto* set = static_cast<ControllerSet*>(context);
    if (set == nullptr || set->direct_input == nullptr) return DIENUM_STOP;
    if (instance == nullptr) return DIENUM_CONTINUE;
    const uint32_t model = model_of(*instance);
    const int32_t slot = free_slot_for(*set, model);
    // A pad with no slot left for it is not created while a slot is still kept for
    // another model, which a pad enumerated later may take.
    if (slot < 0 && !full(*set)) return DIENUM_CONTINUE;
    IDirectInputDevice8W* device = nullptr;
    if (FAILED(set->direct_input->CreateDevice(instance->guidInstance, &device, nullptr)) || device == nullptr) {
        return DIENUM_CONTINUE;
    }
    if (slot < 0) {  // only a platform that ignored the stop gets here: there is no slot for the device
        device->Release();
        return DIENUM_STOP;
    }
    set->slots[slot].device = device;
    set->slots[slot].state = SlotState::unready;  // until its set-up completes
    set->slots[slot].model = model;
    set->slots[slot].instance = instance->guidInstance;
    return full(*set) ? DIENUM_STOP : DIENUM_CONTINUE;
}

BOOL CALLBACK on_object_enumerated(const DIDEVICEOBJECTINSTANCEW* object, LPVOID context) noexcept {
    static_cast<void>(context);
    ControllerSet* set = setup_set;
    if (set == nullptr || set->setup.slot < 0 || set->setup.slot >= SLOT_COUNT) return DIENUM_STOP;
    if (object == nullptr) return DIENUM_CONTINUE;
    if ((object->dwType & DIDFT_AXIS) != 0) {
        DIPROPRANGE range{};
        range.diph.dwSize = sizeof(DIPROPRANGE);
        range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
        range.diph.dwObj = object->dwType;
        range.diph.dwHow = DIPH_BYID;
        range.lMin = AXIS_MIN;
        range.lMax = AXIS_MAX;
        IDirectInputDevice8W* device = set->slots[set->setup.slot].device;
        if (device == nullptr || FAILED(device->SetProperty(DIPROP_RANGE, &range.diph))) return DIENUM_STOP;
    }
    const char* fragment = help_fragment(object->guidType);
    if (fragment == nullptr || !set->setup.list_axes) return DIENUM_CONTINUE;
    try {
        set->setup.axis_fragments.append(fragment);
    } catch (...) {
        set->setup.out_of_storage = true;
        return DIENUM_STOP;
    }
    return DIENUM_CONTINUE;
}
