#pragma once

// Lets the calling thread give way to the others: work started ahead of need
// must not slow down the start it is meant to speed up.
void lowerThreadPriority();
