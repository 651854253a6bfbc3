#pragma once

// Hands the heap's free pages back to the system. Work done ahead of need on
// another thread leaves its scratch in that thread's own heap, where nothing
// else would reuse it.
void returnFreeMemory();
