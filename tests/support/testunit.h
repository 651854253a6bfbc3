#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "simunit.h"

class Platform;
struct TestUnitCapture;

// A fresh unit root in a temporary folder with a default simulated unit on the
// virtual clock, which the device services act on while the TestUnit lives.
// Qt debug and warning output is captured for the same span.
class TestUnit {
public:
    TestUnit();
    ~TestUnit();
    TestUnit(const TestUnit&) = delete;
    TestUnit& operator=(const TestUnit&) = delete;

    SimUnit& sim() { return *unit; }
    Platform& platform();
    QString root() const;
    QString path(const QString& unitPath) const;

    // Unit files, by their unit path ("/mnt/perm/VelmoDataA.xml").
    bool writeFile(const QString& unitPath, const QByteArray& bytes); // creates the folders
    QByteArray readFile(const QString& unitPath) const; // empty when missing
    bool exists(const QString& unitPath) const;

    // One fact of the simulated network, of "eth0" or of its "dhcp" server; an undefined value removes it.
    void setNetwork(const char* group, const char* key, const QJsonValue& value);

    QList<SimLogLine> logLines() const;
    bool hasLog(int priority, const QString& text) const; // exact text, "\n" included
    QStringList debugLines() const; // qDebug/qWarning/qInfo/qCritical texts
    QList<QStringList> commands() const;
    QList<QJsonObject> statistics() const;
    QList<QJsonObject> launches() const;
    int reboots() { return unit->state().value(QStringLiteral("reboots")).toInt(); }
    void clearRecords(); // the unit's records and the captured debug lines

private:
    QTemporaryDir dir;
    std::unique_ptr<SimUnit> unit;
    std::unique_ptr<TestUnitCapture> capture;
};
