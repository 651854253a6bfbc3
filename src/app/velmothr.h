#pragma once

#include <QString>
#include <QThread>

class Platform;

// Runs one named background job of the unit's firmware and reports its
// result code through the job's end signal.
class VelmoThr : public QThread {
    Q_OBJECT

public:
    explicit VelmoThr(Platform& platform, QObject* parent = nullptr);

    void setProcessName(const QString& name);
    void setPackagePath(const QString& path);

signals:
    void RxDiagnosticsEnd(int status);
    void ProgressBarEnd(int result);

protected:
    void run() override;

private:
    Platform& platform;
    QString processName;
    char processNameBuffer[255] = {};
    char packagePath[256] = {};
    // A path that did not fit the buffer must not be validated in its cut form.
    bool packagePathTooLong = false;
};
