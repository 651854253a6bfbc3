#include "simplatform.h"

#include <QDir>
#include <QJsonObject>

#include "platform/linuxplatform.h"
#include "simprograms.h"
#include "simservicesupport.h"
#include "simunit.h"

SimPlatform::SimPlatform(SimUnit& unit)
    : unit(unit)
{
}

QString SimPlatform::unitPath(const QString& absolutePath) const
{
    return unit.path(absolutePath);
}

ProgramResult SimPlatform::run(const QString& program, const QStringList& arguments, int maxOutput)
{
    ProgramResult result = SimPrograms(unit).run(program, arguments);
    if (result.output.size() > maxOutput)
        result.output.truncate(qMax(0, maxOutput));
    return result;
}

ProgramResult SimPlatform::runIn(const QString& program, const QStringList& arguments,
                                 const QString& workingDirectory, int timeoutMs, int maxOutput)
{
    Q_UNUSED(workingDirectory)
    ProgramResult result = SimPrograms(unit).run(program, arguments, timeoutMs);
    if (result.output.size() > maxOutput)
        result.output.truncate(qMax(0, maxOutput));
    return result;
}

bool SimPlatform::startDetached(const QString& program, const QStringList& arguments)
{
    // The built-in programs finish at once, so a detached start simply runs them.
    return SimPrograms(unit).run(program, arguments).started;
}

NetworkFacts SimPlatform::eth0() const
{
    const QJsonObject eth0 = SimServices::child(
        SimServices::child(unit.state(), QStringLiteral("network")), QStringLiteral("eth0"));
    NetworkFacts facts;
    facts.up = eth0.value(QStringLiteral("up")).toBool();
    facts.running = eth0.value(QStringLiteral("running")).toBool();
    facts.hardwareAddress = eth0.value(QStringLiteral("mac")).toString();
    const QString address = eth0.value(QStringLiteral("address")).toString();
    // An interface that is down keeps its configured address, as on Linux.
    if (!address.isEmpty()) {
        facts.addresses << address;
        facts.netmask = eth0.value(QStringLiteral("netmask")).toString();
    }
    return facts;
}

void SimPlatform::sleepMs(int milliseconds)
{
    unit.sleepMs(milliseconds);
}

qint64 SimPlatform::nowMs() const
{
    return unit.nowMs();
}

bool SimPlatform::syncDirectory(const QString& unitFilePath)
{
    return LinuxPlatform().syncDirectory(unitFilePath);
}

std::unique_ptr<Platform> createUnitPlatform()
{
    // One unit for the life of the process; it stays reachable, so it is no leak.
    static SimUnit* unit = [] {
        QString root = qEnvironmentVariable("VELMO_UNIT_ROOT");
        if (root.isEmpty())
            root = QDir::homePath() + QStringLiteral("/.local/share/velmogui/unit");
        return new SimUnit(root, false);
    }();
    return std::make_unique<SimPlatform>(*unit);
}
