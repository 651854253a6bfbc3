#include "changepassword.h"

#include "app/titleheader.h"
#include "ui_changepassword.h"

#include "app/osdcontext.h"
#include "database/dbnames.h"
#include "rules/userrules.h"
#include "services/device_services.h"
#include "users/userstore.h"

ChangePassword::ChangePassword(
    OsdContext& context, QWidget* parent, const QString& userName, const QString& title)
    : QDialog(parent)
    , context(context)
    , ui(new Ui::ChangePassword)
    , userName(userName)
{
    malvo_syslog(5, "### ChangePassword Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(title);
    ui->groupBoxPassword->setTitle(QStringLiteral("Password of ") + userName);
    context.closeOnLogoff(this);
    malvo_syslog(5, "### ChangePassword Constructor End ###\n");
}

ChangePassword::~ChangePassword()
{
    delete ui;
}

void ChangePassword::on_buttonCancelPass_clicked()
{
    malvo_syslog(5, "ChangePassword: Action Cancel.\n");
    reject();
}

void ChangePassword::on_buttonSavePass_clicked()
{
    malvo_syslog(5, "ChangePassword: Action save password.\n");
    const QDomDocument& document = context.document();
    QString refusal = UserRules::passwordRefusal(UserRules::findUser(document, context.loggedInUser()),
        ui->lineEditYourPassw->realText(), ui->lineEditUPasswEdt->realText(),
        ui->lineEditUPassConfEdt->realText());
    if (refusal.isEmpty() && UserRules::findUser(document, userName).isNull())
        refusal = QStringLiteral("User ") + userName + QStringLiteral(" does not exist any more.");
    if (!refusal.isEmpty()) {
        context.showMessage(QStringLiteral("Information"), refusal);
        return;
    }
    const QString password = ui->lineEditUPasswEdt->realText();
    const auto change = [&](QDomDocument& changed) {
        UserRules::findUser(changed, userName).setAttribute(QLatin1String(db::Password), password);
    };
    if (!storeUserChange(context, change, "Velmogui: Can not open file for writing: %s",
            QStringLiteral("The password could not be saved.")))
        return;
    malvo_syslog(6, "ChangePassword: Password Dialog Accepted.\n");
    accept();
}
