#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMutex>
#include <QString>
#include <functional>

// The simulated unit's description: one JSON file that a person may edit while
// the OSD runs. Every read notices an edit on disk; a half-written or broken
// file keeps the last good state in force, so an editor saving slowly cannot
// make the unit vanish.
class SimStateStore {
public:
    explicit SimStateStore(const QString& filePath);

    QString filePath() const { return file; }
    bool exists() const;

    QJsonObject state() const;
    void write(const QJsonObject& state);
    // Read, change and write as one step, so that work functions on other
    // threads never lose each other's changes.
    void edit(const std::function<void(QJsonObject&)>& change);

private:
    void refreshLocked() const;
    void writeLocked(const QJsonObject& state);

    QString file;
    mutable QMutex mutex;
    mutable QByteArray lastBytes;
    mutable QJsonObject current;
    mutable bool warnedBroken = false;
};
