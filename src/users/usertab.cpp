#include "usertab.h"

#include "app/mainwindow.h"
#include "app/osdmessagebox.h"
#include "connections/connectiontab.h"
#include "app/mainwindowform.h"
#include "users/changepassword.h"
#include "users/editudata.h"
#include "users/favorites.h"
#include "users/userdata.h"
#include "rules/unitsettings.h"
#include "rules/userrules.h"
#include "users/userstore.h"


UserTab::UserTab(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void UserTab::fillUserList()
{
    // Its tab takes the list when it is built.
    if (mainWindow->isPageBuilt(MainWindow::Page::Users)) {
        QListWidget* list = mainWindow->formFrame().userlistWidget;
        const QString current = list->currentItem() ? list->currentItem()->text() : QString();
        list->clear();
        list->addItems(UserRules::userNames(mainWindow->document()));
        const QList<QListWidgetItem*> rows = list->findItems(current, Qt::MatchExactly);
        if (!rows.isEmpty())
            list->setCurrentItem(rows.first());
    }
    mainWindow->connectionTab->updateListButtons();
}

void UserTab::refresh()
{
    fillUserList();
    mainWindow->refillAutoLogonChoice();
    mainWindow->connectionTab->fillConnectionList();
}

void UserTab::addUser()
{
    malvo_syslog(6, "MainWindow: Action Open New User Dialog.\n");
    if (UserRules::userNames(mainWindow->document()).size() >= mainWindow->maxEntries) {
        mainWindow->showMessage(QStringLiteral("Information"),
            QStringLiteral("The maximum number of users is limited to ")
                + QString::number(mainWindow->maxEntries)
                + QStringLiteral(". Remove any existing user before adding new user."));
        mainWindow->raise();
        return;
    }
    {
        UserData dialog(mainWindow);
        dialog.exec();
    }
    refresh();
}

void UserTab::editUser()
{
    malvo_syslog(6, "MainWindow: Action Open Edit User Dialog.\n");
    QListWidget* list = mainWindow->formPage(MainWindow::Page::Users).userlistWidget;
    if (!list->currentItem())
        return;
    QString name = list->currentItem()->text();
    {
        EditUData dialog(mainWindow, name);
        dialog.exec();
        name = dialog.savedName();
    }
    refresh();
    const QList<QListWidgetItem*> rows = list->findItems(name, Qt::MatchExactly);
    if (!rows.isEmpty())
        list->setCurrentItem(rows.first());
}

void UserTab::changeOwnPassword()
{
    ChangePassword dialog(
        mainWindow, mainWindow, mainWindow->getLoggedInUser(), QStringLiteral("Password Change"));
    dialog.exec();
    fillUserList();
}

void UserTab::showMyFavorites()
{
    malvo_syslog(6, "MainWindow: Action Open My Favorites.\n");
    const QString name = mainWindow->getLoggedInUser();
    Favorites dialog(mainWindow, mainWindow, Favorites::showMode, name, {}, loadFavorites(mainWindow, name));
    dialog.exec();
}

bool UserTab::confirmRemoval(const QString& name)
{
    // The OSD box defaults to Cancel: Return must not remove anyone by accident.
    OsdMessageBox box(QStringLiteral("Remove User"),
        QStringLiteral("Do you want to remove user '") + name + QStringLiteral("' ?"),
        QMessageBox::Yes | QMessageBox::Cancel, mainWindow, QMessageBox::Question);
    connect(mainWindow, &MainWindow::closeActiveDialogs, &box, &QDialog::reject);
    return box.exec() == QMessageBox::Yes;
}

void UserTab::removeUser()
{
    malvo_syslog(6, "MainWindow: Action Remove User.\n");
    const QListWidgetItem* item = mainWindow->formPage(MainWindow::Page::Users).userlistWidget->currentItem();
    if (!item)
        return;
    const QString name = item->text();
    const QString refusal = UserRules::removalRefusal(name, mainWindow->getLoggedInUser());
    if (!refusal.isEmpty()) {
        mainWindow->showMessage(QStringLiteral("Information"), refusal);
        return;
    }
    if (!confirmRemoval(name))
        return;

    malvo_syslog(7, "MainWindow: User %s removed from DB", qPrintable(name));
    // Read while the user still exists: the reading drops names the database lacks.
    const bool wasAutoLogonUser = mainWindow->readAutoLoginUser() == name;
    const auto remove = [&](QDomDocument& document) {
        // Every user of that name, whichever section holds it.
        for (QDomElement user = UserRules::findUser(document, name); !user.isNull();
             user = UserRules::findUser(document, name))
            user.parentNode().removeChild(user);
        if (readUnitSetting(document, UnitSetting::AutoLogonUser) == name)
            writeUnitSetting(document, UnitSetting::AutoLogonUser, QString());
    };
    // The storage logs the failed write itself, with this very line.
    const bool removed
        = storeUserChange(mainWindow, remove, nullptr, QStringLiteral("The user could not be removed."));
    // A name left in the settings file would log a later user of that name on at start.
    if (removed && wasAutoLogonUser)
        mainWindow->writeAutoLoginUser(QString());
    refresh();
}
