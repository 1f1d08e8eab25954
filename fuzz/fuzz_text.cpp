// Differential fuzzer for TextBuffer: the input bytes are a program of text operations,
// run side by side on four TextBuffer slots and on a std::string model of each. After
// every operation each slot must hold its model's characters with a zero behind them,
// keep the state invariants, carry the temporary mark the operation gives it, and own
// its block alone. Any allocation inside an operation can be made to fail: the texts it
// touched must then be unchanged or empty, and nothing may leak or be freed twice.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "tests/support/alloc_counter.h"
#include "text/text_buffer.h"

namespace {

// Runs one text operation with the chosen allocation failing; disarmed on every way out,
// so that the model's own allocations never fail.
template <typename Operation>
void armed(int64_t fail_at, Operation operation) {
    alloc_counter::fail_at(fail_at);
    try {
        operation();
    } catch (...) {
        alloc_counter::fail_at(0);
        throw;
    }
    alloc_counter::fail_at(0);
}

constexpr int SLOTS = 4;
// Longer texts add nothing but time; an operation that would pass this is skipped.
constexpr size_t MAX_TEXT = 2048;

struct Model {
    std::string text;
    bool temporary = false;  // meaningful only while the slot owns a block
};

TextBuffer g_slots[SLOTS];
Model g_models[SLOTS];
Model g_before[SLOTS];

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

bool more(const Input& in) { return in.pos < in.size; }

uint8_t next_byte(Input& in) { return in.pos < in.size ? in.data[in.pos++] : 0; }

int32_t next_int(Input& in) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | next_byte(in);
    return static_cast<int32_t>(v);
}

// A small signed count: mostly near the interesting edges, sometimes anything.
int32_t next_count(Input& in) {
    uint8_t b = next_byte(in);
    if (b == 0xFF) return next_int(in);
    return static_cast<int32_t>(b % 80) - 8;
}

// Bytes up to the first zero, as a zero-terminated string would be read.
std::string next_string(Input& in) {
    size_t n = next_byte(in) % 48;
    std::string s;
    for (size_t i = 0; i < n && more(in); ++i) {
        char c = static_cast<char>(next_byte(in));
        if (c == '\0') break;
        s.push_back(c);
    }
    return s;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_text: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// Whether the text's characters are the model's, read in place: a check that holds copies nothing.
bool holds(const TextBuffer& t, const std::string& model) {
    return t.length >= 0 && static_cast<size_t>(t.length) == model.size() &&
           std::memcmp(t.data, model.data(), model.size()) == 0;
}

int32_t size_of_block(const TextBuffer& t) { return t.capacity < 0 ? -t.capacity : t.capacity; }

void check_invariants(const TextBuffer& t) {
    check(SHARED_EMPTY[0] == 0, "SHARED_EMPTY was written");
    if (t.capacity == 0) {
        check(t.data == SHARED_EMPTY, "empty text does not point at SHARED_EMPTY");
        check(t.length == 0, "empty text has a length");
        return;
    }
    check(t.data != SHARED_EMPTY && t.data != EMPTY_VIEW, "text with a block points at static storage");
    check(t.length >= 0 && t.length < size_of_block(t), "length outside 0 <= length < |capacity|");
    check(t.data[t.length] == '\0', "missing terminating zero");
    check(std::memchr(t.data, 0, static_cast<size_t>(t.length)) == nullptr, "zero byte before length");
    // The whole block must be there: AddressSanitizer stops here if it is smaller.
    volatile char last = t.data[size_of_block(t) - 1];
    static_cast<void>(last);
}

void check_all() {
    for (int i = 0; i < SLOTS; ++i) {
        const TextBuffer& t = g_slots[i];
        check_invariants(t);
        check(holds(t, g_models[i].text), "contents differ from the model");
        if (t.capacity != 0) check(t.is_temporary() == g_models[i].temporary, "wrong temporary mark");
        for (int j = 0; j < i; ++j) {
            check(t.capacity == 0 || g_slots[j].capacity == 0 || t.data != g_slots[j].data, "block shared");
        }
    }
}

// A source operand after an operation that may take its block over: it is left as it
// was, or emptied; only a temporary (or a text without characters) may be emptied.
void check_source(int index, const Model& before) {
    const TextBuffer& t = g_slots[index];
    if (t.capacity == 0 && t.length == 0) {
        check(before.temporary || before.text.empty(), "a named source was emptied");
        g_models[index] = Model{};
        return;
    }
    check(holds(t, before.text), "source operand changed");
    check(t.is_temporary() == before.temporary, "source operand's mark changed");
    g_models[index] = before;
}

// A zero-terminated argument: either bytes from the input or a tail of a slot's own
// characters (the receiver's included), or a null pointer.
struct StringArg {
    std::string own;
    const char* pointer;
    std::string value;  // what it reads as
};

void next_string_arg(Input& in, StringArg& arg) {
    uint8_t how = next_byte(in) % 8;
    if (how == 0) {
        arg.pointer = nullptr;
        arg.value.clear();
    } else if (how <= 2) {
        const TextBuffer& t = g_slots[next_byte(in) % SLOTS];
        int32_t off = t.length == 0 ? 0 : next_byte(in) % (t.length + 1);
        arg.pointer = t.data + off;
        arg.value = std::string(arg.pointer);
    } else {
        arg.own = next_string(in);
        arg.pointer = arg.own.c_str();
        arg.value = arg.own;
    }
}

int32_t model_to_int(const std::string& s) {
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

int32_t model_compare(const std::string& a, const std::string& b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x > y ? 1 : -1;
    }
    return 0;
}

// Places a produced text in a slot, mark and all.
void store(TextBuffer& produced, int k) {
    bool had_block = produced.capacity != 0;
    bool temporary = produced.is_temporary();
    check(!had_block || temporary, "a produced text is not marked temporary");
    produced.move_to(g_slots[k]);
    g_models[k].temporary = temporary;
}

// One step: the operation's slots and its arguments, and what it expects.
struct Step {
    Input& in;
    uint8_t op;
    int i;
    int j;
    int k;
    int64_t fail_at;
    Model* before;  // the models before the operation: g_before, kept from step to step
    //                 so that copying them into it reuses the strings' storage
    StringArg arg;
    std::string expected;
    TextBuffer r;
};

// Construction from a zero-terminated string
void op_construct(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    next_string_arg(st.in, st.arg);
    st.expected = st.arg.value;
    armed(st.fail_at, [&] { TextBuffer{st.arg.pointer}.move_to(st.r); });
    check(st.r.capacity >= 0, "a constructed text is temporary");
    st.r.move_to(t[st.i]);
    m[st.i] = Model{st.expected, false};
}

// Copy construction
void op_copy_construct(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    st.expected = m[st.j].text;
    bool was_temporary = t[st.j].capacity < 0;
    bool was_empty = t[st.j].capacity == 0;
    armed(st.fail_at, [&] { TextBuffer{t[st.j]}.move_to(st.r); });
    if (was_temporary || was_empty) {
        check(t[st.j].capacity == 0, "a copied temporary keeps its block");
        m[st.j] = Model{};
    } else {
        check(holds(t[st.j], st.expected) && t[st.j].capacity > 0, "a copied named text changed");
    }
    check(st.r.is_temporary() == was_temporary, "the copy has the wrong mark");
    st.r.move_to(t[st.i]);
    m[st.i] = Model{st.expected, was_temporary};
}

// assign(text)
void op_assign_text(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    st.expected = m[st.j].text;
    armed(st.fail_at, [&] { t[st.i].assign(t[st.j]); });
    if (st.i != st.j) check_source(st.j, st.before[st.j]);
    m[st.i] = Model{st.expected, false};
}

// assign(zero-terminated string)
void op_assign_string(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    next_string_arg(st.in, st.arg);
    st.expected = st.arg.value;
    armed(st.fail_at, [&] { t[st.i].assign(st.arg.pointer); });
    if (st.arg.pointer == nullptr) check(t[st.i].capacity == 0, "assign(null) keeps a block");
    m[st.i] = Model{st.expected, false};
}

// append(text)
void op_append_text(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    if (m[st.i].text.size() + m[st.j].text.size() > MAX_TEXT) return;
    st.expected = m[st.i].text + m[st.j].text;
    armed(st.fail_at, [&] { t[st.i].append(t[st.j]); });
    if (st.i != st.j) check_source(st.j, st.before[st.j]);
    m[st.i] = Model{st.expected, false};
}

// append(zero-terminated string)
void op_append_string(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    next_string_arg(st.in, st.arg);
    if (m[st.i].text.size() + st.arg.value.size() > MAX_TEXT) return;
    st.expected = m[st.i].text + st.arg.value;
    armed(st.fail_at, [&] { t[st.i].append(st.arg.pointer); });
    m[st.i] = Model{st.expected, false};
}

// append_counted with a terminated run, possibly the receiver's own tail
void op_append_counted(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    next_string_arg(st.in, st.arg);
    if (st.arg.pointer == nullptr || m[st.i].text.size() + st.arg.value.size() > MAX_TEXT) return;
    st.expected = m[st.i].text + st.arg.value;
    armed(st.fail_at, [&] { t[st.i].append_counted(st.arg.pointer, static_cast<int32_t>(st.arg.value.size())); });
    m[st.i].text = st.expected;
}

// insert_front with any run of a slot's bytes, the receiver's own included
void op_insert_front(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    const TextBuffer& src = t[st.j];
    int32_t off = src.length == 0 ? 0 : next_byte(st.in) % src.length;
    int32_t count = src.length == 0 ? 0 : next_byte(st.in) % (src.length - off + 1);
    if (m[st.i].text.size() + static_cast<size_t>(count) > MAX_TEXT) return;
    st.expected = m[st.j].text.substr(static_cast<size_t>(off), static_cast<size_t>(count)) + m[st.i].text;
    armed(st.fail_at, [&] { t[st.i].insert_front(src.data + off, count); });
    m[st.i].text = st.expected;
}

// move_to
void op_move_to(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    if (st.i == st.j) return;
    st.expected = m[st.j].text;
    m[st.i] = Model{st.expected, t[st.j].is_temporary()};
    t[st.j].move_to(t[st.i]);
    m[st.j] = Model{};
}

// set_length; the caller fills the new bytes, as the contract asks
void op_set_length(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    int32_t n = next_count(st.in);
    if (n > static_cast<int32_t>(MAX_TEXT)) return;
    int32_t old = t[st.i].length;
    st.expected = n <= 0 ? std::string() : m[st.i].text.substr(0, static_cast<size_t>(n));
    if (n > old) st.expected.append(static_cast<size_t>(n - old), '#');
    armed(st.fail_at, [&] { t[st.i].set_length(n); });
    for (int32_t p = old; p < n; ++p) t[st.i].at(p) = '#';
    if (n <= 0) check(t[st.i].capacity == 0, "set_length(n <= 0) keeps a block");
    m[st.i].text = st.expected;
}

// remove_all
void op_remove_all(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    char ch = static_cast<char>(next_byte(st.in));
    st.expected = m[st.i].text;
    std::erase(st.expected, ch);
    t[st.i].remove_all(ch);
    m[st.i].text = st.expected;
}

// concat(a, b)
void op_concat_texts(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    if (m[st.i].text.size() + m[st.j].text.size() > MAX_TEXT) return;
    st.expected = m[st.i].text + m[st.j].text;
    armed(st.fail_at, [&] { concat(t[st.i], t[st.j]).move_to(st.r); });
    check(holds(st.r, st.expected), "concat(a, b) wrong");
    check_source(st.j, st.before[st.j]);
    if (st.i != st.j) check_source(st.i, st.before[st.i]);
    store(st.r, st.k);
    m[st.k].text = st.expected;
}

// concat(s, t) or concat(t, s)
void op_concat_with_string(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    next_string_arg(st.in, st.arg);
    if (m[st.j].text.size() + st.arg.value.size() > MAX_TEXT) return;
    st.expected = st.op == 12 ? st.arg.value + m[st.j].text : m[st.j].text + st.arg.value;
    armed(st.fail_at, [&] {
        (st.op == 12 ? concat(st.arg.pointer, t[st.j]) : concat(t[st.j], st.arg.pointer)).move_to(st.r);
    });
    check(holds(st.r, st.expected), "concat with a string wrong");
    check_source(st.j, st.before[st.j]);
    store(st.r, st.k);
    m[st.k].text = st.expected;
}

// left or mid
void op_left_or_mid(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    int32_t n = next_count(st.in);
    const std::string& s = m[st.j].text;
    auto len = static_cast<int32_t>(s.size());
    if (st.op == 14) {
        st.expected = n <= 0 ? std::string() : s.substr(0, static_cast<size_t>(n < len ? n : len));
    } else {
        int32_t p = n > 0 ? n : 0;
        st.expected = p < len ? s.substr(static_cast<size_t>(p)) : std::string();
    }
    armed(st.fail_at, [&] { (st.op == 14 ? t[st.j].left(n) : t[st.j].mid(n)).move_to(st.r); });
    check(st.r.capacity == 0 || size_of_block(st.r) == st.r.length + 1, "left/mid block not exact");
    check(holds(t[st.j], m[st.j].text), "left/mid changed its operand");
    store(st.r, st.k);
    m[st.k].text = st.expected;
}

// from_int
void op_from_int(Step& st) {
    Model* m = g_models;
    int32_t v = next_int(st.in);
    st.expected = std::to_string(v);
    armed(st.fail_at, [&] { TextBuffer::from_int(v).move_to(st.r); });
    check(st.r.capacity == -35, "from_int block is not a 35-byte temporary");
    store(st.r, st.k);
    m[st.k].text = st.expected;
}

// release
void op_release(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    t[st.i].release();
    m[st.i] = Model{};
}

// the readers
void op_readers(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    const std::string& a = m[st.i].text;
    const std::string& b = m[st.j].text;
    char ch = static_cast<char>(next_byte(st.in));
    size_t at = a.find(ch);
    check(t[st.i].find(ch) == (at == std::string::npos ? -1 : static_cast<int32_t>(at)), "find wrong");
    check(t[st.i].to_int() == model_to_int(a), "to_int wrong");
    check(equals(t[st.i], t[st.j]) == (a == b), "equals wrong");
    check(equals(t[st.i], b.c_str()) == (a == b), "equals with a string wrong");
    size_t n = a.size() < b.size() ? a.size() : b.size();
    check(compare_bytes(static_cast<int32_t>(n), t[st.i].data, t[st.j].data) == model_compare(a, b, n),
          "compare_bytes wrong");
    check(std::strcmp(t[st.i].c_str(), a.c_str()) == 0, "c_str wrong");
    if (t[st.i].capacity == 0) {
        // An empty text's view reads zero, whatever an earlier holder wrote into it.
        t[st.i].at(next_count(st.in)) = 'w';
        check(t[st.i].at(next_count(st.in)) == '\0', "EMPTY_VIEW not reset");
    }
}

// A chain as the plug-in builds its texts: number, prefix, suffix, append
void op_plugin_chain(Step& st) {
    Model* m = g_models;
    TextBuffer* t = g_slots;
    int32_t v = next_byte(st.in);
    std::string number = std::to_string(v);
    if (m[st.i].text.size() + number.size() + 2 > MAX_TEXT) return;
    st.expected = m[st.i].text + "st.j" + number + ":";
    armed(st.fail_at, [&] { t[st.i].append(concat(concat("st.j", TextBuffer::from_int(v)), ":")); });
    m[st.i] = Model{st.expected, false};
}

// Every operation a step can run, chosen by the input's first byte.
constexpr void (*OPERATIONS[])(Step&) = {
    op_construct,
    op_copy_construct,
    op_assign_text,
    op_assign_string,
    op_append_text,
    op_append_string,
    op_append_counted,
    op_insert_front,
    op_move_to,
    op_set_length,
    op_remove_all,
    op_concat_texts,
    op_concat_with_string,
    op_concat_with_string,
    op_left_or_mid,
    op_left_or_mid,
    op_from_int,
    op_release,
    op_readers,
    op_plugin_chain,
};

// Runs one operation. The expected models are computed before it runs, so that nothing
// of the model allocates while a failure is armed.
void run_operation(Input& in) {
    constexpr size_t count = sizeof(OPERATIONS) / sizeof(OPERATIONS[0]);
    Step st{in, static_cast<uint8_t>(next_byte(in) % count), next_byte(in) % SLOTS, next_byte(in) % SLOTS,
            next_byte(in) % SLOTS, 0, g_before, {}, {}, {}};
    uint8_t fail_byte = next_byte(in);
    st.fail_at = fail_byte < 200 ? 0 : fail_byte - 199;  // mostly no failure
    for (int s = 0; s < SLOTS; ++s) {
        if (g_slots[s].capacity == 0) g_models[s].temporary = false;
        st.before[s] = g_models[s];
    }
    try {
        OPERATIONS[st.op](st);
    } catch (const std::bad_alloc&) {
        // Every text the operation touched is as it was, or empty. (Operations that make
        // the receiver named before they allocate may have changed its mark.)
        for (int s = 0; s < SLOTS; ++s) {
            check_invariants(g_slots[s]);
            if (g_slots[s].capacity == 0) {
                g_models[s] = Model{};
            } else {
                check(holds(g_slots[s], st.before[s].text), "a failed operation changed a text");
                g_models[s] = Model{st.before[s].text, g_slots[s].is_temporary()};
            }
        }
    }
    check_all();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size, 0};
    int steps = 0;
    while (more(in) && steps++ < 256) run_operation(in);
    for (int s = 0; s < SLOTS; ++s) {
        g_slots[s].release();
        g_models[s] = Model{};
    }
    return 0;
}
