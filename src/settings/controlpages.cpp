#include "controlpages.h"
#include "ui_pagegeneralsettings.h"
#include "ui_pagehotkey.h"
#include "ui_pagepowermode.h"
#include "ui_pagepreferences.h"
#include "ui_pagetimers.h"

#include "app/gridreflow.h"
#include "app/lazyicon.h"
#include "app/osdcontext.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "platform/platform.h"
#include "rules/guifiles.h"
#include "rules/hotkeyrules.h"
#include "rules/unitsettings.h"
#include "rules/userrules.h"
#include "services/device_services.h"

#include <QDebug>
#include <QStackedWidget>
#include <QTimer>

namespace {

// Sets one setting and saves. A group its writer may not add is left missing,
// and that is no failure.
bool storeSetting(DatabaseStorage& storage, UnitSetting setting, const QString& value)
{
    bool applied = false;
    const bool saved = storage.commitOrUndo(
        [&](QDomDocument& document) { applied = writeUnitSetting(document, setting, value); });
    return saved && (applied || !unitSettingPlace(setting).writerAddsGroup);
}

int minutesOf(const QDomDocument& document, UnitSetting timer)
{
    return qMax(0, readUnitSetting(document, timer).toInt());
}

// A page's failed write is said, never left for the next start to find.
void sayNotSaved(OsdContext& context, const QString& text)
{
    context.showWarning(QStringLiteral("Error"), text);
}

// Takes a stored change back after its companion write failed, and says what
// the unit now keeps.
void takeBackAndSay(OsdContext& context, const QDomDocument& before, const QString& notSaved)
{
    if (context.storage().takeBackChange(before))
        sayNotSaved(context, notSaved);
    else
        sayNotSaved(context,
            QStringLiteral(
                "The change could not be saved in full, and the previous settings could not be restored."));
}

// The Control tab's stack holds each page's shell.
void showControlPage(QWidget* shell)
{
    if (auto* stack = qobject_cast<QStackedWidget*>(shell->parentWidget()))
        stack->setCurrentWidget(shell);
}

} // namespace

const char applyPicture[] = ":/icons/icons/apply.png";

HotKeyPage::HotKeyPage(OsdContext& context, std::function<bool(const QString&)> setRelaunchHotKey)
    : QObject(context.window())
    , context(context)
    , setRelaunchHotKey(std::move(setRelaunchHotKey))
    , ui(new Ui::PageHotKey())
{
}

HotKeyPage::~HotKeyPage()
{
    delete ui;
}

void HotKeyPage::build(QWidget* shell)
{
    ui->setupUi(shell);
    ui->buttonApplyHotKey->setIcon(lazyIcon(applyPicture));
    this->shell = shell;
}

void HotKeyPage::on_hot_keyButton_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Hot-Key Page.\n");
    loadHotKeyPage();
    showControlPage(shell);
}

QString HotKeyPage::readHotKey()
{
    return hotKeyName(readUnitSetting(context.document(), UnitSetting::HotKey));
}

QString HotKeyPage::readFunctionalHotKey()
{
    return readUnitSetting(context.document(), UnitSetting::FunctionalHotKey);
}

int HotKeyPage::loadHotKeyPage()
{
    ui->comboBoxHotKey->clear();
    ui->comboBoxHotKey->addItems(hotKeyNames());
    const QString name = readHotKey();
    ui->comboBoxHotKey->setCurrentIndex(ui->comboBoxHotKey->findText(name));
    if (name == QLatin1String("Mouse Left+Right")) {
        ui->checkBoxFunctionalHotKey->setChecked(false);
        ui->checkBoxFunctionalHotKey->setEnabled(false);
    } else {
        ui->checkBoxFunctionalHotKey->setEnabled(true);
        ui->checkBoxFunctionalHotKey->setChecked(readFunctionalHotKey() != QLatin1String("Disable"));
    }
    showHelp();
    return hotKeyNumber(name);
}

void HotKeyPage::showHelp()
{
    ui->labelHotKey->setText(
        hotKeyHelpText(ui->comboBoxHotKey->currentText(), ui->checkBoxFunctionalHotKey->isChecked()));
}

void HotKeyPage::on_comboBoxHotKey_currentIndexChanged(const QString& name)
{
    const bool mouse = name == QLatin1String("Mouse Left+Right");
    if (mouse)
        ui->checkBoxFunctionalHotKey->setChecked(false);
    ui->checkBoxFunctionalHotKey->setEnabled(!mouse);
    showHelp();
}

void HotKeyPage::on_checkBoxFunctionalHotKey_stateChanged(int)
{
    showHelp();
}

void HotKeyPage::on_buttonApplyHotKey_clicked()
{
    malvo_syslog(5, "MainWindow: Action Save Hot-Key.\n");
    const QString code = hotKeyCode(ui->comboBoxHotKey->currentText());
    const QString functional
        = ui->checkBoxFunctionalHotKey->isChecked() ? QStringLiteral("Enable") : QStringLiteral("Disable");
    const QString notSaved = QStringLiteral("The Hot-Key could not be saved.");
    const QDomDocument before = context.document().cloneNode(true).toDocument();
    bool applied = false;
    const bool saved = context.storage().commitOrUndo([&](QDomDocument& document) {
        applied = writeUnitSetting(document, UnitSetting::FunctionalHotKey, functional)
            && writeUnitSetting(document, UnitSetting::HotKey, code);
    });
    if (!saved || !applied) {
        // The connection control process keeps the hot-key it has.
        malvo_syslog(
            3, "MainWindow: Can not open file for writing: %s", qPrintable(context.storage().databasePath));
        sayNotSaved(context, notSaved);
        return;
    }
    // A session started again must answer the hot-key the database names.
    if (!setRelaunchHotKey(QString::number(hotKeyNumber(code)))) {
        takeBackAndSay(context, before, notSaved);
        return;
    }
    context.platform().run(QStringLiteral("/usr/bin/killall"),
        { QStringLiteral("-s"), QStringLiteral("SIGUSR2"), QStringLiteral("connection_control") });
}

TimersPage::TimersPage(OsdContext& context, std::function<void()> timeoutChanged)
    : QObject(context.window())
    , context(context)
    , timeoutChanged(std::move(timeoutChanged))
    , ui(new Ui::PageTimers())
{
}

TimersPage::~TimersPage()
{
    delete ui;
}

void TimersPage::build(QWidget* shell)
{
    ui->setupUi(shell);
    ui->buttonApplyTimers->setIcon(lazyIcon(applyPicture));
    ui->spinBoxGUIInactiveTimer->setRange(2, 60);
    ui->spinBoxPreEmptInactiveTimer->setRange(2, 60);
    this->shell = shell;
}

void TimersPage::setEditable(bool editable)
{
    for (QWidget* widget : std::initializer_list<QWidget*> { ui->buttonApplyTimers,
             ui->checkBoxGUIInactiveTimer, ui->checkBoxPreEmptInactiveTimer, ui->spinBoxGUIInactiveTimer,
             ui->spinBoxPreEmptInactiveTimer, ui->labelGUIInactiveMinutes, ui->labelPreEmptInactiveMinutes })
        widget->setEnabled(editable);
}

void TimersPage::on_buttonTimerSettings_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Timers Page.\n");
    const int connection = readConnectionInactivityMinutes();
    ui->spinBoxPreEmptInactiveTimer->setValue(connection > 0 ? connection : 15);
    ui->checkBoxPreEmptInactiveTimer->setChecked(connection > 0);
    const int gui = minutesOf(context.document(), UnitSetting::GuiInactivityMinutes);
    ui->spinBoxGUIInactiveTimer->setValue(gui > 0 ? gui : 15);
    ui->checkBoxGUIInactiveTimer->setChecked(gui > 0);
    showControlPage(shell);
}

int TimersPage::readConnectionInactivityMinutes()
{
    const bool found = !unitSettingsGroup(context.document(), db::ConnectionInactivityTimer).isNull();
    qDebug().noquote() << (found ? "GUI: Connection_inactivity_Timer Found"
                                 : "GUI: Connection_inactivity_Timer Not Found");
    return minutesOf(context.document(), UnitSetting::ConnectionInactivityMinutes);
}

void TimersPage::on_buttonApplyTimers_clicked()
{
    const QDomDocument before = context.document().cloneNode(true).toDocument();
    if (!saveConnectionInactivity()) {
        sayNotSaved(context, QStringLiteral("The Timers could not be saved."));
        return;
    }
    if (saveGuiInactivity())
        return;
    // Both timers or neither: the page shows them as one choice.
    takeBackAndSay(context, before, QStringLiteral("The Timers could not be saved."));
}

bool TimersPage::saveConnectionInactivity()
{
    const QString value = ui->checkBoxPreEmptInactiveTimer->isChecked()
        ? QString::number(ui->spinBoxPreEmptInactiveTimer->value())
        : QStringLiteral("0");
    if (storeSetting(context.storage(), UnitSetting::ConnectionInactivityMinutes, value))
        return true;
    malvo_syslog(
        3, "MainWindow: Can not open file for writing: %s", qPrintable(context.storage().databasePath));
    return false;
}

bool TimersPage::saveGuiInactivity()
{
    const QString value = ui->checkBoxGUIInactiveTimer->isChecked()
        ? QString::number(ui->spinBoxGUIInactiveTimer->value())
        : QStringLiteral("0");
    const bool saved = storeSetting(context.storage(), UnitSetting::GuiInactivityMinutes, value);
    if (!saved)
        malvo_syslog(
            3, "MainWindow: Can not open file for writing: %s", qPrintable(context.storage().databasePath));
    // A new time-out applies at once, without waiting for the next activity.
    QTimer::singleShot(0, this, timeoutChanged);
    return saved;
}

PowerModePage::PowerModePage(OsdContext& context)
    : QObject(context.window())
    , context(context)
    , ui(new Ui::PagePowerMode())
{
}

PowerModePage::~PowerModePage()
{
    delete ui;
}

void PowerModePage::build(QWidget* shell)
{
    ui->setupUi(shell);
    ui->applyButtonPowerMode->setIcon(lazyIcon(applyPicture));
    this->shell = shell;
}

void PowerModePage::on_toolButtonPowerMode_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Power Mode Page.\n");
    showControlPage(shell);
}

QString PowerModePage::currentPowerMode()
{
    return context.guiSettings().currentPowerMode();
}

void PowerModePage::loadPowerModePage()
{
    ui->comboBoxPowerMode->clear();
    ui->comboBoxPowerMode->addItems({ QStringLiteral("Manual"), QStringLiteral("Auto") });
    // Showing the page only shows: the board changes on Apply alone.
    QString mode = context.guiSettings().readPowerMode();
    if (!mode.startsWith(QLatin1String("Auto")) && !mode.startsWith(QLatin1String("Manual")))
        mode = currentPowerMode();
    ui->comboBoxPowerMode->setCurrentIndex(mode.startsWith(QLatin1String("Auto")) ? 1 : 0);
}

void PowerModePage::on_applyButtonPowerMode_clicked()
{
    malvo_syslog(5, "MainWindow: Action Apply Power Mode.\n");
    const QString mode = ui->comboBoxPowerMode->currentText() == QLatin1String("Manual")
        ? QStringLiteral("Manual")
        : QStringLiteral("Auto");
    const QString notSaved = QStringLiteral("The Power Mode could not be saved.");
    const QDomDocument before = context.document().cloneNode(true).toDocument();
    const bool stores = !context.isManaged();
    if (stores && !storeSetting(context.storage(), UnitSetting::PowerMode, mode)) {
        malvo_syslog(
            3, "Velmogui: Can not open file for writing: %s", qPrintable(context.storage().databasePath));
        sayNotSaved(context, notSaved);
        return;
    }
    // The settings file is what the page and the board follow: without it the
    // database goes back to agree with it, and the board stays as it is.
    if (!context.guiSettings().writePowerMode(mode)) {
        if (stores)
            takeBackAndSay(context, before, notSaved);
        else
            sayNotSaved(context, notSaved);
        return;
    }
    context.guiSettings().setBoardPowerMode(mode);
}

PreferencesPage::PreferencesPage(OsdContext& context)
    : QObject(context.window())
    , context(context)
    , ui(new Ui::PagePreferences())
{
    connect(&context, &OsdContext::usersChanged, this, &PreferencesPage::fillAutoLogonChoice);
}

PreferencesPage::~PreferencesPage()
{
    delete ui;
}

void PreferencesPage::build(QWidget* shell)
{
    ui->setupUi(shell);
    const std::pair<QAbstractButton*, const char*> icons[] {
        { ui->screenResButton, ":/icons/icons/screen_resolution.png" },
        { ui->networkButton, ":/icons/icons/network.png" },
        { ui->systemPageButton, ":/icons/icons/system.png" },
        { ui->hot_keyButton, ":/icons/icons/hotkey.png" },
        { ui->toolButtonPowerMode, ":/icons/icons/power_mode.png" },
        { ui->buttonTimerSettings, ":/icons/icons/timer.png" },
        { ui->toolButtonGeneralSettings, ":/icons/icons/general_settings.png" },
        { ui->transmitterButton, ":/icons/icons/transmitter.png" },
        { ui->toolButtonMyPassCh, ":/icons/icons/password.png" },
        { ui->pushButtonSaveOnPUp, applyPicture },
    };
    for (const auto& [button, picture] : icons)
        button->setIcon(lazyIcon(picture));
    new GridReflow(ui->pageButtonsGrid, shell);
    this->shell = shell;
}

void PreferencesPage::on_toolButtonPreferences_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Preferences Page.\n");
    showControlPage(shell);
    fillAutoLogonChoice();
}

void PreferencesPage::on_pushButtonSaveOnPUp_clicked()
{
    malvo_syslog(5, "MainWindow: Action Save Auto Login User.\n");
    const QString user = ui->checkBoxAutoLog->isChecked() ? ui->comboBoxALogUsr->currentText() : QString();
    const QString notSaved = QStringLiteral("The automatic log-on user could not be saved.");
    const QDomDocument before = context.document().cloneNode(true).toDocument();
    if (!storeSetting(context.storage(), UnitSetting::AutoLogonUser, user)) {
        malvo_syslog(
            3, "MainWindow: Can not open file for writing: %s", qPrintable(context.storage().databasePath));
        sayNotSaved(context, notSaved);
        return;
    }
    // The next start logs on whom the settings file names: the database keeps agreeing with it.
    if (!context.guiSettings().writeAutoLoginUser(user))
        takeBackAndSay(context, before, notSaved);
}

void PreferencesPage::fillAutoLogonChoice()
{
    // Its page takes the choice when it is built.
    if (!shell)
        return;
    ui->comboBoxALogUsr->clear();
    ui->comboBoxALogUsr->addItems(UserRules::userNames(context.document()));
    const QString automatic
        = context.guiSettings().readAutoLoginUser(context.document(), context.isManaged());
    const int index = automatic.isEmpty() ? -1 : ui->comboBoxALogUsr->findText(automatic);
    if (index >= 0)
        ui->comboBoxALogUsr->setCurrentIndex(index);
    ui->checkBoxAutoLog->setChecked(index >= 0);
}

GeneralSettingsPage::GeneralSettingsPage(OsdContext& context)
    : QObject(context.window())
    , context(context)
    , ui(new Ui::PageGeneralSettings())
{
}

GeneralSettingsPage::~GeneralSettingsPage()
{
    delete ui;
}

void GeneralSettingsPage::build(QWidget* shell)
{
    ui->setupUi(shell);
    ui->pushButtonApplyGeneralSettings->setIcon(lazyIcon(applyPicture));
    this->shell = shell;
}

void GeneralSettingsPage::on_toolButtonGeneralSettings_clicked()
{
    ui->checkBoxRedirTouchscreen->setChecked(false);
    int value = 0;
    const int result = dal_get_tsredirection(&value);
    if (result == 0) {
        malvo_syslog(3, "MainWindow: Function dal_get_tsredirection(%d) Failed ", value);
        qDebug().noquote() << "MainWindow: Function dal_get_tsredirection(" + QString::number(value)
                + ") FAILED";
    } else if (result == 1 && (value == 0 || value == 1)) {
        ui->checkBoxRedirTouchscreen->setChecked(value == 1);
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
    showControlPage(shell);
}

void GeneralSettingsPage::on_checkBoxRedirTouchscreen_stateChanged(int)
{
    touchRedirectionChanged = !touchRedirectionChanged;
}

void GeneralSettingsPage::on_pushButtonApplyGeneralSettings_clicked()
{
    const int value = ui->checkBoxRedirTouchscreen->isChecked() ? 1 : 0;
    if (dal_set_tsredirection(value) == 0) {
        malvo_syslog(3, "MainWindow: Function dal_set_tsredirection(%d) Failed ", value);
        qDebug().noquote() << "MainWindow: Function dal_set_tsredirection(" + QString::number(value)
                + ") FAILED";
        return;
    }
    if (!touchRedirectionChanged)
        return;
    context.platform().run(QStringLiteral("/opt/kestrix/reset_hub.sh"), {});
    qDebug() << "MainWindow: Running script /opt/kestrix/reset_hub.sh";
    touchRedirectionChanged = false;
}
