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
#include <string_view>

#include "controllers/controller_facts.h"

using MappingEntry = uint32_t;

// An axis's three forms, in the order of its kinds.
enum class AxisForm : uint8_t { below = 0, above = 1, bit = 2 };
inline constexpr int AXIS_FORM_COUNT = 3;

// The kinds in their order: each of the six axes of AXIS_NAMES in its three forms, the
// button, each slider in its three forms, then a point of view's four directions in
// POV_DIRECTIONS's order (its operand is the point of view's number, 1 to 4, as written).
// An axis's kinds are axis_kind's. ENTRY_KIND_COUNT counts the kinds of a controller
// entry; a group's word (controller 0) has one of the two after them: on when any operand
// is on, or every.
enum class EntryKind : uint8_t {
    button = AXIS_FORM_COUNT * AXIS_COUNT,
    pov_up = AXIS_FORM_COUNT * MAPPED_AXIS_COUNT + 1, pov_right, pov_down, pov_left,
    group_any, group_all,
};
inline constexpr int ENTRY_KIND_COUNT = static_cast<int>(EntryKind::group_any);
static_assert(static_cast<int>(EntryKind::pov_up) + POV_DIRECTION_COUNT == ENTRY_KIND_COUNT,
              "a kind for each point-of-view direction");

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

// The kind of an axis of the mapping language (0 to MAPPED_AXIS_COUNT - 1: the six axes,
// then the sliders, after the button) in one of its forms.
constexpr EntryKind axis_kind(int axis, AxisForm form) {
    return static_cast<EntryKind>(AXIS_FORM_COUNT * axis + (axis < AXIS_COUNT ? 0 : 1) + static_cast<int>(form));
}
// The same for the axis whose letters those are ("x", "rz", "u"); no kind (0xFF) for none.
constexpr EntryKind axis_kind(std::string_view letters, AxisForm form) {
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        if (letters == mapped_axis_letters(axis)) return axis_kind(axis, form);
    }
    return static_cast<EntryKind>(0xFF);
}

// The axis an axis kind reads (as axis_kind numbers it), -1 for any other kind.
constexpr int kind_axis(EntryKind kind) {
    const int k = static_cast<int>(kind);
    if (k < static_cast<int>(EntryKind::button)) return k / AXIS_FORM_COUNT;
    if (k > static_cast<int>(EntryKind::button) && k < static_cast<int>(EntryKind::pov_up)) {
        return (k - 1) / AXIS_FORM_COUNT;
    }
    return -1;
}
// The form of an axis kind.
constexpr AxisForm kind_form(EntryKind kind) {
    const int axis = kind_axis(kind);
    return axis < 0 ? AxisForm::below
                    : static_cast<AxisForm>(static_cast<int>(kind) - static_cast<int>(axis_kind(axis, AxisForm::below)));
}

constexpr EntryKind pov_kind(int direction) {
    return static_cast<EntryKind>(static_cast<int>(EntryKind::pov_up) + direction);
}
// The direction (an index into POV_DIRECTIONS) a point-of-view kind reads, -1 for any other kind.
constexpr int kind_pov_direction(EntryKind kind) {
    const int d = static_cast<int>(kind) - static_cast<int>(EntryKind::pov_up);
    return d >= 0 && d < POV_DIRECTION_COUNT ? d : -1;
}

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
inline constexpr int KIND_TOTAL = static_cast<int>(EntryKind::group_all) + 1;  // the groups' two kinds after the entries'
constexpr std::array<KindName, KIND_TOTAL> make_kind_names() {
    std::array<KindName, KIND_TOTAL> names{};
    constexpr const char* FORMS[AXIS_FORM_COUNT] = {"<", ">", "bit"};
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        for (int form = 0; form < AXIS_FORM_COUNT; ++form) {
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
