// The words' plain evaluation: the oracle that the decoded form (evaluate_decoded, which
// the poll runs) is held to. Each kind's rule is read here from the word, one kind at a
// time and as people state it, with none of the plug-in's tables: "x above 5" is the X
// value above 5, a point of view's direction is on over 135 degrees from its start.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "controllers/state_snapshot.h"
#include "mapping/mapping_entry.h"

// The result bit of a controller entry of a known kind against its controller's state,
// before inversion.
inline uint32_t plain_reading(EntryKind kind, uint32_t operand, const DIJOYSTATE2& s) {
    const int32_t threshold = static_cast<int16_t>(static_cast<uint16_t>(operand));
    const LONG axes[] = {s.lX, s.lY, s.lZ, s.lRx, s.lRy, s.lRz, s.rglSlider[0], s.rglSlider[1]};
    if (kind == EntryKind::button) {
        const uint32_t button = operand == 0 ? 128 : operand;  // b0 reads the last byte
        return (s.rgbButtons[(button - 1) % 128] & 0x80) != 0 ? 1 : 0;
    }
    const int k = static_cast<int>(kind);
    if (kind_pov_direction(kind) >= 0) {  // hats 1 to 4 (a number the compiler never writes: its low two bits)
        const DWORD a = s.rgdwPOV[(operand - 1) & 3];
        if ((a & 0xFFFF) == 0xFFFF || a >= 36000) return 0;
        switch (kind) {
        case EntryKind::pov_up: return a < 6750 || a >= 29250;
        case EntryKind::pov_right: return a >= 2250 && a < 15750;
        case EntryKind::pov_down: return a >= 11250 && a < 24750;
        default: return a >= 20250 && a < 33750;
        }
    }
    const int after_button = k - 19;  // the sliders' kinds
    const LONG value = axes[k < 18 ? k / 3 : 6 + after_button / 3];
    switch (static_cast<AxisForm>(k < 18 ? k % 3 : after_button % 3)) {
    case AxisForm::below: return value < threshold ? 1 : 0;
    case AxisForm::above: return value > threshold ? 1 : 0;
    case AxisForm::bit: return (static_cast<uint32_t>(value) >> (operand % 32)) & 1;
    }
    return 0;
}

// What a word becomes in a poll of s. A constant, a group, and a word of no slot or of no
// kind keep their bits, and so does a word whose slot was not read.
inline MappingEntry plainly_evaluated(MappingEntry e, const StateSnapshot& s) {
    const uint32_t slot = entry_controller(e);
    if (slot == 0 || slot > CONTROLLER_COUNT || static_cast<int>(entry_kind(e)) >= ENTRY_KIND_COUNT || !s.fresh[slot - 1]) {
        return e;
    }
    const uint32_t bit = plain_reading(entry_kind(e), entry_operand(e), s.state[slot - 1]);
    return (e & ~1u) | (bit ^ (entry_inverted(e) ? 1u : 0u));
}

// The table's words after a poll of s: every entry as above; a group whose operands stand
// among the table's has each operand evaluated so, then its bit made from theirs (any or
// every one on, flipped by its '!'), whether or not any slot was read. Returns the count.
inline int32_t evaluate_entries(MappingTable& table, const StateSnapshot& s) {
    const int32_t count = std::clamp(table.count, 0, MAX_ENTRIES);
    const auto operands = static_cast<uint32_t>(std::clamp(table.operand_count, 0, MAX_OPERANDS));
    for (MappingEntry& e : std::span(table.entries, static_cast<size_t>(count))) {
        if (!entry_is_group(e)) {
            e = plainly_evaluated(e, s);
            continue;
        }
        if (group_first(e) + group_count(e) > operands) continue;
        uint32_t any = 0, every = 1;
        for (uint32_t k = group_first(e); k < group_first(e) + group_count(e); ++k) {
            table.operands[k] = plainly_evaluated(table.operands[k], s);
            any |= entry_result(table.operands[k]);
            every &= entry_result(table.operands[k]);
        }
        e = (e & ~1u) | ((entry_kind(e) == EntryKind::group_all ? every : any) ^ (entry_inverted(e) ? 1u : 0u));
    }
    return table.count;
}
