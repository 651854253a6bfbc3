#include "diagnosticsfile.h"

#include "app/mainwindow.h"
#include "app/osdmessagebox.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "upgrade/usbdevice.h"

#include <QFile>

namespace DiagnosticsFile {

bool confirmReplacing(MainWindow* mainWindow, QWidget* parent, const QString& targetFile)
{
    if (!entryExists(targetFile))
        return true;
    OsdMessageBox question(QStringLiteral("Diagnostics File"),
                           QStringLiteral("Diagnostics file with same name already exist. Are you sure you want "
                                          "to overwrite the existing file?"),
                           QMessageBox::Yes | QMessageBox::No, parent);
    QObject::connect(mainWindow, &MainWindow::closeActiveDialogs, &question, &QMessageBox::reject);
    if (question.exec() != QMessageBox::Yes)
        return false;
    QFile::remove(targetFile);
    return true;
}

bool copyToStick(Platform& platform, const QString& source, const QString& target)
{
    if (entryExists(platform.unitPath(target)) || !copyWholeFile(platform, source, target))
        return false;
    platform.run(QLatin1String(UnitPrograms::sync), {});
    return true;
}

} // namespace DiagnosticsFile
