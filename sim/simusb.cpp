// The USB stick of the simulated unit. Mounting copies the stick's folder to
// /mnt/usb (keeping aside whatever the mount point held, as a real mount hides
// it); unmounting writes the mount point back to the stick and restores it.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/boundedread.h"
#include "simpackage.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

namespace {
const QString mountLine = QStringLiteral("/dev/sda1 /mnt/usb vfat rw,relatime,fmask=0022,dmask=0022 0 0");

bool copyTree(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    bool ok = true;
    const QFileInfoList entries
        = QDir(from).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& entry : entries) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isSymLink())
            continue; // a stick holds plain files; a link could point out of the root
        if (entry.isDir()) {
            ok = copyTree(entry.filePath(), target) && ok;
        } else if (entry.isFile()) {
            QFile::remove(target);
            ok = QFile::copy(entry.filePath(), target) && ok;
        }
        // A FIFO, socket or device holds no data to copy: opening a FIFO would
        // wait for a writer that never comes. A FAT stick cannot hold them.
    }
    return ok;
}

// A name on the stick: relative, without a way out of it.
bool isStickName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    const QString cleaned = QDir::cleanPath(name);
    return cleaned != QLatin1String("..") && !cleaned.startsWith(QLatin1String("../"));
}

QStringList mountsLines(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromLatin1(readBounded(in, maxTextFileBytes))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool writeMountsLines(const QString& file, const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + '\n';
    return writeWhole(file, bytes);
}

bool stickInserted(const QJsonObject& state)
{
    return child(state, QStringLiteral("usb")).value(QStringLiteral("inserted")).toBool();
}

bool isUsbLine(const QString& line)
{
    return line.split(QLatin1Char(' ')).value(1) == QLatin1String("/mnt/usb");
}
}

QString SimUnit::usbStickPath() const
{
    return rootPath + QStringLiteral("/sim/usb-stick");
}

void SimUnit::insertUsbStick(bool inserted)
{
    if (inserted)
        QDir().mkpath(usbStickPath());
    editSection(
        QStringLiteral("usb"), [&](QJsonObject& usb) { usb.insert(QStringLiteral("inserted"), inserted); });
}

bool SimUnit::isUsbMounted() const
{
    for (const QString& line : mountsLines(path(QStringLiteral("/proc/mounts"))))
        if (isUsbLine(line))
            return true;
    return false;
}

bool SimUnit::writeUsbFile(const QString& name, const QByteArray& bytes)
{
    if (!isStickName(name))
        return false;
    if (!stickInserted(state()))
        insertUsbStick(true);
    bool ok = writeWhole(usbStickPath() + QLatin1Char('/') + name, bytes);
    if (isUsbMounted())
        ok = writeWhole(path(QStringLiteral("/mnt/usb/")) + name, bytes) && ok;
    return ok;
}

bool SimUnit::writeUsbPackage(const QString& fileName, const SimPackage& package)
{
    return writeUsbFile(fileName, package.toBytes());
}

int SimUnit::mountUsb(QByteArray* message)
{
    const QString mounts = path(QStringLiteral("/proc/mounts"));
    if (!stickInserted(state())) {
        if (message)
            *message = "mount: /mnt/usb: special device /dev/sda1 does not exist.\n";
        return 32;
    }
    if (isUsbMounted()) {
        if (message)
            *message = "mount: /mnt/usb: /dev/sda1 already mounted on /mnt/usb.\n";
        return 32;
    }
    const QString mountPoint = path(QStringLiteral("/mnt/usb"));
    const QString underlay = rootPath + QStringLiteral("/sim/usb-underlay");
    QDir(underlay).removeRecursively();
    if (QFileInfo::exists(mountPoint) && !QDir().rename(mountPoint, underlay)) {
        if (message)
            *message = "mount: /mnt/usb: mount point is busy.\n";
        return 32;
    }
    if (!copyTree(usbStickPath(), mountPoint)) {
        if (message)
            *message = "mount: /mnt/usb: cannot read /dev/sda1.\n";
        return 32;
    }
    QStringList lines = mountsLines(mounts);
    lines << mountLine;
    writeMountsLines(mounts, lines);
    return 0;
}

int SimUnit::unmountUsb(QByteArray* message)
{
    if (!isUsbMounted()) {
        if (message)
            *message = "umount: /mnt/usb: not mounted.\n";
        return 32;
    }
    const QString mountPoint = path(QStringLiteral("/mnt/usb"));
    const QString underlay = rootPath + QStringLiteral("/sim/usb-underlay");
    // What was written while mounted stays on the stick.
    const QString stick = usbStickPath();
    QDir(stick).removeRecursively();
    copyTree(mountPoint, stick);
    QDir(mountPoint).removeRecursively();
    if (!QFileInfo::exists(underlay) || !QDir().rename(underlay, mountPoint))
        QDir().mkpath(mountPoint);

    const QString mounts = path(QStringLiteral("/proc/mounts"));
    QStringList lines = mountsLines(mounts);
    for (int i = lines.size() - 1; i >= 0; --i)
        if (isUsbLine(lines.at(i)))
            lines.removeAt(i);
    writeMountsLines(mounts, lines);
    return 0;
}
