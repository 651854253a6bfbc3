#pragma once
// One program run by the supervisor, with fork and exec rather than QProcess:
// the child needs its own process group, a parent-death signal and a password
// at /dev/fd/3 set up between fork and exec, which QProcess cannot do.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

#include "sessionclients.h"

// What a child reads besides its arguments. The environment is inherited as it
// is, so no secret ever goes there.
struct ChildInput {
    std::optional<QByteArray> standardInput; // through a pipe, closed after the last byte
    std::optional<QByteArray> descriptor3; // a memory file the child alone holds, at /dev/fd/3
};

class ChildProcess {
public:
    // The end of standard error kept for the end's description.
    static constexpr int errorTailBytes = 4096;

    ChildProcess() = default;
    ~ChildProcess(); // a child still running is terminated
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs `program` (looked up on PATH, no shell) with `arguments` in a
    // process group of its own. False when it could not be run; end() says why.
    bool start(const QString& program, const QStringList& arguments, const ChildInput& input = {});

    // Waits until the child ends (true) or `wakeFd` becomes readable (false).
    // Standard error is passed through to ours meanwhile. Whatever else the
    // child left in its group is sent SIGTERM once it has ended.
    bool wait(int wakeFd = -1);

    // Ends the child's whole group: SIGTERM, and SIGKILL for what is left
    // after `graceMs`; returns once the child is gone.
    void terminate(int graceMs = 3000);

    bool running() const { return child > 0; }
    pid_t pid() const { return child; }
    const ClientEnd& end() const { return result; }

private:
    void pump(short errorEvents, short inputEvents);
    bool leaderEnded() const;
    void reap(); // the leader must have ended
    void closeDescriptors();

    pid_t child = -1;
    int errorRead = -1; // the child's standard error
    int inputWrite = -1; // the child's standard input, while bytes remain
    int exitWatch = -1; // a pidfd: readable once the child has ended; -1 where the kernel has none
    QByteArray pendingInput;
    ClientEnd result;
};
