#pragma once

#include <QString>

// While it lives, the next database change (after `storedFirst` that are
// stored) is made in memory but cannot be stored: copy A becomes a folder the
// moment the storage starts the change (when it mirrors copy A to copy B).
// Unarmed it does nothing, for the rows of a table that store.
class FailNextDatabaseChange {
public:
    explicit FailNextDatabaseChange(const QString& copyAFilePath, bool armed = true, int storedFirst = 0);
    ~FailNextDatabaseChange();
    FailNextDatabaseChange(const FailNextDatabaseChange&) = delete;
    FailNextDatabaseChange& operator=(const FailNextDatabaseChange&) = delete;
    explicit operator bool() const { return armed; }

private:
    bool armed;
};
