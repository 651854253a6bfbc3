// An upgrade package's software map, as a package on a stick prints it: any
// bytes must read into a record of terminated, bounded values, judge without
// a crash, and never name a release folder outside /usr/local.
#include "fuzzunit.h"
#include "rules/lsmdata.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    FuzzPlatform platform;
    platform.place(QLatin1String(lsmTokenFile), input);
    const QByteArray file = QFile::encodeName(platform.unitPath(QLatin1String(lsmTokenFile)));

    struct {
        char value[lsmValueSize];
        char canary[8];
    } guarded;
    std::memset(&guarded, 'C', sizeof guarded);
    for (const char* token : { "Software-Version", "Package-1", "Package-2", "Board Brand", "Upgrade-Format", "Begin3" }) {
        const int fromFile = getTokenFromlsmFile(token, file.constData(), guarded.value);
        if (input.size() <= 4096 && fromFile != lsmTokenFromText(input, token, guarded.value))
            __builtin_trap(); // the file and the text must read alike
        if (std::memcmp(guarded.canary, "CCCCCCCC", sizeof guarded.canary) != 0)
            __builtin_trap(); // a value never runs past its buffer
    }

    LsmData record = defaultLsmData();
    lsmTokenFromText(input, "Package-1", record.package1);
    lsmTokenFromText(input, "Package-2", record.package2);
    lsmTokenFromText(input, "Upgrade-Format", record.upgradeFormat);
    lsmTokenFromText(input, "Board Brand", record.boardBrand);
    lsmTokenFromText(input, "Software-Version", record.softwareVersionRaw);
    readCompatibilityPackages(platform.unitPath(QLatin1String(lsmTokenFile)), &record);
    compatibilityOutcome(QStringLiteral("V3.0.2"), 5, QStringLiteral("TLX"), QStringLiteral("QV"), record);

    const QString folder = releaseVersionComponent(record.softwareVersionRaw);
    if (folder.contains(QLatin1Char('/')) || folder == QLatin1String("..") || folder.startsWith(QLatin1Char('.')))
        __builtin_trap();
    return 0;
}
