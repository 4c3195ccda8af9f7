#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

// Memory for pictures of megabytes. Where the system offers them (Linux's transparent huge
// pages) it comes in 2 MB pages, so that first touching it costs a page fault per 2 MB
// instead of per 4 kB (on the 2048 x 2048 still page faults were much of the time: README.md).
// Elsewhere, and for small buffers, it is plain operator new.
namespace gif2swf {

void* allocateLarge(size_t bytes);
void freeLarge(void* memory, size_t bytes) noexcept;

// Gives the memory freed by a finished movie back to the system (glibc keeps freed blocks in
// each thread's heap), so that a run of many movies (--each) holds about what one needs.
void releaseFreeMemory() noexcept;

// Also leaves elements uninitialised on resize(): the buffers it serves are written over
// whole, so zeroing them first (16 MB for the largest picture) would only cost time.
template <typename T> struct LargeAllocator {
    using value_type = T;
    template <typename U> struct rebind { using other = LargeAllocator<U>; };

    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(size_t count) { return static_cast<T*>(allocateLarge(count * sizeof(T))); }
    void deallocate(T* memory, size_t count) noexcept { freeLarge(memory, count * sizeof(T)); }

    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <typename U> bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
    template <typename U> bool operator!=(const LargeAllocator<U>&) const noexcept { return false; }
};

// A picture's pixels (colour ids), row after row.
using PictureBuffer = std::vector<uint32_t, LargeAllocator<uint32_t>>;

} // namespace gif2swf
