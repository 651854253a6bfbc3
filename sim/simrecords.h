#pragma once

#include <QJsonValue>
#include <QList>
#include <QMutex>
#include <QString>

// What the simulated unit was asked to do, one JSON value per line in a file
// per kind, so that tests and people can read it back in order.
class SimRecords {
public:
    explicit SimRecords(const QString& directory);

    void append(const QString& kind, const QJsonValue& value);
    QList<QJsonValue> read(const QString& kind) const;
    void clear(const QString& kind);
    QString filePath(const QString& kind) const;

private:
    QString directory;
    mutable QMutex mutex;
};
