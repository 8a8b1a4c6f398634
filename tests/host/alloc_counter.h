// Counts the calling thread's allocations through the global operator new while an
// AllocationCounter lives. The replacement operators live in alloc_counter.cpp.
#pragma once

class AllocationCounter
{
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    int count() const;
};
