#include "displayplugin.h"

#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>

#include <dlfcn.h>

bool preloadDisplayPlugin(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (!(c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            && !(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && c != QLatin1Char('_')
            && c != QLatin1Char('-'))
            return false;
    }
    const QString file = QStringLiteral("libq") + name + QStringLiteral(".so");
    // Where Qt looks first, then its own plugin folder.
    QStringList folders;
    const QString given = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (!given.isEmpty())
        folders << given;
    folders << QLibraryInfo::location(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    for (const QString& folder : qAsConst(folders)) {
        const QString path = folder + QLatin1Char('/') + file;
        if (!QFileInfo(path).isFile())
            continue;
        // As Qt loads a plugin, so that its own load finds this one. Never unloaded.
        return dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_LOCAL) != nullptr;
    }
    return false;
}
