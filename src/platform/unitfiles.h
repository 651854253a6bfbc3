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

// Puts `from` in the place of `to` in one step (rename): whatever stood at
// `to`, a link included, is replaced itself, never followed. False and nothing
// moved when that cannot be done.
bool replaceEntry(const QString& from, const QString& to);

// Removes a file, or a folder with everything in it, naming each entry by the
// bytes it has on disk: names that are not text (not UTF-8) go too. A link is
// unlinked, never followed. 0 on success, -1 on the first failure (nothing
// there is a failure).
int removeEntryTree(const QString& path);
