// The unit's own network page: what a static or DHCP apply refuses, writes,
// stores and reports, and what the page reads back from the live unit; and the
// Information tab: every value label, and what each missing file or failing
// service leaves in it.
#include "app/mainwindow.h"
#include "database.h"
#include "logon.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "modal.h"
#include "press.h"
#include "settings/networkpage.h"
#include "rules/networkrules.h"
#include "simplatform.h"
#include "storagefault.h"
#include "rules/txvalidation.h"
#include "testmain.h"
#include "widgets.h"

#include <QDir>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScopeGuard>
#include <QtTest>

namespace {

const char interfaces[] = "/usr/local/interfaces";
const char resolver[] = "/usr/local/resolv.conf";
const char* const valueLabels[] = { "labelSerialNumber", "labelMacAddress", "labelSoftwareVersion",
    "labelMpn", "labelModel", "labelIpAddressInfo", "labelManagerIp", "labelPrimaryDns", "labelSecondaryDns",
    "labelGatewayInfo", "labelNetworkMask" };

// Opens the page and chooses DHCP, or a static set typed field by field.
void choose(OsdWindow& osd, const QStringList& fields)
{
    osd.showPage(1);
    child<QRadioButton>(*osd.window, fields.isEmpty() ? "radioButtonDHCP" : "radioButtonStatIP")->click();
    int i = 0;
    for (const char* name :
        { "ipAddrlineEdit", "netMasklineEdit", "gatelineEdit", "DNSlineEdit", "DNS2lineEdit" })
        if (!fields.isEmpty())
            child<QLineEdit>(*osd.window, name)->setText(fields.value(i++));
}

// eth0 as the simulated unit has it; while `flickers`, its lease is gone at every other reading.
class FlickeringLease : public SimPlatform {
public:
    using SimPlatform::SimPlatform;
    NetworkFacts eth0() const override
    {
        NetworkFacts facts = SimPlatform::eth0();
        if (flickers && readings++ % 2 == 0)
            facts.addresses.clear();
        return facts;
    }
    bool flickers = false;
    mutable int readings = 0;
};

} // namespace

class TestNetworkPage : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void refusal_data();
    void refusal();
    void apply_data();
    void apply();
    void readBack_data();
    void readBack();
    void liveAddress();
    void appliedCheck_data();
    void appliedCheck();
    void informationLabels_data();
    void informationLabels();
};

void TestNetworkPage::refusal_data()
{
    QTest::addColumn<QStringList>("fields"); // address, mask, gateway, dns, dns 2
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, const QStringList& fields, const char* title, const QString& text) {
        QTest::newRow(name) << fields << title << text;
    };
    const char* mask = "Network Mask Validation";
    const QString maskText = QStringLiteral("Network Mask is out of valid range.");
    const QString subnet = QStringLiteral(
        "The New Default Gateway Address is not in the same subnet as the New Device IP Address.");
    const QString badAddress = QStringLiteral("The New Device IP address is invalid for this subnet.");
    const QString badGateway
        = QStringLiteral("The new device default gateway address is invalid for this subnet.");
    // clang-format off
    row("no address", { "", "255.255.255.0", "10.0.0.1" }, "Information", "IP address field is mandatory.");
    row("blank address", { "   ", "255.255.255.0", "10.0.0.1" }, "Information", "IP address field is mandatory.");
    for (const char* address : { "10.1", "010.0.0.5", "0x0A.0.0.5", "::1", "167772165", "10.0.0.256", "1O.0.0.5", "Not found",
                                 "127.0.0.5", "127.255.1.2", "224.0.0.5", "239.255.255.250", "0.1.2.3", "240.0.0.5", "255.1.2.3" })
        row(address, { address, "255.0.0.0", "10.0.0.1" }, "Information", "Invalid IP address.");
    row("address is gateway", { "10.0.0.1 ", "255.0.0.0", " 10.0.0.1" }, "Information", "IP address and Gateway can not be the same.");
    row("no mask", { "10.0.0.5", "", "10.0.0.1" }, mask, maskText);
    row("zero mask", { "10.0.0.5", "0.0.0.0", "10.0.0.1" }, mask, maskText);
    row("short mask", { "10.0.0.5", "255.255.255", "10.0.0.1" }, mask, maskText);
    row("one-bit mask", { "10.0.0.5", "128.0.0.0", "10.0.0.1" }, mask, maskText);
    row("gap in mask", { "10.1.2.3", "255.0.255.0", "10.1.2.1" }, mask, maskText);
    row("all-ones mask", { "10.0.0.5", "255.255.255.255", "10.0.0.1" }, "Error", "The Network Mask 255.255.255.255 leaves no address for a Default Gateway.");
    row("zero address, no gateway", { "0.0.0.0", "255.0.0.0", "" }, "Default Gateway Validation", "Device IP address and Gateway IP address cannot be the same.");
    row("no gateway, other subnet", { "10.0.5.7", "255.255.254.0", "" }, "Error", subnet);
    row("gateway one block up", { "10.0.5.7", "255.255.254.0", "10.0.6.1" }, "Error", subnet);
    row("address is network", { "192.168.1.0", "255.255.255.0", "192.168.1.1" }, "Error", badAddress);
    row("address is broadcast", { "192.168.1.255", "255.255.255.0", "192.168.1.1" }, "Error", badAddress);
    row("address is /23 network", { "10.0.4.0", "255.255.254.0", "10.0.5.1" }, "Error", badAddress);
    row("gateway is broadcast", { "192.168.1.5", "255.255.255.0", "192.168.1.255" }, "Error", badGateway);
    row("gateway is /23 broadcast", { "10.0.4.9", "255.255.254.0", "10.0.5.255" }, "Error", badGateway);
    row("short gateway", { "10.0.0.5", "255.0.0.0", "10.1" }, "Gateway Validation", "Default Gateway is out of valid range.");
    row("word DNS", { "10.0.0.5", "255.0.0.0", "10.0.0.1", "dns.example" }, "DNS Validation", "Primary DNS address is out of valid range.");
    row("short second DNS", { "10.0.0.5", "255.0.0.0", "10.0.0.1", "", "8.8" }, "DNS Validation", "Secondary DNS address is out of valid range.");
    // clang-format on
}

void TestNetworkPage::refusal()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, title);
    QDomDocument document = databaseWithUsers();
    // A refused apply must not clear the DHCP choice either.
    writeUnitSetting(document, UnitSetting::DhcpChecked, "true");
    OsdWindow osd(document);
    choose(osd, fields);
    const auto files = [&osd] {
        return QList<QByteArray> { osd.unit.readFile(osd.window->storage().databasePath),
            osd.unit.readFile(interfaces), osd.unit.readFile(resolver) };
    };
    const QList<QByteArray> before = files();
    osd.unit.clearRecords();

    QTEST(pressAndSettle(*osd.window, "applyNetworkButton", title), "text");
    QCOMPARE(osd.window->findChildren<QProgressDialog*>().size(), 0);
    QCOMPARE(files(), before);
    QVERIFY(osd.unit.commands().isEmpty());
    QCOMPARE(readUnitSetting(osd.window->document(), UnitSetting::DhcpChecked), QStringLiteral("true"));
    if (QTest::currentDataTag() == QLatin1String("zero mask"))
        QCOMPARE(osd.text("netMasklineEdit"), QStringLiteral("255.255.255.0"));
}

void TestNetworkPage::apply_data()
{
    QTest::addColumn<QStringList>("fields"); // typed for a static set; none: DHCP
    QTest::addColumn<QString>("injected"); // "program=code", "running" (eth0 key false) or a fault
    QTest::addColumn<QString>("text"); // of the box after the restart; empty: no box comes
    QTest::addColumn<QByteArray>("interfacesFile"); // empty: the static set is not kept
    QTest::addColumn<QByteArray>("resolverFile");
    const QString failed = QStringLiteral("Network settings changes failed.");
    const QString changed = QStringLiteral("Network settings changed successfully.");
    const QByteArray head = "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n";
    const QStringList typical { "192.168.1.50", "255.255.255.0", "192.168.1.1", "8.8.8.8", "" };
    const QStringList some { "192.168.1.60", "255.255.255.0", "192.168.1.1" };
    // The interface file never gets an empty broadcast, with or without the service.
    for (const QString& service : { QString(), QStringLiteral("su_get_broadcast_address=1") }) {
        const auto row = [&service](const char* name) {
            return &QTest::newRow(qPrintable(name + QString(service.isEmpty() ? "" : ", no broadcast service")));
        };
        // clang-format off
        *row("typical") << typical << service << changed
            << head + "\taddress 192.168.1.50\n\tnetmask 255.255.255.0\n\tbroadcast 192.168.1.255\n\tgateway 192.168.1.1\n"
            << QByteArray("nameserver 8.8.8.8\nnameserver \n");
        *row("blanks removed, /23") << QStringList { " 10.0.5.7 ", "255.255.254.0 ", " 10.0.4.1", " 1.1.1.1", "9.9.9.9 " }
            << service << changed
            << head + "\taddress 10.0.5.7\n\tnetmask 255.255.254.0\n\tbroadcast 10.0.5.255\n\tgateway 10.0.4.1\n"
            << QByteArray("nameserver 1.1.1.1\nnameserver 9.9.9.9\n");
        *row("240 mask") << QStringList { "10.0.0.5", "240.0.0.0", "10.0.0.1", "", "" } << service << changed
            << head + "\taddress 10.0.0.5\n\tnetmask 240.0.0.0\n\tbroadcast 15.255.255.255\n\tgateway 10.0.0.1\n"
            << QByteArray("nameserver \nnameserver \n");
        // clang-format on
    }
    const auto row = [](const char* name, const QStringList& fields, const char* injected, const QString& text) {
        QTest::newRow(name) << fields << QString(injected) << text << QByteArray() << QByteArray();
    };
    row("static, restart cannot start", some, "/opt/kestrix/flush_eth0.sh=-1", failed);
    row("static, restart fails", some, "/opt/kestrix/flush_eth0.sh=1", failed);
    row("static, cable out", some, "running", failed);
    row("static, not stored", some, "unstored", failed);
    row("static, not stored, no resolver file before", typical, "unstored, no resolver", failed);
    row("static, resolver file not written", some, "resolver", failed);
    row("dhcp, logged off meanwhile: no box", {}, "log-off", "");
    row("dhcp, server answers", {}, "", changed);
    row("dhcp, no server", {}, "no server", failed + " DHCP server not found.");
    row("dhcp, restart cannot start", {}, "/opt/kestrix/flush_eth0.sh=-1", failed);
}

void TestNetworkPage::apply()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, injected);
    QFETCH(QByteArray, interfacesFile);
    const bool dhcp = fields.isEmpty();
    OsdWindow osd(databaseWithUsers());
    if (injected.contains('='))
        osd.unit.sim().setFailure(injected.section('=', 0, 0), injected.section('=', 1).toInt());
    else if (injected == "running")
        osd.unit.setNetwork("eth0", "running", false);
    else if (injected == "no server")
        osd.unit.setNetwork("dhcp", "available", false);
    choose(osd, fields);
    if (injected == "resolver" || injected.endsWith("no resolver"))
        QVERIFY(QFile::remove(osd.unit.path(resolver))
            && (injected != "resolver" || QDir().mkpath(osd.unit.path(resolver))));
    const QByteArray interfacesBefore = osd.unit.readFile(interfaces);
    const bool resolverBefore = QFileInfo::exists(osd.unit.path(resolver));
    osd.window->formPage(MainWindow::Page::Information); // built and not shown again, it is told of a change
    osd.unit.clearRecords();

    FailNextDatabaseChange unwritable(osd.unit.path(DatabaseStorage::copyAPath), injected.startsWith("unstored"));
    QSharedPointer<LogonAnswer> logon;
    if (injected == "log-off") { // an inactivity log-off while the unit restarts eth0; boss logs on
        logon = answerNextLogon(QStringLiteral("boss"), QStringLiteral("pw"));
        QTimer::singleShot(0, osd.window.get(), [&osd] { osd.window->guiTimerTimeout(); });
    }
    QFETCH(QString, text);
    QCOMPARE(pressAndSettle(*osd.window, "applyNetworkButton", "Network Status", text.isEmpty() ? 300 : 5000),
        text);
    if (logon) // the answer nobody asked for is left
        QVERIFY(logon->shown && closeLeftoverModals() == 1);
    QStringList run; // the programs started, each as one line
    for (const QStringList& command : osd.unit.commands())
        run << command.join(QLatin1Char(' '));
    const bool unchanged = injected.startsWith("unstored") || injected == "resolver";
    QCOMPARE(osd.text("labelIpAddressInfo").isEmpty(), unchanged || injected.endsWith("=-1"));
    if (unchanged) { // DHCP client, files, database as before
        QCOMPARE(run.filter(QRegularExpression("killall|flush")), QStringList());
        QCOMPARE(osd.unit.readFile(interfaces), interfacesBefore);
        QCOMPARE(QFileInfo::exists(osd.unit.path(resolver)), resolverBefore);
        QCOMPARE(readUnitSetting(osd.window->document(), UnitSetting::StaticAddress),
            readUnitSetting(databaseWithUsers(), UnitSetting::StaticAddress));
    }
    if (injected.endsWith("=-1"))
        QVERIFY(osd.unit.hasLog(3, QStringLiteral(" error occurred on flush")));
    if (injected == "running" && !dhcp) // the status, whole
        QCOMPARE(osd.text("ipAddrlineEdit"), QStringLiteral("Network is down."));
    const QDomDocument document = osd.stored();
    if (!interfacesFile.isEmpty()) {
        QCOMPARE(osd.unit.readFile(interfaces), interfacesFile);
        QTEST(osd.unit.readFile(resolver), "resolverFile");
        QStringList kept;
        for (const UnitSetting setting : { UnitSetting::StaticAddress, UnitSetting::StaticMask,
                 UnitSetting::StaticGateway, UnitSetting::StaticDns, UnitSetting::StaticDns2,
                 UnitSetting::StaticChecked, UnitSetting::DhcpChecked })
            kept << readUnitSetting(document, setting);
        for (QString& typed : fields) // each as typed, without blanks around it
            typed = typed.trimmed();
        QCOMPARE(kept, fields + QStringList({ "true", "false" }));
        QVERIFY(osd.window->storage().verifyChecksumFile(osd.window->storage().databasePath));
        QCOMPARE(run.filter("killall").value(0), QStringLiteral("/usr/bin/killall udhcpc"));
        QVERIFY(run.indexOf("/usr/bin/killall udhcpc") < run.indexOf("/opt/kestrix/flush_eth0.sh"));
    }
    if (!dhcp)
        return;
    QCOMPARE(osd.unit.readFile(interfaces),
        QByteArray("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n"));
    QCOMPARE(readUnitSetting(document, UnitSetting::DhcpChecked), QStringLiteral("true"));
    QCOMPARE(readUnitSetting(document, UnitSetting::StaticChecked), QStringLiteral("false"));
    QCOMPARE(run.filter("killall").size(), 0);
}

void TestNetworkPage::readBack_data()
{
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QByteArray>("resolverText"); // "-": missing
    QTest::addColumn<QStringList>("page"); // gateway, dns, dns 2
    QTest::addColumn<QStringList>("information"); // dns, dns 2
    // clang-format off
    QTest::newRow("11-character gateway, no name server") << "10.10.10.10" << QByteArray("search example.com\n")
        << QStringList { "10.10.10.10", "Not Found", "" } << QStringList { "Not Found", "Not Found" };
    QTest::newRow("14-character gateway, one name server") << "10.100.100.100" << QByteArray("nameserver 10.0.0.53\n")
        << QStringList { "10.100.100.100", "10.0.0.53", "" } << QStringList { "10.0.0.53", "" };
    QTest::newRow("15-character gateway, commented servers") << "192.168.100.100"
        << QByteArray("# nameserver 9.9.9.9\nnameserver 1.1.1.1 # main\nsearch x\nnameserver 8.8.8.8\n")
        << QStringList { "192.168.100.100", "1.1.1.1", "8.8.8.8" } << QStringList { "1.1.1.1", "8.8.8.8" };
    QTest::newRow("no default route, no resolver file") << "" << QByteArray("-")
        << QStringList { "0.0.0.0", "", "" } << QStringList { "", "" };
    // clang-format on
}

void TestNetworkPage::readBack()
{
    QFETCH(QString, gateway);
    QFETCH(QByteArray, resolverText);
    OsdWindow osd(databaseWithUsers());
    osd.unit.setNetwork("eth0", "gateway", gateway);
    if (resolverText == "-")
        QFile::remove(osd.unit.path(resolver));
    else
        osd.unit.writeFile(resolver, resolverText);
    osd.showPage(1);
    QTEST((QStringList { osd.text("gatelineEdit"), osd.text("DNSlineEdit"), osd.text("DNS2lineEdit") }),
        "page");
    QCOMPARE(osd.text("ipAddrlineEdit"), QStringLiteral("192.168.1.21"));
    osd.window->showUnitInformation();
    QTEST((QStringList { osd.text("labelPrimaryDns"), osd.text("labelSecondaryDns") }), "information");
    const QString missing = "MainWindow: resolve.conf file:/usr/local/resolv.conf does not exist!";
    QCOMPARE(osd.unit.hasLog(3, missing), resolverText == "-");

    // A table too short to hold a route, and the last of two default routes.
    QCOMPARE(gatewayFromRouteOutput("Kernel IP routing table\nDestination Gateway\n"),
        QStringLiteral("Not found"));
    QCOMPARE(gatewayFromRouteOutput("h1\r\nh2\r\n0.0.0.0 10.0.0.1 0.0.0.0 UG 0 0 0 eth0\r\n"
                                    "0.0.0.0 10.0.0.254 0.0.0.0 UG 0 0 0 eth0\r\n"),
        QStringLiteral("10.0.0.254"));
    // A transmitter whose address begins like the receiver's, or the other way round, is another unit.
    for (const auto& pair : { std::make_pair("192.168.1.2", "192.168.1.21"), std::make_pair("192.168.1.21", "192.168.1.2") })
        QVERIFY(!checkConnectAddress(QLatin1String(pair.first), QLatin1String(pair.second)).refused());
}

void TestNetworkPage::liveAddress()
{
    // A lease that comes and goes between readings: each reading shows what it read, whole.
    OsdWindow osd(databaseWithUsers());
    FlickeringLease platform(osd.unit.sim());
    osd.window = std::make_unique<MainWindow>(platform, nullptr, osd.user.get());
    const auto windowFirst = qScopeGuard([&osd] { osd.window.reset(); });
    osd.window->formPage(MainWindow::Page::LocalNetwork);
    platform.flickers = true;
    QStringList shown;
    for (int reading = 0; reading < 2; ++reading) {
        shown << osd.window->localNetwork().currentIpAddress();
        QCOMPARE(osd.text("ipAddrlineEdit"), shown.last());
    }
    QCOMPARE(shown, (QStringList { "DHCP server not found.", "192.168.1.21" }));
    // A typed address keeps to the field's limit.
    child<QRadioButton>(*osd.window, "radioButtonStatIP")->click();
    QCOMPARE(child<QLineEdit>(*osd.window, "ipAddrlineEdit")->maxLength(), 15);
}

void TestNetworkPage::informationLabels_data()
{
    QTest::addColumn<QString>("setup"); // "/file=text", "-/file" (gone), failing "su_" call, "no spn", "down"
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("label"); // empty: every label, in order
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("log");
    const QString noManager = QStringLiteral("MainWindow: Manager IP address not found.\n");
    // clang-format off
    QTest::newRow("every label") << "/usr/local/resolv.conf=nameserver 10.0.0.53\nnameserver 10.0.0.54\n" << false << ""
        << "RX42A001234|00:1B:7C:42:00:21|V3.0.2|RXU4200S01|RXU-4200 Single-Head Receiver|192.168.1.21|Receiver is currently not managed|10.0.0.53|10.0.0.54|192.168.1.1|255.255.255.0" << "";
    QTest::newRow("version line with carriage return") << "/VERSION=V3.1.0\r\nbuild 7\n" << false << "labelSoftwareVersion" << "V3.1.0" << "";
    QTest::newRow("version line with tab") << "/VERSION=V3.1\t.0\n" << false << "labelSoftwareVersion" << "V3.1.0" << "";
    QTest::newRow("empty version file") << "/VERSION=" << false << "labelSoftwareVersion" << "Unknown" << "";
    QTest::newRow("no version file") << "-/VERSION" << false << "labelSoftwareVersion" << "" << "";
    QTest::newRow("no model text") << "no spn" << false << "labelModel" << "Unknown" << "Velmogui: RX info error 2 su_get_spn = RXU4200 returned spn = .\n";
    QTest::newRow("no model") << "su_get_model" << false << "labelMpn" << "" << "";
    QTest::newRow("no serial") << "su_get_serial" << false << "labelSerialNumber" << "" << "";
    QTest::newRow("managed") << "/usr/local/mgr_ip=MGMT_IP= 10.0.0.9 \n" << true << "labelManagerIp" << "10.0.0.9" << "";
    QTest::newRow("managed, two equal signs") << "/usr/local/mgr_ip=MGMT_IP=10.0.0.9=x\n" << true << "labelManagerIp" << "" << noManager;
    QTest::newRow("managed, no equal sign") << "/usr/local/mgr_ip=10.0.0.9\n" << true << "labelManagerIp" << "" << noManager;
    QTest::newRow("managed, no file") << "" << true << "labelManagerIp" << "" << "MainWindow: /usr/local/mgr_ip file does not exist.";
    QTest::newRow("unmanaged with a file") << "/usr/local/mgr_ip=MGMT_IP=10.0.0.9\n" << false << "labelManagerIp" << "Receiver is currently not managed" << "";
    // clang-format on
}

void TestNetworkPage::informationLabels()
{
    QFETCH(QString, setup);
    QFETCH(bool, managed);
    QFETCH(QString, log);
    OsdWindow osd(databaseWithUsers(), 1, managed);
    if (setup.startsWith('/'))
        osd.unit.writeFile(setup.section('=', 0, 0), setup.section('=', 1).toLatin1());
    else if (setup.startsWith('-'))
        QFile::remove(osd.unit.path(setup.mid(1)));
    else if (setup == "no spn")
        osd.unit.sim().editSection(
            "identity", [](QJsonObject& identity) { identity.insert("spn", QJsonObject()); });
    else if (setup.startsWith("su_"))
        osd.unit.sim().setFailure(setup, 1);
    osd.window->showUnitInformation();
    QFETCH(QString, label);
    QStringList shown;
    for (const char* name : valueLabels)
        if (label.isEmpty() || label == QLatin1String(name))
            shown << osd.text(name);
    QTEST(shown.join('|'), "shown");
    if (!log.isEmpty())
        QVERIFY(osd.unit.hasLog(3, log));
    // The identity kept for the upgrade check is the file's first line as it is.
    if (setup.startsWith("/VERSION=V3.1.0\r"))
        QCOMPARE(osd.window->readSoftwareVersion(), QStringLiteral("V3.1.0\r"));
}

void TestNetworkPage::appliedCheck_data()
{
    QTest::addColumn<QString>("applied"); // the static address asked for; empty: DHCP
    QTest::addColumn<QString>("eth0"); // "running up address"; "-" for a flag that is off
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("live");
    const auto row = [](const char* name, const char* applied, const char* eth0, AppliedNetwork outcome,
                         const char* live) { QTest::newRow(name) << applied << eth0 << int(outcome) << live; };
    const char* const noLease = "DHCP server not found.";
    // clang-format off
    row("dhcp, leased", "", "running up 10.0.0.7", AppliedNetwork::Applied, "10.0.0.7");
    row("dhcp, leased but not up", "", "running - 10.0.0.7", AppliedNetwork::NotApplied, "10.0.0.7");
    row("dhcp, no lease", "", "running up -", AppliedNetwork::NoLease, noLease);
    row("dhcp, cable out", "", "- up 10.0.0.7", AppliedNetwork::Down, "Network is down.");
    row("dhcp, an address too long to be one", "", "running up 100.100.100.100.1", AppliedNetwork::NoLease, noLease);
    row("static, taken", "10.0.0.7", "running up 10.0.0.7", AppliedNetwork::Applied, "10.0.0.7");
    row("static, another address", "10.0.0.8", "running up 10.0.0.7", AppliedNetwork::NotApplied, "10.0.0.7");
    row("static, no address that reads as the one asked", noLease, "running up -", AppliedNetwork::NotApplied, noLease);
    // clang-format on
}

void TestNetworkPage::appliedCheck()
{
    QFETCH(QString, applied);
    QFETCH(QString, eth0);
    const QStringList facts = eth0.split(' ');
    NetworkFacts read;
    read.running = facts[0] != "-";
    read.up = facts[1] != "-";
    if (facts[2] != "-")
        read.addresses << facts[2];
    QTEST(int(appliedNetwork(applied.isEmpty(), applied, read)), "outcome");
    QTEST(liveAddressText(read), "live");
}

VELMO_TEST_MAIN(TestNetworkPage)
#include "test_networkpage.moc"
