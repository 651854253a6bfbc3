// What a transmitter's services leave in a record (identity, network
// settings, discovery answer, preferences) and the addresses typed for it:
// any bytes must be read within their fields, and the page built from them
// must stay consistent.
#include "rules/txpreferencerules.h"
#include "rules/txrecord.h"
#include "rules/txvalidation.h"

#include <QStringList>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input is the record itself, as many bytes of it as there are.
    ConfigData record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, qMin(size, sizeof record));

    const TxIdentity identity = readTxIdentity(record);
    if (identity.serial.size() > 13 || identity.mpn.size() > 12 || identity.mac.size() > 32)
        __builtin_trap();
    fillMulticastDefaults(&record);
    if (readTxIdentity(record).mac.isEmpty() && readTxIdentity(record).mcastAddr != QLatin1String(defaultMulticastAddress))
        __builtin_trap();
    txInformationText(recordText(record.tx_settings.ip), identity);

    const TxNetwork network = readTxNetwork(record);
    if (network.gateway == QLatin1String("eth0"))
        __builtin_trap();
    const TxDiscovery found = readTxDiscovery(record);
    if (found.withNetwork && found.gateway.contains(QLatin1Char(' ')))
        __builtin_trap();
    discoveryMessage(found);

    const TxPreferencesView view = readTxPreferences(record);
    for (int head = 0; head < view.heads; ++head) {
        const HeadPreferences& now = view.head[head];
        if (now.current < 0 || now.current >= now.entries.size() || !now.entries.at(now.current).enabled)
            __builtin_trap();
        const HeadPreferences cloned = afterClone(now, recordText(record.tx_prefs.edid_select[head]));
        if (cloned.entries.size() > qMax(now.entries.size(), 7) || !cloned.entries.at(cloned.current).enabled)
            __builtin_trap();
        for (int index = 0; index < cloned.entries.size(); ++index)
            edidSelectText(cloned.entries.at(index).text, index);
    }

    // The same bytes as typed addresses: what passes is four plain parts.
    const QStringList lines = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size)).split(QLatin1Char('\n'));
    TxNetworkEntries entries { lines.value(0), lines.value(1), lines.value(2) };
    if (!checkTxNetworkEntries(entries, lines.value(3)).refused()
        && (!isIPv4Address(entries.address) || !isValidNetmask(entries.mask) || !isIPv4Address(entries.gateway)
            || entries.address == cleanAddress(lines.value(3))))
        __builtin_trap();
    if (!checkConnectAddress(lines.value(0), lines.value(3)).refused() && !isIPv4Address(cleanAddress(lines.value(0))))
        __builtin_trap();
    return 0;
}
