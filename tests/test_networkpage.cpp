// The unit's own network page: what a static or DHCP apply refuses, writes,
// stores and reports, and what the page reads back from the live unit.
#include "app/mainwindow.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "modal.h"
#include "settings/networkrules.h"
#include "storagefault.h"
#include "testmain.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QtTest>

#include <optional>

namespace {

const char interfaces[] = "/usr/local/interfaces";
const char resolver[] = "/usr/local/resolv.conf";

QDomElement networkChild(const QDomDocument& document, const char* name)
{
    return document.documentElement()
        .firstChildElement(db::UnitSettings)
        .firstChildElement(db::Network)
        .firstChildElement(name);
}

template <typename T> T* get(OsdWindow& osd, const char* name)
{
    T* found = osd.window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QString text(OsdWindow& osd, const char* name)
{
    if (auto* edit = osd.window->findChild<QLineEdit*>(QLatin1String(name)))
        return edit->text();
    return get<QLabel>(osd, name)->text();
}

void setEth0(TestUnit& unit, const char* key, const QJsonValue& value)
{
    unit.sim().editSection(QStringLiteral("network"), [&](QJsonObject& network) {
        QJsonObject eth0 = network.value("eth0").toObject();
        eth0.insert(key, value);
        network.insert("eth0", eth0);
    });
}

void showNetworkPage(OsdWindow& osd)
{
    get<QStackedWidget>(osd, "stackedWidget")->setCurrentIndex(2);
    get<QStackedWidget>(osd, "stackedWidget")->setCurrentIndex(1);
}

void typeStatic(OsdWindow& osd, const QStringList& fields)
{
    showNetworkPage(osd);
    get<QRadioButton>(osd, "radioButtonStatIP")->click();
    int i = 0;
    for (const char* name :
        { "ipAddrlineEdit", "netMasklineEdit", "gatelineEdit", "DNSlineEdit", "DNS2lineEdit" })
        get<QLineEdit>(osd, name)->setText(fields.value(i++));
}

// Presses Apply and answers the one box that follows.
ModalAnswerPtr apply(OsdWindow& osd, const QString& title)
{
    ModalAnswerPtr answer = answerNextBox(title, QMessageBox::Ok);
    get<QPushButton>(osd, "applyNetworkButton")->click();
    waitForAnswer(answer);
    return answer;
}

QStringList programs(const TestUnit& unit)
{
    QStringList names;
    for (const QStringList& command : unit.commands())
        names << command.join(QLatin1Char(' '));
    return names;
}

} // namespace

class TestNetworkPage : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void refusal_data();
    void refusal();
    void staticApply_data();
    void staticApply();
    void afterRestart_data();
    void afterRestart();
    void gatewayColumn_data();
    void gatewayColumn();
    void dnsServers_data();
    void dnsServers();
};

void TestNetworkPage::refusal_data()
{
    QTest::addColumn<QStringList>("fields"); // address, mask, gateway, dns, dns 2
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString info = QStringLiteral("Information");
    const QString maskTitle = QStringLiteral("Network Mask Validation");
    const QString maskText = QStringLiteral("Network Mask is out of valid range.");
    const QString subnet = QStringLiteral(
        "The New Default Gateway Address is not in the same subnet as the New Device IP Address.");
    const QString badAddress = QStringLiteral("The New Device IP address is invalid for this subnet.");
    const QString badGateway
        = QStringLiteral("The new device default gateway address is invalid for this subnet.");
    const QString gatewayTitle = QStringLiteral("Gateway Validation");
    const QString gatewayText = QStringLiteral("Default Gateway is out of valid range.");

    QTest::newRow("no address") << QStringList { "", "255.255.255.0", "10.0.0.1" } << info
                                << "IP address field is mandatory.";
    QTest::newRow("blank address") << QStringList { "   ", "255.255.255.0", "10.0.0.1" } << info
                                   << "IP address field is mandatory.";
    for (const char* address :
        { "10.1", "010.0.0.5", "0x0A.0.0.5", "::1", "167772165", "10.0.0.256", "Not found" })
        QTest::newRow(address) << QStringList { address, "255.0.0.0", "10.0.0.1" } << info
                               << "Invalid IP address.";
    QTest::newRow("address is gateway") << QStringList { "10.0.0.1 ", "255.0.0.0", " 10.0.0.1" } << info
                                        << "IP address and Gateway can not be the same.";
    QTest::newRow("no mask") << QStringList { "10.0.0.5", "", "10.0.0.1" } << maskTitle << maskText;
    QTest::newRow("zero mask") << QStringList { "10.0.0.5", "0.0.0.0", "10.0.0.1" } << maskTitle << maskText;
    QTest::newRow("short mask") << QStringList { "10.0.0.5", "255.255.255", "10.0.0.1" } << maskTitle
                                << maskText;
    QTest::newRow("word mask") << QStringList { "10.0.0.5", "Not found", "10.0.0.1" } << maskTitle
                               << maskText;
    QTest::newRow("one-bit mask") << QStringList { "10.0.0.5", "128.0.0.0", "10.0.0.1" } << maskTitle
                                  << maskText;
    QTest::newRow("gap in mask") << QStringList { "10.1.2.3", "255.0.255.0", "10.1.2.1" } << maskTitle
                                 << maskText;
    QTest::newRow("all-ones mask")
        << QStringList { "10.0.0.5", "255.255.255.255", "10.0.0.1" } << "Error"
        << "The Network Mask 255.255.255.255 leaves no address for a Default Gateway.";
    QTest::newRow("zero address, no gateway")
        << QStringList { "0.0.0.0", "255.0.0.0", "" } << "Default Gateway Validation"
        << "Device IP address and Gateway IP address cannot be the same.";
    QTest::newRow("no gateway, other subnet")
        << QStringList { "10.0.5.7", "255.255.254.0", "" } << "Error" << subnet;
    QTest::newRow("gateway one block up")
        << QStringList { "10.0.5.7", "255.255.254.0", "10.0.6.1" } << "Error" << subnet;
    QTest::newRow("address is network")
        << QStringList { "192.168.1.0", "255.255.255.0", "192.168.1.1" } << "Error" << badAddress;
    QTest::newRow("address is broadcast")
        << QStringList { "192.168.1.255", "255.255.255.0", "192.168.1.1" } << "Error" << badAddress;
    QTest::newRow("address is /23 network")
        << QStringList { "10.0.4.0", "255.255.254.0", "10.0.5.1" } << "Error" << badAddress;
    QTest::newRow("gateway is broadcast")
        << QStringList { "192.168.1.5", "255.255.255.0", "192.168.1.255" } << "Error" << badGateway;
    QTest::newRow("gateway is /23 broadcast")
        << QStringList { "10.0.4.9", "255.255.254.0", "10.0.5.255" } << "Error" << badGateway;
    QTest::newRow("short gateway") << QStringList { "10.0.0.5", "255.0.0.0", "10.1" } << gatewayTitle
                                   << gatewayText;
    QTest::newRow("word gateway") << QStringList { "10.0.0.5", "255.0.0.0", "Not found" } << gatewayTitle
                                  << gatewayText;
    QTest::newRow("word DNS") << QStringList { "10.0.0.5", "255.0.0.0", "10.0.0.1", "dns.example" }
                              << "DNS Validation"
                              << "Primary DNS address is out of valid range.";
    QTest::newRow("short second DNS")
        << QStringList { "10.0.0.5", "255.0.0.0", "10.0.0.1", "", "8.8" } << "DNS Validation"
        << "Secondary DNS address is out of valid range.";
}

void TestNetworkPage::refusal()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, title);
    QDomDocument document = databaseWithUsers();
    // A refused apply must not clear the DHCP choice either.
    networkChild(document, db::Dhcp).setAttribute(db::SetChecked, "true");
    OsdWindow osd(document);
    typeStatic(osd, fields);
    const QByteArray storedBefore = osd.unit.readFile(osd.window->storage().databasePath);
    const QByteArray interfacesBefore = osd.unit.readFile(interfaces);
    const QByteArray resolverBefore = osd.unit.readFile(resolver);
    osd.unit.clearRecords();

    ModalAnswerPtr answer = apply(osd, title);
    QVERIFY(answer->answered);
    QTEST(answer->text, "text");
    QCOMPARE(osd.window->findChildren<QProgressDialog*>().size(), 0);
    QCOMPARE(osd.unit.readFile(osd.window->storage().databasePath), storedBefore);
    QCOMPARE(osd.unit.readFile(interfaces), interfacesBefore);
    QCOMPARE(osd.unit.readFile(resolver), resolverBefore);
    QVERIFY(osd.unit.commands().isEmpty());
    QCOMPARE(
        networkChild(osd.window->document(), db::Dhcp).attribute(db::SetChecked), QStringLiteral("true"));
    if (QTest::currentDataTag() == QLatin1String("zero mask"))
        QCOMPARE(text(osd, "netMasklineEdit"), QStringLiteral("255.255.255.0"));
}

void TestNetworkPage::staticApply_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("stored"); // address, mask, gateway, dns, dns 2 as kept
    QTest::addColumn<QByteArray>("interfacesFile");
    QTest::addColumn<QByteArray>("resolverFile");
    QTest::newRow("typical")
        << QStringList { "192.168.1.50", "255.255.255.0", "192.168.1.1", "8.8.8.8", "" }
        << QStringList { "192.168.1.50", "255.255.255.0", "192.168.1.1", "8.8.8.8", "" }
        << QByteArray("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n"
                      "\taddress 192.168.1.50\n\tnetmask 255.255.255.0\n\tbroadcast 192.168.1.255\n"
                      "\tgateway 192.168.1.1\n")
        << QByteArray("nameserver 8.8.8.8\nnameserver \n");
    QTest::newRow("blanks removed, /23")
        << QStringList { " 10.0.5.7 ", "255.255.254.0 ", " 10.0.4.1", " 1.1.1.1", "9.9.9.9 " }
        << QStringList { "10.0.5.7", "255.255.254.0", "10.0.4.1", "1.1.1.1", "9.9.9.9" }
        << QByteArray("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n"
                      "\taddress 10.0.5.7\n\tnetmask 255.255.254.0\n\tbroadcast 10.0.5.255\n"
                      "\tgateway 10.0.4.1\n")
        << QByteArray("nameserver 1.1.1.1\nnameserver 9.9.9.9\n");
    QTest::newRow("240 mask") << QStringList { "10.0.0.5", "240.0.0.0", "10.0.0.1", "", "" }
                              << QStringList { "10.0.0.5", "240.0.0.0", "10.0.0.1", "", "" }
                              << QByteArray(
                                     "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet static\n"
                                     "\taddress 10.0.0.5\n\tnetmask 240.0.0.0\n\tbroadcast 15.255.255.255\n"
                                     "\tgateway 10.0.0.1\n")
                              << QByteArray("nameserver \nnameserver \n");
}

void TestNetworkPage::staticApply()
{
    QFETCH(QStringList, fields);
    QFETCH(QStringList, stored);
    for (const bool serviceWorks : { true, false }) {
        OsdWindow osd(databaseWithUsers());
        if (!serviceWorks) // the interface file never gets an empty broadcast
            osd.unit.sim().setFailure(QStringLiteral("su_get_broadcast_address"), 1);
        typeStatic(osd, fields);
        osd.unit.clearRecords();

        ModalAnswerPtr answer = apply(osd, QStringLiteral("Network Status"));
        QCOMPARE(answer->text, QStringLiteral("Network settings changed successfully."));
        QTEST(osd.unit.readFile(interfaces), "interfacesFile");
        QTEST(osd.unit.readFile(resolver), "resolverFile");
        const QDomDocument document = osd.stored();
        const QDomElement kept = networkChild(document, db::StaticIp);
        QCOMPARE((QStringList { kept.attribute(db::IpAddress), kept.attribute(db::NetworkMask),
                     kept.attribute(db::DefaultGateway), kept.attribute(db::DnsAddress),
                     kept.attribute(db::Dns2Address) }),
            stored);
        QCOMPARE(kept.attribute(db::SetChecked), QStringLiteral("true"));
        QCOMPARE(networkChild(document, db::Dhcp).attribute(db::SetChecked), QStringLiteral("false"));
        QVERIFY(osd.window->storage().verifyChecksumFile(osd.window->storage().databasePath));
        const QStringList run = programs(osd.unit);
        QCOMPARE(run.filter("killall").value(0), QStringLiteral("/usr/bin/killall udhcpc"));
        QVERIFY(run.indexOf("/usr/bin/killall udhcpc") < run.indexOf("/opt/kestrix/flush_eth0.sh"));
    }
}

void TestNetworkPage::afterRestart_data()
{
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<QString>("injected"); // "program=code" or "eth0 key=false" or "dhcp server off"
    QTest::addColumn<QString>("text");
    const QString failed = QStringLiteral("Network settings changes failed.");
    QTest::newRow("static, restart cannot start") << false << "/opt/kestrix/flush_eth0.sh=-1" << failed;
    QTest::newRow("static, restart fails") << false << "/opt/kestrix/flush_eth0.sh=1" << failed;
    QTest::newRow("static, cable out") << false << "running" << failed;
    QTest::newRow("static, not stored") << false << "unstored" << failed;
    QTest::newRow("dhcp, server answers") << true << ""
                                          << "Network settings changed successfully.";
    QTest::newRow("dhcp, no server") << true << "no server" << failed + " DHCP server not found.";
    QTest::newRow("dhcp, cable out") << true << "running" << failed + " Network is down.";
    QTest::newRow("dhcp, restart cannot start") << true << "/opt/kestrix/flush_eth0.sh=-1" << failed;
}

void TestNetworkPage::afterRestart()
{
    QFETCH(bool, dhcp);
    QFETCH(QString, injected);
    OsdWindow osd(databaseWithUsers());
    if (injected.contains('='))
        osd.unit.sim().setFailure(injected.section('=', 0, 0), injected.section('=', 1).toInt());
    else if (injected == "running")
        setEth0(osd.unit, "running", false);
    else if (injected == "no server")
        osd.unit.sim().editSection("network", [](QJsonObject& network) {
            QJsonObject server = network.value("dhcp").toObject();
            server.insert("available", false);
            network.insert("dhcp", server);
        });
    if (dhcp) {
        showNetworkPage(osd);
        get<QRadioButton>(osd, "radioButtonDHCP")->click();
    } else {
        typeStatic(osd, { "192.168.1.60", "255.255.255.0", "192.168.1.1" });
    }
    osd.unit.clearRecords();

    std::optional<FailNextDatabaseChange> unwritable;
    if (injected == "unstored")
        unwritable.emplace(osd.unit.path(DatabaseStorage::copyAPath));
    ModalAnswerPtr answer = apply(osd, QStringLiteral("Network Status"));
    QTEST(answer->text, "text");
    if (injected == "unstored") // the DHCP client and the interface are left as they were
        QCOMPARE(programs(osd.unit).filter(QRegularExpression("killall|flush")), QStringList());
    if (injected.endsWith("=-1"))
        QVERIFY(osd.unit.hasLog(3, QStringLiteral(" error occurred on flush")));
    if (!dhcp)
        return;
    QCOMPARE(osd.unit.readFile(interfaces),
        QByteArray("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n"));
    const QDomDocument document = osd.stored();
    QCOMPARE(networkChild(document, db::Dhcp).attribute(db::SetChecked), QStringLiteral("true"));
    QCOMPARE(networkChild(document, db::StaticIp).attribute(db::SetChecked), QStringLiteral("false"));
    QCOMPARE(programs(osd.unit).filter("killall").size(), 0);
}

void TestNetworkPage::gatewayColumn_data()
{
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("shown");
    for (const char* gateway :
        { "10.10.10.10", "10.100.10.10", "10.100.100.10", "10.100.100.100", "192.168.100.100" })
        QTest::newRow(qPrintable(QString::number(qstrlen(gateway)) + " characters")) << gateway << gateway;
    QTest::newRow("no default route") << ""
                                      << "0.0.0.0";
}

void TestNetworkPage::gatewayColumn()
{
    QFETCH(QString, gateway);
    OsdWindow osd(databaseWithUsers());
    setEth0(osd.unit, "gateway", gateway);
    showNetworkPage(osd);
    QTEST(text(osd, "gatelineEdit"), "shown");
    QCOMPARE(text(osd, "ipAddrlineEdit"), QStringLiteral("192.168.1.21"));

    // A table too short to hold a route, and the last of two default routes.
    QCOMPARE(gatewayFromRouteOutput("Kernel IP routing table\nDestination Gateway\n"),
        QStringLiteral("Not found"));
    QCOMPARE(gatewayFromRouteOutput("h1\r\nh2\r\n0.0.0.0 10.0.0.1 0.0.0.0 UG 0 0 0 eth0\r\n"
                                    "0.0.0.0 10.0.0.254 0.0.0.0 UG 0 0 0 eth0\r\n"),
        QStringLiteral("10.0.0.254"));
}

void TestNetworkPage::dnsServers_data()
{
    QTest::addColumn<QByteArray>("file"); // "-" = missing
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("information");
    QTest::newRow("none") << QByteArray("search example.com\n") << QStringList { "Not Found", "" }
                          << QStringList { "Not Found", "Not Found" };
    QTest::newRow("one") << QByteArray("nameserver 10.0.0.53\n") << QStringList { "10.0.0.53", "" }
                         << QStringList { "10.0.0.53", "" };
    QTest::newRow("two, comments") << QByteArray(
        "# nameserver 9.9.9.9\nnameserver 1.1.1.1 # main\nsearch x\nnameserver 8.8.8.8\n")
                                   << QStringList { "1.1.1.1", "8.8.8.8" }
                                   << QStringList { "1.1.1.1", "8.8.8.8" };
    QTest::newRow("missing") << QByteArray("-") << QStringList { "", "" } << QStringList { "", "" };
}

void TestNetworkPage::dnsServers()
{
    QFETCH(QByteArray, file);
    OsdWindow osd(databaseWithUsers());
    if (file == "-")
        QFile::remove(osd.unit.path(resolver));
    else
        osd.unit.writeFile(resolver, file);
    showNetworkPage(osd);
    QTEST((QStringList { text(osd, "DNSlineEdit"), text(osd, "DNS2lineEdit") }), "fields");
    osd.window->showUnitInformation();
    QTEST((QStringList { text(osd, "labelPrimaryDns"), text(osd, "labelSecondaryDns") }), "information");
    if (file == "-")
        QVERIFY(osd.unit.hasLog(
            3, QStringLiteral("MainWindow: resolve.conf file:/usr/local/resolv.conf does not exist!")));
}

VELMO_TEST_MAIN(TestNetworkPage)
#include "test_networkpage.moc"
