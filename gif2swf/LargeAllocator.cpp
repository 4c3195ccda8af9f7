#include "LargeAllocator.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace gif2swf {
namespace {

constexpr size_t kLargePage = 2 * 1024 * 1024;
// From half a large page up: zeroing the rest of the page costs less than the page faults.
constexpr size_t kLargeFrom = kLargePage / 2;

} // namespace

// The one place that asks the system for large pages; other systems get plain memory.
void* allocateLarge(size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kLargeFrom) {
        const size_t rounded = (bytes + kLargePage - 1) & ~(kLargePage - 1);
        void* memory = std::aligned_alloc(kLargePage, rounded);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        // Only advice: without large pages the memory works as it is.
        madvise(memory, rounded, MADV_HUGEPAGE);
        return memory;
    }
#endif
    return ::operator new(bytes);
}

void freeLarge(void* memory, size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kLargeFrom) {
        std::free(memory);
        return;
    }
#else
    static_cast<void>(bytes);
#endif
    ::operator delete(memory);
}

void releaseFreeMemory() noexcept {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace gif2swf
