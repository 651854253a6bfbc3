#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/plaindocument.h"
#include "database/schema.h"
#include "platform/durablewriter.h"
#include "testmain.h"
#include "testunit.h"

#include <QTextCodec>
#include <QtTest>

namespace {

// The default document exactly as a new unit writes it. Attribute order is the one Qt gives with the fixed
// hash seed.
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

QStringList childTags(const QDomNode& parent)
{
    QStringList tags;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        tags << e.tagName();
    return tags;
}

QMap<QString, QString> attributesOf(const QDomElement& element)
{
    QMap<QString, QString> all;
    for (int i = 0; i < element.attributes().count(); ++i)
        all.insert(element.attributes().item(i).nodeName(), element.attributes().item(i).nodeValue());
    return all;
}

} // namespace

class TestDatabaseSchema : public QObject {
    Q_OBJECT

private slots:
    void newDatabaseIsTheDefaultDocumentByteForByte();
    void connectionKind_data();
    void connectionKind();
    void schemaUpgrade_data();
    void schemaUpgrade();
    void upToDateDocumentIsNotRewritten();
    void writtenTextReadsAsCompactTree();
    void outsideText_data();
    void outsideText();
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
    QVERIFY(unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));
}

void TestDatabaseSchema::connectionKind_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<int>("kind");
    const auto row = [](const char* name, const char* attributes, ConnectionKind kind) {
        QTest::newRow(name) << QString::fromLatin1(attributes) << static_cast<int>(kind);
    };
    // The plain kinds and the transmitter's precedence show in what the connection test launches.
    row("pool beats broker", R"(Pool="true" Broker="Yes")", ConnectionKind::Pool);
    row("broker beats horizon", R"(Broker="Yes" Horizon="true")", ConnectionKind::Broker);
    row("broker needs Yes, not true", R"(Broker="true" type="VNC")", ConnectionKind::Vnc);
    row("horizon beats SSH", R"(Horizon="true" type="SSH")", ConnectionKind::Horizon);
    row("values are case-sensitive", R"(Pool="True" viaTX="TRUE" type="ssh")", ConnectionKind::Vm);
    row("pool marker of transmitter pools is not a pool", R"(viaTxPool="true")", ConnectionKind::Vm);
}

void TestDatabaseSchema::connectionKind()
{
    QFETCH(QString, attributes);
    QFETCH(int, kind);
    QDomDocument document;
    QVERIFY(document.setContent(QStringLiteral("<Connection %1/>").arg(attributes)));
    QCOMPARE(static_cast<int>(::connectionKind(document.documentElement())), kind);
}

void TestDatabaseSchema::schemaUpgrade_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("sectionsAfter");
    QTest::addColumn<QString>("groupsAfter");
    const QString all
        = QStringLiteral("Connections Users Unit_Settings RX_Devices TX_Devices MgmtUnit_Settings");
    const QString devices = QStringLiteral("<RX_Devices/><TX_Devices/><MgmtUnit_Settings/></Data>");
    QTest::newRow("missing broker group")
        << R"(<Data><Connections/><Users/><Unit_Settings><Power_Mode PowerMode="Auto"/></Unit_Settings>)"
            + devices
        << all << "Power_Mode Broker";
    QTest::newRow("missing power mode")
        << R"(<Data><Connections/><Users/><Unit_Settings><Broker VM_Resourse="7"/></Unit_Settings>)" + devices
        << all << "Broker Power_Mode";
    QTest::newRow("no unit settings gains device sections only")
        << "<Data><Connections/><Users/></Data>"
        << "Connections Users RX_Devices TX_Devices MgmtUnit_Settings"
        << "";
    QTest::newRow("missing sections appended in order")
        << "<Data><Connections/><TX_Devices/><Users/><Unit_Settings><Power_Mode/><Broker/></Unit_Settings></"
           "Data>"
        << "Connections TX_Devices Users Unit_Settings RX_Devices MgmtUnit_Settings"
        << "Power_Mode Broker";
    QTest::newRow("added groups carry a new database's values, kept ones theirs")
        << R"(<Data><Unit_Settings><Hot_Key hotkey="Alt-Alt"/></Unit_Settings></Data>)"
        << "Unit_Settings RX_Devices TX_Devices MgmtUnit_Settings"
        << "Hot_Key Power_Mode Broker";
}

void TestDatabaseSchema::schemaUpgrade()
{
    QFETCH(QString, before);
    QFETCH(QString, sectionsAfter);
    QFETCH(QString, groupsAfter);

    QDomDocument document;
    QVERIFY(document.setContent(before));
    QDomDocument original;
    QVERIFY(original.setContent(before));
    QVERIFY(upgradeSchema(document));
    const QDomElement root = document.documentElement();
    QCOMPARE(childTags(root).join(' '), sectionsAfter);
    const QDomElement settings = root.firstChildElement(db::UnitSettings);
    QCOMPARE(childTags(settings).join(' '), groupsAfter);
    const QDomElement fresh = newDatabaseDocument().documentElement().firstChildElement(db::UnitSettings);
    const QDomElement kept = original.documentElement().firstChildElement(db::UnitSettings);
    for (const QString& group : childTags(settings)) {
        const QDomElement was = kept.firstChildElement(group);
        QCOMPARE(attributesOf(settings.firstChildElement(group)),
            attributesOf(was.isNull() ? fresh.firstChildElement(group) : was));
    }
    QVERIFY2(!upgradeSchema(document), "a second upgrade must find nothing to add");
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
}

void TestDatabaseSchema::outsideText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("read"); // as the unit writes it, "*" when not compared; empty when refused
    const auto nest = [](int depth, const QByteArray& open) -> QByteArray {
        return open.repeated(depth) + QByteArray("</a>").repeated(depth);
    };
    // Each character in `width` bytes, as a parser reads a text with no mark.
    const auto unmarked = [](const QString& text, int width, bool little) {
        QByteArray bytes;
        for (const QChar c : text)
            for (int i = 0; i < width; ++i)
                bytes += char(c.unicode() >> 8 * (little ? i : width - 1 - i) & 0xFF);
        return bytes;
    };
    // U+0122 holds the byte of '"': a scan of the raw bytes reads the nesting as a value.
    const QString quoting = QStringLiteral("<\u0122>") + QString::fromLatin1(nest(maxDocumentDepth, "<a>"))
        + QStringLiteral("</\u0122>");
    const QString jose = QStringLiteral("<a n=\"Jos\u00e9\"/>");
    const QByteArray utf16 = QTextCodec::codecForName("UTF-16")->fromUnicode(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a n=\"Jos\u00e9\"/>"));
    // clang-format off
    QTest::newRow("declared ISO-8859-1") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a n=\"Jos\xE9\"/>") << QByteArray("<a n=\"Jos\xC3\xA9\"/>\n");
    QTest::newRow("UTF-16 with its mark") << utf16 << QByteArray("<a n=\"Jos\xC3\xA9\"/>\n");
    QTest::newRow("UTF-16LE without a mark") << unmarked(jose, 2, true) << QByteArray("<a n=\"Jos\xC3\xA9\"/>\n");
    QTest::newRow("UTF-32BE without a mark") << unmarked(jose, 4, false) << QByteArray("<a n=\"Jos\xC3\xA9\"/>\n");
    QTest::newRow("UTF-16BE without a mark, too deep") << unmarked(quoting, 2, false) << QByteArray();
    QTest::newRow("UTF-32LE without a mark, too deep") << unmarked(quoting, 4, true) << QByteArray();
    QTest::newRow("undeclared bytes not in UTF-8") << QByteArray("<a n=\"\xFF\"/>") << QByteArray();
    QTest::newRow("an encoding nobody knows") << QByteArray("<?xml version=\"1.0\" encoding=\"x-none\"?><a/>") << QByteArray();
    QTest::newRow("bytes not in the declared encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a n=\"\xFF\"/>") << QByteArray();
    QTest::newRow("as deep as allowed") << nest(maxDocumentDepth, "<a>") << QByteArray("*");
    QTest::newRow("one level deeper") << nest(maxDocumentDepth + 1, "<a>") << QByteArray();
    QTest::newRow("markup inside values is no level") << nest(maxDocumentDepth + 1, "<a v=\"/\" w='<a>'>") << QByteArray();
    QTest::newRow("markup in comments and CDATA is none") << "<a><!--" + nest(maxDocumentDepth, "<a>") + "--><![CDATA[" + nest(maxDocumentDepth, "<a>") + "]]></a>" << QByteArray("*");
    QTest::newRow("entities declared in the document") << QByteArray("<!DOCTYPE a [<!ENTITY e \"<a/>\">]><a>&e;</a>") << QByteArray();
    // clang-format on
}

// Text from outside is refused before a parser recurses into it too deep, and
// read in its own encoding into a document the unit writes as UTF-8.
void TestDatabaseSchema::outsideText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, read);
    QDomDocument document;
    QCOMPARE(readDatabaseText(text, document), !read.isEmpty());
    if (read != "*" && !read.isEmpty())
        QCOMPARE(databaseText(document), read);
    QCOMPARE(document.isNull(), read.isEmpty());
}

VELMO_TEST_MAIN(TestDatabaseSchema)
// Whatever the unit writes, values that need escaping included, takes the
// compact read and gives the tree setContent gives.
void TestDatabaseSchema::writtenTextReadsAsCompactTree()
{
    QDomDocument document = newDatabaseDocument();
    QDomElement admin = document.documentElement().firstChildElement(QLatin1String(db::Users)).firstChildElement();
    admin.setAttribute(QLatin1String(db::Password), QStringLiteral("a&<>\"' \u00e9\u20ac b"));
    for (const QByteArray& text : { QByteArray(defaultDatabaseText), databaseText(document) }) {
        QDomDocument plain;
        QDomDocument parsed;
        QVERIFY(readPlainDocument(text, plain));
        QVERIFY(parsed.setContent(text));
        QCOMPARE(plain.toString(-1), parsed.toString(-1));
    }
}

#include "test_database_schema.moc"
