#include "osdcontext.h"

#include "app/osdmessagebox.h"
#include "database/databasestorage.h"
#include "platform/platform.h"
#include "services/device_services.h"

#include <QDialog>
#include <QFileInfo>

OsdContext::OsdContext(Platform& platform, DatabaseStorage& storage, GuiSettingsFile& guiSettings,
                       StatisticsReporter& statistics, QWidget* window)
    : QObject(window)
    , unitPlatform(platform)
    , database(storage)
    , settingsFile(guiSettings)
    , reporter(statistics)
    , osdWindow(window)
{
}

QDomDocument& OsdContext::document() const { return database.document; }

bool OsdContext::isSafeMode() const
{
    return QFileInfo(unitPlatform.unitPath(QStringLiteral("/SAFEMODE"))).isFile();
}

void OsdContext::showMessage(const QString& title, const QString& text)
{
    ask(title, text, QMessageBox::Ok);
}

void OsdContext::showWarning(const QString& title, const QString& text)
{
    malvo_syslog(6, "MainWindow: User Message: %s.\n", qPrintable(text));
    ask(title, text, QMessageBox::Ok);
}

int OsdContext::ask(const QString& title, const QString& text, QMessageBox::StandardButtons buttons)
{
    OsdMessageBox box(title, text, buttons, osdWindow);
    // A box left open by an inactivity log-off would sit over the log-on dialog.
    connect(this, &OsdContext::closeActiveDialogs, &box, &QMessageBox::reject);
    return box.exec();
}

void OsdContext::closeOnLogoff(QDialog* dialog)
{
    connect(this, &OsdContext::closeActiveDialogs, dialog, &QDialog::reject);
}

void OsdContext::reboot()
{
    malvo_syslog(5, "MainWindow: Action Reboot.\n");
    unitPlatform.startDetached(QStringLiteral("/sbin/reboot"), { QStringLiteral("-f") });
}

void OsdContext::endLogon()
{
    session.end();
}
