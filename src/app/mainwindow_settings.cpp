// The Control tab's settings pages and the Information tab: the window keeps
// the slots and hands each to the page that owns it.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "upgrade/settingstransfer.h"
#include "settings/controlpages.h"
#include "settings/networkpage.h"
#include "settings/resolutionpage.h"
#include "settings/unitinformation.h"

#include <QListWidget>

void MainWindow::createSettingsPages()
{
    networkPage = new NetworkPage(*osd);
    resolutionPage = new ResolutionPage(*osd, [this] {
        const QListWidgetItem* current = ui->listWidgetVM->currentItem();
        return current ? current->text() : QString();
    });
    hotKeyPage = new HotKeyPage(*osd, [this](const QString& number) { return setRelaunchHotKey(number); });
    timersPage = new TimersPage(*osd, [this] { guiTimerUpdate(); });
    powerModePage = new PowerModePage(*osd);
    preferencesPage = new PreferencesPage(*osd);
    generalSettingsPage = new GeneralSettingsPage(*osd);
    unitInformation = new UnitInformation(*osd);
    settingsTransfer = new SettingsTransfer(*osd, *rxUpgrade, this);
}

void MainWindow::on_stackedWidget_currentChanged(int index)
{
    // The layout queued at start-up switches pages before anyone logged on:
    // no display service runs and nothing is written for it.
    if (!isLoggedOn() || !networkPage)
        return;
    if (index == 0) {
        formPage(Page::ScreenResolution);
        resolutionPage->loadResolutionPage();
        resolutionPage->readOsdModeFile();
    } else if (index == 1) {
        formPage(Page::LocalNetwork);
        networkPage->loadNetworkPage();
    } else if (index == 4) {
        formPage(Page::PowerMode);
        powerModePage->loadPowerModePage();
    }
}

void MainWindow::showUnitInformation()
{
    formPage(Page::Information);
    unitInformation->showUnitInformation();
}
void MainWindow::on_radioButtonDHCP_clicked()
{
    networkPage->on_radioButtonDHCP_clicked();
}
void MainWindow::on_radioButtonStatIP_clicked()
{
    networkPage->on_radioButtonStatIP_clicked();
}
void MainWindow::on_applyNetworkButton_clicked()
{
    networkPage->applyLocalNetwork();
}
void MainWindow::checkIfUp()
{
    networkPage->checkIfUp();
}
void MainWindow::on_applyScResButton_clicked()
{
    resolutionPage->on_applyScResButton_clicked();
}
void MainWindow::on_applyGUIReslButton_2_clicked()
{
    resolutionPage->on_applyGUIReslButton_2_clicked();
}
void MainWindow::on_hot_keyButton_clicked()
{
    formPage(Page::HotKey);
    hotKeyPage->on_hot_keyButton_clicked();
}
void MainWindow::on_buttonApplyHotKey_clicked()
{
    hotKeyPage->on_buttonApplyHotKey_clicked();
}
void MainWindow::on_toolButtonPowerMode_clicked()
{
    formPage(Page::PowerMode);
    powerModePage->on_toolButtonPowerMode_clicked();
}
void MainWindow::on_applyButtonPowerMode_clicked()
{
    powerModePage->on_applyButtonPowerMode_clicked();
}
void MainWindow::on_toolButtonPreferences_clicked()
{
    formPage(Page::Preferences);
    preferencesPage->on_toolButtonPreferences_clicked();
}
void MainWindow::on_pushButtonSaveOnPUp_clicked()
{
    preferencesPage->on_pushButtonSaveOnPUp_clicked();
}
void MainWindow::on_buttonTimerSettings_clicked()
{
    formPage(Page::Timers);
    timersPage->on_buttonTimerSettings_clicked();
}
void MainWindow::on_buttonApplyTimers_clicked()
{
    timersPage->on_buttonApplyTimers_clicked();
}
void MainWindow::on_toolButtonGeneralSettings_clicked()
{
    formPage(Page::GeneralSettings);
    generalSettingsPage->on_toolButtonGeneralSettings_clicked();
}
void MainWindow::on_pushButtonApplyGeneralSettings_clicked()
{
    generalSettingsPage->on_pushButtonApplyGeneralSettings_clicked();
}

// The form's own set-up fires these before the pages exist.
void MainWindow::on_comboBoxHotKey_currentIndexChanged(const QString& name)
{
    if (hotKeyPage)
        hotKeyPage->on_comboBoxHotKey_currentIndexChanged(name);
}

void MainWindow::on_checkBoxFunctionalHotKey_stateChanged(int state)
{
    if (hotKeyPage)
        hotKeyPage->on_checkBoxFunctionalHotKey_stateChanged(state);
}

void MainWindow::on_checkBoxRedirTouchscreen_stateChanged(int state)
{
    if (generalSettingsPage)
        generalSettingsPage->on_checkBoxRedirTouchscreen_stateChanged(state);
}
