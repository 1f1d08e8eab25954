#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>

#include "mapping/evaluation.h"
#include "tests/mapping/mapping_support.h"
#include "tests/mapping/plain_evaluation.h"
#include "tests/support/alloc_counter.h"

namespace {

using Bits = std::vector<uint32_t>;

// Evaluates the table in a poll of s from its decoded form, as the poll does, and holds
// its words to the plain evaluation's; returns the count.
int32_t evaluated_alike(MappingTable& table, const StateSnapshot& s) {
    MappingTable plain = table;
    DecodedTable decoded;
    decode_entries(table, decoded);
    const int32_t count = evaluate_decoded(table, decoded, s);
    EXPECT_EQ(evaluate_entries(plain, s), count);
    EXPECT_EQ(std::memcmp(&plain, &table, sizeof table), 0);
    return count;
}

// A snapshot in which only slot 0 was read, all its fields zero.
StateSnapshot slot0_fresh() {
    StateSnapshot s{};
    s.fresh[0] = true;
    return s;
}

}  // namespace

TEST(EvaluationThreshold, StrictSignedComparisons) {
    MappingTable table;
    ASSERT_TRUE(compiles("j1y>8000,j1y<-8000,j1x<40000,j1x>-32768", table));
    StateSnapshot s = slot0_fresh();
    struct Case {
        LONG y, x;
        Bits bits;
    };
    // j1x<40000 holds the threshold -25536: a positive X is not below it.
    const Case cases[] = {
        {8001, -30000, {1, 0, 1, 1}}, {8000, 30000, {0, 0, 0, 1}},     {-8001, -25536, {0, 1, 0, 1}},
        {-8000, -25537, {0, 0, 1, 1}}, {0, -32768, {0, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        s.state[0].lY = c.y;
        s.state[0].lX = c.x;
        EXPECT_EQ(evaluated_alike(table, s), 4);
        EXPECT_EQ(result_bits(table), c.bits) << c.y << " " << c.x;
    }
}

TEST(EvaluationKinds, EachAxisReadsItsOwnField) {
    MappingTable table;
    ASSERT_TRUE(compiles("j1x>0,j1y>0,j1z>0,j1rx>0,j1ry>0,j1rz>0,j1x<0,j1rz<0", table));
    LONG DIJOYSTATE2::*const fields[] = {&DIJOYSTATE2::lX,  &DIJOYSTATE2::lY,  &DIJOYSTATE2::lZ,
                                         &DIJOYSTATE2::lRx, &DIJOYSTATE2::lRy, &DIJOYSTATE2::lRz};
    for (size_t axis = 0; axis < 6; ++axis) {
        StateSnapshot s = slot0_fresh();
        s.state[0].rglSlider[0] = 5;  // sliders are never read
        s.state[0].lVX = 5;
        s.state[0].*fields[axis] = 1;
        evaluated_alike(table, s);
        Bits expected(8, 0);
        expected[axis] = 1;
        EXPECT_EQ(result_bits(table), expected) << axis;
    }
}

TEST(EvaluationKinds, BitTests) {
    MappingTable table;
    ASSERT_TRUE(compiles("j1x15,j1x0,j1ry3,j1z31", table));
    StateSnapshot s = slot0_fresh();
    s.state[0].lX = -1;
    s.state[0].lRy = 8;
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 1, 1, 0}));  // j1z31 keeps bit number 15
    s.state[0].lX = 32767 - 1;
    s.state[0].lRy = 7;
    s.state[0].lZ = 0x8000;
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{0, 0, 0, 1}));
}

TEST(EvaluationKinds, ButtonsReadTheHighBitOfTheirByte) {
    MappingTable table;
    ASSERT_TRUE(compiles("j1b1,j1b128,j1b0,j1b127,j1b2", table));
    StateSnapshot s = slot0_fresh();
    s.state[0].rgbButtons[0] = 0x80;
    s.state[0].rgbButtons[1] = 0x7F;
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 0, 0, 0, 0}));
    s.state[0].rgbButtons[0] = 0;
    s.state[0].rgbButtons[127] = 0xFF;
    s.state[0].rgbButtons[126] = 0x80;
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{0, 1, 1, 1, 0}));
}

TEST(EvaluationInversion, InvertedEntriesFlipOncePerFreshPoll) {
    MappingTable table;
    ASSERT_TRUE(compiles("!j1b1,j1b1,!j1x<0", table));
    StateSnapshot s = slot0_fresh();
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 0, 1}));
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 0, 1}));
    s.state[0].rgbButtons[0] = 0x80;
    s.state[0].lX = -1;
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{0, 1, 0}));
}

TEST(EvaluationFreshness, StaleSlotsKeepTheirBits) {
    MappingTable table;
    ASSERT_TRUE(compiles("j1b1,!j1b1,j2b1,!j2b1,j8b1,!j8b1", table));
    StateSnapshot s{};
    s.fresh[0] = true;
    s.state[0].rgbButtons[0] = 0x80;
    s.state[1].rgbButtons[0] = 0x80;  // not fresh: must not be read
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 0, 0, 0, 0, 0}));

    // Slot 0 stale, its record changed: the j1 entries keep their bits, inversion included.
    s.fresh[0] = false;
    s.state[0].rgbButtons[0] = 0;
    s.fresh[7] = true;
    s.state[7].rgbButtons[0] = 0x80;
    evaluated_alike(table, s);
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 0, 0, 0, 1, 0}));

    // Slot 1 is read from its own record.
    s.fresh[1] = true;
    evaluated_alike(table, s);
    EXPECT_EQ(result_bits(table), (Bits{1, 0, 1, 0, 1, 0}));
}

TEST(EvaluationFreshness, NoControllerReadKeepsFreshlyCompiledZeros) {
    MappingTable table;
    ASSERT_TRUE(compiles("a,p,!j1b1,!j3x<5,j2b1,!a,!p", table));
    StateSnapshot none{};
    for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(evaluated_alike(table, none), 7);
    EXPECT_EQ(result_bits(table), (Bits{0, 1, 0, 0, 0, 0, 1}));
}

TEST(EvaluationConstants, ConstantsNeverChangeAndOtherBitsStay) {
    MappingTable table;
    ASSERT_TRUE(compiles("a,p,!a,!p,!j1rz>-100,j1ry7", table));
    const std::vector<MappingEntry> compiled = words(table);
    StateSnapshot s{};
    for (bool& f : s.fresh) f = true;
    s.state[0].lRy = 0x80;
    for (int poll = 0; poll < 3; ++poll) {
        alloc_counter::Scope scope;
        EXPECT_EQ(evaluated_alike(table, s), 6);
        EXPECT_EQ(scope.allocations(), 0);
        EXPECT_EQ(result_bits(table), (Bits{0, 1, 0, 1, 0, 1}));
        for (size_t i = 0; i < compiled.size(); ++i) EXPECT_EQ(table.entries[i] & ~1u, compiled[i] & ~1u) << i;
    }
    table.count = 0;
    EXPECT_EQ(evaluated_alike(table, s), 0);
}

TEST(EvaluationDamage, WordsTheCompilerNeverWritesAreLeftAlone) {
    MappingTable table{};
    table.entries[0] = (13u << 28) | 1u;                                   // no thirteenth controller
    table.entries[1] = (15u << 28) | (18u << 20) | 3u;                     // nor a fifteenth
    table.entries[2] = (1u << 28) | (29u << 20) | 2u;                      // no kind 29
    table.entries[3] = (1u << 28) | (static_cast<uint32_t>(axis_kind("x", AxisForm::bit)) << 20) | (40u << 2);  // shift 40
    table.count = 4;
    StateSnapshot s{};
    for (bool& f : s.fresh) f = true;
    s.state[0].lX = 0x100;
    DecodedTable decoded;
    decode_entries(table, decoded);
    EXPECT_EQ(decoded.count, 1);  // only the bit entry is one the evaluation writes
    evaluated_alike(table, s);
    EXPECT_EQ(table.entries[0], (13u << 28) | 1u);
    EXPECT_EQ(table.entries[1], (15u << 28) | (18u << 20) | 3u);
    EXPECT_EQ(table.entries[2], (1u << 28) | (29u << 20) | 2u);
    EXPECT_EQ(entry_result(table.entries[3]), 1u);  // bit 40 & 31 = bit 8
    decoded.count = 0;  // emptied as a failed configure empties it: no word is written
    s.state[0].lX = 0;
    evaluate_decoded(table, decoded, s);
    EXPECT_EQ(entry_result(table.entries[3]), 1u);

    table.count = MAX_ENTRIES + 40;  // a count beyond the array is walked only up to its end
    EXPECT_EQ(evaluated_alike(table, s), MAX_ENTRIES + 40);
}

namespace {

// A random state for every slot, fresh or not: values near the thresholds are the ones
// a comparison can get wrong, and values far outside the axis range the ones where a
// difference would overflow.
void random_states(std::mt19937& random, StateSnapshot& s) {
    std::uniform_int_distribution<uint32_t> word_part(0, 0xFFFF);
    std::uniform_int_distribution<int32_t> axis(-32768, 32767);
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<int> coin(0, 3);
    std::uniform_int_distribution<int32_t> any_value(INT32_MIN, INT32_MAX);
    const LONG EXTREMES[] = {INT32_MIN, INT32_MIN + 1, -32769, 32768, INT32_MAX - 1, INT32_MAX};
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        DIJOYSTATE2& d = s.state[slot];
        for (LONG* f : {&d.lX, &d.lY, &d.lZ, &d.lRx, &d.lRy, &d.lRz}) {
            switch (coin(random)) {
            case 0: *f = static_cast<int16_t>(word_part(random)); break;
            case 1: *f = EXTREMES[word_part(random) % std::size(EXTREMES)]; break;
            case 2: *f = any_value(random); break;
            default: *f = axis(random); break;
            }
        }
        for (BYTE& b : d.rgbButtons) b = static_cast<BYTE>(any_byte(random));
        for (LONG& f : d.rglSlider) f = axis(random);
        // Centred in its three spellings, the borders of the directions, any angle.
        const DWORD POV_VALUES[] = {0xFFFFFFFF, 0xFFFF, 36000, 0x1FFFF, 35999, 0, 2249, 2250, 6749, 6750, 11249,
                                    11250, 15749, 15750, 20249, 20250, 24749, 24750, 29249, 29250, 33749, 33750};
        for (DWORD& p : d.rgdwPOV) {
            p = coin(random) == 0 ? word_part(random) % 36000 : POV_VALUES[word_part(random) % std::size(POV_VALUES)];
        }
        s.fresh[slot] = coin(random) != 0;
    }
}

// A controller entry's word of kind, for slot i % 8, with any operand and result bit.
MappingEntry random_word(std::mt19937& random, int i, EntryKind kind, const StateSnapshot& s) {
    std::uniform_int_distribution<uint32_t> word_part(0, 0xFFFF);
    std::uniform_int_distribution<int> coin(0, 3);
    uint32_t operand = word_part(random);
    if (coin(random) == 0) operand = static_cast<uint32_t>(static_cast<uint16_t>(s.state[i % 8].lX));
    if (kind_pov_direction(kind) >= 0) operand = operand % POV_COUNT + 1;  // the only numbers the compiler writes
    return make_entry(static_cast<uint32_t>(i % SLOT_COUNT + 1), kind, operand, coin(random) < 2) |
           static_cast<uint32_t>(coin(random) & 1);  // any result bit before
}

}  // namespace

// The decoded form of each table, evaluated beside it, gives the same words.
TEST(EvaluationAgainstThePlainRules, EveryKindOverRandomStatesAndWords) {
    std::mt19937 random(2024);
    StateSnapshot s{};
    MappingTable table{};
    for (int round = 0; round < 200; ++round) {
        random_states(random, s);
        for (int i = 0; i < MAX_ENTRIES; ++i) {
            table.entries[i] = random_word(random, i, static_cast<EntryKind>((i + round) % ENTRY_KIND_COUNT), s);
        }
        table.count = MAX_ENTRIES;
        ASSERT_EQ(evaluated_alike(table, s), MAX_ENTRIES);
        ASSERT_FALSE(HasFailure()) << "round " << round;
    }
}

// Groups of 1 to 8 operands among plain entries: each operand read as an entry of its own
// (kept when its slot was not read), the group's bit any or every operand's, flipped by
// its '!', whether or not any slot was read.
TEST(EvaluationAgainstThePlainRules, GroupsOfReadAndKeptOperands) {
    std::mt19937 random(35);
    std::uniform_int_distribution<int> die(0, 7);
    StateSnapshot s{};
    MappingTable table{};
    for (int round = 0; round < 200; ++round) {
        random_states(random, s);
        if (round % 10 == 0) for (bool& f : s.fresh) f = false;
        table.operand_count = 0;
        for (int i = 0; i < MAX_ENTRIES; ++i) {
            const auto kind = static_cast<EntryKind>((i + round) % ENTRY_KIND_COUNT);
            if (i % 4 == 0) {
                table.entries[i] = random_word(random, i, kind, s);
                continue;
            }
            const auto first = static_cast<uint32_t>(table.operand_count);
            const auto n = static_cast<uint32_t>(die(random) + 1);
            for (uint32_t k = 0; k < n; ++k) {
                table.operands[table.operand_count++] =
                    random_word(random, die(random), static_cast<EntryKind>((i + static_cast<int>(k)) % ENTRY_KIND_COUNT), s);
            }
            table.entries[i] = make_group_entry(die(random) < 4, first, n, die(random) < 4) | static_cast<uint32_t>(die(random) & 1);
        }
        table.count = MAX_ENTRIES;
        ASSERT_EQ(evaluated_alike(table, s), MAX_ENTRIES);
        ASSERT_FALSE(HasFailure()) << "round " << round;
    }
    // Emptied as a failed configure empties them, neither the table nor its decoded form
    // writes a group's word any more.
    MappingTable emptied = table;
    DecodedTable decoded;
    decode_entries(emptied, decoded);
    emptied.count = 0;
    decoded.count = 0;
    for (int i = 0; i < MAX_ENTRIES; ++i) emptied.entries[i] ^= 1u;
    const MappingTable flipped = emptied;
    evaluate_decoded(emptied, decoded, s);
    evaluate_entries(emptied, s);
    EXPECT_EQ(std::memcmp(&emptied, &flipped, sizeof emptied), 0);
}
