#include "storagefault.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

namespace {
QString target;
QtMessageHandler previous = nullptr;

void watch(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text == QLatin1String("copying db_A to db_B.") && !target.isEmpty()) {
        QFile::remove(target);
        QDir().mkpath(target);
        target.clear();
    }
    if (previous)
        previous(type, context, text);
}
} // namespace

FailNextDatabaseChange::FailNextDatabaseChange(const QString& copyAFilePath, bool armed)
    : armed(armed)
{
    if (!armed)
        return;
    target = copyAFilePath;
    previous = qInstallMessageHandler(watch);
}

FailNextDatabaseChange::~FailNextDatabaseChange()
{
    if (!armed)
        return;
    target.clear();
    qInstallMessageHandler(previous);
}
