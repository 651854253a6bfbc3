#include "startupthread.h"

#include "platform/freememory.h"
#include "platform/threadpriority.h"

StartupThread::StartupThread(std::vector<std::function<void()>> jobs)
    : worker([jobs = std::move(jobs)] {
          lowerThreadPriority();
          for (const std::function<void()>& job : jobs)
              job();
          returnFreeMemory();
      })
{
}

StartupThread::~StartupThread()
{
    worker.join();
}
