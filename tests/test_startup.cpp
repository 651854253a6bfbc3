#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "platform/platform.h"
#include "testmain.h"
#include "testunit.h"

#include <QLabel>
#include <QtTest>

namespace {

QByteArray md5Line(const QByteArray& content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
}

// Installs a document as both copies, as a unit that ran before has them.
void installDatabase(TestUnit& unit, const QDomDocument& document)
{
    const QByteArray text = databaseText(document);
    unit.writeFile(DatabaseStorage::copyAPath, text);
    unit.writeFile(DatabaseStorage::copyBPath, text);
    unit.writeFile(DatabaseStorage::checksumAPath, md5Line(text));
    unit.writeFile(DatabaseStorage::checksumBPath, md5Line(text));
}

QDomDocument documentWithoutBroker(const QString& rxMac = QString())
{
    QDomDocument document = newDatabaseDocument();
    QDomElement root = document.documentElement();
    QDomElement settings = root.firstChildElement(db::UnitSettings);
    settings.removeChild(settings.firstChildElement(db::BrokerGroup));
    if (!rxMac.isNull()) {
        QDomElement rx = document.createElement(db::Rx);
        rx.setAttribute(db::Mac, rxMac);
        root.firstChildElement(db::RxDevices).appendChild(rx);
    }
    return document;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void firstStartCreatesTheDatabaseAndSettings();
    void olderDatabaseIsUpgradedOnAnUnmanagedUnit();
    void managedUnitKeepsItsDatabase_data();
    void managedUnitKeepsItsDatabase();
    void disconnectReasonIsShownFirst();
};

void TestStartup::firstStartCreatesTheDatabaseAndSettings()
{
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);

    const QByteArray text = unit.readFile(DatabaseStorage::copyAPath);
    QCOMPARE(text, databaseText(newDatabaseDocument()));
    QCOMPARE(unit.readFile(DatabaseStorage::copyBPath), text);
    QCOMPARE(unit.readFile(DatabaseStorage::checksumAPath), md5Line(text));
    QCOMPARE(window.storage().databasePath, QString::fromLatin1(DatabaseStorage::copyAPath));
    QCOMPARE(databaseText(window.document()), text);
    QCOMPARE(unit.readFile(QStringLiteral("/usr/local/gui_files/gui_settings.cfg")),
             QByteArray("autoLoginUsr=admin\npower_mode=Manual\nrememberLastUsrName=\n"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("labelWelcome"))->text(), QStringLiteral("Unmanaged:"));

    const QList<SimLogLine> lines = unit.logLines();
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first().text, QStringLiteral("### MainWindow Constructor Start ###\n"));
    QCOMPARE(lines.last().text, QStringLiteral("### MainWindow Constructor End ###\n"));
}

void TestStartup::olderDatabaseIsUpgradedOnAnUnmanagedUnit()
{
    TestUnit unit;
    installDatabase(unit, documentWithoutBroker());
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(unit.readFile(DatabaseStorage::copyAPath).contains("VM_Resourse=\"2\""));
    QVERIFY(window.storage().verifyChecksumFile(DatabaseStorage::copyAPath));
}

void TestStartup::managedUnitKeepsItsDatabase_data()
{
    QTest::addColumn<bool>("lowerCase");
    QTest::addColumn<bool>("lineFeed");
    QTest::newRow("as the interface gives it") << false << false;
    QTest::newRow("lower case") << true << false;
    QTest::newRow("lower case with a trailing line feed") << true << true;
}

void TestStartup::managedUnitKeepsItsDatabase()
{
    QFETCH(bool, lowerCase);
    QFETCH(bool, lineFeed);
    TestUnit unit;
    QString mac = unit.platform().eth0().hardwareAddress;
    QVERIFY(!mac.isEmpty());
    if (lowerCase)
        mac = mac.toLower();
    if (lineFeed)
        mac += QLatin1Char('\n');
    const QDomDocument document = documentWithoutBroker(mac);
    installDatabase(unit, document);

    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(window.isUnitManaged());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("labelWelcome"))->text(), QStringLiteral("Managed:"));
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), databaseText(document));
}

void TestStartup::disconnectReasonIsShownFirst()
{
    TestUnit unit;
    const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Disconnect Reason"), QMessageBox::Ok);
    LoggedInUser user;
    MainWindow window(unit.platform(), "Transmitter lost", &user);
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->text, QStringLiteral("Transmitter lost"));
}

VELMO_TEST_MAIN(TestStartup)
#include "test_startup.moc"
