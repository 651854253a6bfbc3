#include "networkpage.h"
#include "app/mainwindowform.h"

#include "app/mainwindow.h"
#include "app/workprogress.h"
#include "database/dbnames.h"
#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/keptfiles.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "rules/networkfiles.h"
#include "rules/unitsettings.h"
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

} // namespace

NetworkPage::NetworkPage(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
    // Emitted by the inactivity log-off.
    connect(mainWindow, &MainWindow::closeActiveDialogs, this, [this] { ++logOffs; });
}

QList<QLineEdit*> NetworkPage::fields() const
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    return { ui.ipAddrlineEdit, ui.netMasklineEdit, ui.gatelineEdit, ui.DNSlineEdit, ui.DNS2lineEdit };
}

void NetworkPage::showOnAddressField(const QString& text, bool status)
{
    QLineEdit* field = mainWindow->formPage(MainWindow::Page::LocalNetwork).ipAddrlineEdit;
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
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    for (QLineEdit* field : fields())
        field->clear();
    QByteArray interfaces;
    if (!readBounded(
            mainWindow->unitPlatform().unitPath(QLatin1String(interfacesPath)), maxConfigBytes, &interfaces))
        malvo_syslog(3, "MainWindow: Can not open file: %s", interfacesPath);
    for (const QByteArray& line : interfaces.split('\n')) {
        if (!line.startsWith("iface eth0 inet "))
            continue;
        const bool dhcp = line.trimmed() == "iface eth0 inet dhcp";
        (dhcp ? ui.radioButtonDHCP : ui.radioButtonStatIP)->setChecked(true);
        setFieldsEnabled(!dhcp);
    }
    showLiveSettings(mainWindow->unitPlatform().eth0().up);
}

void NetworkPage::showLiveSettings(bool networkAvailable)
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    if (!networkAvailable) {
        showOnAddressField(QStringLiteral("No Network."), true);
        return;
    }
    currentIpAddress();
    readDnsServers();
    ui.gatelineEdit->setText(gatewayFromRoute());
}

void NetworkPage::on_radioButtonDHCP_clicked()
{
    malvo_syslog(6, "MainWindow: Action Network Settings radioButtonDHCP clicked.\n");
    for (QLineEdit* field : fields())
        field->clear();
    setFieldsEnabled(false);
    const QDomElement dhcp = networkGroup(mainWindow->document()).firstChildElement(QLatin1String(db::Dhcp));
    if (dhcp.attribute(QLatin1String(db::SetChecked)) != QLatin1String("true"))
        return;
    showLiveSettings(mainWindow->unitPlatform().eth0().running);
}

void NetworkPage::on_radioButtonStatIP_clicked()
{
    malvo_syslog(6, "MainWindow: Action Network Settings radioButtonStatIP clicked.\n");
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    setFieldsEnabled(true);
    const QDomElement stored
        = networkGroup(mainWindow->document()).firstChildElement(QLatin1String(db::StaticIp));
    showOnAddressField(stored.attribute(QLatin1String(db::IpAddress)), false);
    ui.netMasklineEdit->setText(stored.attribute(QLatin1String(db::NetworkMask)));
    ui.gatelineEdit->setText(stored.attribute(QLatin1String(db::DefaultGateway)));
    ui.DNSlineEdit->setText(stored.attribute(QLatin1String(db::DnsAddress)));
    ui.DNS2lineEdit->setText(stored.attribute(QLatin1String(db::Dns2Address)));
}

QString NetworkPage::currentIpAddress()
{
    return showAddress(mainWindow->unitPlatform().eth0());
}

QString NetworkPage::showAddress(const NetworkFacts& eth0)
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    const QString text = liveAddressText(eth0);
    if (!hasLiveAddress(eth0)) {
        showOnAddressField(text, true);
        return text;
    }
    showOnAddressField(text, false);
    // The Information tab shows it too once built; it reads it afresh when opened.
    if (mainWindow->isPageBuilt(MainWindow::Page::Information))
        ui.labelIpAddressInfo->setText(text);
    ui.netMasklineEdit->setText(eth0.netmask);
    return text;
}

bool NetworkPage::readResolver(QByteArray* content)
{
    if (readBounded(
            mainWindow->unitPlatform().unitPath(QLatin1String(resolverPath)), maxConfigBytes, content))
        return true;
    fputs("file dose not exist...\n", stdout);
    malvo_syslog(3, "MainWindow: resolve.conf file:%s does not exist!", resolverPath);
    return false;
}

void NetworkPage::readDnsServers()
{
    QByteArray content;
    if (!readResolver(&content))
        return;
    const DnsServers servers = parseDnsServers(content);
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    if (servers.count == 0)
        ui.DNSlineEdit->setText(QStringLiteral("Not Found"));
    if (servers.count >= 1)
        ui.DNSlineEdit->setText(servers.primary);
    if (servers.count >= 2)
        ui.DNS2lineEdit->setText(servers.secondary);
}

DnsServers NetworkPage::readDnsServerTexts()
{
    QByteArray content;
    if (!readResolver(&content))
        return DnsServers();
    DnsServers servers = parseDnsServers(content);
    if (servers.count == 0)
        servers.primary = servers.secondary = QStringLiteral("Not Found");
    return servers;
}

QString NetworkPage::gatewayFromRoute()
{
    const ProgramResult result
        = mainWindow->unitPlatform().run(QStringLiteral("/sbin/route"), { QStringLiteral("-n") });
    return gatewayFromRouteOutput(result.output);
}

void NetworkPage::refuse(const NetworkRefusal& refusal)
{
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    if (refusal.resetMask)
        ui.netMasklineEdit->setText(QStringLiteral("255.255.255.0"));
    mainWindow->showWarning(refusal.title, refusal.text);
    QLineEdit* field = nullptr;
    switch (refusal.focus) {
    case NetworkField::Address:
        field = ui.ipAddrlineEdit;
        break;
    case NetworkField::Mask:
        field = ui.netMasklineEdit;
        break;
    case NetworkField::Gateway:
        field = ui.gatelineEdit;
        break;
    case NetworkField::Dns1:
        field = ui.DNSlineEdit;
        break;
    case NetworkField::Dns2:
        field = ui.DNS2lineEdit;
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
    const bool saved = commitSettingsChange(mainWindow->storage(), [&](QDomDocument& document) {
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
    Platform& platform = mainWindow->unitPlatform();
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
    Platform& platform = mainWindow->unitPlatform();
    // What the files held before, to put back when a later step fails.
    const KeptFiles kept = dhcp ? KeptFiles(platform, { interfacesPath }, maxConfigBytes)
                                : KeptFiles(platform, { interfacesPath, resolverPath }, maxConfigBytes);
    const bool written = dhcp ? NetworkFiles::writeDhcpInterfaces(platform) : writeStaticFiles(settings);
    if (written && storeSettings(dhcp, settings))
        return true;
    if (written)
        malvo_syslog(3, "MainWindow: Can not open file: %s for writing",
            qPrintable(mainWindow->storage().databasePath));
    // The database never names settings that the unit's files do not hold.
    DurableWriter writer(platform);
    for (const QString& path : kept.putBack(writer))
        malvo_syslog(3, "MainWindow: Can not put back %s", qPrintable(path));
    return false;
}

void NetworkPage::applyLocalNetwork()
{
    malvo_syslog(5, "MainWindow: Action Apply Network Settings for local device.\n");
    Ui::MainWindow& ui = mainWindow->formPage(MainWindow::Page::LocalNetwork);
    const bool dhcp = ui.radioButtonDHCP->isChecked();
    if (!dhcp && !ui.radioButtonStatIP->isChecked())
        return;

    // Closed on every way out of this function.
    WorkProgressDialog progress(QStringLiteral("Updating network settings............."), 0,
        mainWindow->document().documentElement().childNodes().size() + 1, mainWindow,
        Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress.setWindowTitle(QStringLiteral("Network"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setStyleSheet(QLatin1String(progressStyle));
    progress.setMinimumDuration(0);
    progress.setValue(0);

    StaticSettings settings { ui.ipAddrlineEdit->text(), ui.netMasklineEdit->text(), ui.gatelineEdit->text(),
        ui.DNSlineEdit->text(), ui.DNS2lineEdit->text() };
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
        mainWindow->showWarning(
            QStringLiteral("Network Status"), QStringLiteral("Network settings changes failed."));
        return;
    }
    // Only a stored static set stops the DHCP client.
    if (!dhcp)
        mainWindow->unitPlatform().run(QStringLiteral("/usr/bin/killall"), { QStringLiteral("udhcpc") });

    appliedDhcp = dhcp;
    appliedAddress = settings.address;
    restartStarted
        = mainWindow->unitPlatform().startDetached(QStringLiteral("/opt/kestrix/flush_eth0.sh"), {});
    if (!restartStarted)
        malvo_syslog(3, " error occurred on flush");
    const int logOffsBefore = logOffs;
    progress.setValue(progress.maximum() - 1);
    // The unit needs these seconds to bring eth0 up again; the check follows at once.
    mainWindow->unitPlatform().sleepMs(dhcp ? 5000 : 6000);
    progress.setValue(progress.maximum());
    progress.close();
    // The check's box belongs to whoever applied: after an inactivity log-off it is dropped.
    QTimer::singleShot(0, mainWindow, [this, logOffsBefore] {
        if (logOffs == logOffsBefore && mainWindow->isLoggedOn())
            checkIfUp();
    });
}

void NetworkPage::checkIfUp()
{
    const QString title = QStringLiteral("Network Status");
    const QString failed = QStringLiteral("Network settings changes failed.");
    if (!restartStarted) {
        mainWindow->showWarning(title, failed);
        return;
    }
    const NetworkFacts eth0 = mainWindow->unitPlatform().eth0();
    const AppliedNetwork outcome = appliedNetwork(appliedDhcp, appliedAddress, eth0);
    if (outcome == AppliedNetwork::NoLease || outcome == AppliedNetwork::Down) {
        mainWindow->showWarning(title,
            outcome == AppliedNetwork::NoLease ? failed + QStringLiteral(" DHCP server not found.")
                                               : failed + QStringLiteral(" Network is down."));
        return;
    }
    showAddress(eth0);
    if (appliedDhcp) {
        readDnsServers();
        mainWindow->formPage(MainWindow::Page::LocalNetwork).gatelineEdit->setText(gatewayFromRoute());
    }
    mainWindow->showWarning(title,
        outcome == AppliedNetwork::Applied ? QStringLiteral("Network settings changed successfully.")
                                           : failed);
}
