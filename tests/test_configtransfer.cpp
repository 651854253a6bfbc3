// Moving a configuration: the System page's export, import and factory restore
// on simulated units, and velmo-config on the files they exchange.
#include "rules/guifiles.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/configtransfer.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "database/textcipher.h"
#include "modal.h"
#include "outsidefile.h"
#include "press.h"
#include "rules/networkrules.h"
#include "storagefault.h"
#include "testmain.h"
#include "widgets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString copyA = QLatin1String(DatabaseStorage::copyAPath);
const QString settingsFile = QLatin1String(GuiFiles::settingsPath);
const QString interfacesFile = QStringLiteral("/usr/local/interfaces");
const QString corrupted = QLatin1String(ConfigTransfer::corruptedText);
const QString structure = QLatin1String(ConfigTransfer::structureText);
const QByteArray sourceGuiSettings = "autoLoginUsr=boss\npower_mode=Auto\nrememberLastUsrName=plain\n";
const QByteArray ownStaticInterfaces = staticInterfacesText(QStringLiteral("192.168.1.21"),
    QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.255"), QStringLiteral("192.168.1.1"));

QByteArray corpusFile(const QString& name)
{
    QFile file(QStringLiteral(VELMO_IMPORT_CORPUS "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A unit's database with another static address, device records and a
// transmitter pool, with its own automatic log-on user and power mode.
QDomDocument sourceDocument(const QByteArray& autoLogUser, const QByteArray& powerMode)
{
    QDomDocument document;
    document.setContent(corpusFile(QStringLiteral("unit-export.xml"))
                            .replace("AutoLogUser=\"boss\"", "AutoLogUser=\"" + autoLogUser + '"')
                            .replace("PowerMode=\"Auto\"", "PowerMode=\"" + powerMode + '"')
                            .replace("\"power\"", "\"Jos\xC3\xA9\""));
    return document;
}

// "Title|Button" answers, scheduled in order.
void schedule(const QStringList& answers)
{
    for (const QString& answer : answers)
        answerNextBox(answer.section(QLatin1Char('|'), 0, 0), answer.section(QLatin1Char('|'), 1));
}

QByteArray stickFile(TestUnit& unit, const QString& name)
{
    QFile file(unit.sim().usbStickPath() + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Imports `file` from the stick, answering the file dialog and the question;
// the text of the box that ends the road.
QString importFile(OsdWindow& osd, const QByteArray& file)
{
    osd.unit.sim().writeUsbFile(QStringLiteral("config.ccfg"), file);
    schedule({ QStringLiteral("File Import|Ok"), QStringLiteral("Import|Yes") });
    const ModalAnswerPtr done = answerNextBox(QStringLiteral("Information"), QMessageBox::Ok);
    const ModalAnswerPtr refused = answerNextBox(QStringLiteral("Error"), QMessageBox::Ok);
    osd.window->on_importButton_clicked(); // a managed unit's button is disabled
    closeLeftoverModals();
    return done->text + refused->text;
}

// velmo-config's exit status; -1 when it crashed.
int runTool(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr,
    const QString& input = QStringLiteral(VELMO_IMPORT_CORPUS "/unit-export.ccfg"))
{
    QProcess tool;
    tool.setStandardInputFile(input); // what "-" reads
    tool.start(QStringLiteral(VELMO_CONFIG_TOOL), arguments);
    tool.waitForFinished(60000);
    if (out)
        *out = tool.readAllStandardOutput();
    if (err)
        *err = tool.readAllStandardError();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

} // namespace

class TestConfigTransfer : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void roundTrip_data();
    void roundTrip();
    void importRefused_data();
    void importRefused();
    void exportSafety_data();
    void exportSafety();
    void factoryRestore_data();
    void factoryRestore();
    void tool_data();
    void tool();
    void toolOnOwnFiles();
};

void TestConfigTransfer::roundTrip_data()
{
    QTest::addColumn<QByteArray>("toolPowerMode"); // empty: exported by a unit, not written by velmo-config
    // The unit it lands on: its own static set in use, "managed", or on "dhcp" with a static set "valid" or "invalid".
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("boardMode");
    QTest::addColumn<QByteArray>("variant"); // of the tool's document: its encoding, or "dhcp" chosen in it
    // clang-format off
    QTest::newRow("exported by a unit") << QByteArray() << "static" << "SIGNAGE" << QByteArray();
    QTest::newRow("written by velmo-config") << QByteArray("Auto") << "static" << "SIGNAGE" << QByteArray();
    QTest::newRow("onto a DHCP unit: its static set applied") << QByteArray("Auto") << "dhcp valid" << "SIGNAGE" << QByteArray();
    QTest::newRow("onto a DHCP unit with a broken static set: DHCP kept") << QByteArray("Auto") << "dhcp invalid" << "SIGNAGE" << QByteArray();
    QTest::newRow("a power mode other than Auto or Manual") << QByteArray("Turbo") << "static" << "DESKTOP" << QByteArray();
    QTest::newRow("the file on DHCP: DHCP applied") << QByteArray("Auto") << "static" << "SIGNAGE" << QByteArray("dhcp");
    QTest::newRow("a document in UTF-16") << QByteArray("Auto") << "static" << "SIGNAGE" << QByteArray("UTF-16");
    QTest::newRow("a document declared ISO-8859-1") << QByteArray("Auto") << "static" << "SIGNAGE" << QByteArray("ISO-8859-1");
    QTest::newRow("an export holding a document declared ISO-8859-1") << QByteArray("Auto") << "static" << "SIGNAGE" << QByteArray("ISO-8859-1 enciphered");
    QTest::newRow("onto a managed unit: only its GUI values") << QByteArray() << "managed" << "SIGNAGE" << QByteArray();
    // clang-format on
}

void TestConfigTransfer::roundTrip()
{
    QFETCH(QByteArray, toolPowerMode);
    QFETCH(QString, target);
    QFETCH(QString, boardMode);
    QFETCH(QByteArray, variant);
    QByteArray file;
    if (toolPowerMode.isEmpty()) {
        // The settings file's values, not the database's, travel in the export.
        OsdWindow source(sourceDocument("admin", "Manual"));
        QVERIFY(source.unit.writeFile(settingsFile, sourceGuiSettings));
        source.unit.sim().insertUsbStick();
        schedule({ "Save As|Ok" });
        QCOMPARE(
            pressAndSettle(*source.window, "exportButton", "Information"), "Export successfully completed.");
        file = stickFile(source.unit, "config.ccfg");
    }

    QDomDocument targetDatabase = databaseWithUsers();
    writeUnitSetting(targetDatabase, UnitSetting::StaticDns, QStringLiteral("10.0.0.53"));
    writeUnitSetting(targetDatabase, UnitSetting::StaticDns2, QStringLiteral("10.0.0.54"));
    if (target.startsWith(QLatin1String("dhcp"))) {
        writeUnitSetting(targetDatabase, UnitSetting::DhcpChecked, QStringLiteral("true"));
        writeUnitSetting(targetDatabase, UnitSetting::StaticChecked, QStringLiteral("false"));
    }
    if (target == QLatin1String("dhcp invalid"))
        writeUnitSetting(targetDatabase, UnitSetting::StaticMask, QStringLiteral("0.0.0.0"));
    OsdWindow osd(targetDatabase, 1, target == QLatin1String("managed"));
    TestUnit& unit = osd.unit;
    const QString resolver = QStringLiteral("/usr/local/resolv.conf");
    QVERIFY(unit.writeFile(resolver, "search unit.lan\nnameserver 10.9.9.9\n"));
    QByteArray resolverAfter = unit.readFile(resolver);
    if (!toolPowerMode.isEmpty()) {
        // A user name with a line break and a tab in it, written by hand.
        QByteArray document = databaseText(sourceDocument("bo&#xa;ss&#9;", toolPowerMode));
        const QByteArray encoding = variant.split(' ').first();
        if (variant == "dhcp")
            document.replace("<DHCP Set_checked=\"false\"", "<DHCP Set_checked=\"true\"")
                .replace("Set_checked=\"true\" DNS_2", "Set_checked=\"false\" DNS_2");
        else if (!variant.isEmpty())
            document = QTextCodec::codecForName(encoding)->fromUnicode(
                "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n" + QString::fromUtf8(document));
        QVERIFY(unit.writeFile(QStringLiteral("/tmp/config.xml"), document));
        const QString exported = unit.path(QStringLiteral("/tmp/config.ccfg"));
        if (variant.endsWith(" enciphered"))
            QVERIFY(unit.writeFile(QStringLiteral("/tmp/config.ccfg"),
                TextCipher(TextCipher::exportKey).encryptBytes(document).toBase64()));
        else
            QCOMPARE(runTool({ "encrypt", unit.path("/tmp/config.xml"), "-o", exported }), 0);
        QByteArray listed;
        QCOMPARE(runTool({ "check", exported }, &listed), 0);
        QVERIFY2(listed.contains("Jos\xC3\xA9,"), listed.constData());
        file = unit.readFile(QStringLiteral("/tmp/config.ccfg"));
    }
    if (target.startsWith(QLatin1String("dhcp")))
        QVERIFY(unit.writeFile(interfacesFile, dhcpInterfacesText()));
    QByteArray interfaces = variant == "dhcp" ? dhcpInterfacesText() : unit.readFile(interfacesFile);
    if (target == QLatin1String("dhcp valid")) {
        interfaces = ownStaticInterfaces;
        resolverAfter = "search unit.lan\n" + resolverText(QStringLiteral("10.0.0.53"), QStringLiteral("10.0.0.54"));
    }
    const ModalAnswerPtr warning = answerNextBox(QStringLiteral("Warning"), QMessageBox::Ok);
    // While the import runs, its deciphered copy is its owner's alone.
    static QString deciphered;
    static QFile::Permissions decipheredMode;
    static QtMessageHandler previous;
    deciphered = unit.path(QStringLiteral("/mnt/perm/VelmoDataCopy.xml"));
    decipheredMode = {};
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& at, const QString& text) {
        if (text == QLatin1String("Removing conection"))
            decipheredMode = QFileInfo(deciphered).permissions() & ~(QFile::ReadUser | QFile::WriteUser);
        if (previous)
            previous(type, at, text);
    });
    QCOMPARE(importFile(osd, file), QStringLiteral("Import successfully completed. The system will reboot now."));
    qInstallMessageHandler(previous);
    QTRY_COMPARE(unit.reboots(), 1);
    QCOMPARE(decipheredMode,
        target == "managed" ? QFile::Permissions() : QFile::ReadOwner | QFile::WriteOwner);

    const QByteArray stored = unit.readFile(copyA);
    QVERIFY(stored.startsWith("<Data>")); // UTF-8, as every copy, with no declaration
    QDomDocument imported;
    QVERIFY(imported.setContent(stored));
    if (target == QLatin1String("managed")) {
        // The appliance's records stay; the file gives only the GUI's own values.
        QCOMPARE(databaseText(imported), databaseText(osd.window->document()));
        QVERIFY(!databaseSection(imported, db::RxDevices).firstChildElement().isNull());
        QVERIFY(connectionNamed(imported, QStringLiteral("Desk")).isNull());
        QCOMPARE(readUnitSetting(imported, UnitSetting::AutoLogonUser), QStringLiteral("boss"));
        QCOMPARE(unit.readFile(settingsFile), sourceGuiSettings);
        return;
    }
    QCOMPARE(unit.readFile(QLatin1String(DatabaseStorage::copyBPath)), stored);
    for (const char* checksum : { DatabaseStorage::checksumAPath, DatabaseStorage::checksumBPath })
        QCOMPARE(unit.readFile(QLatin1String(checksum)), checksumLine(stored));
    for (const UnitSetting own : { UnitSetting::StaticAddress, UnitSetting::StaticMask,
             UnitSetting::StaticGateway, UnitSetting::StaticDns, UnitSetting::StaticDns2 })
        QCOMPARE(readUnitSetting(imported, own), readUnitSetting(targetDatabase, own));
    QCOMPARE(unit.readFile(interfacesFile), interfaces);
    QCOMPARE(unit.readFile(resolver), resolverAfter);
    const QString keepsDhcp = "The unit's static address settings are not valid. The unit keeps DHCP.";
    QCOMPARE(warning->text, target == "dhcp invalid" ? keepsDhcp : QString());
    QCOMPARE(readUnitSetting(imported, UnitSetting::DhcpChecked) == QLatin1String("true"),
        target == QLatin1String("dhcp invalid") || variant == "dhcp");
    QVERIFY(databaseSection(imported, db::RxDevices).firstChildElement().isNull());
    QVERIFY(databaseSection(imported, db::TxDevices).firstChildElement().isNull());
    QVERIFY(connectionNamed(imported, QStringLiteral("Pool1")).isNull());
    QVERIFY(!connectionNamed(imported, QStringLiteral("Desk")).isNull());
    QVERIFY(!userNamed(imported, QString::fromUtf8("Jos\xC3\xA9")).isNull());
    QCOMPARE(userNamed(imported, "boss").elementsByTagName(db::AssociatedConnections).size(), 1);
    // One line per value; where the file names no valid mode the board's stays.
    QCOMPARE(unit.readFile(settingsFile),
        QByteArray(sourceGuiSettings).replace("=Auto", boardMode == "DESKTOP" ? "=Manual" : "=Auto"));
    QCOMPARE(unit.sim().state().value(QStringLiteral("powerButtonMode")).toString(), boardMode);
    QVERIFY(!unit.exists(QStringLiteral("/mnt/perm/VelmoDataCopy.xml")));
    QVERIFY(!unit.sim().isUsbMounted());
}

void TestConfigTransfer::importRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("asks"); // the overwrite question comes before the refusal
    QTest::addColumn<QString>("fault"); // copy A "unopenable" before, or "unwritable" once asked
    QTest::addColumn<QString>("message");

    const QDomDocument good = databaseWithUsers();
    const QByteArray exported = ConfigTransfer::exportFileText(good);
    QDomDocument reordered = good.cloneNode().toDocument();
    reordered.documentElement().insertBefore(
        databaseSection(reordered, db::Users), databaseSection(reordered, db::Connections));
    const auto edited = [&good](const char* from, const QByteArray& to) -> QByteArray {
        return ConfigTransfer::exportFileOfText(databaseText(good).replace(from, to));
    };
    // Written indented, 1 MB at depth 60 exceeds what the storage reads back.
    const QByteArray wide = QByteArray("<b>").repeated(58) + QByteArray("<a/>").repeated(300000) + QByteArray("</b>").repeated(58);
    const QByteArray deep = QByteArray("<a>").repeated(50000) + QByteArray("</a>").repeated(50000);
    QDomDocument dhcp = good.cloneNode().toDocument();
    writeUnitSetting(dhcp, UnitSetting::DhcpChecked, QStringLiteral("true"));
    writeUnitSetting(dhcp, UnitSetting::StaticChecked, QStringLiteral("false"));
    QByteArray flipped = exported;
    flipped[flipped.size() / 2] = flipped.at(flipped.size() / 2) == 'A' ? 'B' : 'A';

    const QString name = QStringLiteral("config.ccfg");
    const QString none;
    // clang-format off
    QTest::newRow("capital extension") << "config.CCFG" << exported << false << none << "Specified File type is not compatible.";
    QTest::newRow("sections reordered") << name << ConfigTransfer::exportFileText(reordered) << true << none << structure;
    QTest::newRow("root not Data") << name << edited("Data>", "Config>") << true << none << structure;
    QTest::newRow("a section missing") << name << edited("<TX_Devices/>", "") << true << none << structure;
    QTest::newRow("no user admin") << name << edited("\"admin\"", "\"root\"") << true << none << structure;
    QTest::newRow("admin only a User, no Administrator") << name << edited("\"Administrator\"", "\"User\"") << true << none << structure;
    QTest::newRow("nested 50,000 deep") << name << edited("<Connections>", "<Connections>" + deep) << true << none << corrupted;
    QTest::newRow("written form beyond the read bound") << name << edited("<Connections>", "<Connections>" + wide) << true << none << corrupted;
    QTest::newRow("deciphered copy cannot be written") << name << exported << true << "folder at the copy" << "Import failed. Internal error.";
    QTest::newRow("DHCP chosen, interfaces cannot be written") << name << ConfigTransfer::exportFileText(dhcp) << true << "folder at the interfaces" << "Import failed. Internal error.";
    QTest::newRow("settings file cannot be written") << name << exported << true << "folder at the settings file" << "Import failed. Internal error.";
    QTest::newRow("empty file") << name << QByteArray() << true << none << corrupted;
    QTest::newRow("one flipped byte") << name << flipped << true << none << corrupted;
    QTest::newRow("a plain document") << name << databaseText(good) << true << none << corrupted;
    QTest::newRow("over the size bound") << name << QByteArray(ConfigTransfer::maxImportFileBytes + 1, 'A') << true << none << corrupted;
    QTest::newRow("copy A cannot be opened") << name << exported << false << "unopenable" << "Import failed. Internal error.";
    QTest::newRow("imported copy A cannot be written") << name << exported << true << "unwritable" << "Import failed. Can not write Local Configuration file.";
    // clang-format on
}

void TestConfigTransfer::importRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, asks);
    QFETCH(QString, fault);
    OsdWindow osd(databaseWithUsers());
    QVERIFY(osd.unit.sim().writeUsbFile(name, content));
    const QString deciphered = QStringLiteral("/mnt/perm/VelmoDataCopy.xml");
    const QHash<QString, QString> folders { { "folder at the copy", deciphered }, { "unopenable", copyA },
        { "folder at the interfaces", interfacesFile }, { "folder at the settings file", settingsFile } };
    if (folders.contains(fault)) {
        QFile::remove(osd.unit.path(folders.value(fault)));
        QVERIFY(QDir().mkpath(osd.unit.path(folders.value(fault))));
    }
    QHash<QString, QByteArray> before;
    for (const char* file : { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath,
             DatabaseStorage::checksumAPath, DatabaseStorage::checksumBPath, GuiFiles::settingsPath })
        before.insert(QLatin1String(file), osd.unit.readFile(QLatin1String(file)));

    schedule({ QStringLiteral("File Import|Ok") });
    if (fault == QLatin1String("unwritable"))
        actOnNextDialog(QStringLiteral("Import"), [&](QDialog& box) {
            QFile::remove(osd.unit.path(copyA));
            QDir().mkpath(osd.unit.path(copyA));
            qobject_cast<QMessageBox*>(&box)->button(QMessageBox::Yes)->click();
        });
    else if (asks)
        schedule({ QStringLiteral("Import|Yes") });
    QTEST(pressAndSettle(*osd.window, "importButton", "Error"), "message");

    if (fault == QLatin1String("unwritable"))
        before.insert(copyA, QByteArray()); // the folder put in its place, not replaced by defaults
    for (auto file = before.cbegin(); file != before.cend(); ++file)
        QCOMPARE(osd.unit.readFile(file.key()), file.value());
    QVERIFY(!osd.unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));
    QCOMPARE(osd.unit.reboots(), 0);
    QCOMPARE(osd.unit.exists(deciphered), fault == QLatin1String("folder at the copy"));
    QVERIFY(!osd.unit.sim().isUsbMounted());
}

void TestConfigTransfer::exportSafety_data()
{
    // The row name is the situation.
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("message"); // the last box

    const QString done = QStringLiteral("Information: Export successfully completed.");
    const QString saveAs = QStringLiteral("Save As|Ok");
    // clang-format off
    QTest::newRow("overwrite answered No") << QStringList { saveAs, "Export File|No" } << "Export File: Local Configuration file with same name already exists. Are you sure you want to overwrite the existing file?";
    QTest::newRow("name leaving the stick") << QStringList {} << "Error: Export failed. Invalid file name.";
    QTest::newRow("a folder at the target") << QStringList { saveAs, "Export File|Yes" } << "Error: Export failed. Unknown error.";
    QTest::newRow("a link at the target") << QStringList { "Export File|Yes" } << done;
    QTest::newRow("no mount table") << QStringList {} << "Error: Export failed. Cannot open USB memory device. The export can not proceed.";
    QTest::newRow("no stick") << QStringList {} << "Error: Export failed. USB memory device not found.";
    QTest::newRow("name not given") << QStringList { "Save As|Cancel" } << "Save As: ";
    QTest::newRow("settings cannot be saved") << QStringList {} << "Error: Export failed. Internal error.";
    QTest::newRow("settings file missing") << QStringList { saveAs } << done;
    QTest::newRow("copy A failing its checksum: copy B exported") << QStringList { saveAs } << done;
    // clang-format on
}

void TestConfigTransfer::exportSafety()
{
    const QString setup = QLatin1String(QTest::currentDataTag());
    QFETCH(QStringList, answers);
    QFETCH(QString, message);
    OsdWindow osd(sourceDocument("boss", "Auto"));
    TestUnit& unit = osd.unit;
    const QString target = QStringLiteral("config.ccfg");
    const QByteArray oldBytes = "old export";
    OutsideFile outside;
    FailNextDatabaseChange failure(unit.path(copyA), setup == QLatin1String("settings cannot be saved"));
    if (setup != QLatin1String("no stick"))
        unit.sim().insertUsbStick();
    QVERIFY(unit.writeFile(settingsFile, "autoLoginUsr=power\n"));
    if (setup == QLatin1String("overwrite answered No"))
        QVERIFY(unit.sim().writeUsbFile(target, oldBytes));
    if (setup == QLatin1String("a folder at the target"))
        QVERIFY(QDir().mkpath(unit.sim().usbStickPath() + QLatin1Char('/') + target));
    if (setup == QLatin1String("no mount table"))
        QVERIFY(QFile::remove(unit.path(QStringLiteral("/proc/mounts"))));
    const bool fromCopyB = setup.startsWith(QLatin1String("copy A failing"));
    if (setup == QLatin1String("settings file missing") || fromCopyB)
        QVERIFY(QFile::remove(unit.path(settingsFile)));
    if (fromCopyB) {
        const QByteArray backup = unit.readFile(copyA).replace("AutoLogUser=\"boss\"", "AutoLogUser=\"backup\"");
        QVERIFY(unit.writeFile(QLatin1String(DatabaseStorage::copyBPath), backup));
        QVERIFY(unit.writeFile(QLatin1String(DatabaseStorage::checksumBPath), checksumLine(backup)));
        QVERIFY(unit.writeFile(QLatin1String(DatabaseStorage::checksumAPath), checksumLine("stale")));
    }
    // What the dialog hands back, or what stands on the stick by the time it does.
    if (setup == QLatin1String("name leaving the stick"))
        actOnNextDialog(QStringLiteral("Save As"), [&](QDialog& dialog) {
            osd.window->context().setSelectedFile(QStringLiteral("../perm/x.ccfg"));
            dialog.accept();
        });
    if (setup == QLatin1String("a link at the target"))
        actOnNextDialog(QStringLiteral("Save As"), [&](QDialog& dialog) {
            outside.plant(unit.path(QStringLiteral("/mnt/usb/")) + target, OutsideFile::Entry::LinkHere);
            dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
    schedule(answers);
    const QString title = message.section(QLatin1Char(':'), 0, 0);
    pressAndSettle(
        *osd.window, "exportButton", title == "Error" || title == "Information" ? title : QString());
    const ModalAnswer last = answeredBoxes().value(answeredBoxes().size() - 1);
    QCOMPARE(last.title + ": " + last.text, message);

    QVERIFY(!unit.exists(QStringLiteral("/usr/local/VelmoDataA.ccfg")));
    QVERIFY(!unit.sim().isUsbMounted());
    QVERIFY(outside.unchanged());
    QVERIFY(!unit.exists(QStringLiteral("/mnt/perm/x.ccfg")));
    if (setup == QLatin1String("overwrite answered No"))
        QCOMPARE(stickFile(unit, target), oldBytes);
    if (setup == QLatin1String("a folder at the target"))
        QVERIFY(QFileInfo(unit.sim().usbStickPath() + QLatin1Char('/') + target).isDir());
    if (message.startsWith(QLatin1String("Information"))) {
        // Only a value the settings file holds replaces the database's.
        QDomDocument exported;
        exported.setContent(ConfigTransfer::documentTextOf(stickFile(unit, target)));
        const char* user = fromCopyB ? "backup" : setup == "settings file missing" ? "boss" : "power";
        QCOMPARE(readUnitSetting(exported, UnitSetting::AutoLogonUser), QString(user));
    }
}

void TestConfigTransfer::factoryRestore_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("answered Yes") << "yes";
    QTest::newRow("answered No") << "no";
    QTest::newRow("a checksum cannot be written") << "folder at 3";
    QTest::newRow("the settings file cannot be written") << "folder at 4";
    QTest::newRow("the interfaces cannot be written") << "folder at 6";
    QTest::newRow("answered Yes, then a static file imported") << "import";
}

void TestConfigTransfer::factoryRestore()
{
    QFETCH(QString, situation);
    OsdWindow osd(sourceDocument("boss", "Auto"));
    QVERIFY(osd.unit.writeFile(settingsFile, sourceGuiSettings));
    const QString counters = QLatin1String(GuiFiles::authenticationStatPath);
    QVERIFY(osd.unit.writeFile(counters, "successful_login=7\n"));
    const QStringList files { copyA, DatabaseStorage::copyBPath, DatabaseStorage::checksumAPath,
        DatabaseStorage::checksumBPath, settingsFile, counters, interfacesFile };
    QList<QByteArray> expected;
    for (const QString& file : files)
        expected << osd.unit.readFile(file);
    const int folder = situation.startsWith(QLatin1String("folder at ")) ? situation.mid(10).toInt() : -1;
    if (folder >= 0) {
        QFile::remove(osd.unit.path(files.at(folder)));
        QVERIFY(QDir().mkpath(osd.unit.path(files.at(folder))));
        expected[folder].clear();
    }
    const bool restored = situation == QLatin1String("yes") || situation == QLatin1String("import");
    if (restored) {
        // The unit runs DHCP after a restore, and its database says so.
        QDomDocument fresh = newDatabaseDocument();
        writeUnitSetting(fresh, UnitSetting::DhcpChecked, QStringLiteral("true"));
        writeUnitSetting(fresh, UnitSetting::StaticChecked, QStringLiteral("false"));
        const QByteArray text = databaseText(fresh);
        expected = { text, text, checksumLine(text), checksumLine(text),
            "autoLoginUsr=admin\npower_mode=Manual\nrememberLastUsrName=\n",
            "successful_login=0\nfailed_login=0\nmanager_unreachable=0\nconnection_in_use=0\n"
            "connection_not_reachable=0\nconnection_refused=0\nconnection_error=0\ntimeouts=0\n",
            dhcpInterfacesText() };
    }
    const ModalAnswerPtr question
        = answerNextBox("Restore", situation == "no" ? QMessageBox::No : QMessageBox::Yes);
    const ModalAnswerPtr failed = answerNextBox(QStringLiteral("Error"), QMessageBox::Ok);
    pressAndSettle(*osd.window, "restoreButton");
    QVERIFY(waitForAnswer(question));
    QCOMPARE(question->text,
        "Are you sure you want to restore the factory default configuration? The unit will reboot.");
    QCOMPARE(failed->text, folder >= 0 ? QStringLiteral("Restore failed. Internal error.") : QString());
    // A failed restore leaves the unit with its users, on disk and in memory.
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(osd.unit.readFile(files.at(i)), expected.at(i));
    QCOMPARE(userNamed(osd.window->document(), QStringLiteral("boss")).isNull(), restored);
    QTRY_COMPARE(osd.unit.reboots(), restored ? 1 : 0);
    if (situation == QLatin1String("import")) {
        // The file's static choice is a change now: the unit's own static set is applied.
        QCOMPARE(importFile(osd, corpusFile(QStringLiteral("unit-export.ccfg"))),
            QStringLiteral("Import successfully completed. The system will reboot now."));
        QCOMPARE(osd.unit.readFile(interfacesFile), ownStaticInterfaces);
    }
}

void TestConfigTransfer::tool_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@name": a file of the import corpus
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // "@name": that file's bytes; otherwise a line of the output
    QTest::addColumn<QString>("err");

    // clang-format off
    QTest::newRow("decrypt a unit export") << QStringList { "decrypt", "@unit-export.ccfg" } << 0 << "@unit-export.xml" << "";
    QTest::newRow("check a unit export") << QStringList { "check", "@unit-export.ccfg" } << 0 << "transmitter pools dropped: Pool1" << "";
    QTest::newRow("check a plain document") << QStringList { "check", "@unit-export.xml" } << 0 << "receiver records dropped: 1" << "";
    QTest::newRow("check without admin") << QStringList { "check", "@no-admin.xml" } << 1 << "" << structure + "\n";
    QTest::newRow("encrypt without admin") << QStringList { "encrypt", "@no-admin.xml" } << 1 << "" << structure + "\n";
    QTest::newRow("check a capital extension") << QStringList { "check", "@capital.CCFG" } << 1 << "" << "Specified File type is not compatible.\n";
    QTest::newRow("decrypt a plain document") << QStringList { "decrypt", "@unit-export.xml" } << 1 << "" << corrupted + "\n";
    QTest::newRow("no file") << QStringList { "check" } << 2 << "" << "";
    QTest::newRow("unknown command") << QStringList { "show", "@unit-export.xml" } << 2 << "" << "";
    QTest::newRow("-o without a file") << QStringList { "decrypt", "@unit-export.ccfg", "-o" } << 2 << "" << "";
    QTest::newRow("-o with an empty name") << QStringList { "decrypt", "@unit-export.ccfg", "-o", "" } << 2 << "" << "";
    QTest::newRow("decrypt to -o -, standard output") << QStringList { "decrypt", "@unit-export.ccfg", "-o", "-" } << 0 << "@unit-export.xml" << "";
    QTest::newRow("decrypt standard input") << QStringList { "decrypt", "-" } << 0 << "@unit-export.xml" << "";
    QTest::newRow("check standard input") << QStringList { "check", "-" } << 0 << "transmitter pools dropped: Pool1" << "";
    QTest::newRow("check nested deeper than a database") << QStringList { "check", "@nested-too-deep.xml" } << 1 << "" << corrupted + "\n";
    QTest::newRow("check admin only a User") << QStringList { "check", "@admin-only-user.xml" } << 1 << "" << structure + "\n";
    QTest::newRow("encrypt an unknown encoding") << QStringList { "encrypt", "@unknown-encoding.xml" } << 1 << "" << corrupted + "\n";
    QTest::newRow("check names with control characters") << QStringList { "check", "@control-names.xml" } << 0 << "users kept: admin, boss, power, pl\\x1b]0;owned\\x07ain, aduser" << "";
    // clang-format on
}

void TestConfigTransfer::tool()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    arguments.replaceInStrings(
        QRegularExpression(QStringLiteral("^@")), QStringLiteral(VELMO_IMPORT_CORPUS "/"));
    QByteArray output;
    QByteArray errors;
    QCOMPARE(runTool(arguments, &output, &errors), exitCode);
    if (out.startsWith(QLatin1Char('@')))
        QCOMPARE(output, corpusFile(out.mid(1)));
    else if (!out.isEmpty())
        QVERIFY2(output.split('\n').contains(out.toUtf8()), output.constData());
    if (exitCode == 2)
        QVERIFY(errors.startsWith("velmo-config: "));
    else
        QTEST(QString::fromUtf8(errors), "err");
}

// On the engineer's computer a link is read, a pipe or a device written into
// (through a link too), a link to a file never replaced, and a deciphered
// document kept from other accounts.
void TestConfigTransfer::toolOnOwnFiles()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("link.ccfg"), fifo = dir.filePath("fifo");
    const QString plain = dir.filePath("plain.xml"), toPlain = dir.filePath("to-plain");
    const QString toDevice = dir.filePath("to-device");
    QVERIFY(QFile::link(QStringLiteral(VELMO_IMPORT_CORPUS "/unit-export.ccfg"), link));
    QVERIFY(QFile::link(plain, toPlain) && QFile::link(QStringLiteral("/dev/null"), toDevice));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QCOMPARE(runTool({ QStringLiteral("decrypt"), link, QStringLiteral("-o"), fifo }), 1); // nobody reads
    QCOMPARE(runTool({ QStringLiteral("decrypt"), link, QStringLiteral("-o"), toDevice }), 0);
    // Told apart from an export by what it is, as by its name.
    const QByteArray document = corpusFile(QStringLiteral("unit-export.xml"));
    QFile blankFirst(plain);
    QVERIFY(blankFirst.open(QIODevice::WriteOnly) && blankFirst.write("\n" + document) > 0);
    blankFirst.close();
    QCOMPARE(runTool({ QStringLiteral("check"), QStringLiteral("-") }, nullptr, nullptr, plain), 0);
    QCOMPARE(runTool({ QStringLiteral("decrypt"), link, QStringLiteral("-o"), toPlain }), 1);
    QVERIFY(QFileInfo(toPlain).isSymLink() && QFileInfo(toDevice).isSymLink());
    QCOMPARE(QFile(plain).size(), document.size() + 1);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QCOMPARE(runTool({ QStringLiteral("decrypt"), link, QStringLiteral("-o"), fifo }), 0);
    QByteArray piped(65536, '\0');
    piped.resize(int(::read(reader, piped.data(), size_t(piped.size()))));
    ::close(reader);
    QCOMPARE(piped, document);
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    QVERIFY(QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QCOMPARE(runTool({ QStringLiteral("decrypt"), link, QStringLiteral("-o"), plain }), 0);
    QCOMPARE(QFileInfo(plain).permissions() & ~(QFile::ReadUser | QFile::WriteUser), QFile::ReadOwner | QFile::WriteOwner);
}

VELMO_TEST_MAIN(TestConfigTransfer)
#include "test_configtransfer.moc"
