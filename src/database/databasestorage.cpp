#include "databasestorage.h"

#include "database/databaseprefetch.h"
#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "schema.h"
#include "services/device_services.h"
#include "services/servicetext.h"

#include <QCryptographicHash>
#include <QDebug>

#include <climits>

namespace {

// The largest document a unit holds is a few hundred KiB; anything far beyond
// that is not a database and must not be read into memory.
constexpr qint64 maxDatabaseBytes = maxDatabaseTextBytes;
constexpr qint64 maxChecksumBytes = 4096;
// A copy holds the connections' passwords: the owner's alone.
constexpr QFileDevice::Permissions databasePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ExeOwner;

// A whole file of at most `limit` bytes; false when it cannot be opened or is larger.
bool readWhole(const QString& unitFilePath, qint64 limit, QByteArray& content)
{
    bool truncated = false;
    return readBounded(unitFilePath, limit, &content, &truncated) && !truncated;
}

} // namespace

DatabaseStorage::DatabaseStorage(Platform& platform, DurableWriter& writer, WarningHandler showWarning)
    : platform(platform), writer(writer), showWarning(std::move(showWarning))
{
}

void DatabaseStorage::raise(int& counter)
{
    if (counter < INT_MAX)
        ++counter;
}

QString DatabaseStorage::otherCopy(const QString& path) const
{
    return QLatin1String(path == QLatin1String(copyAPath) ? copyBPath : copyAPath);
}

QString DatabaseStorage::checksumPathFor(const QString& path) const
{
    return QLatin1String(path == QLatin1String(copyAPath) ? checksumAPath : checksumBPath);
}

DatabaseStorage::KnownCopy* DatabaseStorage::knownCopy(const QString& path) const
{
    return path == QLatin1String(copyAPath) ? &knownA : path == QLatin1String(copyBPath) ? &knownB : nullptr;
}

DatabaseStorage::KnownCopy& DatabaseStorage::knownFor(const QString& path, const QByteArray& content) const
{
    KnownCopy* known = knownCopy(path);
    if (!known) {
        scratchCopy = KnownCopy { content, Parse::Unjudged, QByteArray(), QDomDocument() };
        return scratchCopy;
    }
    if (known->content == content)
        return *known;
    // The copies mirror each other: bytes the other copy holds are judged and
    // hashed as they were there. Its parsed tree stays its own.
    const KnownCopy& twin = known == &knownA ? knownB : knownA;
    if (twin.verdict != Parse::Unjudged && twin.content == content)
        *known = KnownCopy { twin.content, twin.verdict, twin.checksum, QDomDocument() }; // one buffer for both
    else
        *known = KnownCopy { content, Parse::Unjudged, QByteArray(), QDomDocument() };
    return *known;
}

QByteArray DatabaseStorage::checksumOf(const QString& path, const QByteArray& content) const
{
    KnownCopy& known = knownFor(path, content);
    if (known.checksum.isEmpty())
        known.checksum = md5Text(content);
    return known.checksum;
}

QByteArray DatabaseStorage::md5Text(const QByteArray& content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + '\n';
}

DatabaseStorage::Parse DatabaseStorage::judge(const QByteArray& bytes, QDomDocument& parsed)
{
    if (!readDatabaseText(bytes, parsed))
        return Parse::Broken;
    return parsed.documentElement().hasChildNodes() ? Parse::Usable : Parse::Childless;
}

DatabaseStorage::KnownCopy DatabaseStorage::judgeFile(const QString& unitFilePath)
{
    KnownCopy known;
    if (!readWhole(unitFilePath, maxDatabaseBytes, known.content))
        return KnownCopy();
    known.verdict = judge(known.content, known.document);
    known.checksum = md5Text(known.content);
    return known;
}

void DatabaseStorage::adopt(DatabasePrefetch& prefetch)
{
    KnownCopy prefetched = prefetch.take();
    if (prefetched.verdict != Parse::Unjudged)
        knownA = std::move(prefetched);
}

DatabaseStorage::Parse DatabaseStorage::writtenVerdict(const QDomDocument& written)
{
    // The text of a document reads back as that document (writableDatabaseText
    // refuses any other), so a section it holds is a section the copy holds.
    // Anything less certain is left to a parse.
    return written.documentElement().firstChildElement().isNull() ? Parse::Unjudged : Parse::Usable;
}

void DatabaseStorage::rememberWritten(const QString& path, const QByteArray& content, Parse verdict,
    const QByteArray& checksum)
{
    if (KnownCopy* known = knownCopy(path))
        *known = KnownCopy { content, verdict, checksum, QDomDocument() };
}

DatabaseStorage::Parse DatabaseStorage::parseFile(const QString& path, QByteArray& bytes, QDomDocument* into)
{
    if (!readWhole(platform.unitPath(path), maxDatabaseBytes, bytes))
        return Parse::Unreadable;
    KnownCopy& known = knownFor(path, bytes);
    if (known.verdict != Parse::Unjudged && (!into || known.verdict == Parse::Broken)) {
        if (into)
            *into = QDomDocument();
        return known.verdict;
    }
    if (into && !known.document.isNull()) {
        // Handed over for changes: the next reader of these bytes parses its own.
        *into = known.document;
        known.document = QDomDocument();
        return known.verdict;
    }
    QDomDocument parsed;
    known.verdict = judge(bytes, parsed);
    if (known.verdict == Parse::Broken) {
        if (into)
            *into = QDomDocument();
        return Parse::Broken;
    }
    if (into)
        *into = parsed;
    else
        known.document = parsed;
    return known.verdict;
}

bool DatabaseStorage::writeUnitFile(const QString& path, const QByteArray& content)
{
    if (knownCopy(path))
        return writer.writeFilePrivately(platform.unitPath(path), content);
    return writer.writeFile(platform.unitPath(path), content);
}

QByteArray DatabaseStorage::checksumText(const QString& path) const
{
    // Hashed only within the bound a copy may have: a link to a device or a
    // giant file hashes as unreadable (empty input) instead of hanging.
    QByteArray content;
    if (!readWhole(platform.unitPath(path), maxDatabaseBytes, content))
        content.clear();
    return checksumOf(path, content);
}

bool DatabaseStorage::isDatabaseFileUsable(const QString& path)
{
    setRegularFilePermissions(platform.unitPath(path), databasePermissions);
    QByteArray bytes;
    const Parse parse = parseFile(path, bytes);
    if (parse == Parse::Unreadable) {
        qDebug().noquote() << QStringLiteral("GUI ") + path + QStringLiteral(" not found");
        return false;
    }
    // A copy cut short by a power loss parses only partly: not usable.
    return parse == Parse::Usable;
}

bool DatabaseStorage::writeChecksumFile(const QString& path)
{
    const QString checksumPath = checksumPathFor(path);
    if (writeUnitFile(checksumPath, checksumText(path)))
        return true;
    malvo_syslog(3, "MainWindow: Can not open file for writing: %s", qPrintable(checksumPath));
    return false;
}

QString DatabaseStorage::checksumFromFile(const QString& path)
{
    malvo_syslog(7, "MainWindow: Function checksumFromFile of file %s", qPrintable(path));
    const QString checksumPath = checksumPathFor(path);
    QByteArray content;
    if (!readBounded(platform.unitPath(checksumPath), maxChecksumBytes, &content)) {
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", qPrintable(checksumPath));
        return QString();
    }
    return QString::fromLatin1(content);
}

bool DatabaseStorage::verifyChecksumFile(const QString& path)
{
    return QString::fromLatin1(checksumText(path)) == checksumFromFile(path);
}

bool DatabaseStorage::copyDatabaseFile(const QString& sourcePath, const QString& targetPath)
{
    QByteArray bytes;
    // An unreadable or broken source would turn the target, possibly the only
    // good copy left, into an empty or partial document. A sound source is
    // copied byte for byte: written again, some text it holds would not parse.
    const Parse parse = parseFile(sourcePath, bytes);
    if (parse != Parse::Usable && parse != Parse::Childless)
        return false;
    if (!writeUnitFile(targetPath, bytes))
        return false;
    rememberWritten(targetPath, bytes, parse, knownFor(sourcePath, bytes).checksum);
    return true;
}

void DatabaseStorage::repairDatabaseFiles()
{
    const auto isFile = [this](const QString& path) { return isRegularFile(platform.unitPath(path)); };
    const bool hasA = isFile(copyAPath);
    const bool hasB = isFile(copyBPath);
    const bool hasChecksumA = isFile(checksumAPath);
    const bool hasChecksumB = isFile(checksumBPath);

    // Plain copies that never replace an existing file.
    const auto copyPlain = [this](const QString& source, const QString& target) {
        QByteArray content;
        if (entryExists(platform.unitPath(target))
            || !readWhole(platform.unitPath(source), maxDatabaseBytes, content))
            return;
        writeUnitFile(target, content);
    };

    if (hasA && !hasChecksumA)
        writeChecksumFile(copyAPath);
    if (hasB && !hasChecksumB)
        writeChecksumFile(copyBPath);
    if (hasA && !hasB) {
        copyPlain(copyAPath, copyBPath);
        copyPlain(checksumAPath, checksumBPath);
    }
    if (hasB && !hasA) {
        copyPlain(copyBPath, copyAPath);
        copyPlain(checksumBPath, checksumAPath);
    }
}

QString DatabaseStorage::selectDatabaseFile()
{
    // Each pass that repairs a copy checks both again; the counters grow with
    // every failing pass, so a copy that cannot be repaired ends in a warning.
    QString result;
    for (;;) {
        bool usableA = isDatabaseFileUsable(copyAPath);
        if (!usableA)
            raise(failCountA);
        bool usableB = isDatabaseFileUsable(copyBPath);
        if (!usableB)
            raise(failCountB);
        if (!usableA && !usableB) {
            createNewDatabase();
            usableA = usableB = true;
        }
        const bool okA = usableA && verifyChecksumFile(copyAPath);
        const bool okB = usableB && verifyChecksumFile(copyBPath);

        if (okA)
            failCountA = 0;
        else
            raise(failCountA);
        if (failCountA != 0)
            malvo_syslog(3, "MainWindow: VelmoDataA.xml is corrupted.\n");
        if (okB)
            failCountB = 0;
        else
            raise(failCountB);
        if (failCountB != 0)
            malvo_syslog(3, "MainWindow: VelmoDataB.xml is corrupted.\n");

        if (!okA && !okB) {
            createNewDatabase();
            result = copyAPath;
            break;
        }
        if (okA && okB) {
            result = copyAPath;
            break;
        }
        if (okA) {
            if (failCountB > 5) {
                showWarning(QStringLiteral("WARNING"), QStringLiteral("Can not create local configuration backup file."));
                result = copyAPath;
                break;
            }
            copyDatabaseFile(copyAPath, copyBPath);
            writeChecksumFile(copyBPath);
            continue;
        }
        if (failCountA > 5) {
            showWarning(QStringLiteral("WARNING"), QStringLiteral("Can not create main local configuration file."));
            result = copyBPath;
            break;
        }
        copyDatabaseFile(copyBPath, copyAPath);
        writeChecksumFile(copyAPath);
    }
    failCountA = 0;
    failCountB = 0;
    return result;
}

void DatabaseStorage::reloadDatabase()
{
    databasePath = selectDatabaseFile();
    loadDatabaseDocument();
}

int DatabaseStorage::pullDatabase(const QString& userName, int mode)
{
    databasePath = selectDatabaseFile();
    mirrorDatabaseFile(databasePath);
    const ServiceText<SU_USER_NAME_LEN> name(userName);
    // Another user's records must never come back for a name the services cannot take.
    if (!name.ok())
        return -1;
    const int result = su_get_xml_db(name.data(), mode);
    if (result == 0)
        reloadDatabase();
    return result;
}

void DatabaseStorage::loadDatabaseDocument()
{
    if (databasePath.isEmpty())
        return;
    QDomDocument loaded;
    QByteArray bytes;
    if (parseFile(databasePath, bytes, &loaded) != Parse::Unreadable)
        document = loaded;
}

void DatabaseStorage::mirrorDatabaseFile(const QString& path)
{
    if (path != copyAPath && path != copyBPath)
        return;
    const QString target = otherCopy(path);
    qDebug().noquote() << (path == copyAPath ? QStringLiteral("copying db_A to db_B.")
                                              : QStringLiteral("copying db_B to db_A."));
    QByteArray bytes;
    Parse parse = parseFile(path, bytes);
    if (parse == Parse::Unreadable)
        parse = parseFile(path, bytes);
    if (parse == Parse::Unreadable)
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", qPrintable(path));
    // The other copy may be the only good one now: never replace it with less.
    if (parse != Parse::Usable && parse != Parse::Childless)
        return;
    if (!writeUnitFile(target, bytes)) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s", qPrintable(target));
        return;
    }
    rememberWritten(target, bytes, parse, knownFor(path, bytes).checksum);
    writeChecksumFile(target);
}

bool DatabaseStorage::saveDatabase()
{
    const QByteArray text = writableDatabaseText(document);
    // A text that would not read back would make the next start discard both
    // copies for a new database: the copy keeps its previous state instead.
    if (text.isEmpty() || text.size() > maxDatabaseBytes) {
        malvo_syslog(3, "MainWindow: Can not write a readable document to %s", qPrintable(databasePath));
        return false;
    }
    if (!writeUnitFile(databasePath, text)) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s", qPrintable(databasePath));
        return false;
    }
    rememberWritten(databasePath, text, writtenVerdict(document));
    // Without its checksum the copy is replaced by the other at the next
    // selection: the change is as lost as if the copy had not been written.
    return writeChecksumFile(databasePath);
}

bool DatabaseStorage::writeCopy(const QString& path, const QDomDocument& written)
{
    const QByteArray text = writableDatabaseText(written);
    // Beyond the read bound the copy would hash as empty and be read as missing.
    if (text.isEmpty() || text.size() > maxDatabaseBytes || !writeUnitFile(path, text))
        return false;
    rememberWritten(path, text, writtenVerdict(written));
    return writeChecksumFile(path) && verifyChecksumFile(path);
}

bool DatabaseStorage::commitOrUndo(const std::function<void(QDomDocument&)>& change, ChangeStart start)
{
    const QDomDocument before = document.cloneNode(true).toDocument();
    if (commitChange(change, start))
        return true;
    document = before;
    return false;
}

bool DatabaseStorage::takeBackChange(const QDomDocument& before)
{
    const QDomDocument changed = document;
    document = before;
    // The copy in use is written back; the other follows it at the next change.
    if (saveDatabase())
        return true;
    malvo_syslog(3, "MainWindow: Can not open file for writing: %s", qPrintable(databasePath));
    // The copy in use still holds the change: memory must not say otherwise.
    document = changed;
    return false;
}

bool DatabaseStorage::commitChange(const std::function<void(QDomDocument&)>& change, ChangeStart start)
{
    if (start == ChangeStart::SelectCopy) {
        databasePath = selectDatabaseFile();
        mirrorDatabaseFile(databasePath);
    } else {
        mirrorDatabaseFile(copyAPath);
    }
    change(document);
    return saveDatabase();
}

bool DatabaseStorage::createNewDatabase(const QDomDocument& fresh)
{
    malvo_syslog(5, "MainWindow: Creating NEW DATABASE.");
    const QByteArray text = databaseText(fresh);
    setRegularFilePermissions(platform.unitPath(copyAPath), databasePermissions);
    setRegularFilePermissions(platform.unitPath(copyBPath), databasePermissions);

    // Each checksum follows only a copy that is durably written.
    bool written = writeUnitFile(copyAPath, text);
    if (!written) {
        malvo_syslog(3, "MainWindow: Can not open file:%s for writing", copyAPath);
    } else {
        rememberWritten(copyAPath, text, writtenVerdict(fresh));
        written = writeUnitFile(checksumAPath, checksumText(copyAPath));
        if (!written)
            malvo_syslog(3, "MainWindow: Can not open file:%s for writing", "checksumA");
    }
    if (!writeUnitFile(copyBPath, text)) {
        malvo_syslog(3, "MainWindow: Fail to write DB copy from A to B");
        return false;
    }
    rememberWritten(copyBPath, text, writtenVerdict(fresh));
    if (!writeUnitFile(checksumBPath, checksumText(copyBPath))) {
        malvo_syslog(3, "MainWindow: Can not open file:%s for writing", "checksumB");
        written = false;
    }
    loadDatabaseDocument();
    return written;
}

void DatabaseStorage::upgradeDatabaseSchema()
{
    if (!upgradeSchema(document))
        return;
    // As every change: the other copy first takes the state on disk before it,
    // so a power cut before the new checksum falls back to that state.
    mirrorDatabaseFile(databasePath);
    saveDatabase();
}
