#include "rxupgrade.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "app/osdcontext.h"
#include "app/velmothr.h"
#include "app/workprogress.h"
#include "app/worker.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "upgrade/filedialog.h"
#include "rules/lsmdata.h"
#include "rules/upgradeerrors.h"
#include "rules/usbdevice.h"

namespace {

const char releaseFolder[] = "/usr/local/";
const char extractionFlag[] = "/tmp/upgrade_complete";
const char signatureFlag[] = "/tmp/signature_done";
const char releasePattern[] = "*DECODER_V*";
const char progressStyle[]
    = "QProgressBar {  border: 1px solid grey;  padding: 0.5px;  border-radius: 10px;  text-align: center;}"
      "QProgressBar::chunk {  border-bottom-right-radius: 10px;  border-bottom-left-radius: 10px;  "
      "border-top-right-radius: 10px;  border-top-left-radius: 10px;  border: 1px #3399ff;  background-color: "
      "#3399ff;}";
constexpr int signatureTries = 800;
constexpr int signatureStepMs = 100;
constexpr int extractionTries = 300;
constexpr int extractionStepMs = 1000;
constexpr int passPhraseSize = SU_STORE_LEN;

void wipe(char* buffer, size_t size)
{
    volatile char* bytes = buffer;
    while (size--)
        *bytes++ = 0;
}

void wipe(QByteArray& bytes)
{
    wipe(bytes.data(), size_t(bytes.size()));
}

} // namespace

RxUpgrade::RxUpgrade(OsdContext& context, QObject* parent)
    : QObject(parent)
    , context(context)
    , platform(context.platform())
    , writer(platform)
    , progressTimer(new QTimer(this))
{
    progressTimer->setObjectName(QStringLiteral("upgradeProgressTimer"));
    progressTimer->setInterval(300);
    connect(progressTimer, &QTimer::timeout, this, &RxUpgrade::EmupdateProgBar);
}

RxUpgrade::~RxUpgrade()
{
    delete upgradeRecord;
}

QProgressDialog* RxUpgrade::newProgressDialog(const QString& label, const QString& title, int maximum)
{
    dropProgressDialog();
    progress = new WorkProgressDialog(label, 0, maximum, context.window());
    progress->setWindowTitle(title);
    progress->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress->setMinimumDuration(0);
    progress->setWindowModality(Qt::WindowModal);
    progress->setCancelButton(nullptr);
    progress->setStyleSheet(QLatin1String(progressStyle));
    progress->setValue(0);
    progress->show();
    return progress;
}

void RxUpgrade::dropProgressDialog()
{
    if (progress) {
        progress->cancel();
        progress->hide();
        progress->deleteLater();
    }
    progress = nullptr;
}

bool RxUpgrade::confirmed(const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
                          QMessageBox::StandardButton yes)
{
    // Only the user's own yes goes on: a box closed for inactivity is a no.
    return context.ask(title, text, buttons) == yes;
}

void RxUpgrade::endUpgrade()
{
    su_unmount_usb_drive();
    emit context.inactivityHeld(false);
}

void RxUpgrade::startRxUpgrade()
{
    const QString prefix = upgradePrefixFromMpn(context.identity().mpn);
    if (remountUsbDevice() == 0) {
        context.showWarning(QStringLiteral("Upgrade failed"),
                                QStringLiteral("Upgrade failed. Error in checking USB memory device"));
        return;
    }

    QString path;
    const int found = checkForReleaseArchive(path, QStringLiteral("/mnt/usb/"), QStringLiteral(".clu"));
    qDebug() << "sFile is:" << context.selectedFile();
    if (found == 0) {
        // Going on would only fail later with a verification error.
        context.showWarning(QStringLiteral("Upgrade failed"), rxPrepareErrorText(14));
        su_unmount_usb_drive();
        return;
    }
    if (found > 1) {
        FileDialog dialog(context, QStringLiteral("Available Upgrade Files"), prefix, QStringLiteral(".clu"));
        if (dialog.exec() != QDialog::Accepted) {
            su_unmount_usb_drive();
            return;
        }
        const QString chosen = context.selectedFile();
        path = isPackageFileName(chosen) ? QStringLiteral("/mnt/usb/") + chosen : QString();
    } else if (!confirmed(QStringLiteral("Confirm Upgrade"),
                          QStringLiteral("Found upgrade file \"%1\" in USB memory device.\nDo you wish to proceed?")
                              .arg(path),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)) {
        su_unmount_usb_drive();
        return;
    }

    // From here an inactivity log-off would pull the stick from under the work.
    emit context.inactivityHeld(true);
    if (prepareUpgradePackage(path, QStringLiteral("/mnt/usb/")) != 0) {
        emit context.inactivityHeld(false);
        return;
    }
    if (!confirmed(QStringLiteral("Upgrade in progress..."),
                   QStringLiteral("Do not power off the system until upgrade has completed and the system has "
                                  "rebooted... Hit OK to start the Upgrade..."),
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)) {
        endUpgrade();
        return;
    }

    qDebug().noquote() << "Selected archive_file = " + path;
    const ProgramResult led = platform.run(QLatin1String(UnitPrograms::flashLed), { QStringLiteral("start") });
    if (!led.started || led.exitCode != 0)
        malvo_syslog(3, "MainWindow: LED Start Flash error...\n");

    newProgressDialog(QStringLiteral("Upgrading............."), QStringLiteral("RX Upgrade"), 100);

    delete upgradeRecord;
    upgradeRecord = new ConfigData();
    std::memset(upgradeRecord, 0, sizeof(ConfigData));
    qstrncpy(upgradeRecord->rx_release_dir, QFile::encodeName(path).constData(),
             sizeof upgradeRecord->rx_release_dir);

    installSession = context.logonTicket();
    auto* worker = new Worker(1);
    worker->setCallbackArg(upgradeRecord);
    worker->setCallback(su_upgrade_rx_unit);
    workerSlot.initialize(worker);
    worker->abort();
    worker->waitForThread();
    // Connected before the work starts: a quick result must not be lost.
    connect(worker, qOverload<int, void*>(&Worker::finished), this, &RxUpgrade::postRxUpgrade,
            Qt::QueuedConnection);
    worker->requestWork();
    progressTimer->start(300);
}

void RxUpgrade::EmupdateProgBar()
{
    malvo_syslog(7, "void MainWindow::EmupdateProgBar()");
    if (!progress || progress->value() > 97)
        return;
    progress->setValue(progress->value() + 1);
}

void RxUpgrade::postRxUpgrade(int result, void* record)
{
    Q_UNUSED(record)
    malvo_syslog(6, "void MainWindow::postRxUpgrade(int, void*)");
    su_unmount_usb_drive();
    progressTimer->stop();
    dropProgressDialog();
    workerSlot.deinitialize();
    delete upgradeRecord;
    upgradeRecord = nullptr;

    const ProgramResult led = platform.run(QLatin1String(UnitPrograms::flashLed), { QStringLiteral("stop") });
    if (!led.started || led.exitCode != 0)
        malvo_syslog(3, "MainWindow: LED Stop Flash error...\n");

    // Whoever started it has been logged off: the result neither shows nor reboots.
    if (!installSession.current()) {
        malvo_syslog(6, "MainWindow: Upgrade result after log-off dropped: %d.\n", result);
        return;
    }
    if (result != 0) {
        context.showWarning(QStringLiteral("Upgrade failed"), upgradeErrorText(result, QStringLiteral("RX")));
        emit context.inactivityHeld(false);
        return;
    }
    context.showWarning(QStringLiteral("Information"), QStringLiteral("Upgrade Complete. The system will now reboot."));
    context.reboot();
}

int RxUpgrade::remountUsbDevice()
{
    const UsbMount mount = remountUsb(platform);
    if (mount == UsbMount::TableUnreadable)
        context.showWarning(QStringLiteral("Error"), QStringLiteral("Upgrade Failed. Cannot open USB memory device."));
    return mount == UsbMount::Mounted ? 1 : 0;
}

int RxUpgrade::checkForReleaseArchive(QString& file, const QString& folder, const QString& extension)
{
    // Only plain files: a link or folder on the stick named like a package is not one.
    const QStringList names = listPlainFiles(platform.unitPath(folder), QLatin1Char('*') + extension);
    if (!names.isEmpty())
        file = folder + names.first();
    return names.size();
}

int RxUpgrade::checkForReleaseDirectories(QString& directory, const QString& folder)
{
    const QStringList names = QDir(platform.unitPath(folder))
                                  .entryList({ QLatin1String(releasePattern) },
                                             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                             QDir::Unsorted);
    if (!names.isEmpty())
        directory = folder + names.first();
    return names.size();
}

int RxUpgrade::prepareUpgradePackage(QString& path, const QString& folder)
{
    // The names go by their bytes on disk: no character may stand in for another.
    const int result = prepareRelease(QFile::encodeName(path).constData(), QFile::encodeName(folder).constData());
    if (result != 0) {
        context.showWarning(QStringLiteral("Upgrade failed"), rxPrepareErrorText(result));
        qDebug() << "Upgrade Fail, File extraction failed: " << result;
        su_unmount_usb_drive();
        return result;
    }
    QFile::remove(platform.unitPath(QLatin1String(lsmTokenFile)));
    qDebug().noquote() << "STEP 3: release_dir_buf = " + extractedRelease;
    path = extractedRelease;
    return 0;
}

int RxUpgrade::prepareRelease(const char* packagePath, const char* folder)
{
    const QString package = QFile::decodeName(packagePath);
    // Every stale release goes, so the one installed is the one extracted now.
    QString stale;
    for (int round = 0; round < 1000 && checkForReleaseDirectories(stale, QLatin1String(releaseFolder)) > 0; ++round) {
        if (removeTree(platform.unitPath(stale)) != 0) {
            malvo_syslog(3, "MainWindow: cannot remove %s\n", qPrintable(stale));
            return 11;
        }
    }

    if (!packageVerified(package, QStringLiteral("Receiver Upgrade"))) {
        malvo_syslog(3, "MainWindow: Upgrade package signature verification failed %s\n", packagePath);
        return 54;
    }

    LsmData data = defaultLsmData();
    readLsmData(platform, writer, package, &data);
    const QString deviceType = QStringLiteral("RX_") + context.identity().boardName + QLatin1Char('_') + context.identity().brand;
    const int outcome = compatibilityCheck(context.identity().swVersion, context.identity().compatibility, deviceType,
                                           context.identity().mpn, data);
    if (outcome != 0) {
        qDebug() << "Error compatibility check. Code: " << outcome;
        return outcome;
    }

    const QString version = releaseVersionComponent(data.softwareVersionRaw);
    if (version.isEmpty()) {
        malvo_syslog(3, "MainWindow: package version is not a folder name.\n");
        return 12;
    }
    extractedRelease = QLatin1String(releaseFolder) + QStringLiteral("DECODER_") + version;
    if (entryExists(platform.unitPath(extractedRelease)) && removeTree(platform.unitPath(extractedRelease)) != 0)
        return 11;

    QStringList arguments { QStringLiteral("--target"), extractedRelease + QLatin1Char('/') };
    if (lsmText(data.encryption).contains(QLatin1String("On"))) {
        char phrase[passPhraseSize] = {};
        const int stored = su_get_store(2, phrase);
        phrase[passPhraseSize - 1] = '\0';
        QByteArray argument = QByteArrayLiteral("pass:") + QByteArray(phrase);
        wipe(phrase, sizeof phrase);
        if (stored != 0) {
            wipe(argument);
            malvo_syslog(3, "MainWindow: cannot read the package pass phrase.\n");
            return 19;
        }
        arguments << QStringLiteral("--ssl-pass-src") << QString::fromLatin1(argument);
        wipe(argument);
    }

    // A flag left by an earlier run would end the wait before this extraction.
    QFile::remove(platform.unitPath(QLatin1String(extractionFlag)));
    const bool started = platform.startDetachedIn(package, arguments, platform.unitPath(QFile::decodeName(folder)));
    for (QString& argument : arguments)
        argument.fill(QLatin1Char(' '));
    if (!started)
        malvo_syslog(3, "MainWindow: cannot start the upgrade package.\n");

    std::printf("waitForDeCompress()\n");
    std::fflush(stdout);
    const QFileInfo release(platform.unitPath(extractedRelease));
    if (!started || waitForDeCompress() == 0 || release.isSymLink() || !release.isDir()) {
        qDebug("Decompression timeout...");
        std::printf("Failed to extract archive\n");
        std::fflush(stdout);
        return 11;
    }
    return 0;
}

bool RxUpgrade::packageVerified(const QString& packagePath, const QString& title)
{
    return verifyPackageSignature(packagePath, title) == 0 && signatureDone && signatureResult == 0;
}

int RxUpgrade::verifyPackageSignature(const QString& packagePath, const QString& title)
{
    // An earlier verification's outcome says nothing about this package.
    signatureResult = 1;
    signatureDone = false;
    const quint64 serial = ++verificationSerial;
    QFile::remove(platform.unitPath(QLatin1String(signatureFlag)));
    auto* job = new VelmoThr(platform);
    connect(job, &VelmoThr::ProgressBarEnd, this, [this, serial](int result) {
        if (serial == verificationSerial)
            upgradeSignatureVerified(result);
    });
    job->setPackagePath(packagePath);
    job->setProcessName(QStringLiteral("showProgressBar"));
    job->start(QThread::InheritPriority);

    newProgressDialog(QStringLiteral("Please wait while files are verified............."),
                      title, 0);
    int result = 1;
    const QString flag = platform.unitPath(QLatin1String(signatureFlag));
    for (int i = 0; i < signatureTries; ++i) {
        QCoreApplication::processEvents();
        if (signatureDone && QFileInfo::exists(flag)) {
            result = 0;
            break;
        }
        // While the job works the wait is on the job itself, so a fast clock
        // cannot run out before a slow job.
        if (!job->isFinished())
            job->wait(signatureStepMs);
        else
            platform.sleepMs(signatureStepMs);
    }
    dropProgressDialog();
    if (job->isFinished()) {
        delete job;
    } else {
        // Never destroyed while it runs; it goes once it is done.
        disconnect(job, nullptr, this, nullptr);
        connect(job, &QThread::finished, job, &QObject::deleteLater);
    }
    return result;
}

void RxUpgrade::upgradeSignatureVerified(int result)
{
    qDebug("MainWindow::ProgressBarStop() called. Process responce: 0 = OK else failure");
    qDebug().noquote() << "MainWindow::Signature verification returned " + QString::number(result) + ".";
    signatureResult = result;
    signatureDone = true;
}

int RxUpgrade::waitForDeCompress()
{
    newProgressDialog(QStringLiteral("Please wait while we copy files............."), QStringLiteral("RX Upgrade"), 0);
    const QString flag = platform.unitPath(QLatin1String(extractionFlag));
    int result = 0;
    for (int i = 0; i < extractionTries; ++i) {
        QCoreApplication::processEvents();
        if (QFileInfo::exists(flag)) {
            result = 1;
            break;
        }
        platform.sleepMs(extractionStepMs);
    }
    dropProgressDialog();
    return result;
}

void RxUpgrade::txUpgrade(const QString& mpn)
{
    const QString prefix = upgradePrefixFromMpn(mpn);
    qDebug().noquote() << "MainWindow::txUpgrade(QString = " + mpn + ")";
    FileDialog dialog(context, QStringLiteral("Available Upgrade Files"), prefix, QStringLiteral(".clu"));
    if (dialog.exec() != QDialog::Accepted) {
        su_unmount_usb_drive();
        txUpgradeFile.clear();
        return;
    }
    const QString file = QStringLiteral("/mnt/usb/") + context.selectedFile();
    // The record holds 64 Latin-1 bytes; a cut path, or one with a character
    // put in place of another, would name another file.
    const QByteArray bytes = QFile::encodeName(file);
    if (bytes.size() >= int(sizeof(ConfigData::tx_upgrade_file)) || bytes != file.toLatin1()) {
        QString title;
        QString text;
        getErrorStrings(14, &title, &text);
        context.showWarning(title, text);
        su_unmount_usb_drive();
        txUpgradeFile.clear();
        return;
    }
    txUpgradeFile = file;
}
