#include "databaseprefetch.h"

#include "platform/freememory.h"
#include "platform/platform.h"

#include <QFileInfo>

namespace {

constexpr qint64 maxHeapReserve = 32 * 1024 * 1024;

} // namespace

DatabasePrefetch::DatabasePrefetch(const Platform& platform)
    : file(platform.unitPath(QLatin1String(DatabaseStorage::copyAPath)))
    , done(result.get_future())
{
}

void DatabasePrefetch::run()
{
    // The parsed tree takes some twenty times the text's size, node by node.
    const qint64 size = QFileInfo(file).size();
    reserveThreadHeap(static_cast<std::size_t>(qBound<qint64>(0, size * 20, maxHeapReserve)));
    result.set_value(DatabaseStorage::judgeFile(file));
}

DatabaseStorage::KnownCopy DatabasePrefetch::take()
{
    return done.valid() ? done.get() : DatabaseStorage::KnownCopy();
}
