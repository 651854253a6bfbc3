#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "outsidefile.h"
#include "testmain.h"
#include "testunit.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString copyA = DatabaseStorage::copyAPath;
const QString copyB = DatabaseStorage::copyBPath;
const QString checksumA = DatabaseStorage::checksumAPath;
const QString checksumB = DatabaseStorage::checksumBPath;

QByteArray md5Line(const QByteArray& content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
}

// A writer whose power goes off after `budget` bytes: the write in progress is
// left torn in place (the worst a file system can do), and nothing after it
// reaches the disk. Without a budget it counts what a whole protocol writes.
class PowerCutWriter : public DurableWriter {
public:
    PowerCutWriter(Platform& platform, qint64 budget = -1) : DurableWriter(platform), budget(budget) {}

    bool writeFile(const QString& path, const QByteArray& content) override
    {
        if (powerOff)
            return false;
        paths << path;
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
    qint64 written = 0;
    bool powerOff = false;
};

struct Storage {
    explicit Storage(TestUnit& unit) : durable(unit.platform()), storage(unit.platform(), durable, recordWarning()) {}
    Storage(TestUnit& unit, DurableWriter& writer) : durable(unit.platform()), storage(unit.platform(), writer, recordWarning()) {}

    std::function<void(const QString&, const QString&)> recordWarning()
    {
        return [this](const QString& title, const QString& text) { warnings << title + QStringLiteral(": ") + text; };
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

void addConnection(QDomDocument& document, const QString& name)
{
    QDomElement connection = document.createElement(db::Connection);
    connection.setAttribute(db::Name, name);
    connection.setAttribute(db::IpAddress, QStringLiteral("10.0.0.9"));
    document.documentElement().firstChildElement(db::Connections).appendChild(connection);
}

// The disk is full for this process while it lives: a file cannot grow past
// `limit` bytes, every write beyond fails as on a full file system.
struct FullDisk {
    explicit FullDisk(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit full = saved;
        full.rlim_cur = limit;
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

QStringList leftovers(const TestUnit& unit)
{
    return QDir(unit.path(QStringLiteral("/mnt/perm"))).entryList(QStringList { QStringLiteral("*.tmp*") }, QDir::Files);
}

int logCount(const TestUnit& unit, const QString& text)
{
    int count = 0;
    for (const SimLogLine& line : unit.logLines())
        count += line.text == text ? 1 : 0;
    return count;
}

} // namespace

class TestDatabaseStorage : public QObject {
    Q_OBJECT

private slots:
    void missingFilesAreRepairedBeforeReading();
    void copyWithoutChecksumIsAccepted();
    void damagedCopyIsRebuiltFromTheOther_data();
    void damagedCopyIsRebuiltFromTheOther();
    void noSoundCopyGivesANewDatabase_data();
    void noSoundCopyGivesANewDatabase();
    void unrepairableCopyEndsInAWarning_data();
    void unrepairableCopyEndsInAWarning();
    void fullDiskKeepsEveryFile();
    void hostileEntriesAreNeverFollowedOrWaitedOn_data();
    void hostileEntriesAreNeverFollowedOrWaitedOn();
    void documentIsAlwaysWrittenReadably();
    void changeKeepsThePreviousStateInTheOtherCopy();
    void copyChangedBehindTheStorageIsJudgedAgain_data();
    void copyChangedBehindTheStorageIsJudgedAgain();
    void mirrorNeverReplacesTheBackupWithNothing();
    void powerCutDuringAChange();
    void powerCutWhileCreatingTheDatabase();
};

void TestDatabaseStorage::missingFilesAreRepairedBeforeReading()
{
    TestUnit unit;
    const QByteArray text = databaseText(newDatabaseDocument());
    unit.writeFile(copyA, text);
    unit.writeFile(checksumA, md5Line(text));

    Storage s(unit);
    s.storage.repairDatabaseFiles();
    QCOMPARE(unit.readFile(copyB), text);
    QCOMPARE(unit.readFile(checksumB), md5Line(text));

    // And the other way round, with the missing checksum written first.
    TestUnit other;
    other.writeFile(copyB, text);
    Storage t(other);
    t.storage.repairDatabaseFiles();
    QCOMPARE(other.readFile(checksumB), md5Line(text));
    QCOMPARE(other.readFile(copyA), text);
    QCOMPARE(other.readFile(checksumA), md5Line(text));
}

void TestDatabaseStorage::copyWithoutChecksumIsAccepted()
{
    TestUnit unit;
    QDomDocument document = newDatabaseDocument();
    addConnection(document, QStringLiteral("mine"));
    const QByteArray text = databaseText(document);
    unit.writeFile(copyA, text);

    Storage s(unit);
    s.start();
    QCOMPARE(s.storage.databasePath, copyA);
    QCOMPARE(unit.readFile(checksumA), md5Line(text));
    QCOMPARE(databaseText(s.storage.document), text);
    QVERIFY(s.warnings.isEmpty());
}

void TestDatabaseStorage::damagedCopyIsRebuiltFromTheOther_data()
{
    QTest::addColumn<QString>("damagedCopy");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("corruptedLines");
    QTest::newRow("checksum A without line feed") << copyA << "checksum-no-lf" << 1;
    QTest::newRow("checksum A with carriage return") << copyA << "checksum-crlf" << 1;
    QTest::newRow("copy A truncated") << copyA << "truncate" << 1;
    QTest::newRow("copy A empty root") << copyA << "empty-root" << 1;
    // Copy B holds copy A's bytes, already judged: its own checksum is still checked.
    QTest::newRow("checksum B without line feed") << copyB << "checksum-no-lf" << 1;
    QTest::newRow("copy B edited behind its checksum") << copyB << "edit" << 1;
    QTest::newRow("copy B is not XML") << copyB << "garbage" << 1;
}

void TestDatabaseStorage::damagedCopyIsRebuiltFromTheOther()
{
    QFETCH(QString, damagedCopy);
    QFETCH(QString, damage);
    QFETCH(int, corruptedLines);

    TestUnit unit;
    QDomDocument document = newDatabaseDocument();
    addConnection(document, QStringLiteral("keep me"));
    const QByteArray text = databaseText(document);
    for (const QString& copy : { copyA, copyB })
        unit.writeFile(copy, text);
    unit.writeFile(checksumA, md5Line(text));
    unit.writeFile(checksumB, md5Line(text));

    const QString checksum = damagedCopy == copyA ? checksumA : checksumB;
    if (damage == QLatin1String("checksum-no-lf"))
        unit.writeFile(checksum, md5Line(text).trimmed());
    else if (damage == QLatin1String("checksum-crlf"))
        unit.writeFile(checksum, md5Line(text).trimmed() + "\r\n");
    else if (damage == QLatin1String("truncate"))
        unit.writeFile(damagedCopy, text.left(text.size() / 2));
    else if (damage == QLatin1String("empty-root"))
        unit.writeFile(damagedCopy, "<Data/>");
    else if (damage == QLatin1String("edit"))
        unit.writeFile(damagedCopy, QByteArray(text).replace("keep me", "evil"));
    else
        unit.writeFile(damagedCopy, QByteArray("\x00\xff garbage", 10));

    Storage s(unit);
    s.start();
    QCOMPARE(s.storage.databasePath, copyA);
    QCOMPARE(databaseText(s.storage.document), text);
    QCOMPARE(unit.readFile(damagedCopy), text);
    QCOMPARE(unit.readFile(checksum), md5Line(text));
    const QString line = damagedCopy == copyA ? QStringLiteral("MainWindow: VelmoDataA.xml is corrupted.\n")
                                              : QStringLiteral("MainWindow: VelmoDataB.xml is corrupted.\n");
    QCOMPARE(logCount(unit, line), corruptedLines);
    QCOMPARE(s.storage.failCountA, 0);
    QCOMPARE(s.storage.failCountB, 0);
    QVERIFY(s.warnings.isEmpty());
}

void TestDatabaseStorage::noSoundCopyGivesANewDatabase_data()
{
    QTest::addColumn<bool>("emptyFiles");
    QTest::newRow("both copies empty") << true;
    QTest::newRow("both copies failing only their checksums") << false;
}

void TestDatabaseStorage::noSoundCopyGivesANewDatabase()
{
    QFETCH(bool, emptyFiles);
    TestUnit unit;
    Storage(unit).start();
    QDomDocument document = newDatabaseDocument();
    addConnection(document, QStringLiteral("lost"));
    for (const QString& path : { copyA, copyB })
        unit.writeFile(path, emptyFiles ? QByteArray() : databaseText(document));
    if (emptyFiles) {
        unit.writeFile(checksumA, QByteArray());
        unit.writeFile(checksumB, QByteArray());
    }
    unit.clearRecords();
    Storage s(unit);
    s.start();
    QCOMPARE(s.storage.databasePath, copyA);
    QCOMPARE(databaseText(s.storage.document), databaseText(newDatabaseDocument()));
    QVERIFY(unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));
    QVERIFY(s.storage.verifyChecksumFile(copyA) && s.storage.verifyChecksumFile(copyB));
}

void TestDatabaseStorage::unrepairableCopyEndsInAWarning_data()
{
    QTest::addColumn<QString>("folderAt");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("corruptedLines");
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
    QFETCH(QString, result);
    QFETCH(QString, warning);
    QFETCH(int, corruptedLines);
    QFETCH(int, copyAttempts);

    TestUnit unit;
    Storage(unit).start();
    // A folder can be neither read nor replaced.
    QFile::remove(unit.path(folderAt));
    QVERIFY(QDir().mkpath(unit.path(folderAt)));

    PowerCutWriter writer(unit.platform());
    Storage s(unit, writer);
    QCOMPARE(s.storage.selectDatabaseFile(), result);
    QCOMPARE(s.warnings, QStringList { warning });
    const bool aFailing = folderAt == copyA;
    QCOMPARE(logCount(unit, aFailing ? QStringLiteral("MainWindow: VelmoDataA.xml is corrupted.\n")
                                     : QStringLiteral("MainWindow: VelmoDataB.xml is corrupted.\n")),
        corruptedLines);
    QCOMPARE(writer.paths.count(unit.path(aFailing ? copyA : copyB)), copyAttempts);
    QCOMPARE(s.storage.failCountA + s.storage.failCountB, 0);
}

void TestDatabaseStorage::fullDiskKeepsEveryFile()
{
    TestUnit unit;
    Storage s(unit);
    s.start();
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("before")); }));
    const QString paths[4] = { copyA, copyB, checksumA, checksumB };
    QByteArray before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = unit.readFile(paths[i]);

    {
        FullDisk full(1024); // a database is larger, a checksum smaller
        DurableWriter writer(unit.platform());
        QVERIFY(!writer.writeFile(unit.path(copyA), QByteArray(4000, 'x')));
        QVERIFY(!s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("never stored")); }));
    }
    for (int i = 0; i < 4; ++i)
        QCOMPARE(unit.readFile(paths[i]), before[i]);
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not open file for writing: /mnt/perm/VelmoDataA.xml")));
    QVERIFY(databaseText(s.storage.document).contains("never stored")); // kept in memory only
    QCOMPARE(leftovers(unit), QStringList());

    unit.clearRecords();
    Storage next(unit);
    next.start();
    QVERIFY(unit.readFile(next.storage.databasePath).contains("before"));
    QVERIFY(!unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));
}

void TestDatabaseStorage::hostileEntriesAreNeverFollowedOrWaitedOn_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("kind");
    QTest::newRow("copy A links outside") << copyA << "link";
    QTest::newRow("checksum A links outside") << checksumA << "link";
    QTest::newRow("copy B links outside") << copyB << "link";
    QTest::newRow("copy A is a FIFO") << copyA << "fifo";
    QTest::newRow("checksum B is a FIFO") << checksumB << "fifo";
    QTest::newRow("copy A links to an endless device, no checksum") << copyA << "zero";
    QTest::newRow("copy A is huge, no checksum") << copyA << "huge";
}

void TestDatabaseStorage::hostileEntriesAreNeverFollowedOrWaitedOn()
{
    QFETCH(QString, entry);
    QFETCH(QString, kind);

    TestUnit unit;
    Storage(unit).start();
    const QByteArray good = unit.readFile(copyA);
    const OutsideFile victim;
    if (kind == QLatin1String("huge")) {
        QFile huge(unit.path(entry));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(20LL * 1024 * 1024 * 1024));
    } else {
        QVERIFY(victim.plant(unit.path(entry), kind == QLatin1String("link") ? OutsideFile::Entry::LinkHere
                    : kind == QLatin1String("fifo")                         ? OutsideFile::Entry::Fifo
                                                                            : OutsideFile::Entry::LinkToEndlessDevice));
    }
    if (kind == QLatin1String("huge") || kind == QLatin1String("zero"))
        QFile::remove(unit.path(checksumA));

    Storage s(unit);
    s.start(); // returns: nothing waits on a FIFO or reads without end
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
    Storage s(unit);
    s.start();
    const QString name = s.storage.document.documentElement().firstChildElement(db::Connections)
                             .firstChildElement().attribute(db::Name);
    QCOMPARE(name, QString::fromUtf8("odd\xEF\xBF\xBF\x01"));

    // The backup is the copy's own bytes; the change reads back whole.
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("after")); }));
    QCOMPARE(unit.readFile(copyB), odd);
    Storage next(unit);
    next.start();
    QCOMPARE(next.storage.databasePath, copyA);
    QVERIFY(unit.readFile(copyA).contains("after"));
    QCOMPARE(databaseText(next.storage.document), databaseText(s.storage.document));
    QVERIFY(!unit.hasLog(5, QStringLiteral("MainWindow: Creating NEW DATABASE.")));

    // A text no parser takes back is refused; both copies keep their state.
    const QByteArray storedA = unit.readFile(copyA);
    QVERIFY(!next.storage.commitChange(
        [](QDomDocument& d) { d.documentElement().appendChild(d.createComment(QStringLiteral("\x01"))); }));
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not write a readable document to /mnt/perm/VelmoDataA.xml")));
    QCOMPARE(unit.readFile(copyA), storedA);
    QCOMPARE(unit.readFile(checksumA), md5Line(storedA));
}

void TestDatabaseStorage::changeKeepsThePreviousStateInTheOtherCopy()
{
    TestUnit unit;
    Storage(unit).start(); // a unit that has its database already
    Storage s(unit);
    s.start();
    const QByteArray before = unit.readFile(copyA);
    // An edit that never reached the disk must not leak into the backup either.
    addConnection(s.storage.document, QStringLiteral("unsaved"));

    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("new one")); }));
    const QByteArray after = unit.readFile(copyA);
    QVERIFY(after.contains("new one"));
    QCOMPARE(unit.readFile(copyB), before);
    QCOMPARE(unit.readFile(checksumA), md5Line(after));
    QCOMPARE(unit.readFile(checksumB), md5Line(before));

    // The next change carries the previous one into the backup.
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("second")); }));
    QCOMPARE(unit.readFile(copyB), after);

    // A reload gives the disk's state, never a tree edited since it was loaded.
    Storage t(unit);
    t.start();
    addConnection(t.storage.document, QStringLiteral("unsaved again"));
    t.start();
    QVERIFY(!databaseText(t.storage.document).contains("unsaved again"));
}

void TestDatabaseStorage::copyChangedBehindTheStorageIsJudgedAgain_data()
{
    QTest::addColumn<QString>("damagedCopy");
    QTest::addColumn<QString>("damage");
    QTest::newRow("copy A cut short") << copyA << "truncate";
    QTest::newRow("copy A not XML, same length, checksum matching") << copyA << "garbage";
    QTest::newRow("copy A not XML, same length, checksum left") << copyA << "garbage-stale";
    QTest::newRow("copy A root emptied, checksum matching") << copyA << "empty-root";
    QTest::newRow("copy A torn by a power cut while saved") << copyA << "cut";
    QTest::newRow("copy B torn by a power cut while mirrored") << copyB << "cut";
}

void TestDatabaseStorage::copyChangedBehindTheStorageIsJudgedAgain()
{
    QFETCH(QString, damagedCopy);
    QFETCH(QString, damage);

    TestUnit unit;
    Storage(unit).start();
    PowerCutWriter writer(unit.platform());
    Storage s(unit, writer);
    s.start();
    // The storage has read, written and hashed both copies' present bytes.
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("first")); }));
    QVERIFY(s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("second")); }));
    const QString checksum = damagedCopy == copyA ? checksumA : checksumB;
    const QByteArray text = unit.readFile(damagedCopy);
    if (damage == QLatin1String("truncate")) {
        unit.writeFile(damagedCopy, text.left(text.size() - 20));
    } else if (damage == QLatin1String("garbage-stale")) {
        unit.writeFile(damagedCopy, QByteArray(text.size(), 'x'));
    } else if (damage == QLatin1String("garbage") || damage == QLatin1String("empty-root")) {
        QByteArray changed = damage == QLatin1String("garbage") ? QByteArray(text.size(), 'x')
                                                                 : QByteArray("<Data/>");
        unit.writeFile(damagedCopy, changed);
        unit.writeFile(checksum, md5Line(changed));
    } else {
        // The mirror writes copy B and its checksum before the save writes copy A.
        writer.budget = damagedCopy == copyB ? text.size() / 2 : text.size() + 33 + text.size() / 2;
        QVERIFY(!s.storage.commitChange([](QDomDocument& d) { addConnection(d, QStringLiteral("torn")); }));
        writer.budget = -1;
        writer.powerOff = false;
        QVERIFY(unit.readFile(damagedCopy) != text);
    }
    const QByteArray sound = unit.readFile(damagedCopy == copyA ? copyB : copyA);
    unit.clearRecords();

    s.start();
    QCOMPARE(s.storage.databasePath, copyA);
    const QString line = damagedCopy == copyA ? QStringLiteral("MainWindow: VelmoDataA.xml is corrupted.\n")
                                              : QStringLiteral("MainWindow: VelmoDataB.xml is corrupted.\n");
    QCOMPARE(logCount(unit, line), 1);
    // Rebuilt from the sound copy, and both copies match their checksums on disk.
    QCOMPARE(unit.readFile(damagedCopy), sound);
    QVERIFY(unit.readFile(copyA).contains("first"));
    for (const QString& copy : { copyA, copyB })
        QCOMPARE(unit.readFile(copy == copyA ? checksumA : checksumB), md5Line(unit.readFile(copy)));
    QVERIFY(databaseText(s.storage.document).contains("first"));
}

void TestDatabaseStorage::mirrorNeverReplacesTheBackupWithNothing()
{
    TestUnit unit;
    Storage s(unit);
    s.start();
    const QByteArray backup = unit.readFile(copyB);

    unit.writeFile(copyA, "not xml at all");
    s.storage.mirrorDatabaseFile(copyA);
    QCOMPARE(unit.readFile(copyB), backup);

    QFile::remove(unit.path(copyA));
    s.storage.mirrorDatabaseFile(copyA);
    QCOMPARE(unit.readFile(copyB), backup);
    QVERIFY(unit.hasLog(3, QStringLiteral("MainWindow: Can not open file for reading: /mnt/perm/VelmoDataA.xml")));
    QVERIFY(!s.storage.copyDatabaseFile(copyA, copyB));
    QCOMPARE(unit.readFile(copyB), backup);
}

void TestDatabaseStorage::powerCutDuringAChange()
{
    TestUnit unit;
    QByteArray oldText;
    QByteArray newText;
    QByteArray files[4];
    const QString paths[4] = { copyA, copyB, checksumA, checksumB };
    const auto change = [](QDomDocument& d) { addConnection(d, QStringLiteral("added before the power cut")); };

    // One whole change, to learn the bytes it writes and the two valid outcomes.
    qint64 total = 0;
    {
        Storage s(unit);
        s.start();
        oldText = databaseText(s.storage.document);
        for (int i = 0; i < 4; ++i)
            files[i] = unit.readFile(paths[i]);
        PowerCutWriter counter(unit.platform());
        DatabaseStorage storage(unit.platform(), counter, [](const QString&, const QString&) {});
        storage.databasePath = copyA;
        storage.loadDatabaseDocument();
        QVERIFY(storage.commitChange(change));
        total = counter.written;
        newText = databaseText(storage.document);
    }
    QVERIFY(total >= oldText.size() + newText.size());

    for (qint64 cut = 0; cut <= total; ++cut) {
        for (int i = 0; i < 4; ++i)
            unit.writeFile(paths[i], files[i]);
        {
            PowerCutWriter writer(unit.platform(), cut);
            DatabaseStorage storage(unit.platform(), writer, [](const QString&, const QString&) {});
            storage.databasePath = copyA;
            storage.loadDatabaseDocument();
            storage.commitChange(change);
        }
        // The next start, on a disk that keeps what it is given without syncs.
        PowerCutWriter unlimited(unit.platform());
        Storage next(unit, unlimited);
        next.start();
        const QByteArray loaded = databaseText(next.storage.document);
        if (loaded != oldText && loaded != newText)
            QFAIL(qPrintable(QStringLiteral("cut at byte %1 of %2 started with another document").arg(cut).arg(total)));
        QVERIFY2(next.warnings.isEmpty(), qPrintable(QString::number(cut)));
        // Both copies are healthy again after that start.
        QVERIFY(next.storage.verifyChecksumFile(copyA));
        QVERIFY(next.storage.verifyChecksumFile(copyB));
    }
}

void TestDatabaseStorage::powerCutWhileCreatingTheDatabase()
{
    const QByteArray fresh = databaseText(newDatabaseDocument());
    qint64 total = 0;
    {
        TestUnit unit;
        PowerCutWriter counter(unit.platform());
        DatabaseStorage storage(unit.platform(), counter, [](const QString&, const QString&) {});
        storage.selectDatabaseFile();
        total = counter.written;
    }
    TestUnit unit;
    for (qint64 cut = 0; cut <= total; cut += 7) {
        for (const QString& path : { copyA, copyB, checksumA, checksumB })
            QFile::remove(unit.path(path));
        {
            PowerCutWriter writer(unit.platform(), cut);
            DatabaseStorage storage(unit.platform(), writer, [](const QString&, const QString&) {});
            storage.repairDatabaseFiles();
            storage.selectDatabaseFile();
        }
        PowerCutWriter unlimited(unit.platform());
        Storage next(unit, unlimited);
        next.start();
        QCOMPARE(databaseText(next.storage.document), fresh);
    }
}

VELMO_TEST_MAIN(TestDatabaseStorage)
#include "test_database_storage.moc"
