#pragma once

#include "rules/networkrules.h"

#include <QObject>
#include <QString>

class OsdContext;
class Platform;
class QLineEdit;
class QWidget;

namespace Ui {
class PageLocalNetwork;
}

// What the unit's resolver file names as its servers, "Not Found" when it
// names none.
DnsServers readDnsServerTexts(Platform& platform);
// The default gateway in the unit's routing table.
QString readRouteGateway(Platform& platform);

// The "Local device Network" page: DHCP or a static address for eth0, written
// to the database, the interface and resolver files, then applied by the
// unit's network restart and checked a few seconds later. An applied change is
// told by the context's networkChanged.
class NetworkPage : public QObject {
    Q_OBJECT

public:
    explicit NetworkPage(OsdContext& context);
    ~NetworkPage() override;

    // Sets the page's widgets up in `shell`, its place in the Control tab.
    void build(QWidget* shell);
    // The address, mask and gateway fields take a typed address's length.
    void limitAddressFields();

    void loadNetworkPage();
    void on_radioButtonDHCP_clicked();
    void on_radioButtonStatIP_clicked();
    void applyLocalNetwork();
    void checkIfUp();

    // The live address of eth0 into the page, or why there is none.
    QString currentIpAddress();
    // Fills the two DNS fields from the resolver file.
    void readDnsServers();

private:
    QList<QLineEdit*> fields() const;
    void setFieldsEnabled(bool enabled);
    // What eth0 has now (address, name servers, gateway), or "No Network.".
    void showLiveSettings(bool networkAvailable);
    void refuse(const NetworkRefusal& refusal);
    // The address (or why there is none) of one reading of eth0.
    QString showAddress(const NetworkFacts& eth0);
    // `status`: a text about the network rather than an address.
    void showOnAddressField(const QString& text, bool status);
    bool storeSettings(bool dhcp, const StaticSettings& settings);
    bool writeStaticFiles(const StaticSettings& settings);
    // The interface (and resolver) file first, then the database; a failed
    // step puts the files back as they were.
    bool writeAndStore(bool dhcp, const StaticSettings& settings);

    OsdContext& context;
    Ui::PageLocalNetwork* ui;
    // What the last apply asked for, so the check afterwards compares the live
    // state against it rather than against itself.
    bool appliedDhcp = false;
    QString appliedAddress;
    bool restartStarted = false;
    int logOffs = 0;
};
