#pragma once
// Shared helpers of the benchmark programs: how many runs, a timer, medians,
// the machine-readable result lines and running a helper program. Only QtCore,
// so the bare-Qt floor program can use it too.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace bench {

// The OSD traces to the debug output; printed on a terminal that would time the
// terminal, so only warnings and worse go through.
inline void dropDebugLines(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        return;
    std::fputs(qPrintable(message + QLatin1Char('\n')), stderr);
}

// The machine is shared and noisy: few measurements say little, so a figure is
// always the median of many runs after a few discarded warm-up runs.
constexpr int defaultRuns = 31;
constexpr int defaultWarmUps = 3;

// "--runs N" on the command line, else VELMO_BENCH_RUNS, else the default.
inline int runCount(const QStringList& arguments)
{
    int runs = qEnvironmentVariableIntValue("VELMO_BENCH_RUNS");
    const int at = arguments.indexOf(QStringLiteral("--runs"));
    if (at >= 0 && at + 1 < arguments.size())
        runs = arguments.at(at + 1).toInt();
    return runs > 0 ? runs : defaultRuns;
}

inline double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

class Timer {
public:
    Timer() { clock.start(); }
    void restart() { clock.restart(); }
    double elapsedUs() const { return clock.nsecsElapsed() / 1000.0; }

private:
    QElapsedTimer clock;
};

// Calls `step(measured)` first for the warm-up runs (measured false), then `runs` times.
template <typename Step> void repeat(int runs, Step step, int warmUps = defaultWarmUps)
{
    for (int i = 0; i < warmUps; ++i)
        step(false);
    for (int i = 0; i < runs; ++i)
        step(true);
}

// The time of each measured run of `step`, in µs.
template <typename Step> QVector<double> measureUs(int runs, Step step, int warmUps = defaultWarmUps)
{
    QVector<double> times;
    times.reserve(runs);
    repeat(
        runs,
        [&](bool measured) {
            Timer timer;
            step();
            if (measured)
                times << timer.elapsedUs();
        },
        warmUps);
    return times;
}

// Peak resident set size of this process in KiB (Linux reports ru_maxrss in KiB).
inline long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

inline QString formatUs(double us)
{
    if (us >= 10000)
        return QString::number(us / 1000, 'f', 1) + QStringLiteral(" ms");
    if (us >= 1000)
        return QString::number(us / 1000, 'f', 2) + QStringLiteral(" ms");
    return QString::number(us, 'f', 0) + QStringLiteral(" us");
}

inline void printLine(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// "<tag> key=value key=value": one result per line, for a reader program or a script.
inline QString resultLine(const QString& tag, const QList<QPair<QString, QString>>& fields)
{
    QString line = tag;
    for (const auto& field : fields)
        line += QLatin1Char(' ') + field.first + QLatin1Char('=') + field.second;
    return line;
}

// The fields of the first line of `output` that starts with `tag`; empty when there is none.
inline QMap<QString, QString> parseResultLine(const QByteArray& output, const QString& tag)
{
    QMap<QString, QString> fields;
    for (const QByteArray& raw : output.split('\n')) {
        const QStringList words = QString::fromUtf8(raw).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty() || words.first() != tag)
            continue;
        for (int i = 1; i < words.size(); ++i) {
            const int equals = words.at(i).indexOf(QLatin1Char('='));
            if (equals > 0)
                fields.insert(words.at(i).left(equals), words.at(i).mid(equals + 1));
        }
        break;
    }
    return fields;
}

// Our figure beside its floor: the medians and how many times the floor ours takes.
inline void printComparison(const QString& what, double oursUs, double floorUs)
{
    const QString ratio = floorUs > 0 ? QString::number(oursUs / floorUs, 'f', 2) : QStringLiteral("n/a");
    printLine(QStringLiteral("%1: median %2, floor %3, ratio %4")
                  .arg(what, formatUs(oursUs), formatUs(floorUs), ratio));
}

// The same for a memory figure in KiB.
inline void printKbComparison(const QString& what, double oursKb, double floorKb)
{
    const QString ratio = floorKb > 0 ? QString::number(oursKb / floorKb, 'f', 2) : QStringLiteral("n/a");
    printLine(QStringLiteral("%1: median %2 KiB, floor %3 KiB, ratio %4")
                  .arg(what)
                  .arg(oursKb, 0, 'f', 0)
                  .arg(floorKb, 0, 'f', 0)
                  .arg(ratio));
}

// The floor program, built next to every benchmark.
inline QString floorProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bench_floor");
}

struct ProcessRun {
    bool ok = false;
    QByteArray output;
    QByteArray errors; // standard error, for the report when the run failed
    double wallUs = 0; // from start until the process has exited
};

inline ProcessRun runProcess(const QString& program, const QStringList& arguments, int timeoutMs = 600000)
{
    ProcessRun run;
    QProcess process;
    Timer timer;
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        run.errors = process.errorString().toUtf8();
        return run;
    }
    process.waitForFinished(timeoutMs);
    run.wallUs = timer.elapsedUs();
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return run;
}

} // namespace bench
