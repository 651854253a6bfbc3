// The database storage on the largest database a unit holds: the start-up
// selection and load, and one change through the write protocol, each beside
// the raw file I/O that the same files need at the least.

#include "benchdatabase.h"
#include "benchutil.h"

#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "simunit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <memory>

namespace {

using bench::deviceRecords;

QString text(const char* latin1)
{
    return QLatin1String(latin1);
}

int countChildren(const QDomDocument& document, const char* section)
{
    int count = 0;
    const QDomElement parent = document.documentElement().firstChildElement(text(section));
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        ++count;
    return count;
}

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_storage: ") + why);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    qSetGlobalQHashSeed(0);
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(bench::dropDebugLines);
    const int runs = bench::runCount(application.arguments());

    // VELMO_BENCH_DIR picks the file system to measure on; the floor runs in the same folder.
    const QString base = qEnvironmentVariable("VELMO_BENCH_DIR");
    QTemporaryDir folder(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_storage-XXXXXX")
                                        : base + QStringLiteral("/bench_storage-XXXXXX"));
    if (!folder.isValid())
        return fail(QStringLiteral("cannot create a temporary folder"));
    SimUnit unit(folder.path() + QStringLiteral("/unit"));
    Platform& platform = unit.platform();
    DurableWriter writer(platform);
    int warnings = 0;
    const auto countWarning = [&warnings](const QString&, const QString&) { ++warnings; };

    const QDomDocument maximum = bench::maximumDocument();
    if (!bench::installDatabase(unit, databaseText(maximum)))
        return fail(QStringLiteral("cannot install the database in ") + folder.path());
    const QString copyA = unit.path(text(DatabaseStorage::copyAPath));
    const QString copyB = unit.path(text(DatabaseStorage::copyBPath));

    // a. What the main window does at construction, on a fresh storage each run.
    QVector<double> repairUs, selectUs, loadUs, startUs;
    bool startFaithful = true;
    bench::repeat(runs, [&](bool measured) {
        auto storage = std::make_unique<DatabaseStorage>(platform, writer, countWarning);
        bench::Timer total;
        bench::Timer phase;
        storage->repairDatabaseFiles();
        const double repaired = phase.elapsedUs();
        phase.restart();
        storage->databasePath = storage->selectDatabaseFile();
        const double selected = phase.elapsedUs();
        phase.restart();
        storage->loadDatabaseDocument();
        const double loaded = phase.elapsedUs();
        const double whole = total.elapsedUs();
        startFaithful &= storage->databasePath == text(DatabaseStorage::copyAPath)
            && countChildren(storage->document, db::Connections) == maxEntries
            && countChildren(storage->document, db::Users) == maxEntries
            && countChildren(storage->document, db::RxDevices) == deviceRecords
            && countChildren(storage->document, db::TxDevices) == deviceRecords;
        if (measured) {
            repairUs << repaired;
            selectUs << selected;
            loadUs << loaded;
            startUs << whole;
        }
    });
    if (!startFaithful || warnings != 0)
        return fail(QStringLiteral("the start-up did not select and load the installed database"));
    const qint64 startBytesA = QFileInfo(copyA).size();
    const qint64 startBytesB = QFileInfo(copyB).size();

    // b. One change as every editor makes it; the new value has the old one's
    // length, so every run writes the same number of bytes.
    DatabaseStorage storage(platform, writer, countWarning);
    storage.repairDatabaseFiles();
    storage.databasePath = storage.selectDatabaseFile();
    storage.loadDatabaseDocument();
    int edits = 0;
    bool changeFaithful = true;
    const QVector<double> changeUs = bench::measureUs(runs, [&] {
        changeFaithful &= storage.commitChange([&edits](QDomDocument& document) {
            QDomElement connection = document.documentElement()
                                         .firstChildElement(text(db::Connections))
                                         .firstChildElement(text(db::Connection));
            connection.setAttribute(
                text(db::Port), ++edits % 2 ? QStringLiteral("3390") : QStringLiteral("3389"));
        });
    });
    changeFaithful &= storage.verifyChecksumFile(text(DatabaseStorage::copyAPath))
        && storage.verifyChecksumFile(text(DatabaseStorage::copyBPath)) && warnings == 0;
    if (!changeFaithful)
        return fail(QStringLiteral("a change through the write protocol failed"));
    const qint64 changeBytesA = QFileInfo(copyA).size();
    const qint64 changeBytesB = QFileInfo(copyB).size();

    // The floor: the same files written durably and read once, raw, in the same folder.
    const auto floorFor = [&](qint64 bytesA, qint64 bytesB) {
        return bench::runProcess(bench::floorProgram(),
            { QStringLiteral("io"), unit.path(QStringLiteral("/mnt/perm")), QString::number(bytesA),
                QString::number(bytesB), QStringLiteral("33"), QStringLiteral("33"), QStringLiteral("--runs"),
                QString::number(runs) });
    };
    const bench::ProcessRun startFloorRun = floorFor(startBytesA, startBytesB);
    const bench::ProcessRun changeFloorRun = startBytesA == changeBytesA && startBytesB == changeBytesB
        ? startFloorRun
        : floorFor(changeBytesA, changeBytesB);
    const QMap<QString, QString> startFloor
        = bench::parseResultLine(startFloorRun.output, QStringLiteral("floor-io"));
    const QMap<QString, QString> changeFloor
        = bench::parseResultLine(changeFloorRun.output, QStringLiteral("floor-io"));
    if (startFloor.isEmpty() || changeFloor.isEmpty())
        return fail(QStringLiteral("the floor program failed: ")
            + QString::fromLocal8Bit(
                startFloorRun.errors + startFloorRun.output + changeFloorRun.errors + changeFloorRun.output)
                  .trimmed());
    const double floorReadUs = startFloor.value(QStringLiteral("read_us")).toDouble();
    const double floorChangeUs = changeFloor.value(QStringLiteral("total_us")).toDouble();

    // What bare Qt needs on top of the I/O: checking both checksums, and parsing
    // the copy in use at start or writing the changed document as text.
    const bench::ProcessRun xmlFloorRun = bench::runProcess(bench::floorProgram(),
        { QStringLiteral("xml"), copyA, QStringLiteral("--runs"), QString::number(runs) });
    const QMap<QString, QString> xmlFloor
        = bench::parseResultLine(xmlFloorRun.output, QStringLiteral("floor-xml"));
    if (xmlFloor.isEmpty())
        return fail(QStringLiteral("the floor program failed: ")
            + QString::fromLocal8Bit(xmlFloorRun.errors + xmlFloorRun.output).trimmed());
    const double md5Us = xmlFloor.value(QStringLiteral("md5_us")).toDouble();
    const double qtStartFloorUs
        = floorReadUs + 2 * md5Us + xmlFloor.value(QStringLiteral("parse_us")).toDouble();
    const double qtChangeFloorUs
        = floorChangeUs + 2 * md5Us + xmlFloor.value(QStringLiteral("text_us")).toDouble();

    bench::printLine(
        QStringLiteral("database: %1 connections, %1 users x %1 associations, %2 RX + %2 TX records; "
                       "copy A %3 bytes, copy B %4 bytes; %5 runs after %6 warm-up runs")
            .arg(maxEntries)
            .arg(deviceRecords)
            .arg(changeBytesA)
            .arg(changeBytesB)
            .arg(runs)
            .arg(bench::defaultWarmUps));
    bench::printComparison(
        QStringLiteral("a. start-up repair + select + load (floor: read the 4 files once)"),
        bench::median(startUs), floorReadUs);
    bench::printComparison(QStringLiteral("   against bare Qt (that read, 2 MD5s, 1 DOM parse)"),
        bench::median(startUs), qtStartFloorUs);
    bench::printLine(
        QStringLiteral("   of which repair %1, select %2, load %3")
            .arg(bench::formatUs(bench::median(repairUs)), bench::formatUs(bench::median(selectUs)),
                bench::formatUs(bench::median(loadUs))));
    bench::printComparison(
        QStringLiteral("b. one change via commitChange (floor: write the 4 files durably, read them once)"),
        bench::median(changeUs), floorChangeUs);
    bench::printComparison(QStringLiteral("   against bare Qt (that I/O, 2 MD5s, 1 document to text)"),
        bench::median(changeUs), qtChangeFloorUs);
    bench::printLine(QStringLiteral("   floor write alone %1; peak RSS %2 KiB")
                         .arg(bench::formatUs(changeFloor.value(QStringLiteral("write_us")).toDouble()))
                         .arg(bench::peakRssKb()));
    bench::printLine(bench::resultLine(QStringLiteral("storage"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("bytes"), QStringLiteral("%1,%2,33,33").arg(changeBytesA).arg(changeBytesB) },
            { QStringLiteral("startup_us"), QString::number(bench::median(startUs), 'f', 1) },
            { QStringLiteral("startup_floor_us"), QString::number(floorReadUs, 'f', 1) },
            { QStringLiteral("change_us"), QString::number(bench::median(changeUs), 'f', 1) },
            { QStringLiteral("change_floor_us"), QString::number(floorChangeUs, 'f', 1) },
            { QStringLiteral("startup_qt_floor_us"), QString::number(qtStartFloorUs, 'f', 1) },
            { QStringLiteral("change_qt_floor_us"), QString::number(qtChangeFloorUs, 'f', 1) },
            { QStringLiteral("maxrss_kb"), QString::number(bench::peakRssKb()) } }));
    return 0;
}
