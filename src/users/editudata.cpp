#include "editudata.h"

#include "app/titleheader.h"
#include "ui_editudata.h"

#include "app/mainwindow.h"
#include "database/dbnames.h"
#include "services/servicetext.h"
#include "users/changepassword.h"
#include "users/connectionpicker.h"
#include "rules/unitsettings.h"
#include "rules/userrules.h"
#include "users/userstore.h"

EditUData::EditUData(MainWindow* mainWindow, const QString& userName)
    : QDialog(mainWindow)
    , mainWindow(mainWindow)
    , ui(new Ui::EditUData)
    , oldName(userName)
{
    malvo_syslog(5, "### EditUData Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Edit User Data"));
    const QDomElement user = UserRules::findUser(mainWindow->document(), userName);

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
    picker->fill(mainWindow->document(), UserRules::connectionsOf(user), UserRules::autoConnectOf(user));
    connect(mainWindow, &MainWindow::closeActiveDialogs, this, &QDialog::reject);
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
    assignFavorites(mainWindow, this, oldName, true, picker->selectedNames(), favorites);
}

void EditUData::on_buttonChangePassw_clicked()
{
    malvo_syslog(5, "EditUData: Action Change User Password.\n");
    ChangePassword dialog(mainWindow, this, oldName, QStringLiteral("Password Reset"));
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
    const QDomElement user = UserRules::findUser(mainWindow->document(), oldName);
    // The form disables these for "admin"; the rule holds here whatever the form says.
    const bool protectedUser = oldName == QLatin1String(UserRules::protectedUser);
    QString newName = protectedUser ? oldName : ui->lineEditUNameEdt->text();
    // A provided database may hold a longer name than the field takes; left
    // as the field showed it, it is the stored name, not a shorter one.
    if (newName == oldName.left(ui->lineEditUNameEdt->maxLength()))
        newName = oldName;
    const QString privilege
        = protectedUser ? user.attribute(QLatin1String(db::Privilege)) : ui->comboBoxEdtUPriv->currentText();
    QString refusal = UserRules::editRefusal(mainWindow->document(), oldName, newName);
    if (refusal.isEmpty() && user.isNull())
        refusal = QStringLiteral("User ") + oldName + QStringLiteral(" does not exist any more.");
    if (!refusal.isEmpty()) {
        mainWindow->showMessage(QStringLiteral("Information"), refusal);
        return;
    }

    // Read before the rename: the reading only returns names the database holds.
    const bool wasAutoLogonUser = mainWindow->readAutoLoginUser() == oldName;
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
    if (!storeUserChange(mainWindow, edit, "EditUData: Can not open file: %s",
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
        mainWindow->writeAutoLoginUser(newName);
    if (mainWindow->getLoggedInUser() == oldName) {
        mainWindow->setLoggedInUser(newName);
        const ServiceText<SU_USER_NAME_LEN> name(newName);
        if (su_set_logged_in_user(name) != 0)
            malvo_syslog(3, "Error: user name not logged to database");
    }
    oldName = newName;
}
