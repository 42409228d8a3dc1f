#pragma once
// Makes every allocation of this process, the library's included, throw
// std::bad_alloc while an object lives: a failure injected where nothing
// else can reach.
#include <atomic>

extern std::atomic<bool> failAllocations;

struct AllocationFailure
{
    AllocationFailure() { failAllocations = true; }
    AllocationFailure(const AllocationFailure &) = delete;
    AllocationFailure &operator=(const AllocationFailure &) = delete;
    ~AllocationFailure() { failAllocations = false; }
};
