#include "userdata.h"

#include "app/titleheader.h"
#include "ui_userdata.h"

#include "app/osdcontext.h"
#include "database/dbnames.h"
#include "rules/userrules.h"
#include "services/device_services.h"
#include "users/connectionpicker.h"
#include "users/userstore.h"

UserData::UserData(OsdContext& context)
    : QDialog(context.window())
    , context(context)
    , ui(new Ui::UserData)
{
    malvo_syslog(5, "### UserData Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("New User Data"));
    ui->comboBoxPrivilege->addItems(UserRules::privileges());
    picker = new ConnectionPicker(ui->allConectionsListWidget, ui->usrConnectionsListWidget,
        ui->checkBoxAutoConnect, ui->comboBoxAutoConnect, this);
    picker->fill(context.document(), {}, QString());
    context.closeOnLogoff(this);
    malvo_syslog(5, "### UserData Constructor End ###\n");
}

UserData::~UserData()
{
    delete ui;
}

void UserData::on_lineEditUsrName_textChanged(const QString& text)
{
    ui->labelAutoConnectUser->setText(text);
}

void UserData::on_addConn2UsrButton_clicked()
{
    picker->addCurrent();
}

void UserData::on_RmvConnFromUsrButton_clicked()
{
    picker->removeCurrent();
}

void UserData::on_pushButtonFaorites_clicked()
{
    malvo_syslog(5, "UserData: Action Assign Favorites.\n");
    assignFavorites(context, this, ui->lineEditUsrName->text(), false, picker->selectedNames(), favorites);
}

void UserData::on_CancelUsrDataButton_clicked()
{
    malvo_syslog(5, "UserData: Action Cancel Dialog.\n");
    reject();
}

void UserData::on_saveUsrDataButton_clicked()
{
    malvo_syslog(5, "UserData: Action Save New User data to database.\n");
    const QString name = ui->lineEditUsrName->text();
    const QString refusal = UserRules::newUserRefusal(
        context.document(), name, ui->lineEditUsrPass->realText(), ui->lineEditConfPass->realText());
    if (!refusal.isEmpty()) {
        context.showMessage(QStringLiteral("Information"), refusal);
        return;
    }
    const auto add = [&](QDomDocument& document) {
        QDomElement user = document.createElement(QLatin1String(db::User));
        user.setAttribute(QLatin1String(db::UserName), name);
        user.setAttribute(QLatin1String(db::Password), ui->lineEditUsrPass->realText());
        user.setAttribute(QLatin1String(db::Privilege), ui->comboBoxPrivilege->currentText());
        UserRules::setConnections(user, picker->selectedNames(), picker->autoConnectName());
        UserRules::storeFavorites(user, favorites.table);
        UserRules::usersSection(document).appendChild(user);
    };
    if (!storeUserChange(context, add, "UserData: Can not open file: %s",
            QStringLiteral("The new user could not be saved.")))
        return;
    malvo_syslog(6, "UserData: New User Data Dialog Accepted.\n");
    accept();
}
