#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Reads at most `limit` bytes without reserving `limit` up front (a plain
// QIODevice::read(limit) would). `truncated` tells whether more bytes followed.
QByteArray readBounded(QIODevice& device, qint64 limit, bool* truncated = nullptr);

// The same for a file; false when it cannot be opened or is not a regular file
// (a symbolic link, FIFO, device or folder is never read).
bool readBounded(const QString& filePath, qint64 limit, QByteArray* content, bool* truncated = nullptr);
