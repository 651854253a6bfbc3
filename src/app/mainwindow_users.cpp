// The Users tab's slots and the favourites button of the Connections tab; the
// work is the user tab's. The Preferences page's automatic log-on choice
// follows the users.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "rules/userrules.h"
#include "users/usertab.h"

void MainWindow::refillAutoLogonChoice()
{
    // Its page takes the choice when it is built.
    if (!isPageBuilt(Page::Preferences))
        return;
    ui->comboBoxALogUsr->clear();
    ui->comboBoxALogUsr->addItems(UserRules::userNames(document()));
    const QString automatic = readAutoLoginUser();
    const int index = automatic.isEmpty() ? -1 : ui->comboBoxALogUsr->findText(automatic);
    if (index >= 0)
        ui->comboBoxALogUsr->setCurrentIndex(index);
    ui->checkBoxAutoLog->setChecked(index >= 0);
}
void MainWindow::on_addUserButton_clicked()
{
    userTab->addUser();
}
void MainWindow::on_editUserButton_clicked()
{
    userTab->editUser();
}
void MainWindow::on_removeUserButton_clicked()
{
    userTab->removeUser();
}
void MainWindow::on_toolButtonMyPassCh_clicked()
{
    userTab->changeOwnPassword();
}
void MainWindow::on_pushButtonMyFavorites_clicked()
{
    userTab->showMyFavorites();
}
