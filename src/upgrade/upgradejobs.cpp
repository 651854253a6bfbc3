#include "upgradejobs.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include "platform/platform.h"
#include "services/device_services.h"

namespace {

const char diagnosticsScript[] = "/opt/kestrix/diagnostics.sh";
const char validationScript[] = "/opt/kestrix/security/validate_upgrade_package.sh";

// The firmware's answers fit one short line; longer lines are cut like the
// unit's 100-byte response buffer cuts them.
constexpr int responseLineMax = 99;

QByteArray firstResponseLine(const QByteArray& output)
{
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray& line : lines) {
        if (!line.isEmpty())
            return line.left(responseLineMax);
    }
    return QByteArray();
}

} // namespace

int runRxDiagnosticsJob(Platform& platform)
{
    const ProgramResult result = platform.run(QString::fromLatin1(diagnosticsScript), QStringList());
    const int status = result.started ? result.exitCode : -1;
    if (status != 0)
        malvo_syslog(3, "GUI: Failed to run /opt/kestrix/diagnostics.sh.\n");
    return status;
}

int runPackageValidationJob(Platform& platform, const QString& packagePath)
{
    const QString script = QString::fromLatin1(validationScript);
    if (!QFileInfo(platform.unitPath(script)).isFile()) {
        malvo_syslog(3, "VelmoThr: validation script %s not found\n", validationScript);
        return 14;
    }

    // For the log only: the path reaches the script as one argument.
    const QByteArray command = QByteArray(validationScript) + ' ' + QFile::encodeName(packagePath);
    malvo_syslog(7, "int VelmoThr::run_command_and_get_response(const char*)");

    const ProgramResult run = platform.run(script, QStringList() << packagePath);
    const int status = run.started ? run.exitCode : -1;
    // A verifier that failed has verified nothing, whatever it printed.
    if (status != 0) {
        malvo_syslog(3, "VelmoThr: run command %s returned error %d\n", command.constData(), status);
        return 54;
    }

    const QByteArray line = firstResponseLine(run.output);
    if (line.isEmpty()) {
        malvo_syslog(3, "VelmoThr: run command %s returned empty string\n", command.constData());
        return 54;
    }

    const QByteArray answer = line.trimmed();
    if (answer.contains("Verification Failure"))
        return 1;
    if (answer.contains("Verified OK"))
        return 0;
    malvo_syslog(3, "VelmoThr: command %s returned string %s\n", command.constData(), answer.constData());
    return 1;
}
