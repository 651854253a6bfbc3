#include "txvalidation.h"

NetworkRefusal checkConnectAddress(const QString& typed, const QString& receiverAddress)
{
    const QString address = cleanAddress(typed);
    if (!address.isEmpty() && address == cleanAddress(receiverAddress))
        return networkRefusal(QStringLiteral("Transmitter IP Validation"),
            QStringLiteral("IP address entered is already in use by this Receiver."), NetworkField::Address, true);
    if (!isIPv4Address(address))
        return networkRefusal(QStringLiteral("Transmitter IP Validation"), QStringLiteral("Transmitter IP Address is not valid."),
            NetworkField::Address, true);
    return NetworkRefusal();
}

NetworkRefusal checkTxNetworkEntries(TxNetworkEntries& entries, const QString& receiverAddress)
{
    entries.address = cleanAddress(entries.address);
    entries.mask = cleanAddress(entries.mask);
    entries.gateway = cleanAddress(entries.gateway);

    if (entries.address.isEmpty())
        return networkRefusal(QStringLiteral("Information"), QStringLiteral("IP address field is mandatory."),
            NetworkField::Address, false);
    if (entries.mask.isEmpty())
        return networkRefusal(QStringLiteral("Information"), QStringLiteral("Network mask field is mandatory."),
            NetworkField::Mask, false);
    if (entries.gateway.isEmpty())
        return networkRefusal(QStringLiteral("Information"), QStringLiteral("Default gateway field is mandatory."),
            NetworkField::Gateway, false);
    if (!isIPv4Address(entries.address))
        return networkRefusal(QStringLiteral("Transmitter IP Validation"), QStringLiteral("New IP Address is not valid."),
            NetworkField::Address, true);
    if (entries.mask.contains(QLatin1String("0.0.0.0"))) {
        NetworkRefusal result = networkRefusal(QStringLiteral("Network Mask Validation"),
            QStringLiteral("Network Mask is out of valid range. Reset default subnet mask."), NetworkField::Mask, true);
        result.resetMask = true;
        return result;
    }
    if (!isValidNetmask(entries.mask))
        return networkRefusal(QStringLiteral("Transmitter Mask Validation"), QStringLiteral("New Network Mask is not valid."),
            NetworkField::Mask, true);
    if (entries.gateway == entries.address)
        return networkRefusal(QStringLiteral("Default Gateway Validation"),
            QStringLiteral("Apliance IP address and Gateway IP address cannot be the same."), NetworkField::Gateway,
            true);
    if (!isIPv4Address(entries.gateway))
        return networkRefusal(QStringLiteral("Transmitter Gateway Validation"), QStringLiteral("New Gateway is not valid."),
            NetworkField::Gateway, true);
    // Whole addresses: 192.168.1.2 is not in use by a receiver at 192.168.1.21.
    if (entries.address == cleanAddress(receiverAddress))
        return networkRefusal(QStringLiteral("Information"), QStringLiteral("IP address entered is already in use by this Receiver"),
            NetworkField::Address, false);
    return NetworkRefusal();
}
