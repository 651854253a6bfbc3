#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include "app/logonsession.h"

class OsdContext;
class Platform;
class QKeyEvent;
class QProgressDialog;
class QTimer;
class VelmoThr;

namespace Ui {
class debugDialog;
}

// Runs the receiver's diagnostics in the background and saves the result to
// the USB memory device.
class debugDialog : public QDialog {
    Q_OBJECT

public:
    debugDialog(OsdContext& context, const QString& title);
    ~debugDialog() override;

public slots:
    void on_buttonRunDebug_clicked();
    void on_pushButtonBack_clicked();
    void progress_timer_ovf();
    void RxDiagnosticsProcessEnd(int status);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showOwnMessage(const QString& title, const QString& text);
    void removeProgressDialog();
    void removeLocalDiagnostics();
    void unmountUsb(bool thenWait);

    OsdContext& context;
    Platform& platform;
    Ui::debugDialog* ui;
    QTimer* progressTimer;
    QPointer<QProgressDialog> progress;
    int progressMinimum = 0;
    int progressMaximum = 100;
    VelmoThr* job;
    // The log-on the dialog was opened under; its results go nowhere after it ends.
    LogonSession::Ticket session;
    bool jobDone = false;
};
