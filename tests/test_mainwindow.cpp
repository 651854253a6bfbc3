#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "platform/platform.h"
#include "testmain.h"
#include "testunit.h"

#include <QApplication>
#include <QDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {

QByteArray md5Line(const QByteArray& content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
}

void installDatabase(TestUnit& unit, const QDomDocument& document)
{
    const QByteArray text = databaseText(document);
    for (const char* copy : { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath })
        unit.writeFile(QLatin1String(copy), text);
    unit.writeFile(DatabaseStorage::checksumAPath, md5Line(text));
    unit.writeFile(DatabaseStorage::checksumBPath, md5Line(text));
}

// The default database plus one user of each privilege, all with password "pw".
QDomDocument databaseWithUsers(const QString& rxMac = QString())
{
    QDomDocument document = newDatabaseDocument();
    QDomElement root = document.documentElement();
    QDomElement users = root.firstChildElement(db::Users);
    const QList<QPair<QString, QString>> people { { "power", "Power User" }, { "plain", "User" }, { "boss", "Administrator" } };
    for (const auto& person : people) {
        QDomElement user = document.createElement(db::User);
        user.setAttribute(db::UserName, person.first);
        user.setAttribute(db::Password, QStringLiteral("pw"));
        user.setAttribute(db::Privilege, person.second);
        users.appendChild(user);
    }
    if (!rxMac.isEmpty()) {
        QDomElement rx = document.createElement(db::Rx);
        rx.setAttribute(db::Mac, rxMac);
        root.firstChildElement(db::RxDevices).appendChild(rx);
    }
    return document;
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

void setAutoLogin(TestUnit& unit, const QString& name)
{
    unit.writeFile(QStringLiteral("/usr/local/gui_files/gui_settings.cfg"),
                   "autoLoginUsr=" + name.toLatin1() + "\npower_mode=Manual\nrememberLastUsrName=\n");
}

// Answers the next log-on dialog: logs the user on, or rejects it when `name` is empty.
struct LogonAnswer {
    bool shown = false;
};
QSharedPointer<LogonAnswer> answerLogon(const QString& name, const QString& password)
{
    auto answer = QSharedPointer<LogonAnswer>::create();
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, name, password] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("LoginDialog"))
            return;
        poll->stop();
        poll->deleteLater();
        answer->shown = true;
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("userNamelineEdit"))->setText(name);
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("passwordlineEdit")), password);
        dialog->findChild<QPushButton*>(QStringLiteral("logonButton"))->click();
    });
    poll->start();
    return answer;
}

QStringList tabTexts(MainWindow& window)
{
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    return texts;
}

template <typename T>
T* widget(MainWindow& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QString label(MainWindow& window, const char* name)
{
    return widget<QLabel>(window, name)->text();
}

int alertsWithEvent(const TestUnit& unit, int event)
{
    int count = 0;
    for (const QJsonObject& call : unit.statistics())
        if (call.value("call").toString() == QLatin1String("statistcs_send_json_alert_object")
            && call.value("args").toArray().at(3).toInt() == event)
            ++count;
    return count;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void firstStartCreatesTheDatabaseAndSettings();
    void olderDatabaseIsUpgradedOnAnUnmanagedUnit();
    void managedUnitKeepsItsDatabase_data();
    void managedUnitKeepsItsDatabase();
    void disconnectReasonIsShownFirst();
    void automaticLogonAtStart();
    void markerFilesSuppressTheAutomaticLogon_data();
    void markerFilesSuppressTheAutomaticLogon();
    void restoresTheSessionThatWasRunning_data();
    void restoresTheSessionThatWasRunning();
    void corruptCopyIsRepairedBeforeTheLogon();
    void failedPullOnAManagedUnitIsCounted();
    void rejectedLogonClosesTheWindow();
    void privilegeViews_data();
    void privilegeViews();
    void safeModeShowsControlAndInformationOnly();
    void keyboardLabel_data();
    void keyboardLabel();
    void returnKey();
};

void TestMainWindow::firstStartCreatesTheDatabaseAndSettings()
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

void TestMainWindow::olderDatabaseIsUpgradedOnAnUnmanagedUnit()
{
    TestUnit unit;
    installDatabase(unit, documentWithoutBroker());
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(unit.readFile(DatabaseStorage::copyAPath).contains("VM_Resourse=\"2\""));
    QVERIFY(window.storage().verifyChecksumFile(DatabaseStorage::copyAPath));
}

void TestMainWindow::managedUnitKeepsItsDatabase_data()
{
    QTest::addColumn<bool>("lowerCase");
    QTest::addColumn<bool>("lineFeed");
    QTest::newRow("as the interface gives it") << false << false;
    QTest::newRow("lower case") << true << false;
    QTest::newRow("lower case with a trailing line feed") << true << true;
}

void TestMainWindow::managedUnitKeepsItsDatabase()
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
    // Keep the appliance from replacing the database this test looks at.
    unit.sim().setFailure(QStringLiteral("su_get_xml_db"), 2);

    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(window.isManaged());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("labelWelcome"))->text(), QStringLiteral("Managed:"));
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), databaseText(document));
}

void TestMainWindow::disconnectReasonIsShownFirst()
{
    TestUnit unit;
    const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Disconnect Reason"), QMessageBox::Ok);
    LoggedInUser user;
    MainWindow window(unit.platform(), "Transmitter lost", &user);
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->text, QStringLiteral("Transmitter lost"));
}

void TestMainWindow::automaticLogonAtStart()
{
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(window.isLoggedOn());
    QCOMPARE(user.userName, QStringLiteral("admin"));
    QVERIFY(user.loggedIn);
    QCOMPARE(label(window, "curUNamelbl"), QStringLiteral("admin"));
    QVERIFY(unit.hasLog(7, QStringLiteral("MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER,AUTO_LOGIN,"
                                          "SUCCESS,OSD_LOGIN, admin, , , )")));
    QCOMPARE(alertsWithEvent(unit, 1), 1);
    QVERIFY(unit.readFile(QStringLiteral("/usr/local/gui_files/gui_authentication.stat")).contains("successful_login=1\n"));
    QVERIFY(unit.commands().contains(QStringList { "/usr/bin/restapi_cli", "-j", "user_login", "admin" }));
    QCOMPARE(tabTexts(window), (QStringList { "Connections", "Control", "Users", "Information" }));
}

void TestMainWindow::markerFilesSuppressTheAutomaticLogon_data()
{
    QTest::addColumn<QString>("marker");
    QTest::newRow("GUI ran before since boot") << "/tmp/guiBootCount.txt";
    QTest::newRow("keyboard language changed") << "/tmp/noErrorCode.txt";
}

void TestMainWindow::markerFilesSuppressTheAutomaticLogon()
{
    QFETCH(QString, marker);
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    unit.writeFile(marker, "1");
    const auto answer = answerLogon(QStringLiteral("plain"), QStringLiteral("pw"));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(answer->shown);
    QCOMPARE(user.userName, QStringLiteral("plain"));
    QVERIFY(!unit.exists(marker));
    QCOMPARE(alertsWithEvent(unit, 1), 0);
}

void TestMainWindow::restoresTheSessionThatWasRunning_data()
{
    QTest::addColumn<bool>("viaRest");
    QTest::newRow("session started here") << false;
    QTest::newRow("session started through the REST interface") << true;
}

void TestMainWindow::restoresTheSessionThatWasRunning()
{
    QFETCH(bool, viaRest);
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    unit.writeFile(QStringLiteral("/tmp/WAS_CONNECTED"), "power\nDefault_TX_192.168.1.22\n");
    if (viaRest)
        unit.writeFile(QStringLiteral("/tmp/LOGIN_VIA_REST"), "");
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QCOMPARE(user.userName, QStringLiteral("power"));
    QVERIFY(window.isLoggedOn());
    QCOMPARE(alertsWithEvent(unit, 1), 1);
    QVERIFY(unit.launches().isEmpty());
    QCOMPARE(unit.exists(QStringLiteral("/tmp/WAS_CONNECTED")), viaRest);
    QVERIFY(!unit.exists(QStringLiteral("/tmp/LOGIN_VIA_REST")));
}

void TestMainWindow::corruptCopyIsRepairedBeforeTheLogon()
{
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    const QByteArray good = unit.readFile(DatabaseStorage::copyBPath);
    unit.writeFile(DatabaseStorage::copyAPath, good.left(good.size() / 3));
    setAutoLogin(unit, QStringLiteral("boss"));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QCOMPARE(user.userName, QStringLiteral("boss"));
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), good);
}

void TestMainWindow::failedPullOnAManagedUnitIsCounted()
{
    TestUnit unit;
    const QString mac = unit.platform().eth0().hardwareAddress.toLower() + QLatin1Char('\n');
    installDatabase(unit, databaseWithUsers(mac));
    unit.sim().setFailure(QStringLiteral("su_get_xml_db"), 2);
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QVERIFY(window.isManaged());
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Pull database error")));
    QVERIFY(unit.readFile(QStringLiteral("/usr/local/gui_files/gui_authentication.stat")).contains("manager_unreachable=1\n"));
    // The local database stays in use: the automatic log-on still works.
    QCOMPARE(user.userName, QStringLiteral("admin"));
}

void TestMainWindow::rejectedLogonClosesTheWindow()
{
    TestUnit unit;
    unit.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), "1");
    const auto answer = answerLogon(QString(), QString());
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QVERIFY(answer->shown);
    QVERIFY(!window.isLoggedOn());
    QTRY_VERIFY(!window.isVisible());
}

void TestMainWindow::privilegeViews_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QStringList>("tabs");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QStringList>("enabled");

    const QStringList all { "Connections", "Control", "Users", "Information" };
    QTest::newRow("administrator") << "boss" << false << all << QStringList()
                                   << QStringList()
                                   << QStringList { "networkButton", "newConnectionButton", "hot_keyButton",
                                                    "toolButtonMyPassCh", "pushButtonSaveOnPUp" };
    QTest::newRow("administrator, managed")
        << "boss" << true << all << QStringList()
        << QStringList { "newConnectionButton", "addUserButton", "networkButton", "toolButtonMyPassCh",
                         "hot_keyButton", "applyScResButton", "comboBox", "startupgradeButton", "brokerButton" }
        << QStringList { "applyGUIReslButton_2", "restoreButton", "systemPageButton" };
    QTest::newRow("power user") << "power" << false << QStringList { "Connections", "Control", "Information" }
                                << QStringList { "networkButton", "systemPageButton", "newConnectionButton",
                                                 "hot_keyButton", "buttonTimerSettings" }
                                << QStringList() << QStringList { "toolButtonMyPassCh", "transmitterButton" };
    QTest::newRow("power user, managed")
        << "power" << true << QStringList { "Connections", "Control", "Information" }
        << QStringList { "transmitterButton", "networkButton" }
        << QStringList { "toolButtonMyPassCh", "comboBox", "applyScResButton" }
        << QStringList { "screenResButton", "applyGUIReslButton_2" };
    QTest::newRow("user") << "plain" << false << QStringList { "Connections", "Information" }
                          << QStringList { "newConnectionButton", "editConnectionButton", "removeConnectionButton",
                                           "toolButtonMyPassCh" }
                          << QStringList() << QStringList();
}

void TestMainWindow::privilegeViews()
{
    QFETCH(QString, userName);
    QFETCH(bool, managed);
    QFETCH(QStringList, tabs);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, disabled);
    QFETCH(QStringList, enabled);

    TestUnit unit;
    installDatabase(unit, databaseWithUsers(managed ? unit.platform().eth0().hardwareAddress : QString()));
    if (managed) // the appliance serves the same users
        unit.sim().setFailure(QStringLiteral("su_get_xml_db"), 2);
    setAutoLogin(unit, userName);
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QCOMPARE(user.userName, userName);
    QCOMPARE(tabTexts(window), tabs);
    for (const QString& name : hidden)
        QVERIFY2(window.findChild<QWidget*>(name)->isHidden(), qPrintable(name));
    for (const QString& name : disabled)
        QVERIFY2(!window.findChild<QWidget*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : enabled) {
        QWidget* w = window.findChild<QWidget*>(name);
        QVERIFY2(w->isEnabled() && !w->isHidden(), qPrintable(name));
    }
}

void TestMainWindow::safeModeShowsControlAndInformationOnly()
{
    for (const QString& name : { QStringLiteral("plain"), QStringLiteral("boss") }) {
        TestUnit unit;
        installDatabase(unit, databaseWithUsers());
        unit.writeFile(QStringLiteral("/SAFEMODE"), "");
        setAutoLogin(unit, name);
        LoggedInUser user;
        MainWindow window(unit.platform(), nullptr, &user);
        window.show();
        QCoreApplication::processEvents();
        QCOMPARE(tabTexts(window), (QStringList { "Control", "Information" }));
        QCOMPARE(window.windowTitle(), QStringLiteral("***SAFE MODE***"));
        QCOMPARE(widget<QStackedWidget>(window, "stackedWidget")->currentIndex(), 2);
        QVERIFY(!widget<QWidget>(window, "systemPageButton")->isHidden());
        for (const char* hidden : { "networkButton", "restoreButton", "exportButton", "importButton", "transmitterButton" })
            QVERIFY2(widget<QWidget>(window, hidden)->isHidden(), hidden);
        QCOMPARE(label(window, "labelSafeMode"), QStringLiteral("SAFE MODE"));
    }
}

void TestMainWindow::keyboardLabel_data()
{
    QTest::addColumn<QByteArray>("keymap");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("shown");
    QTest::newRow("missing file") << QByteArray() << false << "US";
    QTest::newRow("empty file") << QByteArray() << true << "US";
    QTest::newRow("uk") << QByteArray("uk\n") << true << "UK";
    QTest::newRow("us") << QByteArray("us") << true << "US";
    QTest::newRow("fr") << QByteArray("fr-latin1\n") << true << "FR";
    QTest::newRow("de") << QByteArray("de") << true << "DE";
    QTest::newRow("swedish shows SW") << QByteArray("sv") << true << "SW";
    QTest::newRow("no") << QByteArray("no\n") << true << "NO";
    QTest::newRow("unknown code") << QByteArray("dk") << true << "";
    QTest::newRow("prefixes are case-sensitive") << QByteArray("UK") << true << "";
}

void TestMainWindow::keyboardLabel()
{
    QFETCH(QByteArray, keymap);
    QFETCH(bool, present);
    QFETCH(QString, shown);
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QFile::remove(unit.path(QStringLiteral("/mnt/perm/keymap")));
    if (present)
        unit.writeFile(QStringLiteral("/mnt/perm/keymap"), keymap);
    QCOMPARE(window.showKeyboardLayout(), shown);
    QCOMPARE(label(window, "label_3"), shown);
    if (!present)
        QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not open file: /mnt/perm/keymap for reading language.\n")));
}

void TestMainWindow::returnKey()
{
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* tabs = widget<QTabWidget>(window, "tabWidget");
    auto* stack = widget<QStackedWidget>(window, "stackedWidget");
    tabs->setCurrentIndex(1);
    QCOMPARE(stack->currentIndex(), 5);

    QWidget* network = widget<QWidget>(window, "networkButton");
    network->setFocus();
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(stack->currentIndex(), 5);
    QTest::keyClick(&window, Qt::Key_Return);
    QCOMPARE(stack->currentIndex(), 1);

    auto* power = widget<QToolButton>(window, "powreOffButton");
    power->setFocus();
    bool menuOpened = false;
    QTimer::singleShot(50, [&menuOpened] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuOpened = popup->objectName() == QLatin1String("pMenu");
            popup->close();
        }
    });
    QTest::keyClick(&window, Qt::Key_Return);
    QTRY_VERIFY(menuOpened);
    QVERIFY(window.isLoggedOn());
}

VELMO_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
