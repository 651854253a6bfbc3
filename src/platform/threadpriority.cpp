#include "threadpriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void lowerThreadPriority()
{
    // On Linux a thread's nice value is its own; a failure only leaves it as it was.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}
