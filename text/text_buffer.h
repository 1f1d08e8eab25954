// TextBuffer: the byte-string value type of every text the plug-in handles.
//
// A text holds 8-bit characters with an explicit length and a zero byte after the
// last one. An empty text owns no block and points at SHARED_EMPTY. A text owns its
// block alone; operations that build a new text return it marked as a temporary
// (negative capacity), and a text that receives a temporary takes over its block
// instead of copying the characters.
//
// Storage: blocks come from the global operator new and go back through operator
// delete. Allocation failures propagate as exceptions; every text an operation
// touched is left valid. A length whose block would not fit in a signed 32-bit
// size is refused with std::length_error, never wrapped.
#pragma once

#include <cstdint>

// One zero byte shared by every empty text; nothing ever writes a non-zero value to it.
extern char SHARED_EMPTY[1];
// The byte that character access to an empty text yields; reset to zero on each access.
extern char EMPTY_VIEW[1];

// Block size for a text that must hold n characters: m + m/2 with m = n + 1, at least 16.
// Throws std::length_error when the size would exceed 2147483647.
int32_t grow_capacity(int32_t n);

// Sign of the first difference among n bytes taken as unsigned (-1, 0 or 1).
int32_t compare_bytes(int32_t n, const char* a, const char* b) noexcept;

struct TextBuffer {
    char* data;
    int32_t capacity;  // 0: no block; otherwise |capacity| is the block size, negative = temporary
    int32_t length;    // characters before the terminating zero

    constexpr TextBuffer() noexcept : data(SHARED_EMPTY), capacity(0), length(0) {}
    TextBuffer(const char* s);  // NOLINT: implicit, so that texts and literals mix freely
    // Copying a named text copies its characters; a temporary (or empty) source hands its
    // fields over and is left empty, and the copy stays temporary.
    TextBuffer(TextBuffer& other);
    TextBuffer(TextBuffer&& other);
    ~TextBuffer();

    TextBuffer& operator=(TextBuffer& other) { assign(other); return *this; }
    TextBuffer& operator=(TextBuffer&& other) { assign(other); return *this; }
    TextBuffer& operator=(const char* s) { assign(s); return *this; }

    // Frees the block, if any; the text becomes empty.
    void release() noexcept;

    void assign(TextBuffer& src);
    void assign(TextBuffer&& src) { assign(src); }
    void assign(const char* s);  // null: release

    void append(TextBuffer& src);
    void append(TextBuffer&& src) { append(src); }
    void append(const char* s);
    // Appends count bytes; chars[count] must be the zero byte that becomes the terminator.
    void append_counted(const char* chars, int32_t count);
    // Inserts count bytes (no terminator needed) before the characters.
    void insert_front(const char* chars, int32_t count);
    // dest frees its block and takes this text's fields unchanged; this text becomes empty.
    TextBuffer& move_to(TextBuffer& dest) noexcept;
    // n <= 0: release. Otherwise length := n, growing the block to exactly n + 1 bytes if needed;
    // the bytes between the old length and n are left for the caller to fill.
    void set_length(int32_t n);
    // Deletes every occurrence of ch, in place.
    void remove_all(char ch) noexcept;

    // New temporaries; this text is left unchanged.
    TextBuffer left(int32_t n) const;
    TextBuffer mid(int32_t pos) const;
    static TextBuffer from_int(int32_t value);

    // Writable even on a const text: const is the record's (its fields), not its block's,
    // as for a pointer; an empty text hands out the one writable EMPTY_VIEW byte.
    char& at(int32_t i) const noexcept;
    const char* c_str() const noexcept;
    int32_t to_int() const noexcept;  // as parse_int reads it; beyond 32 bits saturates
    int32_t find(char ch) const noexcept;

    bool is_temporary() const noexcept { return capacity < 0; }
    void make_named() noexcept { if (capacity < 0) capacity = -capacity; }
    void make_temporary() noexcept { if (capacity > 0) capacity = -capacity; }
};

TextBuffer concat(TextBuffer& a, TextBuffer& b);
inline TextBuffer concat(TextBuffer&& a, TextBuffer& b) { return concat(a, b); }
inline TextBuffer concat(TextBuffer& a, TextBuffer&& b) { return concat(a, b); }
inline TextBuffer concat(TextBuffer&& a, TextBuffer&& b) { return concat(a, b); }
TextBuffer concat(const char* s, TextBuffer& t);
inline TextBuffer concat(const char* s, TextBuffer&& t) { return concat(s, t); }
TextBuffer concat(TextBuffer& t, const char* s);
inline TextBuffer concat(TextBuffer&& t, const char* s) { return concat(t, s); }

bool equals(const TextBuffer& a, const TextBuffer& b) noexcept;
bool equals(const TextBuffer& a, const char* s) noexcept;

// atoi's reading: white space, optional sign, digits. A value beyond the signed 32-bit
// range saturates to the nearest limit. That is our choice, not a runtime's: the C standard
// leaves atoi's overflow undefined and the msvcrt.dll the DLL links wraps it modulo 2^32;
// saturation reads the same on every build, and no threshold, bit or button number that
// large means anything.
int32_t parse_int(const char* s) noexcept;
// The same, and where the reading stopped: just past the last digit, or s when there is
// none (white space and a sign alone read as 0 and take nothing).
int32_t parse_int(const char* s, const char*& end) noexcept;
