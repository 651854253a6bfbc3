#include "simpackage.h"

namespace {
SimPackage build(const QString& boardClass, const QString& package, const QString& version)
{
    SimPackage p;
    p.map = { { QStringLiteral("Software-Version"), version }, { QStringLiteral("Board Class"), boardClass },
        { QStringLiteral("Board Brand"), QStringLiteral("QV") },
        { QStringLiteral("Upgrade-Format"), QStringLiteral("Dual-Image") },
        { QStringLiteral("Package-Number"), QStringLiteral("1") }, { QStringLiteral("Package-1"), package },
        { QStringLiteral("Compatibility-") + package, QStringLiteral("0x05") },
        { QStringLiteral("Encryption"), QStringLiteral("Off") } };
    p.files = QStringList { QStringLiteral("kernel.img"), QStringLiteral("rootfs.img"),
        QStringLiteral("version") };
    return p;
}
}

QByteArray SimPackage::magic()
{
    return QByteArrayLiteral("#velmo-sim-package");
}

SimPackage SimPackage::receiver(const QString& version)
{
    return build(QStringLiteral("RX"), QStringLiteral("TLX-RX"), version);
}

SimPackage SimPackage::transmitter(const QString& version)
{
    return build(QStringLiteral("TX"), QStringLiteral("TLX-TX"), version);
}

QString SimPackage::value(const QString& key) const
{
    for (const auto& entry : map)
        if (entry.first == key)
            return entry.second;
    return QString();
}

void SimPackage::setValue(const QString& key, const QString& value)
{
    for (auto& entry : map) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    map.append(qMakePair(key, value));
}

void SimPackage::removeValue(const QString& key)
{
    for (int i = map.size() - 1; i >= 0; --i)
        if (map.at(i).first == key)
            map.removeAt(i);
}

QByteArray SimPackage::mapText() const
{
    QByteArray text = "Begin3\n";
    for (const auto& entry : map)
        text += entry.first.toLatin1() + ':' + entry.second.toLatin1() + '\n';
    text += "End\n";
    return text;
}

QByteArray SimPackage::toBytes() const
{
    QByteArray bytes = magic() + '\n' + mapText() + "Files\n";
    for (const QString& file : files)
        bytes += file.toLatin1() + '\n';
    return bytes;
}

bool SimPackage::parse(const QByteArray& bytes, SimPackage* package)
{
    if (!bytes.startsWith(magic() + '\n'))
        return false;
    SimPackage result;
    enum { Before, InMap, AfterMap, InFiles } section = Before;
    const QList<QByteArray> lines = bytes.mid(magic().size() + 1).split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromLatin1(raw);
        switch (section) {
        case Before:
            if (line == QLatin1String("Begin3"))
                section = InMap;
            break;
        case InMap: {
            if (line == QLatin1String("End")) {
                section = AfterMap;
                break;
            }
            const int colon = line.indexOf(QLatin1Char(':'));
            if (colon > 0)
                result.map.append(qMakePair(line.left(colon), line.mid(colon + 1)));
            break;
        }
        case AfterMap:
            if (line == QLatin1String("Files"))
                section = InFiles;
            break;
        case InFiles:
            if (!line.trimmed().isEmpty())
                result.files << line.trimmed();
            break;
        }
    }
    if (section == Before || section == InMap)
        return false;
    if (package)
        *package = result;
    return true;
}
