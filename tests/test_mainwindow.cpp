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
#include "services/servicetext.h"
#include "testmain.h"
#include "testunit.h"
#include "users/logindialog.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
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

QString label(MainWindow& window, const char* name)
{
    return child<QLabel>(window, QLatin1String(name))->text();
}

// "Log Off" or "Reboot" from `actions`, a power menu's.
void choose(const QList<QAction*>& actions, const QString& item)
{
    for (QAction* action : actions)
        if (action->text() == item)
            action->trigger();
}

// Every shown widget that its layout gave less than it needs to draw itself.
QStringList squeezedWidgets(QWidget* top)
{
    QStringList squeezed;
    for (QWidget* child : top->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(top) || child->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QSize need = child->minimumSizeHint();
        if (need.isValid() && (child->width() < need.width() || child->height() < need.height()))
            squeezed << child->objectName();
    }
    return squeezed;
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
    void disconnectReasonIsShownFirst_data();
    void disconnectReasonIsShownFirst();
    void views_data();
    void views();
    void controlPagesBuiltWhenOpened();
    void returnKey();
    void reboot_data();
    void reboot();
    void identity_data();
    void identity();
    void formIsWholeInTheOsdWindow();
};

void TestMainWindow::databaseAtStart_data()
{
    QTest::addColumn<bool>("installed"); // an older database, without its broker group
    QTest::addColumn<QString>("mac"); // null: unmanaged; else how the receiver entry spells the address
    QTest::newRow("first start: created") << false << QString();
    QTest::newRow("older database upgraded on an unmanaged unit") << true << QString();
    QTest::newRow("managed, address as the interface gives it") << true << "same";
    QTest::newRow("managed, lower case with a trailing line feed") << true << "lower\n";
}

void TestMainWindow::databaseAtStart()
{
    QFETCH(bool, installed);
    QFETCH(QString, mac);
    TestUnit unit;
    QDomDocument older = newDatabaseDocument();
    unitSettingsSection(older).removeChild(unitSettingsGroup(older, db::BrokerGroup));
    if (!mac.isNull()) {
        const QString own = unit.platform().eth0().hardwareAddress;
        const QString address = mac.startsWith(QLatin1String("lower")) ? own.toLower() : own;
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
    // Looked at quietly before the database is read, and written afterwards.
    QVERIFY(!unit.hasLog(3, QStringLiteral("MainWindow: Can not open file for reading: ") + settingsPath));
    QCOMPARE(window.isManaged(), !mac.isNull());
    QCOMPARE(label(window, "labelWelcome"), QLatin1String(mac.isNull() ? "Unmanaged:" : "Managed:"));
    QCOMPARE(unit.readFile(statPath).contains("manager_unreachable=1\n"), !mac.isNull());
    QCOMPARE(unit.hasLog(3, "MainWindow: Pull database error"), !mac.isNull());
    QCOMPARE(unit.debugLines().contains("Pull database error"), !mac.isNull());
    QCOMPARE(user.userName, QStringLiteral("admin"));
}

void TestMainWindow::startUp_data()
{
    QTest::addColumn<Files>("files"); // written over the installed database
    QTest::addColumn<QString>("typed"); // at the log-on dialog; null: none expected, empty: rejected
    QTest::addColumn<QString>("user"); // logged on afterwards; empty: nobody, the window closes
    QTest::addColumn<QStringList>("autoLogons"); // users of the automatic log-on alerts
    QTest::addColumn<QStringList>("left"); // of the marker files
    QTest::addColumn<QStringList>("lines"); // "D|" debug line, "6|" log line at that priority
    QTest::addColumn<QString>("selected"); // in the connection list
    QTest::addColumn<bool>("launched"); // power's automatic connection; the window closes

    const QString bootCount = QStringLiteral("/tmp/guiBootCount.txt");
    const QString wasConnected = QStringLiteral("/tmp/WAS_CONNECTED");
    const QString viaRest = QStringLiteral("/tmp/LOGIN_VIA_REST");
    const QString tx = QStringLiteral("Default_TX_192.168.1.22");
    const QByteArray session = "power\n" + tx.toLatin1() + "\n";
    const QString enabled = QStringLiteral("D|MainWindow: AutoLogin enabled..");
    const auto autoLines = [](const QString& name) {
        return QStringList { "D|GUI: statistcs_send_json_alert_object(INFO,OPERATION,USER,AUTO_LOGIN,SUCCESS,"
                + name + ")",
            "7|MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER,AUTO_LOGIN,SUCCESS,OSD_LOGIN, "
                + name + ", , , )" };
    };
    const QStringList none;
    const QStringList power { "power" };
    // clang-format off
    QTest::newRow("automatic log-on") << Files() << QString() << "admin" << QStringList { "admin" } << none
        << QStringList { enabled } + autoLines("admin") << "" << false;
    QTest::newRow("automatic log-on starts the user's connection") << Files { { settingsPath, autoLogin("power") } }
        << QString() << "power" << power << QStringList { wasConnected } << autoLines("power") << tx << true;
    QTest::newRow("GUI ran before since boot") << Files { { bootCount, "1" } } << "plain" << "plain" << none << none
        << QStringList { "D|MainWindow: AutoLogin disabled.." } << "" << false;
    QTest::newRow("keyboard language changed") << Files { { "/tmp/noErrorCode.txt", "1" } } << "plain" << "plain"
        << none << none << QStringList { enabled } << "" << false;
    QTest::newRow("session started here: selected, not started again") << Files { { wasConnected, session } }
        << QString() << "power" << power << none << autoLines("power") << tx << false;
    QTest::newRow("session started through the REST interface: started again")
        << Files { { wasConnected, session }, { viaRest, "" } } << QString() << "power" << power
        << QStringList { wasConnected } << autoLines("power") << tx << true;
    QTest::newRow("connection already made in this log-on")
        << Files { { wasConnected, session }, { viaRest, "" }, { "/tmp/logAfterConnect.xml", "" } } << QString()
        << "power" << power << QStringList { wasConnected } << none << tx << false;
    QTest::newRow("session user no longer in the database") << Files { { wasConnected, "gone\n" } } << "plain"
        << "plain" << QStringList { "gone" } << none
        << QStringList { "6|MainWindow: requested to login user gone who does not exist in DB!" } << "" << false;
    // Only the exact name is logged on without a password, never the administrator a blank hides.
    QTest::newRow("session user ending in a blank") << Files { { wasConnected, "boss \n" } } << QString()
        << "boss " << QStringList { "boss " } << none << autoLines("boss ") << "" << false;
    QTest::newRow("session user beginning with a blank") << Files { { wasConnected, " boss\n" } } << "plain"
        << "plain" << QStringList { " boss" } << none
        << QStringList { "6|MainWindow: requested to login user  boss who does not exist in DB!" } << "" << false;
    QTest::newRow("session user with a line break") << Files { { wasConnected, "boss\nx\n" + session } }
        << "plain" << "plain" << QStringList { "" } << none
        << QStringList { "6|MainWindow: requested to login user  who does not exist in DB!" } << "" << false;
    QTest::newRow("session user the unit's services cannot take")
        << Files { { wasConnected, QString("\u7528\u6237\n").toUtf8() } } << "plain" << "plain"
        << QStringList { "\u7528\u6237" } << none
        << QStringList { "3|MainWindow: user \u7528\u6237 can not be handed to the unit's services; log-on refused" }
        << "" << false;
    QTest::newRow("corrupt copy repaired before the log-on")
        << Files { { DatabaseStorage::copyAPath, "<Data>\n <Users>\n  <U" }, { settingsPath, autoLogin("boss") } }
        << QString() << "boss" << QStringList { "boss" } << none << autoLines("boss") << "" << false;
    // A name is text whatever it looks like: it is shown as typed.
    QTest::newRow("automatic log-on of a name that looks like markup") << Files { { settingsPath, autoLogin("<b>boss</b>") } }
        << QString() << "<b>boss</b>" << QStringList { "<b>boss</b>" } << none << autoLines("<b>boss</b>") << "" << false;
    QTest::newRow("log-on refused: the window closes") << Files { { bootCount, "1" } } << "" << "" << none << none
        << none << "" << false;
    // clang-format on
}

void TestMainWindow::startUp()
{
    QFETCH(Files, files);
    QFETCH(QString, typed);
    QFETCH(QString, user);
    QFETCH(QStringList, autoLogons);
    QFETCH(QStringList, lines);
    QFETCH(bool, launched);
    TestUnit unit;
    QDomDocument document = databaseWithUsers();
    const QString tx = QStringLiteral("Default_TX_192.168.1.22");
    associate(document, QStringLiteral("power"), tx);
    QDomElement automatic = document.createElement(db::AutoConnect);
    automatic.setAttribute(db::AutoConnectName, tx);
    userNamed(document, QStringLiteral("power")).appendChild(automatic);
    for (const QString& name : { QStringLiteral("boss "), QStringLiteral("\u7528\u6237"), QStringLiteral("<b>boss</b>") })
        addUser(document, name, QStringLiteral("User"));
    installDatabase(unit, document);
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        unit.writeFile(file.key(), file.value());
    // The unit still names whoever was logged on when the OSD went down.
    unit.sim().editState([](QJsonObject& state) { state.insert("loggedInUser", "stale"); });
    const auto loggedInUser = [&unit] { return unit.sim().state().value("loggedInUser").toString(); };
    QString atLogon;
    bool framedAtLogon = false;
    const auto answer = answerNextLogon(typed, QStringLiteral("pw"), [&](QDialog&) {
        atLogon = loggedInUser();
        for (const QWidget* widget : QApplication::topLevelWidgets())
            framedAtLogon |= qobject_cast<const MainWindow*>(widget) && widget->findChild<QTabWidget*>();
    });
    LoggedInUser logged;
    MainWindow window(unit.platform(), nullptr, &logged);
    window.show();

    QCOMPARE(answer->shown, !typed.isNull());
    QCOMPARE(atLogon, QString()); // the stale name is gone before anyone types
    // The window behind the dialog is built only where an automatic log-on was to be expected.
    QCOMPARE(framedAtLogon, answer->shown && files.contains(QStringLiteral("/tmp/WAS_CONNECTED")));
    QCOMPARE(loggedInUser(), user);
    QCOMPARE(window.isLoggedOn(), !user.isEmpty());
    QTRY_COMPARE(window.isVisible(), !user.isEmpty() && !launched);
    QCOMPARE(logged.userName, user);
    QList<QJsonArray> alerts, autoLogonAlerts;
    for (const QJsonObject& record : unit.statistics())
        if (record.value("call") == QLatin1String("statistcs_send_json_alert_object"))
            alerts << record.value("args").toArray();
    for (const QString& name : autoLogons)
        if (servicesCarry(name)) // never reported under another name
            autoLogonAlerts << QJsonArray { 2, 3, 0, 1, 0, "OSD_LOGIN", name, "", "", "" };
    QCOMPARE(alerts.mid(0, autoLogonAlerts.size()), autoLogonAlerts);
    for (const QString& line : lines)
        QVERIFY2(line.startsWith("D|") ? unit.debugLines().contains(line.mid(2))
                                       : unit.hasLog(line.left(1).toInt(), line.mid(2)),
            qPrintable(line));
    QStringList markers;
    for (const char* marker :
        { "/tmp/guiBootCount.txt", "/tmp/noErrorCode.txt", "/tmp/WAS_CONNECTED", "/tmp/LOGIN_VIA_REST" })
        if (unit.exists(QLatin1String(marker)))
            markers << QLatin1String(marker);
    QTEST(markers, "left");
    QCOMPARE(unit.readFile(DatabaseStorage::copyAPath), unit.readFile(DatabaseStorage::copyBPath));
    auto* list = child<QListWidget>(window, QStringLiteral("listWidgetVM"));
    QTEST(list->currentItem() ? list->currentItem()->text() : QString(), "selected");
    QCOMPARE(unit.launches().size(), launched ? 1 : 0);
    if (launched)
        QCOMPARE(unit.readFile(QStringLiteral("/tmp/WAS_CONNECTED")), "power\n" + tx.toLatin1() + "\n");
    if (user.isEmpty())
        return;
    QCOMPARE(label(window, "curUNamelbl"), user);
    QVERIFY(shownAsText(child<QLabel>(window, QStringLiteral("curUNamelbl"))));
    const QByteArray logons = QByteArray::number(autoLogons.size() + !typed.isNull());
    QVERIFY(unit.readFile(statPath).contains("successful_login=" + logons + "\n"));
    QVERIFY(unit.commands().contains(QStringList { "/usr/bin/restapi_cli", "-j", "user_login", user }));
}

void TestMainWindow::disconnectReasonIsShownFirst_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("no option") << QByteArrayList { "velmogui" } << false << "";
    QTest::newRow("a reason") << QByteArrayList { "velmogui", "-e", "Transmitter lost" } << true
                              << "Transmitter lost";
    QTest::newRow("an empty reason") << QByteArrayList { "velmogui", "-e", "" } << true << "";
    QTest::newRow("attached value") << QByteArrayList { "velmogui", "-eTimeout" } << true << "Timeout";
    QTest::newRow("the last one wins")
        << QByteArrayList { "velmogui", "-e", "first", "-x", "-e", "second" } << true << "second";
    QTest::newRow("option without its value") << QByteArrayList { "velmogui", "-e" } << false << "";
}

void TestMainWindow::disconnectReasonIsShownFirst()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(bool, shown);
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const char* reason = disconnectReasonFromArguments(int(arguments.size()), argv.data());
    QCOMPARE(reason != nullptr, shown);

    TestUnit unit;
    const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Disconnect Reason"), QMessageBox::Ok);
    LoggedInUser user;
    MainWindow window(unit.platform(), reason, &user);
    QCOMPARE(answer->answered, shown);
    QTEST(answer->text, "text");
}

void TestMainWindow::views_data()
{
    // logged on first and off again in the same run; "dialog": through the log-on dialog at start; "split":
    // the user in a second Users section; empty: none
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<bool>("safeMode");
    QTest::addColumn<QString>("tabs");
    // +shown and enabled, !shown but disabled, ~shown (enabled by the list's selection), -hidden
    QTest::addColumn<QString>("widgets");

    const char* all = "Connections Control Users Information";
    const QString administrator = "+networkButton +systemPageButton +screenResButton +toolButtonMyPassCh "
                                  "+transmitterButton +hot_keyButton +labelHotKeySettings +labelTimersSettings "
                                  "+buttonTimerSettings +newConnectionButton ~editConnectionButton "
                                  "~removeConnectionButton +pushButtonSaveOnPUp";
    const auto row = [](const char* name, const char* before, const char* user, bool managed, bool safeMode,
                         const char* tabs, const QString& widgets) {
        QTest::newRow(name) << before << user << managed << safeMode << tabs << widgets;
    };
    const char* three = "Connections Control Information";
    // clang-format off
    row("administrator", "", "boss", false, false, all, administrator);
    row("administrator through the dialog at start", "dialog", "boss", false, false, all, administrator);
    row("administrator after a user", "plain", "boss", false, false, all, administrator);
    row("administrator after a power user", "power", "boss", false, false, all, administrator);
    row("administrator, managed", "", "boss", true, false, all,
        "!newConnectionButton !addUserButton !networkButton !toolButtonMyPassCh !hot_keyButton !applyScResButton "
        "!comboBox !startupgradeButton !brokerButton +applyGUIReslButton_2 +restoreButton +systemPageButton");
    const QString power = "-networkButton -systemPageButton -newConnectionButton -hot_keyButton "
                          "-buttonTimerSettings +toolButtonMyPassCh +transmitterButton";
    row("power user", "", "power", false, false, three, power);
    row("power user from a second Users section", "split", "power", false, false, three, power);
    row("power user after a user", "plain", "power", false, false, three, power);
    row("power user, managed", "", "power", true, false, three, "-transmitterButton -networkButton "
        "!toolButtonMyPassCh !comboBox !applyScResButton +screenResButton +applyGUIReslButton_2");
    row("user", "", "plain", false, false, "Connections Information",
        "-newConnectionButton -editConnectionButton -removeConnectionButton -toolButtonMyPassCh");
    const QString safe = "+systemPageButton -networkButton -restoreButton -exportButton -importButton "
                         "-transmitterButton";
    row("safe mode, user", "", "plain", false, true, "Control Information", safe);
    row("safe mode, administrator", "", "boss", false, true, "Control Information", safe);
    row("safe mode, administrator through the dialog at start", "dialog", "boss", false, true,
        "Control Information", safe);
    // clang-format on
}

void TestMainWindow::views()
{
    QFETCH(QString, before);
    QFETCH(QString, userName);
    QFETCH(bool, managed);
    QFETCH(bool, safeMode);
    QFETCH(QString, widgets);
    TestUnit unit;
    QDomDocument document = databaseWithUsers();
    if (managed)
        addReceiver(document, unit.platform().eth0().hardwareAddress);
    const bool split = before == QLatin1String("split");
    if (split) {
        associate(document, userName, QStringLiteral("Default_TX_192.168.1.22"));
        document.documentElement().appendChild(document.createElement(db::Users)).appendChild(
            userNamed(document, userName));
    }
    installDatabase(unit, document);
    if (safeMode)
        unit.writeFile(QStringLiteral("/SAFEMODE"), "");
    const bool atStart = before == QLatin1String("dialog");
    const QString autoUser = before.isEmpty() || atStart || split ? userName : before;
    unit.writeFile(settingsPath, autoLogin(autoUser.toLatin1()));
    QSharedPointer<LogonAnswer> startLogon;
    if (atStart) {
        unit.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), QByteArray());
        startLogon = answerNextLogon(userName, QStringLiteral("pw"));
    }
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    if (atStart) {
        QVERIFY(startLogon->shown);
    } else if (!before.isEmpty() && !split) {
        auto* tabs = child<QTabWidget>(window, QStringLiteral("tabWidget"));
        const qint64 icon = tabs->tabIcon(tabs->count() - 1).cacheKey();
        const auto logon = answerNextLogon(userName, QStringLiteral("pw"));
        choose(child<QMenu>(window, QStringLiteral("pMenu"))->actions(), QStringLiteral("Log Off"));
        QVERIFY(logon->shown);
        // Qt's picture cache keeps every icon it was given: the same one again, not another.
        QCOMPARE(tabs->tabIcon(tabs->count() - 1).cacheKey(), icon);
    }
    QCoreApplication::processEvents();

    QCOMPARE(user.userName, userName);
    auto* tabs = child<QTabWidget>(window, QStringLiteral("tabWidget"));
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    QTEST(texts.join(QLatin1Char(' ')), "tabs");
    for (const QString& marked : widgets.split(QLatin1Char(' '))) {
        const QWidget* w = child<QWidget>(window, marked.mid(1));
        QVERIFY2(w->isHidden() == (marked.at(0) == QLatin1Char('-')), qPrintable(marked));
        const QChar mark = marked.at(0);
        QVERIFY2(w->isHidden() || mark == QLatin1Char('~') || w->isEnabled() == (mark == QLatin1Char('+')),
            qPrintable(marked));
    }
    if (split) {
        QCOMPARE(child<QListWidget>(window, QStringLiteral("listWidgetVM"))->count(), 1);
        // The transmitter console takes the role from the same look-up.
        const auto open
            = [&] { child<QAbstractButton>(window, QStringLiteral("transmitterButton"))->click(); };
        QVERIFY(actOnDialogOf(open, "Transmitter Settings", [](QDialog& tx) {
            QVERIFY(child<QWidget>(tx, "txUpgradeButton")->isHidden());
            tx.reject();
        }));
    }
    QCOMPARE(window.windowTitle() == QLatin1String("***SAFE MODE***"), safeMode);
    if (safeMode) {
        QCOMPARE(child<QStackedWidget>(window, QStringLiteral("stackedWidget"))->currentIndex(), 2);
        QCOMPARE(label(window, "labelSafeMode"), QStringLiteral("SAFE MODE"));
        QCOMPARE(label(window, "labelWelcome"), QStringLiteral("SAFE MODE"));
    }
}

// The Control pages are built when first opened, with what the log-on decided for them.
void TestMainWindow::controlPagesBuiltWhenOpened()
{
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    unit.writeFile(settingsPath, autoLogin("power"));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QCoreApplication::processEvents();
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("transmitterButton")));

    window.findChild<QTabWidget*>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
    const QWidget* transmitter = window.findChild<QWidget*>(QStringLiteral("transmitterButton"));
    QVERIFY(transmitter && transmitter->isVisible());
    QVERIFY(window.findChild<QWidget*>(QStringLiteral("networkButton"))->isHidden());
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("comboBoxPowerMode")));
    window.findChild<QAbstractButton*>(QStringLiteral("toolButtonPowerMode"))->click();
    QVERIFY(window.findChild<QWidget*>(QStringLiteral("comboBoxPowerMode"))->isVisible());
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("radioButtonDHCP")));
}

void TestMainWindow::returnKey()
{
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* stack = child<QStackedWidget>(window, QStringLiteral("stackedWidget"));
    child<QTabWidget>(window, QStringLiteral("tabWidget"))->setCurrentIndex(1);
    QCOMPARE(stack->currentIndex(), 5);

    child<QWidget>(window, QStringLiteral("networkButton"))->setFocus();
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(stack->currentIndex(), 5);
    QTest::keyClick(&window, Qt::Key_Return);
    QCOMPARE(stack->currentIndex(), 1);

    child<QToolButton>(window, QStringLiteral("powreOffButton"))->setFocus();
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

void TestMainWindow::reboot_data()
{
    QTest::addColumn<bool>("fromLogon"); // else from the main window's power menu
    QTest::addColumn<QString>("answer"); // empty: the box is closed by the inactivity time-out
    QTest::addColumn<bool>("reboots");
    QTest::newRow("main window, Yes") << false << "Yes" << true;
    QTest::newRow("main window, No") << false << "No" << false;
    QTest::newRow("main window, timed out") << false << "" << false;
    QTest::newRow("log-on dialog, Yes") << true << "Yes" << true;
}

void TestMainWindow::reboot()
{
    QFETCH(bool, fromLogon);
    QFETCH(QString, answer);
    QFETCH(bool, reboots);
    TestUnit unit;
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    unit.clearRecords();

    const ModalAnswerPtr box
        = answer.isEmpty() ? answerNextBox("Reboot", QMessageBox::Cancel) : answerNextBox("Reboot", answer);
    if (fromLogon) {
        LoginDialog dialog(window.context(), window);
        choose(dialog.findChildren<QAction*>(), QStringLiteral("Reboot"));
    } else {
        choose(child<QMenu>(window, QStringLiteral("pMenu"))->actions(), QStringLiteral("Reboot"));
    }

    QVERIFY(box->answered);
    QCOMPARE(unit.commands().contains(QStringList { "/sbin/reboot", "-f" }), reboots);
    QCOMPARE(unit.hasLog(5, "MainWindow: Action Reboot.\n"), reboots);
    QCOMPARE(unit.hasLog(5, "LoginDialog: Action Reboot.\n"), fromLogon);
}

void TestMainWindow::identity_data()
{
    QTest::addColumn<int>("board");
    QTest::addColumn<int>("heads");
    QTest::addColumn<int>("brand");
    QTest::addColumn<QByteArray>("version"); // null: no file
    QTest::addColumn<QByteArray>("keymap"); // null: no file
    QTest::addColumn<QString>("identity"); // board name|brand|heads|software version|keyboard label

    const QByteArray none;
    // clang-format off
    QTest::newRow("Ostrel") << 1 << 1 << 1 << QByteArray("V3.1.0\n") << QByteArray("uk\n") << "Ostrel|QV|Single|V3.1.0|UK";
    QTest::newRow("Malvo") << 2 << 2 << 2 << QByteArray("V3.1.0") << QByteArray("us") << "Malvo|KX|Dual|V3.1.0|US";
    QTest::newRow("Vorl, brand 0") << 3 << 1 << 0 << QByteArray("V1\nV2\n") << QByteArray("fr-latin1\n") << "Vorl|Unknown|Single|V1|FR";
    QTest::newRow("LX single head, no files") << 4 << 1 << 1 << none << none << "TarselLXSH|QV|Single|Null|US";
    QTest::newRow("LX dual head, empty files") << 4 << 2 << 3 << QByteArray("") << QByteArray("") << "TarselLXDH|Unknown|Dual|Null|US";
    QTest::newRow("Tarsel, carriage return kept") << 5 << 2 << 2 << QByteArray("V2\r\n") << QByteArray("de") << "Tarsel|KX|Dual|V2\r|DE";
    QTest::newRow("MX single head, Swedish") << 9 << 1 << 1 << QByteArray("\nV9") << QByteArray("sv") << "TarselMXSH|QV|Single||SW";
    QTest::newRow("MX dual head") << 9 << 2 << 1 << QByteArray("V9") << QByteArray("no\n") << "TarselMXDH|QV|Dual|V9|NO";
    QTest::newRow("identifier 7, unknown keymap") << 7 << 1 << 1 << QByteArray("V9") << QByteArray("dk") << "Unknown|QV|Single|V9|";
    QTest::newRow("identifier 0, keymap codes by case") << 0 << 1 << 1 << QByteArray("V9") << QByteArray("UK") << "Unknown|QV|Single|V9|";
    // clang-format on
}

void TestMainWindow::identity()
{
    QFETCH(int, board);
    QFETCH(int, heads);
    QFETCH(int, brand);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, keymap);
    TestUnit unit;
    unit.sim().editSection("board", [&](QJsonObject& b) {
        b.insert("boardId", board);
        b.insert("heads", heads);
        b.insert("brandId", brand);
        b.insert("compatibility", 12);
        b.insert("mpn", "RXU-4200-EU");
    });
    for (const auto& file : { qMakePair(QStringLiteral("/VERSION"), version),
             qMakePair(QStringLiteral("/mnt/perm/keymap"), keymap) }) {
        QFile::remove(unit.path(file.first));
        if (!file.second.isNull())
            unit.writeFile(file.first, file.second);
    }
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    const QString label = window.showKeyboardLayout();

    const UnitIdentity& identity = window.context().identity();
    const QStringList shown { identity.boardName, identity.brand, identity.heads, identity.swVersion, label };
    QTEST(shown.join(QLatin1Char('|')), "identity");
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("label_3"))->text(), label);
    QCOMPARE(identity.mpn, QStringLiteral("RXU-4200-EU"));
    QCOMPARE(identity.compatibility, 12);
    QCOMPARE(unit.hasLog(3, "MainWindow: Can not open file: /mnt/perm/keymap for reading language.\n"),
        keymap.isNull());
}

void TestMainWindow::formIsWholeInTheOsdWindow()
{
    TestUnit unit;
    LoggedInUser user; // the administrator, so that every tab is there
    MainWindow window(unit.platform(), nullptr, &user);
    window.resize(600, 450);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* tabs = child<QTabWidget>(window, QStringLiteral("tabWidget"));
    auto* stack = child<QStackedWidget>(window, QStringLiteral("stackedWidget"));

    // A path that does not resolve still makes a non-null QIcon; only drawing tells.
    QStringList problems;
    const auto drawable = [](const QIcon& icon) { return !icon.pixmap(16, 16).isNull(); };
    for (int i = 0; i < tabs->count(); ++i)
        if (!drawable(tabs->tabIcon(i)))
            problems << "icon of " + tabs->tabText(i);
    // The connection and user lists set these two per entry.
    for (const char* path : { ":/icons/icons/sharedConn.png", ":/icons/icons/privateConn.png" })
        if (!drawable(QIcon(QLatin1String(path))))
            problems << path;

    // Only the look counts here: the page loaders stay out of it.
    const QSignalBlocker quietTabs(tabs);
    const QSignalBlocker quietStack(stack);
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        const bool control = tabs->widget(tab)->isAncestorOf(stack);
        for (int page = 0; page < (control ? stack->count() : 1); ++page) {
            if (control)
                stack->setCurrentIndex(page);
            QCoreApplication::processEvents();
            // A page's buttons may get their pictures only once it shows.
            for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
                if (button->isVisible() && !button->inherits("QCheckBox") && !button->inherits("QRadioButton")
                    && !button->parent()->inherits("QTabBar") && !drawable(button->icon()))
                    problems << "icon of " + button->objectName();
            for (const QString& name : squeezedWidgets(&window))
                problems << tabs->tabText(tab) + (control ? QStringLiteral(" page %1").arg(page) : QString())
                        + " squeezes " + name;
        }
    }
    problems.removeDuplicates();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String(", "))));
}

VELMO_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
