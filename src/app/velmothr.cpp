#include "velmothr.h"

#include <QDebug>
#include <QFile>

#include <cstdio>

#include "services/device_services.h"
#include "upgrade/upgradejobs.h"

VelmoThr::VelmoThr(Platform& platform, QObject* parent)
    : QThread(parent)
    , platform(platform)
{
}

void VelmoThr::setProcessName(const QString& name)
{
    processName = name;
    qstrncpy(processNameBuffer, name.toLocal8Bit().constData(), sizeof processNameBuffer);
}

void VelmoThr::setPackagePath(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    packagePathTooLong = encoded.size() >= int(sizeof packagePath);
    qstrncpy(packagePath, encoded.constData(), sizeof packagePath);
}

void VelmoThr::run()
{
    qDebug("VelmoThr: Running \"%s\"", processNameBuffer);

    if (processName == QLatin1String("RxDiagnostics")) {
        emit RxDiagnosticsEnd(runRxDiagnosticsJob(platform));
    } else if (processName == QLatin1String("showProgressBar")) {
        int result = 54;
        if (packagePathTooLong)
            malvo_syslog(3, "VelmoThr: package path too long: %s\n", packagePath);
        else
            result = runPackageValidationJob(platform, QFile::decodeName(packagePath));
        emit ProgressBarEnd(result);
    } else {
        std::printf("Function %s does not exist, IP is: %s\n", processNameBuffer, "");
        std::fflush(stdout);
    }
}
