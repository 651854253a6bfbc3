// Ways for a test or a person to stretch the firmware's background work and
// the transmitter work functions on real time, and to make an upgrade package hang.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include "simprograms.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

void SimPrograms::holdWhileGated(const QString& name)
{
    unit.holdWhileGated(name);
}

void SimUnit::holdWhileGated(const QString& name) const
{
    const QString gate = root() + QStringLiteral("/sim/hold/") + name;
    QElapsedTimer held;
    held.start();
    while (QFileInfo::exists(gate) && held.elapsed() < 30000)
        QThread::msleep(10);
}

bool SimPrograms::packageHangs() const
{
    return child(unit.state(), QStringLiteral("upgrade")).value(QStringLiteral("mapHangs")).toBool();
}
