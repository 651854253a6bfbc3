#include "usbdevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "platform/boundedread.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"

namespace UnitPrograms {
const char mount[] = "/bin/mount";
const char umount[] = "/bin/umount";
const char cp[] = "/bin/cp";
const char rm[] = "/bin/rm";
const char sync[] = "/bin/sync";
const char flashLed[] = "/opt/kestrix/flash_led.sh";
} // namespace UnitPrograms

namespace {
// The kernel's table is small; a bound keeps a stuck read from growing.
constexpr qint64 mountTableBound = 256 * 1024;
constexpr int mountLineMax = 1023;
} // namespace

bool mountTableHasUsb(const QByteArray& mounts)
{
    for (const QByteArray& line : mounts.split('\n')) {
        const QList<QByteArray> fields = line.left(mountLineMax).simplified().split(' ');
        if (fields.size() >= 2 && fields.at(1) == "/mnt/usb")
            return true;
    }
    return false;
}

bool readMountTable(Platform& platform, QByteArray* mounts)
{
    // /proc files report a size of 0, so they are read as they come.
    QFile file(platform.unitPath(QStringLiteral("/proc/mounts")));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *mounts = readBounded(file, mountTableBound);
    return true;
}

bool isUsbMounted(Platform& platform)
{
    QByteArray mounts;
    return readMountTable(platform, &mounts) && mountTableHasUsb(mounts);
}

UsbMount remountUsb(Platform& platform)
{
    QByteArray mounts;
    if (!readMountTable(platform, &mounts))
        return UsbMount::TableUnreadable;
    platform.run(QLatin1String(UnitPrograms::umount), { QStringLiteral("-l"), QStringLiteral("/mnt/usb") });
    platform.sleepMs(1000);
    platform.run(QLatin1String(UnitPrograms::mount), { QStringLiteral("/dev/sda1"), QStringLiteral("/mnt/usb") });
    platform.sleepMs(3000);
    return isUsbMounted(platform) ? UsbMount::Mounted : UsbMount::NotMounted;
}

int removeTree(const QString& path)
{
    std::fprintf(stderr, "....................Removing %s\n", QFile::encodeName(path).constData());
    return removeEntryTree(path);
}

void removeMatching(Platform& platform, const QString& unitFolder, const QString& prefix)
{
    const QStringList names = QDir(platform.unitPath(unitFolder))
                                  .entryList({ prefix + QLatin1Char('*') },
                                             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        platform.run(QLatin1String(UnitPrograms::rm), { QStringLiteral("-r"), unitFolder + QLatin1Char('/') + name });
}

bool copyWholeFile(Platform& platform, const QString& source, const QString& target)
{
    const ProgramResult copy = platform.run(QLatin1String(UnitPrograms::cp), { source, target });
    const QFileInfo original(platform.unitPath(source));
    const QString written = platform.unitPath(target);
    const bool whole = copy.started && copy.exitCode == 0 && isRegularFile(written) && original.isFile()
        && QFileInfo(written).size() == original.size();
    if (!whole && isRegularFile(written))
        QFile::remove(written);
    return whole;
}
