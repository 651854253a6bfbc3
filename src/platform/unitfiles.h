#pragma once

#include <QFileDevice>
#include <QString>

// Checks and permission changes on the unit's files that never follow a
// symbolic link: /tmp is world-writable and a USB stick or an import may carry
// links, so a link is never taken for the file it points to.

// A regular file (not a link, folder, FIFO or device).
bool isRegularFile(const QString& filePath);
// Anything at all under that name, a dangling link included.
bool entryExists(const QString& filePath);
// Sets the permissions of a regular file; false (and nothing changed) for
// anything else.
bool setRegularFilePermissions(const QString& filePath, QFileDevice::Permissions permissions);
