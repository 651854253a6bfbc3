#include "outsidefile.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray content = "someone else's file\n";
const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions userBits = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
} // namespace

OutsideFile::OutsideFile()
{
    QFile file(path());
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    file.setPermissions(mode);
}

bool OutsideFile::unchanged() const
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) && file.readAll() == content && (file.permissions() & ~userBits) == mode;
}

bool OutsideFile::plant(const QString& filePath, Entry entry) const
{
    QFile::remove(filePath);
    const QByteArray place = QFile::encodeName(filePath);
    switch (entry) {
    case Entry::LinkHere:
        return ::symlink(QFile::encodeName(path()).constData(), place.constData()) == 0;
    case Entry::Fifo:
        return ::mkfifo(place.constData(), 0600) == 0;
    case Entry::LinkToEndlessDevice:
        return ::symlink("/dev/zero", place.constData()) == 0;
    }
    return false;
}
