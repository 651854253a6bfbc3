// What a logged-on user sees: the tab set and page buttons of each privilege,
// managed or not, and the reduced set of safe mode.
#include "mainwindow.h"
#include "app/mainwindowform.h"
#include "ui_pagepreferences.h"

#include "database/dbnames.h"
#include "users/usertab.h"
#include "settings/controlpages.h"
#include "settings/resolutionpage.h"

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

// A page not built yet takes its part when it is built, in the same order.
void MainWindow::applyPrivilege(const QDomElement& userElement)
{
    const QString privilege = userElement.attribute(db::Privilege);
    const bool managed = isManaged();
    QTabWidget* tabs = ui->tabWidget;
    const std::initializer_list<QWidget*> connectionButtons { ui->newConnectionButton, ui->editConnectionButton,
                                                              ui->removeConnectionButton };

    if (privilege == QLatin1String("Administrator")) {
        onPage(Page::Preferences, [this, managed] {
            const Ui::PagePreferences& page = preferencesPage->widgets();
            setAllShown({ page.networkButton, page.systemPageButton, page.screenResButton, page.toolButtonMyPassCh,
                          page.transmitterButton, page.hot_keyButton, page.labelHotKeySettings,
                          page.labelTimersSettings, page.buttonTimerSettings },
                        true);
            if (!managed) {
                setAllEnabled({ page.networkButton, page.systemPageButton, page.screenResButton,
                                page.toolButtonMyPassCh, page.transmitterButton, page.hot_keyButton,
                                page.labelHotKeySettings, page.labelTimersSettings, page.buttonTimerSettings,
                                page.pushButtonSaveOnPUp },
                              true);
            } else {
                setAllEnabled({ page.networkButton, page.toolButtonMyPassCh, page.hot_keyButton }, false);
                setAllShown({ page.screenResButton, page.hot_keyButton }, true);
            }
        });
        setAllShown(connectionButtons, true);
        if (!managed) {
            setAllEnabled(connectionButtons, true);
            ui->stackedWidget->setCurrentIndex(0);
        } else {
            setAllEnabled(connectionButtons, false);
            onPage(Page::Users, [this] { userTab->setActionsEnabled(false); });
            onPage(Page::ScreenResolution, [this] { resolutionPage->showManaged(); });
            onPage(Page::System, [this] {
                setAllEnabled({ ui->system.startupgradeButton, ui->system.brokerButton }, false);
                ui->system.restoreButton->show();
                ui->system.restoreButton->setEnabled(true);
            });
        }
    } else if (privilege == QLatin1String("Power User")) {
        removeTab(tabs, ui->usersTab);
        setAllShown(connectionButtons, false);
        onPage(Page::Preferences, [this, managed] {
            const Ui::PagePreferences& page = preferencesPage->widgets();
            setAllShown({ page.networkButton, page.systemPageButton, page.transmitterButton, page.hot_keyButton,
                          page.labelHotKeySettings, page.labelTimersSettings, page.buttonTimerSettings },
                        false);
            page.toolButtonMyPassCh->show();
            if (!managed) {
                page.transmitterButton->show();
            } else {
                page.toolButtonMyPassCh->setEnabled(false);
                page.screenResButton->show();
                page.screenResButton->setEnabled(true);
            }
        });
        ui->stackedWidget->setCurrentIndex(0);
        if (managed)
            onPage(Page::ScreenResolution, [this] { resolutionPage->showManaged(); });
    } else if (privilege == QLatin1String("User")) {
        removeTab(tabs, ui->usersTab);
        removeTab(tabs, ui->controlTab);
        setAllShown(connectionButtons, false);
        onPage(Page::Preferences, [this] { preferencesPage->widgets().toolButtonMyPassCh->hide(); });
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
    ui->toolButtonPreferences->hide();
    onPage(Page::Preferences, [this] {
        const Ui::PagePreferences& page = preferencesPage->widgets();
        setAllShown({ page.networkButton, page.toolButtonMyPassCh, page.screenResButton, page.hot_keyButton,
                      page.transmitterButton },
                    false);
        page.systemPageButton->show();
    });
    ui->stackedWidget->setCurrentIndex(2);
    // The upgrade, diagnostics and broker buttons are what safe mode is for.
    onPage(Page::System, [this] {
        const Ui::PageSystem& page = ui->system;
        setAllShown({ page.restoreButton, page.exportButton, page.importButton, page.label_2, page.labelExport,
                        page.labelImport },
            false);
    });
    ui->labelWelcome->setEnabled(false);
}
