#include "simstatestore.h"
#include "platform/boundedread.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTemporaryFile>

#include <cstdio>

namespace {
// A state file is a few kilobytes; anything far larger is not ours.
constexpr qint64 maxStateBytes = 4 * 1024 * 1024;
}

SimStateStore::SimStateStore(const QString& filePath)
    : file(filePath)
{
}

bool SimStateStore::exists() const
{
    return QFileInfo(file).isFile();
}

QJsonObject SimStateStore::state() const
{
    QMutexLocker lock(&mutex);
    refreshLocked();
    return current;
}

void SimStateStore::write(const QJsonObject& state)
{
    QMutexLocker lock(&mutex);
    writeLocked(state);
}

void SimStateStore::edit(const std::function<void(QJsonObject&)>& change)
{
    QMutexLocker lock(&mutex);
    refreshLocked();
    QJsonObject state = current;
    change(state);
    // The same state again is not written: a write per service call was most of its cost.
    if (state != current || lastBytes.isEmpty() || warnedBroken)
        writeLocked(state);
}

void SimStateStore::refreshLocked() const
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        lastBytes.clear(); // gone: the next edit writes it again
        return;
    }
    const QByteArray bytes = readBounded(in, maxStateBytes);
    if (bytes == lastBytes)
        return;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        if (!warnedBroken)
            qWarning(
                "Simulated unit: %s does not parse (%s at offset %d); the last good state stays in force",
                qPrintable(file), qPrintable(error.errorString()), error.offset);
        warnedBroken = true;
        return;
    }
    warnedBroken = false;
    lastBytes = bytes;
    current = doc.object();
}

void SimStateStore::writeLocked(const QJsonObject& state)
{
    const QByteArray bytes = QJsonDocument(state).toJson(QJsonDocument::Indented);
    QDir().mkpath(QFileInfo(file).absolutePath());
    // Replaced whole, so a reader in another process never sees half a state,
    // but not synced to disk: this is the simulator's bookkeeping, not a file of
    // the unit, and a sync on every service call dominated the call.
    QTemporaryFile out(file + QStringLiteral(".XXXXXX"));
    const QFile::Permissions readable
        = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    const QByteArray target = QFile::encodeName(file);
    if (!out.open() || !out.setPermissions(readable) || out.write(bytes) != bytes.size() || !out.flush()
        || std::rename(QFile::encodeName(out.fileName()).constData(), target.constData()) != 0) {
        qWarning("Simulated unit: cannot write %s", qPrintable(file));
        return;
    }
    out.setAutoRemove(false);
    lastBytes = bytes;
    current = state;
    warnedBroken = false;
}
