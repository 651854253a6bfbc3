#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "simrecords.h"
#include "simstatestore.h"

class Platform;
class SimPackage;

struct SimLogLine {
    int priority;
    QString text;
};

// The simulated receiver, rooted at a folder that stands for the unit's "/".
// Its description lives in <root>/sim/unit.json; what it was asked to do is
// recorded in JSON-lines files beside it. While it exists it is the unit that
// the device services of this process act on.
class SimUnit {
public:
    // Creates a complete default unit under root when it has no state file yet.
    // simulatedClock: sleeps advance a virtual clock instead of waiting.
    explicit SimUnit(const QString& root, bool simulatedClock = false);
    ~SimUnit();
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;

    static SimUnit* current();

    QString root() const { return rootPath; }
    QString path(const QString& unitAbsolutePath) const;
    // Like path(), but refuses (empty result) anything that leaves the root.
    QString pathInside(const QString& unitPath) const;
    Platform& platform();

    QJsonObject state() const;
    void writeState(const QJsonObject& state);
    void editState(const std::function<void(QJsonObject&)>& edit);
    // Changes the object under one top-level key, as one step like editState.
    void editSection(const QString& section, const std::function<void(QJsonObject&)>& edit);
    // Every later call of the service function or program returns `code`
    // (a program exits with it; -1: the program cannot be started); 0 clears.
    void setFailure(const QString& serviceOrProgram, int code);
    int failure(const QString& serviceOrProgram) const;
    // The simulated working time of a work function, on the unit's clock.
    void workDelay(const QString& function);
    // Holds the caller on real time while <root>/sim/hold/<name> exists (at
    // most 30 s), whatever the clock: a thread a test can keep busy.
    void holdWhileGated(const QString& name) const;

    QList<SimLogLine> logLines() const;
    QList<QStringList> commands() const;
    QList<QJsonObject> statistics() const;
    QList<QJsonObject> launches() const;
    void clearRecords();

    void recordLog(int priority, const QString& text);
    void recordCommand(const QStringList& programAndArguments);
    void recordStatistic(const QString& call, const QJsonArray& arguments);
    void recordLaunch(const QString& call, const QJsonArray& arguments);

    void sleepMs(int milliseconds);
    // Work on a real thread that the simulated clock must not outrun: each
    // simulated sleep first gives it up to 200 ms of real time to move on.
    void setBackgroundWork(std::function<bool(int realMs)> waitForProgress);
    qint64 nowMs() const;
    bool hasSimulatedClock() const { return simulatedClock; }

    // The USB stick: a folder under <root>/sim that mounting shows at /mnt/usb.
    QString usbStickPath() const;
    void insertUsbStick(bool inserted = true);
    bool isUsbMounted() const;
    // Puts a file on the stick (inserting it), and on /mnt/usb when mounted.
    bool writeUsbFile(const QString& name, const QByteArray& bytes);
    bool writeUsbPackage(const QString& fileName, const SimPackage& package);
    // 0 on success; otherwise the exit status of mount/umount.
    int mountUsb(QByteArray* message = nullptr);
    int unmountUsb(QByteArray* message = nullptr);

private:
    QString rootPath;
    bool simulatedClock;
    std::atomic<qint64> virtualNow;
    std::function<bool(int)> backgroundWork;
    SimStateStore store;
    SimRecords records;
    std::unique_ptr<Platform> ownPlatform;
    SimUnit* previous;
};
