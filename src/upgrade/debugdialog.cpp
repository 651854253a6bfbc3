#include "debugdialog.h"
#include "ui_debugdialog.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QTimer>

#include "app/osdcontext.h"
#include "app/osdmessagebox.h"
#include "app/titleheader.h"
#include "app/velmothr.h"
#include "app/workprogress.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "upgrade/diagnosticsfile.h"
#include "upgrade/filedialog.h"
#include "rules/usbdevice.h"

namespace {
const char diagnosticsFile[] = "/usr/local/diagnosticsRX.enc";
const char diagnosticsPrefix[] = "diagnostics";
const char localFolder[] = "/usr/local";
} // namespace

debugDialog::debugDialog(OsdContext& context, const QString& title)
    : QDialog(context.window())
    , context(context)
    , platform(context.platform())
    , ui(new Ui::debugDialog)
    , progressTimer(new QTimer(this))
    , job(new VelmoThr(context.platform(), this))
    , session(context.logonTicket())
{
    malvo_syslog(5, "### debugDialog Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(title);
    connect(job, &VelmoThr::RxDiagnosticsEnd, this, &debugDialog::RxDiagnosticsProcessEnd);
    connect(progressTimer, &QTimer::timeout, this, &debugDialog::progress_timer_ovf);
    context.closeOnLogoff(this);
    ui->checkBoxUSBDebug->hide();
    ui->checkBoxOtherDebug->hide();
    malvo_syslog(5, "### debugDialog Constructor End ###\n");
}

debugDialog::~debugDialog()
{
    removeProgressDialog();
    // A job still running is let go, never destroyed under its own feet.
    if (job->isRunning()) {
        disconnect(job, nullptr, this, nullptr);
        job->setParent(nullptr);
        connect(job, &QThread::finished, job, &QObject::deleteLater);
        // After a log-off its result is nobody's: the local file goes when it comes.
        if (!session.current()) {
            Platform* unit = &platform;
            connect(job, &VelmoThr::RxDiagnosticsEnd, job,
                    [unit] { removeMatching(*unit, QLatin1String(localFolder), QLatin1String(diagnosticsPrefix)); },
                    Qt::DirectConnection);
        }
    }
    delete ui;
}

void debugDialog::showOwnMessage(const QString& title, const QString& text)
{
    if (!session.current())
        return;
    malvo_syslog(6, "debugDialog: User Message: %s.\n", qPrintable(text));
    OsdMessageBox box(title, text, QMessageBox::Ok, this);
    connect(&context, &OsdContext::closeActiveDialogs, &box, &QMessageBox::reject);
    box.exec();
}

void debugDialog::removeProgressDialog()
{
    if (progress) {
        progress->hide();
        delete progress;
    }
}

void debugDialog::removeLocalDiagnostics()
{
    removeMatching(platform, QLatin1String(localFolder), QLatin1String(diagnosticsPrefix));
}

void debugDialog::unmountUsb(bool thenWait)
{
    platform.run(QLatin1String(UnitPrograms::umount), { QStringLiteral("/mnt/usb") });
    if (thenWait)
        platform.sleepMs(1000);
}

void debugDialog::on_buttonRunDebug_clicked()
{
    malvo_syslog(5, "debugDialog: Action Run Diagnostics on local device.\n");
    // One run at a time; a second press while it works changes nothing.
    if (job->isRunning())
        return;
    if (!progress) {
        progress = new WorkProgressDialog(QStringLiteral("Diagnostics in progress. Please wait..."),
                                          progressMinimum, progressMaximum, this);
        progress->setWindowTitle(QStringLiteral("Diagnostics Progress"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setFixedWidth(400);
        progress->setWindowFlags(progress->windowFlags() | Qt::WindowStaysOnTopHint);
        progress->setCancelButton(nullptr);
        progress->setMinimumDuration(0);
        progress->setValue(progressMinimum);
    }
    jobDone = false;
    job->setProcessName(QStringLiteral("RxDiagnostics"));
    job->start(QThread::InheritPriority);
    progressTimer->start(1000);
    progress->show();

    QByteArray mounts;
    if (readMountTable(platform, &mounts)) {
        unmountUsb(true);
    } else {
        showOwnMessage(QStringLiteral("Error"), QStringLiteral("Export Receiver diagnostics failed. Unknown error."));
        malvo_syslog(3, "debugDialog: Export failed. Cannot open /proc/mounts... RX diagnostics export can't proceed.\n");
    }
}

void debugDialog::on_pushButtonBack_clicked()
{
    malvo_syslog(5, "debugDialog: Action Close Diagnostics Dialog.\n");
    removeProgressDialog();
    close();
}

void debugDialog::progress_timer_ovf()
{
    if (jobDone) {
        progressTimer->stop();
        removeProgressDialog();
        return;
    }
    if (!progress)
        return;
    int value = progress->value() + 1;
    if (value >= 99)
        value = 90;
    progress->setValue(value);
}

void debugDialog::RxDiagnosticsProcessEnd(int status)
{
    jobDone = true;
    progressTimer->stop();
    removeProgressDialog();
    if (!session.current()) {
        malvo_syslog(6, "debugDialog: Result after log-off dropped.\n");
        removeLocalDiagnostics();
        return;
    }
    if (status != 0) {
        showOwnMessage(QStringLiteral("Error"),
                       QStringLiteral("Error ") + QString::number(status) + QStringLiteral(". Device diagnostics failed."));
        removeLocalDiagnostics();
        return;
    }
    QByteArray mounts;
    if (!readMountTable(platform, &mounts)) {
        context.showMessage(QStringLiteral("Error"), QStringLiteral("Export Receiver_diagnostics failed. Unknown error."));
        malvo_syslog(3, "GUI: Export failed. Cannot open /proc/mounts... RX diagnostics export can't proceed.\n");
        return;
    }
    platform.run(QLatin1String(UnitPrograms::mount), { QStringLiteral("/dev/sda1"), QStringLiteral("/mnt/usb") });
    platform.sleepMs(1000);
    if (!isUsbMounted(platform)) {
        showOwnMessage(QStringLiteral("Error"), QStringLiteral("Export failed. USB memory device not found."));
        unmountUsb(true);
        return;
    }

    FileDialog saveAs(context, QStringLiteral("Save As"), QStringLiteral("*"), QStringLiteral(".rxenc"));
    if (saveAs.exec() != QDialog::Accepted) {
        unmountUsb(false);
        removeLocalDiagnostics();
        showOwnMessage(QStringLiteral("Receiver Diagnostics"), QStringLiteral("Receiver diagnostics file export cancelled."));
        return;
    }

    // The name keeps the extension the dialog gave it.
    const QString target = QStringLiteral("/mnt/usb/") + context.selectedFile();
    if (!DiagnosticsFile::confirmReplacing(context, this, platform.unitPath(target))) {
        unmountUsb(true);
        removeLocalDiagnostics();
        showOwnMessage(QStringLiteral("Receiver Diagnostics"), QStringLiteral("Receiver diagnostics file export canceled."));
        return;
    }

    if (DiagnosticsFile::copyToStick(platform, QLatin1String(diagnosticsFile), target)) {
        showOwnMessage(QStringLiteral("Information"),
                       QStringLiteral("Diagnostics file successfully saved on USB memory device."));
    } else {
        showOwnMessage(QStringLiteral("Error"), QStringLiteral("Diagnostics file export failed. Unknown error."));
    }
    removeLocalDiagnostics();
    unmountUsb(true);
    malvo_syslog(5, "debugDialog: Accept Diagnostics Dialog.\n");
    accept();
}

void debugDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    QWidget* focused = focusWidget();
    if (focused == ui->checkBoxUSBDebug)
        ui->checkBoxUSBDebug->toggle();
    else if (focused == ui->buttonRunDebug)
        on_buttonRunDebug_clicked();
    else if (focused == ui->pushButtonBack)
        on_pushButtonBack_clicked();
}
