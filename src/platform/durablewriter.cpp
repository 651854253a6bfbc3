#include "durablewriter.h"

#include "platform.h"

#include <QSaveFile>

DurableWriter::DurableWriter(Platform& platform) : platform(platform) {}

bool DurableWriter::writeFile(const QString& unitFilePath, const QByteArray& content)
{
    QSaveFile file(unitFilePath);
    // Copy-and-rename would fail on a read-only folder where an in-place write
    // could still work; the unit's folders are writable, so never fall back.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    platform.syncDirectory(unitFilePath);
    return true;
}
