#pragma once

#include <cstddef>

// Hands the heap's free pages back to the system. Work done ahead of need on
// another thread leaves its scratch in that thread's own heap, where nothing
// else would reuse it.
void returnFreeMemory();

// Grows the calling thread's own heap by about `bytes` in a few large steps.
// The C library grows a thread's heap a page at a time, each step a system
// call that makes every other thread of the process wait (the address space
// lock, a TLB flush on each core); a parse that allocates megabytes node by
// node pays that a thousand times. The pages are not touched: none of this
// shows as memory until used.
void reserveThreadHeap(std::size_t bytes);
