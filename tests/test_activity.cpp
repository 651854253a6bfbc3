#include "app/kxeventfilter.h"
#include "app/kxtextbox.h"
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"

#include <QClipboard>
#include <QJsonArray>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

#include <functional>

namespace {

using Edit = std::function<void(KXTextBox&)>;

QImage rendered(const QString& password)
{
    KXTextBox box;
    box.resize(200, 30);
    box.setText(password);
    box.maskText();
    return box.grab().toImage();
}

QByteArray md5Line(const QByteArray& content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
}

// The default database (which logs "admin" on by itself) plus the user "plain"
// with password "pw" and, unless null, the GUI inactivity time-out `minutes`.
void installDatabase(TestUnit& unit, const QString& minutes)
{
    QDomDocument document = newDatabaseDocument();
    const QDomElement root = document.documentElement();
    QDomElement plain = document.createElement(db::User);
    plain.setAttribute(db::UserName, QStringLiteral("plain"));
    plain.setAttribute(db::Password, QStringLiteral("pw"));
    plain.setAttribute(db::Privilege, QStringLiteral("User"));
    root.firstChildElement(db::Users).appendChild(plain);
    if (!minutes.isNull()) {
        QDomElement timeout = document.createElement(db::GuiInactivityTimer);
        timeout.setAttribute(db::Value, minutes);
        root.firstChildElement(db::UnitSettings).appendChild(timeout);
    }
    const QByteArray text = databaseText(document);
    for (const char* copy : { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath })
        unit.writeFile(QLatin1String(copy), text);
    unit.writeFile(DatabaseStorage::checksumAPath, md5Line(text));
    unit.writeFile(DatabaseStorage::checksumBPath, md5Line(text));
}

void setMinutes(MainWindow& window, const QString& minutes)
{
    window.document()
        .documentElement()
        .firstChildElement(db::UnitSettings)
        .firstChildElement(db::GuiInactivityTimer)
        .setAttribute(db::Value, minutes);
}

QTimer* pollTimer(MainWindow& window)
{
    return window.findChild<QTimer*>(QStringLiteral("activityPollTimer"));
}

// What the next log-on dialog met while it was up; it logs "plain" on, typing
// the password for real.
struct LogonSeen {
    bool shown = false;
    bool otherBoxOpen = false;
    bool pollRunning = false;
    bool activityFromTyping = false;
};

QSharedPointer<LogonSeen> answerLogon(MainWindow& window)
{
    auto seen = QSharedPointer<LogonSeen>::create();
    auto* poll = new QTimer(qApp);
    poll->start(10);
    QObject::connect(poll, &QTimer::timeout, [poll, seen, &window] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("LoginDialog"))
            return;
        poll->deleteLater();
        poll->stop();
        seen->shown = true;
        for (QMessageBox* box : window.findChildren<QMessageBox*>())
            seen->otherBoxOpen |= box->isVisible();
        window.guiTimerUpdate(); // as a restart queued just before the log-off would
        seen->pollRunning = pollTimer(window)->isActive();
        dialog->findChild<QLineEdit*>(QStringLiteral("userNamelineEdit"))->setText(QStringLiteral("plain"));
        QTest::keyClicks(
            dialog->findChild<QLineEdit*>(QStringLiteral("passwordlineEdit")), QStringLiteral("pw"));
        seen->activityFromTyping = guiActivitySeen;
        dialog->findChild<QPushButton*>(QStringLiteral("logonButton"))->click();
    });
    return seen;
}

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestActivity : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void activityIsSeenOutsideTheLogOnScreenOnly_data();
    void activityIsSeenOutsideTheLogOnScreenOnly();
    void passwordFollowsEveryEdit_data();
    void passwordFollowsEveryEdit();
    void displayNeverShowsTheTypedText();
    void pollRunsOnlyWithATimeout_data();
    void pollRunsOnlyWithATimeout();
    void stoppingTheTimersStopsThePoll_data();
    void stoppingTheTimersStopsThePoll();
    void timeoutClosesDialogsAndLogsOff();
};

void TestActivity::cleanup()
{
    closeLeftoverModals();
    guiActivitySeen = false;
}

void TestActivity::activityIsSeenOutsideTheLogOnScreenOnly_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("activity");
    QTest::newRow("mouse move") << "connectButton" << int(QEvent::MouseMove) << true;
    QTest::newRow("key press") << "connectButton" << int(QEvent::KeyPress) << true;
    QTest::newRow("click") << "connectButton" << int(QEvent::MouseButtonPress) << false;
    QTest::newRow("button release") << "connectButton" << int(QEvent::MouseButtonRelease) << false;
    QTest::newRow("key release") << "connectButton" << int(QEvent::KeyRelease) << false;
    QTest::newRow("wheel") << "connectButton" << int(QEvent::Wheel) << false;
    QTest::newRow("typing the log-on password") << "passwordlineEdit" << int(QEvent::KeyPress) << false;
    QTest::newRow("over the log-on dialog's window")
        << "LoginDialogWindow" << int(QEvent::MouseMove) << false;
    QTest::newRow("over any label") << "labelWelcome" << int(QEvent::MouseMove) << false;
    QTest::newRow("names compare by case") << "LabelWelcome" << int(QEvent::MouseMove) << true;
}

void TestActivity::activityIsSeenOutsideTheLogOnScreenOnly()
{
    QFETCH(QString, objectName);
    QFETCH(int, type);
    QFETCH(bool, activity);
    bool seen = false;
    KXEventFilter filter(&seen);
    QObject receiver;
    receiver.setObjectName(objectName);
    QEvent event(static_cast<QEvent::Type>(type));
    QVERIFY(!filter.eventFilter(&receiver, &event)); // never consumed
    QCOMPARE(seen, activity);
}

void TestActivity::passwordFollowsEveryEdit_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("password");
    const auto keys = [](KXTextBox& box, std::initializer_list<QKeySequence> sequences) {
        for (const QKeySequence& sequence : sequences)
            QTest::keySequence(&box, sequence);
    };
    QTest::newRow("typing") << Edit([](KXTextBox& box) { QTest::keyClicks(&box, "abc"); }) << "abc";
    QTest::newRow("erasing at the end") << Edit([=](KXTextBox& box) {
        QTest::keyClicks(&box, "abc");
        keys(box, { Qt::Key_Backspace });
    }) << "ab";
    QTest::newRow("typing in the middle") << Edit([=](KXTextBox& box) {
        QTest::keyClicks(&box, "acd");
        keys(box, { Qt::Key_Home, Qt::Key_Right });
        QTest::keyClicks(&box, "b");
    }) << "abcd";
    QTest::newRow("erasing in the middle") << Edit([=](KXTextBox& box) {
        QTest::keyClicks(&box, "axbc");
        keys(box, { Qt::Key_Home, Qt::Key_Right, Qt::Key_Delete });
    }) << "abc";
    QTest::newRow("selection typed over") << Edit([](KXTextBox& box) {
        QTest::keyClicks(&box, "secret");
        box.setSelection(0, 3);
        QTest::keyClicks(&box, "X");
    }) << "Xret";
    QTest::newRow("paste over a selection") << Edit([=](KXTextBox& box) {
        QGuiApplication::clipboard()->setText("XY");
        QTest::keyClicks(&box, "abcd");
        box.setSelection(1, 2);
        keys(box, { QKeySequence::Paste });
    }) << "aXYd";
    QTest::newRow("copy and cut give nothing to paste") << Edit([=](KXTextBox& box) {
        QGuiApplication::clipboard()->setText("old");
        QTest::keyClicks(&box, "abcd");
        box.setSelection(0, 2);
        keys(box, { QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste });
    }) << "oldcd";
    QTest::newRow("undo after retyping") << Edit([=](KXTextBox& box) {
        QTest::keyClicks(&box, "abc");
        box.selectAll();
        QTest::keyClicks(&box, "x");
        keys(box, { QKeySequence::Undo });
    }) << "";
    QTest::newRow("stored password edited") << Edit([=](KXTextBox& box) {
        box.setText("Secret-2024");
        box.maskText();
        keys(box, { Qt::Key_Home, Qt::Key_Delete });
        QTest::keyClicks(&box, "s");
    }) << "secret-2024";
    QTest::newRow("form overrides") << Edit([](KXTextBox& box) {
        box.setStyleSheet("color: black;");
        box.setEchoMode(QLineEdit::Normal);
        QTest::keyClicks(&box, "ab");
    }) << "ab";
}

void TestActivity::passwordFollowsEveryEdit()
{
    QFETCH(Edit, edit);
    QFETCH(QString, password);
    KXTextBox box;
    edit(box);
    QCOMPARE(box.realText(), password);
    QCOMPARE(box.displayText(), QString(password.size(), QLatin1Char('*')));
}

void TestActivity::displayNeverShowsTheTypedText()
{
    // Same length, very different glyphs: only a mask draws them alike.
    const QImage wide = rendered(QStringLiteral("WWWWWWWW"));
    QCOMPARE(rendered(QStringLiteral("iiiiiiii")), wide);
    QVERIFY(rendered(QString()) != wide);
}

void TestActivity::pollRunsOnlyWithATimeout_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("laterMinutes"); // stored on the timers page while logged on
    QTest::addColumn<bool>("running");
    QTest::newRow("five minutes") << "5" << QString() << true;
    QTest::newRow("switched off") << "0" << QString() << false;
    QTest::newRow("not a number") << "ten" << QString() << false;
    QTest::newRow("no setting") << QString() << QString() << false;
    QTest::newRow("longer than a timer can count") << "99999999" << QString() << true;
    QTest::newRow("switched on while logged on") << "0"
                                                 << "5" << true;
}

void TestActivity::pollRunsOnlyWithATimeout()
{
    QFETCH(QString, minutes);
    QFETCH(QString, laterMinutes);
    QFETCH(bool, running);
    TestUnit unit;
    installDatabase(unit, minutes);
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user); // logs "admin" on, starts the timers
    QVERIFY(window.isLoggedOn());
    QCoreApplication::processEvents(); // the first inactivity count starts queued
    if (!laterMinutes.isNull()) {
        setMinutes(window, laterMinutes);
        window.guiTimerUpdate();
    }
    QCOMPARE(pollTimer(window)->isActive(), running);
}

void TestActivity::stoppingTheTimersStopsThePoll_data()
{
    QTest::addColumn<QString>("laterMinutes");
    QTest::newRow("time-out unchanged") << "5";
    QTest::newRow("time-out switched off meanwhile") << "0";
}

void TestActivity::stoppingTheTimersStopsThePoll()
{
    QFETCH(QString, laterMinutes);
    TestUnit unit;
    installDatabase(unit, QStringLiteral("5"));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QCoreApplication::processEvents();
    // The timers page stores a value and has the count restarted at once.
    setMinutes(window, laterMinutes);
    window.guiTimerUpdate();
    guiActivitySeen = true;
    window.stopGuiTimers();
    QVERIFY(!pollTimer(window)->isActive());
    QVERIFY(!guiActivitySeen);
}

void TestActivity::timeoutClosesDialogsAndLogsOff()
{
    TestUnit unit;
    installDatabase(unit, QStringLiteral("5"));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    QCoreApplication::processEvents();
    KXEventFilter filter(&guiActivitySeen);
    qApp->installEventFilter(&filter);
    QTest::keyClick(window.findChild<QWidget*>(QStringLiteral("listWidgetVM")), Qt::Key_Down);
    QVERIFY(guiActivitySeen);
    window.checkGUIActivity();
    QVERIFY(!guiActivitySeen);
    unit.clearRecords();

    // The time runs out while a box waits for an answer that never comes.
    bool timedOut = false;
    QTimer expiry;
    connect(&expiry, &QTimer::timeout, [&] {
        if (!qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            return;
        expiry.stop();
        timedOut = true;
        QMetaObject::invokeMethod(&window, "guiTimerTimeout");
    });
    expiry.start(10);
    const auto logon = answerLogon(window);
    window.showWarning(QStringLiteral("Warning"), QStringLiteral("Nobody answers this"));
    qApp->removeEventFilter(&filter);

    QVERIFY(timedOut);
    QVERIFY(logon->shown);
    QVERIFY(!logon->otherBoxOpen);
    QVERIFY(!logon->pollRunning);
    QVERIFY(!logon->activityFromTyping);
    QVERIFY(unit.hasLog(7,
        QStringLiteral("MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER,"
                       "GUI_TIMEOUT_LOGOUT,SUCCESS,OSD_LOGOUT, admin, , , )")));
    QVERIFY(unit.debugLines().contains(QStringLiteral(
        "GUI: statistcs_send_json_alert_object(INFO,OPERATION,USER,GUI_TIMEOUT_LOGOUT,SUCCESS,admin)")));
    const QJsonArray alert = unit.statistics().first().value("args").toArray();
    QCOMPARE(alert, (QJsonArray { 2, 3, 0, 5, 0, "OSD_LOGOUT", "admin", "", "", "" }));
    QCOMPARE(user.userName, QStringLiteral("plain"));
    QCoreApplication::processEvents();
    QVERIFY(pollTimer(window)->isActive()); // the next user is timed out too
}

VELMO_TEST_MAIN(TestActivity)
#include "test_activity.moc"
