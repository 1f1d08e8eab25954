// What the rest of joybits knows of the controllers without DirectInput: the slots, the
// axes' names and range, the buttons, the help list's grammar and the controller set's
// failure messages. The mapping language, the check, the tools and the page read them
// here, so each is written once; controllers/axes.h adds the DirectInput facts of the axes.
#pragma once

#include <cstdint>

// Controller slots j1..j8: the controllers DirectInput enumerates first, in its order.
inline constexpr int SLOT_COUNT = 8;
// A pad's model, its USB vendor and product IDs in one word: the vendor in the low 16 bits,
// the product in the high 16, as DirectInput packs them into the first field of a
// device's product GUID. 0 stands for no model: a slot not pinned, a pad of unknown IDs.
constexpr uint32_t pad_model(uint32_t vendor, uint32_t product) {
    return (vendor & 0xFFFFu) | (product & 0xFFFFu) << 16;
}
constexpr uint32_t model_vendor(uint32_t model) { return model & 0xFFFFu; }
constexpr uint32_t model_product(uint32_t model) { return model >> 16; }
// The slot a pad of this model takes when the pads enumerated before it hold the slots
// marked held: the lowest empty slot pinned to its model, else the lowest empty slot not
// pinned (pins[i] == 0); -1 when neither is left. Pads taken this way in enumeration order
// give each pinned slot the first pad of its model that no other pinned slot took.
constexpr int32_t slot_for_model(const uint32_t (&pins)[SLOT_COUNT], const bool (&held)[SLOT_COUNT], uint32_t model) {
    int32_t unpinned = -1;
    for (int32_t i = 0; i < SLOT_COUNT; ++i) {
        if (held[i]) continue;
        if (model != 0 && pins[i] == model) return i;
        if (pins[i] == 0 && unpinned < 0) unpinned = i;
    }
    return unpinned;
}

// A pin keeps slot j<n> for one model: "j1=045E:028E", the IDs in four hex digits each.
inline constexpr int PIN_MODEL_DIGITS = 4;
inline constexpr char PIN_MARK = '=';
inline constexpr char PIN_SEPARATOR = ':';
// A model as pins and people write it: "045E:028E".
struct ModelText {
    char text[2 * PIN_MODEL_DIGITS + 2];
};
constexpr ModelText model_text(uint32_t model) {
    constexpr char digits[] = "0123456789ABCDEF";
    ModelText out{};
    for (int i = 0; i < PIN_MODEL_DIGITS; ++i) {
        const int shift = 4 * (PIN_MODEL_DIGITS - 1 - i);
        out.text[i] = digits[(model_vendor(model) >> shift) & 0xFu];
        out.text[PIN_MODEL_DIGITS + 1 + i] = digits[(model_product(model) >> shift) & 0xFu];
    }
    out.text[PIN_MODEL_DIGITS] = PIN_SEPARATOR;
    return out;
}

// The buttons of DIJOYSTATE2 (rgbButtons), j<n>b1..j<n>b128.
inline constexpr int BUTTON_COUNT = 128;

// The six axes a mapping can name, in axis order, which is the order of their kinds in
// EntryKind.
inline constexpr int AXIS_COUNT = 6;

// The range the controller set gives every axis, so that 0 is the middle.
inline constexpr int32_t AXIS_MIN = -32768;
inline constexpr int32_t AXIS_MAX = 32767;

struct AxisName {
    const char* letters;  // in the mapping language after "j<n>": "x", "rx"
    const char* help;     // the axis's part of a controller's help list
};

inline constexpr AxisName AXIS_NAMES[AXIS_COUNT] = {
    {"x", "x[<N,>N,n],"}, {"y", "y[<N,>N,n],"}, {"z", "z[<N,>N,n],"},
    {"rx", "rx[<N,>N,n],"}, {"ry", "ry[<N,>N,n],"}, {"rz", "rz[<N,>N,n],"},
};

// The two sliders (rglSlider: throttles, pedals), read in the three forms of an axis as
// "u" and "v", the names the system's joystick settings give the fifth and sixth axes. A
// controller without them reads 0. They add nothing to the help list, which hosts show
// and store as it has always been.
inline constexpr int SLIDER_COUNT = 2;
inline constexpr const char* SLIDER_LETTERS[SLIDER_COUNT] = {"u", "v"};

// Every axis a mapping reads in the three forms: the six axes, then the two sliders.
inline constexpr int MAPPED_AXIS_COUNT = AXIS_COUNT + SLIDER_COUNT;
constexpr const char* mapped_axis_letters(int axis) {
    return axis < AXIS_COUNT ? AXIS_NAMES[axis].letters : SLIDER_LETTERS[axis - AXIS_COUNT];
}

// Points of view (rgdwPOV: a D-pad, a hat) j<n>h1..h4, each read as four directions, in
// the order of their kinds: up, right, down, left. A controller with fewer reads the
// missing ones as centred. Like the sliders, they add nothing to the help list.
inline constexpr int POV_COUNT = 4;
inline constexpr char POV_DIRECTIONS[] = "urdl";
inline constexpr int POV_DIRECTION_COUNT = 4;
static_assert(sizeof(POV_DIRECTIONS) == POV_DIRECTION_COUNT + 1);

// The help list: HELP_HEAD, then for each ready slot "j<n>:" with its axes' fragments and
// HELP_BUTTONS; every part starts after a '/' that opens a comment, so the list is a
// comment in the mapping language.
inline constexpr const char HELP_HEAD[] = "//help//a;p;";
inline constexpr const char HELP_BUTTONS[] = "b[n];";
// A ready slot's head in the help list: "j1:" for slot index 0. No other part of the list
// holds a 'j', so a head found after HELP_HEAD is always one.
struct HelpSlotHead {
    char text[4];
};
constexpr HelpSlotHead help_slot_head(int32_t index) {
    return {{'j', static_cast<char>('1' + index), ':', '\0'}};
}

// The controller set's failure messages, each the whole answer of a configure. Spelt as
// hosts and stored mapping texts have them.
inline constexpr const char INIT_ERROR_MESSAGE[] = "//DirectInput init error!//";
inline constexpr const char ENUMERATION_ERROR_MESSAGE[] = "//Enumeration fail!//";
