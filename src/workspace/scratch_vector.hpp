// A vector whose elements start uninitialised, for large scratch arrays that
// are written whole (on all threads) before they are read: no first pass of
// zeros on one thread, and its memory is first touched where it is written.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept
    {
    }
    // A value-initialised element (v(n), resize(n)) is default-initialised
    // instead: left as it is for numbers.
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <class T>
using ScratchVector = std::vector<T, DefaultInitAllocator<T>>;
