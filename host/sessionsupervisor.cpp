#include "sessionsupervisor.h"

#include "childprocess.h"
#include "preparedsession.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

qint64 millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

QString describeEnd(const ClientEnd& end)
{
    if (!end.started)
        return QStringLiteral("could not start (%1)").arg(QString::fromLocal8Bit(end.errorTail));
    return end.signalled ? QStringLiteral("ended on signal %1").arg(end.code)
                         : QStringLiteral("ended with exit status %1").arg(end.code);
}

// The stop signals, read from a descriptor rather than caught, so that one that
// arrives while a child runs or during a back-off is seen by the same poll.
class StopSignals {
public:
    StopSignals()
    {
        SessionSupervisor::holdStopSignals();
        const sigset_t set = stopSet();
        fd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~StopSignals()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int descriptor() const { return fd; }
    // The signal that came, or 0.
    static int take(int fd)
    {
        signalfd_siginfo info {};
        return ::read(fd, &info, sizeof info) == ssize_t(sizeof info) ? int(info.ssi_signo) : 0;
    }
    // Sleeps `ms` unless a stop signal comes first; that signal, or 0.
    int sleep(qint64 ms) const
    {
        const Clock::time_point start = Clock::now();
        for (qint64 left = ms; left > 0; left = ms - millisecondsSince(start)) {
            pollfd watch { fd, POLLIN, 0 };
            if (::poll(&watch, 1, int(left)) > 0)
                if (const int signal = take(fd))
                    return signal;
        }
        return 0;
    }

    static sigset_t stopSet()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : { SIGTERM, SIGINT, SIGHUP })
            sigaddset(&set, signal);
        return set;
    }

private:
    int fd = -1;
};

// Waits for the child; the stop signal that came first, or 0 once it ended.
// A child still running then is ended with its ChildProcess.
int waitUnlessStopped(ChildProcess& child, int stopFd)
{
    while (!child.wait(stopFd)) {
        if (const int signal = StopSignals::take(stopFd))
            return signal;
    }
    return 0;
}

} // namespace

SessionSupervisor::SessionSupervisor(Platform& platform, const QString& osdProgram,
    const QStringList& osdArguments, const QString& selfProgram, int backoffBaseMs, Log log)
    : platform(platform)
    , osdProgram(osdProgram)
    , osdArguments(osdArguments)
    , selfProgram(selfProgram)
    , backoffBaseMs(backoffBaseMs)
    , log(std::move(log))
{
}

void SessionSupervisor::holdStopSignals()
{
    const sigset_t set = StopSignals::stopSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

qint64 SessionSupervisor::backoffMs(int baseMs, int quickFailures)
{
    // One failure is a person's wrong address or password: the OSD comes back
    // at once to say so. Only a repeated one waits, ever longer.
    if (quickFailures <= 1)
        return 0;
    qint64 delay = qMax(baseMs, 0);
    for (int i = 2; i < quickFailures && delay < maxBackoffMs; ++i)
        delay *= 2;
    return qMin<qint64>(delay, maxBackoffMs);
}

int SessionSupervisor::run()
{
    // A client that closes its standard input early must not end us.
    ::signal(SIGPIPE, SIG_IGN);
    const StopSignals stop;
    if (stop.descriptor() < 0) {
        log(3,
            QStringLiteral("Can not watch the stop signals: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }
    clearPreparedSession(platform);
    Outcome last;
    int quickFailures = 0;
    while (!last.stopSignal) {
        if (const qint64 delay = backoffMs(backoffBaseMs, quickFailures)) {
            log(5,
                QStringLiteral("Waiting %1 ms before starting the OSD again (quick failures in a row: %2)")
                    .arg(delay)
                    .arg(quickFailures));
            if ((last.stopSignal = stop.sleep(delay)))
                break;
        }
        last = runOnce(last.reason, stop.descriptor());
        quickFailures = last.quickFailure ? quickFailures + 1 : 0;
    }
    log(5, QStringLiteral("Stopped on signal %1").arg(last.stopSignal));
    clearPreparedSession(platform);
    return 0;
}

SessionSupervisor::Outcome SessionSupervisor::runOnce(const QString& reason, int stopFd)
{
    QStringList arguments = osdArguments;
    if (reason.isEmpty()) {
        log(5, QStringLiteral("Starting the OSD: %1").arg(osdProgram));
    } else {
        log(5,
            QStringLiteral("Starting the OSD: %1 with the disconnect reason \"%2\"").arg(osdProgram, reason));
        arguments << QStringLiteral("-e") << reason;
    }
    Outcome outcome;
    Clock::time_point started = Clock::now();
    ChildProcess osd;
    if (osd.start(osdProgram, arguments) && (outcome.stopSignal = waitUnlessStopped(osd, stopFd)))
        return outcome;
    QString fault;
    std::optional<PreparedSession> session = takePreparedSession(platform, selfProgram, &fault);
    // A password nobody took never stays behind.
    clearPreparedSession(platform);
    if (!fault.isEmpty())
        log(3, QStringLiteral("The prepared session can not run: %1").arg(fault));
    if (!session) {
        const ClientEnd& end = osd.end();
        log(end.started && !end.signalled ? 5 : 3,
            QStringLiteral("The OSD %1%2")
                .arg(describeEnd(end), end.started ? QStringLiteral(" without a session") : QString()));
        outcome.quickFailure = millisecondsSince(started) < quickRunMs;
        return outcome;
    }

    const QString& type = session->request.type;
    const ClientCommand& command = session->command;
    for (const QString& note : command.notes)
        log(5, QStringLiteral("The %1 session: %2").arg(type, note));
    ChildInput input;
    if (command.secretRoute == SecretRoute::StandardInput)
        input.standardInput = session->secret;
    else if (command.secretRoute == SecretRoute::PasswordFile)
        input.descriptor3 = session->secret;
    log(5, QStringLiteral("Starting the %1 session: %2").arg(type, command.program));
    started = Clock::now();
    ChildProcess client;
    if (client.start(command.program, command.arguments, input)
        && (outcome.stopSignal = waitUnlessStopped(client, stopFd)))
        return outcome;
    const ClientEnd end = sessionEnd(platform, *session, client.end());
    outcome.reason = disconnectReason(type, end);
    log(outcome.reason.isEmpty() ? 5 : 3,
        QStringLiteral("The %1 session %2%3")
            .arg(type, describeEnd(end),
                outcome.reason.isEmpty() ? QString() : QStringLiteral(": ") + outcome.reason));
    outcome.quickFailure = !outcome.reason.isEmpty() && millisecondsSince(started) < quickRunMs;
    return outcome;
}
