// The transmitter and upgrade work functions of the simulated unit. Each finds
// the transmitter by the record's tx_settings.ip in the state's
// "transmitters", acts on it, and fills the record fields the OSD reads.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "platform/boundedread.h"
#include "services/device_services.h"
#include "simdefaults.h"
#include "simpackage.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

namespace {
const QString transmittersKey = QStringLiteral("transmitters");

// Error codes of the library, as the OSD's message tables read them.
enum TxError {
    txUnreachable = 1,
    txNotATransmitter = 6,
    txOtherDomain = 27,
    txTypeCheckFailed = 29,
    txNotFound = 31,
    txEdidSetFailed = 32,
    txEdidGetFailed = 35,
    txPrefsSetFailed = 36,
    txProcessError = 40,
};
enum UpgradeError {
    upgradeMountFailed = 3,
    upgradeNoHeader = 6,
    upgradeFileError = 12,
    upgradeWrongType = 13,
    upgradeSameVersion = 15,
};

const QStringList standardEdids { QStringLiteral("1920x1080"), QStringLiteral("1920x1200"),
    QStringLiteral("1680x1050"), QStringLiteral("1280x1024"), QStringLiteral("1024x768") };

ConfigData* record(void* cfg)
{
    return static_cast<ConfigData*>(cfg);
}

QString txAddress(const ConfigData* cfg)
{
    return fromField(cfg->tx_settings.ip).trimmed();
}

// 0 when the transmitter answers and may be worked on.
int reach(const QJsonObject& state, const QString& address, QJsonObject* tx)
{
    const QJsonValue entry = child(state, transmittersKey).value(address);
    if (!entry.isObject() || !entry.toObject().value(QStringLiteral("reachable")).toBool(true))
        return txUnreachable;
    *tx = entry.toObject();
    if (tx->value(QStringLiteral("deviceType")).toString(QStringLiteral("TX")) != QLatin1String("TX"))
        return txNotATransmitter;
    if (tx->value(QStringLiteral("otherDomain")).toBool())
        return txOtherDomain;
    return 0;
}

// One work function's call on a transmitter that answers.
struct TxCall {
    SimUnit* unit = nullptr; // null: the call ends with `code`
    ConfigData* cfg = nullptr;
    QJsonObject tx;
    QString address;
    int code = 0;

    // Writes the transmitter back, moved to `newAddress` when one is given.
    void store(const QString& newAddress = QString()) const
    {
        unit->editSection(transmittersKey, [&](QJsonObject& all) {
            all.remove(address);
            all.insert(newAddress.isEmpty() ? address : newAddress, tx);
        });
    }
};

// Starts a work function: the unit, the simulated working time, the transmitter.
TxCall beginTx(const char* function, void* cfg)
{
    TxCall call;
    SimUnit* unit = begin(function, &call.code);
    if (!unit)
        return call;
    if (!cfg) {
        call.code = txProcessError;
        return call;
    }
    unit->workDelay(QString::fromLatin1(function));
    unit->holdWhileGated(QString::fromLatin1(function));
    call.cfg = record(cfg);
    call.address = txAddress(call.cfg);
    call.code = reach(unit->state(), call.address, &call.tx);
    if (call.code == 0)
        call.unit = unit;
    return call;
}

void bump(QJsonObject& object, const QString& key)
{
    object.insert(key, object.value(key).toInt() + 1);
}

QString textAt(const QJsonObject& prefs, const QString& key, int head)
{
    return prefs.value(key).toArray().at(head).toString();
}

QJsonArray withAt(QJsonArray array, int index, const QJsonValue& value)
{
    while (array.size() <= index)
        array.append(QString());
    array.replace(index, value);
    return array;
}

void fillPrefs(ConfigData* cfg, const QJsonObject& prefs)
{
    cfg->tx_prefs.video_quality = prefs.value(QStringLiteral("videoQuality")).toInt();
    cfg->tx_prefs.video_optimisation = prefs.value(QStringLiteral("videoOptimisation")).toInt();
    toC(cfg->tx_prefs.hid_mode, prefs.value(QStringLiteral("hidMode")).toString());
    cfg->tx_prefs.hid_enabled = prefs.value(QStringLiteral("hidEnabled")).toInt();
    cfg->tx_prefs.heads = prefs.value(QStringLiteral("heads")).toInt(1);
    for (int head = 0; head < 2; ++head) {
        cfg->tx_prefs.edid_index[head] = prefs.value(QStringLiteral("edidIndex")).toArray().at(head).toInt();
        toC(cfg->tx_prefs.edid_select[head], textAt(prefs, QStringLiteral("edidSelect"), head));
        toC(cfg->tx_prefs.edid_prev_name[head], textAt(prefs, QStringLiteral("edidPrevName"), head));
        toC(cfg->tx_prefs.edid_clone_name[head], textAt(prefs, QStringLiteral("edidCloneName"), head));
    }
}

QString firstLine(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(in.readLine(1024)).trimmed();
}
}

extern "C" {

int32_t su_get_tx_device_info(void* cfg)
{
    TxCall call = beginTx("su_get_tx_device_info", cfg);
    if (!call.unit)
        return call.code;
    toC(call.cfg->tx_info.mpn, call.tx.value(QStringLiteral("mpn")).toString());
    toC(call.cfg->tx_info.serial, call.tx.value(QStringLiteral("serial")).toString());
    toC(call.cfg->tx_info.mac, call.tx.value(QStringLiteral("mac")).toString());
    toC(call.cfg->tx_info.sw_version, call.tx.value(QStringLiteral("swVersion")).toString());
    toC(call.cfg->tx_info.mcast_addr, call.tx.value(QStringLiteral("mcastAddr")).toString());
    toC(call.cfg->tx_info.mcast_port, call.tx.value(QStringLiteral("mcastPort")).toString());
    return 0;
}

int32_t su_get_tx_preferences(void* cfg)
{
    TxCall call = beginTx("su_get_tx_preferences", cfg);
    if (!call.unit)
        return call.code;
    if (call.tx.value(QStringLiteral("safeMode")).toBool())
        return txEdidGetFailed;
    fillPrefs(call.cfg, child(call.tx, QStringLiteral("prefs")));
    return 0;
}

int32_t su_set_tx_prefs(void* cfg)
{
    TxCall call = beginTx("su_set_tx_prefs", cfg);
    if (!call.unit)
        return call.code;
    if (call.tx.value(QStringLiteral("safeMode")).toBool())
        return txPrefsSetFailed;
    const ConfigData* data = call.cfg;
    const QString hid = fromField(data->tx_prefs.hid_mode);
    const QStringList hidModes { QStringLiteral("Default"), QStringLiteral("Basic"), QStringLiteral("MAC"),
        QStringLiteral("Absolute"), QStringLiteral("Absolute MAC") };
    if (data->tx_prefs.video_quality < 1 || data->tx_prefs.video_quality > 5
        || data->tx_prefs.video_optimisation < 0 || data->tx_prefs.video_optimisation > 5
        || !hidModes.contains(hid))
        return txPrefsSetFailed;

    QJsonObject prefs = child(call.tx, QStringLiteral("prefs"));
    QJsonArray indexes = prefs.value(QStringLiteral("edidIndex")).toArray();
    QJsonArray selects = prefs.value(QStringLiteral("edidSelect")).toArray();
    for (int head = 0; head < 2; ++head) {
        const QString choice = fromField(data->tx_prefs.edid_select[head]);
        if (choice.trimmed().isEmpty())
            continue; // no choice for this head
        int index = standardEdids.indexOf(choice) + 1;
        if (choice.startsWith(QLatin1String("Clone_")))
            index = 6;
        if (index == 0)
            return txEdidSetFailed;
        indexes = withAt(indexes, head, index);
        selects = withAt(selects, head, choice);
    }
    prefs.insert(QStringLiteral("videoQuality"), data->tx_prefs.video_quality);
    prefs.insert(QStringLiteral("videoOptimisation"), data->tx_prefs.video_optimisation);
    prefs.insert(QStringLiteral("hidMode"), hid);
    prefs.insert(QStringLiteral("edidIndex"), indexes);
    prefs.insert(QStringLiteral("edidSelect"), selects);
    call.tx.insert(QStringLiteral("prefs"), prefs);
    call.store();
    return 0;
}

int32_t su_set_tx_network(void* cfg)
{
    TxCall call = beginTx("su_set_tx_network", cfg);
    if (!call.unit)
        return call.code;
    const ConfigData* data = call.cfg;
    if (data->net_device_type[0] != 'T' || data->net_device_type[1] != 'X')
        return txTypeCheckFailed;
    const QString newAddress = fromField(data->tx_net.ip).trimmed();
    const QString mask = fromField(data->tx_net.mask).trimmed();
    if (!parseIpv4(newAddress) || !parseIpv4(mask))
        return txProcessError;
    call.tx.insert(QStringLiteral("mask"), mask);
    call.tx.insert(QStringLiteral("gateway"), fromField(data->tx_net.gateway).trimmed());
    bump(call.tx, QStringLiteral("reboots"));
    call.store(newAddress);
    return 0;
}

int32_t su_reboot_tx_unit(void* cfg)
{
    TxCall call = beginTx("su_reboot_tx_unit", cfg);
    if (!call.unit)
        return call.code;
    bump(call.tx, QStringLiteral("reboots"));
    call.store();
    return 0;
}

// Factory settings at the factory address; identity and firmware stay.
int32_t su_restore_tx_unit(void* cfg)
{
    TxCall call = beginTx("su_restore_tx_unit", cfg);
    if (!call.unit)
        return call.code;
    const QJsonObject factory = SimDefaults::transmitter();
    for (const char* key : { "mask", "gateway", "mcastAddr", "mcastPort", "prefs", "safeMode" })
        call.tx.insert(QLatin1String(key), factory.value(QLatin1String(key)));
    bump(call.tx, QStringLiteral("restores"));
    call.store(QStringLiteral("192.168.1.22"));
    return 0;
}

int32_t su_run_tx_diagnostics(void* cfg)
{
    TxCall call = beginTx("su_run_tx_diagnostics", cfg);
    if (!call.unit)
        return call.code;
    const QByteArray diagnostics = call.tx.value(QStringLiteral("diagnostics")).toString().toLatin1();
    return writeWhole(call.unit->path(QStringLiteral("/usr/local/diagnosticsTX.enc")), diagnostics)
        ? 0
        : txProcessError;
}

int32_t su_listen_for_ip(void* cfg)
{
    int code = 0;
    SimUnit* unit = begin("su_listen_for_ip", &code);
    if (!unit)
        return code;
    if (!cfg)
        return txProcessError;
    unit->workDelay(QStringLiteral("su_listen_for_ip"));
    unit->holdWhileGated(QStringLiteral("su_listen_for_ip"));
    const QJsonObject discovery = child(unit->state(), QStringLiteral("discovery"));
    const QString found = discovery.value(QStringLiteral("ip")).toString();
    if (found.isEmpty())
        return txNotFound;
    const QString net = discovery.value(QStringLiteral("net")).toString();
    toC(record(cfg)->discovered.ip, found);
    toC(record(cfg)->discovered.net, net.isEmpty() ? QStringLiteral("NULL") : net);
    return 0;
}

int32_t su_transfer_clone_edid(void* cfg)
{
    TxCall call = beginTx("su_transfer_clone_edid", cfg);
    if (!call.unit)
        return call.code;
    if (call.tx.value(QStringLiteral("safeMode")).toBool())
        return txEdidSetFailed;
    const int head = call.cfg->clone_head;
    QJsonObject prefs = child(call.tx, QStringLiteral("prefs"));
    const QString monitor = child(call.unit->state(), QStringLiteral("display"))
                                .value(QStringLiteral("edidNames"))
                                .toArray()
                                .at(head)
                                .toString();
    if (head < 0 || head > 1 || head >= prefs.value(QStringLiteral("heads")).toInt(1) || monitor.isEmpty())
        return txEdidSetFailed;
    const QString earlier = textAt(prefs, QStringLiteral("edidCloneName"), head);
    if (!earlier.isEmpty() && earlier != monitor)
        prefs.insert(QStringLiteral("edidPrevName"),
            withAt(prefs.value(QStringLiteral("edidPrevName")).toArray(), head, earlier));
    prefs.insert(QStringLiteral("edidCloneName"),
        withAt(prefs.value(QStringLiteral("edidCloneName")).toArray(), head, monitor));
    prefs.insert(
        QStringLiteral("edidIndex"), withAt(prefs.value(QStringLiteral("edidIndex")).toArray(), head, 6));
    call.tx.insert(QStringLiteral("prefs"), prefs);
    call.store();
    fillPrefs(call.cfg, prefs);
    return 0;
}

int su_get_tx_network_settings(ConfigData* cfg)
{
    int code = 0;
    SimUnit* unit = begin("su_get_tx_network_settings", &code);
    if (!unit)
        return code;
    if (!cfg)
        return txProcessError;
    QJsonObject tx;
    const QString address = txAddress(cfg);
    if (const int unreachable = reach(unit->state(), address, &tx))
        return unreachable;
    const QString gateway = tx.value(QStringLiteral("gateway")).toString();
    toC(cfg->tx_net.ip, address);
    toC(cfg->tx_net.mask, tx.value(QStringLiteral("mask")).toString());
    toC(cfg->tx_net.gateway, gateway.isEmpty() ? QStringLiteral("eth0") : gateway);
    toC(cfg->tx_net.mcast_addr, tx.value(QStringLiteral("mcastAddr")).toString());
    return 0;
}

int su_safemode_tx_status(ConfigData* cfg)
{
    int code = 0;
    SimUnit* unit = begin("su_safemode_tx_status", &code);
    if (!unit)
        return code == SimServices::noUnit ? 2 : code;
    QJsonObject tx;
    if (!cfg || reach(unit->state(), txAddress(cfg), &tx) != 0)
        return 2;
    return tx.value(QStringLiteral("safeMode")).toBool() ? 1 : 0;
}

int32_t su_upgrade_tx_unit(void* cfg)
{
    TxCall call = beginTx("su_upgrade_tx_unit", cfg);
    if (!call.unit)
        return call.code;
    const QString file = fromField(call.cfg->tx_upgrade_file);
    if (file.startsWith(QLatin1String("/mnt/usb/")) && !call.unit->isUsbMounted())
        return upgradeMountFailed;
    QFile in(call.unit->pathInside(file));
    if (file.isEmpty() || !QFileInfo(in.fileName()).isFile() || !in.open(QIODevice::ReadOnly))
        return upgradeNoHeader;
    SimPackage package;
    if (!SimPackage::parse(readBounded(in, maxPackageBytes), &package))
        return upgradeFileError;
    if (package.value(QStringLiteral("Board Class")).trimmed() != QLatin1String("TX"))
        return upgradeWrongType;
    const QString version = package.value(QStringLiteral("Software-Version")).trimmed();
    if (version == call.tx.value(QStringLiteral("swVersion")).toString())
        return upgradeSameVersion;
    call.tx.insert(QStringLiteral("swVersion"), version);
    bump(call.tx, QStringLiteral("reboots"));
    call.store();
    toC(call.cfg->tx_info.sw_version, version);
    return 0;
}

// Installs an extracted release; it becomes the running version at the next reboot.
int32_t su_upgrade_rx_unit(void* cfg)
{
    int code = 0;
    SimUnit* unit = begin("su_upgrade_rx_unit", &code);
    if (!unit)
        return code;
    if (!cfg)
        return upgradeNoHeader;
    unit->workDelay(QStringLiteral("su_upgrade_rx_unit"));
    unit->holdWhileGated(QStringLiteral("su_upgrade_rx_unit"));
    const QString releaseDir = fromField(record(cfg)->rx_release_dir);
    const QString dir = unit->pathInside(releaseDir);
    if (releaseDir.isEmpty() || !QFileInfo(dir).isDir() || QDir(dir).isEmpty())
        return upgradeNoHeader;
    const QString name = QDir(dir).dirName();
    const int marker = name.indexOf(QLatin1String("DECODER_"));
    if (marker < 0)
        return upgradeFileError;
    const QString version = name.mid(marker + 8).trimmed();
    if (version == firstLine(unit->path(QStringLiteral("/VERSION"))))
        return upgradeSameVersion;
    unit->editSection(QStringLiteral("upgrade"), [&](QJsonObject& upgrade) {
        upgrade.insert(QStringLiteral("pendingVersion"), version);
        upgrade.insert(QStringLiteral("installedRelease"), releaseDir);
    });
    return 0;
}

} // extern "C"
