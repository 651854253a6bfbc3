#include "txsettings.h"
#include "ui_txsettings.h"

#include <QDebug>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "app/osdcontext.h"
#include "app/osdmessagebox.h"
#include "app/titleheader.h"
#include "app/workprogress.h"
#include "rules/networkrules.h"
#include "transmitter/txoperations.h"
#include "transmitter/txpreferences.h"
#include "rules/txvalidation.h"
#include "rules/upgradeerrors.h"

namespace TxOperations {
const TxOperation connect { su_get_tx_device_info, "Transmitter Information", "Please wait...", 200,
    &TXSettings::set2KVariables };
const TxOperation information { su_get_tx_device_info, "Transmitter Information", "Please wait...", 200,
    &TXSettings::postTxDevInfo };
const TxOperation upgrade { su_upgrade_tx_unit, "Transmitter Upgrade", "Please wait while Transmitter upgrading...",
    700, &TXSettings::postTxUpgrade };
const TxOperation restore { su_restore_tx_unit, "Transmitter Restore",
    "Restoring Transmitter Appliance. Please wait...", 120, &TXSettings::postTxRestore };
const TxOperation reboot { su_reboot_tx_unit, "Transmitter Reboot", "Appliance reboot in progress. Please wait...",
    460, &TXSettings::postTxReboot };
const TxOperation networkApply { su_set_tx_network, "Transmitter Network Settings", "Applying changes. Please wait...",
    100, &TXSettings::postApplyTxNetSettings };
const TxOperation discover { su_listen_for_ip, "Discover", "Searching for Transmitter IP Address...", 300,
    &TXSettings::postDiscoverTxIp };
const TxOperation readPreferences { su_get_tx_preferences, "Transmitter Preferences", "Please wait...", 110,
    &TXSettings::postGetTxPrefs };
const TxOperation savePreferences { su_set_tx_prefs, "Transmitter Preferences",
    "Saving Transmitter Preferences. Please wait...", 600, &TXSettings::postSaveTxPref };
const TxOperation cloneEdid { su_transfer_clone_edid, "Transmitter DVI Cloning",
    "Transferring DVI Clone. Please wait...", 60, &TXSettings::postCloneEdid };
const TxOperation diagnostics { su_run_tx_diagnostics, "Diagnostics Progress",
    "Transmitter diagnostics is in progress. Please wait...", 300, &TXSettings::postTxDiag };
} // namespace TxOperations

namespace {

const char progressStyle[]
    = "QProgressBar {  border: 1px solid grey;  padding: 0.5px;  border-radius: 10px;  text-align: center;}"
      "QProgressBar::chunk {  border-bottom-right-radius: 10px;  border-bottom-left-radius: 10px;  "
      "border-top-right-radius: 10px;  border-top-left-radius: 10px;  border: 1px #3399ff;  background-color: "
      "#3399ff;}";
const char factoryAddress[] = "192.168.1.22";

ConfigData* asRecord(void* cfg_data)
{
    return static_cast<ConfigData*>(cfg_data);
}

} // namespace

TXSettings::TXSettings(bool managed, OsdContext& context, RxUpgrade& packages, const QString& role)
    : QDialog(context.window())
    , managed(managed)
    , context(context)
    , packages(packages)
    , role(role)
    , session(context.logonTicket())
    , progressTimer(new QTimer(this))
    , ui(new Ui::TXSettings)
    , writer(context.platform())
{
    malvo_syslog(5, "### TXSettings Constructor Start ###\n");
    ui->setupUi(this);
    preferences = new TxPreferences(*ui);
    TitleHeader::attach(this);
    setWindowTitle(QStringLiteral("Transmitter Settings"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    ui->stackedWidget->setCurrentIndex(1);
    for (QWidget* button : { ui->txInfoButton, ui->txUpgradeButton, ui->txRestoreButton, ui->txRebootButton,
             ui->txApplyButton, ui->txButtonPreferences, ui->networkButtonTX, ui->txDiagnosticsButton,
             ui->DiscoverTxIPButton })
        button->setEnabled(false);
    if (role == QLatin1String("Power User")) {
        for (QWidget* widget : std::initializer_list<QWidget*> { ui->txUpgradeButton, ui->labelTXUpgrade, ui->txRestoreButton, ui->labelTXRestore,
                 ui->txButtonPreferences, ui->labelTxPreferences, ui->networkButtonTX, ui->labelNetwork,
                 ui->txDiagnosticsButton, ui->labelTXDiagnistics, ui->DiscoverTxIPButton, ui->labelDiscoverTXIP })
            widget->hide();
    }
    ui->DiscoverTxIPButton->setEnabled(!managed);
    ui->labelEdid_1->setText(QStringLiteral("EDID Settings  DVI 1"));

    connect(ui->lineEditTxIP, &QLineEdit::textChanged, this, &TXSettings::disableButtons);
    connect(progressTimer, &QTimer::timeout, this, &TXSettings::updateProgBar);
    context.closeOnLogoff(this);
    malvo_syslog(5, "### TXSettings Constructor End ###\n");
}

TXSettings::~TXSettings()
{
    progressTimer->stop();
    delete progress;
    // Whatever the running work still reports belongs to no operation of ours.
    ++operationSerial;
    deinitializeWorkerInstance();
    pendingRecord.reset();
    unmountStick();
    delete preferences;
    delete ui;
}

QString TXSettings::txIPAddr()
{
    txAddress = cleanAddress(ui->lineEditTxIP->text());
    return txAddress;
}

void TXSettings::disableButtons()
{
    for (QWidget* button : { ui->txInfoButton, ui->txUpgradeButton, ui->txRestoreButton, ui->txRebootButton,
             ui->txApplyButton, ui->txButtonPreferences, ui->networkButtonTX, ui->txDiagnosticsButton })
        button->setEnabled(false);
}

void TXSettings::cfgDataInit(ConfigData* record)
{
    cfgDataDefaults(record, txIPAddr());
}

std::unique_ptr<ConfigData> TXSettings::newRecord()
{
    return newTxRecord(txIPAddr());
}

int TXSettings::safemode_status()
{
    const std::unique_ptr<ConfigData> record = newRecord();
    return su_safemode_tx_status(record.get());
}

QThread* TXSettings::initializeWorkerInstance(Worker* worker)
{
    QThread* thread = workerSlot.initialize(worker);
    const quint64 serial = ++operationSerial;
    // Only the current operation's worker may tear the current operation down.
    connect(
        worker, &Worker::deallocate, this,
        [this, serial] {
            if (serial == operationSerial)
                deallocate();
        },
        Qt::QueuedConnection);
    return thread;
}

void TXSettings::deinitializeWorkerInstance()
{
    workerSlot.deinitialize();
}

void TXSettings::startOperation(std::unique_ptr<ConfigData> record, const TxOperation& operation)
{
    auto* worker = new Worker(1);
    worker->setCallbackArg(record.get());
    worker->setCallback(operation.function);
    initializeWorkerInstance(worker);
    // The earlier record goes only now: its thread has ended.
    pendingRecord = std::move(record);
    worker->abort();
    worker->waitForThread();
    const quint64 serial = operationSerial;
    auto result = operation.result;
    connect(
        worker, qOverload<int, void*>(&Worker::finished), this,
        [this, serial, result](int error, void*) {
            // A result of an operation that another one has replaced is stale;
            // its record went with it.
            if (serial != operationSerial)
                return;
            Q_ASSERT(pendingRecord);
            progressTimer->stop();
            closeProgress();
            if (!session.current())
                return dropAfterLogoff(result == &TXSettings::postTxDiag);
            // The result slot's record: freed when the slot returns, whichever way it ends.
            const std::unique_ptr<ConfigData> owned = std::move(pendingRecord);
            (this->*result)(error, owned.get());
        },
        Qt::QueuedConnection);
    worker->requestWork();
    progDialogInit(QLatin1String(operation.title), QLatin1String(operation.text));
    progressTimer->start(operation.tickMs);
}

void TXSettings::progDialogInit(const QString& title, const QString& text)
{
    delete progress;
    progress = new WorkProgressDialog(text, 0, 100, this);
    progress->setWindowTitle(title);
    progress->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setCancelButton(nullptr);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setStyleSheet(QLatin1String(progressStyle));
    TitleHeader::attach(progress);
    // The dialog places its label and bar itself, ignoring the title strip's
    // margin: the label keeps that room free, above the 400 x 80 of label and bar.
    const int titleRoom = progress->contentsMargins().top();
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(0, titleRoom, 0, 0);
    progress->setLabel(label);
    progress->setFixedSize(400, 80 + titleRoom);
    progress->setMinimumDuration(0);
    progress->setValue(0);
    progress->show();
    emit progress_show();
}

void TXSettings::updateProgBar()
{
    if (progress && progress->value() <= 97)
        progress->setValue(progress->value() + 1);
}

void TXSettings::closeProgress()
{
    if (!progress)
        return;
    progress->cancel();
    progress->hide();
    progress->deleteLater();
    progress = nullptr;
    emit progress_hide();
}

void TXSettings::deallocate()
{
    progressTimer->stop();
    closeProgress();
    deinitializeWorkerInstance();
}

void TXSettings::msgBoxInit(QMessageBox* box, const QString& text)
{
    box->setWindowTitle(QStringLiteral("Discover"));
    box->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    box->setText(text);
    box->setStandardButtons(QMessageBox::Cancel);
    box->addButton(QStringLiteral("Next >>"), QMessageBox::AcceptRole);
    context.closeOnLogoff(box);
}

void TXSettings::handleError(int error)
{
    QString title;
    QString text;
    getErrorStrings(error, &title, &text);
    context.showWarning(title, text);
    malvo_syslog(3, "Error: %d", error);
}

bool TXSettings::reportedFailure(int error, void* cfg_data)
{
    if (error == 0)
        return false;
    handleError(error);
    logSettingsOnError(asRecord(cfg_data));
    return true;
}

void TXSettings::logSettingsOnError(ConfigData* record)
{
    qDebug("cfg_data->tx_settings.ip: %s", qPrintable(recordText(record->tx_settings.ip)));
    qDebug("cfg_data->rx_settings.manager: %d", record->rx_settings.manager);
    qDebug("cfg_data->rx_settings.managed: %d", record->rx_settings.managed);
    qDebug("cfg_data->rx_settings.token: %s", qPrintable(recordText(record->rx_settings.token)));
    qDebug("cfg_data->rx_settings.mac: %s", qPrintable(recordText(record->rx_settings.mac)));
}

void TXSettings::on_connectToTXButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action Connect to TX.\n");
    const NetworkRefusal refusal
        = checkConnectAddress(ui->lineEditTxIP->text(), liveAddressText(context.platform().eth0()));
    if (refusal.refused()) {
        emit message_request(refusal.title, refusal.text);
        ui->lineEditTxIP->setFocus();
        ui->lineEditTxIP->selectAll();
        return;
    }
    const int status = safemode_status();
    if (status != 0 && status != 1) {
        disableButtons();
        emit message_request(QStringLiteral("Error"), QStringLiteral("Can not connect to Transmitter"));
        return;
    }
    if (managed) {
        ui->txRestoreButton->setEnabled(true);
        ui->txDiagnosticsButton->setEnabled(true);
        ui->txButtonPreferences->setEnabled(status == 0);
        return;
    }
    if (status == 1) {
        for (QWidget* button : { ui->DiscoverTxIPButton, ui->txInfoButton, ui->txUpgradeButton, ui->txRestoreButton,
                 ui->txRebootButton, ui->txApplyButton, ui->txDiagnosticsButton })
            button->setEnabled(true);
        return;
    }
    for (QWidget* button : { ui->txInfoButton, ui->txUpgradeButton, ui->txRestoreButton, ui->txRebootButton,
             ui->txApplyButton, ui->txButtonPreferences, ui->networkButtonTX, ui->txDiagnosticsButton,
             ui->DiscoverTxIPButton })
        button->setEnabled(true);
    malvo_syslog(6, "cfg_data->tx_settings.ip: %s\n", qPrintable(txIPAddr()));
    startOperation(newRecord(), TxOperations::connect);
}

void TXSettings::set2KVariables(int error, void* cfg_data)
{
    if (error != 0)
        disableButtons();
    if (reportedFailure(error, cfg_data))
        return;
    ConfigData* record = asRecord(cfg_data);
    fillMulticastDefaults(record);
    txIdentity = readTxIdentity(*record);
}

void TXSettings::on_txInfoButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Information.\n");
    startOperation(newRecord(), TxOperations::information);
}

void TXSettings::postTxDevInfo(int error, void* cfg_data)
{
    ConfigData* record = asRecord(cfg_data);
    if (reportedFailure(error, cfg_data))
        return;
    fillMulticastDefaults(record);
    emit message_request(QStringLiteral("Transmitter Information"),
        txInformationText(recordText(record->tx_settings.ip), readTxIdentity(*record)));
}

void TXSettings::on_txRebootButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Reboot.\n");
    emit message_request(QStringLiteral("Transmitter Reboot"), QStringLiteral("Transmitter will reboot now."));
    // The notice was closed by a log-off, not read.
    if (!session.current())
        return;
    startOperation(newRecord(), TxOperations::reboot);
}

void TXSettings::postTxReboot(int error, void* cfg_data)
{
    if (reportedFailure(error, cfg_data))
        return;
    emit message_request(QStringLiteral("Transmitter Reboot"), QStringLiteral("Appliance rebooted successfully."));
}

void TXSettings::on_txRestoreButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Restore.\n");
    startOperation(newRecord(), TxOperations::restore);
}

void TXSettings::postTxRestore(int error, void* cfg_data)
{
    if (reportedFailure(error, cfg_data))
        return;
    ui->lineEditTxIP->setText(QLatin1String(factoryAddress));
    on_connectToTXButton_clicked();
    emit message_request(
        QStringLiteral("Transmitter Restore"), QStringLiteral("Transmitter Restored successfully. Transmitter Rebooting."));
}

void TXSettings::on_networkButtonTX_clicked()
{
    malvo_syslog(5, "TXSettings: Action TX Network Settings.\n");
    ui->lineEditMCastAddr->setEnabled(false);
    ui->labelMCastAddr->setEnabled(false);
    const std::unique_ptr<ConfigData> record = newRecord();
    const int result = su_get_tx_network_settings(record.get());
    if (result != 0) {
        handleError(result);
        logSettingsOnError(record.get());
        return;
    }
    ui->connectToTXButton->setEnabled(false);
    const TxNetwork network = readTxNetwork(*record);
    ui->txIPLineEdit->setText(network.ip);
    ui->txMaskLineEdit->setText(network.mask);
    ui->txGateLineEdit->setText(network.gateway);
    ui->lineEditMCastAddr->setText(network.mcastAddr);
    ui->stackedWidget->setCurrentIndex(0);
}

bool TXSettings::bValidateTxNetworkEntries(QString* title, QString* text, ConfigData* record)
{
    TxNetworkEntries entries { ui->txIPLineEdit->text(), ui->txMaskLineEdit->text(), ui->txGateLineEdit->text() };
    const NetworkRefusal refusal
        = checkTxNetworkEntries(entries, liveAddressText(context.platform().eth0()));
    if (refusal.refused()) {
        *title = refusal.title;
        *text = refusal.text;
        if (refusal.resetMask)
            ui->txMaskLineEdit->setText(QStringLiteral("255.255.255.0"));
        QLineEdit* field = refusal.focus == NetworkField::Mask ? ui->txMaskLineEdit
            : refusal.focus == NetworkField::Gateway           ? ui->txGateLineEdit
                                                               : ui->txIPLineEdit;
        field->setFocus();
        if (refusal.selectFocus)
            field->selectAll();
        return false;
    }
    copyRecordText(record->tx_net.ip, entries.address);
    copyRecordText(record->tx_net.mask, entries.mask);
    copyRecordText(record->tx_net.gateway, entries.gateway);
    copyRecordText(record->tx_net.aux, QStringLiteral("null"));
    copyRecordText(record->tx_settings.ip, txIPAddr());
    record->tx_net.flags[0] = 0;
    record->tx_net.flags[1] = 0;
    return true;
}

void TXSettings::on_txApplyButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action Apply TX Network Settings.\n");
    std::unique_ptr<ConfigData> record = newRecord();
    QString title;
    QString text;
    if (!bValidateTxNetworkEntries(&title, &text, record.get())) {
        context.showWarning(title, text);
        return;
    }
    const NetworkRange range = validateNetworkRange(
        recordText(record->tx_net.ip), recordText(record->tx_net.mask), recordText(record->tx_net.gateway));
    if (range.valid != 1) {
        context.showWarning(range.title, range.text);
        return;
    }
    record->net_device_type[0] = 'T';
    record->net_device_type[1] = 'X';
    startOperation(std::move(record), TxOperations::networkApply);
}

void TXSettings::postApplyTxNetSettings(int error, void* cfg_data)
{
    ConfigData* record = asRecord(cfg_data);
    if (reportedFailure(error, cfg_data))
        return;
    ui->lineEditTxIP->setText(recordText(record->tx_net.ip));
    emit message_request(QStringLiteral("Transmitter Restore"),
        QStringLiteral("TransmitternNetwork settings changed successfully. Transmitter is now rebooting."));
    close();
}

void TXSettings::on_DiscoverTxIPButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action Discover TX IP.\n");
    ui->lineEditTxIP->clear();
    for (const QString& text : { QStringLiteral("To find Transmitter IP Address perform the following actions:\n\n "
                                                "Connect directly to Transmitter.\n"),
             QStringLiteral("Now power cycle the Transmitter and hit Next Button immediately.") }) {
        OsdMessageBox box(QStringLiteral("Discover"), text, QMessageBox::NoButton, this);
        msgBoxInit(&box, text);
        box.exec();
        if (box.buttonRole(box.clickedButton()) != QMessageBox::AcceptRole)
            return;
    }
    startOperation(newRecord(), TxOperations::discover);
}

void TXSettings::postDiscoverTxIp(int error, void* cfg_data)
{
    ConfigData* record = asRecord(cfg_data);
    if (reportedFailure(error, cfg_data))
        return;
    const TxDiscovery found = readTxDiscovery(*record);
    ui->lineEditTxIP->setText(found.address);
    emit message_request(QStringLiteral("Discover"), discoveryMessage(found));
    on_connectToTXButton_clicked();
}

void TXSettings::on_pushButtonNetBack_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
    ui->connectToTXButton->setEnabled(true);
}

void TXSettings::on_buttonCancelTxPreferences_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
    ui->connectToTXButton->setEnabled(true);
}

void TXSettings::on_txCancelButton_clicked()
{
    malvo_syslog(5, "TXSettings: Action Close TX Dialog.\n");
    close();
}

void TXSettings::on_stackedWidget_currentChanged(int index)
{
    ui->lineEditTxIP->setEnabled(index == 1);
}

void TXSettings::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    QWidget* focused = focusWidget();
    const std::pair<QWidget*, void (TXSettings::*)()> actions[] = {
        { ui->connectToTXButton, &TXSettings::on_connectToTXButton_clicked },
        { ui->txInfoButton, &TXSettings::on_txInfoButton_clicked },
        { ui->txUpgradeButton, &TXSettings::on_txUpgradeButton_clicked },
        { ui->txRestoreButton, &TXSettings::on_txRestoreButton_clicked },
        { ui->txRebootButton, &TXSettings::on_txRebootButton_clicked },
        { ui->DiscoverTxIPButton, &TXSettings::on_DiscoverTxIPButton_clicked },
        { ui->txButtonPreferences, &TXSettings::on_txButtonPreferences_clicked },
        { ui->networkButtonTX, &TXSettings::on_networkButtonTX_clicked },
        { ui->txCancelButton, &TXSettings::on_txCancelButton_clicked },
        { ui->txApplyButton, &TXSettings::on_txApplyButton_clicked },
        { ui->txDiagnosticsButton, &TXSettings::on_txDiagnosticsButton_clicked },
        { ui->buttonCancelTxPreferences, &TXSettings::on_buttonCancelTxPreferences_clicked },
        { ui->pushButtonSaveTxPreferences, &TXSettings::on_pushButtonSaveTxPreferences_clicked },
    };
    for (const auto& action : actions) {
        // A disabled button does nothing on Return either.
        if (focused == action.first && action.first->isEnabled()) {
            (this->*action.second)();
            return;
        }
    }
}
