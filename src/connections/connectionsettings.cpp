#include "connectionsettings.h"
#include "ui_connectionsettings.h"

#include "app/osdcontext.h"
#include "app/titleheader.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "services/device_services.h"
#include "rules/unitsettings.h"

#include <QAbstractButton>
#include <QDebug>
#include <QKeyEvent>

namespace {

// The record's texts in the order the group keeps them.
struct BrokerAttribute {
    UnitSetting setting;
    QString BrokerSettings::*value;
};
const BrokerAttribute brokerAttributes[] = {
    { UnitSetting::BrokerViaActiveDir, &BrokerSettings::conViaActiveDir },
    { UnitSetting::BrokerViaBroker, &BrokerSettings::conViaBroker },
    { UnitSetting::BrokerVmResourse, &BrokerSettings::vmResourse },
    { UnitSetting::BrokerWebAccess, &BrokerSettings::webAccessAddr },
    { UnitSetting::BrokerAddress, &BrokerSettings::conBrokerIp },
    { UnitSetting::BrokerDomain, &BrokerSettings::domain },
    { UnitSetting::BrokerDefaultAddress, &BrokerSettings::defaultBrokerIp },
    { UnitSetting::BrokerLoadBalance, &BrokerSettings::loadBalInfo },
};

} // namespace

ConnectionSettings::ConnectionSettings(OsdContext& context)
    : QDialog(context.window(), Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , context(context)
    , ui(new Ui::ConnectionSettings)
{
    malvo_syslog(5, "### ConnectionSettings Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowTitle(QStringLiteral("Broker Settings"));
    connect(&context, &OsdContext::closeActiveDialogs, this, &QDialog::close);

    settings = readBrokerSettings();
    ui->LineEditWebUrl->setText(settings.webAccessAddr);
    ui->lineEditConBrokerIP->setText(settings.conBrokerIp);
    ui->lineEditDomain->setText(settings.domain);
    ui->lineEditLoadBal->setText(settings.loadBalInfo);

    const bool webAccess = settings.conViaActiveDir == QLatin1String("true");
    const bool broker = !webAccess && settings.conViaBroker == QLatin1String("true");
    setField(ui->LineEditWebUrl, webAccess);
    setField(ui->lineEditConBrokerIP, webAccess || broker);
    setField(ui->lineEditDomain, webAccess || broker);
    setField(ui->lineEditLoadBal, broker);
    ui->checkBoxConnActiveDir->setChecked(webAccess);
    ui->checkBoxConViaBroker->setChecked(broker);
    // One way at a time: the chosen way locks the other one out.
    ui->checkBoxConnActiveDir->setEnabled(!broker);
    ui->checkBoxConViaBroker->setEnabled(!webAccess);

    if (settings.vmResourse == QLatin1String("2")) {
        ui->radioButtonPVD->setChecked(true);
    } else {
        ui->radioButtonPool->setChecked(true);
        settings.vmResourse = QStringLiteral("1");
    }
    ui->radioButtonPool->hide();
    ui->radioButtonPVD->hide();
    malvo_syslog(5, "### ConnectionSettings Constructor End ###\n");
}

ConnectionSettings::~ConnectionSettings()
{
    delete ui;
}

BrokerSettings ConnectionSettings::readBrokerSettings()
{
    qDebug() << "readBrokerSettings()..";
    BrokerSettings record;
    for (const BrokerAttribute& attribute : brokerAttributes)
        record.*attribute.value = readUnitSetting(context.document(), attribute.setting);
    qDebug() << "return...";
    return record;
}

bool ConnectionSettings::writeBrokerSettings(const BrokerSettings& record)
{
    bool applied = false;
    const bool saved = context.storage().commitOrUndo([&record, &applied](QDomDocument& document) {
        for (const BrokerAttribute& attribute : brokerAttributes) {
            if (!writeUnitSetting(document, attribute.setting, record.*attribute.value))
                return; // nowhere to keep them: reported as not saved
        }
        applied = true;
    });
    return saved && applied;
}

void ConnectionSettings::setField(QLineEdit* field, bool enabled)
{
    field->setEnabled(enabled);
    const std::pair<QLineEdit*, QLabel*> labels[] = {
        { ui->LineEditWebUrl, ui->txWebUrl },
        { ui->lineEditConBrokerIP, ui->txConBrokerIP },
        { ui->lineEditDomain, ui->txDomain },
        { ui->lineEditLoadBal, ui->txLoadBal },
    };
    for (const auto& pair : labels) {
        if (pair.first == field)
            pair.second->setEnabled(enabled);
    }
}

void ConnectionSettings::setRadioButtonsEnabled(bool enabled)
{
    ui->radioButtonPool->setEnabled(enabled);
    ui->radioButtonPVD->setEnabled(enabled);
}

void ConnectionSettings::on_checkBoxConnActiveDir_clicked(bool checked)
{
    if (checked) {
        malvo_syslog(5, "ConnectionSettings: Action Enable Active Directory.\n");
        setField(ui->LineEditWebUrl, true);
        setField(ui->lineEditConBrokerIP, true);
        setField(ui->lineEditDomain, true);
        setRadioButtonsEnabled(true);
        ui->lineEditLoadBal->clear();
        setField(ui->lineEditLoadBal, false);
        ui->checkBoxConViaBroker->setChecked(false);
        ui->checkBoxConViaBroker->setEnabled(false);
    } else {
        malvo_syslog(5, "ConnectionSettings: Action Disable Active Directory.\n");
        ui->checkBoxConViaBroker->setEnabled(true);
        for (QLineEdit* field :
            { ui->LineEditWebUrl, ui->lineEditConBrokerIP, ui->lineEditDomain, ui->lineEditLoadBal })
            setField(field, false);
        setRadioButtonsEnabled(false);
    }
}

void ConnectionSettings::on_checkBoxConViaBroker_clicked(bool checked)
{
    if (checked) {
        malvo_syslog(5, "ConnectionSettings: Action Enable Broker.\n");
        setField(ui->lineEditConBrokerIP, true);
        setField(ui->lineEditDomain, true);
        setField(ui->lineEditLoadBal, true);
        setRadioButtonsEnabled(true);
        ui->LineEditWebUrl->clear();
        setField(ui->LineEditWebUrl, false);
        ui->checkBoxConnActiveDir->setChecked(false);
        ui->checkBoxConnActiveDir->setEnabled(false);
    } else {
        malvo_syslog(5, "ConnectionSettings: Action Disable Broker.\n");
        ui->checkBoxConnActiveDir->setEnabled(true);
        for (QLineEdit* field :
            { ui->LineEditWebUrl, ui->lineEditConBrokerIP, ui->lineEditDomain, ui->lineEditLoadBal })
            setField(field, false);
        setRadioButtonsEnabled(false);
    }
}

void ConnectionSettings::on_radioButtonPool_clicked()
{
    settings.vmResourse = QStringLiteral("1");
}

void ConnectionSettings::on_radioButtonPVD_clicked()
{
    settings.vmResourse = QStringLiteral("2");
}

void ConnectionSettings::on_txApplyButton_clicked()
{
    malvo_syslog(5, "ConnectionSettings: Action Save Broker Settings.\n");
    if (ui->checkBoxConnActiveDir->isChecked()) {
        settings.conViaActiveDir = QStringLiteral("true");
    } else {
        settings.conViaActiveDir = QStringLiteral("false");
        ui->LineEditWebUrl->clear();
    }
    if (ui->checkBoxConViaBroker->isChecked()) {
        settings.conViaBroker = QStringLiteral("true");
    } else {
        settings.conViaBroker = QStringLiteral("false");
        ui->lineEditLoadBal->clear();
    }
    if (!ui->checkBoxConnActiveDir->isChecked() && !ui->checkBoxConViaBroker->isChecked()) {
        for (QLineEdit* field :
            { ui->LineEditWebUrl, ui->lineEditConBrokerIP, ui->lineEditDomain, ui->lineEditLoadBal })
            field->clear();
    }
    settings.vmResourse = ui->radioButtonPool->isChecked() ? QStringLiteral("1") : QStringLiteral("2");
    settings.webAccessAddr = ui->LineEditWebUrl->text();
    settings.conBrokerIp = ui->lineEditConBrokerIP->text();
    settings.domain = ui->lineEditDomain->text();
    settings.loadBalInfo = ui->lineEditLoadBal->text();

    if (!writeBrokerSettings(settings)) {
        malvo_syslog(3, "Velmogui: Can not open file: %s", qPrintable(context.storage().databasePath));
        context.showMessage(QStringLiteral("Error"), QStringLiteral("Broker Settings could not be saved."));
        return;
    }
    context.showMessage(QStringLiteral("Broker Settings"), QStringLiteral("Broker Settings Saved."));
}

void ConnectionSettings::on_pushButtonNetBack_clicked()
{
    malvo_syslog(5, "ConnectionSettings: Action Close Dialog.\n");
    close();
}

void ConnectionSettings::keyPressEvent(QKeyEvent* event)
{
    // The dialog has no close box: it ends through "Close" only, and Return acts
    // on the focused control as everywhere in the OSD.
    if (event->key() == Qt::Key_Escape)
        return;
    if (event->key() == Qt::Key_Return) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()))
            button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
