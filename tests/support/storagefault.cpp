#include "storagefault.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

namespace {
QString target;
int skipped = 0;
QtMessageHandler previous = nullptr;

void watch(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text == QLatin1String("copying db_A to db_B.") && !target.isEmpty() && skipped-- <= 0) {
        QFile::remove(target);
        QDir().mkpath(target);
        target.clear();
    }
    if (previous)
        previous(type, context, text);
}
} // namespace

FailNextDatabaseChange::FailNextDatabaseChange(const QString& copyAFilePath, bool armed, int storedFirst)
    : armed(armed)
{
    if (!armed)
        return;
    target = copyAFilePath;
    skipped = storedFirst;
    previous = qInstallMessageHandler(watch);
}

FailNextDatabaseChange::~FailNextDatabaseChange()
{
    if (!armed)
        return;
    target.clear();
    qInstallMessageHandler(previous);
}
