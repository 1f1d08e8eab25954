#include "mapping/evaluation.h"

#include "controllers/axes.h"
#include "controllers/controller_facts.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

// How an entry of each kind reads its controller's state record, worked out once per word
// by decode_entries. Every kind but a point of view's direction goes through the same
// arithmetic: its result is one signed 32-bit comparison A < B, with A made from a value
// of the state record and B from the threshold, flipped for "above"; the rule of its kind
// says which value and how:
//
//   kind      value                          A                    B                result
//   below     the axis                       value                threshold        A < B
//   above     the axis                       value                threshold + 1    not A < B
//   bit       the axis                       value << (31 - n)    0                A < 0: bit n
//   button    button byte (operand-1) & 127  value << 24          0                A < 0: bit 7
//
// where n is operand & 31. The sliders are axes here. All of it is exact in 32 bits for
// every value and operand (the threshold is 16-bit, so threshold + 1 cannot overflow), so
// the 32-bit build needs no 64-bit arithmetic, and the poll's loop takes no branch on a
// comparison's outcome, which changes from entry to entry and from poll to poll.
struct KindRule {
    uint32_t field = 0;           // byte offset in DIJOYSTATE2 of the value
    uint32_t index_mask = 0;      // 127 for a button: the value is at field + ((operand - 1) & 127)
    uint32_t shift_base = 0;      // A = value << ((operand & bit_mask) ^ shift_base), for an axis
    uint32_t bit_mask = 0;        //   bit 31 - n with 31 and 31, for a button 24 with 24 and 0
    int32_t threshold_mask = 0;   // -1: B is made with the threshold; 0: B is 0
    int32_t threshold_bias = 0;   // 1 for "above"
    uint32_t flip = 0;            // 1 for "above": the result is the comparison's opposite
    uint32_t writes = 0;          // 1; 0 for a kind the compiler never writes: the word is left alone
    uint32_t pov_start = 0;       // for a point of view's direction: where its arc starts; 0 otherwise
};

constexpr uint32_t BUTTONS_OFFSET = offsetof(DIJOYSTATE2, rgbButtons);
static_assert(BUTTONS_OFFSET + BUTTON_COUNT + sizeof(int32_t) <= sizeof(DIJOYSTATE2),
              "a value read at any button byte stays inside the record");

// A point of view reads an angle in hundredths of a degree clockwise from up, or centred:
// 36000 and more, or low 16 bits 0xFFFF (which no angle below 36000 has, so the first test
// covers both). Each direction is on over 135 degrees from where its arc starts
// (POV_DIRECTIONS), so that a diagonal turns on both of its neighbours.
constexpr uint32_t POV_TURN = 36000;
constexpr uint32_t POV_ARC = 13500;
constexpr uint32_t POVS_OFFSET = offsetof(DIJOYSTATE2, rgdwPOV);

// Whether the direction whose arc starts at start is on for that value.
constexpr uint32_t pov_on(uint32_t value, uint32_t start) {
    if (value >= POV_TURN) return 0;
    const uint32_t past_start = value >= start ? value - start : value + POV_TURN - start;
    return past_start < POV_ARC ? 1 : 0;
}
static_assert(pov_on(0, 29250) == 1 && pov_on(6749, 29250) == 1 && pov_on(6750, 29250) == 0 &&
              pov_on(29249, 29250) == 0 && pov_on(35999, 29250) == 1 && pov_on(0xFFFF, 29250) == 0);

// One rule per value of the kind byte, so that any word finds one.
constexpr std::array<KindRule, 256> make_rules() {
    std::array<KindRule, 256> rules{};
    for (int axis = 0; axis < MAPPED_AXIS_COUNT; ++axis) {
        const uint32_t field = AXES[axis].offset;
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::below))] = {
            .field = field, .threshold_mask = -1, .writes = 1};
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::above))] = {
            .field = field, .threshold_mask = -1, .threshold_bias = 1, .flip = 1, .writes = 1};
        rules[static_cast<size_t>(axis_kind(axis, AxisForm::bit))] = {
            .field = field, .shift_base = 31, .bit_mask = 31, .writes = 1};
    }
    rules[static_cast<size_t>(EntryKind::button)] = {
        .field = BUTTONS_OFFSET, .index_mask = BUTTON_NUMBER_MASK, .shift_base = 24, .writes = 1};
    for (int d = 0; d < POV_DIRECTION_COUNT; ++d) {
        rules[static_cast<size_t>(pov_kind(d))] = {
            .field = POVS_OFFSET, .writes = 1, .pov_start = POV_DIRECTIONS[d].arc_start};
    }
    return rules;
}

constexpr std::array<KindRule, 256> KIND_RULES = make_rules();
static_assert(KIND_RULES[static_cast<size_t>(axis_kind("x", AxisForm::above))].flip == 1);
static_assert(KIND_RULES[static_cast<size_t>(axis_kind("ry", AxisForm::above))].field == offsetof(DIJOYSTATE2, lRy));
static_assert(KIND_RULES[static_cast<size_t>(axis_kind("rz", AxisForm::bit))].bit_mask == 31);
static_assert(KIND_RULES[static_cast<size_t>(axis_kind("v", AxisForm::below))].field == offsetof(DIJOYSTATE2, rglSlider) + 4);
static_assert(KIND_RULES[static_cast<size_t>(EntryKind::pov_left)].pov_start == 20250);
static_assert(KIND_RULES[ENTRY_KIND_COUNT].writes == 0, "every kind after the last is unknown");

// A group's bit from its operands' bits: any or every one on, flipped by its '!'.
inline MappingEntry combined(MappingEntry group, const MappingEntry* operands, uint32_t count, bool all) noexcept {
    uint32_t any = 0;
    uint32_t every = 1;
    for (const MappingEntry* w = operands; w != operands + count; ++w) {
        any |= *w;
        every &= *w;
    }
    return group ^ (((all ? every : any) ^ (group >> 1) ^ group) & 1u);
}

// Whether group word e's operands all stand among the table's.
bool operands_within(const MappingTable& table, MappingEntry e) {
    const int32_t operands = table.operand_count < MAX_OPERANDS ? table.operand_count : MAX_OPERANDS;
    return static_cast<int32_t>(group_first(e) + group_count(e)) <= operands;
}

// The records of words[0 .. count) (the table's entries or its operands) that read slot,
// appended to decoded's.
void decode_words(const MappingEntry* words, int32_t count, uint32_t slot, DecodedTable& decoded) noexcept {
    for (int32_t i = 0; i < count; ++i) {
        const MappingEntry e = words[i];
        const KindRule& rule = KIND_RULES[static_cast<size_t>(entry_kind(e))];
        if (entry_controller(e) != slot + 1 || rule.writes == 0) continue;
        const uint32_t record = slot * static_cast<uint32_t>(sizeof(DIJOYSTATE2));
        const int32_t threshold = entry_threshold(e);
        const auto operand = static_cast<uint32_t>(threshold);
        DecodedEntry& d = decoded.entries[decoded.count++];
        d.index = static_cast<uint16_t>(i);
        d.flip = static_cast<uint8_t>((rule.flip ^ (e >> 1)) & 1u);
        d.pov = rule.pov_start != 0 ? 1 : 0;
        if (d.pov) {
            d.offset = static_cast<uint16_t>(record + POVS_OFFSET + 4 * ((entry_operand(e) - 1u) & (POV_COUNT - 1)));
            d.shift = 0;
            d.bound = static_cast<int32_t>(rule.pov_start);
        } else {
            d.offset = static_cast<uint16_t>(record + rule.field + ((operand - 1u) & rule.index_mask));
            d.shift = static_cast<uint8_t>((operand & rule.bit_mask) ^ rule.shift_base);
            d.bound = (threshold & rule.threshold_mask) + rule.threshold_bias;
        }
    }
}

// The records from first to end, each rewriting the result bit of its word: one of the
// table's operands or of its entries. The entries' loop indexes the table itself, which
// saves it an instruction an entry.
template <bool OPERANDS>
inline void evaluate_records(MappingTable& table, const DecodedEntry* first, const DecodedEntry* end,
                             const unsigned char* records) noexcept {
    for (const DecodedEntry* d = first; d < end; ++d) {
        uint32_t value;
        std::memcpy(&value, records + d->offset, sizeof value);
        uint32_t result;
        if (d->pov) {
            result = pov_on(value, static_cast<uint32_t>(d->bound));
        } else {
            result = static_cast<uint32_t>(static_cast<int32_t>(value << d->shift) < d->bound);
        }
        MappingEntry& word = OPERANDS ? table.operands[d->index] : table.entries[d->index];
        word ^= (result ^ d->flip ^ word) & 1u;
    }
}

}  // namespace

void decode_entries(const MappingTable& table, DecodedTable& decoded) noexcept {
    decoded.count = 0;
    decoded.group_count = 0;
    const int32_t count = table.count < MAX_ENTRIES ? table.count : MAX_ENTRIES;
    const int32_t operands = table.operand_count < MAX_OPERANDS ? table.operand_count : MAX_OPERANDS;
    for (uint32_t slot = 0; slot < CONTROLLER_COUNT; ++slot) {
        decode_words(table.entries, count, slot, decoded);
        decoded.slot_end[slot] = decoded.count;
    }
    for (uint32_t slot = 0; slot < CONTROLLER_COUNT; ++slot) {
        decode_words(table.operands, operands, slot, decoded);
        decoded.operand_slot_end[slot] = decoded.count;
    }
    decoded.controller_end = static_cast<int32_t>(std::bit_width(slots_read(decoded)));
    for (int32_t i = 0; i < count; ++i) {
        const MappingEntry e = table.entries[i];
        if (!entry_is_group(e) || !operands_within(table, e)) continue;
        decoded.groups[decoded.group_count++] = {static_cast<uint16_t>(i), static_cast<uint16_t>(group_first(e)),
                                                 static_cast<uint8_t>(group_count(e)),
                                                 static_cast<uint8_t>(entry_kind(e) == EntryKind::group_all),
                                                 static_cast<uint8_t>(entry_inverted(e))};
    }
}

uint32_t slots_read(const DecodedTable& decoded) noexcept {
    uint32_t slots = 0;
    int32_t entries = 0, operands = decoded.slot_end[CONTROLLER_COUNT - 1];
    for (int32_t slot = 0; slot < CONTROLLER_COUNT; ++slot) {
        if (decoded.slot_end[slot] > entries || decoded.operand_slot_end[slot] > operands) slots |= 1u << slot;
        entries = decoded.slot_end[slot];
        operands = decoded.operand_slot_end[slot];
    }
    return slots;
}

namespace {

// The groups' part of a poll: the operands of each slot read, then every group's bit.
[[gnu::noinline]] void evaluate_groups(MappingTable& table, const DecodedTable& decoded,
                                       const StateSnapshot& snapshot) noexcept {
    const auto* records = reinterpret_cast<const unsigned char*>(snapshot.state);
    int32_t first = decoded.slot_end[CONTROLLER_COUNT - 1];
    for (int32_t slot = 0; slot < decoded.controller_end; ++slot) {
        const int32_t end = decoded.operand_slot_end[slot] < decoded.count ? decoded.operand_slot_end[slot] : decoded.count;
        if (snapshot.fresh[slot]) evaluate_records<true>(table, decoded.entries + first, decoded.entries + end, records);
        first = end;
    }
    for (const DecodedGroup* g = decoded.groups; g < decoded.groups + decoded.group_count; ++g) {
        if (g->index >= table.count) continue;  // emptied with the table: no word past its count
        MappingEntry& word = table.entries[g->index];
        word = combined(word, table.operands + g->first, g->count, g->all != 0);
    }
}

}  // namespace

int32_t evaluate_decoded(MappingTable& table, const DecodedTable& decoded, const StateSnapshot& snapshot) noexcept {
    const auto* records = reinterpret_cast<const unsigned char*>(snapshot.state);
    int32_t first = 0;
    for (int32_t slot = 0; slot < decoded.controller_end; ++slot) {
        // The count bounds every slot's records: a table emptied by setting it to 0 has none.
        const int32_t end = decoded.slot_end[slot] < decoded.count ? decoded.slot_end[slot] : decoded.count;
        if (snapshot.fresh[slot]) evaluate_records<false>(table, decoded.entries + first, decoded.entries + end, records);
        first = end;
    }
    if (decoded.group_count > 0) evaluate_groups(table, decoded, snapshot);
    return table.count;
}
