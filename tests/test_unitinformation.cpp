// The Information tab: every value label, and what each missing file or
// failing service leaves in it.
#include "app/mainwindow.h"
#include "database.h"
#include "modal.h"
#include "settings/unitinformation.h"
#include "testmain.h"

#include <QLabel>
#include <QtTest>

namespace {

const char* const valueLabels[] = { "labelSerialNumber", "labelMacAddress", "labelSoftwareVersion",
    "labelMpn", "labelModel", "labelIpAddressInfo", "labelManagerIp", "labelPrimaryDns", "labelSecondaryDns",
    "labelGatewayInfo", "labelNetworkMask" };

} // namespace

class TestUnitInformation : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void labels_data();
    void labels();
};

void TestUnitInformation::labels_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("label"); // empty: every label, in order
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("log");
    const QString noManager = QStringLiteral("MainWindow: Manager IP address not found.\n");
    // clang-format off
    QTest::newRow("every label") << "resolver" << false << ""
        << "RX42A001234|00:1B:7C:42:00:21|V3.0.2|RXU4200S01|RXU-4200 Single-Head Receiver|192.168.1.21|Receiver is currently not managed|10.0.0.53|10.0.0.54|192.168.1.1|255.255.255.0" << "";
    QTest::newRow("version line with carriage return") << "version V3.1.0\r\nbuild 7\n" << false << "labelSoftwareVersion" << "V3.1.0" << "";
    QTest::newRow("version line with tab") << "version V3.1\t.0\n" << false << "labelSoftwareVersion" << "V3.1.0" << "";
    QTest::newRow("empty version file") << "version " << false << "labelSoftwareVersion" << "Unknown" << "";
    QTest::newRow("no version file") << "no version" << false << "labelSoftwareVersion" << "" << "";
    QTest::newRow("no model text") << "no spn" << false << "labelModel" << "Unknown" << "Velmogui: RX info error 2 su_get_spn = RXU4200 returned spn = .\n";
    QTest::newRow("no model") << "su_get_model" << false << "labelMpn" << "" << "";
    QTest::newRow("no serial") << "su_get_serial" << false << "labelSerialNumber" << "" << "";
    QTest::newRow("network down") << "down" << false << "labelIpAddressInfo" << "Network is down." << "";
    QTest::newRow("managed") << "mgr MGMT_IP= 10.0.0.9 \n" << true << "labelManagerIp" << "10.0.0.9" << "";
    QTest::newRow("managed, two equal signs") << "mgr MGMT_IP=10.0.0.9=x\n" << true << "labelManagerIp" << "" << noManager;
    QTest::newRow("managed, no equal sign") << "mgr 10.0.0.9\n" << true << "labelManagerIp" << "" << noManager;
    QTest::newRow("managed, no file") << "" << true << "labelManagerIp" << "" << "MainWindow: /usr/local/mgr_ip file does not exist.";
    QTest::newRow("unmanaged with a file") << "mgr MGMT_IP=10.0.0.9\n" << false << "labelManagerIp" << "Receiver is currently not managed" << "";
    // clang-format on
}

void TestUnitInformation::labels()
{
    QFETCH(QString, setup);
    QFETCH(bool, managed);
    QFETCH(QString, log);
    OsdWindow osd(databaseWithUsers(), 1, managed);
    if (setup == "resolver")
        osd.unit.writeFile("/usr/local/resolv.conf", "nameserver 10.0.0.53\nnameserver 10.0.0.54\n");
    else if (setup.startsWith("version "))
        osd.unit.writeFile("/VERSION", setup.mid(8).toLatin1());
    else if (setup == "no version")
        QFile::remove(osd.unit.path("/VERSION"));
    else if (setup == "no spn")
        osd.unit.sim().editSection(
            "identity", [](QJsonObject& identity) { identity.insert("spn", QJsonObject()); });
    else if (setup.startsWith("su_"))
        osd.unit.sim().setFailure(setup, 1);
    else if (setup == "down")
        osd.unit.setNetwork("eth0", "running", false);
    else if (setup.startsWith("mgr "))
        osd.unit.writeFile("/usr/local/mgr_ip", setup.mid(4).toLatin1());
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
    if (setup.startsWith("version V3.1.0\r"))
        QCOMPARE(osd.window->readSoftwareVersion(), QStringLiteral("V3.1.0\r"));
}

VELMO_TEST_MAIN(TestUnitInformation)
#include "test_unitinformation.moc"
