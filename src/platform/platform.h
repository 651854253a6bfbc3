#pragma once
// The OSD's only door to the operating system besides the device services:
// where the unit's files live, how programs run, what eth0 looks like, and how
// long to wait. The unit implements it with the real system; development and
// tests use the simulated unit.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

struct ProgramResult {
    bool started = false;  // false: the program could not be run at all
    int exitCode = -1;     // exit status; -1 when it did not start or crashed
    QByteArray output;     // standard output, bounded by the runner
    bool timedOut = false; // killed for running past its time limit
};

struct NetworkFacts {
    bool up = false;
    bool running = false;
    QStringList addresses;   // IPv4 addresses, dotted
    QString netmask;         // of the first address
    QString hardwareAddress; // "AA:BB:CC:DD:EE:FF"
};

class Platform {
public:
    virtual ~Platform() = default;

    // Maps an absolute unit path ("/mnt/perm/VelmoDataA.xml") to where it lives.
    virtual QString unitPath(const QString& absolutePath) const = 0;

    // Runs a program with an argument list and waits for it. No shell is involved,
    // so no argument is ever parsed; output beyond maxOutput bytes is dropped.
    virtual ProgramResult run(const QString& program, const QStringList& arguments,
                              int maxOutput = 64 * 1024) = 0;
    // Starts a program without waiting for it (the "&" of the firmware commands).
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // run() in a working directory (empty: the current one), killed after
    // timeoutMs (negative: no limit), so a program that never exits cannot hang the GUI.
    virtual ProgramResult runIn(const QString& program, const QStringList& arguments,
                                const QString& workingDirectory, int timeoutMs, int maxOutput = 64 * 1024)
    {
        Q_UNUSED(workingDirectory)
        Q_UNUSED(timeoutMs)
        return run(program, arguments, maxOutput);
    }
    // startDetached() in a working directory.
    virtual bool startDetachedIn(const QString& program, const QStringList& arguments,
                                 const QString& workingDirectory)
    {
        Q_UNUSED(workingDirectory)
        return startDetached(program, arguments);
    }

    virtual NetworkFacts eth0() const = 0;

    // The prescribed sleeps and polls go through here so tests can run them fast.
    virtual void sleepMs(int milliseconds) = 0;
    virtual qint64 nowMs() const = 0;

    // Makes the directory entry of a file (already synced itself) durable, so a
    // rename into place survives a power cut.
    virtual bool syncDirectory(const QString& unitFilePath) = 0;
};

// The platform of the unit this binary is built for.
std::unique_ptr<Platform> createUnitPlatform();
