#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class MainWindow;
class NetworkPage;

// The "Information" tab: the unit's identity and its live network state.
class UnitInformation : public QObject {
    Q_OBJECT

public:
    UnitInformation(MainWindow* mainWindow, NetworkPage* networkPage);

    void showUnitInformation();
    // "model" or "serial" from the unit's services; -1 for any other name.
    int getDeviceFact(const QString& name, QString* text);
    QString readManagerIp();

    QString serialNumber;
    QString modelNumber;
    // Nothing tells this unit that it manages others, so it never claims to.
    bool unitIsManager = false;

private:
    MainWindow* mainWindow;
    NetworkPage* networkPage;
};
