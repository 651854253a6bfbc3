#include "controlpages.h"
#include "app/mainwindowform.h"

#include "app/mainwindow.h"
#include "database/dbnames.h"
#include "platform/platform.h"
#include "rules/hotkeyrules.h"
#include "rules/unitsettings.h"

#include <QDebug>
#include <QTimer>

namespace {

// Sets one setting and saves. A group its writer may not add is left missing,
// and that is no failure.
bool storeSetting(MainWindow* mainWindow, UnitSetting setting, const QString& value)
{
    bool applied = false;
    const bool saved = commitSettingsChange(
        mainWindow, [&](QDomDocument& document) { applied = writeUnitSetting(document, setting, value); });
    return saved && (applied || !unitSettingPlace(setting).writerAddsGroup);
}

int minutesOf(const QDomDocument& document, UnitSetting timer)
{
    return qMax(0, readUnitSetting(document, timer).toInt());
}

// A page's failed write is said, never left for the next start to find.
void sayNotSaved(MainWindow* mainWindow, const QString& text)
{
    mainWindow->showWarning(QStringLiteral("Error"), text);
}

// Takes a stored change back after its companion write failed, and says what
// the unit now keeps.
void takeBackAndSay(MainWindow* mainWindow, const QDomDocument& before, const QString& notSaved)
{
    if (takeBackSettingsChange(mainWindow, before))
        sayNotSaved(mainWindow, notSaved);
    else
        sayNotSaved(mainWindow,
            QStringLiteral(
                "The change could not be saved in full, and the previous settings could not be restored."));
}

} // namespace

bool commitSettingsChange(MainWindow* mainWindow, const std::function<void(QDomDocument&)>& change)
{
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    if (mainWindow->storage().commitChange(change))
        return true;
    // Kept only in memory, the change would reach the disk with another page's save.
    mainWindow->document() = before;
    return false;
}

bool takeBackSettingsChange(MainWindow* mainWindow, const QDomDocument& before)
{
    const QDomDocument changed = mainWindow->document();
    mainWindow->document() = before;
    // The copy in use is written back; the other follows it at the next change.
    if (mainWindow->storage().saveDatabase())
        return true;
    malvo_syslog(
        3, "MainWindow: Can not open file for writing: %s", qPrintable(mainWindow->storage().databasePath));
    // The copy in use still holds the change: memory must not say otherwise.
    mainWindow->document() = changed;
    return false;
}

HotKeyPage::HotKeyPage(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void HotKeyPage::on_hot_keyButton_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Hot-Key Page.\n");
    loadHotKeyPage();
    mainWindow->formFrame().stackedWidget->setCurrentIndex(3);
}

QString HotKeyPage::readHotKey()
{
    return hotKeyName(readUnitSetting(mainWindow->document(), UnitSetting::HotKey));
}

QString HotKeyPage::readFunctionalHotKey()
{
    return readUnitSetting(mainWindow->document(), UnitSetting::FunctionalHotKey);
}

int HotKeyPage::loadHotKeyPage()
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::HotKey);
    ui.comboBoxHotKey->clear();
    ui.comboBoxHotKey->addItems(hotKeyNames());
    const QString name = readHotKey();
    ui.comboBoxHotKey->setCurrentIndex(ui.comboBoxHotKey->findText(name));
    if (name == QLatin1String("Mouse Left+Right")) {
        ui.checkBoxFunctionalHotKey->setChecked(false);
        ui.checkBoxFunctionalHotKey->setEnabled(false);
    } else {
        ui.checkBoxFunctionalHotKey->setEnabled(true);
        ui.checkBoxFunctionalHotKey->setChecked(readFunctionalHotKey() != QLatin1String("Disable"));
    }
    showHelp();
    return hotKeyNumber(name);
}

void HotKeyPage::showHelp()
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::HotKey);
    ui.labelHotKey->setText(
        hotKeyHelpText(ui.comboBoxHotKey->currentText(), ui.checkBoxFunctionalHotKey->isChecked()));
}

void HotKeyPage::on_comboBoxHotKey_currentIndexChanged(const QString& name)
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::HotKey);
    const bool mouse = name == QLatin1String("Mouse Left+Right");
    if (mouse)
        ui.checkBoxFunctionalHotKey->setChecked(false);
    ui.checkBoxFunctionalHotKey->setEnabled(!mouse);
    showHelp();
}

void HotKeyPage::on_checkBoxFunctionalHotKey_stateChanged(int)
{
    showHelp();
}

void HotKeyPage::on_buttonApplyHotKey_clicked()
{
    malvo_syslog(5, "MainWindow: Action Save Hot-Key.\n");
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::HotKey);
    const QString code = hotKeyCode(ui.comboBoxHotKey->currentText());
    const QString functional
        = ui.checkBoxFunctionalHotKey->isChecked() ? QStringLiteral("Enable") : QStringLiteral("Disable");
    const QString notSaved = QStringLiteral("The Hot-Key could not be saved.");
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    bool applied = false;
    const bool saved = commitSettingsChange(mainWindow, [&](QDomDocument& document) {
        applied = writeUnitSetting(document, UnitSetting::FunctionalHotKey, functional)
            && writeUnitSetting(document, UnitSetting::HotKey, code);
    });
    if (!saved || !applied) {
        // The connection control process keeps the hot-key it has.
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s",
            qPrintable(mainWindow->storage().databasePath));
        sayNotSaved(mainWindow, notSaved);
        return;
    }
    // A session started again must answer the hot-key the database names.
    if (!mainWindow->setRelaunchHotKey(QString::number(hotKeyNumber(code)))) {
        takeBackAndSay(mainWindow, before, notSaved);
        return;
    }
    mainWindow->unitPlatform().run(QStringLiteral("/usr/bin/killall"),
        { QStringLiteral("-s"), QStringLiteral("SIGUSR2"), QStringLiteral("connection_control") });
}

TimersPage::TimersPage(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void TimersPage::on_buttonTimerSettings_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Timers Page.\n");
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::Timers);
    const int connection = readConnectionInactivityMinutes();
    ui.spinBoxPreEmptInactiveTimer->setValue(connection > 0 ? connection : 15);
    ui.checkBoxPreEmptInactiveTimer->setChecked(connection > 0);
    const int gui = minutesOf(mainWindow->document(), UnitSetting::GuiInactivityMinutes);
    ui.spinBoxGUIInactiveTimer->setValue(gui > 0 ? gui : 15);
    ui.checkBoxGUIInactiveTimer->setChecked(gui > 0);
    ui.stackedWidget->setCurrentIndex(6);
}

int TimersPage::readConnectionInactivityMinutes()
{
    const bool found = !unitSettingsGroup(mainWindow->document(), db::ConnectionInactivityTimer).isNull();
    qDebug().noquote() << (found ? "GUI: Connection_inactivity_Timer Found"
                                 : "GUI: Connection_inactivity_Timer Not Found");
    return minutesOf(mainWindow->document(), UnitSetting::ConnectionInactivityMinutes);
}

void TimersPage::on_buttonApplyTimers_clicked()
{
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    if (!saveConnectionInactivity()) {
        sayNotSaved(mainWindow, QStringLiteral("The Timers could not be saved."));
        return;
    }
    if (saveGuiInactivity())
        return;
    // Both timers or neither: the page shows them as one choice.
    takeBackAndSay(mainWindow, before, QStringLiteral("The Timers could not be saved."));
}

bool TimersPage::saveConnectionInactivity()
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::Timers);
    const QString value = ui.checkBoxPreEmptInactiveTimer->isChecked()
        ? QString::number(ui.spinBoxPreEmptInactiveTimer->value())
        : QStringLiteral("0");
    if (storeSetting(mainWindow, UnitSetting::ConnectionInactivityMinutes, value))
        return true;
    malvo_syslog(
        3, "MainWindow: Can not open file for writing: %s", qPrintable(mainWindow->storage().databasePath));
    return false;
}

bool TimersPage::saveGuiInactivity()
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::Timers);
    const QString value = ui.checkBoxGUIInactiveTimer->isChecked()
        ? QString::number(ui.spinBoxGUIInactiveTimer->value())
        : QStringLiteral("0");
    const bool saved = storeSetting(mainWindow, UnitSetting::GuiInactivityMinutes, value);
    if (!saved)
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s",
            qPrintable(mainWindow->storage().databasePath));
    // A new time-out applies at once, without waiting for the next activity.
    QTimer::singleShot(0, mainWindow, &MainWindow::guiTimerUpdate);
    return saved;
}

PowerModePage::PowerModePage(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void PowerModePage::on_toolButtonPowerMode_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Power Mode Page.\n");
    mainWindow->formFrame().stackedWidget->setCurrentIndex(4);
}

QString PowerModePage::currentPowerMode()
{
    return mainWindow->guiSettingsFile().currentPowerMode();
}

void PowerModePage::loadPowerModePage()
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::PowerMode);
    ui.comboBoxPowerMode->clear();
    ui.comboBoxPowerMode->addItems({ QStringLiteral("Manual"), QStringLiteral("Auto") });
    // Showing the page only shows: the board changes on Apply alone.
    QString mode = mainWindow->readPowerMode();
    if (!mode.startsWith(QLatin1String("Auto")) && !mode.startsWith(QLatin1String("Manual")))
        mode = currentPowerMode();
    ui.comboBoxPowerMode->setCurrentIndex(mode.startsWith(QLatin1String("Auto")) ? 1 : 0);
}

void PowerModePage::on_applyButtonPowerMode_clicked()
{
    malvo_syslog(5, "MainWindow: Action Apply Power Mode.\n");
    const QString mode
        = mainWindow->formPage(MainWindow::Page::PowerMode).comboBoxPowerMode->currentText()
            == QLatin1String("Manual")
        ? QStringLiteral("Manual")
        : QStringLiteral("Auto");
    const QString notSaved = QStringLiteral("The Power Mode could not be saved.");
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    const bool stores = !mainWindow->isManaged();
    if (stores && !storeSetting(mainWindow, UnitSetting::PowerMode, mode)) {
        malvo_syslog(
            3, "Velmogui: Can not open file for writing: %s", qPrintable(mainWindow->storage().databasePath));
        sayNotSaved(mainWindow, notSaved);
        return;
    }
    // The settings file is what the page and the board follow: without it the
    // database goes back to agree with it, and the board stays as it is.
    if (!mainWindow->guiSettingsFile().writePowerMode(mode)) {
        if (stores)
            takeBackAndSay(mainWindow, before, notSaved);
        else
            sayNotSaved(mainWindow, notSaved);
        return;
    }
    mainWindow->guiSettingsFile().setBoardPowerMode(mode);
}

PreferencesPage::PreferencesPage(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void PreferencesPage::on_toolButtonPreferences_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Preferences Page.\n");
    mainWindow->formFrame().stackedWidget->setCurrentIndex(5);
    mainWindow->refillAutoLogonChoice();
}

void PreferencesPage::on_pushButtonSaveOnPUp_clicked()
{
    malvo_syslog(5, "MainWindow: Action Save Auto Login User.\n");
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::Preferences);
    const QString user = ui.checkBoxAutoLog->isChecked() ? ui.comboBoxALogUsr->currentText() : QString();
    const QString notSaved = QStringLiteral("The automatic log-on user could not be saved.");
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    if (!storeSetting(mainWindow, UnitSetting::AutoLogonUser, user)) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s",
            qPrintable(mainWindow->storage().databasePath));
        sayNotSaved(mainWindow, notSaved);
        return;
    }
    // The next start logs on whom the settings file names: the database keeps agreeing with it.
    if (!mainWindow->guiSettingsFile().writeAutoLoginUser(user))
        takeBackAndSay(mainWindow, before, notSaved);
}

GeneralSettingsPage::GeneralSettingsPage(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void GeneralSettingsPage::on_toolButtonGeneralSettings_clicked()
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::GeneralSettings);
    ui.checkBoxRedirTouchscreen->setChecked(false);
    int value = 0;
    const int result = dal_get_tsredirection(&value);
    if (result == 0) {
        malvo_syslog(3, "MainWindow: Function dal_get_tsredirection(%d) Failed ", value);
        qDebug().noquote() << "MainWindow: Function dal_get_tsredirection(" + QString::number(value)
                + ") FAILED";
    } else if (result == 1 && (value == 0 || value == 1)) {
        ui.checkBoxRedirTouchscreen->setChecked(value == 1);
        touchRedirectionChanged = false;
    } else if (result == 1) {
        malvo_syslog(3, "MainWindow: Function dal_get_tsredirection(%d) Returned invalid value ", value);
        qDebug().noquote() << "MainWindow: Function dal_get_tsredirection(" + QString::number(value)
                + ") Returned invalid value!" + QStringLiteral("1");
        touchRedirectionChanged = false;
    } else {
        malvo_syslog(
            3, "MainWindow: Function dal_get_tsredirection Returned invalid value for retCall:%d", result);
        qDebug().noquote() << "MainWindow: retCall (" + QString::number(result) + ") Returned invalid value ";
    }
    ui.stackedWidget->setCurrentIndex(7);
}

void GeneralSettingsPage::on_checkBoxRedirTouchscreen_stateChanged(int)
{
    touchRedirectionChanged = !touchRedirectionChanged;
}

void GeneralSettingsPage::on_pushButtonApplyGeneralSettings_clicked()
{
    const int value
        = mainWindow->formPage(MainWindow::Page::GeneralSettings).checkBoxRedirTouchscreen->isChecked()
        ? 1
        : 0;
    if (dal_set_tsredirection(value) == 0) {
        malvo_syslog(3, "MainWindow: Function dal_set_tsredirection(%d) Failed ", value);
        qDebug().noquote() << "MainWindow: Function dal_set_tsredirection(" + QString::number(value)
                + ") FAILED";
        return;
    }
    if (!touchRedirectionChanged)
        return;
    mainWindow->unitPlatform().run(QStringLiteral("/opt/kestrix/reset_hub.sh"), {});
    qDebug() << "MainWindow: Running script /opt/kestrix/reset_hub.sh";
    touchRedirectionChanged = false;
}
