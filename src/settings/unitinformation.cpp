#include "unitinformation.h"
#include "ui_pageinformation.h"

#include "app/osdcontext.h"
#include "platform/boundedread.h"
#include "platform/platform.h"
#include "rules/networkrules.h"
#include "rules/unitfacts.h"
#include "services/device_services.h"
#include "settings/networkpage.h"

#include <QDebug>

namespace {

const char managerIpPath[] = "/usr/local/mgr_ip";

QString serviceText(const char* buffer, int size)
{
    return QString::fromLatin1(buffer, int(qstrnlen(buffer, uint(size))));
}

} // namespace

UnitInformation::UnitInformation(OsdContext& context)
    : QObject(context.window())
    , context(context)
{
    connect(&context, &OsdContext::networkChanged, this, &UnitInformation::showAddress);
}

UnitInformation::~UnitInformation()
{
    delete ui;
}

void UnitInformation::build(QWidget* shell)
{
    ui = new Ui::PageInformation;
    ui->setupUi(shell);
}

void UnitInformation::showAddress()
{
    // The tab reads the rest when it is shown.
    if (ui)
        ui->labelIpAddressInfo->setText(liveAddressText(context.platform().eth0()));
}

int UnitInformation::getDeviceFact(const QString& name, QString* text)
{
    if (name == QLatin1String("model")) {
        char model[SU_MODEL_LEN] = {};
        const int result = su_get_model(model);
        *text = serviceText(model, SU_MODEL_LEN);
        return result;
    }
    if (name == QLatin1String("serial")) {
        char serial[SU_SERIAL_LEN] = {};
        const int result = su_get_serial(serial);
        *text = serviceText(serial, SU_SERIAL_LEN);
        return result;
    }
    return -1;
}

QString UnitInformation::readManagerIp()
{
    if (!context.isManaged())
        return QString();
    QByteArray content;
    if (!readBounded(context.platform().unitPath(QLatin1String(managerIpPath)), 4096, &content)) {
        qDebug().noquote() << "Error: /usr/local/mgr_ip file dose not exist.\n";
        malvo_syslog(3, "MainWindow: /usr/local/mgr_ip file does not exist.");
        return QString();
    }
    QString address;
    if (!managerIpFromFile(content, &address)) {
        qDebug().noquote() << "GUI Error: Manager IP address not found.\n";
        malvo_syslog(3, "MainWindow: Manager IP address not found.\n");
        return QString();
    }
    qDebug().noquote() << "mgmtIPAddr: " + address;
    return address;
}

void UnitInformation::showUnitInformation()
{
    Platform& platform = context.platform();
    for (QLabel* label : { ui->labelSerialNumber, ui->labelMacAddress, ui->labelSoftwareVersion, ui->labelMpn,
             ui->labelModel, ui->labelIpAddressInfo, ui->labelManagerIp, ui->labelPrimaryDns,
             ui->labelSecondaryDns, ui->labelGatewayInfo, ui->labelNetworkMask })
        label->clear();

    QByteArray version;
    const bool haveVersion = readBounded(platform.unitPath(QStringLiteral("/VERSION")), 64 * 1024, &version);
    QString text;
    if (getDeviceFact(QStringLiteral("serial"), &text) == 0)
        serialNumber = text;
    if (getDeviceFact(QStringLiteral("model"), &text) == 0)
        modelNumber = text;

    ui->labelSerialNumber->setText(serialNumber);
    ui->labelMacAddress->setText(platform.eth0().hardwareAddress);
    ui->labelSoftwareVersion->setText(haveVersion ? versionLabelText(version) : QString());
    ui->labelMpn->setText(modelNumber);

    char spn[SU_SPN_LEN] = {};
    const QByteArray model = modelNumber.left(7).toLatin1();
    const int result = su_get_spn(model.constData(), spn);
    const QString spnText = serviceText(spn, SU_SPN_LEN);
    if (result == 0) {
        ui->labelModel->setText(spnText);
    } else {
        ui->labelModel->setText(QStringLiteral("Unknown"));
        malvo_syslog(3, "Velmogui: RX info error %d su_get_spn = %s returned spn = %s.\n", result,
            model.constData(), spnText.toLatin1().constData());
    }

    ui->labelIpAddressInfo->setText(liveAddressText(platform.eth0()));
    if (context.isManaged())
        ui->labelManagerIp->setText(readManagerIp());
    else
        ui->labelManagerIp->setText(unitIsManager ? QStringLiteral("This device is a manager")
                                                 : QStringLiteral("Receiver is currently not managed"));
    const DnsServers servers = readDnsServerTexts(platform);
    ui->labelPrimaryDns->setText(servers.primary);
    ui->labelSecondaryDns->setText(servers.secondary);
    ui->labelGatewayInfo->setText(readRouteGateway(platform));
    ui->labelNetworkMask->setText(platform.eth0().netmask);
}
