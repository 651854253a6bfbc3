#pragma once
// The largest database a unit holds, built with the schema code, and how to
// put it on a simulated unit as both copies with their checksums. Shared by
// the benchmarks that need a full unit.

#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "simunit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace bench {

constexpr int deviceRecords = 500;

namespace detail {

    inline QString text(const char* latin1)
    {
        return QLatin1String(latin1);
    }

    inline QDomElement append(QDomDocument& document, QDomElement& parent, const char* tag)
    {
        QDomElement element = document.createElement(text(tag));
        parent.appendChild(element);
        return element;
    }

    inline void clearChildren(QDomElement& element)
    {
        while (element.hasChildNodes())
            element.removeChild(element.firstChild());
    }

    inline QString connectionName(int i)
    {
        return QStringLiteral("Connection_%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }

    inline QString address(int subnet, int host)
    {
        return QStringLiteral("10.%1.%2.%3").arg(subnet).arg(host / 250).arg(host % 250 + 2);
    }

    inline QString macAddress(int kind, int i)
    {
        return QStringLiteral("00:1A:2B:%1:%2:%3")
            .arg(kind, 2, 16, QLatin1Char('0'))
            .arg(i / 256, 2, 16, QLatin1Char('0'))
            .arg(i % 256, 2, 16, QLatin1Char('0'))
            .toUpper();
    }

    // Every attribute a connection record can carry, filled as the editor fills
    // the kinds: transmitter, virtual machine and KVM links in turn.
    inline void fillConnection(QDomElement& connection, int i)
    {
        const int kind = i % 3;
        const std::pair<const char*, QString> attributes[] = {
            { db::Name, connectionName(i) },
            { db::IpAddress, address(20, i) },
            { db::Port, QStringLiteral("3389") },
            { db::UserName, kind == 1 ? QStringLiteral("operator%1").arg(i) : QString() },
            { db::Password, kind == 1 ? QStringLiteral("Secret-%1").arg(i * 7919) : QString() },
            { db::Domain, kind == 1 ? QStringLiteral("PLANT.LOCAL") : QString() },
            { db::LoadBal, QString() },
            { db::ColourDepth, QStringLiteral("32") },
            { db::ConnectionType, i % 4 == 0 ? QStringLiteral("Shared") : QStringLiteral("Private") },
            { db::ViaTx, kind == 0 ? QStringLiteral("true") : QString() },
            { db::ViaTxPool, QString() },
            { db::Pool, QString() },
            { db::Broker, QString() },
            { db::Horizon, QString() },
            { db::Type, kind == 2 ? QStringLiteral("KVM") : QString() },
            { db::Protocol, QString() },
            { db::Nla, kind == 1 ? QStringLiteral("Yes") : QString() },
            { db::ExtDesk, i % 2 ? QStringLiteral("Yes") : QString() },
            { db::Audio, QStringLiteral("Yes") },
            { db::UsbRedirection, QStringLiteral("Yes") },
            { db::ViewOnly, QString() },
            { db::Persistent, kind == 1 ? QString() : QStringLiteral("false") },
        };
        for (const auto& attribute : attributes)
            connection.setAttribute(text(attribute.first), attribute.second);
    }

    inline void fillDevice(QDomElement& device, bool receiver, int i)
    {
        const int kind = receiver ? 1 : 2;
        device.setAttribute(text(db::Name),
            QStringLiteral("%1_%2")
                .arg(text(receiver ? db::Rx : db::Tx))
                .arg(i + 1, 4, 10, QLatin1Char('0')));
        device.setAttribute(text(db::IpType), i % 5 ? QStringLiteral("Static") : QStringLiteral("DHCP"));
        device.setAttribute(text(db::IpAddress), address(kind, i));
        device.setAttribute(text(db::NetworkMask), QStringLiteral("255.255.0.0"));
        device.setAttribute(text(db::DefaultGateway), QStringLiteral("10.%1.0.1").arg(kind));
        device.setAttribute(text(db::Mac), macAddress(kind, i));
        device.setAttribute(
            text(db::ModelNum), receiver ? QStringLiteral("RX-4200-DH") : QStringLiteral("TX-4200-DH"));
        device.setAttribute(text(db::SerialNum),
            QStringLiteral("%1%2")
                .arg(receiver ? QLatin1String("R42") : QLatin1String("T42"))
                .arg(100000 + i * 37));
        device.setAttribute(text(db::SwVer), QStringLiteral("4.2.%1").arg(17 + i % 3));
        if (!receiver)
            return;
        device.setAttribute(
            text(db::RxScreenResolution), i % 2 ? QStringLiteral("1920x1080") : QStringLiteral("1280x1024"));
        device.setAttribute(
            text(db::AutoLogin), i % 7 ? QString() : QStringLiteral("operator%1").arg(i % maxEntries));
        device.setAttribute(text(db::RememberLastUser), i % 3 ? QString() : QStringLiteral("admin"));
        device.setAttribute(text(db::HotKey), QStringLiteral("Ctrl-Ctrl"));
    }

    // The largest database: every connection and user slot taken, every user
    inline bool writePlain(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }

} // namespace detail

inline QDomDocument maximumDocument()
{
    using namespace detail;
    QDomDocument document = newDatabaseDocument();
    QDomElement root = document.documentElement();

    QDomElement connections = root.firstChildElement(text(db::Connections));
    clearChildren(connections);
    for (int i = 0; i < maxEntries; ++i) {
        QDomElement connection = append(document, connections, db::Connection);
        fillConnection(connection, i);
    }

    QDomElement users = root.firstChildElement(text(db::Users));
    clearChildren(users);
    for (int u = 0; u < maxEntries; ++u) {
        QDomElement user = append(document, users, db::User);
        user.setAttribute(
            text(db::UserName), u == 0 ? QStringLiteral("admin") : QStringLiteral("operator%1").arg(u));
        user.setAttribute(
            text(db::Password), u == 0 ? QString() : QStringLiteral("Pass-%1-word").arg(u * 104729));
        user.setAttribute(text(db::Privilege),
            u == 0 ? QStringLiteral("Administrator")
                   : (u % 4 ? QStringLiteral("User") : QStringLiteral("Power User")));
        for (int c = 0; c < maxEntries; ++c) {
            QDomElement association = append(document, user, db::AssociatedConnections);
            association.setAttribute(text(db::ConnectionName), connectionName(c));
            if (c < 10 && (u + c) % 3 == 0)
                association.setAttribute(text(db::Favorite), QString::number(c));
        }
        QDomElement autoConnect = append(document, user, db::AutoConnect);
        autoConnect.setAttribute(text(db::AutoConnectName), u % 2 ? connectionName(u) : QString());
    }

    for (const bool receiver : { true, false }) {
        QDomElement section = root.firstChildElement(text(receiver ? db::RxDevices : db::TxDevices));
        for (int i = 0; i < deviceRecords; ++i) {
            QDomElement device = append(document, section, receiver ? db::Rx : db::Tx);
            fillDevice(device, receiver, i);
        }
    }
    return document;
}

// The largest database made a managed unit's: an "RX" record with the unit's own
// hardware address, and `connections` connections in all (more than a local
// unit may hold; the appliance decides), the ones beyond the limit associated
// with "admin" only.
inline QDomDocument managedDocument(const QString& ownMac, int connections)
{
    using namespace detail;
    QDomDocument document = maximumDocument();
    QDomElement root = document.documentElement();
    QDomElement section = root.firstChildElement(text(db::Connections));
    QDomElement admin = root.firstChildElement(text(db::Users)).firstChildElement(text(db::User));
    const QDomElement adminAutoConnect = admin.firstChildElement(text(db::AutoConnect));
    for (int i = maxEntries; i < connections; ++i) {
        QDomElement connection = append(document, section, db::Connection);
        fillConnection(connection, i);
        // Associations come before the automatic-connection child, as the editor keeps them.
        QDomElement association = document.createElement(text(db::AssociatedConnections));
        association.setAttribute(text(db::ConnectionName), connectionName(i));
        admin.insertBefore(association, adminAutoConnect);
    }
    QDomElement receivers = root.firstChildElement(text(db::RxDevices));
    QDomElement own = append(document, receivers, db::Rx);
    fillDevice(own, true, deviceRecords);
    own.setAttribute(text(db::Mac), ownMac);
    return document;
}

// Both copies and their checksums, as a unit holds them after a clean shutdown.
inline bool installDatabase(SimUnit& unit, const QByteArray& content)
{
    using namespace detail;
    const QByteArray checksum = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
    return QDir().mkpath(unit.path(QStringLiteral("/mnt/perm")))
        && writePlain(unit.path(text(DatabaseStorage::copyAPath)), content)
        && writePlain(unit.path(text(DatabaseStorage::copyBPath)), content)
        && writePlain(unit.path(text(DatabaseStorage::checksumAPath)), checksum)
        && writePlain(unit.path(text(DatabaseStorage::checksumBPath)), checksum);
}

// The appliance's copy, which a managed unit pulls at start-up.
inline bool installManagerCopy(SimUnit& unit, const QByteArray& content)
{
    const QString path = unit.path(QStringLiteral("/sim/manager/VelmoData.xml"));
    return QDir().mkpath(QFileInfo(path).path()) && detail::writePlain(path, content);
}

} // namespace bench
