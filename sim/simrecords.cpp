#include "simrecords.h"
#include "platform/boundedread.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Records are written by this program only; the bound keeps a runaway log from
// being read into memory whole.
constexpr qint64 maxRecordFileBytes = 64 * 1024 * 1024;

QByteArray encode(const QJsonValue& value)
{
    // QJsonDocument holds only arrays and objects; a bare value is wrapped.
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
}
}

SimRecords::SimRecords(const QString& directory)
    : directory(directory)
{
}

QString SimRecords::filePath(const QString& kind) const
{
    return directory + QLatin1Char('/') + kind + QStringLiteral(".jsonl");
}

void SimRecords::append(const QString& kind, const QJsonValue& value)
{
    QMutexLocker lock(&mutex);
    QDir().mkpath(directory);
    QFile out(filePath(kind));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    out.write(encode(value) + '\n');
}

QList<QJsonValue> SimRecords::read(const QString& kind) const
{
    QMutexLocker lock(&mutex);
    QList<QJsonValue> values;
    QFile in(filePath(kind));
    if (!in.open(QIODevice::ReadOnly))
        return values;
    const QList<QByteArray> lines = readBounded(in, maxRecordFileBytes).split('\n');
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            values << QJsonValue(doc.object());
        else if (doc.isArray())
            values << QJsonValue(doc.array());
    }
    return values;
}

void SimRecords::clear(const QString& kind)
{
    QMutexLocker lock(&mutex);
    QFile::remove(filePath(kind));
}
