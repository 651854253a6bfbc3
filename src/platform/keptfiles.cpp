#include "keptfiles.h"

#include "boundedread.h"
#include "durablewriter.h"
#include "platform.h"
#include "unitfiles.h"

#include <QFile>

KeptFiles::KeptFiles(Platform& platform, std::initializer_list<const char*> unitPaths, qint64 maxBytes)
    : maxBytes(maxBytes)
{
    for (const char* unitPath : unitPaths) {
        Kept kept { platform.unitPath(QLatin1String(unitPath)), false, QByteArray() };
        kept.existed = entryExists(kept.path);
        bool truncated = false;
        // What cannot be read whole cannot be put back: it is left alone.
        if (!kept.existed || (readBounded(kept.path, maxBytes, &kept.content, &truncated) && !truncated))
            files << kept;
    }
}

bool KeptFiles::holds(const Kept& kept) const
{
    QByteArray now;
    bool truncated = false;
    return readBounded(kept.path, maxBytes, &now, &truncated) && !truncated && now == kept.content;
}

QStringList KeptFiles::putBack(DurableWriter& writer) const
{
    QStringList failed;
    for (const Kept& kept : files) {
        if (kept.existed ? holds(kept) : !entryExists(kept.path))
            continue;
        if (kept.existed ? !writer.writeFile(kept.path, kept.content) : !QFile::remove(kept.path))
            failed << kept.path;
    }
    return failed;
}
