#include "controllers/controllers.h"

#include "controllers/axes.h"

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
// The fragment list could not grow during the current EnumObjects call.
bool setup_out_of_storage = false;

// Runs EnumObjects on the set-up slot's device; false when it reports failure. Throws
// std::bad_alloc when the fragments could not be stored (the callback itself must not
// throw through the platform's frames).
bool enumerate_objects(ControllerSet& set, IDirectInputDevice8W* device, HWND window) {
    setup_set = &set;
    setup_out_of_storage = false;
    HRESULT hr = device->EnumObjects(on_object_enumerated, window, DIDFT_ALL);
    setup_set = nullptr;
    if (setup_out_of_storage) throw std::bad_alloc();
    return SUCCEEDED(hr);
}

// Data format, cooperative level, ranges and axis fragments for one slot; appends the
// slot's block to help when the set-up completes.
bool set_up_slot(ControllerSet& set, int32_t index, HWND window, TextBuffer& help) {
    IDirectInputDevice8W* device = set.slots[index].device;
    set.axis_fragments.release();
    if (FAILED(device->SetDataFormat(&c_dfDIJoystick2))) return false;
    if (FAILED(device->SetCooperativeLevel(window, COOPERATIVE_FLAGS))) return false;
    set.setup_slot = index;
    if (!enumerate_objects(set, device, window)) return false;
    help.append(help_slot_head(index).text);
    help.append(set.axis_fragments);
    help.append(HELP_BUTTONS);
    return true;
}

// The empty slot a pad of this model takes (slot_for_model); -1 when none is left.
int32_t free_slot_for(const ControllerSet& set, uint32_t model) {
    bool held[SLOT_COUNT];
    for (int32_t i = 0; i < SLOT_COUNT; ++i) held[i] = set.slots[i].device != nullptr;
    return slot_for_model(set.pins, held, model);
}

// Every slot holds a pad: the enumeration can stop.
bool full(const ControllerSet& set) {
    for (const ControllerSlot& slot : set.slots) {
        if (slot.device == nullptr) return false;
    }
    return true;
}

}  // namespace

bool open_controllers(ControllerSet& set, HWND window, TextBuffer& text) {
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

    if (FAILED(set.direct_input->EnumDevices(DI8DEVCLASS_GAMECTRL, on_device_enumerated, &set,
                                             DIEDFL_ATTACHEDONLY))) {
        text.assign(ENUMERATION_ERROR_MESSAGE);
        return false;
    }

    TextBuffer help(HELP_HEAD);
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (set.slots[i].device == nullptr) continue;
        set.slots[i].ready = set_up_slot(set, i, window, help);
    }
    set.axis_fragments.release();
    help.move_to(text);
    return true;
}

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
    set.axis_fragments.release();
}

void capture_states(ControllerSet& set, StateSnapshot& snapshot) noexcept {
    for (bool& fresh : snapshot.fresh) fresh = false;
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        ControllerSlot& slot = set.slots[i];
        if (!slot.ready || slot.device == nullptr) continue;
        if (SUCCEEDED(slot.device->Poll())) {
            snapshot.fresh[i] = SUCCEEDED(slot.device->GetDeviceState(sizeof(DIJOYSTATE2), &snapshot.state[i]));
            continue;
        }
        // Even a successful Acquire yields no state in this poll; the next poll reads.
        int tries = 1;
        while (slot.device->Acquire() == DIERR_INPUTLOST && tries < MAX_ACQUIRE_TRIES) ++tries;
    }
}

uint32_t model_of_product(const GUID& product) noexcept { return static_cast<uint32_t>(product.Data1); }

BOOL CALLBACK on_device_enumerated(const DIDEVICEINSTANCEW* instance, LPVOID context) noexcept {
    auto* set = static_cast<ControllerSet*>(context);
    if (set == nullptr || set->direct_input == nullptr) return DIENUM_STOP;
    if (instance == nullptr) return DIENUM_CONTINUE;
    const uint32_t model = model_of_product(instance->guidProduct);
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
    set->slots[slot].model = model;
    return full(*set) ? DIENUM_STOP : DIENUM_CONTINUE;
}

BOOL CALLBACK on_object_enumerated(const DIDEVICEOBJECTINSTANCEW* object, LPVOID context) noexcept {
    static_cast<void>(context);
    ControllerSet* set = setup_set;
    if (set == nullptr || set->setup_slot < 0 || set->setup_slot >= SLOT_COUNT) return DIENUM_STOP;
    if (object == nullptr) return DIENUM_CONTINUE;
    if ((object->dwType & DIDFT_AXIS) != 0) {
        DIPROPRANGE range{};
        range.diph.dwSize = sizeof(DIPROPRANGE);
        range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
        range.diph.dwObj = object->dwType;
        range.diph.dwHow = DIPH_BYID;
        range.lMin = AXIS_MIN;
        range.lMax = AXIS_MAX;
        IDirectInputDevice8W* device = set->slots[set->setup_slot].device;
        if (device == nullptr || FAILED(device->SetProperty(DIPROP_RANGE, &range.diph))) return DIENUM_STOP;
    }
    const int axis = axis_of_type(object->guidType);
    if (axis < 0) return DIENUM_CONTINUE;
    try {
        set->axis_fragments.append(AXES[axis].help);
    } catch (...) {
        setup_out_of_storage = true;
        return DIENUM_STOP;
    }
    return DIENUM_CONTINUE;
}
