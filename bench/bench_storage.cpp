// The database storage on the largest database a unit holds: the start-up
// selection and load, and one change through the write protocol, each beside
// the raw file I/O that the same files need at the least.

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

constexpr int maxEntries = 32;
constexpr int deviceRecords = 500;

QString text(const char* latin1)
{
    return QLatin1String(latin1);
}

QDomElement append(QDomDocument& document, QDomElement& parent, const char* tag)
{
    QDomElement element = document.createElement(text(tag));
    parent.appendChild(element);
    return element;
}

void clearChildren(QDomElement& element)
{
    while (element.hasChildNodes())
        element.removeChild(element.firstChild());
}

QString connectionName(int i)
{
    return QStringLiteral("Connection_%1").arg(i + 1, 2, 10, QLatin1Char('0'));
}

QString address(int subnet, int host)
{
    return QStringLiteral("10.%1.%2.%3").arg(subnet).arg(host / 250).arg(host % 250 + 2);
}

QString macAddress(int kind, int i)
{
    return QStringLiteral("00:1A:2B:%1:%2:%3")
        .arg(kind, 2, 16, QLatin1Char('0'))
        .arg(i / 256, 2, 16, QLatin1Char('0'))
        .arg(i % 256, 2, 16, QLatin1Char('0'))
        .toUpper();
}

// Every attribute a connection record can carry, filled as the editor fills
// the kinds: transmitter, virtual machine and KVM links in turn.
void fillConnection(QDomElement& connection, int i)
{
    const int kind = i % 3;
    const std::pair<const char*, QString> attributes[] = {
        { db::Name, connectionName(i) },
        { db::IpAddress, address(20, i) },
        { db::Port, QStringLiteral("3389") },
        { db::UserName, kind == 1 ? QStringLiteral("operator%1").arg(i) : QString() },
        { db::Password, kind == 1 ? QStringLiteral("Secret-%1").arg(i * 7919) : QString() },
        { db::Domain, kind == 1 ? QStringLiteral("PLANT.LOCAL") : QString() },
        { db::LoadBal, QString() },
        { db::ColourDepth, QStringLiteral("32") },
        { db::ConnectionType, i % 4 == 0 ? QStringLiteral("Shared") : QStringLiteral("Private") },
        { db::ViaTx, kind == 0 ? QStringLiteral("true") : QString() },
        { db::ViaTxPool, QString() },
        { db::Pool, QString() },
        { db::Broker, QString() },
        { db::Horizon, QString() },
        { db::Type, kind == 2 ? QStringLiteral("KVM") : QString() },
        { db::Protocol, QString() },
        { db::Nla, kind == 1 ? QStringLiteral("Yes") : QString() },
        { db::ExtDesk, i % 2 ? QStringLiteral("Yes") : QString() },
        { db::Audio, QStringLiteral("Yes") },
        { db::UsbRedirection, QStringLiteral("Yes") },
        { db::ViewOnly, QString() },
        { db::Persistent, kind == 1 ? QString() : QStringLiteral("false") },
    };
    for (const auto& attribute : attributes)
        connection.setAttribute(text(attribute.first), attribute.second);
}

void fillDevice(QDomElement& device, bool receiver, int i)
{
    const int kind = receiver ? 1 : 2;
    device.setAttribute(text(db::Name),
        QStringLiteral("%1_%2").arg(text(receiver ? db::Rx : db::Tx)).arg(i + 1, 4, 10, QLatin1Char('0')));
    device.setAttribute(text(db::IpType), i % 5 ? QStringLiteral("Static") : QStringLiteral("DHCP"));
    device.setAttribute(text(db::IpAddress), address(kind, i));
    device.setAttribute(text(db::NetworkMask), QStringLiteral("255.255.0.0"));
    device.setAttribute(text(db::DefaultGateway), QStringLiteral("10.%1.0.1").arg(kind));
    device.setAttribute(text(db::Mac), macAddress(kind, i));
    device.setAttribute(
        text(db::ModelNum), receiver ? QStringLiteral("RX-4200-DH") : QStringLiteral("TX-4200-DH"));
    device.setAttribute(text(db::SerialNum),
        QStringLiteral("%1%2")
            .arg(receiver ? QLatin1String("R42") : QLatin1String("T42"))
            .arg(100000 + i * 37));
    device.setAttribute(text(db::SwVer), QStringLiteral("4.2.%1").arg(17 + i % 3));
    if (!receiver)
        return;
    device.setAttribute(
        text(db::RxScreenResolution), i % 2 ? QStringLiteral("1920x1080") : QStringLiteral("1280x1024"));
    device.setAttribute(
        text(db::AutoLogin), i % 7 ? QString() : QStringLiteral("operator%1").arg(i % maxEntries));
    device.setAttribute(text(db::RememberLastUser), i % 3 ? QString() : QStringLiteral("admin"));
    device.setAttribute(text(db::HotKey), QStringLiteral("Ctrl-Ctrl"));
}

// The largest database: every connection and user slot taken, every user
// associated with every connection, and a full management appliance inventory.
QDomDocument maximumDocument()
{
    QDomDocument document = newDatabaseDocument();
    QDomElement root = document.documentElement();

    QDomElement connections = root.firstChildElement(text(db::Connections));
    clearChildren(connections);
    for (int i = 0; i < maxEntries; ++i) {
        QDomElement connection = append(document, connections, db::Connection);
        fillConnection(connection, i);
    }

    QDomElement users = root.firstChildElement(text(db::Users));
    clearChildren(users);
    for (int u = 0; u < maxEntries; ++u) {
        QDomElement user = append(document, users, db::User);
        user.setAttribute(
            text(db::UserName), u == 0 ? QStringLiteral("admin") : QStringLiteral("operator%1").arg(u));
        user.setAttribute(
            text(db::Password), u == 0 ? QString() : QStringLiteral("Pass-%1-word").arg(u * 104729));
        user.setAttribute(text(db::Privilege),
            u == 0 ? QStringLiteral("Administrator")
                   : (u % 4 ? QStringLiteral("User") : QStringLiteral("Power User")));
        for (int c = 0; c < maxEntries; ++c) {
            QDomElement association = append(document, user, db::AssociatedConnections);
            association.setAttribute(text(db::ConnectionName), connectionName(c));
            if (c < 10 && (u + c) % 3 == 0)
                association.setAttribute(text(db::Favorite), QString::number(c));
        }
        QDomElement autoConnect = append(document, user, db::AutoConnect);
        autoConnect.setAttribute(text(db::AutoConnectName), u % 2 ? connectionName(u) : QString());
    }

    for (const bool receiver : { true, false }) {
        QDomElement section = root.firstChildElement(text(receiver ? db::RxDevices : db::TxDevices));
        for (int i = 0; i < deviceRecords; ++i) {
            QDomElement device = append(document, section, receiver ? db::Rx : db::Tx);
            fillDevice(device, receiver, i);
        }
    }
    return document;
}

bool writePlain(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Both copies and their checksums, as a unit holds them after a clean shutdown.
bool installDatabase(SimUnit& unit, const QByteArray& content)
{
    const QByteArray checksum = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
    return QDir().mkpath(unit.path(QStringLiteral("/mnt/perm")))
        && writePlain(unit.path(text(DatabaseStorage::copyAPath)), content)
        && writePlain(unit.path(text(DatabaseStorage::copyBPath)), content)
        && writePlain(unit.path(text(DatabaseStorage::checksumAPath)), checksum)
        && writePlain(unit.path(text(DatabaseStorage::checksumBPath)), checksum);
}

int countChildren(const QDomDocument& document, const char* section)
{
    int count = 0;
    const QDomElement parent = document.documentElement().firstChildElement(text(section));
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        ++count;
    return count;
}

// The storage traces each mirror to the debug output; on a terminal that
// would time the terminal, not the storage.
void dropDebugLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg)
        return;
    Q_UNUSED(context)
    std::fputs(qPrintable(message + QLatin1Char('\n')), stderr);
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
    qInstallMessageHandler(dropDebugLines);
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

    const QDomDocument maximum = maximumDocument();
    if (!installDatabase(unit, databaseText(maximum)))
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
