#pragma once
// The directory services of the simulated unit when its state's "directory"
// "backend" is "ldap": a real directory, found through the unit's settings
// file "/mnt/perm/directory.conf".

#include <QString>
#include <stddef.h>

class SimUnit;

bool directoryIsLdap(SimUnit* unit);
int ldapLogin(SimUnit* unit, const QString& user, const QByteArray& password, char* session, size_t sessionSize);
int ldapAuthStatus(SimUnit* unit, const QString& user);
int ldapAuthComplete(SimUnit* unit, const QString& user, const QString& session);
// Puts the person the directory just bound into the unit's database.
int ldapUserDatabase(SimUnit* unit, const QString& user);
