#include "linuxplatform.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

LinuxPlatform::LinuxPlatform(const QString& root) : root(QDir::cleanPath(root)) {}

QString LinuxPlatform::unitPath(const QString& absolutePath) const
{
    if (root == QLatin1String("/"))
        return absolutePath;
    return root + absolutePath;
}

ProgramResult LinuxPlatform::run(const QString& program, const QStringList& arguments, int maxOutput)
{
    return runIn(program, arguments, QString(), -1, maxOutput);
}

ProgramResult LinuxPlatform::runIn(const QString& program, const QStringList& arguments,
                                   const QString& workingDirectory, int timeoutMs, int maxOutput)
{
    ProgramResult result;
    // A bare name would be looked up through PATH, which is not the firmware's.
    if (!QFileInfo(program).isAbsolute())
        return result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted())
        return result;
    result.started = true;
    QElapsedTimer clock;
    clock.start();
    auto keep = [&](const QByteArray& chunk) {
        const int room = maxOutput - result.output.size();
        if (room > 0)
            result.output.append(chunk.left(room));
    };
    while (process.state() != QProcess::NotRunning) {
        if (timeoutMs >= 0 && clock.elapsed() > timeoutMs) {
            process.kill();
            process.waitForFinished(1000);
            result.timedOut = true;
            break;
        }
        process.waitForReadyRead(100);
        keep(process.readAllStandardOutput());
        process.readAllStandardError();
    }
    keep(process.readAllStandardOutput());
    result.exitCode
        = !result.timedOut && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

bool LinuxPlatform::startDetachedIn(const QString& program, const QStringList& arguments,
                                    const QString& workingDirectory)
{
    if (!QFileInfo(program).isAbsolute())
        return false;
    return QProcess::startDetached(program, arguments, workingDirectory);
}

bool LinuxPlatform::startDetached(const QString& program, const QStringList& arguments)
{
    if (!QFileInfo(program).isAbsolute())
        return false;
    return QProcess::startDetached(program, arguments);
}

NetworkFacts LinuxPlatform::eth0() const
{
    NetworkFacts facts;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(QStringLiteral("eth0"));
    if (!iface.isValid())
        return facts;
    facts.up = iface.flags().testFlag(QNetworkInterface::IsUp);
    facts.running = iface.flags().testFlag(QNetworkInterface::IsRunning);
    facts.hardwareAddress = iface.hardwareAddress();
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (facts.addresses.isEmpty())
            facts.netmask = entry.netmask().toString();
        facts.addresses << entry.ip().toString();
    }
    return facts;
}

void LinuxPlatform::sleepMs(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(qMax(0, milliseconds)));
}

qint64 LinuxPlatform::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

bool LinuxPlatform::syncDirectory(const QString& unitFilePath)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(unitFilePath).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}
