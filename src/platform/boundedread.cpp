#include "boundedread.h"

#include <QFile>

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray readBounded(QIODevice& device, qint64 limit, bool* truncated)
{
    QByteArray content;
    if (truncated)
        *truncated = false;
    // A file's own size, never the limit, is reserved: the buffer otherwise
    // doubles past it and a kept copy carries the slack.
    if (!device.isSequential() && device.size() > 0)
        content.reserve(static_cast<int>(qMin(device.size(), qMin<qint64>(limit, INT_MAX - 1))));
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
    content->clear();
    if (truncated)
        *truncated = false;
    // No link is followed and a FIFO cannot block the open; only a regular
    // file is read, so a device or a pipe never feeds an endless stream.
    const int fd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    *content = readBounded(file, limit, truncated);
    return true;
}
