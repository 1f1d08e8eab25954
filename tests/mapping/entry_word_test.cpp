#include <gtest/gtest.h>

#include "mapping/mapping_entry.h"
#include "plugin/joybits.h"
#include "tests/mapping/mapping_support.h"

TEST(EntryWord, BelowTestWordCarriesSignedThreshold) {
    MappingTable table;
    ASSERT_TRUE(compiles("j1x<-8000", table));
    ASSERT_EQ(table.count, 1);
    MappingEntry e = table.entries[0];
    EXPECT_EQ(e, 0x10038300u);
    EXPECT_EQ(entry_controller(e), 1u);
    EXPECT_EQ(entry_kind(e), axis_kind("x", AxisForm::below));
    EXPECT_EQ(entry_operand(e), 0xE0C0u);
    EXPECT_NE(e & (1u << 17), 0u);
    EXPECT_EQ(entry_threshold(e), -8000);
    EXPECT_EQ(e & 0xC0000u, 0u);
}

TEST(EntryWord, KindsKeepTheirNumbers) {
    // The kinds are numbered from the axis table; the numbers are the word's and must not move.
    EXPECT_EQ((std::vector<int>{int(axis_kind("x", AxisForm::below)), int(axis_kind("rz", AxisForm::bit)),
                                int(EntryKind::button), int(axis_kind("u", AxisForm::below)),
                                int(axis_kind("v", AxisForm::bit)), int(EntryKind::pov_up), int(EntryKind::pov_left),
                                ENTRY_KIND_COUNT, int(EntryKind::group_all)}),
              (std::vector<int>{0, 17, 18, 19, 24, 25, 28, 29, 30}));
    const EntryKind v_above = axis_kind("v", AxisForm::above);
    EXPECT_TRUE(kind_axis(v_above) == 7 && kind_form(v_above) == AxisForm::above && kind_axis(EntryKind::button) == -1 &&
                kind_axis(EntryKind::pov_up) == -1);
}

TEST(EntryWord, ConstantsAreZeroAndOne) {
    MappingTable table;
    ASSERT_TRUE(compiles("a,p", table));
    ASSERT_EQ(words(table), (std::vector<MappingEntry>{0, 1}));
    EXPECT_TRUE(entry_is_constant(table.entries[0]));
    EXPECT_TRUE(entry_is_constant(table.entries[1]));
}

TEST(EntryWord, DefaultMappingCompilesToKnownWords) {
    // Worked out by hand: controller << 28 | kind << 20 | operand << 2.
    const std::vector<MappingEntry> expected = {
        0x00000001, 0x00000000, 0x00000000, 0x10407D00, 0x10338300, 0x10107D00, 0x10038300, 0x11200004,
        0x11200008, 0x1120000C, 0x11200014, 0x11200018, 0x11200020, 0x1120001C, 0x00000000, 0x00000000,
        0x00000001, 0x00000000, 0x00000000, 0x20407D00, 0x20338300, 0x20107D00, 0x20038300, 0x21200004,
        0x21200008, 0x2120000C, 0x21200014, 0x21200018, 0x21200020, 0x2120001C, 0x00000000, 0x00000000,
    };
    MappingTable table;
    ASSERT_TRUE(compiles(DEFAULT_MAPPING, table));
    EXPECT_EQ(words(table), expected);
}
