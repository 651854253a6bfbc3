// The dialog's preferences page: read, save and EDID cloning.
#include "txsettings.h"
#include "ui_txsettings.h"

#include "app/osdcontext.h"
#include "app/osdmessagebox.h"
#include "transmitter/txoperations.h"
#include "transmitter/txpreferences.h"

void TXSettings::on_txButtonPreferences_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Preferences.\n");
    startOperation(newRecord(), TxOperations::readPreferences);
}

void TXSettings::postGetTxPrefs(int error, void* cfg_data)
{
    ConfigData* record = static_cast<ConfigData*>(cfg_data);
    if (reportedFailure(error, cfg_data))
        return;
    ui->stackedWidget->setCurrentIndex(2);
    if (record->tx_prefs.video_quality < 6)
        ui->connectToTXButton->setEnabled(false);
    if (!preferences->show(*record)) {
        malvo_syslog(3, "TXSettings: Transmitter Preferences HID Settings read failed.\n");
        emit message_request(QStringLiteral("Error"), QStringLiteral("Transmitter HID Settings read failed."));
        return;
    }
    malvo_syslog(6, "TXSettings: Transmitter Preferences read successful.\n");
}

void TXSettings::on_pushButtonSaveTxPreferences_clicked()
{
    malvo_syslog(5, "TXSettings: Action Save TX Preferences.\n");
    std::unique_ptr<ConfigData> record = newRecord();
    preferences->writeTo(record.get());
    startOperation(std::move(record), TxOperations::savePreferences);
}

void TXSettings::postSaveTxPref(int error, void* cfg_data)
{
    Q_UNUSED(cfg_data)
    if (error != 0) {
        malvo_syslog(3, "Error occured on saving TX Preferences.");
        emit message_request(QStringLiteral("Error"), QStringLiteral("Error occured on saving Transmitter Preferences."));
        return;
    }
    emit message_request(
        QStringLiteral("Transmitter Preferences"), QStringLiteral("Transmitter Preferences applied successfully."));
}

void TXSettings::on_pushButtonCloneEdid0_clicked()
{
    cloneEdid(0);
}

void TXSettings::on_pushButtonCloneEdid1_clicked()
{
    cloneEdid(1);
}

void TXSettings::cloneEdid(int head)
{
    malvo_syslog(5, "TXSettings: Action Clone EDID.\n");
    OsdMessageBox box(QStringLiteral("Clone EDID"),
        QStringLiteral("Please confirm DVI %1 EDID cloning to Transmitter '").arg(head + 1) + txIPAddr()
            + QStringLiteral("' ?"),
        QMessageBox::Yes | QMessageBox::Cancel, this);
    context.closeOnLogoff(&box);
    if (box.exec() != QMessageBox::Yes) {
        if (head == 0)
            malvo_syslog(6, "TX Settings: User rejected cloning of monitor0");
        return;
    }
    hal_clone_edid(head);
    std::unique_ptr<ConfigData> record = newRecord();
    record->clone_head = head;
    startOperation(std::move(record), TxOperations::cloneEdid);
}

void TXSettings::postCloneEdid(int error, void* cfg_data)
{
    ConfigData* record = static_cast<ConfigData*>(cfg_data);
    if (reportedFailure(error, cfg_data))
        return;
    preferences->cloned(record->clone_head == 1 ? 1 : 0);
}
