#pragma once
// The unit's services that hand the OSD a database (a pull from the
// management appliance, a directory user put into it) write both copies and
// their checksums as the OSD's storage does: each copy whole and durable
// before its checksum, and readable by its owner alone, as a copy holds the
// connections' passwords.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class Platform;

// A database larger than this is not read.
constexpr qint64 maxUnitDatabaseBytes = 16 * 1024 * 1024;

bool writeUnitDatabase(Platform& platform, const QByteArray& text);

// The copy the OSD would start from: A when its checksum matches, else B;
// empty when neither does.
QByteArray readUnitDatabase(Platform& platform);

// Puts a directory user into the database text: "AD" "true", no password, the
// privilege, and, when `connections` is given, exactly those of the database's
// connections as theirs (favourite slots of kept ones stay). A local user of
// that name is never turned into a directory user. False, with `fault`, when
// nothing was changed.
bool enrolDirectoryUser(QByteArray* text, const QString& name, const QString& privilege,
    const std::optional<QStringList>& connections, QString* fault);
