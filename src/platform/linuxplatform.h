#pragma once

#include "platform.h"

// The real system: unit paths are the paths themselves, programs run by
// fork/exec with an argument list, eth0 is the kernel's.
class LinuxPlatform : public Platform {
public:
    explicit LinuxPlatform(const QString& root = QStringLiteral("/"));

    QString unitPath(const QString& absolutePath) const override;
    ProgramResult run(const QString& program, const QStringList& arguments,
                      int maxOutput = 64 * 1024) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    ProgramResult runIn(const QString& program, const QStringList& arguments, const QString& workingDirectory,
                        int timeoutMs, int maxOutput = 64 * 1024) override;
    bool startDetachedIn(const QString& program, const QStringList& arguments,
                         const QString& workingDirectory) override;
    NetworkFacts eth0() const override;
    void sleepMs(int milliseconds) override;
    qint64 nowMs() const override;
    bool syncDirectory(const QString& unitFilePath) override;

private:
    QString root;
};
