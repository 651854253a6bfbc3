// The database's text: the default document, the schema's upgrade, what outside
// text is read as, and the cipher of exported files.
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/namerule.h"
#include "database/plaindocument.h"
#include "database/schema.h"
#include "database/textcipher.h"
#include "platform/durablewriter.h"
#include "testmain.h"
#include "testunit.h"

#include <QTextCodec>
#include <QtEndian>
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

// Hands out the given first block byte, so cipher texts are fixed.
struct FixedCipher : TextCipher {
    explicit FixedCipher(quint8 random) : TextCipher(TextCipher::exportKey), random(random) {}
    quint8 randomByte() override { return random; }
    const quint8 random;
};

// A second, independent writer of the chaining with the export key, to forge
// cipher texts whose contents our encoder never produces.
QByteArray forge(quint8 flags, const QByteArray& block)
{
    static const quint8 parts[8] = { 0x70, 0xA5, 0xE3, 0xC9, 0x84, 0x1B, 0x2F, 0x6D };
    QByteArray out;
    out.append(char(3)).append(char(flags));
    quint8 last = 0;
    for (int p = 0; p < block.size(); ++p) {
        last = quint8(block.at(p)) ^ parts[p % 8] ^ last;
        out.append(char(last));
    }
    return out;
}

QString base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

// Random byte, valid checksum, then a compressed payload: only the payload can fail.
QString forgeCompressed(const QByteArray& payload)
{
    QByteArray crc(2, '\0');
    qToBigEndian(qChecksum(payload.constData(), uint(payload.size())), crc.data());
    return base64(
        forge(TextCipher::FlagCompressed | TextCipher::FlagChecksum, QByteArray(1, '\x11') + crc + payload));
}

QByteArray withLengthHeader(QByteArray compressed, quint32 length)
{
    qToBigEndian(length, compressed.data());
    return compressed;
}

const QByteArray sentence = "Connections, users and unit settings of this receiver.";

} // namespace

class TestDatabaseSchema : public QObject {
    Q_OBJECT

private slots:
    void newDatabaseIsTheDefaultDocumentAndStaysUntouched();
    void connectionKind_data();
    void connectionKind();
    void nameRule_data();
    void nameRule();
    void schemaUpgrade_data();
    void schemaUpgrade();
    void unitSettings_data();
    void unitSettings();
    void writtenTextReadsAsCompactTree();
    void outsideText_data();
    void outsideText();

    void cipherKnownAnswers_data()
    {
        QTest::addColumn<int>("protection");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("random");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("text");

        // Worked out by hand from the byte layout with key bytes 70 A5 E3 C9 84 1B 2F 6D.
        // clang-format off
        QTest::newRow("empty, checksum") << 1 << 0 << 0x5A << QString() << QByteArray("03022a8f6c") << "AwIqj2w=";
        QTest::newRow("empty, no integrity") << 0 << 0 << 0x5A << QString() << QByteArray("03002a") << "AwAq";
        QTest::newRow("empty, hash") << 2 << 0 << 0x5A << QString() << QByteArray("03042a558fe58fca8ea8d542f482e967285dbdb78c42cf") << "AwQqVY/lj8qOqNVC9ILpZyhdvbeMQs8=";
        QTest::newRow("short, no integrity") << 0 << 2 << 0xC3 << "OSD" << QByteArray("0300b359e964") << "AwCzWelk";
        QTest::newRow("short, checksum") << 1 << 2 << 0xC3 << "OSD" << QByteArray("0302b36140c6114e") << "AwKzYUDGEU4=";
        QTest::newRow("short, hash") << 2 << 2 << 0xC3 << "OSD" << QByteArray("0304b38afa0aa048fc42cdd1b721fa2b56583c602abc8fdba78e") << "AwSzivoKoEj8Qs3RtyH6K1ZYPGAqvI/bp44=";
        QTest::newRow("non-ASCII, checksum") << 1 << 2 << 0x00 << QString::fromUtf8("Grüße") << QByteArray("0302707f76f80ed645eb04c4") << "AwJwf3b4DtZF6wTE";
        // clang-format on
    }

    void cipherKnownAnswers()
    {
        QFETCH(int, protection);
        QFETCH(int, compression);
        QFETCH(int, random);
        QFETCH(QString, plain);
        QFETCH(QString, text);
        FixedCipher cipher { quint8(random) };
        cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
        cipher.setCompressionMode(TextCipher::CompressionMode(compression));
        QTEST(cipher.encryptBytes(plain.toUtf8()).toHex(), "hex");
        QCOMPARE(cipher.encryptText(plain), text);

        // Any unit reads it back, whatever its own modes, also with the line
        // break an editor may have added to the file.
        TextCipher reader(TextCipher::exportKey);
        QCOMPARE(reader.decryptText(text + "\r\n"), plain);
        QCOMPARE(reader.lastError(), 0);
    }

    void cipherRoundTrip_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("protection");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<int>("flags");

        const QByteArray large = sentence.repeated(3000);
        // Compressing when shorter leaves a text alone that would only grow.
        QTest::newRow("short, when shorter, none") << 0 << 0 << sentence << 0;
        QTest::newRow("short, always, hash") << 1 << 2 << sentence << 5;
        QTest::newRow("large, when shorter, checksum") << 0 << 1 << large << 3;
        QTest::newRow("large, never, hash") << 2 << 2 << large << 4;
    }

    void cipherRoundTrip()
    {
        QFETCH(int, compression);
        QFETCH(int, protection);
        QFETCH(QByteArray, plain);
        TextCipher cipher(TextCipher::exportKey);
        cipher.setCompressionMode(TextCipher::CompressionMode(compression));
        cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
        const QByteArray encrypted = cipher.encryptBytes(plain);
        QTEST(int(quint8(encrypted.at(1))), "flags");
        QCOMPARE(cipher.decryptBytes(encrypted), plain);
        QCOMPARE(cipher.lastError(), 0);
        // A random first byte: the same text does not encrypt alike every time.
        QSet<QByteArray> texts { encrypted };
        for (int i = 0; i < 16; ++i)
            texts.insert(cipher.encryptBytes(plain));
        QVERIFY(texts.size() > 1);
    }

    void cipherReading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("error");

        const int version = TextCipher::ErrorUnsupportedVersion, integrity = TextCipher::ErrorIntegrity;
        const int payload = TextCipher::ErrorBadPayload;
        const QByteArray compressed = qCompress(sentence, 9);
        const auto row = [](const char* name, const QString& text, int error, const QString& plain = {}) {
            QTest::newRow(name) << text << plain << error;
        };

        // "OSD" behind length header 00000003 as a stored zlib stream, random byte 77, checksum.
        row("hand-built compressed text", "AwMHZDf+emFNWCmNbaTcOFhmUvbPBmU=", 0, "OSD");
        row("empty as a bare zero length", forgeCompressed(QByteArray(4, '\0')), 0);
        row("empty as zero length and an empty zlib stream",
            forgeCompressed(QByteArray(4, '\0') + QByteArray::fromHex("78da030000000001")), 0);

        const auto tampered = [&](const char* name, int protection, int position) {
            TextCipher cipher(TextCipher::exportKey);
            cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
            cipher.setCompressionMode(TextCipher::CompressNever);
            QByteArray encrypted = cipher.encryptBytes(sentence);
            const int at = position < 0 ? encrypted.size() - 1 : position;
            encrypted[at] = char(encrypted.at(at) ^ 0x5A);
            row(name, base64(encrypted), integrity);
        };
        tampered("checksum, integrity data changed", 1, 3);
        tampered("checksum, last byte changed", 1, -1);
        tampered("hash, random byte changed", 2, 2);
        tampered("hash, payload changed", 2, 30);

        row("not Base64", "not base64!!", version);
        row("non-Latin-1 character", QString::fromUtf8("AwIq€2w="), version);
        row("too short", base64(QByteArray::fromHex("0302")), version);
        row("version 2", base64(QByteArray::fromHex("02022a8f6c")), version);
        row("unknown flag bit", base64(QByteArray::fromHex("03082a")), version);
        row("checksum and hash flags", base64(forge(6, QByteArray(23, 'x'))), version);
        row("checksum flag, no checksum", base64(forge(2, "\x5a")), integrity);
        row("hash flag, short hash", base64(forge(4, QByteArray(20, 'x'))), integrity);
        row("no room for a length header", forgeCompressed(QByteArray("\0\0\1", 3)), payload);
        row("true length one byte over the bound",
            forgeCompressed(qCompress(QByteArray(TextCipher::maxPlainSize + 1, 'a'), 9)), payload);
        row("length header too large", forgeCompressed(withLengthHeader(compressed, sentence.size() + 1)),
            payload);
        row("stream inflates beyond its header",
            forgeCompressed(withLengthHeader(qCompress(QByteArray(1 << 20, '\0'), 9), 10)), payload);
        row("zero length header with a stream", forgeCompressed(withLengthHeader(compressed, 0)), payload);
        row("truncated stream", forgeCompressed(compressed.left(compressed.size() - 6)), payload);
        row("not a zlib stream", forgeCompressed(withLengthHeader(sentence, sentence.size())), payload);
    }

    void cipherReading()
    {
        QFETCH(QString, text);
        TextCipher cipher(TextCipher::exportKey);
        QTEST(cipher.decryptText(text), "plain");
        QTEST(cipher.lastError(), "error");
    }

    void cipherRefusals()
    {
        // A text no unit would read back is not written in the first place.
        TextCipher keyed(TextCipher::exportKey);
        QVERIFY(keyed.encryptBytes(QByteArray(TextCipher::maxPlainSize + 1, 'd')).isEmpty());
        QCOMPARE(keyed.lastError(), int(TextCipher::ErrorBadPayload));

        TextCipher keyless;
        QTest::ignoreMessage(QtWarningMsg, "No key set.");
        QVERIFY(keyless.encryptText("secret").isEmpty());
        QCOMPARE(keyless.lastError(), int(TextCipher::ErrorNoKey));
        QTest::ignoreMessage(QtWarningMsg, "No key set.");
        QVERIFY(keyless.decryptBytes(keyed.encryptBytes(sentence)).isEmpty());
        QCOMPARE(keyless.lastError(), int(TextCipher::ErrorNoKey));
    }
};

void TestDatabaseSchema::newDatabaseIsTheDefaultDocumentAndStaysUntouched()
{
    TestUnit unit;
    DurableWriter writer(unit.platform());
    DatabaseStorage storage(unit.platform(), writer, [](const QString&, const QString&) {});
    storage.createNewDatabase();

    const QByteArray text = unit.readFile(DatabaseStorage::copyAPath);
    QCOMPARE(text, QByteArray(defaultDatabaseText));
    QCOMPARE(unit.readFile(DatabaseStorage::copyBPath), text);
    QCOMPARE(unit.readFile(DatabaseStorage::checksumAPath), checksumLine(text));
    QCOMPARE(unit.readFile(DatabaseStorage::checksumBPath), unit.readFile(DatabaseStorage::checksumAPath));
    QVERIFY(unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));

    // Up to date, it is not rewritten: a mark in the stored copy stays.
    storage.databasePath = storage.selectDatabaseFile();
    storage.loadDatabaseDocument();
    const QByteArray marked = QByteArray(text).replace("1280x1024", "1280x1024 ");
    unit.writeFile(DatabaseStorage::copyAPath, marked);
    storage.upgradeDatabaseSchema();
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), marked);
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
    QDomDocument document;
    QVERIFY(document.setContent(QStringLiteral("<Connection %1/>").arg(attributes)));
    QTEST(static_cast<int>(::connectionKind(document.documentElement())), "kind");
}

void TestDatabaseSchema::nameRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fault");
    const auto row = [](const char* name, const QString& text, NameFault fault) {
        QTest::newRow(name) << text << static_cast<int>(fault);
    };
    row("empty", QString(), NameFault::Empty);
    row("Latin-1, 32 characters", QString(31, QLatin1Char('a')) + QChar(0xfc), NameFault::None);
    row("blank at the end", QStringLiteral("boss "), NameFault::Blanks);
    row("line feed inside", QStringLiteral("bo\nss"), NameFault::Blanks);
    row("NUL, before the Latin-1 check", QStringLiteral("bo") + QChar(0) + QChar(0x7528), NameFault::Blanks);
    row("beyond Latin-1", QString(QChar(0x7528)), NameFault::NotLatin1);
    row("33 characters", QString(33, QLatin1Char('a')), NameFault::TooLong);
}

void TestDatabaseSchema::nameRule()
{
    QFETCH(QString, name);
    QTEST(static_cast<int>(nameFault(name)), "fault");
}

void TestDatabaseSchema::schemaUpgrade_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("sectionsAfter");
    QTest::addColumn<QString>("groupsAfter");
    const QString all
        = QStringLiteral("Connections Users Unit_Settings RX_Devices TX_Devices MgmtUnit_Settings");
    const QString devices = QStringLiteral("<RX_Devices/><TX_Devices/><MgmtUnit_Settings/></Data>");
    // clang-format off
    QTest::newRow("missing broker group") << R"(<Data><Connections/><Users/><Unit_Settings><Power_Mode PowerMode="Auto"/></Unit_Settings>)" + devices << all << "Power_Mode Broker";
    QTest::newRow("missing power mode") << R"(<Data><Connections/><Users/><Unit_Settings><Broker VM_Resourse="7"/></Unit_Settings>)" + devices << all << "Broker Power_Mode";
    QTest::newRow("no unit settings gains device sections only") << "<Data><Connections/><Users/></Data>" << "Connections Users RX_Devices TX_Devices MgmtUnit_Settings" << "";
    QTest::newRow("missing sections appended in order") << "<Data><Connections/><TX_Devices/><Users/><Unit_Settings><Power_Mode/><Broker/></Unit_Settings></Data>"
        << "Connections TX_Devices Users Unit_Settings RX_Devices MgmtUnit_Settings" << "Power_Mode Broker";
    QTest::newRow("added groups carry a new database's values, kept ones theirs") << R"(<Data><Unit_Settings><Hot_Key hotkey="Alt-Alt"/></Unit_Settings></Data>)"
        << "Unit_Settings RX_Devices TX_Devices MgmtUnit_Settings" << "Hot_Key Power_Mode Broker";
    // clang-format on
}

void TestDatabaseSchema::schemaUpgrade()
{
    QFETCH(QString, before);
    QDomDocument document, original;
    QVERIFY(document.setContent(before) && original.setContent(before));
    QVERIFY(upgradeSchema(document));
    QTEST(childTags(document.documentElement()).join(' '), "sectionsAfter");
    const QDomElement settings = unitSettingsSection(document);
    QTEST(childTags(settings).join(' '), "groupsAfter");
    const QDomElement fresh = unitSettingsSection(newDatabaseDocument());
    const QDomElement kept = unitSettingsSection(original);
    for (const QString& group : childTags(settings)) {
        const QDomElement was = kept.firstChildElement(group);
        QCOMPARE(attributeMap(settings.firstChildElement(group)),
            attributeMap(was.isNull() ? fresh.firstChildElement(group) : was));
    }
    QVERIFY2(!upgradeSchema(document), "a second upgrade must find nothing to add");
}

void TestDatabaseSchema::unitSettings_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("setting");
    QTest::addColumn<QString>("written"); // null: only read
    QTest::addColumn<QString>("first"); // read from the first section
    QTest::addColumn<QString>("last"); // read as the inactivity time-out reads it
    QTest::addColumn<QString>("after"); // empty: unchanged
    const QString one = QStringLiteral("<Data><Unit_Settings>%1</Unit_Settings></Data>");
    const QString two = one.arg("%1</Unit_Settings><Unit_Settings>%2");
    using S = UnitSetting;
    // clang-format off
    QTest::newRow("no group reads as its default") << one.arg("") << int(S::FunctionalHotKey) << QString() << "Enable" << "Enable" << "";
    QTest::newRow("no attribute reads as its default") << one.arg("<Functional_HotKey/>") << int(S::FunctionalHotKey) << QString() << "Enable" << "Enable" << "";
    QTest::newRow("an empty value reads as the default") << one.arg(R"(<GUI_Inactivity_Timer Value=""/>)") << int(S::GuiInactivityMinutes) << QString() << "0" << "0" << "";
    QTest::newRow("the first group of the first section, or the last of all") << two.arg(R"(<GUI_Inactivity_Timer Value="5"/><GUI_Inactivity_Timer Value="6"/>)", R"(<GUI_Inactivity_Timer Value="7"/>)") << int(S::GuiInactivityMinutes) << QString() << "5" << "7" << "";
    QTest::newRow("a timer's writer adds its group") << one.arg("") << int(S::GuiInactivityMinutes) << "9" << "9" << "9" << one.arg(R"(<GUI_Inactivity_Timer Value="9"/>)");
    QTest::newRow("a value in the network group, first section alone written") << two.arg("<Network><Static_IP/></Network>", "<Network><Static_IP/></Network>") << int(S::StaticAddress) << "10.1.1.2" << "10.1.1.2" << "" << two.arg(R"(<Network><Static_IP IP_address="10.1.1.2"/></Network>)", "<Network><Static_IP/></Network>");
    QTest::newRow("a group that comes with the database is not added") << one.arg("") << int(S::AutoLogonUser) << "boss" << "" << "" << "";
    QTest::newRow("nor a network part") << one.arg("<Network/>") << int(S::DhcpChecked) << "true" << "" << "" << "";
    QTest::newRow("nor Unit_Settings") << "<Data/>" << int(S::HotKey) << "2" << "" << "" << "";
    // clang-format on
}

void TestDatabaseSchema::unitSettings()
{
    QFETCH(QString, before);
    QFETCH(int, setting);
    QFETCH(QString, written);
    QFETCH(QString, after);
    QDomDocument document, expected;
    QVERIFY(document.setContent(before) && expected.setContent(after.isEmpty() ? before : after));
    if (!written.isNull())
        QCOMPARE(writeUnitSetting(document, UnitSetting(setting), written), !after.isEmpty());
    QTEST(readUnitSetting(document, UnitSetting(setting)), "first");
    QTEST(readLastUnitSetting(document, UnitSetting(setting)), "last");
    QCOMPARE(document.toString(-1), expected.toString(-1));
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
        QDomDocument plain, parsed;
        QVERIFY(readPlainDocument(text, plain));
        QVERIFY(parsed.setContent(text));
        QCOMPARE(plain.toString(-1), parsed.toString(-1));
    }
}

#include "test_database_schema.moc"
