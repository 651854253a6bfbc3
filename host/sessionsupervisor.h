#pragma once
// The loop the unit runs outside the OSD: the OSD, then the session it
// prepared, then the OSD again with the reason the session ended.

#include <QString>
#include <QStringList>
#include <functional>

class Platform;

class SessionSupervisor {
public:
    // priority: 5 for what happens, 3 for what went wrong (syslog's levels).
    using Log = std::function<void(int priority, const QString& line)>;

    // A run shorter than this that did not end normally is a quick failure.
    static constexpr int quickRunMs = 5000;
    static constexpr int maxBackoffMs = 60000;

    // selfProgram: this supervisor's own executable, which reports the exit
    // status of a client that runs inside a terminal.
    SessionSupervisor(Platform& platform, const QString& osdProgram, const QStringList& osdArguments,
        const QString& selfProgram, int backoffBaseMs, Log log);

    // Runs until SIGTERM, SIGINT or SIGHUP; the exit status for the process.
    int run();

    // Keeps the stop signals for run(): called first thing in main, before any
    // thread starts, so that no other thread takes them and dies of them.
    static void holdStopSignals();

    // The wait before the next OSD start after `quickFailures` in a row.
    static qint64 backoffMs(int baseMs, int quickFailures);

private:
    struct Outcome {
        int stopSignal = 0; // the stop signal that ended the run, or 0
        bool quickFailure = false;
        QString reason; // for the next OSD start
    };
    // One OSD run and the session it prepared, if any.
    Outcome runOnce(const QString& reason, int stopFd);

    Platform& platform;
    QString osdProgram;
    QStringList osdArguments;
    QString selfProgram;
    int backoffBaseMs;
    Log log;
};
