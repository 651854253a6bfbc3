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
#include "benchprocess.h"
#include "benchutil.h"

#include "simunit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace {

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_startup: ") + why);
    return 1;
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

class Display : public bench::PrivateDisplay {
public:
    QString start(const QString& errorFile)
    {
        const QString why = PrivateDisplay::start(errorFile);
        if (why.isEmpty()) {
            typeAtom = atom("_NET_WM_WINDOW_TYPE");
            normalAtom = atom("_NET_WM_WINDOW_TYPE_NORMAL");
            dialogAtom = atom("_NET_WM_WINDOW_TYPE_DIALOG");
        }
        return why;
    }

    // Starts the program and waits until the server maps a top-level window
    // of that process; then ends the process.
    Shown run(const QString& program, const QStringList& arguments, bench::Environment& environment,
        const QString& errorFile)
    {
        Shown shown;
        eachMap([](xcb_window_t) {}); // what an earlier child left is not this one's
        bench::Timer timer;
        const pid_t pid = bench::spawn(program, arguments, environment, errorFile);
        if (pid <= 0) {
            shown.why = QStringLiteral("cannot start ") + program;
            return shown;
        }
        shown.ok = watchChild(pid, [&] {
            bool seen = false;
            eachMap([&](xcb_window_t window) {
                if (seen)
                    return;
                const double at = timer.elapsedUs();
                // The server is private and runs one child at a time; a window that is
                // already gone again (a program that quits once shown) was that child's.
                bool gone = false;
                const pid_t owner = ownerOf(window, &gone);
                if (gone || owner == pid) {
                    // A frameless window lists a desktop-specific type before the standard one.
                    const QVector<uint32_t> types = property(window, typeAtom, XCB_ATOM_ATOM);
                    shown.elapsedUs = at;
                    shown.kind = types.contains(dialogAtom) ? WindowKind::Dialog
                        : types.contains(normalAtom)        ? WindowKind::Normal
                                                            : WindowKind::Unknown;
                    seen = true;
                }
            });
            return seen;
        });
        shown.maxRssKb = bench::endChild(pid);
        if (!shown.ok)
            shown.why = program
                + QStringLiteral(" showed no window (it ended, or %1 s passed): ")
                      .arg(bench::childTimeoutMs / 1000)
                + bench::readErrors(errorFile);
        return shown;
    }

private:
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
    const QProcessEnvironment common
        = bench::displayEnvironment(display.displayName(), folder.filePath(QStringLiteral("no-session-bus")));
    QProcessEnvironment dialogEnvironment = common;
    dialogEnvironment.insert(QStringLiteral("VELMO_UNIT_ROOT"), dialogRoot);
    QProcessEnvironment windowEnvironment = common;
    windowEnvironment.insert(QStringLiteral("VELMO_UNIT_ROOT"), windowRoot);
    bench::Environment floorEnv(common);
    bench::Environment dialogEnv(dialogEnvironment);
    bench::Environment windowEnv(windowEnvironment);
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
