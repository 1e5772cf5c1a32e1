// The C++ heap operators and the pure-virtual trap of lumaspire.scr, over the C heap.
// The C++ runtime's own versions throw std::bad_alloc, which would bring its whole
// exception machinery (and its name demangler) into a program that never throws.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size)
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size)
{
    return std::malloc(size ? size : 1);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

// A call through a vtable slot that was never filled: a bug, so the process stops.
extern "C" void __cxa_pure_virtual()
{
    std::abort();
}
