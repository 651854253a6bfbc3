#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include "app/logonsession.h"
#include "app/worker.h"
#include "platform/durablewriter.h"
#include "services/device_services.h"

class OsdContext;
class Platform;
class QProgressDialog;
class QTimer;
class VelmoThr;

// The receiver's firmware upgrade from a USB memory device: choose the
// package, verify its signature, judge it, extract it, install it on a worker
// and reboot. Also the transmitter's package choice.
class RxUpgrade : public QObject {
    Q_OBJECT

public:
    RxUpgrade(OsdContext& context, QObject* parent);
    ~RxUpgrade() override;

    void startRxUpgrade();
    // On success `path` becomes the release folder to install.
    int prepareUpgradePackage(QString& path, const QString& folder);
    int prepareRelease(const char* packagePath, const char* folder);
    int verifyPackageSignature(const QString& packagePath, const QString& title);
    // The one signature check of the receiver's and the transmitter's roads:
    // true only when this verification, started from "not verified", passed.
    bool packageVerified(const QString& packagePath, const QString& title);
    int waitForDeCompress();
    // 1 when the stick is mounted at /mnt/usb afterwards.
    int remountUsbDevice();
    int checkForReleaseArchive(QString& file, const QString& folder, const QString& extension);
    int checkForReleaseDirectories(QString& directory, const QString& folder);
    void txUpgrade(const QString& mpn);

    QString txUpgradeFile;
    bool signatureDone = false;
    int signatureResult = 1;
    // One background work item at a time: the installation.
    WorkerSlot workerSlot { "QThread* MainWindow::initializeWorker(Worker*)", "void MainWindow::deinitializeWorker()" };

public slots:
    void upgradeSignatureVerified(int result);
    void postRxUpgrade(int result, void* record);
    void EmupdateProgBar();

private:
    QProgressDialog* newProgressDialog(const QString& label, const QString& title, int maximum);
    void dropProgressDialog();
    bool confirmed(const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
                   QMessageBox::StandardButton yes);
    void endUpgrade();

    OsdContext& context;
    Platform& platform;
    DurableWriter writer;
    QTimer* progressTimer;
    QPointer<QProgressDialog> progress;
    ConfigData* upgradeRecord = nullptr;
    // The log-on the installation was started under.
    LogonSession::Ticket installSession;
    // Which verification is current: a late answer of an earlier one is no answer.
    quint64 verificationSerial = 0;
    // The folder the last extraction was told to create.
    QString extractedRelease;
};
