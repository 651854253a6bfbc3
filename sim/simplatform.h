#pragma once

#include "platform/platform.h"

class SimUnit;

// The platform of a simulated unit: unit paths live under its root, programs
// are the unit's built-in ones, eth0 is what its state says, and waiting uses
// its clock (virtual in tests).
class SimPlatform : public Platform {
public:
    explicit SimPlatform(SimUnit& unit);

    QString unitPath(const QString& absolutePath) const override;
    ProgramResult run(
        const QString& program, const QStringList& arguments, int maxOutput = 64 * 1024) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    ProgramResult runIn(const QString& program, const QStringList& arguments, const QString& workingDirectory,
                        int timeoutMs, int maxOutput = 64 * 1024) override;
    NetworkFacts eth0() const override;
    void sleepMs(int milliseconds) override;
    qint64 nowMs() const override;
    bool syncDirectory(const QString& unitFilePath) override;

private:
    SimUnit& unit;
};
