// The transmitter's roads over the USB stick: the upgrade from a package on
// it and the export of the transmitter's diagnostics to it.
#include "txsettings.h"

#include "app/osdcontext.h"
#include "platform/platform.h"
#include "transmitter/txoperations.h"
#include "upgrade/diagnosticsfile.h"
#include "upgrade/filedialog.h"
#include "rules/lsmdata.h"
#include "upgrade/rxupgrade.h"
#include "rules/upgradeerrors.h"
#include "rules/usbdevice.h"

namespace {

const char diagnosticsFile[] = "/usr/local/diagnosticsTX.enc";

template <size_t N> void copyLsmValue(char (&field)[N], const char* value)
{
    copyRecordText(field, lsmText(value));
}

} // namespace

void TXSettings::unmountStick()
{
    if (!stickMounted)
        return;
    su_unmount_usb_drive();
    stickMounted = false;
}

void TXSettings::on_txUpgradeButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Upgrade.\n");
    if (su_mount_usb_drive() != 0) {
        emit message_request(QStringLiteral("Error"), QStringLiteral("Upgrade failed! Error checking USB memory device."));
        return;
    }
    stickMounted = true;
    packages.txUpgrade(txIdentity.mpn);
    const QString file = packages.txUpgradeFile;
    if (file.isEmpty()) {
        stickMounted = false; // the file choice let the stick go
        return;
    }
    // The package runs to describe itself only once the receiver vouches for it.
    const bool verified = packages.packageVerified(file, QStringLiteral("Transmitter Upgrade"));
    if (!session.current()) {
        unmountStick();
        return;
    }
    if (!verified) {
        malvo_syslog(3, "TXSettings: Upgrade package signature verification failed %s\n", qPrintable(file));
        unmountStick();
        context.showWarning(QStringLiteral("Upgrade failed"),
            QStringLiteral("Upgrade failed: The upgrade file signature could not be verified."));
        return;
    }
    std::unique_ptr<ConfigData> record = newRecord();
    if (!setRecordText(record->tx_upgrade_file, file)) {
        unmountStick();
        QString title;
        QString text;
        getErrorStrings(14, &title, &text);
        context.showWarning(title, text);
        return;
    }
    initUpgradeData(record.get());
    malvo_syslog(6, "parent->txUpgradeFile = %s\n", qPrintable(file));
    malvo_syslog(6, "cfg_data->tx_upgrade_file = %s\n", qPrintable(recordText(record->tx_upgrade_file)));
    startOperation(std::move(record), TxOperations::upgrade);
}

void TXSettings::initUpgradeData(ConfigData* record)
{
    LsmData data = defaultLsmData();
    readLsmData(context.platform(), writer, recordText(record->tx_upgrade_file), &data);
    auto& upgrade = record->upgrade;
    copyLsmValue(upgrade.softwareVersion, data.softwareVersion);
    copyLsmValue(upgrade.softwareVersionVorl, data.softwareVersionVorl);
    copyLsmValue(upgrade.softwareVersionDual, data.softwareVersionDual);
    copyLsmValue(upgrade.boardClass, data.boardClass);
    copyLsmValue(upgrade.boardBrand, data.boardBrand);
    copyLsmValue(upgrade.compatibilityPackage1, data.compatibilityPackage1);
    copyLsmValue(upgrade.compatibilityPackage2, data.compatibilityPackage2);
    copyLsmValue(upgrade.encryption, data.encryption);
    copyLsmValue(upgrade.upgradeFormat, data.upgradeFormat);
    copyLsmValue(upgrade.packageNumber, data.packageNumber);
    copyLsmValue(upgrade.package1, data.package1);
    copyLsmValue(upgrade.package2, data.package2);
}

void TXSettings::postTxUpgrade(int error, void* cfg_data)
{
    su_unmount_usb_drive();
    stickMounted = false;
    if (error != 0) {
        context.showWarning(QStringLiteral("Upgrade failed"), upgradeErrorText(error, QStringLiteral("TX")));
        logSettingsOnError(static_cast<ConfigData*>(cfg_data));
        return;
    }
    emit message_request(QStringLiteral("Transmitter Upgrade"), QStringLiteral("Transmitter Upgrade was successful."));
}

void TXSettings::on_txDiagnosticsButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Diagnostics.\n");
    startOperation(newRecord(), TxOperations::diagnostics);
}

void TXSettings::postTxDiag(int error, void* cfg_data)
{
    if (reportedFailure(error, cfg_data))
        return;
    exportDiagnostics();
}

void TXSettings::removeLocalDiagnostics()
{
    removeMatching(context.platform(), QStringLiteral("/usr/local"), QStringLiteral("diagnostics"));
}

void TXSettings::dropAfterLogoff(bool diagnostics)
{
    malvo_syslog(6, "TXSettings: Result after log-off dropped.\n");
    pendingRecord.reset();
    if (diagnostics)
        removeLocalDiagnostics();
    unmountStick();
}

void TXSettings::endDiagnosticsExport(const QString& title, const QString& text)
{
    removeLocalDiagnostics();
    unmountStick();
    if (session.current())
        emit message_request(title, text);
}

void TXSettings::exportDiagnostics()
{
    Platform& platform = context.platform();
    const int mounted = su_mount_usb_drive();
    stickMounted = true;
    if (mounted != 0) {
        endDiagnosticsExport(QStringLiteral("Error"), QStringLiteral("Export failed, USB memory divice not found."));
        return;
    }
    const QString cancelled = QStringLiteral("Transmitter diagnostics file export cancelled.");
    FileDialog saveAs(
        context, QStringLiteral("Save As"), QStringLiteral("*"), QStringLiteral(".txenc"));
    if (saveAs.exec() != QDialog::Accepted) {
        endDiagnosticsExport(QStringLiteral("Transmitter Diagnostics"), cancelled);
        return;
    }
    // The name keeps the extension the dialog gave it, as the receiver's file does.
    const QString target = QStringLiteral("/mnt/usb/") + context.selectedFile();
    if (!DiagnosticsFile::confirmReplacing(context, this, platform.unitPath(target))) {
        endDiagnosticsExport(QStringLiteral("Transmitter Diagnostics"), cancelled);
        return;
    }
    if (DiagnosticsFile::copyToStick(platform, QLatin1String(diagnosticsFile), target)) {
        endDiagnosticsExport(QStringLiteral("Transmitter Diagnostics"),
            QStringLiteral("Transmitter diagnostics file successfully saved on USB memory device."));
    } else {
        endDiagnosticsExport(
            QStringLiteral("Error"), QStringLiteral("Transmitter diagnostics file export failed. Unknown error."));
    }
}
