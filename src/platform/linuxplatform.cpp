#include "linuxplatform.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
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
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return facts;
    const auto dotted = [](const sockaddr* address) {
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) ? QString::fromLatin1(text) : QString();
    };
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name || std::strcmp(entry->ifa_name, "eth0") != 0)
            continue;
        facts.up = entry->ifa_flags & IFF_UP;
        facts.running = entry->ifa_flags & IFF_RUNNING;
        if (!entry->ifa_addr)
            continue;
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            QStringList bytes;
            for (int i = 0; i < qMin(int(link->sll_halen), int(sizeof link->sll_addr)); ++i)
                bytes << QStringLiteral("%1").arg(link->sll_addr[i], 2, 16, QLatin1Char('0')).toUpper();
            facts.hardwareAddress = bytes.join(QLatin1Char(':'));
        } else if (entry->ifa_addr->sa_family == AF_INET) {
            if (facts.addresses.isEmpty() && entry->ifa_netmask)
                facts.netmask = dotted(entry->ifa_netmask);
            facts.addresses << dotted(entry->ifa_addr);
        }
    }
    freeifaddrs(list);
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
