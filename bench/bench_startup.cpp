// The OSD's start-up as whole processes, beside the bare Qt start: the real
// velmogui binary from the same build tree, started until the log-on dialog
// shows (no automatic log-on) and until the main window shows after the
// automatic log-on on the largest database.
//
// "Shown" is seen from outside, with nothing added to the product: every
// child runs on a private virtual X server (Xvfb) and this program watches
// that server's root window; the moment is when the server maps the child's
// first top-level window (that is, when it makes it visible and sends it its
// first expose). The bare Qt floor (bench_floor start) is timed the same way,
// so both figures include exec, dynamic linking and the X connection.
//
// --against PATH times another build's velmogui in the same turns.
//
// Needs Xvfb on the PATH and libxcb (loaded at run time); without them it
// says so and measures nothing.

#include "benchdatabase.h"
#include "benchutil.h"

#include "simunit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

constexpr int childTimeoutMs = 30000;

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_startup: ") + why);
    return 1;
}

// --- libxcb, loaded at run time ------------------------------------------
// The benchmark programs link only Qt and our libraries; the few X calls
// needed to watch a display come from the system's libxcb when it is there.

struct Xcb {
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_connection_has_error) hasError = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;
    decltype(&xcb_get_setup) getSetup = nullptr;
    decltype(&xcb_setup_roots_iterator) rootsIterator = nullptr;
    decltype(&xcb_change_window_attributes_checked) changeAttributes = nullptr;
    decltype(&xcb_request_check) requestCheck = nullptr;
    decltype(&xcb_get_file_descriptor) fileDescriptor = nullptr;
    decltype(&xcb_poll_for_event) pollForEvent = nullptr;
    decltype(&xcb_intern_atom) internAtom = nullptr;
    decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
    decltype(&xcb_get_property) getProperty = nullptr;
    decltype(&xcb_get_property_reply) getPropertyReply = nullptr;
    decltype(&xcb_get_property_value) propertyValue = nullptr;
    decltype(&xcb_get_property_value_length) propertyValueLength = nullptr;

    bool load()
    {
        void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return false;
        const auto bind = [library](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            return function != nullptr;
        };
        return bind(connect, "xcb_connect") && bind(hasError, "xcb_connection_has_error")
            && bind(disconnect, "xcb_disconnect") && bind(getSetup, "xcb_get_setup")
            && bind(rootsIterator, "xcb_setup_roots_iterator")
            && bind(changeAttributes, "xcb_change_window_attributes_checked")
            && bind(requestCheck, "xcb_request_check") && bind(fileDescriptor, "xcb_get_file_descriptor")
            && bind(pollForEvent, "xcb_poll_for_event") && bind(internAtom, "xcb_intern_atom")
            && bind(internAtomReply, "xcb_intern_atom_reply") && bind(getProperty, "xcb_get_property")
            && bind(getPropertyReply, "xcb_get_property_reply")
            && bind(propertyValue, "xcb_get_property_value")
            && bind(propertyValueLength, "xcb_get_property_value_length");
    }
};

// --- child processes ------------------------------------------------------

// The environment as a NULL-terminated array for posix_spawn.
class Environment {
public:
    explicit Environment(const QProcessEnvironment& environment)
    {
        for (const QString& entry : environment.toStringList())
            texts.push_back(QFile::encodeName(entry));
        for (const QByteArray& text : texts)
            pointers.push_back(const_cast<char*>(text.constData()));
        pointers.push_back(nullptr);
    }
    char** data() { return pointers.data(); }

private:
    std::vector<QByteArray> texts;
    std::vector<char*> pointers;
};

// Starts `program` with its output going to /dev/null and its errors to
// `errorFile`; returns the process id, or -1. Descriptors without
// FD_CLOEXEC stay open in the child.
pid_t spawn(
    const QString& program, const QStringList& arguments, Environment& environment, const QString& errorFile)
{
    std::vector<QByteArray> texts { QFile::encodeName(program) };
    for (const QString& argument : arguments)
        texts.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (const QByteArray& text : texts)
        argv.push_back(const_cast<char*>(text.constData()));
    argv.push_back(nullptr);
    const QByteArray errors = QFile::encodeName(errorFile);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(
        &actions, STDERR_FILENO, errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int status = program.contains(QLatin1Char('/'))
        ? posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environment.data())
        : posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

// Ends a child and returns its peak RSS in KiB (ru_maxrss), or -1.
long endChild(pid_t pid)
{
    ::kill(pid, SIGKILL);
    rusage usage {};
    int status = 0;
    pid_t waited;
    do
        waited = ::wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    return waited == pid ? usage.ru_maxrss : -1;
}

QString readErrors(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.read(4000)).trimmed();
}

// --- the display ----------------------------------------------------------

enum class WindowKind { Unknown, Normal, Dialog };

struct Shown {
    bool ok = false;
    double elapsedUs = 0; // from just before the spawn until the map was seen
    long maxRssKb = -1;
    WindowKind kind = WindowKind::Unknown;
    QString why; // when not ok
};

class Display {
public:
    ~Display()
    {
        if (connection)
            xcb.disconnect(connection);
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
        }
    }

    // Starts a private X server and watches its root window; empty on success, else why not.
    QString start(const QString& errorFile)
    {
        if (!xcb.load())
            return QStringLiteral("libxcb.so.1 could not be loaded");
        int ready[2];
        if (::pipe(ready) != 0)
            return QStringLiteral("no pipe");
        // The server writes its display number to this descriptor once it accepts clients;
        // it is the only descriptor it inherits besides the standard ones.
        ::fcntl(ready[0], F_SETFD, FD_CLOEXEC);
        Environment environment(QProcessEnvironment::systemEnvironment());
        server = spawn(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QString::number(ready[1]), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1280x1024x24") },
            environment, errorFile);
        ::close(ready[1]);
        if (server <= 0) {
            ::close(ready[0]);
            return QStringLiteral("Xvfb could not be started (is it installed?)");
        }
        QByteArray number;
        pollfd watch { ready[0], POLLIN, 0 };
        while (!number.endsWith('\n') && ::poll(&watch, 1, 10000) > 0) {
            char buffer[16];
            const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            number.append(buffer, static_cast<int>(n));
        }
        ::close(ready[0]);
        if (number.trimmed().isEmpty())
            return QStringLiteral("Xvfb did not start: ") + readErrors(errorFile);
        name = ':' + number.trimmed();

        connection = xcb.connect(name.constData(), nullptr);
        if (xcb.hasError(connection))
            return QStringLiteral("cannot connect to Xvfb at ") + QString::fromLatin1(name);
        root = xcb.rootsIterator(xcb.getSetup(connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        if (xcb_generic_error_t* error = xcb.requestCheck(
                connection, xcb.changeAttributes(connection, root, XCB_CW_EVENT_MASK, &mask))) {
            std::free(error);
            return QStringLiteral("cannot watch the root window");
        }
        pidAtom = atom("_NET_WM_PID");
        typeAtom = atom("_NET_WM_WINDOW_TYPE");
        normalAtom = atom("_NET_WM_WINDOW_TYPE_NORMAL");
        dialogAtom = atom("_NET_WM_WINDOW_TYPE_DIALOG");
        return QString();
    }

    QByteArray displayName() const { return name; }

    // Starts the program and waits until the server maps a top-level window
    // of that process; then ends the process.
    Shown run(const QString& program, const QStringList& arguments, Environment& environment,
        const QString& errorFile)
    {
        Shown shown;
        drain(-1);
        bench::Timer timer;
        const pid_t pid = spawn(program, arguments, environment, errorFile);
        if (pid <= 0) {
            shown.why = QStringLiteral("cannot start ") + program;
            return shown;
        }
        bench::Timer deadline;
        while (deadline.elapsedUs() < childTimeoutMs * 1000.0) {
            pollfd watch { xcb.fileDescriptor(connection), POLLIN, 0 };
            ::poll(&watch, 1, 20);
            if ((shown.ok = drain(pid, &timer, &shown)))
                break;
            // Looks without reaping, so that wait4 still gets the child's usage.
            siginfo_t info {};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
                && info.si_pid == pid) {
                shown.ok = drain(pid, &timer, &shown);
                break;
            }
        }
        shown.maxRssKb = endChild(pid);
        if (!shown.ok)
            shown.why = program
                + QStringLiteral(" showed no window (it ended, or %1 s passed): ").arg(childTimeoutMs / 1000)
                + readErrors(errorFile);
        return shown;
    }

private:
    xcb_atom_t atom(const char* atomName)
    {
        xcb_intern_atom_reply_t* reply = xcb.internAtomReply(connection,
            xcb.internAtom(connection, 0, static_cast<uint16_t>(qstrlen(atomName)), atomName), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }

    // The 32-bit values of a window property (the first few); `gone` is set
    // when the window no longer exists.
    QVector<uint32_t> property(xcb_window_t window, xcb_atom_t which, xcb_atom_t type, bool* gone = nullptr)
    {
        xcb_get_property_reply_t* reply = xcb.getPropertyReply(
            connection, xcb.getProperty(connection, 0, window, which, type, 0, 8), nullptr);
        QVector<uint32_t> values;
        if (reply && reply->format == 32) {
            const auto* value = static_cast<const uint32_t*>(xcb.propertyValue(reply));
            for (int i = 0; i < xcb.propertyValueLength(reply) / 4; ++i)
                values << value[i];
        }
        if (gone)
            *gone = reply == nullptr;
        std::free(reply);
        return values;
    }

    // Handles the events that are waiting; true when one is the map of a
    // top-level window of `pid` (timed by `timer` the moment it is read).
    bool drain(pid_t pid, const bench::Timer* timer = nullptr, Shown* shown = nullptr)
    {
        bool seen = false;
        while (xcb_generic_event_t* event = xcb.pollForEvent(connection)) {
            if (!seen && pid > 0 && (event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const double at = timer->elapsedUs();
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event);
                // The server is private and runs one child at a time; a window that is
                // already gone again (a program that quits once shown) was that child's.
                bool gone = false;
                const QVector<uint32_t> owner = property(map->window, pidAtom, XCB_ATOM_CARDINAL, &gone);
                if (!map->override_redirect && (gone || owner.value(0) == uint32_t(pid))) {
                    // A frameless window lists a desktop-specific type before the standard one.
                    const QVector<uint32_t> types = property(map->window, typeAtom, XCB_ATOM_ATOM);
                    shown->elapsedUs = at;
                    shown->kind = types.contains(dialogAtom) ? WindowKind::Dialog
                        : types.contains(normalAtom)         ? WindowKind::Normal
                                                             : WindowKind::Unknown;
                    seen = true;
                }
            }
            std::free(event);
        }
        return seen;
    }

    Xcb xcb;
    pid_t server = -1;
    QByteArray name;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t pidAtom = 0;
    xcb_atom_t typeAtom = 0;
    xcb_atom_t normalAtom = 0;
    xcb_atom_t dialogAtom = 0;
};

// --- the units -------------------------------------------------------------

bool hasLog(const SimUnit& unit, const char* text)
{
    const QString wanted = QLatin1String(text);
    for (const SimLogLine& line : unit.logLines()) {
        if (line.text == wanted)
            return true;
    }
    return false;
}

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

const char dialogEnd[] = "### LoginDialog Constructor End ###\n";
const char windowEnd[] = "### MainWindow Constructor End ###\n";

struct Series {
    QVector<double> us;
    QVector<double> kb;
};

} // namespace

int main(int argc, char** argv)
{
    qSetGlobalQHashSeed(0);
    QCoreApplication application(argc, argv);
    const int runs = bench::runCount(application.arguments());
    const QString binDir = application.applicationDirPath();
    const QString osd = QFileInfo(binDir + QStringLiteral("/../velmogui")).absoluteFilePath();
    if (!QFileInfo(osd).isExecutable())
        return fail(
            QStringLiteral("no velmogui beside the benchmarks (looked for ") + osd + QLatin1Char(')'));

    // Another build's velmogui, timed in the same turns: a change's effect is
    // then read beside its own baseline, not across the machine's drift.
    const int againstAt = application.arguments().indexOf(QStringLiteral("--against"));
    const QString against = againstAt >= 0 ? application.arguments().value(againstAt + 1) : QString();
    if (againstAt >= 0 && !QFileInfo(against).isExecutable())
        return fail(QStringLiteral("--against needs a velmogui to run: ") + against);

    const QString base = qEnvironmentVariable("VELMO_BENCH_DIR");
    QTemporaryDir folder(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_startup-XXXXXX")
                                        : base + QStringLiteral("/bench_startup-XXXXXX"));
    if (!folder.isValid())
        return fail(QStringLiteral("cannot create a temporary folder"));

    Display display;
    const QString why = display.start(folder.filePath(QStringLiteral("xvfb.err")));
    if (!why.isEmpty()) {
        bench::printLine(QStringLiteral("bench_startup: skipped, needs a private X server: ") + why);
        return 0;
    }

    // a. A default unit as the first start creates it; the boot marker turns the automatic log-on off.
    const QString dialogRoot = folder.filePath(QStringLiteral("dialog-unit"));
    SimUnit dialogUnit(dialogRoot);
    // b. The largest database, and the default settings' automatic log-on of "admin".
    const QString windowRoot = folder.filePath(QStringLiteral("window-unit"));
    SimUnit windowUnit(windowRoot);
    if (!bench::installDatabase(windowUnit, databaseText(bench::maximumDocument())))
        return fail(QStringLiteral("cannot install the database in ") + windowRoot);
    const QString bootMarker = dialogUnit.path(QStringLiteral("/tmp/guiBootCount.txt"));

    // Every child gets the same display and no debug output; only the unit root differs.
    QProcessEnvironment common = QProcessEnvironment::systemEnvironment();
    common.remove(QStringLiteral("WAYLAND_DISPLAY"));
    common.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display.displayName()));
    common.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    common.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    // The widgets draw without OpenGL; loading a GL driver for the X connection would add
    // tens of milliseconds and megabytes to every start that the unit's display never pays.
    common.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    // Under X the accessibility bridge asks for a session bus and, finding none,
    // forks to start one; the unit's display has neither X nor that bridge.
    common.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
        QStringLiteral("unix:path=") + folder.filePath(QStringLiteral("no-session-bus")));
    QProcessEnvironment dialogEnvironment = common;
    dialogEnvironment.insert(QStringLiteral("VELMO_UNIT_ROOT"), dialogRoot);
    QProcessEnvironment windowEnvironment = common;
    windowEnvironment.insert(QStringLiteral("VELMO_UNIT_ROOT"), windowRoot);
    Environment floorEnv(common);
    Environment dialogEnv(dialogEnvironment);
    Environment windowEnv(windowEnvironment);
    const QString errors = folder.filePath(QStringLiteral("child.err"));

    // The starts take turns, so that the machine's drift touches them alike.
    Series floor, dialog, window, otherDialog, otherWindow;
    for (int run = -bench::defaultWarmUps; run < runs; ++run) {
        const bool measured = run >= 0;

        const Shown bare = display.run(bench::floorProgram(), { QStringLiteral("start") }, floorEnv, errors);
        // It quits as soon as its window is exposed, so its type may no longer be readable.
        if (!bare.ok || bare.kind == WindowKind::Dialog)
            return fail(bare.ok ? QStringLiteral("the bare Qt window is not a normal window") : bare.why);
        if (measured) {
            floor.us << bare.elapsedUs;
            floor.kb << bare.maxRssKb;
        }
        for (const QString& program : { osd, against }) {
            if (program.isEmpty())
                continue;
            Series& dialogSeries = program == osd ? dialog : otherDialog;
            Series& windowSeries = program == osd ? window : otherWindow;

            dialogUnit.clearRecords();
            if (!touch(bootMarker))
                return fail(QStringLiteral("cannot create ") + bootMarker);
            const Shown logon = display.run(program, {}, dialogEnv, errors);
            if (!logon.ok)
                return fail(QStringLiteral("a: ") + logon.why);
            // The dialog runs inside the main window's construction, so that has not ended yet.
            if (logon.kind != WindowKind::Dialog || !hasLog(dialogUnit, dialogEnd)
                || hasLog(dialogUnit, windowEnd))
                return fail(QStringLiteral("a: the first window shown was not the log-on dialog"));

            windowUnit.clearRecords();
            const Shown shownWindow = display.run(program, {}, windowEnv, errors);
            if (!shownWindow.ok)
                return fail(QStringLiteral("b: ") + shownWindow.why);
            const QString loggedOn = windowUnit.state().value(QStringLiteral("loggedInUser")).toString();
            if (shownWindow.kind != WindowKind::Normal || !hasLog(windowUnit, windowEnd)
                || hasLog(windowUnit, dialogEnd) || loggedOn != QLatin1String("admin"))
                return fail(QStringLiteral("b: the main window was not shown after the automatic log-on of admin "
                                           "(window kind %1, logged-on user \"%2\")")
                                .arg(int(shownWindow.kind))
                                .arg(loggedOn));

            if (!measured)
                continue;
            dialogSeries.us << logon.elapsedUs;
            dialogSeries.kb << logon.maxRssKb;
            windowSeries.us << shownWindow.elapsedUs;
            windowSeries.kb << shownWindow.maxRssKb;
        }
    }

    const double floorUs = bench::median(floor.us);
    const double floorKb = bench::median(floor.kb);
    bench::printLine(
        QStringLiteral("start-up as whole processes on a private X server (Xvfb %1), %2 runs after "
                       "%3 warm-up runs; shown = the server maps the first window")
            .arg(QString::fromLatin1(display.displayName()))
            .arg(runs)
            .arg(bench::defaultWarmUps));
    bench::printLine(QStringLiteral("floor: bench_floor start, a 600x450 window: median %1, peak RSS %2 KiB")
                         .arg(bench::formatUs(floorUs))
                         .arg(floorKb, 0, 'f', 0));
    bench::printComparison(QStringLiteral("a. process start until the log-on dialog is shown"),
        bench::median(dialog.us), floorUs);
    bench::printKbComparison(QStringLiteral("   peak RSS"), bench::median(dialog.kb), floorKb);
    bench::printComparison(
        QStringLiteral("b. automatic log-on until the main window is shown (%1 connections, %1 users, "
                       "%2 RX + %2 TX)")
            .arg(maxEntries)
            .arg(bench::deviceRecords),
        bench::median(window.us), floorUs);
    bench::printKbComparison(QStringLiteral("   peak RSS"), bench::median(window.kb), floorKb);
    if (!against.isEmpty()) {
        bench::printLine(QStringLiteral("against ") + against + QLatin1Char(':'));
        bench::printComparison(QStringLiteral("a."), bench::median(otherDialog.us), floorUs);
        bench::printKbComparison(QStringLiteral("   peak RSS"), bench::median(otherDialog.kb), floorKb);
        bench::printComparison(QStringLiteral("b."), bench::median(otherWindow.us), floorUs);
        bench::printKbComparison(QStringLiteral("   peak RSS"), bench::median(otherWindow.kb), floorKb);
        // Each turn's two starts ran moments apart: their differences leave the drift out.
        const auto pairedDifference = [](const Series& other, const Series& ours) {
            QVector<double> differences;
            for (int i = 0; i < qMin(other.us.size(), ours.us.size()); ++i)
                differences << other.us.at(i) - ours.us.at(i);
            return bench::formatUs(bench::median(differences));
        };
        bench::printLine(QStringLiteral("median difference, that build minus this one: a. %1, b. %2")
                             .arg(pairedDifference(otherDialog, dialog), pairedDifference(otherWindow, window)));
    }
    bench::printLine(bench::resultLine(QStringLiteral("startup"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("floor_us"), QString::number(floorUs, 'f', 1) },
            { QStringLiteral("dialog_us"), QString::number(bench::median(dialog.us), 'f', 1) },
            { QStringLiteral("window_us"), QString::number(bench::median(window.us), 'f', 1) },
            { QStringLiteral("floor_maxrss_kb"), QString::number(floorKb, 'f', 0) },
            { QStringLiteral("dialog_maxrss_kb"), QString::number(bench::median(dialog.kb), 'f', 0) },
            { QStringLiteral("window_maxrss_kb"), QString::number(bench::median(window.kb), 'f', 0) } }));
    return 0;
}
