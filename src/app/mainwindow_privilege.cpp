// What a logged-on user sees: the tab set and page buttons of each privilege,
// managed or not, and the reduced set of safe mode.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "database/dbnames.h"

namespace {

void setAllShown(std::initializer_list<QWidget*> widgets, bool shown)
{
    for (QWidget* widget : widgets)
        widget->setVisible(shown);
}

void setAllEnabled(std::initializer_list<QWidget*> widgets, bool enabled)
{
    for (QWidget* widget : widgets)
        widget->setEnabled(enabled);
}

void removeTab(QTabWidget* tabs, QWidget* page)
{
    const int index = tabs->indexOf(page);
    if (index >= 0)
        tabs->removeTab(index);
}

} // namespace

void MainWindow::applyPrivilege(const QDomElement& userElement)
{
    const QString privilege = userElement.attribute(db::Privilege);
    QTabWidget* tabs = ui->tabWidget;
    const std::initializer_list<QWidget*> connectionButtons { ui->newConnectionButton, ui->editConnectionButton,
                                                              ui->removeConnectionButton };

    if (privilege == QLatin1String("Administrator")) {
        setAllShown({ ui->networkButton, ui->systemPageButton, ui->screenResButton, ui->toolButtonMyPassCh,
                   ui->transmitterButton, ui->hot_keyButton, ui->labelHotKeySettings, ui->labelTimersSettings,
                   ui->buttonTimerSettings },
                 true);
        setAllShown(connectionButtons, true);
        if (!unitManaged) {
            setAllEnabled({ ui->networkButton, ui->systemPageButton, ui->screenResButton, ui->toolButtonMyPassCh,
                         ui->transmitterButton, ui->hot_keyButton, ui->labelHotKeySettings,
                         ui->labelTimersSettings, ui->buttonTimerSettings, ui->pushButtonSaveOnPUp },
                       true);
            setAllEnabled(connectionButtons, true);
            ui->stackedWidget->setCurrentIndex(0);
        } else {
            setAllEnabled(connectionButtons, false);
            setAllEnabled({ ui->addUserButton, ui->editUserButton, ui->removeUserButton, ui->networkButton,
                         ui->toolButtonMyPassCh, ui->hot_keyButton, ui->applyScResButton, ui->comboBox,
                         ui->startupgradeButton, ui->brokerButton },
                       false);
            setAllShown({ ui->applyGUIReslButton_2, ui->restoreButton, ui->screenResButton, ui->hot_keyButton }, true);
            setAllEnabled({ ui->applyGUIReslButton_2, ui->restoreButton }, true);
        }
    } else if (privilege == QLatin1String("Power User")) {
        removeTab(tabs, ui->usersTab);
        setAllShown({ ui->networkButton, ui->systemPageButton, ui->transmitterButton, ui->hot_keyButton,
                   ui->labelHotKeySettings, ui->labelTimersSettings, ui->buttonTimerSettings },
                 false);
        setAllShown(connectionButtons, false);
        ui->toolButtonMyPassCh->show();
        ui->stackedWidget->setCurrentIndex(0);
        if (!unitManaged) {
            ui->transmitterButton->show();
        } else {
            ui->toolButtonMyPassCh->setEnabled(false);
            ui->screenResButton->show();
            ui->screenResButton->setEnabled(true);
            setAllEnabled({ ui->comboBox, ui->applyScResButton }, false);
            ui->applyGUIReslButton_2->show();
            ui->applyGUIReslButton_2->setEnabled(true);
        }
    } else if (privilege == QLatin1String("User")) {
        removeTab(tabs, ui->usersTab);
        removeTab(tabs, ui->controlTab);
        setAllShown(connectionButtons, false);
        ui->toolButtonMyPassCh->hide();
    }
}

void MainWindow::applySafeModeTabs()
{
    QTabWidget* tabs = ui->tabWidget;
    while (tabs->count() > 0)
        tabs->removeTab(0);
    tabs->insertTab(0, ui->controlTab, QStringLiteral("Control"));
    tabs->insertTab(1, ui->informationTab, QStringLiteral("Information"));
    tabs->setCurrentIndex(0);
    setAllShown({ ui->networkButton, ui->toolButtonMyPassCh, ui->screenResButton, ui->hot_keyButton,
               ui->toolButtonPreferences, ui->transmitterButton },
             false);
    ui->systemPageButton->show();
    ui->stackedWidget->setCurrentIndex(2);
    // The upgrade, diagnostics and broker buttons are what safe mode is for.
    setAllShown({ ui->restoreButton, ui->exportButton, ui->importButton, ui->label_2, ui->labelExport,
               ui->labelImport },
             false);
    ui->labelWelcome->setEnabled(false);
}
