#include "displayrules.h"

QStringList standardResolutions()
{
    return { QStringLiteral("1920x1200 60Hz"), QStringLiteral("1920x1080 60Hz"),
        QStringLiteral("1680x1050 60Hz"), QStringLiteral("1600x1200 60Hz"), QStringLiteral("1440x900 60Hz"),
        QStringLiteral("1400x1050 60Hz"), QStringLiteral("1280x1024 60Hz"), QStringLiteral("1280x960 60Hz"),
        QStringLiteral("1280x800 60Hz"), QStringLiteral("1280x768 60Hz"), QStringLiteral("1280x720 60Hz"),
        QStringLiteral("1152x864 60Hz"), QStringLiteral("1024x768 60Hz"), QStringLiteral("800x600 60Hz"),
        QStringLiteral("640x480 60Hz") };
}

QStringList osdResolutions()
{
    return { QStringLiteral("800x600"), QStringLiteral("1280x720"), QStringLiteral("1280x1024"),
        QStringLiteral("1920x1080"), QStringLiteral("Auto") };
}

QStringList monitorResolutions(const QString& preferred, const QStringList& table, bool* usable)
{
    QStringList list;
    for (const QString& mode : QStringList { preferred } + table) {
        if (!mode.isEmpty() && !list.contains(mode))
            list << mode;
    }
    const QStringList standard = standardResolutions();
    bool anyStandard = false;
    for (const QString& mode : qAsConst(list))
        anyStandard = anyStandard || standard.contains(mode);
    if (usable)
        *usable = anyStandard;
    return anyStandard ? list : standard;
}

QStringList sessionResolutions(const QStringList& monitor)
{
    QStringList list = monitor;
    list.removeAll(QStringLiteral("3840x2160 60Hz"));
    list.removeAll(QStringLiteral("1920x1200 60Hz"));
    return list;
}

QString resolutionOfItem(const QString& item)
{
    return item.section(QLatin1Char(' '), 0, 0);
}

QString osdModeFromDirectfb(const QByteArray& content)
{
    QString mode;
    bool met = false;
    for (const QByteArray& raw : content.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith("mode"))
            continue;
        met = true;
        mode = QString::fromLatin1(line.mid(line.indexOf('=') + 1)).trimmed();
        if (line.indexOf('=') < 0)
            mode.clear();
    }
    if (!met)
        return QString();
    for (const QString& item : osdResolutions()) {
        if (item != QLatin1String("Auto") && item == mode)
            return item;
    }
    return QString();
}
