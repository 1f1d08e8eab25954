#include "mapping/evaluation.h"

#include "controllers/axes.h"
#include "controllers/controller_facts.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace {

// How an entry of each kind reads its controller's state record.
//
// Every entry goes through the same arithmetic, whatever its kind: its result is one
// signed 32-bit comparison A < B, with A made from a value of the state record and B
// from the threshold, flipped for "above"; the rule of its kind says which value and how:
//
//   kind      value                          A                    B                result
//   below     the axis                       value                threshold        A < B
//   above     the axis                       value                threshold + 1    not A < B
//   bit       the axis                       value << (31 - n)    0                A < 0: bit n
//   button    button byte (operand-1) & 127  value << 24          0                A < 0: bit 7
//
// where n is operand & 31. All of it is exact in 32 bits for every value and operand
// (the threshold is 16-bit, so threshold + 1 cannot overflow), so the 32-bit build needs
// no 64-bit arithmetic. A table of entries mixes kinds, and the outcome of a comparison
// changes from entry to entry and from poll to poll, so a branch on either would often be
// mispredicted, and a switch over the forms costs more instructions than this. The only
// branch left skips constants and controllers that were not read in this poll.
struct KindRule {
    uint32_t field;           // byte offset in DIJOYSTATE2 of the value
    uint32_t index_mask;      // 127 for a button: the value is at field + ((operand - 1) & 127)
    uint32_t shift_base;      // A = value << ((operand & bit_mask) ^ shift_base), for an axis
    uint32_t bit_mask;        //   bit 31 - n with 31 and 31, for a button 24 with 24 and 0
    int32_t threshold_mask;   // -1: B is made with the threshold; 0: B is 0
    int32_t threshold_bias;   // 1 for "above"
    uint32_t flip;            // 1 for "above": the result is the comparison's opposite
    uint32_t writes;          // 1; 0 for a kind the compiler never writes: the word is left alone
};

constexpr uint32_t BUTTONS_OFFSET = offsetof(DIJOYSTATE2, rgbButtons);
static_assert(BUTTONS_OFFSET + BUTTON_COUNT + sizeof(int32_t) <= sizeof(DIJOYSTATE2),
              "a value read at any button byte stays inside the record");

// One rule per value of the kind byte, so that any word finds one.
constexpr std::array<KindRule, 256> make_rules() {
    std::array<KindRule, 256> rules{};
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        const uint32_t field = AXES[axis].offset;
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::below))] = {field, 0, 0, 0, -1, 0, 0, 1};
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::above))] = {field, 0, 0, 0, -1, 1, 1, 1};
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::bit))] = {field, 0, 31, 31, 0, 0, 0, 1};
    }
    rules[static_cast<size_t>(EntryKind::button)] = {BUTTONS_OFFSET, BUTTON_NUMBER_MASK, 24, 0, 0, 0, 0, 1};
    return rules;
}

constexpr std::array<KindRule, 256> KIND_RULES = make_rules();
static_assert(KIND_RULES[static_cast<size_t>(EntryKind::x_above)].flip == 1);
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
    for (MappingEntry *entry = table.entries, *end = table.entries + (count > 0 ? count : 0); entry != end; ++entry) {
        const MappingEntry e = *entry;
        const unsigned char* record = records[entry_controller(e)];
        if (record == nullptr) continue;
        const KindRule& rule = KIND_RULES[static_cast<size_t>(entry_kind(e))];
        // The operand sign-extended: its low bits, all that the button index and the bit
        // number read, are the operand's own.
        const int32_t threshold = entry_threshold(e);
        const auto operand = static_cast<uint32_t>(threshold);
        uint32_t value;
        std::memcpy(&value, record + rule.field + ((operand - 1u) & rule.index_mask), sizeof value);
        const auto a = static_cast<int32_t>(value << ((operand & rule.bit_mask) ^ rule.shift_base));
        const int32_t b = (threshold & rule.threshold_mask) + rule.threshold_bias;
        // Bit 0 of the change: the result (the comparison, flipped for "above" and for an
        // inverted entry) differs from the bit the word holds.
        const uint32_t change = (static_cast<uint32_t>(a < b) ^ rule.flip ^ (e >> 1) ^ e) & rule.writes;
        *entry = e ^ change;
    }
    return table.count;
}
