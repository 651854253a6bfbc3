#include "networkfiles.h"

#include "networkrules.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "services/device_services.h"

namespace NetworkFiles {

QString broadcastAddress(const StaticSettings& settings)
{
    char broadcast[SU_BROADCAST_LEN] = {};
    QString broadcastText;
    if (su_get_broadcast_address(
            settings.address.toLatin1().constData(), settings.mask.toLatin1().constData(), broadcast)
        == 0) {
        broadcast[SU_BROADCAST_LEN - 1] = '\0';
        broadcastText = QString::fromLatin1(broadcast).trimmed();
    }
    if (!isIPv4Address(broadcastText)) {
        // The interface file must not carry an empty broadcast line; the range
        // check has worked the same address out already.
        malvo_syslog(3, "MainWindow: su_get_broadcast_address failed for %s", qPrintable(settings.address));
        broadcastText = validateNetworkRange(settings.address, settings.mask, settings.gateway).broadcast;
    }
    return broadcastText;
}

bool writeDhcpInterfaces(Platform& platform)
{
    if (DurableWriter(platform).writeFile(
            platform.unitPath(QLatin1String(interfacesPath)), dhcpInterfacesText()))
        return true;
    malvo_syslog(3, "MainWindow: Can not open file:%s to write StaticIP network interface.", interfacesPath);
    return false;
}

} // namespace NetworkFiles
