#include "database/databaseprefetch.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "database.h"
#include "outsidefile.h"
#include "testmain.h"
#include "testunit.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <thread>

namespace {

const QString copyA = DatabaseStorage::copyAPath;
const QString copyB = DatabaseStorage::copyBPath;
const QString checksumA = DatabaseStorage::checksumAPath;
const QString checksumB = DatabaseStorage::checksumBPath;

// A writer whose power goes off after `budget` bytes: the write in progress is
// left torn in place (the worst a file system can do), and nothing after it
// reaches the disk. Without a budget it counts what a whole protocol writes.
class PowerCutWriter : public DurableWriter {
public:
    PowerCutWriter(Platform& platform, qint64 budget = -1) : DurableWriter(platform), budget(budget) {}

    bool writeFile(const QString& path, const QByteArray& content) override
    {
        if (powerOff || path == refused)
            return false;
        paths << path;
        boundaries << written;
        written += content.size();
        if (budget >= 0 && content.size() > budget) {
            QFile torn(path);
            if (torn.open(QIODevice::WriteOnly | QIODevice::Truncate))
                torn.write(content.left(static_cast<int>(budget)));
            powerOff = true;
            return false;
        }
        if (budget >= 0)
            budget -= content.size();
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }

    qint64 budget;
    QStringList paths; // every file a write was started on, in order
    QList<qint64> boundaries; // the bytes written before each write began
    QString refused; // a file no write reaches
    qint64 written = 0;
    bool powerOff = false;
};

struct Storage {
    explicit Storage(TestUnit& unit, DurableWriter* writer = nullptr)
        : durable(unit.platform())
        , storage(unit.platform(), writer ? *writer : durable,
              [this](const QString& title, const QString& text) { warnings << title + QStringLiteral(": ") + text; })
    {
    }
    // What the main window does at every start.
    void start()
    {
        storage.repairDatabaseFiles();
        storage.databasePath = storage.selectDatabaseFile();
        storage.loadDatabaseDocument();
    }

    DurableWriter durable;
    DatabaseStorage storage;
    QStringList warnings;
};

struct StartedStorage : Storage {
    explicit StartedStorage(TestUnit& unit, DurableWriter* w = nullptr) : Storage(unit, w) { start(); }
};

QString checksumOf(const QString& copy)
{
    return copy == copyA ? checksumA : checksumB;
}

int corruptedLines(const TestUnit& unit, const QString& copy)
{
    const QString text = QStringLiteral("MainWindow: VelmoData%1.xml is corrupted.\n").arg(copy == copyA ? 'A' : 'B');
    const QList<SimLogLine> log = unit.logLines();
    return int(std::count_if(log.begin(), log.end(), [&](const SimLogLine& l) { return l.text == text; }));
}

// The disk is full for this process while it lives: a file cannot grow past
// `limit` bytes, every write beyond fails as on a full file system.
struct FullDisk {
    explicit FullDisk(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit full { limit, saved.rlim_max };
        setrlimit(RLIMIT_FSIZE, &full);
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    rlimit saved;
    void (*previousHandler)(int);
};

// The four files of the database, as they are on disk.
QMap<QString, QByteArray> databaseFiles(const TestUnit& unit)
{
    QMap<QString, QByteArray> files;
    for (const QString& path : { copyA, copyB, checksumA, checksumB })
        files.insert(path, unit.readFile(path));
    return files;
}

} // namespace

class TestDatabaseStorage : public QObject {
    Q_OBJECT

private slots:
    void startFromWhatIsOnDisk_data();
    void startFromWhatIsOnDisk();
    void damagedCopyIsRebuiltFromTheOther_data();
    void damagedCopyIsRebuiltFromTheOther();
    void unrepairableCopyEndsInAWarning_data();
    void unrepairableCopyEndsInAWarning();
    void fullDiskKeepsEveryFile();
    void hostileEntriesAreNeverFollowedOrWaitedOn_data();
    void hostileEntriesAreNeverFollowedOrWaitedOn();
    void documentIsAlwaysWrittenReadably();
    void backupKeepsThePreviousStateAndNeverNothing();
    void powerCut_data();
    void powerCut();
};

void TestDatabaseStorage::startFromWhatIsOnDisk_data()
{
    QTest::addColumn<QStringList>("present"); // holding a database with "mine"; the rest missing
    // Of the copies present: "own", "stale" or "empty" (copies too); "prefetched": own, with copy B
    // a change behind, and copy A read on another thread before the start takes it.
    QTest::addColumn<QString>("checksums");
    const QStringList all { copyA, copyB, checksumA, checksumB };
    QTest::newRow("copy B and its checksum missing") << QStringList { copyA, checksumA } << "own";
    QTest::newRow("only copy B") << QStringList { copyB } << "own";
    QTest::newRow("copy A without its checksum is accepted") << QStringList { copyA } << "own";
    QTest::newRow("both copies empty: new database") << all << "empty";
    QTest::newRow("both copies failing only their checksums: new database") << all << "stale";
    QTest::newRow("prefetched copy A taken as it was, nothing rewritten") << all << "prefetched";
}

void TestDatabaseStorage::startFromWhatIsOnDisk()
{
    QFETCH(QStringList, present);
    QFETCH(QString, checksums);
    TestUnit unit;
    QDomDocument document = newDatabaseDocument();
    addConnection(document, QStringLiteral("mine"));
    const QByteArray text = checksums == "empty" ? QByteArray() : databaseText(document);
    const QByteArray sum
        = text.isEmpty() ? QByteArray() : checksumLine(checksums == "stale" ? "stale" : text);
    for (const QString& path : present)
        unit.writeFile(path, path.endsWith(".xml") ? text : sum);
    const bool prefetched = checksums == "prefetched";
    const QByteArray fresh = databaseText(newDatabaseDocument());
    const bool kept = checksums == "own" || prefetched;
    const QByteArray expected = kept ? text : fresh;

    Storage s(unit);
    DatabasePrefetch prefetch(unit.platform());
    if (prefetched) {
        unit.writeFile(copyB, fresh);
        unit.writeFile(checksumB, checksumLine(fresh));
        std::thread([&prefetch] { prefetch.run(); }).join();
        s.storage.adopt(prefetch);
    }
    s.start();
    QCOMPARE(s.storage.databasePath, copyA);
    QCOMPARE(databaseText(s.storage.document), expected);
    for (const QString& copy : { copyA, copyB }) {
        const QByteArray onDisk = prefetched && copy == copyB ? fresh : expected;
        QCOMPARE(unit.readFile(copy), onDisk);
        QCOMPARE(unit.readFile(checksumOf(copy)), checksumLine(onDisk));
    }
    QCOMPARE(unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")), !kept);
    QVERIFY(s.warnings.isEmpty());
}

void TestDatabaseStorage::damagedCopyIsRebuiltFromTheOther_data()
{
    QTest::addColumn<QString>("copy");
    QTest::addColumn<QString>("damage");
    // "seen": the storage read, wrote and hashed both copies' present bytes;
    // "prefetched": a new storage took copy A as read before the damage.
    QTest::addColumn<QString>("reader");
    const auto row = [](const char* name, const QString& copy, const char* damage, const char* reader) {
        QTest::newRow(name) << copy << QString(damage) << QString(reader);
    };
    row("checksum A without line feed", copyA, "no line feed", "fresh");
    row("checksum A with carriage return", copyA, "carriage return", "fresh");
    row("copy A cut short", copyA, "cut", "fresh");
    row("copy A empty root", copyA, "empty root", "fresh");
    // Copy B holds copy A's bytes, already judged: its own checksum is still checked.
    row("checksum B without line feed", copyB, "no line feed", "fresh");
    row("copy B edited behind its checksum", copyB, "edited", "fresh");
    row("copy B is not XML", copyB, "not XML", "fresh");
    row("seen copy A cut short", copyA, "cut", "seen");
    row("seen copy A not XML, same length, checksum matching", copyA, "not XML, rehashed", "seen");
    row("seen copy A not XML, same length, checksum left", copyA, "not XML", "seen");
    row("seen copy A root emptied, checksum matching", copyA, "empty root, rehashed", "seen");
    row("seen copy A torn by a power cut while saved", copyA, "torn", "seen");
    row("seen copy B torn by a power cut while mirrored", copyB, "torn", "seen");
    row("prefetched copy A cut short", copyA, "cut", "prefetched");
    row("prefetched copy A not XML, checksum matching", copyA, "not XML, rehashed", "prefetched");
    row("prefetched copy A checksum without line feed", copyA, "no line feed", "prefetched");
}

void TestDatabaseStorage::damagedCopyIsRebuiltFromTheOther()
{
    QFETCH(QString, copy);
    QFETCH(QString, damage);
    QFETCH(QString, reader);
    TestUnit unit;
    Storage(unit).start();
    PowerCutWriter writer(unit.platform());
    StartedStorage s(unit, &writer);
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("first")); }));
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("second")); }));
    Storage fresh(unit);
    Storage& next = reader == "seen" ? s : fresh;
    DatabasePrefetch prefetch(unit.platform());
    prefetch.run();
    if (reader == "prefetched")
        fresh.storage.adopt(prefetch);

    const QByteArray text = unit.readFile(copy);
    QByteArray changed = text;
    if (damage.startsWith("cut"))
        changed = text.left(text.size() / 2);
    else if (damage.startsWith("empty root"))
        changed = "<Data/>";
    else if (damage == "edited")
        changed.replace("first", "evil");
    else if (damage.startsWith("not XML"))
        changed = QByteArray(text.size(), 'x');
    unit.writeFile(copy, changed);
    if (damage.endsWith("rehashed"))
        unit.writeFile(checksumOf(copy), checksumLine(changed));
    if (damage == "no line feed")
        unit.writeFile(checksumOf(copy), checksumLine(text).trimmed());
    if (damage == "carriage return")
        unit.writeFile(checksumOf(copy), checksumLine(text).trimmed() + "\r\n");
    if (damage == "torn") {
        // The mirror writes copy B and its checksum before the save writes copy A.
        writer.budget = copy == copyB ? text.size() / 2 : text.size() + 33 + text.size() / 2;
        QVERIFY(!s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("torn")); }));
        writer.budget = -1;
        writer.powerOff = false;
        QVERIFY(unit.readFile(copy) != text);
    }
    const QByteArray sound = unit.readFile(copy == copyA ? copyB : copyA);
    unit.clearRecords();

    next.start();
    QCOMPARE(next.storage.databasePath, copyA);
    QCOMPARE(corruptedLines(unit, copy), 1);
    QCOMPARE(unit.readFile(copy), sound);
    for (const QString& each : { copyA, copyB })
        QCOMPARE(unit.readFile(checksumOf(each)), checksumLine(unit.readFile(each)));
    QCOMPARE(databaseText(next.storage.document), unit.readFile(copyA));
    QCOMPARE(next.storage.failCountA + next.storage.failCountB, 0);
    QVERIFY(next.warnings.isEmpty());
}

void TestDatabaseStorage::unrepairableCopyEndsInAWarning_data()
{
    QTest::addColumn<QString>("folderAt");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("copyAttempts");
    // Unreadable counts twice per pass: two repairs, the warning in the third.
    QTest::newRow("copy B unreadable") << copyB << copyA << "WARNING: Can not create local configuration backup file." << 3 << 2;
    QTest::newRow("copy A unreadable") << copyA << copyB << "WARNING: Can not create main local configuration file." << 3 << 2;
    // Readable but never matching its checksum: five repairs, the warning in the sixth.
    QTest::newRow("checksum B unwritable") << checksumB << copyA << "WARNING: Can not create local configuration backup file." << 6 << 5;
}

void TestDatabaseStorage::unrepairableCopyEndsInAWarning()
{
    QFETCH(QString, folderAt);
    QFETCH(QString, warning);
    TestUnit unit;
    Storage(unit).start();
    // A folder can be neither read nor replaced.
    QFile::remove(unit.path(folderAt));
    QVERIFY(QDir().mkpath(unit.path(folderAt)));

    PowerCutWriter writer(unit.platform());
    Storage s(unit, &writer);
    QTEST(s.storage.selectDatabaseFile(), "result");
    QCOMPARE(s.warnings, QStringList { warning });
    const QString failing = folderAt == copyA ? copyA : copyB;
    QTEST(corruptedLines(unit, failing), "lines");
    QTEST(writer.paths.count(unit.path(failing)), "copyAttempts");
    QCOMPARE(s.storage.failCountA + s.storage.failCountB, 0);
}

void TestDatabaseStorage::fullDiskKeepsEveryFile()
{
    TestUnit unit;
    StartedStorage s(unit);
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("before")); }));
    const QMap<QString, QByteArray> before = databaseFiles(unit);
    {
        FullDisk full(1024); // a database is larger, a checksum smaller
        DurableWriter writer(unit.platform());
        QVERIFY(!writer.writeFile(unit.path(copyA), QByteArray(4000, 'x')));
        QVERIFY(!s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("never stored")); }));
    }
    QCOMPARE(databaseFiles(unit), before);
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not open file for writing: /mnt/perm/VelmoDataA.xml")));
    QVERIFY(databaseText(s.storage.document).contains("never stored")); // kept in memory only
    QCOMPARE(QDir(unit.path("/mnt/perm")).entryList({ "*.tmp*" }, QDir::Files), QStringList());
    // A copy whose checksum cannot follow is not saved either.
    PowerCutWriter writer(unit.platform());
    writer.refused = unit.path(checksumA);
    StartedStorage t(unit, &writer);
    QVERIFY(!t.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("no checksum")); }));
}

void TestDatabaseStorage::hostileEntriesAreNeverFollowedOrWaitedOn_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("kind"); // an OutsideFile::Entry, or -1: a huge file
    const int link = int(OutsideFile::Entry::LinkHere), fifo = int(OutsideFile::Entry::Fifo);
    QTest::newRow("copy A links outside") << copyA << link;
    QTest::newRow("checksum A links outside") << checksumA << link;
    QTest::newRow("copy B links outside") << copyB << link;
    QTest::newRow("copy A is a FIFO") << copyA << fifo;
    QTest::newRow("checksum B is a FIFO") << checksumB << fifo;
    QTest::newRow("copy A links to an endless device, no checksum") << copyA << int(OutsideFile::Entry::LinkToEndlessDevice);
    QTest::newRow("copy A is huge, no checksum") << copyA << -1;
}

void TestDatabaseStorage::hostileEntriesAreNeverFollowedOrWaitedOn()
{
    QFETCH(QString, entry);
    QFETCH(int, kind);
    TestUnit unit;
    Storage(unit).start();
    const QByteArray good = unit.readFile(copyA);
    const OutsideFile victim;
    if (kind < 0)
        QVERIFY(QFile::resize(unit.path(entry), 20LL * 1024 * 1024 * 1024));
    else
        QVERIFY(victim.plant(unit.path(entry), OutsideFile::Entry(kind)));
    if (kind < 0 || OutsideFile::Entry(kind) == OutsideFile::Entry::LinkToEndlessDevice)
        QFile::remove(unit.path(checksumA));

    StartedStorage s(unit); // returns: nothing waits on a FIFO or reads without end
    QCOMPARE(databaseText(s.storage.document), good);
    for (const QString& path : { copyA, copyB, checksumA, checksumB })
        QVERIFY2(QFileInfo(unit.path(path)).isFile() && !QFileInfo(unit.path(path)).isSymLink(), qPrintable(path));
    QVERIFY(s.storage.verifyChecksumFile(copyA) && s.storage.verifyChecksumFile(copyB));
    QVERIFY(victim.unchanged());
}

void TestDatabaseStorage::documentIsAlwaysWrittenReadably()
{
    TestUnit unit;
    Storage(unit).start();
    // Character references the parser takes but a plain serializer writes raw.
    QByteArray odd = unit.readFile(copyA);
    odd.replace("<Connections>", "<Connections>&#xFFFE;<Connection Name=\"odd&#xFFFF;&#x1;\"/>");
    unit.writeFile(copyA, odd);
    QFile::remove(unit.path(checksumA));
    unit.clearRecords();
    StartedStorage s(unit);
    QCOMPARE(databaseSection(s.storage.document, db::Connections).firstChildElement().attribute(db::Name),
        QString::fromUtf8("odd\xEF\xBF\xBF\x01"));

    // The backup is the copy's own bytes; the change reads back whole.
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("after")); }));
    QCOMPARE(unit.readFile(copyB), odd);
    StartedStorage next(unit);
    QCOMPARE(databaseText(next.storage.document), databaseText(s.storage.document));

    // A text no parser takes back is refused; both copies keep their state.
    const QByteArray storedA = unit.readFile(copyA);
    QVERIFY(!next.storage.commitChange(
        [](QDomDocument& d) { d.documentElement().appendChild(d.createComment(QStringLiteral("\x01"))); }));
    // Nor a text beyond what the storage reads back: it would count as missing.
    QDomDocument huge = newDatabaseDocument();
    huge.documentElement().setAttribute(QStringLiteral("x"), QString(int(maxDatabaseTextBytes), QLatin1Char('x')));
    QVERIFY(!next.storage.writeCopy(copyA, huge));
    QVERIFY(!next.storage.commitChange([&huge](QDomDocument& d) { d = huge; }));
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not write a readable document to /mnt/perm/VelmoDataA.xml")));
    QCOMPARE(unit.readFile(copyA), storedA);
    QCOMPARE(unit.readFile(checksumA), checksumLine(storedA));
}

void TestDatabaseStorage::backupKeepsThePreviousStateAndNeverNothing()
{
    TestUnit unit;
    Storage(unit).start(); // a unit that has its database already
    StartedStorage s(unit);
    const QByteArray before = unit.readFile(copyA);
    // An edit that never reached the disk must not leak into the backup either.
    addConnection(s.storage.document, QStringLiteral("unsaved"));

    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("new one")); }));
    const QByteArray after = unit.readFile(copyA);
    QVERIFY(after.contains("new one"));
    QCOMPARE(unit.readFile(copyB), before);
    QCOMPARE(unit.readFile(checksumA), checksumLine(after));
    QCOMPARE(unit.readFile(checksumB), checksumLine(before));

    // The next change carries the previous one into the backup.
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("second")); }));
    QCOMPARE(unit.readFile(copyB), after);

    // A reload gives the disk's state, never a tree edited since it was loaded.
    StartedStorage t(unit);
    addConnection(t.storage.document, QStringLiteral("unsaved again"));
    t.start();
    QVERIFY(!databaseText(t.storage.document).contains("unsaved again"));

    // A copy A that cannot be read, or is gone, never replaces the backup.
    const QByteArray backup = unit.readFile(copyB);
    unit.clearRecords();
    unit.writeFile(copyA, "not xml at all");
    t.storage.mirrorDatabaseFile(copyA);
    QCOMPARE(unit.readFile(copyB), backup);
    QFile::remove(unit.path(copyA));
    t.storage.mirrorDatabaseFile(copyA);
    QCOMPARE(unit.readFile(copyB), backup);
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not open file for reading: /mnt/perm/VelmoDataA.xml")));
    QVERIFY(!t.storage.copyDatabaseFile(copyA, copyB));
    QCOMPARE(unit.readFile(copyB), backup);
}

void TestDatabaseStorage::powerCut_data()
{
    QTest::addColumn<bool>("creating");
    QTest::newRow("during a change") << false;
    QTest::newRow("while creating the database") << true;
}

void TestDatabaseStorage::powerCut()
{
    QFETCH(bool, creating);
    TestUnit unit;
    QMap<QString, QByteArray> files;
    if (!creating) {
        Storage(unit).start();
        files = databaseFiles(unit);
    }
    // The whole protocol from the same disk, on `writer`; gives the document it meant to store.
    const auto protocol = [&](PowerCutWriter& writer) {
        for (const QString& path : { copyA, copyB, checksumA, checksumB }) {
            QFile::remove(unit.path(path));
            if (!creating)
                unit.writeFile(path, files.value(path));
        }
        Storage s(unit, &writer);
        if (creating) {
            s.storage.repairDatabaseFiles();
            s.storage.selectDatabaseFile();
            return databaseText(newDatabaseDocument());
        }
        s.storage.databasePath = copyA;
        s.storage.loadDatabaseDocument();
        s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("added before the cut")); });
        return databaseText(s.storage.document);
    };
    // One whole run, to learn the bytes it writes and the two valid outcomes.
    PowerCutWriter counter(unit.platform());
    const QByteArray newText = protocol(counter);
    const QByteArray oldText = creating ? newText : databaseText(newDatabaseDocument());
    QVERIFY(counter.written >= oldText.size() + newText.size());

    // Every write's first and last bytes, and a stride through the rest.
    QSet<qint64> cuts;
    for (qint64 cut = 0; cut <= counter.written; cut += 7)
        cuts << cut;
    for (const qint64 boundary : counter.boundaries + QList<qint64> { counter.written })
        for (qint64 cut = boundary - 2; cut <= boundary + 2; ++cut)
            cuts << qBound<qint64>(0, cut, counter.written);
    for (const qint64 cut : qAsConst(cuts)) {
        PowerCutWriter writer(unit.platform(), cut);
        protocol(writer);
        // The next start, on a disk that keeps what it is given without syncs.
        PowerCutWriter unlimited(unit.platform());
        StartedStorage next(unit, &unlimited);
        const QByteArray loaded = databaseText(next.storage.document);
        const QByteArray where = "cut at byte " + QByteArray::number(cut) + " of " + QByteArray::number(counter.written);
        QVERIFY2(loaded == oldText || loaded == newText, where.constData());
        QVERIFY2(next.warnings.isEmpty(), where.constData());
        QVERIFY2(next.storage.verifyChecksumFile(copyA) && next.storage.verifyChecksumFile(copyB), where.constData());
    }
}

VELMO_TEST_MAIN(TestDatabaseStorage)
#include "test_database_storage.moc"
