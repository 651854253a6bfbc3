// The Control tab's transmitter button: the transmitter settings dialog.
#include "mainwindow.h"

#include "database/dbnames.h"
#include "transmitter/txsettings.h"
#include "rules/userrules.h"

void MainWindow::on_transmitterButton_clicked()
{
    malvo_syslog(5, "MainWindow: Action Open Transmitter Dialog.\n");
    const QString role = UserRules::findUser(document(), getLoggedInUser()).attribute(db::Privilege);
    TXSettings dialog(isManaged(), *osd, *rxUpgrade, role);
    connect(&dialog, &TXSettings::message_request, this, &MainWindow::showMessage);
    dialog.exec();
}
