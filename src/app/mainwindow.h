#pragma once

#include "app/guifiles.h"
#include "app/statisticsreporter.h"
#include "app/worker.h"
#include "database/databasestorage.h"
#include "platform/durablewriter.h"
#include "services/device_services.h"

#include <QMainWindow>

class Platform;
class QTimer;
struct LoggedInUser;

namespace Ui {
class MainWindow;
}

// The OSD's one window for the whole run: it owns the database document, the
// GUI files and every timer.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(Platform& platform, const char* disconnectReason, LoggedInUser* user, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The redundant database; the document and the copy in use live there.
    void repairDatabaseFiles();
    QString selectDatabaseFile();
    void loadDatabaseDocument();
    void mirrorDatabaseFile(const QString& path);
    bool saveDatabase();
    void createNewDatabase();
    void upgradeDatabaseSchema();
    DatabaseStorage& storage() { return database; }
    QDomDocument& document() { return database.document; }

    // The GUI's own files and the statistics service.
    void createGuiSettingsFile();
    QString readAutoLoginUser();
    void writeAutoLoginUser(const QString& userName);
    QString readPowerMode();
    void ensureAuthenticationStatFile();
    void incrementAuthenticationStat(const QString& key);

    // One background work item at a time (the receiver upgrade).
    QThread* initializeWorker(Worker* worker);
    void deinitializeWorker();

    bool isUnitManaged();
    void showWarning(const QString& title, const QString& text);

signals:
    void closeActiveDialogs();

public slots:
    void showMessage(const QString& title, const QString& message);
    void sendAuthenticationStats();
    void sendConnectionStats();
    void sendSystemStat();

private:
    Platform& platform;
    Ui::MainWindow* ui;
    LoggedInUser* user;
    DurableWriter writer;
    DatabaseStorage database;
    GuiSettingsFile guiSettings;
    StatisticsReporter statistics;
    WorkerSlot workerSlot { "QThread* MainWindow::initializeWorker(Worker*)", "void MainWindow::deinitializeWorker()" };
    BoardInfo boardInfo {};
    bool loggedOn = false;
    bool unitManaged = false;
    bool safeMode = false;
    const int maxEntries = 32;
    QTimer* systemStatTimer = nullptr;
};
