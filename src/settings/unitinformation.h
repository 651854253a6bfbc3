#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class OsdContext;
class QWidget;

namespace Ui {
class PageInformation;
}

// The "Information" tab: the unit's identity and its live network state, each
// read afresh when shown; the address also when the network changed.
class UnitInformation : public QObject {
    Q_OBJECT

public:
    explicit UnitInformation(OsdContext& context);
    ~UnitInformation() override;

    // Sets the tab's widgets up in `shell` when the tab is first needed.
    void build(QWidget* shell);

    void showUnitInformation();
    // "model" or "serial" from the unit's services; -1 for any other name.
    int getDeviceFact(const QString& name, QString* text);
    QString readManagerIp();

    QString serialNumber;
    QString modelNumber;
    // Nothing tells this unit that it manages others, so it never claims to.
    bool unitIsManager = false;

private:
    void showAddress();

    OsdContext& context;
    // Null until the tab is built.
    Ui::PageInformation* ui = nullptr;
};
