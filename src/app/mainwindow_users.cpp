// The Users tab's slots and the favourites button of the Connections tab; the
// work is the user tab's. The Preferences page's automatic log-on choice
// follows the users.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "rules/userrules.h"
#include "settings/controlpages.h"
#include "users/usertab.h"

void MainWindow::refillAutoLogonChoice()
{
    preferencesPage->fillAutoLogonChoice();
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
