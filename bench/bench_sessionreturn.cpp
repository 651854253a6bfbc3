// How long the OSD takes to come back after a session ends, beside how long it
// takes to start alone. The real velmo-session runs the real velmogui of the
// same build tree on a private X server (Xvfb). The unit logs "admin" on by
// itself and connects him at once to a VNC connection at 127.0.0.1 on a port
// that refuses: the first OSD prepares the session and ends, the host's
// vncviewer fails, and the supervisor starts the OSD again with "-e <reason>".
//
// "Back" is seen from outside, as in bench_startup: the moment the server maps
// a top-level window of the new velmogui process. Timed from the moment the
// supervisor reports the session's end on its standard error (each line is
// stamped as it arrives). Beside it, in the same turns: velmogui alone, with
// the same arguments on the same unit (the log-on restored), from its spawn
// until the same map; and the bare Qt start (bench_floor start).
//
// Needs Xvfb and vncviewer on the PATH and libxcb (loaded at run time);
// without them it says so and measures nothing.

#include "benchdatabase.h"
#include "benchprocess.h"
#include "benchutil.h"

#include "simunit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Each run is a whole session cycle of three processes and more.
constexpr int defaultRuns = 9;
const char connectionName[] = "Refusing VNC";

// What the supervisor says on its standard error, one line each.
const char sessionStartText[] = "velmo-session: Starting the vnc session";
const char sessionEndText[] = "velmo-session: The vnc session ";
const char osdStartText[] = "velmo-session: Starting the OSD: ";

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_sessionreturn: ") + why);
    return 1;
}

// --- processes --------------------------------------------------------------

// What a process's /proc entry says, read while it runs.
QByteArray procFile(pid_t pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.read(64 * 1024) : QByteArray();
}

QStringList argumentsOf(pid_t pid)
{
    QStringList arguments;
    const QList<QByteArray> words = procFile(pid, "cmdline").split('\0');
    for (int i = 1; i + 1 < words.size(); ++i)
        arguments << QFile::decodeName(words.at(i));
    return arguments;
}

// --- the display ------------------------------------------------------------

struct Map {
    double atUs = 0;
    pid_t pid = 0; // of the window's owner; 0 when it did not say
    QByteArray name; // that process's name, read the moment the map was seen
};

class Display : public bench::PrivateDisplay {
public:
    // The top-level maps waiting, each stamped by `clock` the moment it is read.
    QVector<Map> maps(const bench::Timer& clock)
    {
        QVector<Map> seen;
        eachMap([&](xcb_window_t window) {
            Map shown;
            shown.atUs = clock.elapsedUs();
            shown.pid = ownerOf(window);
            if (shown.pid > 0)
                shown.name = procFile(shown.pid, "comm").trimmed();
            seen << shown;
        });
        return seen;
    }

    // Waits for a map of a top-level window of `pid`; its time by `clock`, or -1.
    double waitForMap(pid_t pid, const bench::Timer& clock)
    {
        double at = -1;
        watchChild(pid, [&] {
            for (const Map& map : maps(clock)) {
                if (map.pid == pid) {
                    at = map.atUs;
                    return true;
                }
            }
            return false;
        });
        return at;
    }
};

// --- the unit ---------------------------------------------------------------

// A port on 127.0.0.1 that refuses every connection: bound, never listening,
// and held for the whole benchmark so that nothing else takes it.
class RefusingPort {
public:
    RefusingPort()
    {
        socketFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socketFd >= 0 && ::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && ::getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~RefusingPort()
    {
        if (socketFd >= 0)
            ::close(socketFd);
    }
    int port = 0;

private:
    int socketFd = -1;
};

// The default database, plus the VNC connection that "admin" gets connected to at log-on.
QByteArray unitDatabase(int port)
{
    QDomDocument document = newDatabaseDocument();
    const auto name = [](const char* latin1) { return QString::fromLatin1(latin1); };
    QDomElement root = document.documentElement();
    QDomElement connection = document.createElement(name(db::Connection));
    connection.setAttribute(name(db::Name), name(connectionName));
    connection.setAttribute(name(db::Type), QStringLiteral("VNC"));
    connection.setAttribute(name(db::IpAddress), QStringLiteral("127.0.0.1"));
    connection.setAttribute(name(db::Port), QString::number(port));
    connection.setAttribute(name(db::Password), QStringLiteral("bench-pw"));
    root.firstChildElement(name(db::Connections)).appendChild(connection);

    QDomElement admin = root.firstChildElement(name(db::Users)).firstChildElement(name(db::User));
    while (!admin.isNull() && admin.attribute(name(db::UserName)) != QLatin1String("admin"))
        admin = admin.nextSiblingElement(name(db::User));
    if (admin.isNull())
        return QByteArray();
    for (QDomElement old = admin.firstChildElement(name(db::AutoConnect)); !old.isNull();
         old = admin.firstChildElement(name(db::AutoConnect)))
        admin.removeChild(old);
    QDomElement association = document.createElement(name(db::AssociatedConnections));
    association.setAttribute(name(db::ConnectionName), name(connectionName));
    admin.appendChild(association);
    QDomElement autoConnect = document.createElement(name(db::AutoConnect));
    autoConnect.setAttribute(name(db::AutoConnectName), name(connectionName));
    admin.appendChild(autoConnect);
    return databaseText(document);
}

// Puts the unit back as the run needs it: no marker of an earlier session, or
// (`restored`) the record the first OSD leaves when it connected.
bool resetUnit(SimUnit& unit, bool restored)
{
    for (const char* marker :
        { "/tmp/WAS_CONNECTED", "/tmp/LOGIN_VIA_REST", "/tmp/guiBootCount.txt", "/tmp/noErrorCode.txt",
            "/tmp/logAfterConnect.xml", "/tmp/startapp.sh", "/tmp/prevConnection.sh" })
        QFile::remove(unit.path(QLatin1String(marker)));
    unit.clearRecords();
    if (!restored)
        return true;
    QFile record(unit.path(QStringLiteral("/tmp/WAS_CONNECTED")));
    return record.open(QIODevice::WriteOnly)
        && record.write(QByteArray("admin\n") + connectionName + '\n') > 0;
}

// --- one supervised session ---------------------------------------------------

struct Return {
    QString why; // empty when the OSD came back
    double sessionUs = -1; // session start line to session end line
    double supervisorUs = -1; // session end line to the next OSD start line
    double shownUs = -1; // session end line to the new OSD's window
    QStringList osdArguments; // of the OSD that came back
};

class Supervised {
public:
    Supervised(Display& display, const QString& program, const QStringList& arguments,
        bench::Environment& environment)
        : display(display)
    {
        int errors[2];
        if (::pipe2(errors, O_CLOEXEC) != 0)
            return;
        readFd = errors[0];
        pid = bench::spawn(program, arguments, environment, QString(), errors[1]);
        ::close(errors[1]);
    }
    ~Supervised()
    {
        bench::endChild(pid, 10000);
        // What it started and left behind is ours now, as the subreaper.
        for (const pid_t left : qAsConst(seen)) {
            if (::kill(left, SIGKILL) == 0)
                ::waitpid(left, nullptr, 0);
        }
        while (::waitpid(-1, nullptr, WNOHANG) > 0) { }
        if (readFd >= 0)
            ::close(readFd);
    }

    Return watch()
    {
        Return result;
        if (pid <= 0) {
            result.why = QStringLiteral("velmo-session could not be started");
            return result;
        }
        double startAt = -1;
        double endAt = -1;
        QStringList strangers;
        while (clock.elapsedUs() < bench::childTimeoutMs * 1000.0) {
            pollfd watch[2] = { { readFd, POLLIN, 0 }, { display.fileDescriptor(), POLLIN, 0 } };
            ::poll(watch, 2, 20);
            const bool ended = bench::exited(pid);
            for (const auto& line : readLines()) {
                if (startAt < 0 && line.second.contains(QLatin1String(sessionStartText)))
                    startAt = line.first;
                else if (endAt < 0 && startAt >= 0 && line.second.contains(QLatin1String(sessionEndText)))
                    endAt = line.first;
                else if (endAt >= 0 && result.supervisorUs < 0
                    && line.second.contains(QLatin1String(osdStartText)))
                    result.supervisorUs = line.first - endAt;
            }
            for (const Map& map : display.maps(clock)) {
                if (map.pid > 0 && !seen.contains(map.pid))
                    seen << map.pid;
                if (map.name != "velmogui") {
                    strangers << QString::fromLocal8Bit(map.name);
                } else if (endAt >= 0) {
                    result.shownUs = map.atUs - endAt;
                    result.sessionUs = endAt - startAt;
                    result.osdArguments = argumentsOf(map.pid);
                    return result;
                }
            }
            if (ended)
                break;
        }
        result.why
            = QStringLiteral("the OSD did not come back after a session (%1 s%2); velmo-session said:\n")
                  .arg(bench::childTimeoutMs / 1000)
                  .arg(strangers.isEmpty()
                          ? QString()
                          : QStringLiteral(", windows shown by: ") + strangers.join(QLatin1Char(' ')))
            + said.join(QLatin1Char('\n'));
        return result;
    }

private:
    // The complete lines waiting on the supervisor's standard error, each
    // stamped the moment its end was read.
    QList<QPair<double, QString>> readLines()
    {
        QList<QPair<double, QString>> lines;
        char buffer[4096];
        for (;;) {
            pollfd ready { readFd, POLLIN, 0 };
            if (::poll(&ready, 1, 0) <= 0 || !(ready.revents & POLLIN))
                break;
            const ssize_t n = ::read(readFd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            const double at = clock.elapsedUs();
            pending.append(buffer, static_cast<int>(n));
            for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
                const QString line = QString::fromLocal8Bit(pending.left(end));
                pending.remove(0, end + 1);
                lines << qMakePair(at, line);
                said << line;
                if (said.size() > 20)
                    said.removeFirst();
            }
        }
        return lines;
    }

    Display& display;
    bench::Timer clock;
    pid_t pid = -1;
    QVector<pid_t> seen; // the owners of the windows shown
    int readFd = -1;
    QByteArray pending;
    QStringList said;
};

struct Series {
    QVector<double> shown;
    QVector<double> supervisor;
    QVector<double> session;
    QVector<double> alone;
    QVector<double> floor;
};

} // namespace

int main(int argc, char** argv)
{
    qSetGlobalQHashSeed(0);
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const bool runsGiven
        = arguments.contains(QStringLiteral("--runs")) || qEnvironmentVariableIsSet("VELMO_BENCH_RUNS");
    const int runs = runsGiven ? bench::runCount(arguments) : defaultRuns;
    const QString binDir = application.applicationDirPath();
    const QString osd = QFileInfo(binDir + QStringLiteral("/../velmogui")).absoluteFilePath();
    const QString supervisor = QFileInfo(binDir + QStringLiteral("/../velmo-session")).absoluteFilePath();
    for (const QString& program : { osd, supervisor }) {
        if (!QFileInfo(program).isExecutable())
            return fail(QStringLiteral("not beside the benchmarks: ") + program);
    }
    if (QStandardPaths::findExecutable(QStringLiteral("vncviewer")).isEmpty()) {
        bench::printLine(QStringLiteral("bench_sessionreturn: skipped, needs vncviewer (tigervnc-viewer)"));
        return 0;
    }
    // The OSD and the clients the supervisor leaves behind when it is stopped
    // become this process's children, so that none outlives a run.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    const QString base = qEnvironmentVariable("VELMO_BENCH_DIR", QDir::tempPath());
    QTemporaryDir folder(base + QStringLiteral("/bench_sessionreturn-XXXXXX"));
    if (!folder.isValid())
        return fail(QStringLiteral("cannot create a temporary folder"));
    Display display;
    const QString why = display.start(folder.filePath(QStringLiteral("xvfb.err")));
    if (!why.isEmpty()) {
        bench::printLine(QStringLiteral("bench_sessionreturn: skipped, needs a private X server: ") + why);
        return 0;
    }

    const RefusingPort refusing;
    const QString root = folder.filePath(QStringLiteral("unit"));
    SimUnit unit(root);
    const QByteArray database = unitDatabase(refusing.port);
    if (refusing.port <= 0 || database.isEmpty() || !bench::installDatabase(unit, database))
        return fail(QStringLiteral("cannot prepare the unit in ") + root);
    unit.editSection(QStringLiteral("launcher"),
        [](QJsonObject& launcher) { launcher.insert(QStringLiteral("backend"), QStringLiteral("host")); });

    QProcessEnvironment common
        = bench::displayEnvironment(display.displayName(), folder.filePath(QStringLiteral("no-session-bus")));
    // The viewer keeps its settings and history in the home folder; not in the person's.
    const QString home = folder.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    common.insert(QStringLiteral("HOME"), home);
    bench::Environment floorEnvironment(common);
    common.insert(QStringLiteral("VELMO_UNIT_ROOT"), root);
    bench::Environment unitEnvironment(common);
    const QString errors = folder.filePath(QStringLiteral("child.err"));

    Series series;
    QStringList returnArguments;
    for (int run = -bench::defaultWarmUps; run < runs; ++run) {
        const bool measured = run >= 0;

        if (!resetUnit(unit, false))
            return fail(QStringLiteral("cannot reset the unit"));
        Return back;
        {
            Supervised session(display, supervisor, { QStringLiteral("--osd"), osd }, unitEnvironment);
            back = session.watch();
        }
        if (!back.why.isEmpty())
            return fail(back.why);
        if (!back.osdArguments.contains(QStringLiteral("-e")))
            return fail(QStringLiteral("the OSD came back without a disconnect reason: ")
                + back.osdArguments.join(QLatin1Char(' ')));
        returnArguments = back.osdArguments;

        // The same OSD, the same arguments, the unit as the first OSD left it.
        if (!resetUnit(unit, true))
            return fail(QStringLiteral("cannot reset the unit"));
        bench::Timer aloneClock;
        const pid_t alone = bench::spawn(osd, returnArguments, unitEnvironment, errors);
        const double aloneUs = alone > 0 ? display.waitForMap(alone, aloneClock) : -1;
        bench::endChild(alone);
        if (aloneUs < 0)
            return fail(QStringLiteral("velmogui alone showed no window: ") + bench::readErrors(errors));

        bench::Timer floorClock;
        const pid_t bare
            = bench::spawn(bench::floorProgram(), { QStringLiteral("start") }, floorEnvironment, errors);
        const double floorUs = bare > 0 ? display.waitForMap(bare, floorClock) : -1;
        bench::endChild(bare);
        if (floorUs < 0)
            return fail(QStringLiteral("the bare Qt start showed no window: ") + bench::readErrors(errors));

        if (!measured)
            continue;
        series.shown << back.shownUs;
        series.supervisor << back.supervisorUs;
        series.session << back.sessionUs;
        series.alone << aloneUs;
        series.floor << floorUs;
    }

    const double shown = bench::median(series.shown);
    const double alone = bench::median(series.alone);
    const double floor = bench::median(series.floor);
    bench::printLine(QStringLiteral("the OSD back after a session, whole processes on a private X server "
                                    "(Xvfb %1), %2 runs after %3 warm-up runs; shown = the server maps the "
                                    "first window of the new velmogui")
                         .arg(QString::fromLatin1(display.displayName()))
                         .arg(runs)
                         .arg(bench::defaultWarmUps));
    bench::printLine(
        QStringLiteral("the OSD came back as: velmogui ") + returnArguments.join(QLatin1Char(' ')));
    bench::printLine(QStringLiteral("the session (vncviewer refused) from its start to its end as the "
                                    "supervisor reports them: median %1")
                         .arg(bench::formatUs(bench::median(series.session))));
    bench::printLine(QStringLiteral("session end until the OSD is shown: median %1 (of which until the "
                                    "supervisor reports the OSD's start: %2)")
                         .arg(bench::formatUs(shown), bench::formatUs(bench::median(series.supervisor))));
    bench::printLine(QStringLiteral("velmogui alone with the same arguments, spawn until shown: median %1; "
                                    "ratio back / alone %2")
                         .arg(bench::formatUs(alone))
                         .arg(alone > 0 ? QString::number(shown / alone, 'f', 2) : QStringLiteral("n/a")));
    bench::printComparison(QStringLiteral("back after the session, against the bare Qt start"), shown, floor);
    bench::printComparison(QStringLiteral("alone, against the bare Qt start"), alone, floor);
    bench::printLine(bench::resultLine(QStringLiteral("sessionreturn"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("back_us"), QString::number(shown, 'f', 1) },
            { QStringLiteral("supervisor_us"), QString::number(bench::median(series.supervisor), 'f', 1) },
            { QStringLiteral("alone_us"), QString::number(alone, 'f', 1) },
            { QStringLiteral("floor_us"), QString::number(floor, 'f', 1) },
            { QStringLiteral("session_us"), QString::number(bench::median(series.session), 'f', 1) } }));
    return 0;
}
