#include "mapping/evaluation.h"

namespace {

// The state field each axis number reads, in axis order.
constexpr LONG DIJOYSTATE2::*const AXIS_FIELDS[AXIS_COUNT] = {
    &DIJOYSTATE2::lX, &DIJOYSTATE2::lY, &DIJOYSTATE2::lZ, &DIJOYSTATE2::lRx, &DIJOYSTATE2::lRy, &DIJOYSTATE2::lRz,
};

constexpr uint32_t AXIS_KIND_COUNT = 3 * AXIS_COUNT;
static_assert(AXIS_KIND_COUNT == static_cast<uint32_t>(EntryKind::button));

// The result bit of a controller entry of a known kind against its controller's state,
// before inversion.
uint32_t entry_bit(MappingEntry e, const DIJOYSTATE2& state) noexcept {
    auto kind = static_cast<uint32_t>(entry_kind(e));
    uint32_t operand = entry_operand(e);
    if (kind < AXIS_KIND_COUNT) {
        int32_t value = state.*AXIS_FIELDS[kind / 3];
        switch (static_cast<AxisForm>(kind % 3)) {
        case AxisForm::below:
            return value < entry_threshold(e) ? 1u : 0u;
        case AxisForm::above:
            return value > entry_threshold(e) ? 1u : 0u;
        case AxisForm::bit:
            // The compiler keeps bit numbers below 16; the mask keeps any word's shift defined.
            return (static_cast<uint32_t>(value) >> (operand & 31u)) & 1u;
        }
    }
    // Button number 0 wraps round to the last byte.
    return (state.rgbButtons[(operand - 1u) & BUTTON_NUMBER_MASK] & 0x80u) != 0 ? 1u : 0u;
}

}  // namespace

int32_t evaluate_entries(MappingTable& table, const StateSnapshot& snapshot) noexcept {
    int32_t count = table.count < MAX_ENTRIES ? table.count : MAX_ENTRIES;
    for (int32_t i = 0; i < count; ++i) {
        MappingEntry e = table.entries[i];
        uint32_t controller = entry_controller(e);
        // Constants stay as compiled; a controller that was not read this poll keeps its bit.
        // Controller numbers beyond the last slot and unknown kinds never come from the
        // compiler; such a word is left alone rather than read out of bounds.
        if (controller == 0 || controller > static_cast<uint32_t>(SLOT_COUNT) || !snapshot.fresh[controller - 1]) continue;
        if (entry_kind(e) > EntryKind::button) continue;
        uint32_t r = entry_bit(e, snapshot.state[controller - 1]) ^ (entry_inverted(e) ? 1u : 0u);
        table.entries[i] = (e & ~1u) | r;
    }
    return table.count;
}
