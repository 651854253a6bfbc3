#pragma once

#include "database/configtransfer.h"
#include "platform/durablewriter.h"

#include <QObject>
#include <QString>

class OsdContext;
class RxUpgrade;
class Platform;

// The System page's roads for the whole configuration: export to a USB stick,
// import from one (the unit keeps its own static addresses and reboots), and
// the factory restore.
class SettingsTransfer : public QObject {
    Q_OBJECT

public:
    SettingsTransfer(OsdContext& context, RxUpgrade& usb, QObject* parent);

    void exportSettings();
    void importSettings();
    void restoreFactoryDefaults();

private:
    // What ended a road on the stick: an error to show, success, or the user stopping it.
    struct Outcome {
        QString error;
        bool done = false;
    };
    bool confirmed(const QString& title, const QString& text);
    bool storeGuiSettingsInDocument();
    Outcome exportToStick();
    Outcome importFromStick(
        ConfigTransfer::ImportPlan& plan, const ConfigTransfer::UnitNetwork& unit, bool* storedInCopyA);
    bool storeImport(const ConfigTransfer::ImportPlan& plan, bool* storedInCopyA);
    // False when a file the unit needs for what the database now says could not be written.
    bool applyNetwork(ConfigTransfer::NetworkChoice choice, const ConfigTransfer::UnitNetwork& unit);
    bool applyGuiSettings(const ConfigTransfer::ImportPlan& plan);
    void applyPowerMode(const QString& mode);

    OsdContext& context;
    RxUpgrade& usb;
    Platform& platform;
    DurableWriter writer;
};
