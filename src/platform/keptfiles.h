#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>

class DurableWriter;
class Platform;

// The unit files a road replaces together, as they were before it: a road
// that fails part-way puts every one back, so nothing it reports failed has
// replaced anything.
class KeptFiles {
public:
    KeptFiles(Platform& platform, std::initializer_list<const char*> unitPaths, qint64 maxBytes);

    // A file that is no longer as it was is written back, one that did not
    // exist is removed; the paths that could not be put back are returned.
    QStringList putBack(DurableWriter& writer) const;

private:
    struct Kept {
        QString path;
        bool existed;
        QByteArray content;
    };
    bool holds(const Kept& kept) const;

    QList<Kept> files;
    qint64 maxBytes;
};
