// What the rest of joybits knows of the controllers without DirectInput: the slots, the
// axes (one table: names, help fragments, and the DirectInput facts that only
// controllers/axes.h expands) and their range, the buttons, the points of view's
// directions, the help list's grammar and the controller set's failure messages. The
// mapping language, the check, the tools and the page read them here, so each is written
// once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Controller slots j1..j8: the controllers DirectInput enumerates first, in its order.
inline constexpr int SLOT_COUNT = 8;
// XInput users x1..x4: the pads XInput numbers 0..3 by the player light each shows. An entry
// word names them as controllers SLOT_COUNT + 1 .. CONTROLLER_COUNT, and a poll's state
// snapshot holds their records after the slots', in the slots' layout.
inline constexpr int XINPUT_USER_COUNT = 4;
inline constexpr int CONTROLLER_COUNT = SLOT_COUNT + XINPUT_USER_COUNT;
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

// The range the controller set gives every axis, so that 0 is the middle.
inline constexpr int32_t AXIS_MIN = -32768;
inline constexpr int32_t AXIS_MAX = 32767;

// The axes a mapping can name, one row each, in axis order, which numbers their kinds in
// EntryKind: the six axes, then the two sliders (rglSlider: throttles, pedals), "u" and
// "v" as the system's joystick settings call the fifth and sixth axes.
// Each row: its letters after "j<n>", what people call it, its part of a controller's help
// list (none for the sliders: hosts show and store the list in the form they know), and,
// for controllers/axes.h alone, its DirectInput object type and its DIJOYSTATE2 field. A
// controller without an axis reads it as 0.
#define JOYBITS_AXIS_TABLE(ROW)                                    \
    ROW("x", "axis", "x[<N,>N,n],", GUID_XAxis, lX)                \
    ROW("y", "axis", "y[<N,>N,n],", GUID_YAxis, lY)                \
    ROW("z", "axis", "z[<N,>N,n],", GUID_ZAxis, lZ)                \
    ROW("rx", "axis", "rx[<N,>N,n],", GUID_RxAxis, lRx)            \
    ROW("ry", "axis", "ry[<N,>N,n],", GUID_RyAxis, lRy)            \
    ROW("rz", "axis", "rz[<N,>N,n],", GUID_RzAxis, lRz)            \
    ROW("u", "slider", nullptr, GUID_Slider, rglSlider[0])         \
    ROW("v", "slider", nullptr, GUID_Slider, rglSlider[1])

struct AxisName {
    const char* letters;  // in the mapping language after "j<n>": "x", "rx"
    const char* noun;     // "axis" or "slider"
    const char* help;     // the axis's part of a controller's help list, or null
};
#define JOYBITS_AXIS_NAME(letters, noun, help, type, field) {letters, noun, help},
inline constexpr AxisName AXIS_NAMES[] = {JOYBITS_AXIS_TABLE(JOYBITS_AXIS_NAME)};
#undef JOYBITS_AXIS_NAME

// Every axis a mapping reads in the three forms: the six axes, then the sliders.
inline constexpr int MAPPED_AXIS_COUNT = static_cast<int>(sizeof AXIS_NAMES / sizeof AXIS_NAMES[0]);
constexpr int count_axes_called(const char* noun) {
    int n = 0;
    for (const AxisName& axis : AXIS_NAMES) n += std::string_view(axis.noun) == noun ? 1 : 0;
    return n;
}
inline constexpr int AXIS_COUNT = count_axes_called("axis");
inline constexpr int SLIDER_COUNT = count_axes_called("slider");
static_assert(std::string_view(AXIS_NAMES[AXIS_COUNT - 1].noun) == "axis" &&
                  std::string_view(AXIS_NAMES[AXIS_COUNT].noun) == "slider",
              "the axes come first, then the sliders");
constexpr const char* mapped_axis_letters(int axis) { return AXIS_NAMES[axis].letters; }

// The letter that opens a controller token and names a controller: j1 is slot index 0.
inline constexpr char CONTROLLER_LETTER = 'j';
// The letter of an XInput user's token: x1 is user 0, controller SLOT_COUNT + 1.
inline constexpr char XINPUT_LETTER = 'x';
constexpr bool is_xinput_controller(uint32_t number) { return number > SLOT_COUNT && number <= CONTROLLER_COUNT; }
// A controller as tokens and messages name it: "j1" for number 1, "x1" for SLOT_COUNT + 1.
inline std::string controller_name(uint32_t number) {
    return is_xinput_controller(number) ? XINPUT_LETTER + std::to_string(number - SLOT_COUNT)
                                        : CONTROLLER_LETTER + std::to_string(number);
}
// The buttons' and the points of view's letters in a token: j1b3, j1h1u.
inline constexpr char BUTTON_LETTER = 'b';
inline constexpr char POV_LETTER = 'h';

// Points of view (rgdwPOV: a D-pad, a hat) j<n>h1..h4, each read as four directions, in
// the order of their kinds. A controller with fewer reads the missing ones as centred. Like
// the sliders, they add nothing to the help list. A point of view reads an angle in
// hundredths of a degree clockwise from up; each direction is on over an arc of 135
// degrees from its start, so that a diagonal turns on both of its neighbours.
inline constexpr int POV_COUNT = 4;
struct PovDirection {
    char letter;          // after "j<n>h<m>"
    const char* name;
    uint32_t arc_start;   // where its arc starts, in hundredths of a degree
};
inline constexpr PovDirection POV_DIRECTIONS[] = {
    {'u', "up", 29250}, {'r', "right", 2250}, {'d', "down", 11250}, {'l', "left", 20250},
};
inline constexpr int POV_DIRECTION_COUNT = static_cast<int>(sizeof POV_DIRECTIONS / sizeof POV_DIRECTIONS[0]);

// An XInput pad's buttons in the order of the mapping's x<n>b1..b11, by the names people
// know them by; only controllers/controllers.h expands the second column, the button's bit
// in XInput's state (XINPUT_BUTTON_BITS). The D-pad is the pad's point of view h1; its other
// controls (sliders, buttons past these, points of view past h1) read at rest.
#define JOYBITS_XINPUT_BUTTON_TABLE(ROW)                                     \
    ROW("A", XINPUT_GAMEPAD_A) ROW("B", XINPUT_GAMEPAD_B) ROW("X", XINPUT_GAMEPAD_X) \
    ROW("Y", XINPUT_GAMEPAD_Y) ROW("LB", XINPUT_GAMEPAD_LEFT_SHOULDER)               \
    ROW("RB", XINPUT_GAMEPAD_RIGHT_SHOULDER) ROW("Back", XINPUT_GAMEPAD_BACK)       \
    ROW("Start", XINPUT_GAMEPAD_START) ROW("LS", XINPUT_GAMEPAD_LEFT_THUMB)         \
    ROW("RS", XINPUT_GAMEPAD_RIGHT_THUMB) ROW("Guide", XINPUT_GUIDE_BUTTON)
#define JOYBITS_XINPUT_BUTTON_NAME(name, bit) name,
inline constexpr const char* XINPUT_BUTTON_NAMES[] = {JOYBITS_XINPUT_BUTTON_TABLE(JOYBITS_XINPUT_BUTTON_NAME)};
#undef JOYBITS_XINPUT_BUTTON_NAME
inline constexpr int XINPUT_BUTTON_COUNT = static_cast<int>(sizeof XINPUT_BUTTON_NAMES / sizeof XINPUT_BUTTON_NAMES[0]);
// An XInput pad's axes are the AXIS_COUNT axes: the sticks x, y and rx, ry (y and ry down
// positive, as on a DirectInput pad), the triggers z (left) and rz (right), each 0 ..
// AXIS_MAX over its travel; it has no slider, and one point of view.
inline constexpr int XINPUT_POV_COUNT = 1;

// Lists of the language's letters in the words of a message, made from the tables above.
// The items joined by ", ", the last two by last_joint: "x, y or z" (" or "), "u, v" (", ").
inline std::string joined(const std::vector<std::string>& items, const std::string& last_joint) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == items.size() ? last_joint : ", ") + items[i];
    }
    return text;
}
// The letters of the axes that people call noun ("axis", "slider"), in axis order.
inline std::vector<std::string> axis_letters(std::string_view noun) {
    std::vector<std::string> letters;
    for (const AxisName& axis : AXIS_NAMES) {
        if (axis.noun == noun) letters.emplace_back(axis.letters);
    }
    return letters;
}
// What may follow a controller's number: "b", each axis's first letter once, "h".
inline std::vector<std::string> letters_after_number() {
    std::vector<std::string> letters{std::string(1, BUTTON_LETTER)};
    for (const AxisName& axis : AXIS_NAMES) {
        const std::string first(1, axis.letters[0]);
        bool listed = false;
        for (const std::string& letter : letters) listed = listed || letter == first;
        if (!listed) letters.push_back(first);
    }
    letters.emplace_back(1, POV_LETTER);
    return letters;
}
// What may follow prefix, the first of an axis's two letters: "x", "y", "z" after 'r'.
inline std::vector<std::string> letters_after(char prefix) {
    std::vector<std::string> letters;
    for (const AxisName& axis : AXIS_NAMES) {
        if (axis.letters[0] == prefix && axis.letters[1] != '\0') letters.emplace_back(axis.letters + 1);
    }
    return letters;
}

// The help list: HELP_HEAD, then for each ready slot "j<n>:" with its axes' fragments and
// HELP_BUTTONS; every part starts after a '/' that opens a comment, so the list is a
// comment in the mapping language.
inline constexpr const char HELP_HEAD[] = "//help//a;p;";
inline constexpr const char HELP_BUTTONS[] = "b[n];";
// A ready slot's head in the help list: "j1:" for slot index 0. No other part of the list
// holds CONTROLLER_LETTER, so a head found after HELP_HEAD is always one.
struct HelpSlotHead {
    char text[4];
};
constexpr HelpSlotHead help_slot_head(int32_t index) {
    return {{CONTROLLER_LETTER, static_cast<char>('1' + index), ':', '\0'}};
}

// The controller set's failure messages, each the whole answer of a configure. Spelt as
// hosts and stored mapping texts have them.
inline constexpr const char INIT_ERROR_MESSAGE[] = "//DirectInput init error!//";
inline constexpr const char ENUMERATION_ERROR_MESSAGE[] = "//Enumeration fail!//";
