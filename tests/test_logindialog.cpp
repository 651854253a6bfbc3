#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "logon.h"
#include "modal.h"
#include "platform/platform.h"
#include "rules/userrules.h"
#include "services/servicetext.h"
#include "testmain.h"
#include "testunit.h"
#include "users/logindialog.h"
#include "widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

const char statPath[] = "/usr/local/gui_files/gui_authentication.stat";
const char lastUserPath[] = "/usr/local/gui_files/last_user";
const QString incorrect = QStringLiteral("Warning:| Username or Password entered is incorrect.");
const QString adminOnly = QStringLiteral(": Only Administrator may Log In in SAFE MODE.");
const QString refused = QStringLiteral("Authentication|Authentication failed. Please try again.");

// A main window on a unit that just booted (no automatic log-on) with the users
// of databaseWithUsers(); the log-on dialog of its start-up is refused, so each
// test opens its own.
struct Unit {
    explicit Unit(bool directory, bool safeMode = false, bool managed = false)
    {
        QDomDocument document = databaseWithUsers();
        if (directory)
            document.documentElement()
                .firstChildElement(db::MgmtUnitSettings)
                .firstChildElement(db::Mgmt)
                .setAttribute(db::Ad, QStringLiteral("true"));
        if (managed)
            addReceiver(document, test.platform().eth0().hardwareAddress);
        installDatabase(test, document);
        test.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), QByteArray());
        if (safeMode)
            test.writeFile(QStringLiteral("/SAFEMODE"), QByteArray());
        {
            const auto startUp = answerNextLogon(QString(), QString());
            window = std::make_unique<MainWindow>(test.platform(), nullptr, &user);
        }
        QTest::qWait(40); // lets the queued close of that refusal pass
        QFile::remove(test.path(QLatin1String(statPath)));
        test.clearRecords();
    }
    QByteArray stat() const { return test.readFile(QLatin1String(statPath)); }

    TestUnit test;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

// Pasted: QTest types only Latin-1.
void enterCredentials(LoginDialog& dialog, const QString& user, const QString& password)
{
    auto* name = child<QLineEdit>(dialog, "userNamelineEdit");
    name->clear();
    name->insert(user);
    child<QLineEdit>(dialog, "passwordlineEdit")->insert(password);
}

} // namespace

class TestLoginDialog : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void logonOutcomes_data();
    void logonOutcomes();
    void localLogon_data();
    void localLogon();
    void keyboardLanguage_data();
    void keyboardLanguage();
    void keys_data();
    void keys();
};

void TestLoginDialog::logonOutcomes_data()
{
    QTest::addColumn<QString>("unit"); // "safe" mode or "managed"
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("directory"); // directory log-on on
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("boxes"); // none: accepted
    QTest::addColumn<QByteArray>("lastUser"); // remembered after (was "old"); empty: "Remember me" unchecked
    QTest::addColumn<int>("polls"); // of the directory's status, a second apart
    QTest::addColumn<QString>("failAt"); // a service, or "status" for the scripted status sequence
    QTest::addColumn<QJsonArray>("failure"); // the injected code, or the status sequence
    QTest::addColumn<QString>("logLine");

    const auto row = [](const char* name, const char* unit, const char* user, bool directory, const char* password,
                         const QStringList& boxes, const char* lastUser = "old", int polls = 0,
                         const char* failAt = "", const QJsonArray& failure = {}, const QString& logLine = {}) {
        QTest::newRow(name) << unit << user << directory << password << boxes << QByteArray(lastUser) << polls
                            << failAt << failure << logLine;
    };
    const QStringList none;
    row("local password accepted", "", "boss", false, "pw", none, "boss");
    row("local password accepted, not remembered", "", "boss", false, "pw", none, "");
    row("wrong password", "", "boss", false, "PW", { incorrect });
    row("unknown user, directory off", "", "ghost", false, "pw", { incorrect });
    row("directory user accepted by the directory: remembered user kept", "", "aduser", true, "Passw0rd",
        none, "old", 2);
    row("unknown user, directory on: only the directory's reason", "", "ghost", true, "pw", { refused }, "old",
        2);
    row("safe mode: administrator", "safe", "boss", false, "pw", none, "boss");
    row("safe mode: power user refused", "safe", "power", false, "pw", { "WARNING|" + adminOnly, incorrect });
    row("safe mode: wrong password", "safe", "boss", false, "bad",
        { "WARNING: SAFE MODE|" + adminOnly, incorrect });
    // Names the unit does not know, whose database the directory brings.
    row("safe mode: directory administrator", "safe", "newadmin", true, "pw", none, "old", 2);
    row("safe mode: directory user refused", "safe", "newcomer", true, "pw", { "WARNING|" + adminOnly }, "old",
        2);
    row("user beyond Latin-1", "", "\u7528\u6237", false, "pw",
        { "Warning:|Username can only contain Latin-1 characters." });
    row("directory password beyond Latin-1", "", "aduser", true, "pw\u20ac",
        { "Warning:|Password can only contain Latin-1 characters." });
    row("managed: a user the appliance added since the start", "managed", "fresh", false, "pw", none,
        "fresh");
    row("managed, appliance unreachable: local users still log on", "managed", "boss", false, "pw", none,
        "boss", 0, "su_get_xml_db", { 2 });

    // The directory's faults, met by its own user's right password.
    const auto fault = [&row](const char* name, const char* failAt, const QJsonArray& failure,
                           const QString& box, int polls, const QString& logLine = {}) {
        row(name, "", "aduser", true, "Passw0rd", { box }, "old", polls, failAt, failure, logLine);
    };
    const QString manager
        = "Authentication|Corvane manager can not be contacted. Check Corvane Configuration.";
    const QString busy = "Authentication Timeout|System busy. Please try again.";
    const QString status = "LoginDialog: AD authentication error %1 returned by func ad_get_auth_status";
    fault("request, 1", "ad_login", { 1 }, "Authentication|Internal error. Error code 1.", 0);
    fault("request, 2", "ad_login", { 2 }, manager, 0);
    fault("request, 7", "ad_login", { 7 }, busy, 0);
    fault("request, unknown", "ad_login", { 42 }, "Authentication|Authentication error. Error code 42.", 0);
    fault("status, 8", "status", { 5, 8 }, manager, 2, status.arg(8));
    fault("status, unknown", "status", { 3, 4, 9 }, "Authentication|Authentication error. Error code 9.", 3,
        status.arg(9));
    fault("pending for 30 rounds", "status", { 4 }, busy, 30);
    fault("completion, 6", "ad_auth_complete", { 6 }, refused, 2,
        "LoginDialog: AD authentication error 6 returned by func ad_auth_complete");
    fault("user database pull", "su_get_xml_db", { 2 }, manager, 2, "LoginDialog: Pull user database error");
}

void TestLoginDialog::logonOutcomes()
{
    QFETCH(QString, unit);
    QFETCH(QString, user);
    QFETCH(bool, directory);
    QFETCH(QString, password);
    QFETCH(QStringList, boxes);
    QFETCH(QByteArray, lastUser);
    QFETCH(int, polls);
    QFETCH(QString, failAt);
    QFETCH(QJsonArray, failure);
    QFETCH(QString, logLine);
    const bool accepted = boxes.isEmpty();
    const bool safeMode = unit == QLatin1String("safe");
    const bool managed = unit == QLatin1String("managed");

    Unit osd(directory, safeMode, managed);
    osd.test.writeFile(QLatin1String(lastUserPath), "old");
    if (safeMode && directory) {
        QDomDocument served = databaseWithUsers();
        addUser(served, QStringLiteral("newadmin"), QStringLiteral("Administrator"));
        addUser(served, QStringLiteral("newcomer"), QStringLiteral("User"));
        osd.test.writeFile(QStringLiteral("/sim/manager/VelmoData.xml"), databaseText(served));
        osd.test.sim().editSection("directory", [&](QJsonObject& d) {
            d.insert("users", QJsonObject { { user, password } });
        });
    }
    if (managed) {
        QDomDocument served = databaseWithUsers();
        addReceiver(served, osd.test.platform().eth0().hardwareAddress);
        addUser(served, QStringLiteral("fresh"), QStringLiteral("User"));
        osd.test.writeFile(QStringLiteral("/sim/manager/VelmoData.xml"), databaseText(served));
    }
    if (failAt == QLatin1String("status"))
        osd.test.sim().editSection("directory", [&](QJsonObject& d) { d.insert("authStatusSequence", failure); });
    else if (!failAt.isEmpty())
        osd.test.sim().setFailure(failAt, failure.first().toInt());
    LoginDialog dialog(osd.window->context(), *osd.window);
    const qint64 start = osd.test.platform().nowMs();
    QCOMPARE(child<QLabel>(dialog, "labelSafeMode3")->isVisibleTo(&dialog), safeMode);
    QCOMPARE(child<QPushButton>(dialog, "settingsButton")->isVisibleTo(&dialog), !safeMode);
    QCOMPARE(child<QLineEdit>(dialog, "userNamelineEdit")->text(), QStringLiteral("old"));
    auto* remember = child<QCheckBox>(dialog, "rememberCheckBox");
    QVERIFY(remember->isChecked());
    remember->setChecked(!lastUser.isEmpty());

    const int before = answeredBoxes().size();
    for (const QString& box : boxes)
        answerNextBox(box.section(QLatin1Char('|'), 0, 0), QMessageBox::Cancel);
    enterCredentials(dialog, user, password);
    child<QPushButton>(dialog, "logonButton")->click();
    QCOMPARE(boxesSince(before, "|"), boxes);
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QVERIFY(child<QLineEdit>(dialog, "passwordlineEdit")->text().isEmpty());
    QCOMPARE(child<QLineEdit>(dialog, "userNamelineEdit")->text(), user);
    QCOMPARE(osd.test.readFile(QLatin1String(lastUserPath)), lastUser);
    QCOMPARE(osd.user.loggedIn, accepted);
    QCOMPARE(osd.window->getLoggedInUser(), accepted ? user : QString());
    QVERIFY(osd.stat().contains(
        accepted ? "successful_login=1\nfailed_login=0\n" : "successful_login=0\nfailed_login=1\n"));
    // A name the services cannot take is not reported under another.
    const bool carried = servicesCarry(user);
    QJsonArray lastAlert;
    for (const QJsonObject& call : osd.test.statistics())
        if (call.value("call").toString() == QLatin1String("statistcs_send_json_alert_object"))
            lastAlert = call.value(QStringLiteral("args")).toArray();
    const QJsonArray alert { accepted ? 2 : 1, 3, 0, 2, accepted ? 0 : 1, "OSD_LOGIN", user, "", "", "" };
    QCOMPARE(lastAlert, carried ? alert : QJsonArray());
    QCOMPARE(osd.stat().contains("manager_unreachable=1\n"), failAt == QLatin1String("su_get_xml_db"));
    if (managed)
        QCOMPARE(osd.test.sim().state().value("manager").toObject().value("lastPull").toObject(),
            (QJsonObject { { "user", "" }, { "mode", 0 } }));
    QCOMPARE(osd.test.hasLog(7,
                 "LoginDialog: "
                 "tatistcs_send_json_alert_object(WARNING,OPERATION,USER,MANUAL_LOGIN,FAILED,OSD_LOGIN, "
                     + user + ", , , )"),
        !accepted && carried);
    QVERIFY(!child<QLabel>(dialog, "labelAuthenticating")->isVisibleTo(&dialog));
    QCOMPARE(osd.test.sim().state().value("directory").toObject().value("authStatusCalls").toInt(), polls);
    QCOMPARE(osd.test.platform().nowMs() - start, qint64(polls) * 1000); // one second before each poll
    QVERIFY(logLine.isEmpty() || osd.test.hasLog(3, logLine));
    QCOMPARE(osd.test.debugLines().contains("Unknown error code."),
        boxes.join(QString()).contains("Authentication error."));
}

void TestLoginDialog::localLogon_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("safeMode");
    QTest::addColumn<int>("outcome");
    using L = UserRules::LocalLogon;
    const auto row = [](const char* name, const char* user, const char* password, bool safeMode, L outcome) {
        QTest::newRow(name) << QString(user) << QString(password) << safeMode << int(outcome);
    };
    row("password matches", "power", "pw", false, L::Accepted);
    row("password differs in case", "boss", "PW", false, L::Refused);
    row("user of a second Users section", "plain", "pw", false, L::Accepted);
    row("unknown name", "ghost", "pw", false, L::AskDirectory);
    row("directory user's local password", "aduser", "pw", false, L::AskDirectory);
    row("safe mode: directory administrator by the local password", "aduser", "pw", true, L::Accepted);
    row("safe mode: user", "plain", "pw", true, L::SafeModeNotAdministrator);
    row("safe mode: the password is checked first", "plain", "bad", true, L::SafeModeWrongPassword);
    row("safe mode: unknown name", "ghost", "pw", true, L::AskDirectory);
}

void TestLoginDialog::localLogon()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, safeMode);
    QDomDocument document = databaseWithUsers();
    document.documentElement().appendChild(document.createElement(db::Users)).appendChild(
        userNamed(document, "plain"));
    QTEST(int(UserRules::localLogon(document, user, password, safeMode)), "outcome");
}

void TestLoginDialog::keyboardLanguage_data()
{
    QTest::addColumn<QByteArray>("keymap"); // empty: a folder where the file should be
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("written"); // empty: nothing happens
    QTest::newRow("German replaces US") << QByteArray("us") << "German" << QByteArray("de");
    QTest::newRow("Norwegian replaces Swedish") << QByteArray("sv\n") << "Norwegian" << QByteArray("no");
    QTest::newRow("Swedish again") << QByteArray("sv") << "Swedish" << QByteArray();
    QTest::newRow("keymap cannot be written") << QByteArray() << "French" << QByteArray();
}

void TestLoginDialog::keyboardLanguage()
{
    QFETCH(QByteArray, keymap);
    QFETCH(QString, action);
    QFETCH(QByteArray, written);

    Unit unit(false);
    const QString keymapFile = unit.test.path("/mnt/perm/keymap");
    QVERIFY(QFile::remove(keymapFile));
    QVERIFY(keymap.isEmpty() ? QDir().mkpath(keymapFile) : unit.test.writeFile("/mnt/perm/keymap", keymap));
    LoginDialog dialog(unit.window->context(), *unit.window);
    dialog.show();
    unit.test.clearRecords();

    QAction* language = nullptr;
    for (QAction* menuAction : dialog.findChildren<QAction*>())
        if (menuAction->text() == action)
            language = menuAction;
    QVERIFY(language);
    language->trigger();

    const QList<QStringList> changed { { "/opt/kestrix/loadkeymap.sh" },
        { "/bin/touch", "/tmp/noErrorCode.txt" } };
    QCOMPARE(unit.test.commands(), written.isEmpty() ? QList<QStringList>() : changed);
    QCOMPARE(dialog.isVisible(), written.isEmpty());
    QCOMPARE(unit.test.readFile("/mnt/perm/keymap"), written.isEmpty() ? keymap : written);
    QCOMPARE(unit.test.hasLog(3, "LoginDialog: Can not open file: keymap to specify language.\n"),
        keymap.isEmpty());
}

void TestLoginDialog::keys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key"); // 0: a mouse click instead
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("outcome"); // "logs on", "stays", or "closed" for inactivity under its box
    QTest::addColumn<QString>("box"); // "title|text" of the box it shows; empty: none
    const auto row = [](const char* name, const char* focus, int key, const char* outcome,
                         const QString& box = {}, const char* password = "pw") {
        QTest::newRow(name) << focus << key << password << outcome << box;
    };
    const QString help = QStringLiteral("Help|Please visit https://www.velmo.example/support");
    row("Return in the user name", "userNamelineEdit", Qt::Key_Return, "logs on");
    row("Return in the password", "passwordlineEdit", Qt::Key_Return, "logs on");
    row("Return on Log On", "logonButton", Qt::Key_Return, "logs on");
    row("keypad Enter on Log On", "logonButton", Qt::Key_Enter, "stays");
    row("keypad Enter in the password", "passwordlineEdit", Qt::Key_Enter, "stays");
    row("Escape", "passwordlineEdit", Qt::Key_Escape, "stays");
    row("Return on Help", "helpButton", Qt::Key_Return, "stays", help);
    row("Help clicked", "helpButton", 0, "stays", help);
    row("inactivity under the warning of a wrong password", "logonButton", 0, "closed", incorrect, "wrong");
}

void TestLoginDialog::keys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, password);
    QFETCH(QString, outcome);
    QFETCH(QString, box);

    Unit unit(false);
    LoginDialog dialog(unit.window->context(), *unit.window);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    enterCredentials(dialog, "boss", password);
    auto* target = child<QWidget>(dialog, focus.toLatin1().constData());
    target->setFocus();
    QTRY_COMPARE(dialog.focusWidget(), target);

    const int before = answeredBoxes().size();
    const QString title = box.section(QLatin1Char('|'), 0, 0);
    QStringList shown; // the box closed under
    if (outcome == QLatin1String("closed"))
        actOnNextDialog(title, [&](QDialog& opened) {
            shown << title + QLatin1Char('|') + static_cast<QMessageBox&>(opened).text();
            emit unit.window->closeActiveDialogs();
        });
    else if (!box.isEmpty())
        answerNextBox(title, QMessageBox::Ok);
    if (key)
        QTest::keyClick(target, Qt::Key(key));
    else
        QTest::mouseClick(target, Qt::LeftButton);

    QCOMPARE(shown + boxesSince(before, "|"), box.isEmpty() ? QStringList() : QStringList { box });
    QCOMPARE(unit.test.hasLog(5, "LoginDialog: Action Login.\n"), outcome != QLatin1String("stays"));
    QCOMPARE(dialog.result() == QDialog::Accepted, outcome == QLatin1String("logs on"));
    QCOMPARE(dialog.isVisible(), outcome == QLatin1String("stays"));
}

VELMO_TEST_MAIN(TestLoginDialog)
#include "test_logindialog.moc"
