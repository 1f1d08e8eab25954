// The packed entry word of a compiled mapping, and the table that holds the words.
//
//   bit  0      result      the bit served to the host, rewritten by each evaluation
//   bit  1      invert      flip the evaluated result before storing it
//   bits 2-17   operand     threshold (signed 16-bit), bit number or button number
//   bits 18-19  zero
//   bits 20-27  kind        EntryKind
//   bits 28-31  controller  1 to 8; 0 marks a constant entry or a group
//
// A group's word has controller 0, one of the two group kinds, and as its operand where
// its operands stand beside the table: the first one's index times 8 plus the count less
// one. Each operand is a controller entry's word of its own, with its own result bit.
#pragma once

#include <array>
#include <cstdint>

#include "controllers/controller_facts.h"

using MappingEntry = uint32_t;

// 3 x axis + form for the six axes (x, y, z, rx, ry, rz; forms below, above, bit), 18 for a
// button; then 19 + 3 x slider + form for the sliders u and v, and 25 + direction for a
// point of view's up, right, down and left (its operand is the point of view's number,
// 1 to 4, as written). ENTRY_KIND_COUNT counts the kinds of a controller entry; a group's
// word (controller 0) has one of the two after them: on when any operand is on, or every.
enum class EntryKind : uint8_t {
    x_below, x_above, x_bit,
    y_below, y_above, y_bit,
    z_below, z_above, z_bit,
    rx_below, rx_above, rx_bit,
    ry_below, ry_above, ry_bit,
    rz_below, rz_above, rz_bit,
    button,
    u_below, u_above, u_bit,
    v_below, v_above, v_bit,
    pov_up, pov_right, pov_down, pov_left,
    group_any, group_all,
};
inline constexpr int ENTRY_KIND_COUNT = 29;
static_assert(static_cast<int>(EntryKind::button) == 3 * AXIS_COUNT);
static_assert(static_cast<int>(EntryKind::v_bit) + 1 == static_cast<int>(EntryKind::pov_up));
static_assert(static_cast<int>(EntryKind::pov_up) + POV_DIRECTION_COUNT == ENTRY_KIND_COUNT);

enum class AxisForm : uint8_t { below = 0, above = 1, bit = 2 };

inline constexpr MappingEntry CONSTANT_0 = 0;
inline constexpr MappingEntry CONSTANT_1 = 1;

inline constexpr uint32_t OPERAND_MASK = 0xFFFF;
inline constexpr uint32_t BIT_NUMBER_MASK = 0xF;
inline constexpr uint32_t BUTTON_NUMBER_MASK = 0x7F;

// The word the compiler writes for a controller entry: result bit 0.
constexpr MappingEntry make_entry(uint32_t controller, EntryKind kind, uint32_t operand, bool invert) {
    return ((((controller & 0xF) << 26) | (static_cast<uint32_t>(kind) << 18) | (operand & OPERAND_MASK)) << 2) |
           (invert ? 2u : 0u);
}

inline constexpr uint32_t POV_NUMBER_MIN = 1;
inline constexpr uint32_t POV_NUMBER_MAX = POV_COUNT;

// The first of each axis's three kinds (below, above, bit), in axis order (AXIS_NAMES).
inline constexpr EntryKind AXIS_FIRST_KINDS[] = {
    EntryKind::x_below,  EntryKind::y_below,  EntryKind::z_below, EntryKind::rx_below,
    EntryKind::ry_below, EntryKind::rz_below, EntryKind::u_below, EntryKind::v_below,
};
static_assert(sizeof AXIS_FIRST_KINDS / sizeof AXIS_FIRST_KINDS[0] == MAPPED_AXIS_COUNT, "every axis has its kinds");

// The kind of an axis of the mapping language (0 to MAPPED_AXIS_COUNT - 1: the six axes,
// then the sliders) in one of its forms.
constexpr EntryKind axis_kind(int axis, AxisForm form) {
    return static_cast<EntryKind>(static_cast<int>(AXIS_FIRST_KINDS[axis]) + static_cast<int>(form));
}
static_assert(axis_kind(0, AxisForm::below) == EntryKind::x_below && axis_kind(5, AxisForm::bit) == EntryKind::rz_bit,
              "the axes are in the order of their kinds");
static_assert(axis_kind(AXIS_COUNT, AxisForm::below) == EntryKind::u_below &&
                  axis_kind(AXIS_COUNT + SLIDER_COUNT - 1, AxisForm::bit) == EntryKind::v_bit,
              "the sliders follow the button in the order of their kinds");

// The axis an axis kind reads (as axis_kind numbers it), -1 for any other kind.
constexpr int kind_axis(EntryKind kind) {
    const int k = static_cast<int>(kind);
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        const int first = static_cast<int>(AXIS_FIRST_KINDS[axis]);
        if (k >= first && k <= first + static_cast<int>(AxisForm::bit)) return axis;
    }
    return -1;
}
// The form of an axis kind.
constexpr AxisForm kind_form(EntryKind kind) {
    const int axis = kind_axis(kind);
    return axis < 0 ? AxisForm::below
                    : static_cast<AxisForm>(static_cast<int>(kind) - static_cast<int>(AXIS_FIRST_KINDS[axis]));
}
static_assert(kind_axis(EntryKind::v_above) == AXIS_COUNT + 1 && kind_form(EntryKind::v_above) == AxisForm::above);
static_assert(kind_axis(EntryKind::button) == -1 && kind_axis(EntryKind::pov_up) == -1);

constexpr EntryKind pov_kind(int direction) {
    return static_cast<EntryKind>(static_cast<int>(EntryKind::pov_up) + direction);
}
// The direction (an index into POV_DIRECTIONS) a point-of-view kind reads, -1 for any other kind.
constexpr int kind_pov_direction(EntryKind kind) {
    const int d = static_cast<int>(kind) - static_cast<int>(EntryKind::pov_up);
    return d >= 0 && d < POV_DIRECTION_COUNT ? d : -1;
}
static_assert(kind_pov_direction(pov_kind(3)) == 3 && kind_pov_direction(EntryKind::v_bit) == -1);

// What a kind reads: an axis in one of its forms, a button, a point of view's direction,
// or (a group) its operands.
enum class KindFamily : uint8_t { axis, button, pov, group };
// Each kind as people are told of it: its family, the control it reads ("x", "button",
// "point of view"; "any of" or "all of" for a group) and how ("<", ">", "bit", a
// direction's name; "" for a button or a group).
struct KindName {
    KindFamily family;
    const char* control;
    const char* reading;
};
inline constexpr int KIND_TOTAL = ENTRY_KIND_COUNT + 2;  // the groups' two kinds after the entries'
constexpr std::array<KindName, KIND_TOTAL> make_kind_names() {
    std::array<KindName, KIND_TOTAL> names{};
    constexpr const char* FORMS[] = {"<", ">", "bit"};
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        for (int form = 0; form < 3; ++form) {
            names[static_cast<size_t>(axis_kind(axis, static_cast<AxisForm>(form)))] = {
                KindFamily::axis, mapped_axis_letters(axis), FORMS[form]};
        }
    }
    names[static_cast<size_t>(EntryKind::button)] = {KindFamily::button, "button", ""};
    for (int d = 0; d < POV_DIRECTION_COUNT; ++d) {
        names[static_cast<size_t>(pov_kind(d))] = {KindFamily::pov, "point of view", POV_DIRECTIONS[d].name};
    }
    names[static_cast<size_t>(EntryKind::group_any)] = {KindFamily::group, "any of", ""};
    names[static_cast<size_t>(EntryKind::group_all)] = {KindFamily::group, "all of", ""};
    return names;
}
inline constexpr std::array<KindName, KIND_TOTAL> KIND_NAMES = make_kind_names();
constexpr bool every_kind_named() {
    for (const KindName& name : KIND_NAMES) {
        if (name.control == nullptr) return false;
    }
    return true;
}
static_assert(every_kind_named(), "a kind without a name: add it to make_kind_names");
static_assert(static_cast<int>(EntryKind::group_all) + 1 == KIND_TOTAL);
// The name of a kind; null for a value of the kind byte that is no kind.
constexpr const KindName* kind_name(EntryKind kind) {
    return static_cast<int>(kind) < KIND_TOTAL ? &KIND_NAMES[static_cast<size_t>(kind)] : nullptr;
}

constexpr uint32_t entry_controller(MappingEntry e) { return e >> 28; }
constexpr EntryKind entry_kind(MappingEntry e) { return static_cast<EntryKind>((e >> 20) & 0xFF); }
constexpr uint32_t entry_operand(MappingEntry e) { return (e >> 2) & OPERAND_MASK; }
// The operand as a signed 16-bit number: its bits moved to the top, then back with the sign.
constexpr int32_t entry_threshold(MappingEntry e) { return static_cast<int32_t>(e << 14) >> 16; }
// The button a button word reads, 1 to BUTTON_COUNT: its state byte is (operand - 1) & 127,
// so operand 0 reads the last one.
constexpr int32_t entry_button(MappingEntry e) {
    return static_cast<int32_t>((entry_operand(e) - 1u) & BUTTON_NUMBER_MASK) + 1;
}
static_assert(BUTTON_NUMBER_MASK + 1 == BUTTON_COUNT);
constexpr bool entry_inverted(MappingEntry e) { return (e & 2u) != 0; }
constexpr uint32_t entry_result(MappingEntry e) { return e & 1u; }
// Controller 0 and one of the two group kinds: the top 12 bits are those two values alone.
constexpr bool entry_is_group(MappingEntry e) {
    return (e >> 20) - static_cast<uint32_t>(EntryKind::group_any) <= 1u;
}
static_assert(static_cast<int>(EntryKind::group_all) == static_cast<int>(EntryKind::group_any) + 1);
constexpr bool entry_is_constant(MappingEntry e) { return entry_controller(e) == 0 && !entry_is_group(e); }

inline constexpr int MAX_ENTRIES = 160;
inline constexpr int MAX_GROUP_OPERANDS = 8;
inline constexpr int MAX_OPERANDS = MAX_ENTRIES * MAX_GROUP_OPERANDS;

// A group's word: its operands are operands[first .. first + count) beside the table.
constexpr MappingEntry make_group_entry(bool all, uint32_t first, uint32_t count, bool invert) {
    return make_entry(0, all ? EntryKind::group_all : EntryKind::group_any,
                      (first * MAX_GROUP_OPERANDS) | ((count - 1) & (MAX_GROUP_OPERANDS - 1)), invert);
}
constexpr uint32_t group_first(MappingEntry e) { return entry_operand(e) / MAX_GROUP_OPERANDS; }
constexpr uint32_t group_count(MappingEntry e) { return (entry_operand(e) & (MAX_GROUP_OPERANDS - 1)) + 1; }
static_assert(MAX_OPERANDS * MAX_GROUP_OPERANDS <= OPERAND_MASK + 1, "every group's place fits its operand");
static_assert(group_first(make_group_entry(true, MAX_OPERANDS - 1, 1, false)) == MAX_OPERANDS - 1 &&
              group_count(make_group_entry(false, 3, MAX_GROUP_OPERANDS, true)) == MAX_GROUP_OPERANDS);

struct MappingTable {
    MappingEntry entries[MAX_ENTRIES];
    int32_t count = 0;  // emptied by setting the count to 0; the words are not cleared
    // The groups' operands, in the order of their groups; a group's word says which.
    MappingEntry operands[MAX_OPERANDS];
    int32_t operand_count = 0;
};
