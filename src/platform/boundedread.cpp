#include "boundedread.h"

#include <QFile>

QByteArray readBounded(QIODevice& device, qint64 limit, bool* truncated)
{
    QByteArray content;
    if (truncated)
        *truncated = false;
    char chunk[16384];
    for (;;) {
        const qint64 room = limit - content.size();
        // With no room left, one more byte tells whether the content went on.
        const qint64 n = device.read(chunk, room > 0 ? qMin<qint64>(room, sizeof chunk) : 1);
        if (n <= 0)
            break;
        if (room <= 0) {
            if (truncated)
                *truncated = true;
            break;
        }
        content.append(chunk, static_cast<int>(n));
    }
    return content;
}

bool readBounded(const QString& filePath, qint64 limit, QByteArray* content, bool* truncated)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        content->clear();
        if (truncated)
            *truncated = false;
        return false;
    }
    *content = readBounded(file, limit, truncated);
    return true;
}
