#include "unitfiles.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool lstatPath(const QString& filePath, struct stat& info)
{
    return ::lstat(QFile::encodeName(filePath).constData(), &info) == 0;
}

mode_t modeBits(QFileDevice::Permissions p)
{
    mode_t mode = 0;
    mode |= p & QFileDevice::ReadOwner ? S_IRUSR : 0;
    mode |= p & QFileDevice::WriteOwner ? S_IWUSR : 0;
    mode |= p & QFileDevice::ExeOwner ? S_IXUSR : 0;
    mode |= p & QFileDevice::ReadGroup ? S_IRGRP : 0;
    mode |= p & QFileDevice::WriteGroup ? S_IWGRP : 0;
    mode |= p & QFileDevice::ExeGroup ? S_IXGRP : 0;
    mode |= p & QFileDevice::ReadOther ? S_IROTH : 0;
    mode |= p & QFileDevice::WriteOther ? S_IWOTH : 0;
    mode |= p & QFileDevice::ExeOther ? S_IXOTH : 0;
    return mode;
}

} // namespace

bool isRegularFile(const QString& filePath)
{
    struct stat info;
    return lstatPath(filePath, info) && S_ISREG(info.st_mode);
}

bool entryExists(const QString& filePath)
{
    struct stat info;
    return lstatPath(filePath, info);
}

bool setRegularFilePermissions(const QString& filePath, QFileDevice::Permissions permissions)
{
    // Opened without following a link and without waiting on a FIFO; the
    // change goes to what was opened, so nothing can be swapped in between.
    const int fd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::fchmod(fd, modeBits(permissions)) == 0;
    ::close(fd);
    return ok;
}
