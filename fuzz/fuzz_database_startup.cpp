// The database start-up on hostile files: the input holds copy A, copy B and
// their checksums, separated by lines "@@@@". Repair, select and load must end
// with a document that parses and both copies matching their checksums.
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

    FuzzPlatform platform;
    FastWriter writer(platform);
    const char* paths[] = { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath, DatabaseStorage::checksumAPath,
        DatabaseStorage::checksumBPath };
    for (int i = 0; i < 4; ++i) {
        // A part that is absent leaves its file missing.
        if (i < parts.size())
            platform.place(QLatin1String(paths[i]), parts.at(i));
    }
    DatabaseStorage storage(platform, writer, [](const QString&, const QString&) {});
    storage.repairDatabaseFiles();
    storage.databasePath = storage.selectDatabaseFile();
    storage.loadDatabaseDocument();
    if (storage.document.documentElement().isNull())
        __builtin_trap(); // the unit would start without a database
    if (!storage.verifyChecksumFile(storage.databasePath))
        __builtin_trap();
    return 0;
}
