#pragma once
// Log-on of directory users over LDAP: find the person, bind as them, read
// their groups and connections. The OSD polls once a second, so the work runs
// on its own thread and every answer to the caller is immediate.

#include "directoryconfig.h"

#include <QStringList>

#include <functional>
#include <list>
#include <memory>
#include <thread>

// The codes the OSD knows from the directory log-on.
enum DirectoryCode {
    DirectoryBound = 0,
    DirectoryInternalError = 1,
    DirectoryUnreachable = 2,
    DirectoryRunning = 4,
    DirectoryRefused = 6, // wrong credentials or unknown person
    DirectoryNoAnswer = 7,
};

struct DirectoryResult {
    QString privilege; // "Administrator", "Power User" or "User"
    QStringList connections;
};

class DirectoryLogon {
public:
    // Milliseconds, possibly simulated; the worker thread reads it too.
    using Clock = std::function<qint64()>;

    DirectoryLogon(const DirectoryConfig& config, Clock clock);
    ~DirectoryLogon();
    DirectoryLogon(const DirectoryLogon&) = delete;
    DirectoryLogon& operator=(const DirectoryLogon&) = delete;

    // 0 when the work started; a code when it ended at once. The password
    // (UTF-8, as directories store it) is copied, and the copy is zeroed once
    // the directory has it.
    int start(const QString& user, const QByteArray& password);
    QString user() const;
    // DirectoryRunning while the work goes on, then its code; never blocks.
    int status();
    // Read before complete(): what the directory said of the person.
    DirectoryResult result() const;
    // The code of a finished log-on; clears it. A running one is given up.
    int complete();
    // Blocks at most realMs until the state changes; true when it did.
    bool waitForProgress(int realMs);
    // The log lines since the last call, oldest first.
    QStringList takeLogLines();

    struct Attempt;
    struct Hub;

private:
    void reapFinished();

    DirectoryConfig config;
    Clock clock;
    std::unique_ptr<Hub> hub;
    // Under hub's mutex:
    std::shared_ptr<Attempt> current;
    // Attempts given up whose thread still waits on the network; joined when done.
    std::list<std::pair<std::shared_ptr<Attempt>, std::thread>> workers;
};
