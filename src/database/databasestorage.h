#pragma once

#include "database/schema.h"

#include <QDomDocument>
#include <QString>
#include <functional>

class DatabasePrefetch;
class DurableWriter;
class Platform;

// The database document in two checksummed copies: which copy is in use, how a
// damaged copy is rebuilt from the other, and the order of writes for a change,
// so that a power cut at any moment leaves one usable copy.
class DatabaseStorage {
public:
    using WarningHandler = std::function<void(const QString& title, const QString& text)>;

    static constexpr char copyAPath[] = "/mnt/perm/VelmoDataA.xml";
    static constexpr char copyBPath[] = "/mnt/perm/VelmoDataB.xml";
    static constexpr char checksumAPath[] = "/mnt/perm/checksumA";
    static constexpr char checksumBPath[] = "/mnt/perm/checksumB";

    DatabaseStorage(Platform& platform, DurableWriter& writer, WarningHandler showWarning);

    QDomDocument document;
    QString databasePath;
    int failCountA = 0;
    int failCountB = 0;

    void repairDatabaseFiles();
    QString selectDatabaseFile();
    void loadDatabaseDocument();
    // Re-selects the copy in use and reloads the document from it.
    void reloadDatabase();
    // Refreshes both copies, asks the management appliance for its database
    // (su_get_xml_db) and reloads on success; returns the service's result.
    int pullDatabase(const QString& userName, int mode);
    void mirrorDatabaseFile(const QString& path);
    bool saveDatabase();
    // True only when both copies and both checksums are written.
    bool createNewDatabase(const QDomDocument& fresh = newDatabaseDocument());
    // Brings an older document up to date and stores it in the copy in use.
    void upgradeDatabaseSchema();

    // Copy A as it was read and judged while the application started; waits
    // for that work. Used only while copy A still holds those bytes.
    void adopt(DatabasePrefetch& prefetch);

    bool isDatabaseFileUsable(const QString& path);
    bool writeChecksumFile(const QString& path);
    QString checksumFromFile(const QString& path);
    bool verifyChecksumFile(const QString& path);
    bool copyDatabaseFile(const QString& sourcePath, const QString& targetPath);

    // The write protocol of a change: select the copy in use, refresh the other
    // copy from it, apply the change in memory, save. The connection editor
    // mirrors copy A without selecting first.
    enum class ChangeStart { SelectCopy, MirrorCopyA };
    bool commitChange(const std::function<void(QDomDocument&)>& change,
                      ChangeStart start = ChangeStart::SelectCopy);
    // commitChange(), and a change that cannot be stored is taken back in
    // memory too: kept only there, it would reach the disk with another save.
    bool commitOrUndo(const std::function<void(QDomDocument&)>& change,
                      ChangeStart start = ChangeStart::SelectCopy);
    // Puts back the document as it was before a stored change whose companion
    // write failed, so the database agrees with what was written beside it.
    // False when the database keeps the change; memory then keeps it too.
    bool takeBackChange(const QDomDocument& before);

    // Writes `written` as the copy at `path`, then its checksum; true only when
    // both reached the disk and agree. A copy whose checksum could not follow
    // is rebuilt from the other copy at the next selection.
    bool writeCopy(const QString& path, const QDomDocument& written);

    // The checksum text of a file: MD5 in lower-case hex and a line feed.
    QByteArray checksumText(const QString& path) const;

private:
    friend class DatabasePrefetch;
    QString otherCopy(const QString& path) const;
    QString checksumPathFor(const QString& path) const;
    // What a copy's bytes are: Childless parses but holds no section (a copy
    // cut short after its root); only Usable may be selected. Unjudged is
    // never a result, only what is known of bytes not parsed yet.
    enum class Parse { Unjudged, Unreadable, Broken, Childless, Usable };
    // Reads the copy and judges its bytes, parsing only bytes not judged before.
    // `into`, when given, receives a document of its own for changes.
    Parse parseFile(const QString& path, QByteArray& bytes, QDomDocument* into = nullptr);
    bool writeUnitFile(const QString& path, const QByteArray& content);
    static void raise(int& counter);

    // The last bytes read from or written to a copy, with what is known of
    // them, so the same bytes are neither parsed nor hashed twice.
    struct KnownCopy {
        QByteArray content;
        Parse verdict = Parse::Unjudged;
        QByteArray checksum; // empty until hashed
        QDomDocument document; // a parse nobody holds yet; handed over once
    };
    // A file's bytes judged and hashed on their own; Unjudged when unreadable.
    static KnownCopy judgeFile(const QString& unitFilePath);
    static Parse judge(const QByteArray& bytes, QDomDocument& parsed);
    static QByteArray md5Text(const QByteArray& content);
    KnownCopy* knownCopy(const QString& path) const;
    KnownCopy& knownFor(const QString& path, const QByteArray& content) const;
    QByteArray checksumOf(const QString& path, const QByteArray& content) const;
    void rememberWritten(const QString& path, const QByteArray& content, Parse verdict,
                         const QByteArray& checksum = QByteArray());
    static Parse writtenVerdict(const QDomDocument& written);
    mutable KnownCopy knownA;
    mutable KnownCopy knownB;
    mutable KnownCopy scratchCopy; // any other path: never reused

    Platform& platform;
    DurableWriter& writer;
    WarningHandler showWarning;
};
