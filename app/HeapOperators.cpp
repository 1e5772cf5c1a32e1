// The C++ heap operators and the pure-virtual trap of lumaspire.scr, over the C heap.
// The C++ runtime's own versions throw std::bad_alloc, which would bring its whole
// exception machinery (and its name demangler) into a program that never throws.
#include <cstdlib>
#include <new>
#include <bits/functexcept.h>

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

// What the standard containers call where they would throw (a length past their largest, a
// failed allocation): the runtime's versions bring its exception machinery, its name
// demangler and their imports (NT-only ones among them). A program that never throws stops.
namespace std {
void __throw_bad_alloc()
{
    std::abort();
}

void __throw_bad_array_new_length()
{
    std::abort();
}

void __throw_length_error(const char*)
{
    std::abort();
}

void __throw_logic_error(const char*)
{
    std::abort();
}

void __throw_out_of_range(const char*)
{
    std::abort();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    std::abort();
}

void __throw_invalid_argument(const char*)
{
    std::abort();
}
}  // namespace std
