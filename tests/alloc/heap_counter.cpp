// Replaces the C allocator's entry points with counting ones that hand the work on to
// glibc's own. Symbols of the executable take precedence over the C library's, so every
// allocation in the process passes through here, operator new included.
#include "tests/alloc/heap_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

// Replacing the allocator is this file's purpose: it calls malloc and glibc's reserved names.
// NOLINTBEGIN(cppcoreguidelines-no-malloc,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocations{0};

void Note() {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
    Note();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    Note();
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) noexcept {
    Note();
    return __libc_realloc(block, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    Note();
    return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    Note();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, std::size_t alignment, std::size_t size) noexcept {
    Note();
    *block = __libc_memalign(alignment, size);
    return *block == nullptr ? 12 /* ENOMEM */ : 0;
}

void free(void* block) noexcept {
    __libc_free(block);
}

}  // extern "C"

// Spelled out too, in case a runtime's own operator new does not go through malloc.
void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

// NOLINTEND(cppcoreguidelines-no-malloc,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace lamdex::test {

std::size_t HeapAllocationCount() {
    return allocations.load();
}

CountHeapAllocations::CountHeapAllocations() {
    counting.store(true);
}

CountHeapAllocations::~CountHeapAllocations() {
    counting.store(false);
}

}  // namespace lamdex::test
