#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/logonsession.h"
#include "app/worker.h"
#include "platform/durablewriter.h"
#include "services/device_services.h"
#include "rules/txrecord.h"

class OsdContext;
class RxUpgrade;
class QKeyEvent;
class QMessageBox;
class QProgressDialog;
class QTimer;
class TxPreferences;
struct TxOperation;

namespace Ui {
class TXSettings;
}

// The administrator's console for one transmitter: connect by address, then
// read, re-address, reboot, restore, find, upgrade, diagnose and set its
// preferences. Each operation runs one work function of the device services
// on a worker while a progress dialog creeps; its result comes back to the
// slot named after it.
class TXSettings : public QDialog {
    Q_OBJECT

public:
    // `packages` chooses and verifies the transmitter's package on the stick.
    TXSettings(bool managed, OsdContext& context, RxUpgrade& packages, const QString& role);
    ~TXSettings() override;

    QString txIPAddr();
    void disableButtons();
    void cfgDataInit(ConfigData* record);
    // The package's description, from the chosen package on the stick.
    void initUpgradeData(ConfigData* record);
    void progDialogInit(const QString& title, const QString& text);
    void msgBoxInit(QMessageBox* box, const QString& text);
    void handleError(int error);
    void logSettingsOnError(ConfigData* record);
    // A failed operation told to the user and its record logged; false when it succeeded.
    bool reportedFailure(int error, void* cfg_data);
    bool bValidateTxNetworkEntries(QString* title, QString* text, ConfigData* record);
    int safemode_status();
    QThread* initializeWorkerInstance(Worker* worker);
    void deinitializeWorkerInstance();

    // The connected transmitter's identity as the last connect read it.
    const TxIdentity& identity() const { return txIdentity; }
    // An operation's worker exists until the operation is torn down.
    bool isWorking() const { return workerSlot.worker() != nullptr; }

signals:
    void message_request(const QString& title, const QString& text);
    void progress_show();
    void progress_hide();

public slots:
    void on_connectToTXButton_clicked();
    void on_txInfoButton_clicked();
    void on_txUpgradeButton_clicked();
    void on_txRestoreButton_clicked();
    void on_txRebootButton_clicked();
    void on_networkButtonTX_clicked();
    void on_txApplyButton_clicked();
    void on_DiscoverTxIPButton_clicked();
    void on_txButtonPreferences_clicked();
    void on_pushButtonCloneEdid0_clicked();
    void on_pushButtonCloneEdid1_clicked();
    void on_pushButtonSaveTxPreferences_clicked();
    void on_txDiagnosticsButton_clicked();
    void on_pushButtonNetBack_clicked();
    void on_buttonCancelTxPreferences_clicked();
    void on_txCancelButton_clicked();
    void on_stackedWidget_currentChanged(int index);

    void postTxDevInfo(int error, void* cfg_data);
    void set2KVariables(int error, void* cfg_data);
    void postTxUpgrade(int error, void* cfg_data);
    void postTxRestore(int error, void* cfg_data);
    void postTxReboot(int error, void* cfg_data);
    void postApplyTxNetSettings(int error, void* cfg_data);
    void postDiscoverTxIp(int error, void* cfg_data);
    void postGetTxPrefs(int error, void* cfg_data);
    void postCloneEdid(int error, void* cfg_data);
    void postTxDiag(int error, void* cfg_data);
    void postSaveTxPref(int error, void* cfg_data);

    void updateProgBar();
    void deallocate();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<ConfigData> newRecord();
    // Hands the record and the operation's work function to a new worker.
    void startOperation(std::unique_ptr<ConfigData> record, const TxOperation& operation);
    void cloneEdid(int head);
    void closeProgress();
    void exportDiagnostics();
    void endDiagnosticsExport(const QString& title, const QString& text);
    void unmountStick();
    // A result that comes after a log-off: its record, stick and local files go, unshown.
    void dropAfterLogoff(bool diagnostics);
    void removeLocalDiagnostics();

    bool managed;
    OsdContext& context;
    RxUpgrade& packages;
    QString role;
    QString txAddress;
    TxIdentity txIdentity;
    // The log-on the dialog was opened under; nothing shows or acts once it ended.
    LogonSession::Ticket session;
    WorkerSlot workerSlot { "QThread* TXSettings::initializeWorkerInstance(Worker*)",
        "void TXSettings::deinitializeWorkerInstance()" };
    // Which operation is current: a result or tear-down of any other is stale.
    quint64 operationSerial = 0;
    std::unique_ptr<ConfigData> pendingRecord;
    bool stickMounted = false;
    QPointer<QProgressDialog> progress;
    QTimer* progressTimer;
    Ui::TXSettings* ui;
    TxPreferences* preferences;
    DurableWriter writer;
};
