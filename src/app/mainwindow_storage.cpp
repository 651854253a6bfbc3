// The main window's storage, GUI-file and statistics operations, kept under
// their own names and carried out by the components the window owns.
#include "mainwindow.h"

void MainWindow::repairDatabaseFiles() { database.repairDatabaseFiles(); }
QString MainWindow::selectDatabaseFile() { return database.selectDatabaseFile(); }
void MainWindow::loadDatabaseDocument() { database.loadDatabaseDocument(); }
void MainWindow::mirrorDatabaseFile(const QString& path) { database.mirrorDatabaseFile(path); }
bool MainWindow::saveDatabase() { return database.saveDatabase(); }
bool MainWindow::createNewDatabase() { return database.createNewDatabase(); }
void MainWindow::upgradeDatabaseSchema() { database.upgradeDatabaseSchema(); }

void MainWindow::createGuiSettingsFile() { guiSettings.createGuiSettingsFile(); }
QString MainWindow::readAutoLoginUser() { return guiSettings.readAutoLoginUser(document(), isManaged()); }
void MainWindow::writeAutoLoginUser(const QString& userName) { guiSettings.writeAutoLoginUser(userName); }
QString MainWindow::readPowerMode() { return guiSettings.readPowerMode(); }
void MainWindow::ensureAuthenticationStatFile() { statistics.ensureAuthenticationStatFile(); }
void MainWindow::incrementAuthenticationStat(const QString& key) { statistics.incrementAuthenticationStat(key); }
void MainWindow::sendAuthenticationStats() { statistics.sendAuthenticationStats(); }
void MainWindow::sendConnectionStats() { statistics.sendConnectionStats(); }
void MainWindow::sendSystemStat() { statistics.sendSystemStat(); }
