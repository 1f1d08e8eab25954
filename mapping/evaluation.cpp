#include "mapping/evaluation.h"

#include "controllers/axes.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace {

// How an entry of each kind reads its controller's state record.
//
// Every entry goes through the same arithmetic, whatever its kind: its result is one bit
// of a number X made from a value of the state record, and the rule of its kind says
// which value, how X is made and which bit:
//
//   kind      value                          X                    bit of X
//   below     the axis                       value - threshold    63 (the sign)
//   above     the axis                       threshold - value    63
//   bit       the axis                       value                operand & 31
//   button    button byte (operand-1) & 127  value                7 (pressed)
//
// A table of entries mixes kinds, and the outcome of a comparison changes from entry to
// entry and from poll to poll, so a branch on either would often be mispredicted, and
// a switch over the forms costs more instructions than this. The only branch left skips
// constants and controllers that were not read in this poll.
struct KindRule {
    int64_t uses_threshold;  // -1: X is made with the threshold; 0: X is the value
    int64_t sign;            // 1, or -1 for "above": X = sign * (value - threshold)
    uint32_t field;          // byte offset in DIJOYSTATE2 of the value
    uint32_t index_mask;     // 127 for a button: the value is at field + ((operand - 1) & 127)
    uint32_t bit_mask;       // 31 for an axis bit: the bit is operand & 31 ...
    uint32_t bit_base;       // ... plus this: 63 for a comparison, 7 for a button
    uint32_t writes;         // 0 for a kind the compiler never writes: the word is left alone
};

constexpr uint32_t BUTTONS_OFFSET = offsetof(DIJOYSTATE2, rgbButtons);
static_assert(BUTTONS_OFFSET + 128 + sizeof(int32_t) <= sizeof(DIJOYSTATE2),
              "a value read at any button byte stays inside the record");

// One rule per value of the kind byte, so that any word finds one.
constexpr std::array<KindRule, 256> make_rules() {
    std::array<KindRule, 256> rules{};
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        const uint32_t field = AXES[axis].offset;
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::below))] = {-1, 1, field, 0, 0, 63, 1};
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::above))] = {-1, -1, field, 0, 0, 63, 1};
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::bit))] = {0, 1, field, 0, 31, 0, 1};
    }
    rules[static_cast<size_t>(EntryKind::button)] = {0, 1, BUTTONS_OFFSET, BUTTON_NUMBER_MASK, 0, 7, 1};
    return rules;
}

constexpr std::array<KindRule, 256> KIND_RULES = make_rules();
static_assert(KIND_RULES[static_cast<size_t>(EntryKind::x_below)].sign == 1);
static_assert(KIND_RULES[static_cast<size_t>(EntryKind::ry_above)].field == offsetof(DIJOYSTATE2, lRy));
static_assert(KIND_RULES[static_cast<size_t>(EntryKind::rz_bit)].bit_mask == 31);
static_assert(KIND_RULES[ENTRY_KIND_COUNT].writes == 0, "every kind after the button is unknown");

}  // namespace

int32_t evaluate_entries(MappingTable& table, const StateSnapshot& snapshot) noexcept {
    // The state record of each controller number that was read in this poll. Number 0
    // (constants), slots not read and numbers beyond the last slot, which the compiler
    // never writes, have none, and their words keep their bits.
    const unsigned char* records[16] = {};
    for (int32_t slot = 0; slot < SLOT_COUNT; ++slot) {
        if (snapshot.fresh[slot]) records[slot + 1] = reinterpret_cast<const unsigned char*>(&snapshot.state[slot]);
    }
    const int32_t count = table.count < MAX_ENTRIES ? table.count : MAX_ENTRIES;
    for (int32_t i = 0; i < count; ++i) {
        const MappingEntry e = table.entries[i];
        const unsigned char* record = records[entry_controller(e)];
        if (record == nullptr) continue;
        const KindRule& rule = KIND_RULES[static_cast<size_t>(entry_kind(e))];
        const uint32_t operand = entry_operand(e);
        int32_t value;
        std::memcpy(&value, record + rule.field + ((operand - 1u) & rule.index_mask), sizeof value);
        const int64_t x = rule.sign * (value - (entry_threshold(e) & rule.uses_threshold));
        const uint32_t r = static_cast<uint32_t>(
            ((static_cast<uint64_t>(x) >> ((operand & rule.bit_mask) + rule.bit_base)) ^ (e >> 1)) & 1u);
        table.entries[i] = e ^ ((e ^ r) & rule.writes);
    }
    return table.count;
}
