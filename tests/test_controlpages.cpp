// The Control tab's small pages: hot-key (kept across a restart and handed to
// the connection control process), timers, power mode, automatic log-on and
// touch-screen redirection.
#include "app/mainwindow.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "storagefault.h"
#include "testmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QtTest>

#include <optional>

namespace {

const char relaunchScript[] = "/tmp/prevConnection.sh";
const char settingsFile[] = "/usr/local/gui_files/gui_settings.cfg";
const QStringList signalControl { "/usr/bin/killall", "-s", "SIGUSR2", "connection_control" };

QString storedAttribute(const OsdWindow& osd, const char* group, const char* attribute)
{
    return osd.stored()
        .documentElement()
        .firstChildElement(db::UnitSettings)
        .firstChildElement(group)
        .attribute(attribute);
}

void restart(OsdWindow& osd)
{
    osd.window.reset();
    osd.window = std::make_unique<MainWindow>(osd.unit.platform(), nullptr, osd.user.get());
    osd.window->show();
    QCoreApplication::processEvents();
}

int hubResets(TestUnit& unit)
{
    return unit.sim().state().value("hubResets").toInt();
}

} // namespace

class TestControlPages : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void hotKeyRoundTrip_data();
    void hotKeyRoundTrip();
    void failedWrite_data();
    void failedWrite();
    void timers_data();
    void timers();
    void powerPage_data();
    void powerPage();
    void powerApply_data();
    void powerApply();
    void autoLogOn();
    void touchRedirection_data();
    void touchRedirection();
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

    QCOMPARE(storedAttribute(osd, db::HotKey, db::Hotkey), code);
    QTEST(storedAttribute(osd, db::FunctionalHotKey, db::Key), "key");
    const QByteArray argument = "--hotkey " + QByteArray::number(code.toInt()) + " &";
    QVERIFY(osd.unit.readFile(relaunchScript).endsWith(argument));
    QCOMPARE(osd.unit.commands().last(), signalControl);

    restart(osd);
    QVERIFY(osd.unit.readFile(relaunchScript).endsWith(argument));
    QCOMPARE(osd.window->hotKeyNumber(), code.toInt());
    child<QToolButton>(*osd.window, "hot_keyButton")->click();
    QCOMPARE(child<QComboBox>(*osd.window, "comboBoxHotKey")->currentText(), choice);
    functionalBox = child<QCheckBox>(*osd.window, "checkBoxFunctionalHotKey");
    QCOMPARE(functionalBox->isChecked(), functional && choice != "Mouse Left+Right");
    QCOMPARE(functionalBox->isEnabled(), choice != "Mouse Left+Right");
}

void TestControlPages::failedWrite_data()
{
    QTest::addColumn<QStringList>("steps"); // the page's button, "widget=value" changes, the apply button
    QTest::addColumn<bool>("databaseFails"); // else the settings file cannot be written
    QTest::addColumn<QString>("text");
    const QStringList hotKey { "hot_keyButton", "comboBoxHotKey=Alt-Alt", "buttonApplyHotKey" };
    const QStringList power { "toolButtonPowerMode", "comboBoxPowerMode=Auto", "applyButtonPowerMode" };
    const QStringList autoLogOn { "toolButtonPreferences", "checkBoxAutoLog=0", "pushButtonSaveOnPUp" };
    const QString powerText = QStringLiteral("The Power Mode could not be saved.");
    const QString autoLogOnText = QStringLiteral("The automatic log-on user could not be saved.");
    // clang-format off
    QTest::newRow("hot-key") << hotKey << true << "The Hot-Key could not be saved.";
    QTest::newRow("timers") << QStringList { "buttonTimerSettings", "checkBoxGUIInactiveTimer=1", "spinBoxGUIInactiveTimer=33",
                                             "buttonApplyTimers" } << true << "The Timers could not be saved.";
    QTest::newRow("RDP resolution") << QStringList { "screenResButton", "comboBox=1024x768 60Hz", "applyScResButton" }
                                    << true << "The RDP/VMWare Connection Resolution could not be saved.";
    QTest::newRow("power mode, database") << power << true << powerText;
    QTest::newRow("power mode, settings file") << power << false << powerText;
    QTest::newRow("automatic log-on, database") << autoLogOn << true << autoLogOnText;
    QTest::newRow("automatic log-on, settings file") << autoLogOn << false << autoLogOnText;
    // clang-format on
}

void TestControlPages::failedWrite()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, databaseFails);
    OsdWindow osd(databaseWithUsers());
    osd.unit.writeFile(relaunchScript, "/usr/bin/connection_control --hotkey 0 &");
    const QByteArray stored = databaseText(osd.stored());
    const QByteArray settings = osd.unit.readFile(settingsFile);
    if (!databaseFails) // a folder in its place: every write of the file fails
        QVERIFY(QFile::remove(osd.unit.path(settingsFile)) && QDir().mkpath(osd.unit.path(settingsFile)));
    child<QAbstractButton>(*osd.window, steps.takeFirst())->click();
    const QString apply = steps.takeLast();
    for (const QString& step : qAsConst(steps)) {
        QWidget* widget = child<QWidget>(*osd.window, step.section('=', 0, 0));
        const QString value = step.section('=', 1);
        if (auto* box = qobject_cast<QComboBox*>(widget))
            box->setCurrentText(value);
        else if (auto* spin = qobject_cast<QSpinBox*>(widget))
            spin->setValue(value.toInt());
        else
            qobject_cast<QCheckBox*>(widget)->setChecked(value == "1");
    }
    osd.unit.clearRecords();
    const ModalAnswerPtr error = answerNextBox(QStringLiteral("Error"), QMessageBox::Ok);
    {
        std::optional<FailNextDatabaseChange> unwritable;
        if (databaseFails)
            unwritable.emplace(osd.unit.path(DatabaseStorage::copyAPath));
        child<QPushButton>(*osd.window, apply)->click();
    }
    QVERIFY(waitForAnswer(error));
    QTEST(error->text, "text");
    // Nothing acts on a change that is not kept, and memory, database and file still agree.
    QCOMPARE(databaseText(osd.window->document()), stored);
    if (databaseFails)
        QCOMPARE(osd.unit.readFile(settingsFile), settings);
    else
        QCOMPARE(databaseText(osd.stored()), stored);
    QCOMPARE(osd.unit.readFile(relaunchScript), QByteArray("/usr/bin/connection_control --hotkey 0 &"));
    for (const QStringList& command : osd.unit.commands())
        QVERIFY(command != signalControl && !command.first().endsWith("set_power_button_mode"));
}

void TestControlPages::timers_data()
{
    QTest::addColumn<int>("osdMinutes"); // 0: unchecked
    QTest::addColumn<int>("connectionMinutes");
    QTest::newRow("both off") << 0 << 0;
    QTest::newRow("both on") << 5 << 60;
    QTest::newRow("connection only") << 0 << 2;
}

void TestControlPages::timers()
{
    QFETCH(int, osdMinutes);
    QFETCH(int, connectionMinutes);
    OsdWindow osd(databaseWithUsers());
    child<QToolButton>(*osd.window, "buttonTimerSettings")->click();
    QCOMPARE(child<QStackedWidget>(*osd.window, "stackedWidget")->currentIndex(), 6);
    const std::pair<const char*, int> rows[]
        = { { "GUIInactiveTimer", osdMinutes }, { "PreEmptInactiveTimer", connectionMinutes } };
    for (const auto& row : rows) {
        child<QCheckBox>(*osd.window, qPrintable(QStringLiteral("checkBox") + row.first))
            ->setChecked(row.second > 0);
        child<QSpinBox>(*osd.window, qPrintable(QStringLiteral("spinBox") + row.first))
            ->setValue(row.second > 0 ? row.second : 33);
    }
    child<QPushButton>(*osd.window, "buttonApplyTimers")->click();
    QCOMPARE(storedAttribute(osd, db::GuiInactivityTimer, db::Value), QString::number(osdMinutes));
    QCOMPARE(
        storedAttribute(osd, db::ConnectionInactivityTimer, db::Value), QString::number(connectionMinutes));
    QCOMPARE(osd.window->readGuiInactivityMinutes(), osdMinutes);

    child<QStackedWidget>(*osd.window, "stackedWidget")->setCurrentIndex(5);
    child<QToolButton>(*osd.window, "buttonTimerSettings")->click();
    for (const auto& row : rows) {
        QCOMPARE(
            child<QCheckBox>(*osd.window, qPrintable(QStringLiteral("checkBox") + row.first))->isChecked(),
            row.second > 0);
        QCOMPARE(child<QSpinBox>(*osd.window, qPrintable(QStringLiteral("spinBox") + row.first))->value(),
            row.second > 0 ? row.second : 15);
    }
}

void TestControlPages::powerPage_data()
{
    QTest::addColumn<QString>("settingsLine");
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("shown");
    // clang-format off
    QTest::newRow("file says Auto, board desktop") << "power_mode=Auto" << "DESKTOP" << "Auto";
    QTest::newRow("file says Manual, board signage") << "power_mode=Manual" << "SIGNAGE" << "Manual";
    QTest::newRow("nothing stored, board signage") << "" << "SIGNAGE" << "Auto";
    QTest::newRow("nothing stored, board desktop") << "power_mode=" << "DESKTOP" << "Manual";
    // clang-format on
}

void TestControlPages::powerPage()
{
    QFETCH(QString, settingsLine);
    QFETCH(QString, board);
    OsdWindow osd(databaseWithUsers());
    osd.unit.writeFile(settingsFile, ("autoLoginUsr=admin\n" + settingsLine + "\n").toUtf8());
    osd.unit.sim().editState([&](QJsonObject& state) { state.insert("powerButtonMode", board); });
    osd.unit.clearRecords();
    child<QToolButton>(*osd.window, "toolButtonPowerMode")->click();
    QCOMPARE(child<QStackedWidget>(*osd.window, "stackedWidget")->currentIndex(), 4);
    QTEST(child<QComboBox>(*osd.window, "comboBoxPowerMode")->currentText(), "shown");
    QCOMPARE(osd.unit.sim().state().value("powerButtonMode").toString(), board);
    for (const QStringList& command : osd.unit.commands())
        QVERIFY(!command.first().endsWith("set_power_button_mode"));
}

void TestControlPages::powerApply_data()
{
    QTest::addColumn<bool>("managed");
    QTest::newRow("unmanaged") << false;
    QTest::newRow("managed: the database keeps its mode") << true;
}

void TestControlPages::powerApply()
{
    QFETCH(bool, managed);
    OsdWindow osd(databaseWithUsers(), 1, managed);
    for (const QString& mode : { QStringLiteral("Auto"), QStringLiteral("Manual") }) {
        child<QToolButton>(*osd.window, "toolButtonPowerMode")->click();
        child<QComboBox>(*osd.window, "comboBoxPowerMode")->setCurrentText(mode);
        child<QPushButton>(*osd.window, "applyButtonPowerMode")->click();
        child<QStackedWidget>(*osd.window, "stackedWidget")->setCurrentIndex(5);
        QCOMPARE(storedAttribute(osd, db::PowerModeGroup, db::PowerMode),
            managed ? QStringLiteral("Manual") : mode);
        QVERIFY(osd.unit.readFile(settingsFile).contains(("\npower_mode=" + mode + "\n").toUtf8()));
        QCOMPARE(osd.unit.sim().state().value("powerButtonMode").toString(),
            mode == "Auto" ? "SIGNAGE" : "DESKTOP");
    }
}

void TestControlPages::autoLogOn()
{
    OsdWindow osd(databaseWithUsers());
    child<QToolButton>(*osd.window, "toolButtonPreferences")->click();
    QComboBox* users = child<QComboBox>(*osd.window, "comboBoxALogUsr");
    QCheckBox* automatic = child<QCheckBox>(*osd.window, "checkBoxAutoLog");
    QCOMPARE(users->currentText(), QStringLiteral("admin"));
    QVERIFY(automatic->isChecked());
    for (const QString& choice : { QStringLiteral("boss"), QString() }) {
        automatic->setChecked(!choice.isEmpty());
        if (!choice.isEmpty())
            users->setCurrentText(choice);
        child<QPushButton>(*osd.window, "pushButtonSaveOnPUp")->click();
        QCOMPARE(storedAttribute(osd, db::AutoLogin, db::AutoLogUser), choice);
        QVERIFY(osd.unit.readFile(settingsFile).contains(("autoLoginUsr=" + choice + "\n").toUtf8()));
    }
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
    QTEST(hubResets(osd.unit), "resets");
    QFETCH(int, stored);
    if (stored >= 0)
        QCOMPARE(osd.unit.sim().state().value("settings").toObject().value("tsRedirection").toInt(), stored);
    // Applied once, the change is spent: a second apply resets nothing more.
    child<QPushButton>(*osd.window, "pushButtonApplyGeneralSettings")->click();
    QTEST(hubResets(osd.unit), "resets");
}

VELMO_TEST_MAIN(TestControlPages)
#include "test_controlpages.moc"
