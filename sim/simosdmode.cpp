#include "simosdmode.h"

#include <QFile>
#include <QJsonObject>

#include "platform/boundedread.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

void applyOsdResolution(SimUnit& unit, const QString& resolution)
{
    QString mode = resolution;
    if (mode == QLatin1String("Auto"))
        mode = child(unit.state(), QStringLiteral("display")).value(QStringLiteral("preferred")).toString();
    mode = mode.section(QLatin1Char(' '), 0, 0);
    if (mode.isEmpty())
        return;
    const QString path = unit.path(QStringLiteral("/usr/local/directfbrc"));
    QFile in(path);
    QByteArray content;
    if (in.open(QIODevice::ReadOnly))
        content = readBounded(in, maxTextFileBytes);
    QByteArray rewritten = "mode=" + mode.toLatin1() + '\n';
    for (const QByteArray& line : content.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("mode"))
            rewritten += line + '\n';
    }
    writeWhole(path, rewritten);
}
