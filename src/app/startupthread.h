#pragma once

#include <functional>
#include <thread>
#include <vector>

// Start-up work done in order on one thread of its own, at a lower priority,
// while the application connects to the display. One thread, not one per job:
// the display server and the application's own start need the other cores.
class StartupThread {
public:
    explicit StartupThread(std::vector<std::function<void()>> jobs);
    ~StartupThread(); // waits for every job
    StartupThread(const StartupThread&) = delete;
    StartupThread& operator=(const StartupThread&) = delete;

private:
    std::thread worker;
};
