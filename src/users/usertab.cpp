#include "usertab.h"

#include "ui_pageusers.h"

#include "app/lazyicon.h"
#include "app/osdcontext.h"
#include "app/osdmessagebox.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "rules/guifiles.h"
#include "rules/userrules.h"
#include "services/device_services.h"
#include "users/changepassword.h"
#include "users/editudata.h"
#include "users/favorites.h"
#include "users/userdata.h"
#include "rules/unitsettings.h"
#include "users/userstore.h"

UserTab::UserTab(OsdContext& context, QObject* parent)
    : QObject(parent)
    , context(context)
{
}

UserTab::~UserTab()
{
    delete ui;
}

void UserTab::build(QWidget* shell)
{
    ui = new Ui::PageUsers;
    ui->setupUi(shell);
    // Decoded when first drawn, as the window's own buttons.
    ui->addUserButton->setIcon(lazyIcon(":/icons/icons/add.png"));
    ui->editUserButton->setIcon(lazyIcon(":/icons/icons/edit.png"));
    ui->removeUserButton->setIcon(lazyIcon(":/icons/icons/remove.png"));
}

const QListWidgetItem* UserTab::currentItem() const
{
    return ui ? ui->userlistWidget->currentItem() : nullptr;
}

void UserTab::fillUserList()
{
    // The tab takes the list when it is built.
    if (!ui)
        return;
    QListWidget* list = ui->userlistWidget;
    const QString current = list->currentItem() ? list->currentItem()->text() : QString();
    list->clear();
    list->addItems(UserRules::userNames(context.document()));
    const QList<QListWidgetItem*> rows = list->findItems(current, Qt::MatchExactly);
    if (!rows.isEmpty())
        list->setCurrentItem(rows.first());
    updateActions();
}

void UserTab::updateActions()
{
    // On a managed unit the privilege view decides; the appliance owns the configuration.
    if (context.isManaged())
        return;
    const int users = ui->userlistWidget->count();
    ui->addUserButton->setEnabled(users < maxEntries);
    ui->editUserButton->setEnabled(users > 0);
    ui->removeUserButton->setEnabled(users > 0);
}

void UserTab::setActionsEnabled(bool enabled)
{
    for (QWidget* widget : { ui->addUserButton, ui->editUserButton, ui->removeUserButton })
        widget->setEnabled(enabled);
}

void UserTab::refresh()
{
    fillUserList();
    emit context.usersChanged();
}

void UserTab::addUser()
{
    malvo_syslog(6, "MainWindow: Action Open New User Dialog.\n");
    if (UserRules::userNames(context.document()).size() >= maxEntries) {
        context.showMessage(QStringLiteral("Information"),
            QStringLiteral("The maximum number of users is limited to ") + QString::number(maxEntries)
                + QStringLiteral(". Remove any existing user before adding new user."));
        context.window()->raise();
        return;
    }
    {
        UserData dialog(context);
        dialog.exec();
    }
    refresh();
}

void UserTab::editUser()
{
    malvo_syslog(6, "MainWindow: Action Open Edit User Dialog.\n");
    if (!currentItem())
        return;
    QString name = currentItem()->text();
    {
        EditUData dialog(context, name);
        connect(&dialog, &EditUData::loggedOnUserRenamed, this, &UserTab::loggedOnUserRenamed);
        dialog.exec();
        name = dialog.savedName();
    }
    refresh();
    const QList<QListWidgetItem*> rows = ui->userlistWidget->findItems(name, Qt::MatchExactly);
    if (!rows.isEmpty())
        ui->userlistWidget->setCurrentItem(rows.first());
}

void UserTab::changeOwnPassword()
{
    ChangePassword dialog(
        context, context.window(), context.loggedInUser(), QStringLiteral("Password Change"));
    dialog.exec();
    fillUserList();
}

void UserTab::showMyFavorites()
{
    malvo_syslog(6, "MainWindow: Action Open My Favorites.\n");
    const QString name = context.loggedInUser();
    Favorites dialog(context, context.window(), Favorites::showMode, name, {}, loadFavorites(context, name));
    dialog.exec();
}

bool UserTab::confirmRemoval(const QString& name)
{
    // The OSD box defaults to Cancel: Return must not remove anyone by accident.
    OsdMessageBox box(QStringLiteral("Remove User"),
        QStringLiteral("Do you want to remove user '") + name + QStringLiteral("' ?"),
        QMessageBox::Yes | QMessageBox::Cancel, context.window(), QMessageBox::Question);
    connect(&context, &OsdContext::closeActiveDialogs, &box, &QDialog::reject);
    return box.exec() == QMessageBox::Yes;
}

void UserTab::removeUser()
{
    malvo_syslog(6, "MainWindow: Action Remove User.\n");
    const QListWidgetItem* item = currentItem();
    if (!item)
        return;
    const QString name = item->text();
    const QString refusal = UserRules::removalRefusal(name, context.loggedInUser());
    if (!refusal.isEmpty()) {
        context.showMessage(QStringLiteral("Information"), refusal);
        return;
    }
    if (!confirmRemoval(name))
        return;

    malvo_syslog(7, "MainWindow: User %s removed from DB", qPrintable(name));
    // Read while the user still exists: the reading drops names the database lacks.
    const bool wasAutoLogonUser = autoLogonUser(context) == name;
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
        = storeUserChange(context, remove, nullptr, QStringLiteral("The user could not be removed."));
    // A name left in the settings file would log a later user of that name on at start.
    if (removed && wasAutoLogonUser)
        context.guiSettings().writeAutoLoginUser(QString());
    refresh();
}
