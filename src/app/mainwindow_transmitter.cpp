// The Control tab's transmitter button: the transmitter settings dialog.
#include "mainwindow.h"

#include "app/osdmessagebox.h"

#include "database/dbnames.h"
#include "transmitter/txsettings.h"
#include "users/userrules.h"

void MainWindow::on_transmitterButton_clicked()
{
    malvo_syslog(5, "MainWindow: Action Open Transmitter Dialog.\n");
    const QString role = UserRules::findUser(document(), getLoggedInUser()).attribute(db::Privilege);
    TXSettings dialog(isManaged(), this, role);
    // The transmitter's answers and file names are data: never read as markup.
    connect(&dialog, &TXSettings::message_request, this, [this](const QString& title, const QString& text) {
        OsdMessageBox box(title, text, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        connect(this, &MainWindow::closeActiveDialogs, &box, &QMessageBox::reject);
        box.exec();
    });
    dialog.exec();
}
