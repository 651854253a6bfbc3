#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class MainWindow;

// The "Screen Resolution" page: the resolution remote sessions ask for (kept in
// the database) and the OSD's own mode (kept in the unit's settings store;
// changing it ends the OSD so that it starts again in the new mode).
class ResolutionPage : public QObject {
    Q_OBJECT

public:
    static constexpr char databaseScript[] = "/opt/kestrix/database/rx_database.sh";

    explicit ResolutionPage(MainWindow* mainWindow);

    void loadResolutionPage();
    void readOsdModeFile();
    QStringList displayResolutions();
    QString readRdpResolution();
    QString rxDatabaseSelect(const QString& script, const QString& table, const QString& field);
    bool rxDatabaseUpdate(
        const QString& script, const QString& table, const QString& field, const QString& value);
    void on_applyScResButton_clicked();
    void on_applyGUIReslButton_2_clicked();

private:
    void fillPage(bool mayFallBack);
    bool storeRdpResolution(const QString& resolution);

    MainWindow* mainWindow;
};
