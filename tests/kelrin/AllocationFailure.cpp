// The replaceable global allocation functions, which the loaded library's
// allocations reach too. Delete pairs with malloc, as new does here.
#include "AllocationFailure.h"

#include <cstdlib>
#include <new>

std::atomic<bool> failAllocations{false};

void *operator new(std::size_t size)
{
    if (failAllocations)
        throw std::bad_alloc();
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void *memory) noexcept
{
    std::free(memory);
}

void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}
