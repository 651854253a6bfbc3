// The USB roads of the Control tab: the receiver upgrade and the diagnostics.
#include "mainwindow.h"

#include <QFile>

#include "platform/platform.h"
#include "upgrade/debugdialog.h"
#include "rules/lsmdata.h"
#include "upgrade/rxupgrade.h"
#include "rules/usbdevice.h"

void MainWindow::on_startupgradeButton_clicked()
{
    malvo_syslog(5, "MainWindow: Action Local device Upgrade.\n");
    startRxUpgrade();
}

void MainWindow::on_diagnosticsButton_clicked()
{
    malvo_syslog(5, "MainWindow: Action Open Diagnostics Dialog.\n");
    debugDialog dialog(*osd, QStringLiteral("Diagnostics"));
    dialog.exec();
}

void MainWindow::startRxUpgrade() { rxUpgrade->startRxUpgrade(); }

int MainWindow::prepareUpgradePackage(QString& path, const QString& folder)
{
    return rxUpgrade->prepareUpgradePackage(path, folder);
}

int MainWindow::verifyPackageSignature(const QString& packagePath, const QString& title)
{
    return rxUpgrade->verifyPackageSignature(packagePath, title);
}

int MainWindow::remountUsbDevice() { return rxUpgrade->remountUsbDevice(); }

void MainWindow::txUpgrade(const QString& mpn) { rxUpgrade->txUpgrade(mpn); }

QString MainWindow::txUpgradeFile() const { return rxUpgrade->txUpgradeFile; }

int MainWindow::prepareRelease(const char* packagePath, const char* folder)
{
    return rxUpgrade->prepareRelease(packagePath, folder);
}

void MainWindow::upgradeSignatureVerified(int result) { rxUpgrade->upgradeSignatureVerified(result); }

int MainWindow::waitForDeCompress() { return rxUpgrade->waitForDeCompress(); }

void MainWindow::postRxUpgrade(int result, void* record) { rxUpgrade->postRxUpgrade(result, record); }

int MainWindow::checkForReleaseArchive(QString& file, QString folder, QString extension)
{
    return rxUpgrade->checkForReleaseArchive(file, folder, extension);
}

int MainWindow::checkForReleaseDirectories(QString& directory, QString folder)
{
    return rxUpgrade->checkForReleaseDirectories(directory, folder);
}

int MainWindow::removeDirectory(const char* path)
{
    return removeTree(platform.unitPath(QString::fromLocal8Bit(path)));
}

void MainWindow::EmupdateProgBar() { rxUpgrade->EmupdateProgBar(); }

int MainWindow::getTokenFromlsmFile(const char* token_name, const char* filename, char* token_value)
{
    const QByteArray file = QFile::encodeName(platform.unitPath(QString::fromLocal8Bit(filename)));
    return ::getTokenFromlsmFile(token_name, file.constData(), token_value);
}
