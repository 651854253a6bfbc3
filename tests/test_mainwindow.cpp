#include "app/commandline.h"
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "logon.h"
#include "modal.h"
#include "platform/platform.h"
#include "testmain.h"
#include "testunit.h"

#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

const char settingsPath[] = "/usr/local/gui_files/gui_settings.cfg";
const char statPath[] = "/usr/local/gui_files/gui_authentication.stat";

QByteArray autoLogin(const QByteArray& name)
{
    return "autoLoginUsr=" + name + "\npower_mode=Manual\nrememberLastUsrName=\n";
}

QString unitMac(TestUnit& unit)
{
    return unit.platform().eth0().hardwareAddress;
}

template <typename T> T* widget(MainWindow& window, const QString& name)
{
    T* found = window.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

QString label(MainWindow& window, const char* name)
{
    return widget<QLabel>(window, QLatin1String(name))->text();
}

QString tabTexts(MainWindow& window)
{
    auto* tabs = widget<QTabWidget>(window, QStringLiteral("tabWidget"));
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    return texts.join(QLatin1Char(' '));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void databaseAtStart_data();
    void databaseAtStart();
    void startUp_data();
    void startUp();
    void automaticConnection_data();
    void automaticConnection();
    void disconnectReasonIsShownFirst_data();
    void disconnectReasonIsShownFirst();
    void views_data();
    void views();
    void keyboardLabel_data();
    void keyboardLabel();
    void returnKey();
};

void TestMainWindow::databaseAtStart_data()
{
    QTest::addColumn<bool>("installed"); // an older database, without its broker group
    QTest::addColumn<QString>("mac"); // null: unmanaged; else how the receiver entry spells the address
    QTest::newRow("first start: created") << false << QString();
    QTest::newRow("older database upgraded on an unmanaged unit") << true << QString();
    QTest::newRow("managed, address as the interface gives it") << true << "same";
    QTest::newRow("managed, lower case") << true << "lower";
    QTest::newRow("managed, lower case with a trailing line feed") << true << "lower\n";
}

void TestMainWindow::databaseAtStart()
{
    QFETCH(bool, installed);
    QFETCH(QString, mac);
    TestUnit unit;
    QDomDocument older = newDatabaseDocument();
    QDomElement settings = older.documentElement().firstChildElement(db::UnitSettings);
    settings.removeChild(settings.firstChildElement(db::BrokerGroup));
    if (!mac.isNull()) {
        const QString address
            = mac.startsWith(QLatin1String("lower")) ? unitMac(unit).toLower() : unitMac(unit);
        addReceiver(older, address + (mac.endsWith(QLatin1Char('\n')) ? QStringLiteral("\n") : QString()));
        // The managed unit must go on with its own database when the appliance is away.
        unit.sim().setFailure(QStringLiteral("su_get_xml_db"), 2);
    }
    if (installed)
        installDatabase(unit, older);
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);

    const QByteArray text = unit.readFile(DatabaseStorage::copyAPath);
    QCOMPARE(text, databaseText(mac.isNull() ? newDatabaseDocument() : older));
    // An upgrade writes copy A only: copy B keeps the state before it.
    QCOMPARE(
        unit.readFile(DatabaseStorage::copyBPath), installed && mac.isNull() ? databaseText(older) : text);
    QVERIFY(window.storage().verifyChecksumFile(DatabaseStorage::copyAPath));
    QCOMPARE(databaseText(window.document()), text);
    QCOMPARE(unit.readFile(settingsPath), autoLogin("admin"));
    QCOMPARE(window.isManaged(), !mac.isNull());
    QCOMPARE(label(window, "labelWelcome"), QLatin1String(mac.isNull() ? "Unmanaged:" : "Managed:"));
    QCOMPARE(unit.readFile(statPath).contains("manager_unreachable=1\n"), !mac.isNull());
    QCOMPARE(user.userName, QStringLiteral("admin"));
}

void TestMainWindow::startUp_data()
{
    QTest::addColumn<Files>("files"); // written over the installed database
    QTest::addColumn<QString>("typed"); // at the log-on dialog; null: none expected, empty: rejected
    QTest::addColumn<QString>("user"); // logged on afterwards; empty: nobody, the window closes
    QTest::addColumn<int>("autoLogons");
    QTest::addColumn<QStringList>("left"); // of the marker files

    const QString bootCount = QStringLiteral("/tmp/guiBootCount.txt");
    const QString wasConnected = QStringLiteral("/tmp/WAS_CONNECTED");
    const QString viaRest = QStringLiteral("/tmp/LOGIN_VIA_REST");
    const QByteArray session = "power\nDefault_TX_192.168.1.22\n";
    QTest::newRow("automatic log-on") << Files() << QString() << "admin" << 1 << QStringList();
    QTest::newRow("GUI ran before since boot") << Files { { bootCount, "1" } } << "plain"
                                               << "plain" << 0 << QStringList();
    QTest::newRow("keyboard language changed") << Files { { "/tmp/noErrorCode.txt", "1" } } << "plain"
                                               << "plain" << 0 << QStringList();
    QTest::newRow("session started here")
        << Files { { wasConnected, session } } << QString() << "power" << 1 << QStringList();
    QTest::newRow("session started through the REST interface") << Files { { wasConnected, session },
        { viaRest, "" } } << QString() << "power" << 1 << QStringList { wasConnected };
    QTest::newRow("corrupt copy repaired before the log-on") << Files {
        { DatabaseStorage::copyAPath, "<Data>\n <Users>\n  <U" }, { settingsPath, autoLogin("boss") }
    } << QString() << "boss" << 1 << QStringList();
    QTest::newRow("log-on refused: the window closes") << Files { { bootCount, "1" } } << ""
                                                       << "" << 0 << QStringList();
}

void TestMainWindow::startUp()
{
    QFETCH(Files, files);
    QFETCH(QString, typed);
    QFETCH(QString, user);
    QFETCH(int, autoLogons);
    QFETCH(QStringList, left);
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        unit.writeFile(file.key(), file.value());
    const auto answer = answerNextLogon(typed, QStringLiteral("pw"));
    LoggedInUser logged;
    MainWindow window(unit.platform(), nullptr, &logged);
    window.show();

    QCOMPARE(answer->shown, !typed.isNull());
    QCOMPARE(window.isLoggedOn(), !user.isEmpty());
    QTRY_COMPARE(window.isVisible(), !user.isEmpty());
    QCOMPARE(logged.userName, user);
    int autoLogonAlerts = 0;
    for (const QJsonObject& call : unit.statistics())
        autoLogonAlerts += call.value("call") == QLatin1String("statistcs_send_json_alert_object")
            && call.value("args").toArray().at(3) == 1;
    QCOMPARE(autoLogonAlerts, autoLogons);
    QStringList markers;
    for (const char* marker :
        { "/tmp/guiBootCount.txt", "/tmp/noErrorCode.txt", "/tmp/WAS_CONNECTED", "/tmp/LOGIN_VIA_REST" })
        if (unit.exists(QLatin1String(marker)))
            markers << QLatin1String(marker);
    QCOMPARE(markers, left);
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), unit.readFile(DatabaseStorage::copyBPath));
    QVERIFY(unit.launches().isEmpty()); // a restored session is not connected again
    if (user.isEmpty())
        return;
    QCOMPARE(label(window, "curUNamelbl"), user);
    QVERIFY(unit.readFile(statPath).contains("successful_login=1\n"));
    QVERIFY(unit.commands().contains(QStringList { "/usr/bin/restapi_cli", "-j", "user_login", user }));
}

void TestMainWindow::automaticConnection_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<bool>("launched");
    QTest::addColumn<QString>("selected");
    const QString tx = QStringLiteral("Default_TX_192.168.1.22");
    QTest::newRow("started after the automatic log-on") << Files {} << true << tx;
    QTest::newRow("already made in this log-on") << Files { { "/tmp/logAfterConnect.xml", "" } } << false << "";
    QTest::newRow("restored session: selected, not started")
        << Files { { "/tmp/WAS_CONNECTED", "admin\n" + tx.toLatin1() + "\n" } } << false << tx;
    QTest::newRow("restored through the REST interface: started")
        << Files { { "/tmp/WAS_CONNECTED", "admin\n" + tx.toLatin1() + "\n" }, { "/tmp/LOGIN_VIA_REST", "" } } << true
        << tx;
}

void TestMainWindow::automaticConnection()
{
    QFETCH(Files, files);
    QFETCH(bool, launched);
    QFETCH(QString, selected);
    TestUnit unit;
    QDomDocument document = databaseWithUsers();
    QDomElement automatic = document.createElement(db::AutoConnect);
    automatic.setAttribute(db::AutoConnectName, QStringLiteral("Default_TX_192.168.1.22"));
    userNamed(document, QStringLiteral("admin")).appendChild(automatic);
    installDatabase(unit, document);
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        unit.writeFile(file.key(), file.value());
    LoggedInUser logged;
    MainWindow window(unit.platform(), nullptr, &logged);

    QCOMPARE(unit.launches().size(), launched ? 1 : 0);
    auto* list = widget<QListWidget>(window, QStringLiteral("listWidgetVM"));
    QCOMPARE(list->currentItem() ? list->currentItem()->text() : QString(), selected);
    if (launched)
        QCOMPARE(unit.readFile(QStringLiteral("/tmp/WAS_CONNECTED")), "admin\n" + selected.toLatin1() + "\n");
}

void TestMainWindow::disconnectReasonIsShownFirst_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("no option") << QStringList { "velmogui" } << false << "";
    QTest::newRow("a reason") << QStringList { "velmogui", "-e", "Transmitter lost" } << true << "Transmitter lost";
    QTest::newRow("an empty reason") << QStringList { "velmogui", "-e", "" } << true << "";
    QTest::newRow("attached value") << QStringList { "velmogui", "-eTimeout" } << true << "Timeout";
    QTest::newRow("the last one wins") << QStringList { "velmogui", "-e", "first", "-x", "-e", "second" } << true
                                       << "second";
    QTest::newRow("option without its value") << QStringList { "velmogui", "-e" } << false << "";
}

void TestMainWindow::disconnectReasonIsShownFirst()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, shown);
    QFETCH(QString, text);
    QList<QByteArray> storage;
    std::vector<char*> argv;
    for (const QString& argument : arguments)
        storage << argument.toLocal8Bit();
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const char* reason = disconnectReasonFromArguments(int(storage.size()), argv.data());
    QCOMPARE(reason != nullptr, shown);

    TestUnit unit;
    const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Disconnect Reason"), QMessageBox::Ok);
    LoggedInUser user;
    MainWindow window(unit.platform(), reason, &user);
    QCOMPARE(answer->answered, shown);
    if (shown)
        QCOMPARE(answer->text, text);
}

void TestMainWindow::views_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<bool>("safeMode");
    QTest::addColumn<QString>("tabs");
    QTest::addColumn<QString>("widgets"); // +shown and enabled, !shown but disabled, -hidden

    const QString all = QStringLiteral("Connections Control Users Information");
    QTest::newRow("administrator")
        << "boss" << false << false << all
        << "+networkButton +newConnectionButton +hot_keyButton +toolButtonMyPassCh +pushButtonSaveOnPUp";
    QTest::newRow("administrator, managed")
        << "boss" << true << false << all
        << "!newConnectionButton !addUserButton !networkButton !toolButtonMyPassCh !hot_keyButton "
           "!applyScResButton !comboBox !startupgradeButton !brokerButton +applyGUIReslButton_2 "
           "+restoreButton +systemPageButton";
    QTest::newRow("power user")
        << "power" << false << false << "Connections Control Information"
        << "-networkButton -systemPageButton -newConnectionButton -hot_keyButton -buttonTimerSettings "
           "+toolButtonMyPassCh +transmitterButton";
    QTest::newRow("power user, managed")
        << "power" << true << false << "Connections Control Information"
        << "-transmitterButton -networkButton !toolButtonMyPassCh !comboBox !applyScResButton "
           "+screenResButton +applyGUIReslButton_2";
    QTest::newRow("user") << "plain" << false << false << "Connections Information"
                          << "-newConnectionButton -editConnectionButton -removeConnectionButton "
                             "-toolButtonMyPassCh";
    const QString safe = QStringLiteral("+systemPageButton -networkButton -restoreButton -exportButton "
                                        "-importButton -transmitterButton");
    QTest::newRow("safe mode, user") << "plain" << false << true << "Control Information" << safe;
    QTest::newRow("safe mode, administrator") << "boss" << false << true << "Control Information" << safe;
}

void TestMainWindow::views()
{
    QFETCH(QString, userName);
    QFETCH(bool, managed);
    QFETCH(bool, safeMode);
    QFETCH(QString, tabs);
    QFETCH(QString, widgets);

    TestUnit unit;
    QDomDocument document = databaseWithUsers();
    if (managed)
        addReceiver(document, unitMac(unit));
    installDatabase(unit, document);
    if (safeMode)
        unit.writeFile(QStringLiteral("/SAFEMODE"), "");
    unit.writeFile(settingsPath, autoLogin(userName.toLatin1()));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QCoreApplication::processEvents();

    QCOMPARE(user.userName, userName);
    QCOMPARE(tabTexts(window), tabs);
    for (const QString& marked : widgets.split(QLatin1Char(' '))) {
        const QWidget* w = widget<QWidget>(window, marked.mid(1));
        QVERIFY2(w->isHidden() == (marked.at(0) == QLatin1Char('-')), qPrintable(marked));
        QVERIFY2(w->isHidden() || w->isEnabled() == (marked.at(0) == QLatin1Char('+')), qPrintable(marked));
    }
    QCOMPARE(window.windowTitle() == QLatin1String("***SAFE MODE***"), safeMode);
    if (safeMode) {
        QCOMPARE(widget<QStackedWidget>(window, QStringLiteral("stackedWidget"))->currentIndex(), 2);
        QCOMPARE(label(window, "labelSafeMode"), QStringLiteral("SAFE MODE"));
    }
}

void TestMainWindow::keyboardLabel_data()
{
    QTest::addColumn<QByteArray>("keymap"); // null: no file
    QTest::addColumn<QString>("shown");
    QTest::newRow("missing file") << QByteArray() << "US";
    QTest::newRow("empty file") << QByteArray("") << "US";
    QTest::newRow("uk") << QByteArray("uk\n") << "UK";
    QTest::newRow("us") << QByteArray("us") << "US";
    QTest::newRow("fr") << QByteArray("fr-latin1\n") << "FR";
    QTest::newRow("de") << QByteArray("de") << "DE";
    QTest::newRow("swedish shows SW") << QByteArray("sv") << "SW";
    QTest::newRow("no") << QByteArray("no\n") << "NO";
    QTest::newRow("unknown code") << QByteArray("dk") << "";
    QTest::newRow("prefixes are case-sensitive") << QByteArray("UK") << "";
}

void TestMainWindow::keyboardLabel()
{
    QFETCH(QByteArray, keymap);
    QFETCH(QString, shown);
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QFile::remove(unit.path(QStringLiteral("/mnt/perm/keymap")));
    if (!keymap.isNull())
        unit.writeFile(QStringLiteral("/mnt/perm/keymap"), keymap);
    QCOMPARE(window.showKeyboardLayout(), shown);
    QCOMPARE(label(window, "label_3"), shown);
    QCOMPARE(unit.hasLog(3, "MainWindow: Can not open file: /mnt/perm/keymap for reading language.\n"),
        keymap.isNull());
}

void TestMainWindow::returnKey()
{
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* stack = widget<QStackedWidget>(window, QStringLiteral("stackedWidget"));
    widget<QTabWidget>(window, QStringLiteral("tabWidget"))->setCurrentIndex(1);
    QCOMPARE(stack->currentIndex(), 5);

    widget<QWidget>(window, QStringLiteral("networkButton"))->setFocus();
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(stack->currentIndex(), 5);
    QTest::keyClick(&window, Qt::Key_Return);
    QCOMPARE(stack->currentIndex(), 1);

    widget<QToolButton>(window, QStringLiteral("powreOffButton"))->setFocus();
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
