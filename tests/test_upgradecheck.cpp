// The rules of the upgrade road that need no window: the software map reader,
// the compatibility steps, the model lookups, the error texts, the release
// folder name, the mount table and removing a release without following links.
#include "services/device_services.h"
#include "testmain.h"
#include "testunit.h"
#include "upgrade/filedialog.h"
#include "rules/lsmdata.h"
#include "rules/upgradeerrors.h"
#include "rules/usbdevice.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cstring>
#include <utility>

namespace {

LsmData packageData(const QString& format, const QString& brand, const QString& package1, const QString& code1,
                    const QString& package2, const QString& code2, const QString& version)
{
    LsmData data = defaultLsmData();
    const std::pair<char*, QString> fields[] = { { data.upgradeFormat, format }, { data.boardBrand, brand },
        { data.package1, package1 }, { data.compatibilityPackage1, code1 }, { data.package2, package2 },
        { data.compatibilityPackage2, code2 }, { data.softwareVersion, version } };
    for (const auto& field : fields)
        qstrncpy(field.first, field.second.toLatin1().constData(), lsmValueSize);
    return data;
}

} // namespace

Q_DECLARE_METATYPE(LsmData)

class TestUpgradeCheck : public QObject {
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
    void modelLookups_data();
    void modelLookups();
    void tokenReader_data();
    void tokenReader();
    void releaseVersionComponent_data();
    void releaseVersionComponent();
    void errorTexts_data();
    void errorTexts();
    void mountTable_data();
    void mountTable();
    void removeTreeNeverFollowsLinks();
    void plainFilesOnly();
};

void TestUpgradeCheck::outcome_data()
{
    QTest::addColumn<LsmData>("data");
    QTest::addColumn<int>("boardCode");
    QTest::addColumn<QString>("tech");
    QTest::addColumn<QString>("brandText");
    QTest::addColumn<int>("expected");

    const QString dual = QStringLiteral("Dual-Image");
    const auto map = [&](const QString& package1, const QString& code1, const QString& format = "Dual-Image",
                         const QString& brand = "QV", const QString& version = "V3.1.0") {
        return packageData(format, brand, package1, code1, "Null", "0x00", version);
    };
    // clang-format off
    QTest::newRow("compatible") << map("TLX-RX", "0x05") << 5 << "TLX" << "QV" << 0;
    QTest::newRow("format is a prefix") << map("TLX-RX", "0x05", "DualX") << 5 << "TLX" << "QV" << 0;
    QTest::newRow("format in lower case") << map("TLX-RX", "0x05", "dual-image") << 5 << "TLX" << "QV" << 19;
    QTest::newRow("single format") << map("TLX-RX", "0x05", "Single") << 5 << "TLX" << "QV" << 19;
    QTest::newRow("other brand") << map("TLX-RX", "0x05", dual, "KX") << 5 << "TLX" << "QV" << 21;
    QTest::newRow("empty brand text") << map("TLX-RX", "0x05") << 5 << "TLX" << "" << 21;
    QTest::newRow("no package for the tech") << map("ABC-RX", "0x05") << 5 << "TLX" << "QV" << 23;
    QTest::newRow("empty tech text") << map("TLX-RX", "0x05") << 5 << "" << "QV" << 23;
    QTest::newRow("space after the colon") << map(" TLX-RX", "0x05") << 5 << "TLX" << "QV" << 23;
    QTest::newRow("0x05 against board code 6") << map("TLX-RX", "0x05") << 6 << "TLX" << "QV" << 20;
    QTest::newRow("code read as decimal") << map("TLX-RX", "0x12") << 13 << "TLX" << "QV" << 20;
    QTest::newRow("code not a number") << map("TLX-RX", "0xZZ") << 1 << "TLX" << "QV" << 20;
    QTest::newRow("package 2 decides") << packageData(dual, "QV", "ABC-RX", "0x00", "TLX-RX", "0x07", "V3.1.0") << 6 << "TLX" << "QV" << 0;
    QTest::newRow("package 1 first") << packageData(dual, "QV", "TLX-A", "0x01", "TLX-B", "0x09", "V3.1.0") << 5 << "TLX" << "QV" << 20;
    QTest::newRow("same version") << map("TLX-RX", "0x05", dual, "QV", "V3.0.2") << 5 << "TLX" << "QV" << 24;
    QTest::newRow("defaults") << defaultLsmData() << 0 << "TLX" << "QV" << 19;
    // clang-format on
}

void TestUpgradeCheck::outcome()
{
    QFETCH(LsmData, data);
    QFETCH(int, boardCode);
    QFETCH(QString, tech);
    QFETCH(QString, brandText);
    QTEST(compatibilityOutcome(QStringLiteral("V3.0.2"), boardCode, tech, brandText, data), "expected");
}

void TestUpgradeCheck::modelLookups_data()
{
    QTest::addColumn<QString>("mpn");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("outcome");

    QTest::newRow("three pieces") << "RXU-4200-SH" << "RXU4200" << 0;
    QTest::newRow("two pieces") << "RXU-4200" << "RXU4200" << 0;
    QTest::newRow("no hyphen") << "RXU4200" << "" << 21;
    QTest::newRow("unknown model") << "ZZZ-1-SH" << "" << 21;
}

void TestUpgradeCheck::modelLookups()
{
    QFETCH(QString, mpn);
    TestUnit unit;
    QTEST(upgradePrefixFromMpn(mpn), "prefix");
    const LsmData data = packageData("Dual-Image", "QV", "TLX-RX", "0x05", "Null", "0x00", "V3.1.0");
    QTEST(compatibilityCheck("V3.0.2", 5, "RX_TarselLXSH_QV", mpn, data), "outcome");
}

void TestUpgradeCheck::tokenReader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("found");
    QTest::addColumn<QByteArray>("value");

    const QByteArray map = "Begin3\nSoftware-Version:V3.1.0\nPackage-1: TLX-RX\nBoard Brand:QV\nEnd\n";
    QTest::newRow("bare value") << map << QByteArray("Software-Version") << 1 << QByteArray("V3.1.0");
    QTest::newRow("space kept") << map << QByteArray("Package-1") << 1 << QByteArray(" TLX-RX");
    QTest::newRow("key with a blank") << map << QByteArray("Board Brand") << 1 << QByteArray("QV");
    QTest::newRow("whole key only") << map << QByteArray("Software") << 0 << QByteArray();
    QTest::newRow("case matters") << map << QByteArray("board brand") << 0 << QByteArray();
    QTest::newRow("last occurrence wins") << QByteArray("A:12\nA:3\n") << QByteArray("A") << 1 << QByteArray("3");
    QTest::newRow("colon runs are one") << QByteArray("::A:::7:8\n") << QByteArray("A") << 1 << QByteArray("7");
    QTest::newRow("key without value") << QByteArray("A:\n") << QByteArray("A") << 0 << QByteArray();
    QTest::newRow("frame lines skipped") << QByteArray("Begin3\nEnd\n") << QByteArray("End") << 0 << QByteArray();
    QTest::newRow("empty text") << QByteArray() << QByteArray("A") << 0 << QByteArray();
    QTest::newRow("value cut to the buffer") << "A:" + QByteArray(200, 'v') << QByteArray("A") << 1
                                             << QByteArray(lsmValueSize - 1, 'v');
}

void TestUpgradeCheck::tokenReader()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, token);
    QFETCH(int, found);
    QFETCH(QByteArray, value);
    struct {
        char value[lsmValueSize] = {};
        char canary[16];
    } out;
    std::memset(out.canary, 'C', sizeof out.canary);
    QCOMPARE(lsmTokenFromText(text, token.constData(), out.value), found);
    QCOMPARE(QByteArray(out.value), value);
    QCOMPARE(QByteArray(out.canary, sizeof out.canary), QByteArray(sizeof out.canary, 'C'));

    // The same through a file, and nothing through a link to it.
    TestUnit unit;
    QVERIFY(unit.writeFile("/t/version.txt", text));
    const QString file = unit.path("/t/version.txt"), link = unit.path("/t/link.txt");
    char fromFile[lsmValueSize] = {};
    QCOMPARE(getTokenFromlsmFile(token.constData(), QFile::encodeName(file).constData(), fromFile), found);
    QCOMPARE(QByteArray(fromFile), value);
    QVERIFY(QFile::link(file, link));
    QCOMPARE(getTokenFromlsmFile(token.constData(), QFile::encodeName(link).constData(), fromFile), 0);
}

void TestUpgradeCheck::releaseVersionComponent_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("component");
    QTest::newRow("version") << QByteArray("V3.1.0") << "V3.1.0";
    for (const char* refused : { "", "../../mnt/perm", "V3/x", "..", "V3 1", "V3;reboot" })
        QTest::newRow(*refused ? refused : "empty") << QByteArray(refused) << "";
}

void TestUpgradeCheck::releaseVersionComponent()
{
    QFETCH(QByteArray, raw);
    QTEST(::releaseVersionComponent(raw.constData()), "component");
}

// The transmitter table's fall-backs; the receiver's texts are checked on the upgrade road.
void TestUpgradeCheck::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("unlisted code") << 5 << "Error" << "Error 5.";
    QTest::newRow("process error") << 18 << "Error" << "Process error. Error 18.";
    QTest::newRow("own title") << 27 << "Restricted Action"
                               << "You do not have permission to reconfigure this Transmitter. It is part of another domain.";
}

void TestUpgradeCheck::errorTexts()
{
    QFETCH(int, code);
    TestUnit unit;
    QString title, text;
    getErrorStrings(code, &title, &text);
    QTEST(title, "title");
    QTEST(text, "text");
}

void TestUpgradeCheck::mountTable_data()
{
    QTest::addColumn<QByteArray>("mounts");
    QTest::addColumn<bool>("mounted");
    QTest::newRow("mounted") << QByteArray("proc /proc proc rw 0 0\n/dev/sda1 /mnt/usb vfat rw 0 0\n") << true;
    QTest::newRow("not mounted") << QByteArray("proc /proc proc rw 0 0\n") << false;
    QTest::newRow("other folder") << QByteArray("/dev/sda1 /mnt/usb2 vfat rw 0 0\n") << false;
    QTest::newRow("first field only") << QByteArray("/mnt/usb\n") << false;
    QTest::newRow("tabs") << QByteArray("/dev/sda1\t/mnt/usb\tvfat\n") << true;
    QTest::newRow("beyond a line's bound") << QByteArray(1100, 'x') + " /mnt/usb vfat\n" << false;
}

void TestUpgradeCheck::mountTable()
{
    QFETCH(QByteArray, mounts);
    QTEST(mountTableHasUsb(mounts), "mounted");
}

void TestUpgradeCheck::removeTreeNeverFollowsLinks()
{
    TestUnit unit;
    const QString keep = unit.path("/t/perm"), release = unit.path("/t/DECODER_V1");
    const QString linkedRelease = unit.path("/t/DECODER_V2");
    QVERIFY(unit.writeFile("/t/perm/VelmoDataA.xml", "<Data/>"));
    QVERIFY(unit.writeFile("/t/DECODER_V1/sub/kernel.img", "k"));
    for (const char* link : { "/t/DECODER_V1/perm-link", "/t/DECODER_V1/sub/perm-link", "/t/DECODER_V2" })
        QVERIFY(QFile::link(keep, unit.path(link)));

    QCOMPARE(removeTree(release), 0);
    QCOMPARE(removeTree(linkedRelease), 0);
    QVERIFY(!QFileInfo::exists(release));
    QVERIFY(!QFileInfo(linkedRelease).isSymLink());
    QCOMPARE(QDir(keep).entryList(QDir::Files), QStringList { "VelmoDataA.xml" });
    QCOMPARE(removeTree(unit.path("/t/missing")), -1);
}

void TestUpgradeCheck::plainFilesOnly()
{
    TestUnit unit;
    for (const char* name : { "/t/RXU4200_V3.1.0.clu", "/t/notes.txt", "/t/bad\nname.clu", "/t/folder.clu/x" })
        QVERIFY(unit.writeFile(QLatin1String(name), "p"));
    QVERIFY(QFile::link(unit.path("/t/notes.txt"), unit.path("/t/link.clu")));
    for (const char* pattern : { "*.clu", ".clu", "RXU*.clu" })
        QCOMPARE(listPlainFiles(unit.path("/t"), pattern), QStringList { "RXU4200_V3.1.0.clu" });
    QCOMPARE(listPlainFiles(unit.path("/t"), "TXU*.clu"), QStringList());
}

VELMO_TEST_GUILESS_MAIN(TestUpgradeCheck)
#include "test_upgradecheck.moc"
