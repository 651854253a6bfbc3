// velmo-session: what the unit runs outside the OSD on an ordinary host. It
// runs velmogui, then the session velmogui prepared, then velmogui again with
// the reason the session ended.
#include "platform/durablewriter.h"
#include "platform/linuxplatform.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "sessionsupervisor.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

enum Exit { Success = 0, Failure = 1, BadUsage = 2, CannotRun = 127 };

const char usageText[]
    = "Usage: velmo-session [--osd PROGRAM] [--backoff-ms N] [--] [OSD ARGUMENTS...]\n"
      "       velmo-session --report-exit FILE -- PROGRAM [ARGUMENTS...]\n"
      "\n"
      "  Runs the OSD, then the session it prepared, then the OSD again with the reason\n"
      "  the session ended, until SIGTERM, SIGINT or SIGHUP.\n"
      "  --osd PROGRAM       the OSD (default: velmogui beside velmo-session)\n"
      "  --backoff-ms N      the wait after the second run in a row that failed within 5\n"
      "                      seconds, doubled with every further one up to 60 seconds\n"
      "                      (default 1000); after the first the OSD starts again at once\n"
      "  --report-exit FILE  run PROGRAM in this terminal and write its exit status to FILE\n"
      "                      (\"signal N\" when a signal ended it); exit with that status\n"
      "  -h, --help          show this text\n"
      "\n"
      "Exit status: 0 stopped by a signal, 1 the stop signals could not be watched, 2 bad usage.\n";

int usage(const char* problem)
{
    std::fprintf(stderr, "velmo-session: %s\n\n%s", problem, usageText);
    return BadUsage;
}

QString ownExecutable()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// A terminal drops its program's exit status; this keeps it in a file.
int reportExit(const QString& file, const QStringList& command)
{
    QList<QByteArray> words;
    for (const QString& word : command)
        words << QFile::encodeName(word);
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) {
        std::fprintf(stderr, "velmo-session: cannot run %s: %s\n", argv[0], std::strerror(errno));
        return CannotRun;
    }
    if (child == 0) {
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "velmo-session: cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(CannotRun);
    }
    // The terminal's signals are the program's to act on; its end is ours to report.
    for (int signal : { SIGINT, SIGQUIT, SIGHUP })
        ::signal(signal, SIG_IGN);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    const bool signalled = WIFSIGNALED(status);
    const int code = signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    const QByteArray text = signalled ? "signal " + QByteArray::number(code) : QByteArray::number(code);

    LinuxPlatform platform;
    DurableWriter writer(platform);
    writer.writePrivately();
    if (!writer.writeFile(QFileInfo(file).absoluteFilePath(), text + '\n'))
        std::fprintf(stderr, "velmo-session: Can not write the exit status to %s\n",
            QFile::encodeName(file).constData());
    return signalled ? 128 + code : code;
}

void logLine(int priority, const QString& line)
{
    const QByteArray text = line.toLocal8Bit();
    malvo_syslog(priority, "velmo-session: %s\n", text.constData());
    std::fprintf(stderr, "velmo-session: %s\n", text.constData());
}

} // namespace

int main(int argc, char* argv[])
{
    qSetGlobalQHashSeed(0);
    // Descriptors 0 to 2 taken, so that no pipe or file of ours ever lands in their place.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString osd;
    QString reportFile;
    int backoffMs = 1000;
    QStringList rest;
    bool restGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            std::fputs(usageText, stdout);
            return Success;
        } else if (argument == QLatin1String("--osd")) {
            if (!hasValue || arguments.at(i + 1).isEmpty())
                return usage("--osd needs a program");
            osd = arguments.at(++i);
        } else if (argument == QLatin1String("--backoff-ms")) {
            bool number = false;
            backoffMs = hasValue ? arguments.at(++i).toInt(&number) : 0;
            // Without any wait a failing client would be restarted as fast as it fails.
            if (!number || backoffMs < 1)
                return usage("--backoff-ms needs a number of milliseconds, 1 or more");
        } else if (argument == QLatin1String("--report-exit")) {
            if (!hasValue || arguments.at(i + 1).isEmpty())
                return usage("--report-exit needs a file");
            reportFile = arguments.at(++i);
        } else if (argument == QLatin1String("--") || !argument.startsWith(QLatin1Char('-'))) {
            rest = arguments.mid(argument == QLatin1String("--") ? i + 1 : i);
            restGiven = argument == QLatin1String("--");
            break;
        } else {
            return usage("unknown option");
        }
    }

    if (!reportFile.isEmpty()) {
        if (!osd.isEmpty() || !restGiven || rest.isEmpty())
            return usage("--report-exit FILE takes -- and a program, and nothing else");
        return reportExit(reportFile, rest);
    }

    // Before anything could start a thread, which would otherwise die of them.
    SessionSupervisor::holdStopSignals();
    const QString self = ownExecutable();
    if (osd.isEmpty())
        osd = QFileInfo(self).absolutePath() + QStringLiteral("/velmogui");
    const std::unique_ptr<Platform> platform = createUnitPlatform();
    SessionSupervisor supervisor(*platform, osd, rest, self, backoffMs, logLine);
    return supervisor.run();
}
