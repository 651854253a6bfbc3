#pragma once

#include <QByteArray>
#include <QString>

class Platform;

// The USB memory device at "/mnt/usb", as the mount table shows it.

// Whether some line of the mount table mounts something at "/mnt/usb".
bool mountTableHasUsb(const QByteArray& mounts);
// Reads "/proc/mounts"; false when it cannot be read.
bool readMountTable(Platform& platform, QByteArray* mounts);
// Whether "/mnt/usb" is mounted now; false also when the table is unreadable.
bool isUsbMounted(Platform& platform);

enum class UsbMount { TableUnreadable, NotMounted, Mounted };
// Mounts the stick afresh (a lazy unmount first, then the waits the unit
// needs); nothing is run when the mount table cannot be read.
UsbMount remountUsb(Platform& platform);

// Programs of the unit run on these roads, by absolute path.
namespace UnitPrograms {
extern const char mount[];
extern const char umount[];
extern const char cp[];
extern const char rm[];
extern const char sync[];
extern const char flashLed[];
} // namespace UnitPrograms

// Copies a unit file to `target` (a unit path on the stick) with "cp" and two
// arguments; true only when all of it arrived. A part-written copy is removed,
// so it cannot pass for the whole file later.
bool copyWholeFile(Platform& platform, const QString& source, const QString& target);

// Removes a file or folder tree without following links: a link is unlinked,
// never entered. 0 on success, -1 on the first failure.
int removeTree(const QString& path);
// Removes what the shell pattern `folder` + "/" + `prefix` + "*" names.
void removeMatching(Platform& platform, const QString& unitFolder, const QString& prefix);
