#include "text/text_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/support/alloc_counter.h"

namespace {

using alloc_counter::Scope;

bool is_empty_state(const TextBuffer& t) {
    return t.data == SHARED_EMPTY && t.capacity == 0 && t.length == 0;
}

std::string str(const TextBuffer& t) { return std::string(t.c_str(), static_cast<size_t>(t.length)); }

// Checks the invariants every text keeps.
void expect_valid(const TextBuffer& t) {
    if (t.capacity == 0) {
        EXPECT_TRUE(is_empty_state(t));
    } else {
        int32_t size = t.capacity < 0 ? -t.capacity : t.capacity;
        EXPECT_GE(t.length, 0);
        EXPECT_LT(t.length, size);
        EXPECT_EQ(t.data[t.length], 0);
        EXPECT_EQ(std::strlen(t.data), static_cast<size_t>(t.length));
    }
    EXPECT_EQ(SHARED_EMPTY[0], 0);
}

TEST(GrowCapacity, GivesHalfAgainWithAFloorOf16) {
    for (int32_t n = 0; n <= 10; ++n) EXPECT_EQ(grow_capacity(n), 16) << n;  // m + m/2 stays below 16
    EXPECT_EQ(grow_capacity(11), 18);
    EXPECT_EQ(grow_capacity(12), 19);
    EXPECT_EQ(grow_capacity(15), 24);
    EXPECT_EQ(grow_capacity(20), 31);
    EXPECT_EQ(grow_capacity(100), 151);
    EXPECT_EQ(grow_capacity(165), 249);
    // The largest n whose block still fits: m + m/2 <= 2147483647.
    EXPECT_EQ(grow_capacity(1431655763), 2147483646);
    EXPECT_THROW(grow_capacity(1431655765), std::length_error);
    EXPECT_THROW(grow_capacity(INT_MAX), std::length_error);
}

TEST(TextConstruction, AllocatesGrowCapacityAndEmptyCostsNothing) {
    {
        Scope scope;
        TextBuffer t("Test");
        EXPECT_EQ(t.length, 4);
        EXPECT_EQ(t.capacity, 16);
        EXPECT_EQ(alloc_counter::counts().last_size, 16u);
        EXPECT_EQ(scope.allocations(), 1);
        EXPECT_EQ(str(t), "Test");
    }
    TextBuffer help("//help//a;p;");
    EXPECT_EQ(help.length, 12);
    EXPECT_EQ(help.capacity, 19);
    std::string long_text(165, 'q');
    TextBuffer big(long_text.c_str());
    EXPECT_EQ(big.capacity, 249);
    EXPECT_EQ(alloc_counter::counts().last_size, 249u);
    expect_valid(big);

    Scope scope;
    {
        TextBuffer a;
        TextBuffer b(nullptr);
        TextBuffer c("");
        TextBuffer d(a);
        TextBuffer e;
        e.assign(a);
        e.assign(TextBuffer());
        TextBuffer f = concat(a, c);
        EXPECT_TRUE(is_empty_state(a) && is_empty_state(b) && is_empty_state(c) && is_empty_state(d));
        EXPECT_TRUE(is_empty_state(e) && is_empty_state(f));
    }
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(scope.frees(), 0);
}

TEST(TextCopy, NamedIsCopiedTemporaryIsTakenOver) {
    TextBuffer named("abc");
    TextBuffer copy(named);
    EXPECT_NE(copy.data, named.data);
    EXPECT_EQ(copy.capacity, 16);
    EXPECT_EQ(str(copy), "abc");

    TextBuffer temp = TextBuffer::from_int(42);
    char* block = temp.data;
    Scope scope;
    TextBuffer taken(temp);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(taken.data, block);
    EXPECT_EQ(taken.capacity, -35);  // the copy of a temporary stays temporary
    EXPECT_TRUE(is_empty_state(temp));

    // A named text that owns a block but has length 0 copies to the empty text.
    TextBuffer zero("x");
    zero.assign("");
    TextBuffer zero_copy(zero);
    EXPECT_TRUE(is_empty_state(zero_copy));
}

TEST(TextAssign, StringKeepsOrReplacesTheBlock) {
    TextBuffer t("sixteen!");
    char* block = t.data;
    Scope scope;
    t.assign("");
    EXPECT_EQ(t.data, block);
    EXPECT_EQ(t.capacity, 16);
    EXPECT_EQ(t.length, 0);
    t.assign("fifteen chars!!");  // 15 < 16: fits
    EXPECT_EQ(t.data, block);
    EXPECT_EQ(scope.allocations(), 0);
    t.assign("sixteen chars!!!");  // 16: needs a new block of 25
    EXPECT_EQ(t.capacity, 25);
    EXPECT_EQ(scope.allocations(), 1);
    EXPECT_EQ(scope.frees(), 1);
    t.assign(nullptr);
    EXPECT_TRUE(is_empty_state(t));
    EXPECT_EQ(scope.frees(), 2);

    // A named text exactly as long as the receiver's block does not fit with its zero.
    TextBuffer receiver("a");
    char* receiver_block = receiver.data;
    TextBuffer sixteen("sixteen chars!!!");
    receiver.assign(sixteen);
    EXPECT_EQ(str(receiver), "sixteen chars!!!");
    EXPECT_EQ(receiver.capacity, 25);
    EXPECT_NE(receiver.data, receiver_block);
    EXPECT_EQ(str(sixteen), "sixteen chars!!!");

    // An empty text assigned to a text with a block keeps the block, with length 0.
    TextBuffer u("abc");
    TextBuffer empty;
    u.assign(empty);
    EXPECT_EQ(u.capacity, 16);
    EXPECT_EQ(u.length, 0);
    expect_valid(u);

    // A temporary receiver becomes named; assigning a string from inside itself works.
    TextBuffer w = TextBuffer::from_int(12345);
    w.assign(w.c_str() + 2);
    EXPECT_EQ(str(w), "345");
    EXPECT_EQ(w.capacity, 35);
}

TEST(TextAssign, TemporaryIsTakenOverOnlyWhenItsBlockIsAtLeastAsLarge) {
    std::string long_text(165, 'z');
    TextBuffer big(long_text.c_str());
    char* big_block = big.data;
    TextBuffer temp = concat(TextBuffer("abc"), "d");  // temporary, block of 16
    char* temp_block = temp.data;
    ASSERT_EQ(temp.capacity, -16);
    big.assign(temp);
    EXPECT_EQ(big.data, big_block);
    EXPECT_EQ(big.capacity, 249);
    EXPECT_EQ(str(big), "abcd");
    EXPECT_EQ(temp.data, temp_block);  // kept its block, to be freed with it
    EXPECT_EQ(temp.capacity, -16);

    TextBuffer small("xy");  // block of 16: taken over
    Scope scope;
    small.assign(temp);
    EXPECT_EQ(small.data, temp_block);
    EXPECT_EQ(small.capacity, 16);
    EXPECT_TRUE(is_empty_state(temp));
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(scope.frees(), 1);

    TextBuffer empty_receiver;
    TextBuffer temp2 = TextBuffer::from_int(7);
    char* block2 = temp2.data;
    empty_receiver.assign(temp2);
    EXPECT_EQ(empty_receiver.data, block2);
    EXPECT_EQ(empty_receiver.capacity, 35);
    EXPECT_TRUE(is_empty_state(temp2));

    empty_receiver.assign(empty_receiver);  // self-assignment keeps the text
    EXPECT_EQ(str(empty_receiver), "7");
    TextBuffer temp3 = TextBuffer::from_int(8);
    temp3.assign(temp3);  // and leaves a temporary named, as every assignment does
    EXPECT_EQ(temp3.capacity, 35);
}

TEST(TextAppend, GrowsCopiesAndTakesOver) {
    TextBuffer t("abc");
    t.append(t);  // a named text appended to itself doubles
    EXPECT_EQ(str(t), "abcabc");
    t.append_counted(t.data, t.length);
    EXPECT_EQ(str(t), "abcabcabcabc");
    t.append(t);  // 24 characters: no room, a new block reads the old one first
    EXPECT_EQ(str(t), std::string("abcabcabcabc") + "abcabcabcabc");
    EXPECT_EQ(t.capacity, grow_capacity(24));
    expect_valid(t);

    Scope scope;
    t.append("");
    t.append(TextBuffer());
    EXPECT_EQ(scope.allocations(), 0);

    // A temporary whose block holds the joined text and is at least as large as ours.
    TextBuffer r("ab");  // 16
    std::string forty(40, 'x');
    TextBuffer big_temp = concat(TextBuffer(forty.c_str()), "!");  // temporary, 63 bytes
    char* temp_block = big_temp.data;
    Scope take;
    r.append(big_temp);
    int64_t allocations = take.allocations();
    int64_t frees = take.frees();
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(frees, 1);
    EXPECT_EQ(r.data, temp_block);
    EXPECT_EQ(r.capacity, 63);  // named
    EXPECT_EQ(str(r), "ab" + forty + "!");
    EXPECT_TRUE(is_empty_state(big_temp));

    // A roomy temporary smaller than our block is copied, not taken over.
    TextBuffer roomy(forty.c_str());
    roomy.assign("ab");
    char* roomy_block = roomy.data;
    roomy.append(TextBuffer::from_int(12));  // 35 bytes, ours 61
    EXPECT_EQ(roomy.data, roomy_block);
    EXPECT_EQ(str(roomy), "ab12");

    // A temporary whose block holds the joined characters but not their zero is not
    // taken over: the receiver grows, and the source keeps its characters.
    TextBuffer one = TextBuffer("a").left(1);  // exactly 2 bytes
    TextBuffer full = TextBuffer("abc").left(3);  // temporary, exactly 4 bytes
    char* full_block = full.data;
    one.append(full);
    EXPECT_EQ(str(one), "aabc");
    EXPECT_NE(one.data, full_block);
    EXPECT_EQ(full.data, full_block);
    EXPECT_EQ(str(full), "abc");

    // append_counted keeps the temporary mark, also when it grows the block.
    TextBuffer m = TextBuffer::from_int(1);
    std::string fifty(50, 'y');
    m.append_counted(fifty.c_str(), 50);
    EXPECT_EQ(m.capacity, -grow_capacity(51));
    EXPECT_EQ(m.length, 51);
    m.append(static_cast<const char*>(nullptr));
    EXPECT_EQ(m.capacity, grow_capacity(51));  // made named
}

TEST(TextInsertFront, InPlaceOrNewBlockWhenTheSourceTouchesUs) {
    TextBuffer t("worldXXXXXXX");
    t.assign("world");  // the block still holds "world", zero, "XXXXXX"
    char* block = t.data;
    t.insert_front("hello ", 6);
    EXPECT_EQ(str(t), "hello world");
    EXPECT_EQ(t.data, block);
    expect_valid(t);  // the zero moved with the characters

    TextBuffer self("abc");  // room for more, but the source is our own characters
    char* self_block = self.data;
    Scope scope;
    self.insert_front(self.data, self.length);
    EXPECT_EQ(str(self), "abcabc");
    EXPECT_NE(self.data, self_block);
    EXPECT_EQ(scope.allocations(), 1);
    EXPECT_EQ(scope.frees(), 1);

    // A source that starts right after our zero touches the text too: in place, the
    // move of our characters would overwrite it before it is read.
    TextBuffer after("abcdef");
    after.assign("abc");  // "abc", zero, then the old "ef" still in the block
    after.insert_front(after.data + 4, 2);
    EXPECT_EQ(str(after), "efabc");
    EXPECT_EQ(after.length, 5);

    TextBuffer e;
    e.insert_front("xyz", 2);
    EXPECT_EQ(str(e), "xy");
    EXPECT_EQ(e.capacity, 16);
    e.insert_front("q", 0);
    EXPECT_EQ(str(e), "xy");
}

TEST(TextSetLength, AllocatesExactlyAndKeepsTheMark) {
    TextBuffer t("abc");  // 16
    char* block = t.data;
    t.set_length(15);
    EXPECT_EQ(t.data, block);
    EXPECT_EQ(t.length, 15);
    EXPECT_EQ(t.data[15], 0);
    t.set_length(2);
    EXPECT_EQ(str(t), "ab");
    Scope scope;
    t.set_length(16);  // equal to the capacity: exactly 17 bytes
    EXPECT_EQ(t.capacity, 17);
    EXPECT_EQ(alloc_counter::counts().last_size, 17u);
    EXPECT_EQ(scope.allocations(), 1);
    EXPECT_EQ(std::string(t.data, 2), "ab");
    t.set_length(0);
    EXPECT_TRUE(is_empty_state(t));
    t.set_length(-4);
    EXPECT_TRUE(is_empty_state(t));

    TextBuffer temp = TextBuffer::from_int(5);
    temp.set_length(40);
    EXPECT_EQ(temp.capacity, -41);
    temp.set_length(-1);  // loses its mark with its block
    EXPECT_TRUE(is_empty_state(temp));

    TextBuffer huge;
    EXPECT_THROW(huge.set_length(INT_MAX), std::length_error);
    EXPECT_TRUE(is_empty_state(huge));
}

TEST(TextProducers, FromIntAndTheChainInOneBlock) {
    TextBuffer one = TextBuffer::from_int(1);
    EXPECT_EQ(one.capacity, -35);
    EXPECT_EQ(str(one), "1");
    char* block = one.data;
    Scope scope;
    TextBuffer j1 = concat("j", one);
    EXPECT_EQ(j1.data, block);
    EXPECT_EQ(str(j1), "j1");
    TextBuffer j1c = concat(j1, ":");
    EXPECT_EQ(j1c.data, block);
    EXPECT_EQ(j1c.capacity, -35);
    EXPECT_EQ(str(j1c), "j1:");
    EXPECT_EQ(scope.allocations(), 0);

    struct Case {
        int32_t value;
        const char* text;
    } cases[] = {{0, "0"}, {-7, "-7"}, {INT_MIN, "-2147483648"}, {INT_MAX, "2147483647"}, {8000, "8000"}};
    for (const Case& c : cases) {
        TextBuffer t = TextBuffer::from_int(c.value);
        EXPECT_EQ(str(t), c.text);
        EXPECT_EQ(t.capacity, -35);
        expect_valid(t);
    }
}

TEST(TextProducers, LeftAndMidClampAndAllocateExactly) {
    TextBuffer t("abcdef");
    EXPECT_TRUE(is_empty_state(t.left(0)));
    EXPECT_TRUE(is_empty_state(t.left(-3)));
    EXPECT_TRUE(is_empty_state(TextBuffer().left(4)));
    TextBuffer whole = t.left(100);
    EXPECT_EQ(str(whole), "abcdef");
    EXPECT_EQ(whole.capacity, -7);
    TextBuffer two = t.left(2);
    EXPECT_EQ(str(two), "ab");
    EXPECT_EQ(two.capacity, -3);

    EXPECT_EQ(str(t.mid(-5)), "abcdef");
    EXPECT_EQ(str(t.mid(0)), "abcdef");
    TextBuffer tail = t.mid(4);
    EXPECT_EQ(str(tail), "ef");
    EXPECT_EQ(tail.capacity, -3);
    EXPECT_TRUE(is_empty_state(t.mid(6)));
    EXPECT_TRUE(is_empty_state(t.mid(INT_MAX)));
    EXPECT_EQ(str(t), "abcdef");
}

TEST(TextConcat, FollowsTheTakeOverRules) {
    TextBuffer a("ab");
    TextBuffer b("cd");
    TextBuffer empty;
    Scope scope;
    TextBuffer ab = concat(a, b);
    EXPECT_EQ(str(ab), "abcd");
    EXPECT_EQ(ab.capacity, -16);
    EXPECT_EQ(scope.allocations(), 1);
    EXPECT_EQ(str(a), "ab");
    EXPECT_EQ(str(b), "cd");

    // concat(s, t) with an empty t allocates grow_capacity of the string's length.
    TextBuffer s_only = concat("0123456789ab", empty);
    EXPECT_EQ(s_only.capacity, -19);
    EXPECT_EQ(str(s_only), "0123456789ab");

    // One side empty: the other is assigned (a named side is copied).
    TextBuffer only_b = concat(empty, b);
    EXPECT_EQ(str(only_b), "cd");
    EXPECT_NE(only_b.data, b.data);

    // A temporary left side gives its block and the right side is appended.
    TextBuffer left_temp = TextBuffer::from_int(12);
    char* block = left_temp.data;
    TextBuffer joined = concat(left_temp, b);
    EXPECT_EQ(joined.data, block);
    EXPECT_EQ(str(joined), "12cd");
    EXPECT_EQ(joined.capacity, -35);
    EXPECT_TRUE(is_empty_state(left_temp));

    // The left temporary appends by the append rules: a larger roomy right temporary
    // gives its block. An empty side assigns from the other: a temporary gives its block.
    std::string forty(40, 'x');
    TextBuffer big_right = concat(TextBuffer(forty.c_str()), "!");  // temporary, 63 bytes
    char* big_block = big_right.data;
    EXPECT_EQ(concat(TextBuffer::from_int(12), big_right).data, big_block);
    TextBuffer lone = TextBuffer::from_int(7);
    char* lone_block = lone.data;
    EXPECT_EQ(concat(lone, empty).data, lone_block);
    TextBuffer lone2 = TextBuffer::from_int(8);
    char* lone2_block = lone2.data;
    EXPECT_EQ(concat("", lone2).data, lone2_block);

    // A temporary right side with room takes the left side in front.
    TextBuffer right_temp = TextBuffer::from_int(34);
    char* right_block = right_temp.data;
    TextBuffer joined2 = concat(a, right_temp);
    EXPECT_EQ(joined2.data, right_block);
    EXPECT_EQ(str(joined2), "ab34");
    EXPECT_TRUE(is_empty_state(right_temp));

    // A temporary right side filled exactly by both sides has no room for the zero: its
    // block is not used and it keeps its characters.
    std::string thirty_three(33, 'q');
    TextBuffer long_left(thirty_three.c_str());
    TextBuffer exactly_full = TextBuffer::from_int(12);  // 35 bytes = 33 + 2 characters
    ASSERT_EQ(exactly_full.capacity, -35);
    char* full_block = exactly_full.data;
    TextBuffer joined3 = concat(long_left, exactly_full);
    EXPECT_EQ(str(joined3), thirty_three + "12");
    EXPECT_NE(joined3.data, full_block);
    EXPECT_EQ(exactly_full.data, full_block);
    EXPECT_EQ(str(exactly_full), "12");

    // concat(s, t) leaves a temporary without room alone; concat(t, s) takes and grows it.
    TextBuffer tight = TextBuffer("abc").left(3);  // exactly 4 bytes
    char* tight_block = tight.data;
    TextBuffer prefixed = concat("x", tight);
    EXPECT_EQ(str(prefixed), "xabc");
    EXPECT_EQ(tight.data, tight_block);
    EXPECT_EQ(str(tight), "abc");
    TextBuffer suffixed = concat(tight, "y");
    EXPECT_EQ(str(suffixed), "abcy");
    EXPECT_EQ(suffixed.capacity, -grow_capacity(4));
    EXPECT_TRUE(is_empty_state(tight));

    // A temporary joined with itself still gives both halves.
    TextBuffer twice = TextBuffer::from_int(56);
    TextBuffer doubled = concat(twice, twice);
    EXPECT_EQ(str(doubled), "5656");
}

TEST(TextReading, AtFindEqualsAndEmptyView) {
    TextBuffer empty;
    EXPECT_EQ(empty.at(0), 0);
    empty.at(5) = 'X';  // the view is writable ...
    EXPECT_EQ(empty.at(3), 0);  // ... and reads zero again on the next access
    empty.at(0) = 'Y';
    EXPECT_EQ(empty.c_str()[0], 0);
    EXPECT_EQ(SHARED_EMPTY[0], 0);

    TextBuffer t("hello");
    EXPECT_EQ(t.at(1), 'e');
    EXPECT_EQ(t.at(5), 0);
    EXPECT_EQ(t.find('l'), 2);
    EXPECT_EQ(t.find('z'), -1);
    EXPECT_EQ(empty.find(0), -1);
    EXPECT_EQ(t.find(0), -1);

    EXPECT_TRUE(equals(empty, TextBuffer()));
    EXPECT_TRUE(equals(empty, ""));
    EXPECT_TRUE(equals(empty, static_cast<const char*>(nullptr)));
    EXPECT_FALSE(equals(TextBuffer("a"), TextBuffer("ab")));
    EXPECT_FALSE(equals(TextBuffer("a"), "aa"));
    EXPECT_TRUE(equals(TextBuffer("abc"), "abc"));
    EXPECT_FALSE(equals(TextBuffer("abc"), "abd"));

    EXPECT_EQ(compare_bytes(0, "a", "b"), 0);
    EXPECT_EQ(compare_bytes(3, "abc", "abd"), -1);
    EXPECT_EQ(compare_bytes(5, "abcde", "abcdd"), 1);
    EXPECT_EQ(compare_bytes(1, "\x80", "\x7f"), 1);  // bytes compare unsigned
    EXPECT_EQ(compare_bytes(9, "abcdefghi", "abcdefghi"), 0);
}

TEST(TextReading, ToIntReadsAsAtoiAndSaturates) {
    EXPECT_EQ(TextBuffer().to_int(), 0);
    EXPECT_EQ(TextBuffer("8000").to_int(), 8000);
    EXPECT_EQ(TextBuffer("-8000").to_int(), -8000);
    EXPECT_EQ(TextBuffer("b1").to_int(), 0);
    EXPECT_EQ(TextBuffer(" \t\r\n\v\f+12x").to_int(), 12);
    EXPECT_EQ(TextBuffer("=5").to_int(), 0);
    EXPECT_EQ(TextBuffer("- 5").to_int(), 0);
    EXPECT_EQ(TextBuffer("2147483647").to_int(), INT_MAX);
    EXPECT_EQ(TextBuffer("-2147483648").to_int(), INT_MIN);
    EXPECT_EQ(TextBuffer("2147483648").to_int(), INT_MAX);
    EXPECT_EQ(TextBuffer("99999999999").to_int(), INT_MAX);
    EXPECT_EQ(TextBuffer("-99999999999999999999999").to_int(), INT_MIN);
    EXPECT_EQ(TextBuffer("000000000000000000042").to_int(), 42);
}

TEST(TextRemoveAll, RemovesInPlace) {
    TextBuffer spaces("    ");
    char* block = spaces.data;
    spaces.remove_all(' ');
    EXPECT_EQ(spaces.length, 0);
    EXPECT_EQ(spaces.data, block);
    EXPECT_EQ(spaces.capacity, 16);
    expect_valid(spaces);

    TextBuffer t(" j1 b\t3 ");
    t.remove_all(' ');
    t.remove_all('\t');
    EXPECT_EQ(str(t), "j1b3");

    TextBuffer empty;
    empty.remove_all(' ');
    EXPECT_TRUE(is_empty_state(empty));
}

TEST(TextMoveTo, HandsOverTheFieldsUnchanged) {
    TextBuffer src = TextBuffer::from_int(99);
    TextBuffer dest("old");
    char* block = src.data;
    Scope scope;
    src.move_to(dest);
    EXPECT_EQ(dest.data, block);
    EXPECT_EQ(dest.capacity, -35);
    EXPECT_TRUE(is_empty_state(src));
    EXPECT_EQ(scope.frees(), 1);  // dest's old block
}

TEST(TextStorageExhaustion, LeavesEveryTextValid) {
    TextBuffer t("0123456789");
    std::string thirty(30, 'a');
    alloc_counter::fail_at(1);
    EXPECT_THROW(t.append(thirty.c_str()), std::bad_alloc);
    EXPECT_EQ(str(t), "0123456789");
    alloc_counter::fail_at(1);
    EXPECT_THROW(t.set_length(100), std::bad_alloc);
    EXPECT_EQ(str(t), "0123456789");
    alloc_counter::fail_at(1);
    EXPECT_THROW(TextBuffer::from_int(1), std::bad_alloc);
    TextBuffer temp = TextBuffer::from_int(3);
    alloc_counter::fail_at(1);
    EXPECT_THROW(concat(t, thirty.c_str()), std::bad_alloc);
    alloc_counter::fail_at(1);
    EXPECT_THROW(t.insert_front(thirty.c_str(), 30), std::bad_alloc);
    alloc_counter::fail_at(0);
    expect_valid(t);
    expect_valid(temp);
    EXPECT_EQ(str(temp), "3");
}

}  // namespace
