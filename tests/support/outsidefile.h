#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A file elsewhere on the unit that a hostile entry (a link planted in a unit
// folder) points at: every road must leave its content and mode as they were.
class OutsideFile {
public:
    OutsideFile();
    QString path() const { return dir.filePath(QStringLiteral("victim")); }
    bool unchanged() const;

    // What can stand at `filePath` instead of a file; whatever was there goes.
    enum class Entry { LinkHere, Fifo, LinkToEndlessDevice };
    bool plant(const QString& filePath, Entry entry) const;

private:
    QTemporaryDir dir;
};
