#include "txrecord.h"

#include <QStringList>
#include <cstring>

const char defaultMulticastAddress[] = "239.1.1.1";
const char defaultMulticastPort[] = "6003";

bool setRecordText(char* field, size_t size, const QString& text)
{
    std::memset(field, 0, size);
    const QByteArray bytes = text.toLatin1();
    if (size_t(bytes.size()) >= size)
        return false;
    std::memcpy(field, bytes.constData(), size_t(bytes.size()));
    return true;
}

void copyRecordText(char* field, size_t size, const QString& text)
{
    std::memset(field, 0, size);
    const QByteArray bytes = text.toLatin1();
    std::memcpy(field, bytes.constData(), qMin(size - 1, size_t(bytes.size())));
}

void cfgDataDefaults(ConfigData* record, const QString& address)
{
    std::memset(record, 0, sizeof(ConfigData));
    copyRecordText(record->rx_settings.token, QStringLiteral("EMPTY"));
    copyRecordText(record->tx_prefs.hid_mode, QStringLiteral("EMPTY"));
    record->tx_prefs.hid_enabled = 1;
    for (int head = 0; head < 2; ++head) {
        copyRecordText(record->tx_prefs.edid_select[head], QStringLiteral(" "));
        copyRecordText(record->tx_prefs.edid_prev_name[head], QStringLiteral("EMPTY"));
        copyRecordText(record->tx_prefs.spare_text[head], QStringLiteral("EMPTY"));
    }
    // The address field is checked to four parts before any operation, so it always fits.
    copyRecordText(record->tx_settings.ip, address);
    copyRecordText(record->device_type, QStringLiteral("TX"));
}

std::unique_ptr<ConfigData> newTxRecord(const QString& address)
{
    auto record = std::make_unique<ConfigData>();
    cfgDataDefaults(record.get(), address);
    return record;
}

void fillMulticastDefaults(ConfigData* record)
{
    if (!recordText(record->tx_info.mac).isEmpty())
        return;
    copyRecordText(record->tx_info.mcast_addr, QLatin1String(defaultMulticastAddress));
    copyRecordText(record->tx_info.mcast_port, QLatin1String(defaultMulticastPort));
}

TxIdentity readTxIdentity(const ConfigData& record)
{
    TxIdentity identity;
    identity.mac = recordText(record.tx_info.mac);
    identity.mcastPort = recordText(record.tx_info.mcast_port);
    identity.mpn = recordText(record.tx_info.mpn);
    identity.serial = recordText(record.tx_info.serial);
    identity.swVersion = recordText(record.tx_info.sw_version);
    identity.mcastAddr = recordText(record.tx_info.mcast_addr);
    return identity;
}

QString txInformationText(const QString& address, const TxIdentity& identity)
{
    return QStringLiteral("The appliance with IP Address ") + address + QStringLiteral(" is reachable.")
        + QStringLiteral("\nMPN: ") + identity.mpn + QStringLiteral("\nSerial Number: ") + identity.serial
        + QStringLiteral("\nMAC: ") + identity.mac + QStringLiteral("\nSoftware Version: ") + identity.swVersion
        + QStringLiteral("\nMulticast Address: ") + identity.mcastAddr + QStringLiteral("\nMulticast Port: ")
        + identity.mcastPort + QLatin1Char('.');
}

TxNetwork readTxNetwork(const ConfigData& record)
{
    TxNetwork network;
    network.ip = recordText(record.tx_net.ip).simplified();
    network.mask = recordText(record.tx_net.mask).simplified();
    network.gateway = recordText(record.tx_net.gateway).simplified();
    if (network.gateway == QLatin1String("eth0"))
        network.gateway.clear();
    network.mcastAddr = recordText(record.tx_net.mcast_addr).simplified();
    return network;
}

TxDiscovery readTxDiscovery(const ConfigData& record)
{
    TxDiscovery found;
    found.address = recordText(record.discovered.ip).trimmed();
    const QString net = recordText(record.discovered.net);
    if (net.startsWith(QLatin1String("NULL")))
        return found;
    const QStringList lines = net.split(QLatin1Char('\n'));
    const QStringList words = lines.value(2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (lines.size() < 3 || words.size() < 2)
        return found;
    found.mask = lines.at(0).trimmed();
    found.gateway = words.at(1).trimmed();
    found.withNetwork = true;
    return found;
}

QString discoveryMessage(const TxDiscovery& found)
{
    const QString first = QStringLiteral("Transmitter IP address: ") + found.address + QStringLiteral(" discovered.");
    if (!found.withNetwork)
        return first;
    return first + QStringLiteral("\nTransmitter Network Mask: ") + found.mask
        + QStringLiteral("\nTransmitter Gateway: ") + found.gateway;
}
