#include "durablewriter.h"

#include "platform.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// A fresh temporary file beside the target, never an existing entry.
int createTemporary(const QByteArray& target, mode_t mode, QByteArray& temporary)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = target + ".tmp" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

DurableWriter::DurableWriter(Platform& platform) : platform(platform) {}

bool DurableWriter::writeFile(const QString& unitFilePath, const QByteArray& content)
{
    // Written with plain system calls, every result checked: a buffered writer
    // can report success after its last flush failed on a full disk and put an
    // empty file in place of the old one.
    const QByteArray target = QFile::encodeName(unitFilePath);
    struct stat existing;
    const bool found = ::lstat(target.constData(), &existing) == 0;
    if (found && S_ISDIR(existing.st_mode))
        return false;
    const bool replacesFile = found && S_ISREG(existing.st_mode);

    QByteArray temporary;
    const mode_t mode = privateFiles ? 0600 : replacesFile ? existing.st_mode & 07777 : 0666;
    const int fd = createTemporary(target, mode, temporary);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, content.constData(), content.size());
    // The old file's permissions carry over, as an in-place write would keep them.
    if (ok && (replacesFile || privateFiles))
        ok = ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    // rename() replaces a symbolic link itself, never the file it points to.
    if (!ok || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    platform.syncDirectory(unitFilePath);
    return true;
}

bool writeIntoStream(const QString& path, const QByteArray& content, QString* reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *reason = errno == ENXIO ? QStringLiteral("nothing reads from it")
                                 : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat opened;
    bool ok = ::fstat(fd, &opened) == 0;
    if (ok && !S_ISCHR(opened.st_mode) && !S_ISBLK(opened.st_mode) && !S_ISFIFO(opened.st_mode)) {
        *reason = QStringLiteral("it is no device or pipe");
        ::close(fd);
        return false;
    }
    // Once open, written as any program writes there: waiting for a slow reader.
    const int flags = ok ? ::fcntl(fd, F_GETFL) : -1;
    ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0
        && writeAll(fd, content.constData(), content.size());
    if (!ok)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return ::close(fd) == 0 && ok;
}
