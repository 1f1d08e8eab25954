#include "text/text_buffer.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

char SHARED_EMPTY[1] = {0};
char EMPTY_VIEW[1] = {0};

namespace {

constexpr int64_t MAX_BLOCK = std::numeric_limits<int32_t>::max();

// A length that a text may hold; throws when it would not fit a signed 32-bit size.
int32_t checked_length(int64_t n) {
    if (n < 0 || n >= MAX_BLOCK) throw std::length_error("text too long");
    return static_cast<int32_t>(n);
}

// Length of a zero-terminated string; a null pointer has none.
int32_t string_length(const char* s) {
    return s == nullptr ? 0 : checked_length(static_cast<int64_t>(std::strlen(s)));
}

char* allocate_block(int32_t size) {
    return static_cast<char*>(::operator new(static_cast<size_t>(size)));
}

int32_t magnitude(int32_t capacity) { return capacity < 0 ? -capacity : capacity; }

// Replaces t's block (if any) by a new one; keeps the temporary mark.
void replace_block(TextBuffer& t, char* block, int32_t size) noexcept {
    if (t.capacity != 0) ::operator delete(t.data);
    t.data = block;
    t.capacity = t.capacity < 0 ? -size : size;
}

void copy_bytes(char* dest, const char* src, int32_t n) noexcept {
    if (n > 0) std::memmove(dest, src, static_cast<size_t>(n));
}

// Fills an empty text with a fresh named block holding a's and b's characters.
void fill_joined(TextBuffer& r, const char* a, int32_t a_length, const char* b, int32_t b_length) {
    int32_t length = checked_length(int64_t{a_length} + b_length);
    int32_t size = grow_capacity(length);
    char* block = allocate_block(size);
    copy_bytes(block, a, a_length);
    copy_bytes(block + a_length, b, b_length);
    block[length] = 0;
    r.data = block;
    r.capacity = size;
    r.length = length;
}

}  // namespace

int32_t grow_capacity(int32_t n) {
    int64_t m = int64_t{n} + 1;
    int64_t size = m + (m >> 1);
    if (size < 16) size = 16;
    if (size > MAX_BLOCK) throw std::length_error("text too long");
    return static_cast<int32_t>(size);
}

int32_t compare_bytes(int32_t n, const char* a, const char* b) noexcept {
    if (n <= 0) return 0;
    int c = std::memcmp(a, b, static_cast<size_t>(n));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int32_t parse_int(const char* s) noexcept {
    const char* end = nullptr;
    return parse_int(s, end);
}

int32_t parse_int(const char* s, const char*& end) noexcept {
    end = s;
    if (s == nullptr) return 0;
    auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (is_space(*s)) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    // Saturate one past the largest magnitude, so both limits come out exact.
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    const char* digits = s;
    for (; *s >= '0' && *s <= '9'; ++s) {
        value = value * 10 + (*s - '0');
        if (value > limit) value = limit;
    }
    if (s != digits) end = s;
    if (negative) return static_cast<int32_t>(-value);
    return value >= limit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
}

TextBuffer::TextBuffer(const char* s) : TextBuffer() {
    int32_t n = string_length(s);
    if (n == 0) return;
    int32_t size = grow_capacity(n);
    data = allocate_block(size);
    std::memcpy(data, s, static_cast<size_t>(n) + 1);
    capacity = size;
    length = n;
}

TextBuffer::TextBuffer(TextBuffer& other) : TextBuffer() {
    if (other.capacity > 0) {
        if (other.length == 0) return;
        fill_joined(*this, other.data, other.length, nullptr, 0);
        return;
    }
    data = other.data;
    capacity = other.capacity;
    length = other.length;
    other.data = SHARED_EMPTY;
    other.capacity = 0;
    other.length = 0;
}

TextBuffer::TextBuffer(TextBuffer&& other) : TextBuffer(other) {}

TextBuffer::~TextBuffer() { release(); }

void TextBuffer::release() noexcept {
    if (capacity != 0) ::operator delete(data);
    data = SHARED_EMPTY;
    capacity = 0;
    length = 0;
}

void TextBuffer::assign(TextBuffer& src) {
    if (&src == this) {
        make_named();
        return;
    }
    if (src.capacity < 0 && magnitude(src.capacity) >= magnitude(capacity)) {
        src.move_to(*this);
    } else if (magnitude(capacity) > src.length) {
        copy_bytes(data, src.data, src.length + 1);
        length = src.length;
    } else if (src.length != 0) {
        int32_t size = grow_capacity(src.length);
        char* block = allocate_block(size);
        std::memcpy(block, src.data, static_cast<size_t>(src.length) + 1);
        replace_block(*this, block, size);
        length = src.length;
    }
    make_named();
}

void TextBuffer::assign(const char* s) {
    if (s == nullptr) {
        release();
        return;
    }
    int32_t n = string_length(s);
    make_named();
    if (capacity > n) {
        copy_bytes(data, s, n + 1);
        length = n;
    } else if (n != 0) {
        int32_t size = grow_capacity(n);
        char* block = allocate_block(size);
        std::memcpy(block, s, static_cast<size_t>(n) + 1);
        replace_block(*this, block, size);
        length = n;
    }
}

void TextBuffer::append(TextBuffer& src) {
    if (src.capacity < 0 && &src != this && magnitude(src.capacity) > int64_t{src.length} + length &&
        magnitude(src.capacity) >= magnitude(capacity)) {
        // The temporary's block holds the joined text: put our characters in front of its own.
        src.insert_front(data, length);
        src.move_to(*this);
    } else {
        append_counted(src.data, src.length);
    }
    make_named();
}

void TextBuffer::append(const char* s) {
    make_named();
    append_counted(s, string_length(s));
}

void TextBuffer::append_counted(const char* chars, int32_t count) {
    if (count <= 0) return;
    int32_t new_length = checked_length(int64_t{length} + count);
    if (new_length < magnitude(capacity)) {
        copy_bytes(data + length, chars, count + 1);
    } else {
        // Read the source before the old block, which it may lie in, is freed.
        int32_t size = grow_capacity(new_length);
        char* block = allocate_block(size);
        copy_bytes(block, data, length);
        std::memcpy(block + length, chars, static_cast<size_t>(count) + 1);
        replace_block(*this, block, size);
    }
    length = new_length;
}

void TextBuffer::insert_front(const char* chars, int32_t count) {
    if (count <= 0) return;
    int32_t new_length = checked_length(int64_t{length} + count);
    auto address = [](const char* p) { return reinterpret_cast<uintptr_t>(p); };
    bool clear_of_us = address(data) + static_cast<uintptr_t>(length) + 1 < address(chars) ||
                       address(chars) + static_cast<uintptr_t>(count) + 1 < address(data);
    if (new_length < magnitude(capacity) && clear_of_us) {
        copy_bytes(data + count, data, length + 1);
        std::memcpy(data, chars, static_cast<size_t>(count));
    } else {
        int32_t size = grow_capacity(new_length);
        char* block = allocate_block(size);
        std::memcpy(block, chars, static_cast<size_t>(count));
        std::memcpy(block + count, data, static_cast<size_t>(length) + 1);
        replace_block(*this, block, size);
    }
    length = new_length;
}

TextBuffer& TextBuffer::move_to(TextBuffer& dest) noexcept {
    if (&dest == this) return dest;
    dest.release();
    dest.data = data;
    dest.capacity = capacity;
    dest.length = length;
    data = SHARED_EMPTY;
    capacity = 0;
    length = 0;
    return dest;
}

void TextBuffer::set_length(int32_t n) {
    if (n <= 0) {
        release();
        return;
    }
    if (n >= magnitude(capacity)) {
        int32_t size = checked_length(n) + 1;
        char* block = allocate_block(size);
        std::memcpy(block, data, static_cast<size_t>(length) + 1);
        replace_block(*this, block, size);
    }
    length = n;
    data[n] = 0;
}

void TextBuffer::remove_all(char ch) noexcept {
    if (capacity == 0) return;
    int32_t write = 0;
    for (int32_t read = 0; read < length; ++read) {
        if (data[read] != ch) data[write++] = data[read];
    }
    data[write] = 0;
    length = write;
}

TextBuffer TextBuffer::left(int32_t n) const {
    TextBuffer r;
    int32_t k = n < length ? n : length;
    if (k > 0) {
        r.set_length(k);
        std::memcpy(r.data, data, static_cast<size_t>(k));
        r.make_temporary();
    }
    return r;
}

TextBuffer TextBuffer::mid(int32_t pos) const {
    TextBuffer r;
    int32_t p = pos > 0 ? pos : 0;
    if (p < length) {
        r.set_length(length - p);
        std::memcpy(r.data, data + p, static_cast<size_t>(length - p));
        r.make_temporary();
    }
    return r;
}

TextBuffer TextBuffer::from_int(int32_t value) {
    TextBuffer r;
    // A block of 35 bytes, far more than the 11 characters of the longest number, so that
    // a prefix and a suffix (a "j" and a ":" around a slot's number) go into the same block.
    r.set_length(34);
    char digits[12];
    int n = 0;
    int64_t v = value < 0 ? -int64_t{value} : int64_t{value};
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    int32_t i = 0;
    if (value < 0) r.data[i++] = '-';
    while (n > 0) r.data[i++] = digits[--n];
    r.data[i] = 0;
    r.data[magnitude(r.capacity) - 1] = 0;
    // Measured up to the first zero, as every text's length is (no zero stands before it).
    r.length = static_cast<int32_t>(std::strlen(r.data));
    r.make_temporary();
    return r;
}

char& TextBuffer::at(int32_t i) const noexcept {
    if (capacity != 0) return data[i];
    if (EMPTY_VIEW[0] != 0) EMPTY_VIEW[0] = 0;
    return EMPTY_VIEW[0];
}

const char* TextBuffer::c_str() const noexcept { return &at(0); }

int32_t TextBuffer::to_int() const noexcept { return parse_int(c_str()); }

int32_t TextBuffer::find(char ch) const noexcept {
    if (length <= 0) return -1;
    const void* hit = std::memchr(data, ch, static_cast<size_t>(length));
    return hit == nullptr ? -1 : static_cast<int32_t>(static_cast<const char*>(hit) - data);
}

TextBuffer concat(TextBuffer& a, TextBuffer& b) {
    TextBuffer r;
    if (a.length == 0) {
        r.assign(b);
    } else if (b.length == 0) {
        r.assign(a);
    } else if (a.capacity < 0 && &a != &b) {
        r.assign(a);
        r.append(b);
    } else if (b.capacity < 0 && &a != &b && int64_t{-b.capacity} > int64_t{a.length} + b.length) {
        b.insert_front(a.data, a.length);
        r.assign(b);
    } else {
        fill_joined(r, a.data, a.length, b.data, b.length);
    }
    r.make_temporary();
    return r;
}

TextBuffer concat(const char* s, TextBuffer& t) {
    TextBuffer r;
    int32_t n = string_length(s);
    if (n == 0) {
        r.assign(t);
    } else if (t.capacity < 0 && int64_t{-t.capacity} > int64_t{t.length} + n) {
        t.insert_front(s, n);
        r.assign(t);
    } else {
        fill_joined(r, s, n, t.data, t.length);
    }
    r.make_temporary();
    return r;
}

TextBuffer concat(TextBuffer& t, const char* s) {
    TextBuffer r;
    int32_t n = string_length(s);
    if (n == 0) {
        r.assign(t);
    } else if (t.capacity < 0) {
        r.assign(t);
        r.append_counted(s, n);
    } else {
        fill_joined(r, t.data, t.length, s, n);
    }
    r.make_temporary();
    return r;
}

bool equals(const TextBuffer& a, const TextBuffer& b) noexcept {
    return a.length == b.length && compare_bytes(a.length, a.data, b.data) == 0;
}

bool equals(const TextBuffer& a, const char* s) noexcept {
    size_t n = s == nullptr ? 0 : std::strlen(s);
    return static_cast<size_t>(a.length) == n && compare_bytes(a.length, a.data, s) == 0;
}
