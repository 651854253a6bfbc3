// The floor the benchmarks compare with: what the bare system and bare Qt cost,
// without any of our code.
//
//   bench_floor io <folder> <size>... [--runs N]
//       Durably writes one file per size into <folder> and reads them back, the
//       minimal way; prints the medians of the write and read phases.
//   bench_floor xml <file> [--runs N]
//       What bare Qt needs to check and handle that XML file: the medians of its
//       MD5, of one DOM parse and of writing the parsed document back as text.
//   bench_floor start
//       One bare Qt start: QApplication, a 600x450 window, quit once exposed;
//       prints the time from main() and the peak RSS.
//   bench_floor [--runs N]
//       Runs "start" repeatedly as child processes and prints its medians.

#include "benchutil.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDomDocument>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// --- io -------------------------------------------------------------------

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The same durable replacement the database files get: a temporary file, its
// data synced, renamed into place, then the folder synced - one sync per file.
bool writeDurably(const QByteArray& folder, const QByteArray& path, const QByteArray& content)
{
    const QByteArray temporary = path + ".tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, content.constData(), static_cast<size_t>(content.size())) && ::fdatasync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok && ::rename(temporary.constData(), path.constData()) == 0 && syncFolder(folder);
}

bool readWhole(const QByteArray& path, QByteArray& buffer)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t n;
    do
        n = ::read(fd, buffer.data(), static_cast<size_t>(buffer.size()));
    while (n > 0 || (n < 0 && errno == EINTR));
    ::close(fd);
    return n == 0;
}

int runIo(const QStringList& arguments)
{
    if (arguments.size() < 4) {
        bench::printLine(QStringLiteral("usage: bench_floor io <folder> <size>... [--runs N]"));
        return 2;
    }
    const QByteArray folder = QFile::encodeName(QDir(arguments.at(2)).absolutePath());
    QList<QByteArray> paths;
    QList<QByteArray> contents;
    QStringList sizeTexts;
    int largest = 1;
    for (int i = 3; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--runs")) {
            ++i;
            continue;
        }
        bool ok = false;
        const int size = arguments.at(i).toInt(&ok);
        if (!ok || size < 0) {
            bench::printLine(QStringLiteral("bench_floor io: not a size: ") + arguments.at(i));
            return 2;
        }
        paths << folder + "/floor-" + QByteArray::number(paths.size()) + ".bin";
        contents << QByteArray(size, 'x');
        sizeTexts << QString::number(size);
        largest = qMax(largest, size);
    }
    QByteArray readBuffer(qMax(largest, 65536), '\0');

    QVector<double> writeUs;
    QVector<double> readUs;
    QVector<double> totalUs;
    bool failed = false;
    const int runs = bench::runCount(arguments);
    bench::repeat(runs, [&](bool measured) {
        bench::Timer timer;
        for (int i = 0; i < paths.size(); ++i)
            failed |= !writeDurably(folder, paths.at(i), contents.at(i));
        const double written = timer.elapsedUs();
        timer.restart();
        for (const QByteArray& path : qAsConst(paths))
            failed |= !readWhole(path, readBuffer);
        const double read = timer.elapsedUs();
        if (measured) {
            writeUs << written;
            readUs << read;
            totalUs << written + read;
        }
    });
    for (const QByteArray& path : qAsConst(paths))
        ::unlink(path.constData());
    if (failed) {
        bench::printLine(
            QStringLiteral("bench_floor io: a write or read failed in ") + QFile::decodeName(folder));
        return 1;
    }
    bench::printLine(bench::resultLine(QStringLiteral("floor-io"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("bytes"), sizeTexts.join(QLatin1Char(',')) },
            { QStringLiteral("write_us"), QString::number(bench::median(writeUs), 'f', 1) },
            { QStringLiteral("read_us"), QString::number(bench::median(readUs), 'f', 1) },
            { QStringLiteral("total_us"), QString::number(bench::median(totalUs), 'f', 1) } }));
    return 0;
}

// --- xml ------------------------------------------------------------------

int runXml(const QStringList& arguments)
{
    if (arguments.size() < 3) {
        bench::printLine(QStringLiteral("usage: bench_floor xml <file> [--runs N]"));
        return 2;
    }
    QFile file(arguments.at(2));
    if (!file.open(QIODevice::ReadOnly)) {
        bench::printLine(QStringLiteral("bench_floor xml: cannot read ") + arguments.at(2));
        return 1;
    }
    const QByteArray content = file.readAll();
    const int runs = bench::runCount(arguments);
    QByteArray digest;
    QDomDocument document;
    QByteArray written;
    bool parsed = true;
    const QVector<double> md5Us = bench::measureUs(
        runs, [&] { digest = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex(); });
    QVector<double> parseUs;
    bench::repeat(runs, [&](bool measured) {
        // Freeing the previous tree is not part of a parse.
        document = QDomDocument();
        bench::Timer timer;
        parsed &= document.setContent(content);
        if (measured)
            parseUs << timer.elapsedUs();
    });
    const QVector<double> textUs = bench::measureUs(runs, [&] { written = document.toByteArray(1); });
    if (!parsed || written.isEmpty()) {
        bench::printLine(QStringLiteral("bench_floor xml: not a complete XML document: ") + arguments.at(2));
        return 1;
    }
    bench::printLine(bench::resultLine(QStringLiteral("floor-xml"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("bytes"), QString::number(content.size()) },
            { QStringLiteral("md5_us"), QString::number(bench::median(md5Us), 'f', 1) },
            { QStringLiteral("parse_us"), QString::number(bench::median(parseUs), 'f', 1) },
            { QStringLiteral("text_us"), QString::number(bench::median(textUs), 'f', 1) } }));
    return 0;
}

// --- start ----------------------------------------------------------------

class ExposeWatch : public QObject {
public:
    explicit ExposeWatch(std::function<void()> onExposed)
        : onExposed(std::move(onExposed))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->isExposed() && onExposed) {
                const auto exposed = std::move(onExposed);
                onExposed = nullptr;
                exposed();
            }
        }
        return false;
    }

private:
    std::function<void()> onExposed;
};

int runStart(int argc, char** argv, const bench::Timer& sinceMain)
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(600, 450);
    window.winId(); // creates the native window, so the watch sees its first expose
    double exposedUs = -1;
    ExposeWatch watch([&] {
        exposedUs = sinceMain.elapsedUs();
        QTimer::singleShot(0, &application, &QCoreApplication::quit);
    });
    window.windowHandle()->installEventFilter(&watch);
    window.show();
    QTimer::singleShot(30000, &application, [&] { application.exit(1); });
    const int status = application.exec();
    if (status != 0 || exposedUs < 0) {
        bench::printLine(QStringLiteral("bench_floor start: the window was never exposed"));
        return 1;
    }
    bench::printLine(bench::resultLine(QStringLiteral("floor-start"),
        { { QStringLiteral("elapsed_us"), QString::number(exposedUs, 'f', 1) },
            { QStringLiteral("maxrss_kb"), QString::number(bench::peakRssKb()) } }));
    return 0;
}

// --- summary --------------------------------------------------------------

int runStartSummary(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QVector<double> inProcessUs;
    QVector<double> wallUs;
    QVector<double> rssKb;
    const int runs = bench::runCount(arguments);
    for (int run = -bench::defaultWarmUps; run < runs; ++run) {
        const bench::ProcessRun child
            = bench::runProcess(application.applicationFilePath(), { QStringLiteral("start") }, 60000);
        const QMap<QString, QString> fields
            = bench::parseResultLine(child.output, QStringLiteral("floor-start"));
        if (!child.ok || fields.isEmpty()) {
            bench::printLine(QStringLiteral("bench_floor: the bare Qt start failed: ")
                + QString::fromLocal8Bit(child.errors + child.output).trimmed());
            return 1;
        }
        if (run < 0)
            continue;
        inProcessUs << fields.value(QStringLiteral("elapsed_us")).toDouble();
        wallUs << child.wallUs;
        rssKb << fields.value(QStringLiteral("maxrss_kb")).toDouble();
    }
    bench::printLine(
        QStringLiteral("bare Qt start, %1 runs (QApplication, 600x450 window until exposed):").arg(runs));
    bench::printLine(
        QStringLiteral("  main() to exposed: median %1").arg(bench::formatUs(bench::median(inProcessUs))));
    bench::printLine(
        QStringLiteral("  process start to exit: median %1").arg(bench::formatUs(bench::median(wallUs))));
    bench::printLine(QStringLiteral("  peak RSS: median %1 KiB").arg(bench::median(rssKb), 0, 'f', 0));
    bench::printLine(bench::resultLine(QStringLiteral("floor-start-summary"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("elapsed_us"), QString::number(bench::median(inProcessUs), 'f', 1) },
            { QStringLiteral("wall_us"), QString::number(bench::median(wallUs), 'f', 1) },
            { QStringLiteral("maxrss_kb"), QString::number(bench::median(rssKb), 'f', 0) } }));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bench::Timer sinceMain;
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("start"))
        return runStart(argc, argv, sinceMain);
    if (mode == QLatin1String("io") || mode == QLatin1String("xml")) {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        return mode == QLatin1String("io") ? runIo(arguments) : runXml(arguments);
    }
    return runStartSummary(argc, argv);
}
