// The database start-up on hostile files: the input holds copy A, copy B and
// their checksums, separated by lines "@@@@". Repair, select and load must end
// with a document that parses and both copies matching their checksums, and a
// start that took copy A as read ahead must end exactly as one that did not.
#include "database/databaseprefetch.h"
#include "database/databasestorage.h"
#include "database/schema.h"
#include "fuzzunit.h"

#include <QHashFunctions>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool seeded = (qSetGlobalQHashSeed(0), true);
    (void)seeded;
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    QList<QByteArray> parts;
    int from = 0;
    for (int at; parts.size() < 3 && (at = input.indexOf("\n@@@@\n", from)) >= 0; from = at + 6)
        parts << input.mid(from, at - from);
    parts << input.mid(from);

    struct Start {
        QString path;
        QByteArray document;
        QList<QByteArray> files;
    };
    const char* paths[] = { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath,
        DatabaseStorage::checksumAPath, DatabaseStorage::checksumBPath };
    const auto start = [&](bool prefetched) {
        FuzzPlatform platform;
        FastWriter writer(platform);
        for (int i = 0; i < 4; ++i) {
            // A part that is absent leaves its file missing.
            if (i < parts.size())
                platform.place(QLatin1String(paths[i]), parts.at(i));
        }
        DatabaseStorage storage(platform, writer, [](const QString&, const QString&) {});
        DatabasePrefetch prefetch(platform);
        if (prefetched) {
            prefetch.run();
            storage.adopt(prefetch);
        }
        storage.repairDatabaseFiles();
        storage.databasePath = storage.selectDatabaseFile();
        storage.loadDatabaseDocument();
        if (storage.document.documentElement().isNull())
            __builtin_trap(); // the unit would start without a database
        if (!storage.verifyChecksumFile(storage.databasePath))
            __builtin_trap();
        Start result { storage.databasePath, storage.document.toByteArray(), {} };
        for (const char* path : paths) {
            QFile file(platform.unitPath(QLatin1String(path)));
            result.files << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)"));
        }
        return result;
    };
    const Start plain = start(false);
    const Start prefetched = start(true);
    if (plain.path != prefetched.path || plain.document != prefetched.document
        || plain.files != prefetched.files)
        __builtin_trap();
    return 0;
}
