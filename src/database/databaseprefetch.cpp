#include "databaseprefetch.h"

#include "platform/platform.h"

DatabasePrefetch::DatabasePrefetch(const Platform& platform)
    : file(platform.unitPath(QLatin1String(DatabaseStorage::copyAPath)))
    , done(result.get_future())
{
}

void DatabasePrefetch::run()
{
    result.set_value(DatabaseStorage::judgeFile(file));
}

DatabaseStorage::KnownCopy DatabasePrefetch::take()
{
    return done.valid() ? done.get() : DatabaseStorage::KnownCopy();
}
