// The System page's export, import and factory restore.
#include "mainwindow.h"

#include "upgrade/settingstransfer.h"

void MainWindow::on_exportButton_clicked()
{
    settingsTransfer->exportSettings();
}

void MainWindow::on_importButton_clicked()
{
    settingsTransfer->importSettings();
}

void MainWindow::on_restoreButton_clicked()
{
    settingsTransfer->restoreFactoryDefaults();
}
