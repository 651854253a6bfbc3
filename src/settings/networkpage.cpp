#include "networkpage.h"
#include "ui_pagelocalnetwork.h"

#include "app/lazyicon.h"
#include "app/osdcontext.h"
#include "app/workprogress.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/keptfiles.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "rules/networkfiles.h"
#include "rules/unitsettings.h"
#include "services/device_services.h"
#include "settings/controlpages.h"

#include <QProgressDialog>
#include <QTimer>

#include <cstdio>

namespace {

using NetworkFiles::interfacesPath;
using NetworkFiles::resolverPath;
constexpr qint64 maxConfigBytes = 64 * 1024;
// The address field's limit for a typed address.
constexpr int addressLength = 15;

const char progressStyle[]
    = "QProgressBar {  border: 1px solid grey;  padding: 0.5px;  border-radius: 10px;  text-align: center;}"
      "QProgressBar::chunk {  border-bottom-right-radius: 10px;  border-bottom-left-radius: 10px;  "
      "border-top-right-radius: 10px;  border-top-left-radius: 10px;  border: 1px #3399ff;  "
      "background-color: #3399ff;}";

QDomElement networkGroup(const QDomDocument& document)
{
    return unitSettingsGroup(document, db::Network);
}

bool readResolver(Platform& platform, QByteArray* content)
{
    if (readBounded(platform.unitPath(QLatin1String(resolverPath)), maxConfigBytes, content))
        return true;
    fputs("file dose not exist...\n", stdout);
    malvo_syslog(3, "MainWindow: resolve.conf file:%s does not exist!", resolverPath);
    return false;
}

} // namespace

DnsServers readDnsServerTexts(Platform& platform)
{
    QByteArray content;
    if (!readResolver(platform, &content))
        return DnsServers();
    DnsServers servers = parseDnsServers(content);
    if (servers.count == 0)
        servers.primary = servers.secondary = QStringLiteral("Not Found");
    return servers;
}

QString readRouteGateway(Platform& platform)
{
    const ProgramResult result = platform.run(QStringLiteral("/sbin/route"), { QStringLiteral("-n") });
    return gatewayFromRouteOutput(result.output);
}

NetworkPage::NetworkPage(OsdContext& context)
    : QObject(context.window())
    , context(context)
    , ui(new Ui::PageLocalNetwork())
{
    // Emitted by the inactivity log-off.
    connect(&context, &OsdContext::closeActiveDialogs, this, [this] { ++logOffs; });
}

NetworkPage::~NetworkPage()
{
    delete ui;
}

void NetworkPage::build(QWidget* shell)
{
    ui->setupUi(shell);
    ui->applyNetworkButton->setIcon(lazyIcon(applyPicture));
}

void NetworkPage::limitAddressFields()
{
    for (QLineEdit* field : { ui->ipAddrlineEdit, ui->netMasklineEdit, ui->gatelineEdit })
        field->setMaxLength(addressLength);
}

QList<QLineEdit*> NetworkPage::fields() const
{
    return { ui->ipAddrlineEdit, ui->netMasklineEdit, ui->gatelineEdit, ui->DNSlineEdit, ui->DNS2lineEdit };
}

void NetworkPage::showOnAddressField(const QString& text, bool status)
{
    QLineEdit* field = ui->ipAddrlineEdit;
    // The field takes 15 characters of a typed address; a status is read, never
    // typed over, and is shown whole.
    field->setMaxLength(status ? qMax(addressLength, text.size()) : addressLength);
    field->setText(text);
    // Wide enough for the whole status, within the field's own bound; its start in view.
    const QFontMetrics metrics = field->fontMetrics();
    const int wanted = metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth();
    if (status && wanted > field->minimumWidth())
        field->setMinimumWidth(qMin(wanted, field->maximumWidth()));
    field->setCursorPosition(0);
}

void NetworkPage::setFieldsEnabled(bool enabled)
{
    for (QLineEdit* field : fields())
        field->setEnabled(enabled);
}

void NetworkPage::loadNetworkPage()
{
    for (QLineEdit* field : fields())
        field->clear();
    QByteArray interfaces;
    if (!readBounded(
            context.platform().unitPath(QLatin1String(interfacesPath)), maxConfigBytes, &interfaces))
        malvo_syslog(3, "MainWindow: Can not open file: %s", interfacesPath);
    for (const QByteArray& line : interfaces.split('\n')) {
        if (!line.startsWith("iface eth0 inet "))
            continue;
        const bool dhcp = line.trimmed() == "iface eth0 inet dhcp";
        (dhcp ? ui->radioButtonDHCP : ui->radioButtonStatIP)->setChecked(true);
        setFieldsEnabled(!dhcp);
    }
    showLiveSettings(context.platform().eth0().up);
}

void NetworkPage::showLiveSettings(bool networkAvailable)
{
    if (!networkAvailable) {
        showOnAddressField(QStringLiteral("No Network."), true);
        return;
    }
    currentIpAddress();
    readDnsServers();
    ui->gatelineEdit->setText(readRouteGateway(context.platform()));
}

void NetworkPage::on_radioButtonDHCP_clicked()
{
    malvo_syslog(6, "MainWindow: Action Network Settings radioButtonDHCP clicked.\n");
    for (QLineEdit* field : fields())
        field->clear();
    setFieldsEnabled(false);
    const QDomElement dhcp = networkGroup(context.document()).firstChildElement(QLatin1String(db::Dhcp));
    if (dhcp.attribute(QLatin1String(db::SetChecked)) != QLatin1String("true"))
        return;
    showLiveSettings(context.platform().eth0().running);
}

void NetworkPage::on_radioButtonStatIP_clicked()
{
    malvo_syslog(6, "MainWindow: Action Network Settings radioButtonStatIP clicked.\n");
    setFieldsEnabled(true);
    const QDomElement stored = networkGroup(context.document()).firstChildElement(QLatin1String(db::StaticIp));
    showOnAddressField(stored.attribute(QLatin1String(db::IpAddress)), false);
    ui->netMasklineEdit->setText(stored.attribute(QLatin1String(db::NetworkMask)));
    ui->gatelineEdit->setText(stored.attribute(QLatin1String(db::DefaultGateway)));
    ui->DNSlineEdit->setText(stored.attribute(QLatin1String(db::DnsAddress)));
    ui->DNS2lineEdit->setText(stored.attribute(QLatin1String(db::Dns2Address)));
}

QString NetworkPage::currentIpAddress()
{
    return showAddress(context.platform().eth0());
}

QString NetworkPage::showAddress(const NetworkFacts& eth0)
{
    const QString text = liveAddressText(eth0);
    if (!hasLiveAddress(eth0)) {
        showOnAddressField(text, true);
        return text;
    }
    showOnAddressField(text, false);
    ui->netMasklineEdit->setText(eth0.netmask);
    return text;
}

void NetworkPage::readDnsServers()
{
    QByteArray content;
    if (!readResolver(context.platform(), &content))
        return;
    const DnsServers servers = parseDnsServers(content);
    if (servers.count == 0)
        ui->DNSlineEdit->setText(QStringLiteral("Not Found"));
    if (servers.count >= 1)
        ui->DNSlineEdit->setText(servers.primary);
    if (servers.count >= 2)
        ui->DNS2lineEdit->setText(servers.secondary);
}

void NetworkPage::refuse(const NetworkRefusal& refusal)
{
    if (refusal.resetMask)
        ui->netMasklineEdit->setText(QStringLiteral("255.255.255.0"));
    context.showWarning(refusal.title, refusal.text);
    QLineEdit* field = nullptr;
    switch (refusal.focus) {
    case NetworkField::Address:
        field = ui->ipAddrlineEdit;
        break;
    case NetworkField::Mask:
        field = ui->netMasklineEdit;
        break;
    case NetworkField::Gateway:
        field = ui->gatelineEdit;
        break;
    case NetworkField::Dns1:
        field = ui->DNSlineEdit;
        break;
    case NetworkField::Dns2:
        field = ui->DNS2lineEdit;
        break;
    case NetworkField::None:
        break;
    }
    if (!field)
        return;
    field->setFocus();
    if (refusal.selectFocus)
        field->selectAll();
}

bool NetworkPage::storeSettings(bool dhcp, const StaticSettings& settings)
{
    bool applied = false;
    const bool saved = context.storage().commitOrUndo([&](QDomDocument& document) {
        QDomElement network = networkGroup(document);
        QDomElement dhcpGroup = network.firstChildElement(QLatin1String(db::Dhcp));
        QDomElement staticGroup = network.firstChildElement(QLatin1String(db::StaticIp));
        if (dhcpGroup.isNull() || staticGroup.isNull())
            return; // a document without the groups has nowhere to keep the choice
        dhcpGroup.setAttribute(
            QLatin1String(db::SetChecked), dhcp ? QStringLiteral("true") : QStringLiteral("false"));
        if (!dhcp) {
            staticGroup.setAttribute(QLatin1String(db::IpAddress), settings.address);
            staticGroup.setAttribute(QLatin1String(db::NetworkMask), settings.mask);
            staticGroup.setAttribute(QLatin1String(db::DefaultGateway), settings.gateway);
            staticGroup.setAttribute(QLatin1String(db::DnsAddress), settings.dns1);
            staticGroup.setAttribute(QLatin1String(db::Dns2Address), settings.dns2);
        }
        staticGroup.setAttribute(
            QLatin1String(db::SetChecked), dhcp ? QStringLiteral("false") : QStringLiteral("true"));
        applied = true;
    });
    return saved && applied;
}

bool NetworkPage::writeStaticFiles(const StaticSettings& settings)
{
    Platform& platform = context.platform();
    DurableWriter writer(platform);
    const QByteArray interfaces = staticInterfacesText(
        settings.address, settings.mask, NetworkFiles::broadcastAddress(settings), settings.gateway);
    if (!writer.writeFile(platform.unitPath(QLatin1String(interfacesPath)), interfaces)) {
        malvo_syslog(3, "MainWindow: setStaticIP network interface file:%s does not exist!", interfacesPath);
        return false;
    }
    if (!writer.writeFile(
            platform.unitPath(QLatin1String(resolverPath)), resolverText(settings.dns1, settings.dns2))) {
        malvo_syslog(3, "MainWindow: File:%s does not exist!", resolverPath);
        return false;
    }
    return true;
}

bool NetworkPage::writeAndStore(bool dhcp, const StaticSettings& settings)
{
    Platform& platform = context.platform();
    // What the files held before, to put back when a later step fails.
    const KeptFiles kept = dhcp ? KeptFiles(platform, { interfacesPath }, maxConfigBytes)
                                : KeptFiles(platform, { interfacesPath, resolverPath }, maxConfigBytes);
    const bool written = dhcp ? NetworkFiles::writeDhcpInterfaces(platform) : writeStaticFiles(settings);
    if (written && storeSettings(dhcp, settings))
        return true;
    if (written)
        malvo_syslog(3, "MainWindow: Can not open file: %s for writing",
            qPrintable(context.storage().databasePath));
    // The database never names settings that the unit's files do not hold.
    DurableWriter writer(platform);
    for (const QString& path : kept.putBack(writer))
        malvo_syslog(3, "MainWindow: Can not put back %s", qPrintable(path));
    return false;
}

void NetworkPage::applyLocalNetwork()
{
    malvo_syslog(5, "MainWindow: Action Apply Network Settings for local device.\n");
    const bool dhcp = ui->radioButtonDHCP->isChecked();
    if (!dhcp && !ui->radioButtonStatIP->isChecked())
        return;

    // Closed on every way out of this function.
    WorkProgressDialog progress(QStringLiteral("Updating network settings............."), 0,
        context.document().documentElement().childNodes().size() + 1, context.window(),
        Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress.setWindowTitle(QStringLiteral("Network"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setStyleSheet(QLatin1String(progressStyle));
    progress.setMinimumDuration(0);
    progress.setValue(0);

    StaticSettings settings { ui->ipAddrlineEdit->text(), ui->netMasklineEdit->text(),
        ui->gatelineEdit->text(), ui->DNSlineEdit->text(), ui->DNS2lineEdit->text() };
    if (!dhcp) {
        // Nothing is touched before every check passed.
        const NetworkRefusal refusal = checkStaticSettings(settings);
        if (refusal.refused()) {
            progress.close();
            refuse(refusal);
            return;
        }
    }
    progress.setValue(1);

    // Nothing below lets an event in before the restart has started: a log-off
    // finds the apply either not begun or done.
    if (!writeAndStore(dhcp, settings)) {
        progress.close();
        context.showWarning(
            QStringLiteral("Network Status"), QStringLiteral("Network settings changes failed."));
        return;
    }
    // Only a stored static set stops the DHCP client.
    if (!dhcp)
        context.platform().run(QStringLiteral("/usr/bin/killall"), { QStringLiteral("udhcpc") });

    appliedDhcp = dhcp;
    appliedAddress = settings.address;
    restartStarted = context.platform().startDetached(QStringLiteral("/opt/kestrix/flush_eth0.sh"), {});
    if (!restartStarted)
        malvo_syslog(3, " error occurred on flush");
    const int logOffsBefore = logOffs;
    progress.setValue(progress.maximum() - 1);
    // The unit needs these seconds to bring eth0 up again; the check follows at once.
    context.platform().sleepMs(dhcp ? 5000 : 6000);
    progress.setValue(progress.maximum());
    progress.close();
    // Whatever shows the unit's network reads it afresh, whoever is logged on by then.
    if (restartStarted)
        emit context.networkChanged();
    // The check's box belongs to whoever applied: after an inactivity log-off it is dropped.
    QTimer::singleShot(0, this, [this, logOffsBefore] {
        if (logOffs == logOffsBefore && context.isLoggedOn())
            checkIfUp();
    });
}

void NetworkPage::checkIfUp()
{
    const QString title = QStringLiteral("Network Status");
    const QString failed = QStringLiteral("Network settings changes failed.");
    if (!restartStarted) {
        context.showWarning(title, failed);
        return;
    }
    const NetworkFacts eth0 = context.platform().eth0();
    const AppliedNetwork outcome = appliedNetwork(appliedDhcp, appliedAddress, eth0);
    if (outcome == AppliedNetwork::NoLease || outcome == AppliedNetwork::Down) {
        context.showWarning(title,
            outcome == AppliedNetwork::NoLease ? failed + QStringLiteral(" DHCP server not found.")
                                               : failed + QStringLiteral(" Network is down."));
        return;
    }
    showAddress(eth0);
    if (appliedDhcp) {
        readDnsServers();
        ui->gatelineEdit->setText(readRouteGateway(context.platform()));
    }
    context.showWarning(title,
        outcome == AppliedNetwork::Applied ? QStringLiteral("Network settings changed successfully.")
                                           : failed);
}
