#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "platform/durablewriter.h"
#include "testmain.h"
#include "testunit.h"

#include <QtTest>

namespace {

// The default document exactly as a new unit writes it. Attribute order is the one Qt gives with the fixed hash seed.
const char defaultDatabaseText[] = R"xml(<Data>
 <Connections>
  <Connection Load_Bal="" Domain="" Password="mirth" Name="Default_TX_192.168.1.22" viaTX="true" IP_address="192.168.1.22" Port="3389" Colour_depth="32" User_Name="demo" Connection_type="Private" USB_Redirection="" Audio="" ExtDesk=""/>
 </Connections>
 <Users>
  <User Password="" User_Name="admin" Privilege="Administrator">
   <Associated_connections Connection_Name="Default_TX_192.168.1.22"/>
  </User>
 </Users>
 <Unit_Settings>
  <Screen_Resolution Default="1280x1024"/>
  <Network>
   <DHCP Set_checked="false"/>
   <Static_IP DNS_Address="0.0.0.0" IP_address="192.168.1.21" Network_Mask="255.255.255.0" Set_checked="true" DNS_2_Address="0.0.0.0" Default_Gateway="192.168.1.1"/>
  </Network>
  <AutoLogin AutoLogUser="admin"/>
  <RememberLastUser User_name=""/>
  <Hot_Key hotkey=""/>
  <Power_Mode PowerMode="Manual"/>
  <Broker Web_Access_Addr="" Default_Broker_Ip="" Domain="" Load_Bal_Info="" Con_Via_Active_Dir="false" VM_Resourse="2" Con_Via_Broker="false" Con_Broker_Ip=""/>
 </Unit_Settings>
 <RX_Devices/>
 <TX_Devices/>
 <MgmtUnit_Settings>
  <Mgmt Name="Default_MGMT_192.168.1.23" Serial_num="" MAC="" DNS_Address="0.0.0.0" IP_address="192.168.1.23" Model_num="" IP_Type="Static" Network_Mask="255.255.255.0" RememberLastUser="" SW_ver="" DNS_2_Address="0.0.0.0" Default_Gateway="192.168.1.1"/>
 </MgmtUnit_Settings>
</Data>
)xml";

QDomElement elementFrom(const QString& xml)
{
    QDomDocument document;
    document.setContent(xml);
    return document.documentElement();
}

QStringList childTags(const QDomNode& parent)
{
    QStringList tags;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        tags << e.tagName();
    return tags;
}

} // namespace

class TestDatabaseSchema : public QObject {
    Q_OBJECT

private slots:
    void newDatabaseIsTheDefaultDocumentByteForByte();
    void newDatabaseStructure();
    void connectionKind_data();
    void connectionKind();
    void schemaUpgrade_data();
    void schemaUpgrade();
    void addedGroupsCarryNewDatabaseValues();
    void upToDateDocumentIsNotRewritten();
};

void TestDatabaseSchema::newDatabaseIsTheDefaultDocumentByteForByte()
{
    TestUnit unit;
    DurableWriter writer(unit.platform());
    DatabaseStorage storage(unit.platform(), writer, [](const QString&, const QString&) {});
    storage.createNewDatabase();

    const QByteArray text = unit.readFile(DatabaseStorage::copyAPath);
    QCOMPARE(text, QByteArray(defaultDatabaseText));
    QCOMPARE(unit.readFile(DatabaseStorage::copyBPath), text);
    QCOMPARE(unit.readFile(DatabaseStorage::checksumAPath),
             QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex() + '\n');
    QCOMPARE(unit.readFile(DatabaseStorage::checksumBPath), unit.readFile(DatabaseStorage::checksumAPath));
    QVERIFY(!text.startsWith("<?xml"));
    QVERIFY(unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));
}

void TestDatabaseSchema::newDatabaseStructure()
{
    const QDomDocument document = newDatabaseDocument();
    const QDomElement root = document.documentElement();
    QCOMPARE(root.tagName(), QStringLiteral("Data"));
    QCOMPARE(childTags(root), (QStringList { "Connections", "Users", "Unit_Settings", "RX_Devices", "TX_Devices",
                                             "MgmtUnit_Settings" }));
    QCOMPARE(childTags(root.firstChildElement(db::UnitSettings)),
             (QStringList { "Screen_Resolution", "Network", "AutoLogin", "RememberLastUser", "Hot_Key", "Power_Mode",
                            "Broker" }));

    const QDomElement admin = root.firstChildElement(db::Users).firstChildElement(db::User);
    QCOMPARE(admin.attribute(db::UserName), QStringLiteral("admin"));
    QVERIFY(admin.hasAttribute(db::Password));
    QCOMPARE(admin.attribute(db::Password), QString());
    QCOMPARE(admin.attribute(db::Privilege), QStringLiteral("Administrator"));
    QCOMPARE(childTags(admin), QStringList { "Associated_connections" });
    QCOMPARE(admin.firstChildElement().attribute(db::ConnectionName), QStringLiteral("Default_TX_192.168.1.22"));

    const QDomElement connection = root.firstChildElement(db::Connections).firstChildElement();
    QCOMPARE(::connectionKind(connection), ConnectionKind::ViaTx);
    QCOMPARE(root.firstChildElement(db::RxDevices).childNodes().count(), 0);
    QCOMPARE(root.firstChildElement(db::TxDevices).childNodes().count(), 0);
}

void TestDatabaseSchema::connectionKind_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<int>("kind");
    const auto row = [](const char* name, const char* attributes, ConnectionKind kind) {
        QTest::newRow(name) << QString::fromLatin1(attributes) << static_cast<int>(kind);
    };
    row("nothing set is RDP to a VM", R"(Name="a")", ConnectionKind::Vm);
    row("pool beats broker", R"(Pool="true" Broker="Yes")", ConnectionKind::Pool);
    row("pool beats transmitter", R"(Pool="true" viaTX="true")", ConnectionKind::Pool);
    row("transmitter beats SSH type", R"(viaTX="true" type="SSH")", ConnectionKind::ViaTx);
    row("broker beats horizon", R"(Broker="Yes" Horizon="true")", ConnectionKind::Broker);
    row("broker needs Yes, not true", R"(Broker="true" type="VNC")", ConnectionKind::Vnc);
    row("horizon beats SSH", R"(Horizon="true" type="SSH")", ConnectionKind::Horizon);
    row("SSH", R"(type="SSH")", ConnectionKind::Ssh);
    row("VNC", R"(type="VNC")", ConnectionKind::Vnc);
    row("KVM", R"(type="KVM")", ConnectionKind::Kvm);
    row("values are case-sensitive", R"(Pool="True" viaTX="TRUE" type="ssh")", ConnectionKind::Vm);
    row("pool marker of transmitter pools is not a pool", R"(viaTxPool="true")", ConnectionKind::Vm);
}

void TestDatabaseSchema::connectionKind()
{
    QFETCH(QString, attributes);
    QFETCH(int, kind);
    const QDomElement element = elementFrom(QStringLiteral("<Connection %1/>").arg(attributes));
    QCOMPARE(static_cast<int>(::connectionKind(element)), kind);
}

void TestDatabaseSchema::schemaUpgrade_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("sectionsAfter");
    QTest::addColumn<QStringList>("groupsAfter");

    QTest::newRow("missing broker group")
        << R"(<Data><Connections/><Users/><Unit_Settings><Power_Mode PowerMode="Auto"/></Unit_Settings><RX_Devices/><TX_Devices/><MgmtUnit_Settings/></Data>)"
        << QStringList { "Connections", "Users", "Unit_Settings", "RX_Devices", "TX_Devices", "MgmtUnit_Settings" }
        << QStringList { "Power_Mode", "Broker" };
    QTest::newRow("missing power mode")
        << R"(<Data><Connections/><Users/><Unit_Settings><Broker VM_Resourse="7"/></Unit_Settings><RX_Devices/><TX_Devices/><MgmtUnit_Settings/></Data>)"
        << QStringList { "Connections", "Users", "Unit_Settings", "RX_Devices", "TX_Devices", "MgmtUnit_Settings" }
        << QStringList { "Broker", "Power_Mode" };
    QTest::newRow("no unit settings gains device sections only")
        << R"(<Data><Connections/><Users/></Data>)"
        << QStringList { "Connections", "Users", "RX_Devices", "TX_Devices", "MgmtUnit_Settings" } << QStringList();
    QTest::newRow("missing sections appended in order")
        << R"(<Data><Connections/><TX_Devices/><Users/><Unit_Settings><Power_Mode/><Broker/></Unit_Settings></Data>)"
        << QStringList { "Connections", "TX_Devices", "Users", "Unit_Settings", "RX_Devices", "MgmtUnit_Settings" }
        << QStringList { "Power_Mode", "Broker" };
}

void TestDatabaseSchema::schemaUpgrade()
{
    QFETCH(QString, before);
    QFETCH(QStringList, sectionsAfter);
    QFETCH(QStringList, groupsAfter);

    QDomDocument document;
    QVERIFY(document.setContent(before));
    QVERIFY(upgradeSchema(document));
    const QDomElement root = document.documentElement();
    QCOMPARE(childTags(root), sectionsAfter);
    const QDomElement settings = root.firstChildElement(db::UnitSettings);
    QCOMPARE(childTags(settings), groupsAfter);

    QVERIFY2(!upgradeSchema(document), "a second upgrade must find nothing to add");
}

void TestDatabaseSchema::addedGroupsCarryNewDatabaseValues()
{
    QDomDocument document;
    QVERIFY(document.setContent(QStringLiteral("<Data><Unit_Settings><Hot_Key hotkey=\"Alt-Alt\"/></Unit_Settings></Data>")));
    QVERIFY(upgradeSchema(document));
    const QDomElement settings = document.documentElement().firstChildElement(db::UnitSettings);
    QCOMPARE(settings.firstChildElement(db::HotKey).attribute(db::Hotkey), QStringLiteral("Alt-Alt"));
    QCOMPARE(settings.firstChildElement(db::PowerModeGroup).attribute(db::PowerMode), QStringLiteral("Manual"));

    const QDomElement added = settings.firstChildElement(db::BrokerGroup);
    const QList<QPair<QString, QString>> expected { { "Con_Via_Active_Dir", "false" }, { "Con_Via_Broker", "false" },
                                                    { "VM_Resourse", "2" }, { "Web_Access_Addr", "" },
                                                    { "Con_Broker_Ip", "" }, { "Domain", "" },
                                                    { "Default_Broker_Ip", "" }, { "Load_Bal_Info", "" } };
    QCOMPARE(added.attributes().count(), expected.size());
    for (const auto& attribute : expected)
        QCOMPARE(added.attribute(attribute.first, QStringLiteral("<missing>")), attribute.second);
}

void TestDatabaseSchema::upToDateDocumentIsNotRewritten()
{
    TestUnit unit;
    DurableWriter writer(unit.platform());
    DatabaseStorage storage(unit.platform(), writer, [](const QString&, const QString&) {});
    storage.databasePath = storage.selectDatabaseFile();
    storage.loadDatabaseDocument();

    // Mark the stored copy so a rewrite would show.
    const QByteArray marked = unit.readFile(DatabaseStorage::copyAPath).replace("1280x1024", "1280x1024 ");
    unit.writeFile(DatabaseStorage::copyAPath, marked);
    storage.upgradeDatabaseSchema();
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), marked);

    // An older document is upgraded in the copy in use, checksum included, after
    // the other copy took the state before it (a power cut falls back to that).
    QDomElement settings = storage.document.documentElement().firstChildElement(db::UnitSettings);
    settings.removeChild(settings.firstChildElement(db::BrokerGroup));
    storage.upgradeDatabaseSchema();
    QVERIFY(unit.readFile(DatabaseStorage::copyAPath).contains("VM_Resourse=\"2\""));
    QVERIFY(storage.verifyChecksumFile(DatabaseStorage::copyAPath));
    QCOMPARE(unit.readFile(DatabaseStorage::copyBPath), marked);
    QVERIFY(storage.verifyChecksumFile(DatabaseStorage::copyBPath));
}

VELMO_TEST_MAIN(TestDatabaseSchema)
#include "test_database_schema.moc"
