// The packed entry word of a compiled mapping, and the table that holds the words.
//
//   bit  0      result      the bit served to the host, rewritten by each evaluation
//   bit  1      invert      flip the evaluated result before storing it
//   bits 2-17   operand     threshold (signed 16-bit), bit number or button number
//   bits 18-19  zero
//   bits 20-27  kind        EntryKind
//   bits 28-31  controller  1 to 8; 0 marks a constant entry
#pragma once

#include <cstdint>

#include "controllers/controller_facts.h"

using MappingEntry = uint32_t;

// 3 x axis + form for the six axes (x, y, z, rx, ry, rz; forms below, above, bit), 18 for a button.
enum class EntryKind : uint8_t {
    x_below, x_above, x_bit,
    y_below, y_above, y_bit,
    z_below, z_above, z_bit,
    rx_below, rx_above, rx_bit,
    ry_below, ry_above, ry_bit,
    rz_below, rz_above, rz_bit,
    button,
};
inline constexpr int ENTRY_KIND_COUNT = 19;
static_assert(static_cast<int>(EntryKind::button) == 3 * AXIS_COUNT);
static_assert(static_cast<int>(EntryKind::button) + 1 == ENTRY_KIND_COUNT);

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

constexpr EntryKind axis_kind(int axis, AxisForm form) {
    return static_cast<EntryKind>(3 * axis + static_cast<int>(form));
}
static_assert(axis_kind(0, AxisForm::below) == EntryKind::x_below && axis_kind(5, AxisForm::bit) == EntryKind::rz_bit,
              "the axes are in the order of their kinds");

constexpr uint32_t entry_controller(MappingEntry e) { return e >> 28; }
constexpr EntryKind entry_kind(MappingEntry e) { return static_cast<EntryKind>((e >> 20) & 0xFF); }
constexpr uint32_t entry_operand(MappingEntry e) { return (e >> 2) & OPERAND_MASK; }
// The operand as a signed 16-bit number: its bits moved to the top, then back with the sign.
constexpr int32_t entry_threshold(MappingEntry e) { return static_cast<int32_t>(e << 14) >> 16; }
constexpr bool entry_inverted(MappingEntry e) { return (e & 2u) != 0; }
constexpr uint32_t entry_result(MappingEntry e) { return e & 1u; }
constexpr bool entry_is_constant(MappingEntry e) { return entry_controller(e) == 0; }

inline constexpr int MAX_ENTRIES = 160;

struct MappingTable {
    MappingEntry entries[MAX_ENTRIES];
    int32_t count = 0;  // emptied by setting the count to 0; the words are not cleared
};
