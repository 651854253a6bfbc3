#pragma once

#include "database/databasestorage.h"

#include <future>

class Platform;

// Copy A read, parsed and hashed ahead of the storage, on another thread while
// the application connects to the display. The storage takes the result
// (DatabaseStorage::adopt) and uses it only for the very bytes its own read of
// copy A finds.
class DatabasePrefetch {
public:
    explicit DatabasePrefetch(const Platform& platform);

    // The work itself, on whichever thread runs it; exactly once.
    void run();

private:
    friend class DatabaseStorage;
    // Waits until run() has finished, then hands its result over once.
    DatabaseStorage::KnownCopy take();

    const QString file;
    std::promise<DatabaseStorage::KnownCopy> result;
    std::future<DatabaseStorage::KnownCopy> done;
};
