#pragma once
// A throw-away unit root for fuzz targets that read files: paths map into a
// temporary folder, no program runs, and writes skip the syncs that would make
// every input cost milliseconds (the writer is not what is fuzzed).

#include "platform/durablewriter.h"
#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

class FuzzPlatform : public Platform {
public:
    QString unitPath(const QString& absolutePath) const override { return dir.path() + absolutePath; }
    ProgramResult run(const QString&, const QStringList&, int) override { return ProgramResult(); }
    bool startDetached(const QString&, const QStringList&) override { return false; }
    NetworkFacts eth0() const override { return NetworkFacts(); }
    void sleepMs(int) override {}
    qint64 nowMs() const override { return 0; }
    bool syncDirectory(const QString&) override { return true; }

    // Puts `content` at a unit path, replacing whatever was there.
    void place(const QString& absolutePath, const QByteArray& content)
    {
        const QString path = unitPath(absolutePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }
    void remove(const QString& absolutePath) { QFile::remove(unitPath(absolutePath)); }

private:
    QTemporaryDir dir;
};

class FastWriter : public DurableWriter {
public:
    explicit FastWriter(Platform& platform) : DurableWriter(platform) {}
    bool writeFile(const QString& path, const QByteArray& content) override
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }
};
