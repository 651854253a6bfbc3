#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class OsdContext;
class QWidget;

namespace Ui {
class PageScreenResolution;
}

// The "Screen Resolution" page: the resolution remote sessions ask for (kept in
// the database) and the OSD's own mode (kept in the unit's settings store;
// changing it ends the OSD so that it starts again in the new mode).
class ResolutionPage : public QObject {
    Q_OBJECT

public:
    static constexpr char databaseScript[] = "/opt/kestrix/database/rx_database.sh";

    // `chosenConnection` names the connection the Connections tab has chosen,
    // for the session record the OSD's restart reads.
    ResolutionPage(OsdContext& context, std::function<QString()> chosenConnection);
    ~ResolutionPage() override;

    // Sets the page's widgets up in `shell`, its place in the Control tab.
    void build(QWidget* shell);
    // A managed unit's page: the appliance owns the session resolution, the
    // OSD's own stays the unit's.
    void showManaged();
    // The session resolution is the unit's to change.
    void setSessionResolutionEditable(bool editable);

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

    OsdContext& context;
    std::function<QString()> chosenConnection;
    Ui::PageScreenResolution* ui;
};
