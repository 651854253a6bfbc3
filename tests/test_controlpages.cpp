// The Control tab's pages: hot-key (kept across a restart and handed to the
// connection control process), timers, power mode, automatic log-on,
// touch-screen redirection, and the screen resolutions: what the monitor offers,
// the session resolution kept with its bounded fallback, and the OSD's own mode.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "logon.h"
#include "modal.h"
#include "press.h"
#include "rules/displayrules.h"
#include "settings/resolutionpage.h"
#include "storagefault.h"
#include "testmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QtTest>

#include <optional>

namespace {

const char relaunchScript[] = "/tmp/prevConnection.sh";
const char settingsFile[] = "/usr/local/gui_files/gui_settings.cfg";
const QStringList signalControl { "/usr/bin/killall", "-s", "SIGUSR2", "connection_control" };

QStringList items(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

class TestControlPages : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void hotKeyRoundTrip_data();
    void hotKeyRoundTrip();
    void apply_data();
    void apply();
    void touchRedirection_data();
    void touchRedirection();
    void notBeforeLogOn();
    void monitor_data();
    void monitor();
    void osdApply_data();
    void osdApply();
    void osdMode_data();
    void osdMode();
};

void TestControlPages::hotKeyRoundTrip_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("functional");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("help");
    const QString both = QStringLiteral("To bring up On-Screen-Display press Hot-Key followed by \"o\".\nTo "
                                        "go to previous connection press Hot-Key followed by \"p\".");
    // clang-format off
    QTest::newRow("Alt-Alt") << "Alt-Alt" << true << "2" << "Enable" << both;
    QTest::newRow("PrintScrn") << "PrintScrn" << true << "" << "Enable" << both;
    QTest::newRow("Ctrl-Ctrl, plain") << "Ctrl-Ctrl" << false << "1" << "Disable"
                                      << "To bring up On-Screen-Display press Hot-Key.";
    QTest::newRow("mouse") << "Mouse Left+Right" << true << "4" << "Disable"
                           << "To bring up On-Screen-Display hold down Left and Right \nmouse buttons for 1 sec.";
    // clang-format on
}

void TestControlPages::hotKeyRoundTrip()
{
    QFETCH(QString, choice);
    QFETCH(bool, functional);
    QFETCH(QString, code);
    OsdWindow osd(databaseWithUsers());
    osd.unit.writeFile(relaunchScript, "/usr/bin/connection_control --type via_tx --hotkey 3 &");
    child<QToolButton>(*osd.window, "hot_keyButton")->click();
    QCOMPARE(child<QStackedWidget>(*osd.window, "stackedWidget")->currentIndex(), 3);
    child<QComboBox>(*osd.window, "comboBoxHotKey")->setCurrentText(choice);
    QCheckBox* functionalBox = child<QCheckBox>(*osd.window, "checkBoxFunctionalHotKey");
    if (functionalBox->isEnabled())
        functionalBox->setChecked(functional);
    QTEST(child<QLabel>(*osd.window, "labelHotKey")->text(), "help");
    osd.unit.clearRecords();
    child<QPushButton>(*osd.window, "buttonApplyHotKey")->click();

    QCOMPARE(unitSettingsGroup(osd.stored(), db::HotKey).attribute(db::Hotkey), code);
    QTEST(unitSettingsGroup(osd.stored(), db::FunctionalHotKey).attribute(db::Key), "key");
    const QByteArray argument = "--hotkey " + QByteArray::number(code.toInt()) + " &";
    QVERIFY(osd.unit.readFile(relaunchScript).endsWith(argument));
    QCOMPARE(osd.unit.commands().last(), signalControl);

    osd.restart();
    QVERIFY(osd.unit.readFile(relaunchScript).endsWith(argument));
    QCOMPARE(osd.window->hotKeyNumber(), code.toInt());
    child<QToolButton>(*osd.window, "hot_keyButton")->click();
    QCOMPARE(child<QComboBox>(*osd.window, "comboBoxHotKey")->currentText(), choice);
    functionalBox = child<QCheckBox>(*osd.window, "checkBoxFunctionalHotKey");
    QCOMPARE(functionalBox->isChecked(), functional && choice != "Mouse Left+Right");
    QCOMPARE(functionalBox->isEnabled(), choice != "Mouse Left+Right");
}

void TestControlPages::apply_data()
{
    // A page's button, then "widget=value" to set, "?widget=value" to check, a button to click;
    // the last step is the apply.
    QTest::addColumn<QStringList>("steps");
    // "managed", what cannot be written ("database", "settings file"), or "board:MODE;cfg:line" before
    QTest::addColumn<QString>("unit");
    // "Group/attribute=value" stored, "cfg:line" in the settings file, "board:MODE"
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("error"); // the Error box of a write that failed; nothing changes then
    const auto timers = [](int osd, int connection) {
        QStringList steps { "buttonTimerSettings" }, readBack;
        for (const auto& timer :
            { std::make_pair("GUIInactiveTimer", osd), std::make_pair("PreEmptInactiveTimer", connection) }) {
            steps << QString("checkBox%1=%2").arg(timer.first).arg(timer.second > 0)
                  << QString("spinBox%1=%2").arg(timer.first).arg(timer.second > 0 ? timer.second : 33);
            readBack << QString("?checkBox%1=%2").arg(timer.first).arg(timer.second > 0)
                     << QString("?spinBox%1=%2").arg(timer.first).arg(timer.second > 0 ? timer.second : 15);
        }
        return steps << "buttonApplyTimers" << "buttonTimerSettings" << readBack;
    };
    const QStringList hotKey { "hot_keyButton", "comboBoxHotKey=Alt-Alt", "buttonApplyHotKey" };
    const QStringList power { "toolButtonPowerMode", "comboBoxPowerMode=Auto", "applyButtonPowerMode" };
    const QStringList autoLogOn { "toolButtonPreferences", "?checkBoxAutoLog=1", "?comboBoxALogUsr=admin",
        "checkBoxAutoLog=0", "pushButtonSaveOnPUp" };
    const QString powerError = QStringLiteral("The Power Mode could not be saved.");
    const QString autoLogOnError = QStringLiteral("The automatic log-on user could not be saved.");
    // clang-format off
    QTest::newRow("timers off") << timers(0, 0) << "" << QStringList { "GUI_Inactivity_Timer/Value=0", "Connection_inactivity_Timer/Value=0" } << "";
    QTest::newRow("timers on") << timers(5, 60) << "" << QStringList { "GUI_Inactivity_Timer/Value=5", "Connection_inactivity_Timer/Value=60" } << "";
    QTest::newRow("connection timer only") << timers(0, 2) << "" << QStringList { "GUI_Inactivity_Timer/Value=0", "Connection_inactivity_Timer/Value=2" } << "";
    QTest::newRow("power mode Auto, then Manual") << power + QStringList { "comboBoxPowerMode=Manual", "applyButtonPowerMode" } << ""
        << QStringList { "Power_Mode/PowerMode=Manual", "cfg:power_mode=Manual", "board:DESKTOP" } << "";
    QTest::newRow("power mode Auto") << power << "" << QStringList { "Power_Mode/PowerMode=Auto", "cfg:power_mode=Auto", "board:SIGNAGE" } << "";
    QTest::newRow("power mode, managed: the database keeps its mode") << power << "managed"
        << QStringList { "Power_Mode/PowerMode=Manual", "cfg:power_mode=Auto", "board:SIGNAGE" } << "";
    // Shown as the settings file says (else as the board is); showing changes nothing.
    QTest::newRow("power page, file Auto, board desktop") << QStringList { "toolButtonPowerMode", "?comboBoxPowerMode=Auto" }
        << "board:DESKTOP;cfg:power_mode=Auto" << QStringList { "board:DESKTOP" } << "";
    QTest::newRow("power page, file Manual, board signage") << QStringList { "toolButtonPowerMode", "?comboBoxPowerMode=Manual" }
        << "board:SIGNAGE;cfg:power_mode=Manual" << QStringList { "board:SIGNAGE" } << "";
    QTest::newRow("power page, no line, board signage") << QStringList { "toolButtonPowerMode", "?comboBoxPowerMode=Auto" }
        << "board:SIGNAGE;cfg:" << QStringList { "board:SIGNAGE" } << "";
    QTest::newRow("power page, no mode, board desktop") << QStringList { "toolButtonPowerMode", "?comboBoxPowerMode=Manual" }
        << "board:DESKTOP;cfg:power_mode=" << QStringList { "board:DESKTOP" } << "";
    QTest::newRow("RDP resolution") << QStringList { "screenResButton", "comboBox=1024x768 60Hz", "applyScResButton" } << "" << QStringList { "Screen_Resolution/Default=1024x768" } << "";
    QTest::newRow("RDP resolution Auto: the monitor's mode") << QStringList { "screenResButton", "comboBox=Auto", "applyScResButton" } << "" << QStringList { "Screen_Resolution/Default=1680x1050" } << "";
    QTest::newRow("automatic log-on as boss") << QStringList { "toolButtonPreferences", "comboBoxALogUsr=boss", "pushButtonSaveOnPUp" } << ""
        << QStringList { "AutoLogin/AutoLogUser=boss", "cfg:autoLoginUsr=boss" } << "";
    QTest::newRow("automatic log-on off") << autoLogOn << "" << QStringList { "AutoLogin/AutoLogUser=", "cfg:autoLoginUsr=" } << "";
    QTest::newRow("hot-key not stored") << hotKey << "database" << QStringList() << "The Hot-Key could not be saved.";
    QTest::newRow("hot-key, relaunch script not written") << hotKey << "relaunch script" << QStringList() << "The Hot-Key could not be saved.";
    QTest::newRow("timers not stored") << QStringList(timers(7, 0).mid(0, 6)) << "database" << QStringList() << "The Timers could not be saved.";
    QTest::newRow("timers stored in part, not taken back") << QStringList(timers(0, 9).mid(0, 6))
        << "database, second change" << QStringList() << "The change could not be saved in full, and the previous settings could not be restored.";
    QTest::newRow("RDP resolution not stored") << QStringList { "screenResButton", "comboBox=1024x768 60Hz", "applyScResButton" }
        << "database" << QStringList() << "The RDP/VMWare Connection Resolution could not be saved.";
    QTest::newRow("power mode not stored") << power << "database" << QStringList() << powerError;
    QTest::newRow("power mode, settings file not written") << power << "settings file" << QStringList() << powerError;
    QTest::newRow("automatic log-on not stored") << autoLogOn << "database" << QStringList() << autoLogOnError;
    QTest::newRow("automatic log-on, settings file not written") << QStringList { "toolButtonPreferences", "pushButtonSaveOnPUp" } << "settings file" << QStringList() << autoLogOnError;
    // clang-format on
}

void TestControlPages::apply()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, unit);
    QFETCH(QString, error);
    OsdWindow osd(databaseWithUsers(), 1, unit == "managed");
    const QByteArray script
        = QByteArray("/usr/bin/connection_control --hotkey 0 &") // too large to read back:
              .leftJustified(unit == "relaunch script" ? 70000 : 0, ' ');
    osd.unit.writeFile(relaunchScript, script);
    const QByteArray stored = databaseText(osd.stored());
    const QByteArray settings = osd.unit.readFile(settingsFile);
    if (unit == "settings file") // a folder in its place: every write of the file fails
        QVERIFY(QFile::remove(osd.unit.path(settingsFile)) && QDir().mkpath(osd.unit.path(settingsFile)));
    for (const QString& fact : unit.split(';')) {
        if (fact.startsWith("board:"))
            osd.unit.sim().editState([&](QJsonObject& state) { state.insert("powerButtonMode", fact.mid(6)); });
        else if (fact.startsWith("cfg:"))
            osd.unit.writeFile(settingsFile, "autoLoginUsr=admin\n" + fact.mid(4).toUtf8() + '\n');
    }
    QStringList checks, seen;
    const ModalAnswerPtr box = error.isEmpty() ? ModalAnswerPtr() : answerNextBox("Error", QMessageBox::Ok);
    std::optional<FailNextDatabaseChange> unwritable;
    for (int i = 0; i < steps.size(); ++i) {
        const QString name = steps[i].section('=', 0, 0).remove('?');
        const int value = steps[i].section('=', 1).toInt();
        QWidget* widget = child<QWidget>(*osd.window, name);
        auto* combo = qobject_cast<QComboBox*>(widget);
        auto* spin = qobject_cast<QSpinBox*>(widget);
        auto* check = qobject_cast<QCheckBox*>(widget);
        if (steps[i].startsWith('?')) {
            checks << steps[i].mid(1);
            const int number = spin ? spin->value() : check ? check->isChecked() : 0;
            seen << name + '=' + (combo ? combo->currentText() : QString::number(number));
        } else if (combo) {
            combo->setCurrentText(steps[i].section('=', 1));
        } else if (spin || check) {
            spin ? spin->setValue(value) : check->setChecked(value);
        } else {
            const bool second = unit.endsWith("second change"); // its checksum: copy A keeps the first
            const char* fault = second ? DatabaseStorage::checksumAPath : DatabaseStorage::copyAPath;
            if (i == steps.size() - 1 && unit.startsWith("database"))
                unwritable.emplace(osd.unit.path(fault), true, second ? 1 : 0);
            qobject_cast<QAbstractButton*>(widget)->click();
        }
    }
    QCOMPARE(seen, checks);
    QFETCH(QStringList, after);
    for (const QString& expected : after) {
        const QString value = expected.section(QRegularExpression("[=:]"), 1);
        if (expected.startsWith("cfg:"))
            QVERIFY2(osd.unit.readFile(settingsFile).contains(value.toUtf8() + '\n'), qPrintable(expected));
        else if (expected.startsWith("board:"))
            QCOMPARE(osd.unit.sim().state().value("powerButtonMode").toString(), value);
        else
            QCOMPARE(unitSettingsGroup(osd.stored(), qPrintable(expected.section('/', 0, 0)))
                         .attribute(expected.section('/', 1).section('=', 0, 0)),
                value);
    }
    QVERIFY(!error.isEmpty() || osd.window->storage().verifyChecksumFile(osd.window->storage().databasePath));
    if (error.isEmpty())
        return;
    QVERIFY(waitForAnswer(box));
    QCOMPARE(box->text, error);
    // Nothing acts on a change that is not kept, and memory, database and file still agree.
    unwritable.reset();
    if (unit.endsWith("second change")) { // as the next start finds it
        const QByteArray kept = databaseText(osd.window->document());
        QVERIFY(QDir(osd.unit.path(DatabaseStorage::checksumAPath)).removeRecursively()
            && osd.unit.writeFile(DatabaseStorage::checksumAPath, "an older checksum\n"));
        osd.restart();
        QCOMPARE(databaseText(osd.window->document()), kept);
        return;
    }
    QCOMPARE(databaseText(osd.window->document()), stored);
    QCOMPARE(unit == "database" ? osd.unit.readFile(settingsFile) : databaseText(osd.stored()),
        unit == "database" ? settings : stored);
    QCOMPARE(osd.unit.readFile(relaunchScript), script);
    QCOMPARE(osd.unit.sim().state().value("powerButtonMode").toString(), QStringLiteral("DESKTOP"));
    for (const QStringList& command : osd.unit.commands())
        QVERIFY(command != signalControl);
}

void TestControlPages::touchRedirection_data()
{
    QTest::addColumn<int>("value"); // on the unit
    QTest::addColumn<int>("result"); // of reading it
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("toggles");
    QTest::addColumn<bool>("setFails");
    QTest::addColumn<int>("resets");
    QTest::addColumn<int>("stored"); // -1: not looked at
    const QString function = QStringLiteral("MainWindow: Function dal_get_tsredirection");
    // clang-format off
    QTest::newRow("on") << 1 << 1 << true << "" << 0 << false << 0 << 1;
    QTest::newRow("off") << 0 << 1 << false << "" << 0 << false << 0 << 0;
    QTest::newRow("odd value") << 2 << 1 << false << function + "(2) Returned invalid value " << 0 << false << 0 << -1;
    QTest::newRow("service fails") << 1 << 0 << false << function + "(1) Failed " << 0 << false << 0 << -1;
    QTest::newRow("odd result") << 1 << 5 << false << function + " Returned invalid value for retCall:5" << 0 << false << 0 << -1;
    QTest::newRow("toggled once") << 0 << 1 << false << "" << 1 << false << 1 << 1;
    QTest::newRow("toggled twice") << 0 << 1 << false << "" << 2 << false << 0 << 0;
    QTest::newRow("service refuses") << 0 << 1 << false << "" << 1 << true << 0 << 0;
    // clang-format on
}

void TestControlPages::touchRedirection()
{
    QFETCH(int, value);
    QFETCH(int, result);
    QFETCH(QString, log);
    QFETCH(int, toggles);
    QFETCH(bool, setFails);
    OsdWindow osd(databaseWithUsers());
    osd.unit.sim().editSection("settings", [&](QJsonObject& settings) {
        settings.insert("tsRedirection", value);
        settings.insert("tsRedirectionGetResult", result);
    });
    if (setFails)
        osd.unit.sim().setFailure("dal_set_tsredirection", 1);
    child<QToolButton>(*osd.window, "toolButtonGeneralSettings")->click();
    QCOMPARE(child<QStackedWidget>(*osd.window, "stackedWidget")->currentIndex(), 7);
    QCheckBox* box = child<QCheckBox>(*osd.window, "checkBoxRedirTouchscreen");
    QTEST(box->isChecked(), "checked");
    QVERIFY(log.isEmpty() || osd.unit.hasLog(3, log));

    for (int i = 0; i < toggles; ++i)
        box->toggle();
    child<QPushButton>(*osd.window, "pushButtonApplyGeneralSettings")->click();
    QTEST(osd.unit.sim().state().value("hubResets").toInt(), "resets");
    QFETCH(int, stored);
    if (stored >= 0)
        QCOMPARE(osd.unit.sim().state().value("settings").toObject().value("tsRedirection").toInt(), stored);
    // Applied once, the change is spent: a second apply resets nothing more.
    child<QPushButton>(*osd.window, "pushButtonApplyGeneralSettings")->click();
    QTEST(osd.unit.sim().state().value("hubResets").toInt(), "resets");
}

void TestControlPages::notBeforeLogOn()
{
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    unit.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), QByteArray()); // no automatic log-on
    LoggedInUser user;
    QList<QStringList> beforeLogOn;
    std::unique_ptr<MainWindow> window;
    {
        const auto logOn = answerNextLogon("boss", "pw", [&](QDialog&) { beforeLogOn = unit.commands(); });
        window = std::make_unique<MainWindow>(unit.platform(), nullptr, &user);
        QVERIFY(logOn->shown);
    }
    QCOMPARE(window->findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 0);
    for (const QStringList& command : beforeLogOn)
        QVERIFY2(
            command.first() != QLatin1String(ResolutionPage::databaseScript), qPrintable(command.join(' ')));
}

void TestControlPages::monitor_data()
{
    QTest::addColumn<bool>("edidValid");
    QTest::addColumn<QString>("preferred");
    QTest::addColumn<QStringList>("modes");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<bool>("withGroup"); // the database has its resolution group
    QTest::addColumn<QStringList>("offered"); // empty: not looked at
    QTest::addColumn<bool>("warned"); // the stored resolution is not offered
    QTest::addColumn<QString>("stored");
    QStringList standard = standardResolutions();
    standard.removeAll("1920x1200 60Hz");
    standard << "Auto";
    const QStringList full { "1920x1080 60Hz" };
    // clang-format off
    QTest::newRow("no EDID") << false << "1920x1080 60Hz" << full << false << true << standard << false << "1280x1024";
    QTest::newRow("no standard mode") << true << "1366x768 60Hz" << QStringList { "1366x768 60Hz" } << false << true
                                      << standard << false << "1280x1024";
    QTest::newRow("preferred first, once, empty dropped") << true << "1280x1024 60Hz"
        << QStringList { "1920x1080 60Hz", "", "1280x1024 60Hz", "3840x2160 60Hz", "1920x1080 60Hz" } << false << true
        << QStringList { "1280x1024 60Hz", "1920x1080 60Hz", "Auto" } << false << "1280x1024";
    QTest::newRow("stored not offered") << true << "1920x1080 60Hz" << QStringList { "1920x1080 60Hz", "1680x1050 60Hz" }
                                        << false << true << QStringList() << true << "1920x1080";
    QTest::newRow("nothing left but Auto") << true << "1920x1200 60Hz" << QStringList { "1920x1200 60Hz", "3840x2160 60Hz" }
                                           << false << true << QStringList() << true << "1280x1024";
    QTest::newRow("managed unit") << true << "1920x1080 60Hz" << full << true << true << QStringList() << true << "1280x1024";
    QTest::newRow("no resolution group") << true << "1920x1080 60Hz" << full << false << false << QStringList() << true << "";
    // clang-format on
}

void TestControlPages::monitor()
{
    QFETCH(bool, edidValid);
    QFETCH(QString, preferred);
    QFETCH(QStringList, modes);
    QFETCH(bool, managed);
    QFETCH(bool, withGroup);
    QFETCH(QStringList, offered);
    QFETCH(bool, warned);
    QDomDocument document = databaseWithUsers();
    ModalAnswerPtr atStart;
    if (!withGroup) {
        unitSettingsSection(document).removeChild(unitSettingsGroup(document, db::ScreenResolution));
        atStart = answerNextBox(QStringLiteral("Warning"), QMessageBox::Ok);
    }
    OsdWindow osd(document, 1, managed);
    if (atStart)
        QVERIFY(waitForAnswer(atStart));
    osd.unit.sim().editSection(QStringLiteral("display"), [&](QJsonObject& display) {
        display.insert("edidValid", edidValid);
        display.insert("preferred", preferred);
        display.insert("modes", QJsonArray::fromStringList(modes));
    });

    const ModalAnswerPtr first = warned ? answerNextBox("Warning", QMessageBox::Ok) : ModalAnswerPtr();
    const ModalAnswerPtr second = answerNextBox("Warning", QMessageBox::Ok);
    osd.showPage(0);
    if (warned)
        QCOMPARE(first->text, QStringLiteral("Selected RDP Resolution not supported."));
    else
        QCOMPARE(child<QComboBox>(*osd.window, "comboBox")->currentText(), QStringLiteral("1280x1024 60Hz"));
    // The page is refilled once at most: no second warning.
    QVERIFY(!waitForAnswer(second, 200));
    QCOMPARE(closeLeftoverModals(), 1);
    if (!offered.isEmpty())
        QCOMPARE(items(child<QComboBox>(*osd.window, "comboBox")), offered);
    QTEST(unitSettingsGroup(osd.stored(), db::ScreenResolution).attribute(db::Default), "stored");
    if (items(child<QComboBox>(*osd.window, "comboBox")) != QStringList { "Auto" })
        return;
    // Nothing but "Auto" on offer: Apply stores nothing, and says so.
    QCOMPARE(pressAndSettle(*osd.window, "applyScResButton", "Information"),
        QStringLiteral("The monitor offers no RDP Resolution to apply."));
    QTEST(unitSettingsGroup(osd.stored(), db::ScreenResolution).attribute(db::Default), "stored");
}

void TestControlPages::osdApply_data()
{
    QTest::addColumn<int>("storeFailure");
    QTest::newRow("stored") << 0;
    QTest::newRow("store fails") << 1;
    QTest::newRow("store cannot start") << -1;
}

void TestControlPages::osdApply()
{
    QFETCH(int, storeFailure);
    OsdWindow osd(databaseWithUsers());
    const QByteArray wasConnected = "a-much-longer-user-name\nand-a-much-longer-connection\n";
    osd.unit.writeFile("/tmp/WAS_CONNECTED", wasConnected);
    osd.unit.sim().setFailure(QStringLiteral("rx_database.sh"), storeFailure);
    QListWidget* list = child<QListWidget>(*osd.window, "listWidgetVM");
    QVERIFY(list->count() > 0);
    list->setCurrentRow(0);
    osd.showPage(0);
    child<QComboBox>(*osd.window, "comboBoxGUIRes")->setCurrentText("1280x720");
    osd.unit.clearRecords();

    const QString error = pressAndSettle(*osd.window, "applyGUIReslButton_2", storeFailure ? "Error" : "");
    QCOMPARE(osd.unit.commands().value(0),
        (QStringList { ResolutionPage::databaseScript, "UPDATE", "OSDResolution", "System", "1280x720" }));
    QCOMPARE(error, storeFailure ? QStringLiteral("The OSD Resolution could not be changed.") : QString());
    QCOMPARE(osd.window->isVisible(), storeFailure != 0);
    QCOMPARE(osd.unit.readFile("/tmp/WAS_CONNECTED"),
        storeFailure ? wasConnected : ("admin\n" + list->item(0)->text() + "\n").toUtf8());
    if (!storeFailure)
        QCOMPARE(osd.unit.readFile("/usr/local/directfbrc"), QByteArray("mode=1280x720\ndepth=32\n"));
}

void TestControlPages::osdMode_data()
{
    QTest::addColumn<QByteArray>("modeFile"); // "-": missing
    QTest::addColumn<QString>("inStore"); // "-": the store cannot answer
    QTest::addColumn<QString>("shown");
    // clang-format off
    QTest::newRow("file names 1280x720") << QByteArray("depth=32\nmode=1280x720\n") << "1280x1024" << "1280x720";
    QTest::newRow("file names 1920x1080") << QByteArray("mode=1920x1080\n") << "800x600" << "1920x1080";
    QTest::newRow("last mode line wins") << QByteArray("mode=800x600\nmode=1280x1024\n") << "1920x1080" << "1280x1024";
    QTest::newRow("Auto kept over the mode it chose") << QByteArray("mode=1920x1080\n") << "Auto" << "Auto";
    QTest::newRow("unknown mode keeps store") << QByteArray("mode=1024x768\n") << "1920x1080" << "1920x1080";
    QTest::newRow("no file keeps store") << QByteArray("-") << "1280x720" << "1280x720";
    QTest::newRow("nothing known") << QByteArray("mode=1024x768\n") << "-" << "";
    QTest::newRow("nothing offered") << QByteArray("mode=1024x768\n") << "640x480" << "";
    // clang-format on
}

void TestControlPages::osdMode()
{
    QFETCH(QByteArray, modeFile);
    QFETCH(QString, inStore);
    OsdWindow osd(databaseWithUsers());
    if (modeFile == "-")
        QFile::remove(osd.unit.path("/usr/local/directfbrc"));
    else
        osd.unit.writeFile("/usr/local/directfbrc", modeFile);
    if (inStore == "-")
        osd.unit.sim().setFailure(QStringLiteral("rx_database.sh"), 1);
    else
        osd.unit.sim().editSection("rxDatabase", [&](QJsonObject& store) {
            store.insert("System", QJsonObject { { "OSDResolution", inStore } });
        });
    osd.showPage(0);
    QFETCH(QString, shown);
    QCOMPARE(child<QComboBox>(*osd.window, "comboBoxGUIRes")->currentText(), shown);
    if (!shown.isEmpty())
        return;
    // No mode to apply: none is stored, and the OSD does not restart for it.
    osd.unit.clearRecords();
    QCOMPARE(pressAndSettle(*osd.window, "applyGUIReslButton_2", "Information"),
        QStringLiteral("Select an OSD Resolution to apply."));
    QVERIFY(osd.unit.commands().isEmpty());
    QVERIFY(osd.window->isVisible());
}

VELMO_TEST_MAIN(TestControlPages)
#include "test_controlpages.moc"
