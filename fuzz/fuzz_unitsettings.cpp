// The texts the settings pages read from the unit (resolver file, route table,
// DirectFB configuration, manager address, version file) and the addresses a
// user types: any bytes must parse without a crash, and a static set that
// passes every check must be one the interface file can carry.
#include "rules/displayrules.h"
#include "rules/hotkeyrules.h"
#include "rules/networkrules.h"
#include "rules/unitfacts.h"

#include <QString>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));

    const DnsServers servers = parseDnsServers(input);
    if (servers.count < 0 || (servers.count == 0 && !servers.primary.isEmpty()))
        __builtin_trap();
    gatewayFromRouteOutput(input);
    const QString mode = osdModeFromDirectfb(input);
    if (!mode.isEmpty() && !osdResolutions().contains(mode))
        __builtin_trap();
    QString address;
    managerIpFromFile(input, &address);
    versionLabelText(input);
    hotKeyNumber(QString::fromLatin1(input));

    const QStringList lines = QString::fromLatin1(input).split(QLatin1Char('\n'));
    const QStringList modes = lines.mid(1);
    sessionResolutions(monitorResolutions(lines.value(0), modes));

    StaticSettings settings { lines.value(0), lines.value(1), lines.value(2), lines.value(3),
        lines.value(4) };
    validateNetworkRange(settings.address, settings.mask, settings.gateway);
    if (isValidNetmask(settings.mask) && !isIPv4Address(settings.mask))
        __builtin_trap();
    if (!checkStaticSettings(settings).refused()) {
        // What passed is what goes into the file: plain dotted addresses only.
        if (!isIPv4Address(settings.address) || !isValidNetmask(settings.mask)
            || !isIPv4Address(settings.gateway))
            __builtin_trap();
        const NetworkRange range = validateNetworkRange(settings.address, settings.mask, settings.gateway);
        if (!range.valid || !isIPv4Address(range.broadcast))
            __builtin_trap();
        if (staticInterfacesText(settings.address, settings.mask, range.broadcast, settings.gateway)
                .count('\n')
            != 9)
            __builtin_trap();
    }
    return 0;
}
