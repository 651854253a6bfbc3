#include "unitfiles.h"

#include <QFile>

#include <cstdio>

#include <dirent.h>
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

namespace {

// Deeper than any release or stick holds; beyond it the walk gives up rather
// than run out of stack or descriptors.
constexpr int removalDepthMax = 128;

int removeAt(int folder, const char* name, int depth)
{
    struct stat info;
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(folder, name, 0) == 0 ? 0 : -1;
    if (depth >= removalDepthMax)
        return -1;
    const int descriptor = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    DIR* entries = ::fdopendir(descriptor);
    if (!entries) {
        ::close(descriptor);
        return -1;
    }
    int result = 0;
    while (const struct dirent* entry = ::readdir(entries)) {
        const char* child = entry->d_name;
        if (child[0] == '.' && (child[1] == '\0' || (child[1] == '.' && child[2] == '\0')))
            continue;
        if (removeAt(::dirfd(entries), child, depth + 1) != 0) {
            result = -1;
            break;
        }
    }
    ::closedir(entries);
    if (result != 0)
        return result;
    return ::unlinkat(folder, name, AT_REMOVEDIR) == 0 ? 0 : -1;
}

} // namespace

bool replaceEntry(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

int removeEntryTree(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return -1;
    return removeAt(AT_FDCWD, name.constData(), 0);
}
