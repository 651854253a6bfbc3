#include "networkrules.h"

#include <QDebug>
#include <QRegularExpression>
#include <QStringList>

namespace {

const QString maskRefusalTitle = QStringLiteral("Network Mask Validation");
const QString maskRefusalText = QStringLiteral("Network Mask is out of valid range.");

// The four values of a dotted address; false unless isIPv4Address holds.
bool octets(const QString& text, int (&values)[4])
{
    if (!isIPv4Address(text))
        return false;
    const QStringList parts = text.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        values[i] = parts.at(i).toInt();
    return true;
}

QString binaryOctet(int value)
{
    return QString::number(value, 2).rightJustified(8, QLatin1Char('0'));
}

NetworkRange refusedRange(const QString& title, const QString& text)
{
    NetworkRange range;
    range.title = title;
    range.text = text;
    return range;
}

} // namespace

NetworkRefusal networkRefusal(const QString& title, const QString& text, NetworkField focus, bool selectFocus)
{
    NetworkRefusal result;
    result.title = title;
    result.text = text;
    result.focus = focus;
    result.selectFocus = selectFocus;
    return result;
}

QString cleanAddress(const QString& text)
{
    QString cleaned;
    for (const QChar c : text) {
        if (!c.isSpace())
            cleaned += c;
    }
    return cleaned;
}

bool isIPv4Address(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        // A leading zero reads as octal to the unit's tools.
        if (part.size() > 1 && part.at(0) == QLatin1Char('0'))
            return false;
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

bool isUnitAddress(const QString& text)
{
    int values[4];
    if (!octets(text, values))
        return false;
    // "This network", loopback, group and reserved addresses (up to broadcast)
    // are no host's own: the unit would be cut off.
    return values[0] != 0 && values[0] != 127 && values[0] < 224;
}

bool hasLiveAddress(const NetworkFacts& eth0)
{
    const QString address = eth0.addresses.value(0);
    return eth0.running && !address.isEmpty() && address.size() <= 16;
}

QString liveAddressText(const NetworkFacts& eth0)
{
    if (hasLiveAddress(eth0))
        return eth0.addresses.first();
    return eth0.running ? QStringLiteral("DHCP server not found.") : QStringLiteral("Network is down.");
}

AppliedNetwork appliedNetwork(bool dhcp, const QString& appliedAddress, const NetworkFacts& eth0)
{
    const bool addressed = hasLiveAddress(eth0);
    if (dhcp && !addressed)
        return eth0.running ? AppliedNetwork::NoLease : AppliedNetwork::Down;
    // A static set counts only when eth0 took the very address asked for.
    const bool matches = dhcp || liveAddressText(eth0) == appliedAddress;
    return eth0.up && addressed && matches ? AppliedNetwork::Applied : AppliedNetwork::NotApplied;
}

bool isValidNetmask(const QString& text)
{
    int values[4];
    if (!octets(text, values))
        return false;
    const quint32 mask = (quint32(values[0]) << 24) | (quint32(values[1]) << 16) | (quint32(values[2]) << 8)
        | quint32(values[3]);
    // Contiguous with at least two leading one bits.
    const quint32 hostBits = ~mask;
    return (hostBits & (hostBits + 1)) == 0 && (mask & 0xC0000000u) == 0xC0000000u;
}

NetworkRange validateNetworkRange(
    const QString& addressText, const QString& maskText, const QString& gatewayText)
{
    const QString address = cleanAddress(addressText);
    const QString mask = cleanAddress(maskText);
    const QString gateway = cleanAddress(gatewayText);
    int a[4], m[4], g[4];
    if (!octets(address, a))
        return refusedRange(
            QStringLiteral("IP Address Validation"), QStringLiteral("IP address is out of valid range."));
    if (!octets(mask, m))
        return refusedRange(maskRefusalTitle, maskRefusalText);
    if (!octets(gateway, g))
        return refusedRange(
            QStringLiteral("Gateway Validation"), QStringLiteral("Default Gateway is out of valid range."));

    int ones[4], zeros[4];
    for (int i = 0; i < 4; ++i) {
        ones[i] = binaryOctet(m[i]).count(QLatin1Char('1'));
        zeros[i] = 8 - ones[i];
    }
    int k = -1;
    for (int i = 0; i < 4 && k < 0; ++i) {
        if (zeros[i] >= 1)
            k = i;
    }
    // No host part: no address is left for a gateway, and no block to search.
    if (k < 0)
        return refusedRange(QStringLiteral("Error"),
            QStringLiteral("The Network Mask 255.255.255.255 leaves no address for a Default Gateway."));

    const int block = 1 << zeros[k];
    const int count = 256 / block;
    int low = 0;
    int high = block - 1;
    bool found = count == 1;
    for (int round = 0; round < count && !found; ++round) {
        if (low <= a[k] && a[k] <= high) {
            found = true;
        } else {
            low += block;
            high = qMin(low + block, 256) - 1;
        }
    }
    if (!found)
        qDebug() << "Network Range Detection FAILED ";

    QStringList network;
    for (int i = 0; i < 4; ++i)
        network << QString::number(m[i] & a[i]);
    NetworkRange range;
    range.network = network.join(QLatin1Char('.'));
    const QString top = QString::number(high);
    switch (k) {
    case 3:
        range.broadcast = network.mid(0, 3).join(QLatin1Char('.')) + QLatin1Char('.') + top;
        break;
    case 2:
        range.broadcast
            = network.mid(0, 2).join(QLatin1Char('.')) + QLatin1Char('.') + top + QStringLiteral(".255");
        break;
    case 1:
        range.broadcast = network.at(0) + QLatin1Char('.') + top + QStringLiteral(".255.255");
        break;
    default:
        range.broadcast = top + QStringLiteral(".255.255.255");
        break;
    }

    for (int i = 0; i < 4; ++i) {
        const bool same = ones[i] == 8 ? g[i] == a[i]
                                       : binaryOctet(g[i]).left(ones[i]) == binaryOctet(a[i]).left(ones[i]);
        if (!same)
            return refusedRange(QStringLiteral("Error"),
                QStringLiteral("The New Default Gateway Address is not in the same subnet as the New "
                               "Device IP Address."));
    }
    if (address == range.network || address == range.broadcast)
        return refusedRange(
            QStringLiteral("Error"), QStringLiteral("The New Device IP address is invalid for this subnet."));
    if (gateway == range.network || gateway == range.broadcast)
        return refusedRange(QStringLiteral("Error"),
            QStringLiteral("The new device default gateway address is invalid for this subnet."));
    range.valid = 1;
    return range;
}

namespace {

NetworkRefusal invalidAddress()
{
    return networkRefusal(
        QStringLiteral("Information"), QStringLiteral("Invalid IP address."), NetworkField::None, false);
}

} // namespace

NetworkRefusal checkStaticSettings(StaticSettings& settings)
{
    settings.address = cleanAddress(settings.address);
    settings.mask = cleanAddress(settings.mask);
    settings.gateway = cleanAddress(settings.gateway);
    settings.dns1 = cleanAddress(settings.dns1);
    settings.dns2 = cleanAddress(settings.dns2);

    if (!settings.address.isEmpty() && settings.address == settings.gateway)
        return networkRefusal(QStringLiteral("Information"),
            QStringLiteral("IP address and Gateway can not be the same."), NetworkField::Address, false);
    if (settings.gateway.isEmpty())
        settings.gateway = QStringLiteral("0.0.0.0");
    if (settings.address.isEmpty())
        return networkRefusal(QStringLiteral("Information"), QStringLiteral("IP address field is mandatory."),
            NetworkField::Address, false);
    if (!isIPv4Address(settings.address))
        return invalidAddress();
    if (settings.mask.isEmpty() || settings.mask == QLatin1String("0.0.0.0")) {
        NetworkRefusal result = networkRefusal(maskRefusalTitle, maskRefusalText, NetworkField::Mask, true);
        result.resetMask = true;
        return result;
    }
    if (settings.address == settings.gateway)
        return networkRefusal(QStringLiteral("Default Gateway Validation"),
            QStringLiteral("Device IP address and Gateway IP address cannot be the same."),
            NetworkField::Gateway, true);
    // After the gateway check, which answers 0.0.0.0 with its own text.
    if (!isUnitAddress(settings.address))
        return invalidAddress();
    const NetworkRange range = validateNetworkRange(settings.address, settings.mask, settings.gateway);
    if (!range.valid)
        return networkRefusal(range.title, range.text, NetworkField::None, false);
    if (!isValidNetmask(settings.mask))
        return networkRefusal(maskRefusalTitle, maskRefusalText, NetworkField::Mask, true);
    if (!isIPv4Address(settings.gateway))
        return networkRefusal(QStringLiteral("Gateway Validation"),
            QStringLiteral("Default Gateway is out of valid range."), NetworkField::Gateway, true);
    if (!settings.dns1.isEmpty() && !isIPv4Address(settings.dns1))
        return networkRefusal(QStringLiteral("DNS Validation"),
            QStringLiteral("Primary DNS address is out of valid range."), NetworkField::Dns1, true);
    if (!settings.dns2.isEmpty() && !isIPv4Address(settings.dns2))
        return networkRefusal(QStringLiteral("DNS Validation"),
            QStringLiteral("Secondary DNS address is out of valid range."), NetworkField::Dns2, true);
    return NetworkRefusal();
}

QByteArray dhcpInterfacesText()
{
    return QByteArrayLiteral("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n");
}

QByteArray staticInterfacesText(
    const QString& address, const QString& mask, const QString& broadcast, const QString& gateway)
{
    return QByteArrayLiteral("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n")
        + "\taddress " + address.toLatin1() + "\n\tnetmask " + mask.toLatin1() + "\n\tbroadcast "
        + broadcast.toLatin1() + "\n\tgateway " + gateway.toLatin1() + '\n';
}

QByteArray resolverText(const QString& dns1, const QString& dns2)
{
    return "nameserver " + dns1.toLatin1() + "\nnameserver " + dns2.toLatin1() + '\n';
}

DnsServers parseDnsServers(const QByteArray& resolver)
{
    DnsServers servers;
    for (const QByteArray& raw : resolver.split('\n')) {
        QByteArray line = raw;
        const int comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.value(0) != "nameserver")
            continue;
        const QString server = QString::fromLatin1(words.value(1));
        if (servers.count == 0)
            servers.primary = server;
        else if (servers.count == 1)
            servers.secondary = server;
        ++servers.count;
    }
    return servers;
}

QString gatewayFromRouteOutput(const QByteArray& output)
{
    const QStringList lines
        = QString::fromLatin1(output).split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    if (lines.size() < 3)
        return QStringLiteral("Not found");
    QString gateway = QStringLiteral("0.0.0.0");
    for (const QString& line : lines) {
        // Columns are padded to 15 characters, so a long gateway meets the next
        // column after a single blank: fields, not runs of blanks.
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() >= 4 && fields.at(3).contains(QLatin1String("UG")))
            gateway = fields.at(1);
    }
    return gateway;
}
