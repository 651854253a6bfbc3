// Keyboard and tab handling of the main window: the OSD is driven from the
// keyboard, so Return acts on whatever has the focus.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "connections/connectiontab.h"
#include "users/usertab.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMenu>
#include <QWidgetAction>

void MainWindow::on_tabWidget_currentChanged(int index)
{
    if (isSafeMode()) {
        if (index == 0)
            ui->stackedWidget->setCurrentIndex(2);
        else if (index == 1)
            showUnitInformation();
        return;
    }
    const QString tab = ui->tabWidget->tabText(index);
    if (tab == QLatin1String("Connections")) {
        malvo_syslog(6, "MainWindow: Action Open Connections TAB.\n");
        showNormal();
        if (connectionTab)
            connectionTab->fillConnectionList();
    } else if (tab == QLatin1String("Control")) {
        malvo_syslog(6, "MainWindow: Action Open Control TAB.\n");
        showNormal();
        ui->stackedWidget->setCurrentIndex(5);
    } else if (tab == QLatin1String("Users")) {
        malvo_syslog(6, "MainWindow: Action Open Users TAB.\n");
        showNormal();
        if (userTab)
            userTab->fillUserList();
    } else if (tab == QLatin1String("Information")) {
        malvo_syslog(6, "MainWindow: Action Open Information TAB.\n");
        showNormal();
        showUnitInformation();
    }
}

void MainWindow::on_screenResButton_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Screen Resolution Page.\n");
    ui->stackedWidget->setCurrentIndex(0);
}

void MainWindow::on_networkButton_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open Local device Network Page.\n");
    ui->stackedWidget->setCurrentIndex(1);
}

void MainWindow::on_systemPageButton_clicked()
{
    malvo_syslog(6, "MainWindow: Action Open System Page.\n");
    ui->stackedWidget->setCurrentIndex(2);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The keypad's Enter and every other key do nothing; safe mode ignores keys.
    if (isSafeMode() || event->key() != Qt::Key_Return)
        return;
    QWidget* focused = focusWidget();
    if (focused == ui->powreOffButton) {
        ui->powreOffButton->showMenu();
        return;
    }
    if (QAction* active = powerMenu ? powerMenu->activeAction() : nullptr) {
        if (active == logOffAction)
            logoff();
        else if (active == rebootAction)
            sureReboot();
        return;
    }
    // Only controls on the current tab act; anything else ignores Return.
    QWidget* page = ui->tabWidget->currentWidget();
    if (!focused || !page || !page->isAncestorOf(focused))
        return;
    if (focused == ui->listWidgetVM) {
        ui->connectButton->click();
    } else if (auto* box = qobject_cast<QCheckBox*>(focused)) {
        box->toggle();
    } else if (auto* button = qobject_cast<QAbstractButton*>(focused)) {
        button->click();
    }
}
