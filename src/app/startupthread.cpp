#include "startupthread.h"

StartupThread::StartupThread(std::vector<std::function<void()>> jobs)
    : worker([jobs = std::move(jobs)] {
          for (const std::function<void()>& job : jobs)
              job();
      })
{
}

StartupThread::~StartupThread()
{
    worker.join();
}
