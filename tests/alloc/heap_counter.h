// Counts heap allocations made by this process while counting is switched on. The test
// executable replaces malloc and its relatives (and so every operator new that rests on
// them), so nothing can allocate past the count.
#pragma once

#include <cstddef>

namespace lamdex::test {

std::size_t HeapAllocationCount();

// Counts allocations for as long as it lives.
class CountHeapAllocations {
public:
    CountHeapAllocations();
    ~CountHeapAllocations();
    CountHeapAllocations(const CountHeapAllocations&) = delete;
    CountHeapAllocations& operator=(const CountHeapAllocations&) = delete;
};

}  // namespace lamdex::test
