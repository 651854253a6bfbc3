#include "simdefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "simservicesupport.h"

namespace {

// Kept as JSON text so that it reads like the state file a person edits.
const char* const defaultUnitJson = R"json({
  "board": {
    "mpn": "RXU-4200-SH",
    "unitText1": "RXU4200",
    "unitText2": "TarselLX",
    "boardId": 4,
    "brandId": 1,
    "compatibility": 5,
    "heads": 1
  },
  "identity": {
    "model": "RXU4200S01",
    "serial": "RX42A001234",
    "zone": "",
    "spn": { "RXU4200": "RXU-4200 Single-Head Receiver" },
    "store": { "2": "sim-upgrade-pass" }
  },
  "models": {
    "RXU-4200": { "upgradePrefix": "RXU4200", "tech": "TLX", "brand": "QV" },
    "TXU-4200": { "upgradePrefix": "TXU4200", "tech": "TLX", "brand": "QV" }
  },
  "loggedInUser": "",
  "network": {
    "eth0": {
      "up": true,
      "running": true,
      "address": "192.168.1.21",
      "netmask": "255.255.255.0",
      "gateway": "192.168.1.1",
      "mac": "00:1B:7C:42:00:21"
    },
    "dhcp": {
      "available": true,
      "address": "192.168.1.150",
      "netmask": "255.255.255.0",
      "gateway": "192.168.1.1",
      "dns": ["192.168.1.1"]
    }
  },
  "processes": ["connection_control"],
  "powerButtonMode": "DESKTOP",
  "settings": { "tsRedirection": 0, "tsRedirectionGetResult": 1 },
  "rxDatabase": { "System": { "OSDResolution": "1280x1024" } },
  "display": {
    "edidValid": true,
    "preferred": "1920x1080 60Hz",
    "modes": ["1920x1080 60Hz", "1680x1050 60Hz", "1280x1024 60Hz", "1280x720 60Hz",
              "1024x768 60Hz", "800x600 60Hz"],
    "edidNames": ["VelmoView 24", "VelmoView 27"]
  },
  "manager": { "databaseFile": "sim/manager/VelmoData.xml", "userDatabaseFiles": {} },
  "directory": {
    "users": { "aduser": "Passw0rd" },
    "authStatusSequence": [4, 0],
    "authStatusCalls": 0
  },
  "transmitters": {},
  "discovery": { "ip": "192.168.1.22", "net": "255.255.255.0\nBcast:192.168.1.255\ndefault 192.168.1.1" },
  "launcher": { "hotkey": 0 },
  "upgrade": { "signatureValid": true, "pendingVersion": "" },
  "usb": { "inserted": false },
  "diagnosticsRx": "VELMO-DIAG-RX simulated receiver diagnostics\n",
  "led": "off",
  "reboots": 0,
  "hubResets": 0,
  "keymapLoads": 0,
  "failures": {},
  "delaysMs": {
    "su_upgrade_rx_unit": 4000,
    "su_upgrade_tx_unit": 4000,
    "su_get_tx_device_info": 500,
    "su_get_tx_preferences": 500,
    "su_set_tx_prefs": 800,
    "su_set_tx_network": 800,
    "su_reboot_tx_unit": 1500,
    "su_restore_tx_unit": 1500,
    "su_run_tx_diagnostics": 1500,
    "su_listen_for_ip": 2000,
    "su_transfer_clone_edid": 800
  }
})json";

const char* const defaultPrefsJson = R"json({
  "videoQuality": 3,
  "videoOptimisation": 1,
  "hidMode": "Default",
  "hidEnabled": 1,
  "heads": 1,
  "edidIndex": [1, 1],
  "edidSelect": ["1920x1080", " "],
  "edidPrevName": ["", ""],
  "edidCloneName": ["", ""]
})json";

// The database of a management appliance that offers directory log-on: the
// directory user "aduser" is marked for the directory service. The unit's own
// address is not among the receivers, so a pull does not make it managed.
const char* const managerDatabaseXml = R"xml(<Data>
 <Connections>
  <Connection Name="Default_TX_192.168.1.22" IP_address="192.168.1.22" Port="3389" Domain="" Load_Bal="" Colour_depth="32" User_Name="demo" Password="mirth" viaTX="true" ExtDesk="" Audio="" USB_Redirection="" Connection_type="Private"/>
 </Connections>
 <Users>
  <User User_Name="admin" Password="" Privilege="Administrator">
   <Associated_connections Connection_Name="Default_TX_192.168.1.22"/>
  </User>
  <User User_Name="aduser" Password="" Privilege="User" AD="true">
   <Associated_connections Connection_Name="Default_TX_192.168.1.22"/>
  </User>
 </Users>
 <Unit_Settings>
  <Screen_Resolution Default="1280x1024"/>
  <Network>
   <DHCP Set_checked="false"/>
   <Static_IP Set_checked="true" IP_address="192.168.1.21" Network_Mask="255.255.255.0" Default_Gateway="192.168.1.1" DNS_Address="0.0.0.0" DNS_2_Address="0.0.0.0"/>
  </Network>
  <AutoLogin AutoLogUser=""/>
  <RememberLastUser User_name=""/>
  <Hot_Key hotkey=""/>
  <Power_Mode PowerMode="Manual"/>
  <Broker Con_Via_Active_Dir="false" Con_Via_Broker="false" VM_Resourse="2" Web_Access_Addr="" Con_Broker_Ip="" Domain="" Default_Broker_Ip="" Load_Bal_Info=""/>
 </Unit_Settings>
 <RX_Devices/>
 <TX_Devices/>
 <MgmtUnit_Settings>
  <Mgmt Name="Default_MGMT_192.168.1.23" IP_Type="Static" IP_address="192.168.1.23" Network_Mask="255.255.255.0" Default_Gateway="192.168.1.1" DNS_Address="0.0.0.0" DNS_2_Address="0.0.0.0" MAC="" Model_num="" Serial_num="" SW_ver="" RememberLastUser="" AD="true"/>
 </MgmtUnit_Settings>
</Data>
)xml";

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

void writeIfMissing(const QString& path, const QByteArray& bytes)
{
    if (!QFileInfo::exists(path))
        SimServices::writeWhole(path, bytes);
}

} // namespace

namespace SimDefaults {

QJsonObject transmitterPrefs()
{
    return parse(defaultPrefsJson);
}

QJsonObject transmitter()
{
    QJsonObject tx;
    tx.insert(QStringLiteral("reachable"), true);
    tx.insert(QStringLiteral("safeMode"), false);
    tx.insert(QStringLiteral("deviceType"), QStringLiteral("TX"));
    tx.insert(QStringLiteral("otherDomain"), false);
    tx.insert(QStringLiteral("mpn"), QStringLiteral("TXU-4200-SH"));
    tx.insert(QStringLiteral("serial"), QStringLiteral("TX42A005678"));
    tx.insert(QStringLiteral("mac"), QStringLiteral("00:1B:7C:42:00:22"));
    tx.insert(QStringLiteral("swVersion"), QStringLiteral("V3.0.2"));
    tx.insert(QStringLiteral("mask"), QStringLiteral("255.255.255.0"));
    tx.insert(QStringLiteral("gateway"), QStringLiteral("192.168.1.1"));
    tx.insert(QStringLiteral("mcastAddr"), QStringLiteral("239.1.1.22"));
    tx.insert(QStringLiteral("mcastPort"), QStringLiteral("6003"));
    tx.insert(QStringLiteral("prefs"), transmitterPrefs());
    tx.insert(
        QStringLiteral("diagnostics"), QStringLiteral("VELMO-DIAG-TX simulated transmitter diagnostics\n"));
    tx.insert(QStringLiteral("reboots"), 0);
    tx.insert(QStringLiteral("restores"), 0);
    return tx;
}

QJsonObject unitState()
{
    QJsonObject state = parse(defaultUnitJson);
    const QString factoryAddress = QStringLiteral("192.168.1.22");
    state.insert(QStringLiteral("transmitters"), QJsonObject { { factoryAddress, transmitter() } });
    return state;
}

QByteArray managerDatabase()
{
    return QByteArray(managerDatabaseXml);
}

QStringList programPaths()
{
    return { QStringLiteral("/usr/bin/check_power_button_mode"),
        QStringLiteral("/usr/bin/set_power_button_mode"), QStringLiteral("/usr/bin/restapi_cli"),
        QStringLiteral("/opt/kestrix/flush_eth0.sh"), QStringLiteral("/opt/kestrix/flash_led.sh"),
        QStringLiteral("/opt/kestrix/reset_hub.sh"), QStringLiteral("/opt/kestrix/loadkeymap.sh"),
        QStringLiteral("/opt/kestrix/diagnostics.sh"), QStringLiteral("/opt/kestrix/database/rx_database.sh"),
        QStringLiteral("/opt/kestrix/security/validate_upgrade_package.sh") };
}

QByteArray programPlaceholder(const QString& program)
{
    return "#!/bin/false\n# " + program.toLatin1()
        + ": stands in for the unit's program; the simulated unit runs its own version\n";
}

void createUnitFiles(const QString& root, const QJsonObject& state)
{
    for (const char* dir : { "/mnt/perm", "/mnt/usb", "/usr/local/gui_files", "/tmp", "/proc", "/opt/kestrix",
             "/opt/kestrix/security", "/opt/kestrix/database", "/usr/bin" })
        QDir().mkpath(root + QLatin1String(dir));

    writeIfMissing(root + QStringLiteral("/VERSION"), "V3.0.2\n");
    writeIfMissing(root + QStringLiteral("/proc/mounts"),
        "/dev/root / ext4 rw,relatime 0 0\n"
        "proc /proc proc rw,relatime 0 0\n"
        "tmpfs /tmp tmpfs rw,relatime 0 0\n"
        "/dev/mmcblk0p3 /mnt/perm ext4 rw,relatime 0 0\n");

    const QJsonObject eth0
        = SimServices::child(SimServices::child(state, QStringLiteral("network")), QStringLiteral("eth0"));
    const QByteArray address = eth0.value(QStringLiteral("address")).toString().toLatin1();
    const QByteArray gateway = eth0.value(QStringLiteral("gateway")).toString().toLatin1();
    writeIfMissing(root + QStringLiteral("/usr/local/interfaces"),
        "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n\taddress " + address
            + "\n\tnetmask " + eth0.value(QStringLiteral("netmask")).toString().toLatin1()
            + "\n\tbroadcast 192.168.1.255\n\tgateway " + gateway + "\n");
    writeIfMissing(root + QStringLiteral("/usr/local/resolv.conf"), "nameserver " + gateway + "\n");
    writeIfMissing(root + QStringLiteral("/usr/local/directfbrc"), "mode=1280x1024\ndepth=32\n");
    writeIfMissing(root + QStringLiteral("/mnt/perm/keymap"), "us");

    for (const QString& program : programPaths())
        writeIfMissing(root + program, programPlaceholder(program));

    writeIfMissing(root + QStringLiteral("/sim/manager/VelmoData.xml"), managerDatabase());
    QDir().mkpath(root + QStringLiteral("/sim/usb-stick"));
}

} // namespace SimDefaults
