#include "tests/support/alloc_counter.h"

#include <cstdlib>
#include <new>

namespace {

alloc_counter::Counts g_counts;
int64_t g_attempts = 0;
int64_t g_fail_at = 0;  // attempt number that fails; 0 = none
bool g_sticky = false;

void* allocate(size_t size) {
    ++g_attempts;
    if (g_fail_at != 0 && (g_attempts == g_fail_at || (g_sticky && g_attempts > g_fail_at))) {
        return nullptr;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) {
        ++g_counts.allocations;
        g_counts.last_size = size;
    }
    return p;
}

void deallocate(void* p) noexcept {
    if (p != nullptr) {
        ++g_counts.frees;
        std::free(p);
    }
}

}  // namespace

namespace alloc_counter {

Counts counts() { return g_counts; }

void reset() {
    g_counts = Counts{};
    g_attempts = 0;
    g_fail_at = 0;
    g_sticky = false;
}

void fail_at(int64_t k, bool sticky) {
    g_fail_at = k == 0 ? 0 : g_attempts + k;
    g_sticky = sticky;
}

int64_t attempts() { return g_attempts; }

}  // namespace alloc_counter

void* operator new(size_t size) {
    void* p = allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t size) {
    void* p = allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { deallocate(p); }
void operator delete[](void* p) noexcept { deallocate(p); }
void operator delete(void* p, size_t) noexcept { deallocate(p); }
void operator delete[](void* p, size_t) noexcept { deallocate(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { deallocate(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { deallocate(p); }
