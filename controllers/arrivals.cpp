// Pads plugged in while the host runs, taken in by a poll without a configure, only while
// a slot the mapping reads has no pad it can read. The poll enumerates the game
// controllers, which takes milliseconds and far longer with some devices, only when told:
// by the system's notifications (notices.cpp), or, where their window could not be made,
// when a device came into the system's list of input devices, looked at no more than a
// few times a second (a device that only went needs no look: its Acquire says so).
#include "controllers/controllers.h"
#include "controllers/guid.h"

#include <cstring>

namespace {

// The device list is looked at no more often than this, and the clock read once in so
// many polls (a host polls at 60 Hz or more).
constexpr DWORD LOOK_INTERVAL_MS = 250;
constexpr uint8_t POLLS_PER_CLOCK_READ = 8;

// The device's path (DIPROP_GUIDANDPATH), which stays the same for one device whatever
// instance GUID it is enumerated under; empty when the platform does not tell it.
void read_device_path(IDirectInputDevice8W* device, DevicePath& path) noexcept {
    DIPROPGUIDANDPATH property{};
    property.diph.dwSize = sizeof(DIPROPGUIDANDPATH);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwHow = DIPH_DEVICE;
    path[0] = 0;
    if (FAILED(device->GetProperty(DIPROP_GUIDANDPATH, &property.diph))) return;
    for (int i = 0; i < MAX_PATH; ++i) path[i] = property.wszPath[i];
    path[MAX_PATH - 1] = 0;
}

bool same_path(const DevicePath& a, const DevicePath& b) {
    if (a[0] == 0) return false;
    for (int i = 0; i < MAX_PATH && (a[i] != 0 || b[i] != 0); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// A pad the enumeration found that no slot holds, its device created, not yet placed.
struct Arrival {
    IDirectInputDevice8W* device;
    uint32_t model;
    GUID instance;
    DevicePath path;
};

// What one enumeration of arrivals carries: the set, the slots whose pad it listed, and
// the new pads (placed once the enumeration has said which pads are gone).
struct Arrivals {
    ControllerSet* set;
    uint32_t listed;
    int32_t count;
    Arrival pads[SLOT_COUNT];
};

int32_t slot_with_instance(const ControllerSet& set, const GUID& instance) {
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (set.slots[i].device != nullptr && same_guid(set.slots[i].instance, instance)) return i;
    }
    return -1;
}

int32_t slot_with_path(const ControllerSet& set, const DevicePath& path) {
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (set.slots[i].device != nullptr && same_path(set.slots[i].path, path)) return i;
    }
    return -1;
}

// The new pad goes into the slot, in place of a gone pad's device, and is set up as the
// configure sets up a pad; the next poll acquires it.
void take_into(ControllerSet& set, int32_t index, const Arrival& pad) noexcept {
    ControllerSlot& slot = set.slots[index];
    if (slot.device != nullptr) {
        slot.device->Unacquire();
        slot.device->Release();
    }
    slot = ControllerSlot{};
    slot.device = pad.device;
    slot.model = pad.model;
    slot.instance = pad.instance;
    std::memcpy(slot.path, pad.path, sizeof slot.path);
    // Lists no axes: cannot throw.
    slot.state = set_up_device(set, index, false) ? SlotState::ready : SlotState::unready;
}

// Marks the pads still held as listed, and keeps each new one, with its device, for later.
// A pad seen again under another instance GUID is recognised by its path: the same pad
// back in its port goes to its own slot again, one still held is never taken twice.
BOOL CALLBACK on_device_arrived(const DIDEVICEINSTANCEW* instance, LPVOID context) noexcept {
    Arrivals& arrivals = *static_cast<Arrivals*>(context);
    ControllerSet& set = *arrivals.set;
    if (instance == nullptr) return DIENUM_CONTINUE;
    // A pad held under this instance GUID is the same device: gone, it is back in its port,
    // and its own device acquires it again (a new one would read its first state anew).
    const int32_t held = slot_with_instance(set, instance->guidInstance);
    if (held >= 0) {
        arrivals.listed |= 1u << held;
        return DIENUM_CONTINUE;
    }
    IDirectInputDevice8W* device = nullptr;
    if (FAILED(set.direct_input->CreateDevice(instance->guidInstance, &device, nullptr)) || device == nullptr) {
        return DIENUM_CONTINUE;
    }
    Arrival pad{device, model_of(*instance), instance->guidInstance, {}};
    read_device_path(device, pad.path);
    const int32_t same = slot_with_path(set, pad.path);
    if (same >= 0) {
        arrivals.listed |= 1u << same;
        if (set.slots[same].state == SlotState::gone) {
            take_into(set, same, pad);
        } else {
            set.slots[same].instance = pad.instance;  // found by it next time, without a device
            device->Release();
        }
        return DIENUM_CONTINUE;
    }
    if (arrivals.count == SLOT_COUNT) {
        device->Release();
        return DIENUM_CONTINUE;
    }
    arrivals.pads[arrivals.count++] = pad;
    return DIENUM_CONTINUE;
}

// A slot the mapping reads holds no pad that can be read: a new pad may be wanted.
bool wants_a_pad(const ControllerSet& set) {
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        const ControllerSlot& slot = set.slots[i];
        const bool readable = slot.device != nullptr && slot.state != SlotState::gone && slot.state != SlotState::unreadable;
        if ((set.read_slots & (1u << i)) != 0 && !readable) return true;
    }
    return false;
}

void enumerate_arrivals(ControllerSet& set) noexcept {
    for (ControllerSlot& slot : set.slots) {
        if (slot.device != nullptr && slot.path[0] == 0) read_device_path(slot.device, slot.path);
    }
    Arrivals arrivals{&set, 0, 0, {}};
    const HRESULT hr = set.direct_input->EnumDevices(DI8DEVCLASS_GAMECTRL, on_device_arrived, &arrivals,
                                                     DIEDFL_ATTACHEDONLY);
    for (int32_t i = 0; SUCCEEDED(hr) && i < SLOT_COUNT; ++i) {
        // A slot whose set-up failed is never read: it stays so until the next configure.
        ControllerSlot& slot = set.slots[i];
        if (slot.device != nullptr && set_up(slot.state) && (arrivals.listed & (1u << i)) == 0) slot.state = SlotState::gone;
    }
    for (int32_t n = 0; n < arrivals.count; ++n) {
        const int32_t index = arrival_slot(set, arrivals.pads[n].model);
        if (index >= 0) {
            take_into(set, index, arrivals.pads[n]);
        } else {
            arrivals.pads[n].device->Release();
        }
    }
}

}  // namespace

bool device_list_grew(DeviceList& known) noexcept {
    RAWINPUTDEVICELIST list[DEVICE_LIST_CAPACITY];
    UINT total = DEVICE_LIST_CAPACITY;
    const UINT read = GetRawInputDeviceList(list, &total, sizeof(RAWINPUTDEVICELIST));
    if (read == static_cast<UINT>(-1)) {
        const bool grew = total > known.total;
        known.total = total;
        known.count = 0;
        return grew;
    }
    bool grew = false;
    unsigned count = 0;
    for (UINT i = 0; i < read && i < DEVICE_LIST_CAPACITY; ++i) {
        if (list[i].dwType != RIM_TYPEHID) continue;
        bool seen = false;
        for (unsigned k = 0; k < known.count && !seen; ++k) seen = known.hid[k] == list[i].hDevice;
        grew = grew || !seen;
        list[count++].hDevice = list[i].hDevice;
    }
    for (unsigned k = 0; k < count; ++k) known.hid[k] = list[k].hDevice;
    known.count = count;
    known.total = read;
    return grew;
}

int32_t arrival_slot(const ControllerSet& set, uint32_t model) noexcept {
    for (int32_t i = 0; model != 0 && i < SLOT_COUNT; ++i) {
        const ControllerSlot& slot = set.slots[i];
        if (slot.device != nullptr && slot.state == SlotState::gone && slot.model == model) return i;
    }
    return free_slot_for(set, model);
}

void take_in_arrivals(ControllerSet& set) noexcept {
    if (set.notices.window != nullptr) {
        if (told_to_look(set.notices, set.direct_input != nullptr && wants_a_pad(set))) enumerate_arrivals(set);
        return;
    }
    if (++set.polls_unlooked < POLLS_PER_CLOCK_READ || set.direct_input == nullptr || !wants_a_pad(set)) return;
    set.polls_unlooked = 0;
    const DWORD now = GetTickCount();
    if (now - set.last_look < LOOK_INTERVAL_MS) return;
    set.last_look = now;
    if (device_list_grew(set.devices)) enumerate_arrivals(set);
}
