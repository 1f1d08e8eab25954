// Evaluation of the compiled entries against one poll's captured controller state.
#pragma once

#include "controllers/state_snapshot.h"
#include "mapping/mapping_entry.h"

// The decoded form of a table: what the rule of each word's kind makes of it, worked out
// once by decode_entries after each compile, so that a poll only loads, shifts and
// compares. The words stay the table; this is a copy of what they say, one
// record per controller entry that the evaluation writes (constants, controllers beyond the
// last and kinds the compiler never writes have none: their words keep their bits), in
// the order of their controllers (the slots, then the XInput users), so that a controller
// not read in a poll is skipped as a whole.
struct DecodedEntry {
    uint16_t index;   // the word's place in the table
    uint16_t offset;  // byte offset of the value in the snapshot's records (slot's record + field)
    uint8_t shift;    // A = value << shift
    uint8_t flip;     // 1: the result is the comparison's opposite ("above" and the invert mark)
    uint8_t pov;      // 1: a point of view's direction; bound is where its arc starts
    int32_t bound;    // B
};

// A group: its bit made from its operands' bits in every poll, after they were evaluated.
struct DecodedGroup {
    uint16_t index;  // the group's word in the table
    uint16_t first;  // its operands' words are the table's operands[first .. first + count)
    uint8_t count;
    uint8_t all;     // 1: on when every operand is on; 0: when any is
    uint8_t flip;    // 1: the group's '!'
};

struct DecodedTable {
    // The entries' records by controller, then the groups' operands' records by controller (their
    // index is then an operand's place beside the table).
    DecodedEntry entries[MAX_ENTRIES + MAX_OPERANDS];
    int32_t count = 0;
    // Slot s's records are entries[slot_end[s - 1] .. slot_end[s]), and its operands'
    // entries[operand_slot_end[s - 1] .. operand_slot_end[s]) from slot_end[CONTROLLER_COUNT - 1]
    // on, within the first count; emptied, like the table, by setting the count to 0.
    int32_t slot_end[CONTROLLER_COUNT] = {};
    int32_t operand_slot_end[CONTROLLER_COUNT] = {};
    // Past the last controller with a record, entry or operand: a poll looks no further.
    int32_t controller_end = 0;
    // Only those whose word is within the table's count are evaluated.
    DecodedGroup groups[MAX_ENTRIES];
    int32_t group_count = 0;
};

// Decodes the table's words (the first table.count, at most MAX_ENTRIES). Allocates nothing.
void decode_entries(const MappingTable& table, DecodedTable& decoded) noexcept;

// The controllers the decoded table reads (record i of the snapshot: bit i; the slots,
// then the XInput users), by an entry or a group's operand.
uint32_t slots_read(const DecodedTable& decoded) noexcept;

// Rewrites, from the decoded form of the table, the result bit of every controller entry
// whose slot is fresh, and of every group's operand likewise; makes every group's bit from
// its operands'. Returns the table's count. Allocates nothing.
int32_t evaluate_decoded(MappingTable& table, const DecodedTable& decoded, const StateSnapshot& snapshot) noexcept;
