// The controller set: the DirectInput interface and eight controller slots, filled in
// the order DirectInput enumerates the attached game controllers. This header is all
// the entry point needs from controllers/: reset, open, release, capture.
#pragma once

#include "controllers/directinput.h"
#include "controllers/state_snapshot.h"
#include "text/text_buffer.h"

struct ControllerSlot {
    IDirectInputDevice8W* device = nullptr;  // one reference, owned by the slot
    bool ready = false;                      // set-up completed by the last open_controllers
    uint32_t model = 0;                      // the held pad's model (pad_model), 0 when unknown
};

struct ControllerSet {
    IDirectInput8W* direct_input = nullptr;  // one reference, owned here
    ControllerSlot slots[SLOT_COUNT];
    // The model each slot is kept for (pad_model), 0 for a slot not pinned: set before
    // open_controllers, which gives a pinned slot only a pad of its model.
    uint32_t pins[SLOT_COUNT] = {};
    int32_t setup_slot = 0;       // the slot whose objects are being enumerated
    TextBuffer axis_fragments;    // scratch list of the set-up slot's axis fragments
};

// Creates DirectInput, takes the attached game controllers into the slots and sets each
// up. Expects every slot empty and not ready. Each pinned slot takes the first pad of its
// model that no other pinned slot took; the other pads fill the slots not pinned in
// enumeration order; a pad with no slot left for it is not created. On success returns true and sets text to
// the HelpText; on failure returns false and sets text to the failure message.
bool open_controllers(ControllerSet& set, HWND window, TextBuffer& text);

// Unacquires and releases each device, slot 0 to 7, then the DirectInput interface.
// Ready flags are left as they are.
void release_controllers(ControllerSet& set) noexcept;

// Releases everything, then empties the slots, clears their ready flags and pins and drops
// the set-up's scratch: the state open_controllers expects.
void reset_controllers(ControllerSet& set) noexcept;

// The model of a pad from the product GUID DirectInput reports for it, whose first field
// packs the vendor and product IDs as pad_model does (the rest reads "PIDVID" for a HID
// device; some platforms' virtual pads keep another GUID there, with the IDs all the same).
uint32_t model_of_product(const GUID& product) noexcept;

// Reads every ready controller into the snapshot, acquiring those whose Poll fails.
void capture_states(ControllerSet& set, StateSnapshot& snapshot) noexcept;

// DirectInput callbacks, exposed for tests of the enumeration rules. Neither throws: they
// run inside the platform's frames.
// The EnumDevices context is the ControllerSet being opened.
BOOL CALLBACK on_device_enumerated(const DIDEVICEINSTANCEW* instance, LPVOID context) noexcept;
// The EnumObjects context is the window handle and is not read; the callback works on the
// set-up slot of the set whose open_controllers is running, and stops the enumeration
// when called outside one.
BOOL CALLBACK on_object_enumerated(const DIDEVICEOBJECTINSTANCEW* object, LPVOID context) noexcept;
