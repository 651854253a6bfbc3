#pragma once

#include <QByteArray>
#include <QString>

class Platform;

// Writes a whole file so that a power cut leaves either the old or the new
// content: temporary file, sync, rename, sync of the folder. The database and
// GUI files are written only through here, which also lets tests cut a write
// short at any byte.
class DurableWriter {
public:
    explicit DurableWriter(Platform& platform);
    virtual ~DurableWriter() = default;

    // `unitFilePath` is already resolved through Platform::unitPath().
    virtual bool writeFile(const QString& unitFilePath, const QByteArray& content);

private:
    Platform& platform;
};
