#include "app/kxeventfilter.h"
#include "app/kxtextbox.h"
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "logon.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"
#include "users/logindialog.h"

#include <QClipboard>
#include <QJsonArray>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include <functional>

namespace {

// One step of an edit: text typed, keys pressed, or something done to the box.
struct Step {
    Step() = default;
    template <typename T> Step(T step)
    {
        if constexpr (std::is_invocable_v<T, KXTextBox&>)
            act = step;
        else if constexpr (std::is_convertible_v<T, const char*>)
            act = [step](KXTextBox& b) { QTest::keyClicks(&b, QLatin1String(step)); };
        else
            act = [keys = QKeySequence(step)](KXTextBox& b) { QTest::keySequence(&b, keys); };
    }
    std::function<void(KXTextBox&)> act;
};
using Edit = QList<Step>;

// A unit whose database logs "admin" on by itself, with the time-out `minutes`.
struct Unit : OsdWindow {
    explicit Unit(const QString& minutes) : OsdWindow(withInactivityTimeout(databaseWithUsers(), minutes)) {}
    QTimer* poll() { return window->findChild<QTimer*>(QStringLiteral("activityPollTimer")); }
};

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestActivity : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void activityIsSeenOutsideTheLogOnScreenOnly_data();
    void activityIsSeenOutsideTheLogOnScreenOnly();
    void pointerOverTheLogOnDialogIsNoActivity_data();
    void pointerOverTheLogOnDialogIsNoActivity();
    void passwordFollowsEveryEdit_data();
    void passwordFollowsEveryEdit();
    void pollRunsOnlyWithATimeout_data();
    void pollRunsOnlyWithATimeout();
    void logOff_data();
    void logOff();
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
    QTest::newRow("key release") << "connectButton" << int(QEvent::KeyRelease) << false;
    QTest::newRow("typing the log-on password") << "passwordlineEdit" << int(QEvent::KeyPress) << false;
    QTest::newRow("over any label") << "labelWelcome" << int(QEvent::MouseMove) << false;
    QTest::newRow("names compare by case") << "LabelWelcome" << int(QEvent::MouseMove) << true;
}

void TestActivity::activityIsSeenOutsideTheLogOnScreenOnly()
{
    QFETCH(QString, objectName);
    QFETCH(int, type);
    bool seen = false;
    KXEventFilter filter(&seen);
    QObject receiver;
    receiver.setObjectName(objectName);
    QEvent event(static_cast<QEvent::Type>(type));
    QVERIFY(!filter.eventFilter(&receiver, &event)); // never consumed
    QTEST(seen, "activity");
}

void TestActivity::pointerOverTheLogOnDialogIsNoActivity_data()
{
    QTest::addColumn<QString>("over"); // a dialog widget, "@button" for its menu, or a main window one
    QTest::addColumn<bool>("activity");
    QTest::newRow("the panel frame") << "loginPanel" << false;
    QTest::newRow("the user name") << "userNamelineEdit" << false;
    QTest::newRow("the power menu") << "@poweroffButton" << false;
    QTest::newRow("the keyboard menu") << "@settingsButton" << false;
    QTest::newRow("the main window") << "connectButton" << true;
}

void TestActivity::pointerOverTheLogOnDialogIsNoActivity()
{
    QFETCH(QString, over);
    Unit unit(QStringLiteral("5"));
    LoginDialog dialog(unit.window->context(), *unit.window);
    QWidget* target = unit.window->findChild<QWidget*>(over);
    QWidget* shown
        = target && !dialog.isAncestorOf(target) ? static_cast<QWidget*>(unit.window.get()) : &dialog;
    unit.window->hide();
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    if (over.startsWith(QLatin1Char('@'))) {
        auto* button = dialog.findChild<QPushButton*>(over.mid(1));
        QMenu* menu = button->menu();
        // The keyboard choices sit one level down, in a menu of their own.
        if (!menu->actions().isEmpty() && menu->actions().first()->menu())
            menu = menu->actions().first()->menu();
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        target = menu;
    }
    QVERIFY(target);
    KXEventFilter filter(&guiActivitySeen);
    qApp->installEventFilter(&filter);
    QTest::mouseMove(target, target->rect().center());
    QTest::mouseMove(target, target->rect().center() + QPoint(1, 1));
    qApp->removeEventFilter(&filter);
    QTEST(guiActivitySeen, "activity");
}

void TestActivity::passwordFollowsEveryEdit_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("password");
    const auto select
        = [](int start, int length) { return [=](KXTextBox& b) { b.setSelection(start, length); }; };
    const auto clipboard
        = [](const char* text) { return [=](KXTextBox&) { QGuiApplication::clipboard()->setText(text); }; };
    const auto stored = [](KXTextBox& b) { b.setText(QStringLiteral("Secret-2024")), b.maskText(); };
    const auto formLook
        = [](KXTextBox& b) { b.setStyleSheet("color: black;"), b.setEchoMode(QLineEdit::Normal); };
    using K = QKeySequence;
    QTest::newRow("typing") << Edit { "abc" } << "abc";
    QTest::newRow("erasing at the end") << Edit { "abc", Qt::Key_Backspace } << "ab";
    QTest::newRow("typing in the middle") << Edit { "acd", Qt::Key_Home, Qt::Key_Right, "b" } << "abcd";
    QTest::newRow("erasing in the middle")
        << Edit { "axbc", Qt::Key_Home, Qt::Key_Right, Qt::Key_Delete } << "abc";
    QTest::newRow("selection typed over") << Edit { "secret", select(0, 3), "X" } << "Xret";
    QTest::newRow("paste over a selection")
        << Edit { clipboard("XY"), "abcd", select(1, 2), K::Paste } << "aXYd";
    QTest::newRow("copy and cut give nothing to paste")
        << Edit { clipboard("old"), "abcd", select(0, 2), K::Copy, K::Cut, K::Paste } << "oldcd";
    QTest::newRow("undo after retyping") << Edit { "abc", K::SelectAll, "x", K::Undo } << "";
    QTest::newRow("stored password edited")
        << Edit { stored, Qt::Key_Home, Qt::Key_Delete, "s" } << "secret-2024";
    QTest::newRow("form overrides") << Edit { formLook, "ab" } << "ab";
}

void TestActivity::passwordFollowsEveryEdit()
{
    QFETCH(Edit, edit);
    QFETCH(QString, password);
    KXTextBox box;
    for (const Step& step : edit)
        step.act(box);
    QCOMPARE(box.realText(), password);
    QCOMPARE(box.displayText(), QString(password.size(), QLatin1Char('*')));
}

void TestActivity::pollRunsOnlyWithATimeout_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("laterMinutes"); // stored on the timers page while logged on
    QTest::addColumn<bool>("stopped"); // afterwards, as a log-off does
    QTest::addColumn<bool>("running");
    QTest::newRow("five minutes") << "5" << QString() << false << true;
    QTest::newRow("switched off") << "0" << QString() << false << false;
    QTest::newRow("no setting") << QString() << QString() << false << false;
    QTest::newRow("longer than a timer can count") << "99999999" << QString() << false << true;
    QTest::newRow("switched on while logged on") << "0" << QStringLiteral("5") << false << true;
    QTest::newRow("stopped after a restart") << "5" << QStringLiteral("5") << true << false;
}

void TestActivity::pollRunsOnlyWithATimeout()
{
    QFETCH(QString, minutes);
    QFETCH(QString, laterMinutes);
    QFETCH(bool, stopped);
    Unit unit(minutes);
    QVERIFY(unit.window->isLoggedOn());
    if (!laterMinutes.isNull()) {
        withInactivityTimeout(unit.window->document(), laterMinutes); // the document shares its nodes
        unit.window->guiTimerUpdate(); // as the timers page does once it stored the value
    }
    if (stopped) {
        guiActivitySeen = true;
        unit.window->stopGuiTimers();
        QVERIFY(!guiActivitySeen);
    }
    QTEST(unit.poll()->isActive(), "running");
}

void TestActivity::logOff_data()
{
    QTest::addColumn<bool>("timeout"); // the time runs out while a box waits; else "Log Off" is chosen
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("eventName");
    QTest::newRow("Log Off chosen") << false << 4 << "MANUAL_LOGOUT";
    QTest::newRow("time ran out while a box waited") << true << 5 << "GUI_TIMEOUT_LOGOUT";
}

void TestActivity::logOff()
{
    QFETCH(bool, timeout);
    QFETCH(int, event);
    QFETCH(QString, eventName);
    Unit unit(QStringLiteral("5"));
    MainWindow& window = *unit.window;
    const QStringList scripts { "/tmp/logAfterConnect.xml", "/tmp/startapp.sh", "/tmp/prevConnection.sh" };
    for (const QString& script : scripts)
        unit.unit.writeFile(script, "x");
    const auto loggedInUser = [&unit] { return unit.unit.sim().state().value("loggedInUser").toString(); };
    QCOMPARE(loggedInUser(), QStringLiteral("admin"));
    KXEventFilter filter(&guiActivitySeen);
    qApp->installEventFilter(&filter);
    QTest::keyClick(window.findChild<QWidget*>(QStringLiteral("listWidgetVM")), Qt::Key_Down);
    QVERIFY(guiActivitySeen);
    window.checkGUIActivity();
    QVERIFY(!guiActivitySeen);
    unit.unit.clearRecords();

    QStringList atLogon; // what holds while the log-on dialog waits
    const auto logon = answerNextLogon("plain", "pw", [&](QDialog&) {
        for (QWidget* other : QApplication::topLevelWidgets())
            if (other->isVisible() && other->windowTitle() == QLatin1String("Warning")) {
                atLogon << "box still open";
                other->close(); // lets the test end and report it
            }
        for (const QString& script : scripts)
            if (unit.unit.exists(script))
                atLogon << script;
        atLogon << loggedInUser() << unit.user->userName << (window.isVisible() ? "shown" : "hidden")
                << (guiActivitySeen ? "typing counted" : "typing not counted");
        // A page shown while nobody is logged on loads nothing (sampled once it is built).
        window.formPage(MainWindow::Page::LocalNetwork);
        auto* stack = window.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
        auto* address = window.findChild<QLineEdit*>(QStringLiteral("ipAddrlineEdit"));
        address->clear();
        stack->setCurrentIndex(0);
        stack->setCurrentIndex(1);
        atLogon << address->text();
        window.guiTimerUpdate(); // as a restart queued just before the log-off would
        atLogon << (unit.poll()->isActive() ? "polling" : "not polling");
        // The system report keeps coming while nobody is logged on.
        auto* report = window.findChild<QTimer*>(QStringLiteral("systemStatTimer"));
        atLogon << QString::number(report->isActive() ? report->interval() : 0);
        QMetaObject::invokeMethod(report, "timeout");
    });
    if (timeout) {
        actOnNextDialog(QStringLiteral("Warning"),
            [&](QDialog&) { QMetaObject::invokeMethod(&window, "guiTimerTimeout"); });
        window.showWarning(QStringLiteral("Warning"), QStringLiteral("Nobody answers this"));
    } else {
        for (QAction* action : window.findChild<QMenu*>(QStringLiteral("pMenu"))->actions())
            if (action->text() == QLatin1String("Log Off"))
                action->trigger();
    }
    qApp->removeEventFilter(&filter);

    QVERIFY(logon->shown);
    QCOMPARE(atLogon, (QStringList { "", "", "hidden", "typing not counted", "", "not polling", "60000" }));
    QList<QJsonArray> alerts, reports;
    for (const QJsonObject& call : unit.unit.statistics())
        (call.value("call") == QLatin1String("statistcs_send_json_alert_object") ? alerts : reports)
            << call.value("args").toArray();
    QCOMPARE(alerts.value(0), (QJsonArray { 2, 3, 0, event, 0, "OSD_LOGOUT", "admin", "", "", "" }));
    QVERIFY(reports.contains(QJsonArray()));
    QVERIFY(unit.unit.hasLog(7,
        "MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER," + eventName
            + ",SUCCESS,OSD_LOGOUT, admin, , , )"));
    QVERIFY(unit.unit.debugLines().contains(
        "GUI: statistcs_send_json_alert_object(INFO,OPERATION,USER," + eventName + ",SUCCESS,admin)"));
    QVERIFY(unit.unit.hasLog(7, "void MainWindow::logoff()"));
    QVERIFY(
        unit.unit.commands().contains(QStringList { "/usr/bin/restapi_cli", "-j", "user_logout", "admin" }));
    QCOMPARE(loggedInUser(), QStringLiteral("plain"));
    QCOMPARE(unit.user->userName, QStringLiteral("plain"));
    QVERIFY(window.isVisible());
    QCoreApplication::processEvents();
    QVERIFY(unit.poll()->isActive()); // the next user is timed out too
}

VELMO_TEST_MAIN(TestActivity)
#include "test_activity.moc"
