// Test support: the test binaries replace the global allocation operator with one that
// counts calls, remembers the last size asked for, and can be told to fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace alloc_counter {

struct Counts {
    int64_t allocations = 0;  // successful calls of operator new (all forms)
    int64_t frees = 0;        // calls of operator delete with a non-null pointer
    size_t last_size = 0;     // size asked for by the last successful allocation
};

// Counts since the last reset.
Counts counts();
void reset();

// Makes the k-th allocation from now (1 = the next one) throw std::bad_alloc, and every
// one after it too when `sticky`; k = 0 switches failing off.
void fail_at(int64_t k, bool sticky = false);

// Number of allocations attempted since the last reset, failed ones included.
int64_t attempts();

// Counts the allocations and frees of one scope.
class Scope {
public:
    Scope() : start_(counts()) {}
    int64_t allocations() const { return counts().allocations - start_.allocations; }
    int64_t frees() const { return counts().frees - start_.frees; }

private:
    Counts start_;
};

}  // namespace alloc_counter
