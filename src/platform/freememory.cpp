#include "freememory.h"

#include <cstdlib>
#include <malloc.h>
#include <vector>

void returnFreeMemory()
{
    malloc_trim(0);
}

void reserveThreadHeap(std::size_t bytes)
{
    // Below the size the C library serves from mmap instead of the heap.
    constexpr std::size_t step = 96 * 1024;
    std::vector<void*> blocks;
    blocks.reserve(bytes / step + 1);
    for (std::size_t reserved = 0; reserved < bytes; reserved += step)
        blocks.push_back(std::malloc(step));
    for (void* block : blocks)
        std::free(block);
}
