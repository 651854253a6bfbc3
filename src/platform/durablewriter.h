#pragma once

#include <QByteArray>
#include <QString>

class Platform;

// Writes a whole file so that a power cut leaves either the old or the new
// content: temporary file, sync, rename, sync of the folder. The database and
// GUI files are written only through here, which also lets tests cut a write
// short at any byte. A symbolic link in the file's place is replaced by the
// file, never written through.
class DurableWriter {
public:
    explicit DurableWriter(Platform& platform);
    virtual ~DurableWriter() = default;

    // `unitFilePath` is already resolved through Platform::unitPath(). True only
    // when every byte reached the disk and the file is in place.
    virtual bool writeFile(const QString& unitFilePath, const QByteArray& content);

    // Files written from now on are readable by their owner alone, also where
    // they replace a file others could read.
    void writePrivately() { privateFiles = true; }
    // writeFile() for this one file, readable by its owner alone.
    bool writeFilePrivately(const QString& unitFilePath, const QByteArray& content)
    {
        const bool before = privateFiles;
        privateFiles = true;
        const bool written = writeFile(unitFilePath, content);
        privateFiles = before;
        return written;
    }

private:
    Platform& platform;
    bool privateFiles = false;
};

// Writes into the device or pipe at `path`, through links, never creating or
// replacing a file. False, with `reason`, for anything else and for a pipe
// nobody reads from, which would wait for ever.
bool writeIntoStream(const QString& path, const QByteArray& content, QString* reason);
