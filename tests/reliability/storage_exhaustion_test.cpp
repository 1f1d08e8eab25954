// Storage exhaustion: every allocation that a configure makes is made to fail in turn,
// alone and together with every later one. Nothing may leave the entry point, the answer
// must be the out-of-memory message, nothing may stay allocated or held, and the next
// configure must work as if nothing had happened.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/reliability/reliability_support.h"
#include "tests/support/alloc_counter.h"

namespace {

using namespace reliability;

struct Scenario {
    const char* name;
    std::string mapping;  // "" sends a null pointer
    bool controllers;
};

// 170 tokens of every form, blanks and tabs inside, a comment after them: more than the
// table holds, so the compiler stops at 160.
std::string full_mapping() {
    const char* forms[] = {"j1b1", "!j2b12", "j3x<-8000", "j1y>8000", "j2z3", "j3rx<5", " j2ry>-5", "j1rz15\t",
                           "a", "p"};
    std::string text;
    for (int i = 0; i < 170; ++i) text += std::string(forms[i % 10]) + ",";
    return text + "/a comment, with j1b1 in it";
}

void set_up(const Scenario& s) {
    if (s.controllers) {
        set_up_three_controllers();
    } else {
        device(CMD_RELEASE);
        sim_reset();
        device(CMD_SET_WINDOW, 0x1234);
    }
}

const char* argument_of(const Scenario& s) { return s.mapping.empty() ? nullptr : s.mapping.c_str(); }

// Allocations attempted by one clean configure of the scenario.
int64_t allocations_of_configure(const Scenario& s, std::string& answer, int32_t& count) {
    set_up(s);
    int64_t before = alloc_counter::attempts();
    intptr_t result = device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(argument_of(s)));
    int64_t made = alloc_counter::attempts() - before;
    answer = reinterpret_cast<const char*>(result);
    count = tested.table.count;
    device(CMD_RELEASE);
    return made;
}

int run_scenario(const Scenario& s) {
    std::string clean_answer;
    int32_t clean_count = 0;
    const int64_t n = allocations_of_configure(s, clean_answer, clean_count);
    EXPECT_GE(n, 3) << s.name << ": a configure builds at least the copy, the echo and the answer";
    EXPECT_EQ(clean_answer.find("//Out of memory!//"), std::string::npos) << s.name;
    int cases = 0;
    for (bool sticky : {false, true}) {
        for (int64_t k = 1; k <= n; ++k) {
            const std::string where = std::string(s.name) + ", allocation " + std::to_string(k) + " of " +
                                      std::to_string(n) + (sticky ? " and all after it" : "") + " failing";
            set_up(s);
            // The old answer is given up first, so that the balance below covers it too.
            device(CMD_CONFIGURE, reinterpret_cast<intptr_t>("a"));
            tested.result.release();
            alloc_counter::Scope scope;
            alloc_counter::fail_at(k, sticky);
            intptr_t result = 0;
            bool escaped = false;
            try {
                result = device(CMD_CONFIGURE, reinterpret_cast<intptr_t>(argument_of(s)));
            } catch (...) {
                escaped = true;
            }
            alloc_counter::fail_at(0);
            EXPECT_FALSE(escaped) << where;
            EXPECT_NE(result, 0) << where;
            if (result == 0) continue;
            EXPECT_STREQ(reinterpret_cast<const char*>(result), "//Out of memory!//") << where;
            EXPECT_EQ(tested.table.count, 0) << where;
            EXPECT_EQ(tested.controllers.direct_input, nullptr) << where;
            for (const ControllerSlot& slot : tested.controllers.slots) {
                EXPECT_EQ(slot.device, nullptr) << where;
                EXPECT_NE(slot.state, SlotState::ready) << where;
            }
            // Everything the failed configure allocated has been freed again, the set-up's
            // scratch list of axis fragments included.
            EXPECT_EQ(scope.allocations(), scope.frees()) << where;
            expect_platform_clean(where);
            // The bits of an emptied table: 1 on every read.
            EXPECT_EQ(device(CMD_POLL), 0) << where;
            EXPECT_EQ(read_bits(2), "11") << where;

            // Storage is back: the next configure gives the clean answer and table.
            set_up(s);
            EXPECT_EQ(configure(argument_of(s)), clean_answer) << where;
            EXPECT_EQ(tested.table.count, clean_count) << where;
            device(CMD_RELEASE);
            expect_platform_clean(where + ", then a clean configure");
            ++cases;
        }
    }
    std::printf("[ matrix   ] %s: %lld allocations per configure, %d failing cases\n", s.name,
                static_cast<long long>(n), cases);
    return cases;
}

TEST(StorageExhaustion, EveryAllocationOfAConfigureFailingInTurn) {
    const Scenario scenarios[] = {
        {"default mapping, no controller", "", false},
        {"default mapping, three controllers", "", true},
        {"170 tokens with blanks and a comment, three controllers", full_mapping(), true},
        {"syntax error, three controllers", "j1b1,j2b2,,p", true},
    };
    int total = 0;
    for (const Scenario& s : scenarios) total += run_scenario(s);
    // Four scenarios, each failing every one of at least three allocations, alone and sticky.
    EXPECT_GE(total, 4 * 2 * 3);
    std::printf("[ matrix   ] %d storage exhaustion cases\n", total);
}

TEST(StorageExhaustion, PollsAndReadsNeverAllocate) {
    Scenario s{"three controllers", full_mapping(), true};
    set_up(s);
    configure(argument_of(s));
    ASSERT_EQ(tested.table.count, MAX_ENTRIES);
    // Every allocation fails from here on: polls, reads and releases must not need one.
    alloc_counter::fail_at(1, true);
    int64_t before = alloc_counter::attempts();
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(device(CMD_POLL), MAX_ENTRIES);
        for (int i = 0; i < MAX_ENTRIES + 3; ++i) {
            intptr_t bit = device(CMD_NEXT_BIT);
            EXPECT_TRUE(bit == 0 || bit == 1);
        }
    }
    device(CMD_RELEASE);
    int64_t attempted = alloc_counter::attempts() - before;
    alloc_counter::fail_at(0);
    EXPECT_EQ(attempted, 0);
    expect_platform_clean("polls without storage");
}

}  // namespace
