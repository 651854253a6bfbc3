#include "editudata.h"

#include "app/titleheader.h"
#include "ui_editudata.h"

#include "app/osdcontext.h"
#include "database/dbnames.h"
#include "rules/guifiles.h"
#include "rules/userrules.h"
#include "services/device_services.h"
#include "services/servicetext.h"
#include "users/changepassword.h"
#include "users/connectionpicker.h"
#include "rules/unitsettings.h"
#include "users/userstore.h"

EditUData::EditUData(OsdContext& context, const QString& userName)
    : QDialog(context.window())
    , context(context)
    , ui(new Ui::EditUData)
    , oldName(userName)
{
    malvo_syslog(5, "### EditUData Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Edit User Data"));
    const QDomElement user = UserRules::findUser(context.document(), userName);

    ui->labelOldName->setText(userName);
    ui->lineEditUNameEdt->setText(userName);
    ui->comboBoxEdtUPriv->addItems(UserRules::privileges());
    // A privilege this unit does not offer is shown as it is, so saving keeps it.
    const QString privilege = user.attribute(QLatin1String(db::Privilege));
    if (ui->comboBoxEdtUPriv->findText(privilege) < 0)
        ui->comboBoxEdtUPriv->addItem(privilege);
    ui->comboBoxEdtUPriv->setCurrentIndex(ui->comboBoxEdtUPriv->findText(privilege));
    const bool protectedUser = userName == QLatin1String(UserRules::protectedUser);
    ui->lineEditUNameEdt->setEnabled(!protectedUser);
    ui->comboBoxEdtUPriv->setEnabled(!protectedUser);

    picker = new ConnectionPicker(ui->listWidgetAvailConnEdt, ui->listWidgetUConnEdt,
        ui->checkBoxEdtConOnLogin, ui->comboBoxEdtConOnLogin, this);
    picker->fill(context.document(), UserRules::connectionsOf(user), UserRules::autoConnectOf(user));
    context.closeOnLogoff(this);
    malvo_syslog(5, "### EditUData Constructor End ###\n");
}

EditUData::~EditUData()
{
    delete ui;
}

void EditUData::on_lineEditUNameEdt_textChanged(const QString& text)
{
    ui->labelAutoConnectUser->setText(text);
}

void EditUData::on_addUConChangeButton_clicked()
{
    picker->addCurrent();
}

void EditUData::on_remUConChangeButton_clicked()
{
    picker->removeCurrent();
}

void EditUData::on_pushButtonFavorites_clicked()
{
    malvo_syslog(5, "EditUData: Action Assign Favorites.\n");
    assignFavorites(context, this, oldName, true, picker->selectedNames(), favorites);
}

void EditUData::on_buttonChangePassw_clicked()
{
    malvo_syslog(5, "EditUData: Action Change User Password.\n");
    ChangePassword dialog(context, this, oldName, QStringLiteral("Password Reset"));
    dialog.exec();
}

void EditUData::on_cancelUsrDataChangesButton_clicked()
{
    malvo_syslog(5, "EditUData: Action Cancel Dialog.\n");
    reject();
}

void EditUData::on_saveUsrDataChangesButton_clicked()
{
    malvo_syslog(5, "EditUData: Action Save User Data to DB\n");
    const QDomElement user = UserRules::findUser(context.document(), oldName);
    // The form disables these for "admin"; the rule holds here whatever the form says.
    const bool protectedUser = oldName == QLatin1String(UserRules::protectedUser);
    QString newName = protectedUser ? oldName : ui->lineEditUNameEdt->text();
    // A provided database may hold a longer name than the field takes; left
    // as the field showed it, it is the stored name, not a shorter one.
    if (newName == oldName.left(ui->lineEditUNameEdt->maxLength()))
        newName = oldName;
    const QString privilege
        = protectedUser ? user.attribute(QLatin1String(db::Privilege)) : ui->comboBoxEdtUPriv->currentText();
    QString refusal = UserRules::editRefusal(context.document(), oldName, newName);
    if (refusal.isEmpty() && user.isNull())
        refusal = QStringLiteral("User ") + oldName + QStringLiteral(" does not exist any more.");
    if (!refusal.isEmpty()) {
        context.showMessage(QStringLiteral("Information"), refusal);
        return;
    }

    // Read before the rename: the reading only returns names the database holds.
    const bool wasAutoLogonUser = autoLogonUser(context) == oldName;
    const auto edit = [&](QDomDocument& document) {
        QDomElement edited = UserRules::findUser(document, oldName);
        edited.setAttribute(QLatin1String(db::UserName), newName);
        edited.setAttribute(QLatin1String(db::Privilege), privilege);
        UserRules::setConnections(edited, picker->selectedNames(), picker->autoConnectName());
        // Favourites the administrator did not open stay as they are stored.
        if (favorites.chosen)
            UserRules::storeFavorites(edited, favorites.table);
        if (readUnitSetting(document, UnitSetting::AutoLogonUser) == oldName && !oldName.isEmpty())
            writeUnitSetting(document, UnitSetting::AutoLogonUser, newName);
    };
    if (!storeUserChange(context, edit, "EditUData: Can not open file: %s",
            QStringLiteral("The user data could not be saved.")))
        return;
    if (newName != oldName)
        carryRename(newName, wasAutoLogonUser);
    malvo_syslog(6, "EditUData: Edit User Data Dialog Accepted.\n");
    accept();
}

void EditUData::carryRename(const QString& newName, bool wasAutoLogonUser)
{
    if (wasAutoLogonUser)
        context.guiSettings().writeAutoLoginUser(newName);
    if (context.loggedInUser() == oldName) {
        emit loggedOnUserRenamed(newName);
        const ServiceText<SU_USER_NAME_LEN> name(newName);
        if (su_set_logged_in_user(name) != 0)
            malvo_syslog(3, "Error: user name not logged to database");
    }
    oldName = newName;
}
