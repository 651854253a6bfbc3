// The simulated unit that every other test and the development build stand on.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSaveFile>
#include <QtTest>
#include <cstring>
#include <memory>
#include <vector>

#include "modal.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "simpackage.h"
#include "testmain.h"
#include "testunit.h"

namespace {
QByteArray md5Line(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex() + '\n';
}

QString mountPointOf(const QByteArray& line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' ')).value(1);
}

bool usbInMounts(TestUnit& unit)
{
    for (const QByteArray& line : unit.readFile(QStringLiteral("/proc/mounts")).split('\n'))
        if (mountPointOf(line) == QLatin1String("/mnt/usb"))
            return true;
    return false;
}

void editSection(TestUnit& unit, const QString& section, const QString& key, const QJsonValue& value)
{
    unit.sim().editState([&](QJsonObject& state) {
        QJsonObject object = state.value(section).toObject();
        object.insert(key, value);
        state.insert(section, object);
    });
}

std::unique_ptr<ConfigData> txRecord(const char* address)
{
    auto cfg = std::make_unique<ConfigData>();
    std::memset(cfg.get(), 0, sizeof(ConfigData));
    qstrncpy(cfg->tx_settings.ip, address, sizeof cfg->tx_settings.ip);
    return cfg;
}
}

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void defaultUnitIsCompleteAndCoherent();
    void defaultPackagesPassTheDefaultUnitsChecks();
    void injectedFailuresTakeEffect_data();
    void injectedFailuresTakeEffect();
    void editsOnDiskAreSeenAndBrokenEditsIgnored();
    void usbStickMountsAndKeepsWhatWasWritten();
    void managerDatabaseReplacesBothCopies();
    void packagePrintsMapExtractsAndInstalls();
    void packagesAreNeverExecuted();
    void networkProgramsFollowTheInterfacesFile();
    void directoryLogonFollowsItsScript();
    void textsAreBoundedToTheCallersBuffers_data();
    void textsAreBoundedToTheCallersBuffers();
    void recordFieldsAndTablesStayInsideTheirBounds();
    void transmitterOperationsChangeTheTransmitter();
    void transmitterUpgradeJudgesThePackage_data();
    void transmitterUpgradeJudgesThePackage();
    void fixtureAnswersBoxesAndCapturesDebugOutput();
};

void TestSim::defaultUnitIsCompleteAndCoherent()
{
    TestUnit unit;
    for (const char* dir : { "/mnt/perm", "/mnt/usb", "/usr/local/gui_files", "/tmp", "/opt/kestrix" })
        QVERIFY2(QFileInfo(unit.path(QLatin1String(dir))).isDir(), dir);
    QVERIFY(unit.readFile(QStringLiteral("/VERSION")).startsWith("V"));
    QVERIFY(!unit.exists(QStringLiteral("/SAFEMODE")));
    QVERIFY(unit.exists(QStringLiteral("/proc/mounts")));
    QVERIFY(!usbInMounts(unit));

    BoardInfo board;
    QCOMPARE(su_get_board_info(&board), 0);
    QCOMPARE(QByteArray(board.mpn), QByteArray("RXU-4200-SH"));
    QCOMPARE(board.boardId, 4);
    QCOMPARE(board.brandId, 1);
    QCOMPARE(board.compatibility, 5);
    QVERIFY(su_is_single_head_bi(&board) && !su_is_dual_head_bi(&board) && !su_is_dual_head());

    char zone[SU_ZONE_LEN] = {};
    QCOMPARE(su_get_rx_zone(zone), 0);
    QCOMPARE(zone[0], '\0');

    const NetworkFacts eth0 = unit.platform().eth0();
    QVERIFY(eth0.up && eth0.running);
    QCOMPARE(eth0.addresses, QStringList { QStringLiteral("192.168.1.21") });
    QCOMPARE(eth0.netmask, QStringLiteral("255.255.255.0"));
    QVERIFY(!eth0.hardwareAddress.isEmpty());

    // The factory transmitter answers.
    auto cfg = txRecord("192.168.1.22");
    QCOMPARE(su_safemode_tx_status(cfg.get()), 0);
    QCOMPARE(su_get_tx_device_info(cfg.get()), 0);
    QVERIFY(std::strlen(cfg->tx_info.mpn) > 0 && std::strlen(cfg->tx_info.sw_version) > 0);
    QCOMPARE(su_safemode_tx_status(txRecord("192.168.1.99").get()), 2);

    // Launchers succeed and leave a launch script ending in "&" with the hot-key.
    QCOMPARE(create_via_tx_connection("Desk", "192.168.1.22", 1, 0, 15, "admin", 0, 1, 0, 0), 0);
    const QByteArray script = unit.readFile(QStringLiteral("/tmp/prevConnection.sh"));
    QVERIFY(script.endsWith(" &"));
    QVERIFY(script.contains(" --hotkey 0 "));
    QCOMPARE(unit.readFile(QStringLiteral("/tmp/startapp.sh")), script);
    QCOMPARE(unit.launches().size(), 1);
    QCOMPARE(unit.launches().first().value(QStringLiteral("args")).toArray(),
        (QJsonArray { QStringLiteral("Desk"), QStringLiteral("192.168.1.22"), 1, 0, 15,
            QStringLiteral("admin"), 0, 1, 0, 0 }));

    // What the OSD logs and reports lands in the records, in order.
    malvo_syslog(5, "### %s Constructor Start ###\n", "MainWindow");
    statistcs_send_json_alert_object(2, 3, 0, 1, 0, "OSD_LOGIN", "admin", "", "", "");
    QVERIFY(unit.hasLog(5, QStringLiteral("### MainWindow Constructor Start ###\n")));
    QCOMPARE(unit.statistics().last().value(QStringLiteral("call")).toString(),
        QStringLiteral("statistcs_send_json_alert_object"));
}

// The default unit and the sim's default packages must fit each other, or no
// upgrade can be demonstrated: tech, brand, compatibility and format as the
// OSD's check reads them.
void TestSim::defaultPackagesPassTheDefaultUnitsChecks()
{
    TestUnit unit;
    BoardInfo board;
    QCOMPARE(su_get_board_info(&board), 0);
    const QByteArray key = QByteArray(board.mpn).split('-').mid(0, 2).join('-');
    char tech[SU_MPN_TEXT_LEN] = {};
    char brand[SU_MPN_TEXT_LEN] = {};
    char prefix[SU_MPN_TEXT_LEN] = {};
    QCOMPARE(su_models_get_tech_string_from_mpn(key.constData(), tech), 0);
    QCOMPARE(su_models_get_brand_from_mpn(key.constData(), brand), 0);
    QCOMPARE(su_models_get_upgrade_prefix_from_mpn(key.constData(), prefix), 0);

    const SimPackage package = SimPackage::receiver(QStringLiteral("V9.9.9"));
    const QString package1 = package.value(QStringLiteral("Package-1"));
    QVERIFY(package.value(QStringLiteral("Upgrade-Format")).startsWith(QLatin1String("Dual")));
    QVERIFY(package.value(QStringLiteral("Board Brand")).contains(QLatin1String(brand)));
    QVERIFY(package1.startsWith(QLatin1String(tech)));
    const QString compatibility = package.value(QStringLiteral("Compatibility-") + package1);
    QVERIFY(compatibility.split(QStringLiteral("0x")).value(1).toInt() >= board.compatibility);
    QVERIFY(QString::fromLatin1(unit.readFile(QStringLiteral("/VERSION"))).split(QLatin1Char('\n')).first()
        != package.value(QStringLiteral("Software-Version")));
    QVERIFY(strlen(prefix) > 0);
}

void TestSim::injectedFailuresTakeEffect_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("expected"); // what the call returns while failed

    QTest::newRow("service returns the code") << "su_get_model" << 7 << 7;
    QTest::newRow("work function returns the code") << "su_get_tx_device_info" << 4 << 4;
    QTest::newRow("launcher refuses") << "create_vm_connection" << 3 << 3;
    QTest::newRow("settings read fails as 0") << "dal_get_tsredirection" << 9 << 0;
    QTest::newRow("program exits with the code") << "/opt/kestrix/flash_led.sh" << 5 << 5;
    QTest::newRow("program failed by its bare name") << "mount" << 32 << 32;
    QTest::newRow("program cannot start") << "/usr/bin/check_power_button_mode" << -1 << -1;
}

void TestSim::injectedFailuresTakeEffect()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(int, expected);
    TestUnit unit;
    unit.sim().insertUsbStick();

    auto call = [&]() -> int {
        if (name == QLatin1String("su_get_model")) {
            char model[SU_MODEL_LEN] = {};
            return su_get_model(model);
        }
        if (name == QLatin1String("su_get_tx_device_info"))
            return su_get_tx_device_info(txRecord("192.168.1.22").get());
        if (name == QLatin1String("create_vm_connection"))
            return create_vm_connection("VM", "admin", "u", "p", "10.0.0.5", 0, "", 0, 0, 0, 0);
        if (name == QLatin1String("dal_get_tsredirection")) {
            int value = -1;
            return dal_get_tsredirection(&value);
        }
        const QString program = name == QLatin1String("mount") ? QStringLiteral("/bin/mount") : name;
        const QStringList args = name == QLatin1String("mount")
            ? QStringList { QStringLiteral("/dev/sda1"), QStringLiteral("/mnt/usb") }
            : QStringList { QStringLiteral("start") };
        const ProgramResult result = unit.platform().run(program, args);
        return result.started ? result.exitCode : -1;
    };

    const int healthy = call();
    QFile::remove(unit.path(QStringLiteral("/tmp/startapp.sh")));
    unit.sim().setFailure(name, code);
    QCOMPARE(call(), expected);
    if (name == QLatin1String("create_vm_connection"))
        QVERIFY(!unit.exists(QStringLiteral("/tmp/startapp.sh")));
    unit.sim().setFailure(name, 0);
    if (name == QLatin1String("mount"))
        unit.platform().run(QStringLiteral("umount"), { QStringLiteral("/mnt/usb") });
    QCOMPARE(call(), healthy);
    QVERIFY(healthy == 0 || healthy == 1); // dal_get_tsredirection succeeds with 1
}

void TestSim::editsOnDiskAreSeenAndBrokenEditsIgnored()
{
    TestUnit unit;
    const QString stateFile = unit.root() + QStringLiteral("/sim/unit.json");
    QJsonObject state = unit.sim().state();
    QJsonObject identity = state.value(QStringLiteral("identity")).toObject();
    identity.insert(QStringLiteral("zone"), QStringLiteral("Control Room"));
    state.insert(QStringLiteral("identity"), identity);

    // A person saves the file with an editor while the OSD runs.
    QFile file(stateFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(state).toJson());
    file.close();
    char zone[SU_ZONE_LEN] = {};
    QCOMPARE(su_get_rx_zone(zone), 0);
    QCOMPARE(QByteArray(zone), QByteArray("Control Room"));

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{ \"identity\": { \"zone\": ");
    file.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not parse")));
    std::memset(zone, 0, sizeof zone);
    QCOMPARE(su_get_rx_zone(zone), 0);
    QCOMPARE(QByteArray(zone), QByteArray("Control Room"));
}

void TestSim::usbStickMountsAndKeepsWhatWasWritten()
{
    TestUnit unit;
    Platform& platform = unit.platform();
    const QStringList mountArgs { QStringLiteral("/dev/sda1"), QStringLiteral("/mnt/usb") };

    // No stick: mounting fails and the mount table stays as it was.
    const QByteArray mountsBefore = unit.readFile(QStringLiteral("/proc/mounts"));
    QVERIFY(platform.run(QStringLiteral("mount"), mountArgs).exitCode != 0);
    QCOMPARE(unit.readFile(QStringLiteral("/proc/mounts")), mountsBefore);
    QVERIFY(su_mount_usb_drive() != 0);

    QVERIFY(unit.sim().writeUsbFile(QStringLiteral("old.ccfg"), "old"));
    QCOMPARE(platform.run(QStringLiteral("mount"), mountArgs).exitCode, 0);
    QVERIFY(usbInMounts(unit));
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/usb/old.ccfg")), QByteArray("old"));
    QVERIFY(platform.run(QStringLiteral("mount"), mountArgs).exitCode != 0); // already mounted

    // An export writes to the mounted stick; unmounting keeps it there.
    QVERIFY(unit.writeFile(QStringLiteral("/mnt/usb/new.ccfg"), "new"));
    QCOMPARE(
        platform.run(QStringLiteral("umount"), { QStringLiteral("-l"), QStringLiteral("/mnt/usb") }).exitCode,
        0);
    QVERIFY(!usbInMounts(unit));
    QVERIFY(!unit.exists(QStringLiteral("/mnt/usb/new.ccfg")));
    QCOMPARE(unit.readFile(QStringLiteral("/proc/mounts")), mountsBefore);
    QVERIFY(platform.run(QStringLiteral("umount"), { QStringLiteral("/mnt/usb") }).exitCode != 0);

    QCOMPARE(su_mount_usb_drive(), 0);
    QCOMPARE(su_mount_usb_drive(), 0); // already mounted counts as mounted
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/usb/new.ccfg")), QByteArray("new"));
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/usb/old.ccfg")), QByteArray("old"));
    QCOMPARE(su_unmount_usb_drive(), 0);
    QVERIFY(!usbInMounts(unit));
}

void TestSim::managerDatabaseReplacesBothCopies()
{
    TestUnit unit;
    const QByteArray served = "<Data>\n <Users/>\n</Data>\n";
    QVERIFY(unit.writeFile(QStringLiteral("/sim/manager/VelmoData.xml"), served));
    QVERIFY(unit.writeFile(QStringLiteral("/mnt/perm/VelmoDataA.xml"), "<Data>local</Data>"));

    QCOMPARE(su_get_xml_db("", 0), 0);
    for (const char* copy : { "A", "B" }) {
        QCOMPARE(unit.readFile(QStringLiteral("/mnt/perm/VelmoData%1.xml").arg(QLatin1String(copy))), served);
        QCOMPARE(
            unit.readFile(QStringLiteral("/mnt/perm/checksum%1").arg(QLatin1String(copy))), md5Line(served));
    }

    // An appliance that fails, or cannot be reached, leaves the local copies alone.
    QVERIFY(unit.writeFile(QStringLiteral("/mnt/perm/VelmoDataA.xml"), "<Data>local</Data>"));
    unit.sim().setFailure(QStringLiteral("su_get_xml_db"), 8);
    QCOMPARE(su_get_xml_db("aduser", 1), 8);
    unit.sim().setFailure(QStringLiteral("su_get_xml_db"), 0);
    QFile::remove(unit.path(QStringLiteral("/sim/manager/VelmoData.xml")));
    QVERIFY(su_get_xml_db("", 0) != 0);
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/perm/VelmoDataA.xml")), QByteArray("<Data>local</Data>"));
}

void TestSim::packagePrintsMapExtractsAndInstalls()
{
    TestUnit unit;
    Platform& platform = unit.platform();
    SimPackage package = SimPackage::receiver(QStringLiteral("V3.1.0"));
    package.files << QStringLiteral("../../escape.txt");
    QVERIFY(unit.sim().writeUsbPackage(QStringLiteral("RXU4200_V3.1.0.clu"), package));
    QCOMPARE(su_mount_usb_drive(), 0);
    const QString path = QStringLiteral("/mnt/usb/RXU4200_V3.1.0.clu");

    const ProgramResult map = platform.run(path, { QStringLiteral("--lsm") });
    QVERIFY(map.started);
    const QList<QByteArray> lines = map.output.split('\n');
    QCOMPARE(lines.first(), QByteArray("Begin3"));
    QVERIFY(lines.contains("Software-Version:V3.1.0"));
    QVERIFY(lines.contains("End"));

    // Detached, as the OSD starts the extraction.
    QVERIFY(platform.startDetached(
        path, { QStringLiteral("--target"), QStringLiteral("/usr/local/DECODER_V3.1.0/") }));
    QVERIFY(unit.exists(QStringLiteral("/usr/local/DECODER_V3.1.0/rootfs.img")));
    QVERIFY(unit.exists(QStringLiteral("/tmp/upgrade_complete")));
    QVERIFY(!QFileInfo::exists(unit.root() + QStringLiteral("/usr/escape.txt")));
    QVERIFY(!QFileInfo::exists(unit.root() + QStringLiteral("/escape.txt")));

    // Installing makes it the running version at the next reboot.
    auto cfg = std::make_unique<ConfigData>();
    std::memset(cfg.get(), 0, sizeof(ConfigData));
    qstrncpy(cfg->rx_release_dir, "/usr/local/DECODER_V3.1.0", sizeof cfg->rx_release_dir);
    QCOMPARE(su_upgrade_rx_unit(cfg.get()), 0);
    QCOMPARE(platform.run(QStringLiteral("reboot"), { QStringLiteral("-f") }).exitCode, 0);
    QCOMPARE(unit.readFile(QStringLiteral("/VERSION")), QByteArray("V3.1.0\n"));
    QCOMPARE(su_upgrade_rx_unit(cfg.get()), 15); // the same version again

    // An encrypted package extracts only with the unit's pass phrase.
    package.setValue(QStringLiteral("Encryption"), QStringLiteral("On"));
    QVERIFY(unit.sim().writeUsbPackage(QStringLiteral("enc.clu"), package));
    char phrase[SU_STORE_LEN] = {};
    QCOMPARE(su_get_store(2, phrase), 0);
    const QStringList target { QStringLiteral("--target"), QStringLiteral("/usr/local/DECODER_V3.2.0/"),
        QStringLiteral("--ssl-pass-src") };
    QVERIFY(
        platform
            .run(QStringLiteral("/mnt/usb/enc.clu"), target + QStringList { QStringLiteral("pass:wrong") })
            .exitCode
        != 0);
    QVERIFY(!unit.exists(QStringLiteral("/usr/local/DECODER_V3.2.0")));
    QCOMPARE(platform
                 .run(QStringLiteral("/mnt/usb/enc.clu"),
                     target + QStringList { QStringLiteral("pass:") + QLatin1String(phrase) })
                 .exitCode,
        0);
    QVERIFY(unit.exists(QStringLiteral("/usr/local/DECODER_V3.2.0/kernel.img")));

    // The validation script judges by the package and the state.
    const QStringList validate { QStringLiteral("/opt/kestrix/security/validate_upgrade_package.sh") };
    QCOMPARE(platform.run(validate.first(), { path }).output.trimmed(), QByteArray("Verified OK"));
    QVERIFY(unit.exists(QStringLiteral("/tmp/signature_done")));
    editSection(unit, QStringLiteral("upgrade"), QStringLiteral("signatureValid"), false);
    QVERIFY(platform.run(validate.first(), { path }).output.contains("Verification Failure"));
}

void TestSim::packagesAreNeverExecuted()
{
    TestUnit unit;
    QVERIFY(unit.sim().writeUsbFile(QStringLiteral("evil.clu"), "#!/bin/sh\ntouch /tmp/ran\n"));
    QCOMPARE(su_mount_usb_drive(), 0);
    QFile::setPermissions(
        unit.path(QStringLiteral("/mnt/usb/evil.clu")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    for (const QString& program : { QStringLiteral("/mnt/usb/evil.clu"), QStringLiteral("/bin/sh"),
             QStringLiteral("/usr/bin/unknown_tool") }) {
        const ProgramResult result = unit.platform().run(program, { QStringLiteral("--lsm") });
        QVERIFY2(!result.started, qPrintable(program));
        QVERIFY(!unit.platform().startDetached(program, {}));
    }
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/ran")));
    QVERIFY(!unit.exists(QStringLiteral("/tmp/ran")));
    // Not started, yet recorded.
    QCOMPARE(unit.commands().at(0),
        (QStringList { QStringLiteral("/mnt/usb/evil.clu"), QStringLiteral("--lsm") }));

    // rm stays inside the root and away from the simulator's own files.
    QCOMPARE(unit.platform()
                 .run(QStringLiteral("rm"), { QStringLiteral("-r"), QStringLiteral("/../..") })
                 .exitCode,
        1);
    QCOMPARE(
        unit.platform().run(QStringLiteral("rm"), { QStringLiteral("-r"), QStringLiteral("/sim") }).exitCode,
        1);
    QVERIFY(QFileInfo::exists(unit.root() + QStringLiteral("/sim/unit.json")));
}

void TestSim::networkProgramsFollowTheInterfacesFile()
{
    TestUnit unit;
    Platform& platform = unit.platform();

    // The gateway as the OSD reads "route -n": the last "UG" line, split at runs of four blanks.
    auto gateway = [&]() {
        const QStringList lines
            = QString::fromLatin1(platform.run(QStringLiteral("route"), { QStringLiteral("-n") }).output)
                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QString found;
        for (const QString& line : lines)
            if (line.contains(QLatin1String("UG")))
                found = line.split(QStringLiteral("    ")).value(2).trimmed();
        return found;
    };
    QCOMPARE(gateway(), QStringLiteral("192.168.1.1"));

    QVERIFY(unit.writeFile(QStringLiteral("/usr/local/interfaces"),
        "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n\taddress 10.0.5.7\n"
        "\tnetmask 255.255.254.0\n\tbroadcast 10.0.5.255\n\tgateway 10.0.4.1\n"));
    QCOMPARE(platform.run(QStringLiteral("/opt/kestrix/flush_eth0.sh"), {}).exitCode, 0);
    QCOMPARE(platform.eth0().addresses, QStringList { QStringLiteral("10.0.5.7") });
    QCOMPARE(platform.eth0().netmask, QStringLiteral("255.255.254.0"));
    QCOMPARE(gateway(), QStringLiteral("10.0.4.1"));

    QVERIFY(unit.writeFile(QStringLiteral("/usr/local/interfaces"),
        "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n"));
    editSection(unit, QStringLiteral("network"), QStringLiteral("dhcp"),
        QJsonObject { { QStringLiteral("available"), false } });
    QCOMPARE(platform.run(QStringLiteral("/opt/kestrix/flush_eth0.sh"), {}).exitCode, 0);
    QVERIFY(platform.eth0().running);
    QVERIFY(platform.eth0().addresses.isEmpty()); // no DHCP server answered
    QCOMPARE(platform.run(QStringLiteral("route"), { QStringLiteral("-n") }).output.count('\n'), 2);

    // The settings script keeps what UPDATE stored for SELECT.
    const QString database = QStringLiteral("/opt/kestrix/database/rx_database.sh");
    QCOMPARE(platform
                 .run(database,
                     { QStringLiteral("UPDATE"), QStringLiteral("OSDResolution"), QStringLiteral("System"),
                         QStringLiteral("1920x1080") })
                 .exitCode,
        0);
    QCOMPARE(platform
                 .run(database,
                     { QStringLiteral("SELECT"), QStringLiteral("OSDResolution"), QStringLiteral("System") })
                 .output.trimmed(),
        QByteArray("1920x1080"));
    QCOMPARE(platform.run(QStringLiteral("/usr/bin/set_power_button_mode"), { QStringLiteral("SIGNAGE") })
                 .exitCode,
        0);
    QCOMPARE(
        platform.run(QStringLiteral("/usr/bin/check_power_button_mode"), {}).output, QByteArray("SIGNAGE\n"));
}

void TestSim::directoryLogonFollowsItsScript()
{
    TestUnit unit;
    char session[AD_SESSION_LEN] = {};
    editSection(
        unit, QStringLiteral("directory"), QStringLiteral("authStatusSequence"), QJsonArray { 4, 5, 0 });
    QCOMPARE(ad_login("aduser", "Passw0rd", session), 0);
    QCOMPARE(ad_get_auth_status("aduser"), 4);
    QCOMPARE(ad_get_auth_status("aduser"), 5);
    QCOMPARE(ad_get_auth_status("aduser"), 0);
    QCOMPARE(ad_get_auth_status("aduser"), 0); // the last value repeats
    QCOMPARE(ad_auth_complete("aduser", session), 0);

    std::memset(session, 0, sizeof session);
    QCOMPARE(ad_login("aduser", "wrong", session), 0);
    QCOMPARE(ad_get_auth_status("aduser"), 4);
    QCOMPARE(ad_get_auth_status("aduser"), 5);
    QCOMPARE(ad_get_auth_status("aduser"), 6);
    QVERIFY(ad_auth_complete("aduser", session) != 0);
}

void TestSim::textsAreBoundedToTheCallersBuffers_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("size");
    for (const auto& row : std::vector<std::pair<const char*, int>> { { "su_get_model", SU_MODEL_LEN },
             { "su_get_serial", SU_SERIAL_LEN }, { "su_get_rx_zone", SU_ZONE_LEN },
             { "su_get_spn", SU_SPN_LEN }, { "su_get_store", SU_STORE_LEN },
             { "su_get_logged_in_user", SU_USER_NAME_LEN },
             { "su_models_get_brand_from_mpn", SU_MPN_TEXT_LEN }, { "hal_get_edid_name", HAL_EDID_NAME_LEN },
             { "ad_login", AD_SESSION_LEN } })
        QTest::newRow(row.first) << QString::fromLatin1(row.first) << row.second;
}

void TestSim::textsAreBoundedToTheCallersBuffers()
{
    QFETCH(QString, call);
    QFETCH(int, size);
    TestUnit unit;
    const QString longText = QString(400, QLatin1Char('x'));
    unit.sim().editState([&](QJsonObject& state) {
        QJsonObject identity = state.value(QStringLiteral("identity")).toObject();
        for (const char* key : { "model", "serial", "zone" })
            identity.insert(QLatin1String(key), longText);
        identity.insert(QStringLiteral("spn"), QJsonObject { { QStringLiteral("M"), longText } });
        identity.insert(QStringLiteral("store"), QJsonObject { { QStringLiteral("2"), longText } });
        state.insert(QStringLiteral("identity"), identity);
        state.insert(QStringLiteral("models"),
            QJsonObject { { QStringLiteral("K"), QJsonObject { { QStringLiteral("brand"), longText } } } });
        QJsonObject display = state.value(QStringLiteral("display")).toObject();
        display.insert(QStringLiteral("edidNames"), QJsonArray { longText });
        state.insert(QStringLiteral("display"), display);
    });
    const std::string longUser(400, 'x');
    QCOMPARE(su_set_logged_in_user(longUser.c_str()), 0);

    // Exactly the promised size on the heap, so any overrun is caught.
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    char* out = buffer.data();
    int rc = -1;
    if (call == QLatin1String("su_get_model"))
        rc = su_get_model(out);
    else if (call == QLatin1String("su_get_serial"))
        rc = su_get_serial(out);
    else if (call == QLatin1String("su_get_rx_zone"))
        rc = su_get_rx_zone(out);
    else if (call == QLatin1String("su_get_spn"))
        rc = su_get_spn("M", out);
    else if (call == QLatin1String("su_get_store"))
        rc = su_get_store(2, out);
    else if (call == QLatin1String("su_get_logged_in_user"))
        rc = su_get_logged_in_user(out);
    else if (call == QLatin1String("su_models_get_brand_from_mpn"))
        rc = su_models_get_brand_from_mpn("K", out);
    else if (call == QLatin1String("hal_get_edid_name"))
        rc = hal_get_edid_name(0, out);
    else if (call == QLatin1String("ad_login"))
        rc = ad_login(longUser.c_str(), "p", out);
    QCOMPARE(rc, 0);
    QCOMPARE(int(strnlen(out, buffer.size())), size - 1);
}

void TestSim::recordFieldsAndTablesStayInsideTheirBounds()
{
    TestUnit unit;
    const QString longText = QString(300, QLatin1Char('7'));
    unit.sim().editState([&](QJsonObject& state) {
        QJsonObject all = state.value(QStringLiteral("transmitters")).toObject();
        QJsonObject tx = all.value(QStringLiteral("192.168.1.22")).toObject();
        for (const char* key :
            { "mpn", "serial", "mac", "swVersion", "mcastAddr", "mcastPort", "mask", "gateway" })
            tx.insert(QLatin1String(key), longText);
        all.insert(QStringLiteral("192.168.1.22"), tx);
        state.insert(QStringLiteral("transmitters"), all);
        QJsonArray modes;
        for (int i = 0; i < HAL_RESOLUTION_COUNT + 10; ++i)
            modes.append(longText);
        QJsonObject display = state.value(QStringLiteral("display")).toObject();
        display.insert(QStringLiteral("modes"), modes);
        display.insert(QStringLiteral("preferred"), longText);
        state.insert(QStringLiteral("display"), display);
    });

    auto cfg = txRecord("192.168.1.22");
    std::memset(cfg->reserved3031, 0x5A, sizeof cfg->reserved3031);
    QCOMPARE(su_get_tx_device_info(cfg.get()), 0);
    QCOMPARE(su_get_tx_network_settings(cfg.get()), 0);
    QCOMPARE(std::strlen(cfg->tx_info.mpn), sizeof cfg->tx_info.mpn - 1);
    QCOMPARE(std::strlen(cfg->tx_info.serial), sizeof cfg->tx_info.serial - 1);
    QCOMPARE(std::strlen(cfg->tx_info.mcast_port), sizeof cfg->tx_info.mcast_port - 1);
    QCOMPARE(std::strlen(cfg->tx_net.mask), sizeof cfg->tx_net.mask - 1);
    QCOMPARE(std::strlen(cfg->tx_net.gateway), sizeof cfg->tx_net.gateway - 1);
    QCOMPARE(cfg->upgrade.softwareVersion[0], '\0'); // the field after tx_info stays untouched
    QCOMPARE(uchar(cfg->reserved3031[0]), uchar(0x5A));

    // The resolution table: 50 entries at most, each terminated inside its 51 bytes.
    auto table = std::make_unique<char[][HAL_RESOLUTION_LEN]>(HAL_RESOLUTION_COUNT);
    std::vector<char> preferred(HAL_RESOLUTION_LEN, '\0');
    QCOMPARE(hal_get_display_resolutions(table.get(), preferred.data()), 0);
    for (int i = 0; i < HAL_RESOLUTION_COUNT; ++i)
        QCOMPARE(int(strnlen(table[i], HAL_RESOLUTION_LEN)), HAL_RESOLUTION_LEN - 1);
    QCOMPARE(int(strnlen(preferred.data(), preferred.size())), HAL_RESOLUTION_LEN - 1);

    // A log line longer than the logging buffer is cut, not overrun.
    const std::string huge(10000, 'L');
    malvo_syslog(3, "%s", huge.c_str());
    const QString logged = unit.logLines().last().text;
    QVERIFY(logged.size() > 1000 && logged.size() < 10000);
}

void TestSim::transmitterOperationsChangeTheTransmitter()
{
    TestUnit unit;
    auto cfg = txRecord("192.168.1.22");
    cfg->tx_prefs.video_quality = 5;
    cfg->tx_prefs.video_optimisation = 2;
    qstrncpy(cfg->tx_prefs.hid_mode, "Absolute MAC", sizeof cfg->tx_prefs.hid_mode);
    qstrncpy(cfg->tx_prefs.edid_select[0], "1280x1024", sizeof cfg->tx_prefs.edid_select[0]);
    qstrncpy(cfg->tx_prefs.edid_select[1], " ", sizeof cfg->tx_prefs.edid_select[1]);
    QCOMPARE(su_set_tx_prefs(cfg.get()), 0);

    auto read = txRecord("192.168.1.22");
    QCOMPARE(su_get_tx_preferences(read.get()), 0);
    QCOMPARE(read->tx_prefs.video_quality, 5);
    QCOMPARE(read->tx_prefs.video_optimisation, 2);
    QCOMPARE(QByteArray(read->tx_prefs.hid_mode), QByteArray("Absolute MAC"));
    QCOMPARE(read->tx_prefs.edid_index[0], 4);
    QCOMPARE(read->tx_prefs.heads, 1);

    // Cloning twice: the first monitor becomes the earlier clone.
    auto clone = txRecord("192.168.1.22");
    QCOMPARE(su_transfer_clone_edid(clone.get()), 0);
    editSection(unit, QStringLiteral("display"), QStringLiteral("edidNames"),
        QJsonArray { QStringLiteral("Wall 55") });
    QCOMPARE(su_transfer_clone_edid(clone.get()), 0);
    QCOMPARE(su_get_tx_preferences(read.get()), 0);
    QCOMPARE(read->tx_prefs.edid_index[0], 6);
    QCOMPARE(QByteArray(read->tx_prefs.edid_clone_name[0]), QByteArray("Wall 55"));
    QCOMPARE(QByteArray(read->tx_prefs.edid_prev_name[0]), QByteArray("VelmoView 24"));
    clone->clone_head = 1; // a single-head transmitter has no second head
    QVERIFY(su_transfer_clone_edid(clone.get()) != 0);

    // A new address: the transmitter answers there and no longer at the old one.
    auto net = txRecord("192.168.1.22");
    qstrncpy(net->tx_net.ip, "192.168.1.40", sizeof net->tx_net.ip);
    qstrncpy(net->tx_net.mask, "255.255.255.0", sizeof net->tx_net.mask);
    qstrncpy(net->tx_net.gateway, "192.168.1.1", sizeof net->tx_net.gateway);
    QCOMPARE(su_set_tx_network(net.get()), 29); // the type was not set
    std::memcpy(net->net_device_type, "TX", 2);
    QCOMPARE(su_set_tx_network(net.get()), 0);
    QCOMPARE(su_safemode_tx_status(txRecord("192.168.1.22").get()), 2);
    auto moved = txRecord("192.168.1.40");
    QCOMPARE(su_get_tx_network_settings(moved.get()), 0);
    QCOMPARE(QByteArray(moved->tx_net.ip), QByteArray("192.168.1.40"));
    QCOMPARE(QByteArray(moved->tx_net.gateway), QByteArray("192.168.1.1"));

    // A restore brings it back to the factory address with factory preferences.
    QCOMPARE(su_restore_tx_unit(moved.get()), 0);
    QCOMPARE(su_get_tx_preferences(read.get()), 0);
    QCOMPARE(read->tx_prefs.video_quality, 3);
    QCOMPARE(su_safemode_tx_status(txRecord("192.168.1.40").get()), 2);

    QCOMPARE(su_run_tx_diagnostics(read.get()), 0);
    QVERIFY(!unit.readFile(QStringLiteral("/usr/local/diagnosticsTX.enc")).isEmpty());
    auto found = txRecord("");
    QCOMPARE(su_listen_for_ip(found.get()), 0);
    QCOMPARE(QByteArray(found->discovered.ip), QByteArray("192.168.1.22"));
    QCOMPARE(QByteArray(found->discovered.net).split('\n').size(), 3);
}

void TestSim::transmitterUpgradeJudgesThePackage_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("mounted");
    QTest::addColumn<int>("expected");
    QTest::newRow("stick not mounted") << "/mnt/usb/TXU4200_V3.1.0.clu" << false << 3;
    QTest::newRow("file missing") << "/mnt/usb/none.clu" << true << 6;
    QTest::newRow("not a package") << "/mnt/usb/notes.clu" << true << 12;
    QTest::newRow("receiver package") << "/mnt/usb/RXU4200_V3.1.0.clu" << true << 13;
    QTest::newRow("version already running") << "/mnt/usb/TXU4200_V3.0.2.clu" << true << 15;
    QTest::newRow("newer version") << "/mnt/usb/TXU4200_V3.1.0.clu" << true << 0;
}

void TestSim::transmitterUpgradeJudgesThePackage()
{
    QFETCH(QString, file);
    QFETCH(bool, mounted);
    QFETCH(int, expected);
    TestUnit unit;
    QVERIFY(unit.sim().writeUsbFile(QStringLiteral("notes.clu"), "just text\n"));
    QVERIFY(unit.sim().writeUsbPackage(
        QStringLiteral("RXU4200_V3.1.0.clu"), SimPackage::receiver(QStringLiteral("V3.1.0"))));
    QVERIFY(unit.sim().writeUsbPackage(
        QStringLiteral("TXU4200_V3.0.2.clu"), SimPackage::transmitter(QStringLiteral("V3.0.2"))));
    QVERIFY(unit.sim().writeUsbPackage(
        QStringLiteral("TXU4200_V3.1.0.clu"), SimPackage::transmitter(QStringLiteral("V3.1.0"))));
    if (mounted)
        QCOMPARE(su_mount_usb_drive(), 0);

    auto cfg = txRecord("192.168.1.22");
    qstrncpy(cfg->tx_upgrade_file, file.toLatin1().constData(), sizeof cfg->tx_upgrade_file);
    QCOMPARE(su_upgrade_tx_unit(cfg.get()), expected);
    auto info = txRecord("192.168.1.22");
    QCOMPARE(su_get_tx_device_info(info.get()), 0);
    QCOMPARE(QByteArray(info->tx_info.sw_version), QByteArray(expected == 0 ? "V3.1.0" : "V3.0.2"));
}

// The shared fixture itself: boxes answered by title in the order scheduled,
// leftovers closed, debug output captured while the unit lives.
void TestSim::fixtureAnswersBoxesAndCapturesDebugOutput()
{
    TestUnit unit;
    const ModalAnswerPtr first = answerNextBox(QStringLiteral("Reboot"), QMessageBox::No);
    const ModalAnswerPtr second = answerNextBox(QStringLiteral("Reboot"), QStringLiteral("Yes"));
    const ModalAnswerPtr other = answerNextBox(QStringLiteral("Never shown"), QMessageBox::Ok);
    QCOMPARE(
        QMessageBox::question(nullptr, QStringLiteral("Reboot"), QStringLiteral("Sure?")), QMessageBox::No);
    QCOMPARE(QMessageBox::question(nullptr, QStringLiteral("Reboot"), QStringLiteral("Really?")),
        QMessageBox::Yes);
    QVERIFY(first->answered && second->answered && !other->answered);
    QCOMPARE(first->text, QStringLiteral("Sure?"));
    QCOMPARE(second->text, QStringLiteral("Really?"));

    QDialog left;
    left.setWindowTitle(QStringLiteral("Left open"));
    left.open();
    QCOMPARE(closeLeftoverModals(), 1); // the answer that never found its box
    QVERIFY(!left.isVisible());

    qDebug("GUI: captured %d", 7);
    QVERIFY(unit.debugLines().contains(QStringLiteral("GUI: captured 7")));
}

VELMO_TEST_MAIN(TestSim)
#include "test_sim.moc"
