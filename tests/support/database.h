#pragma once

#include <QDomDocument>
#include <QString>

class TestUnit;

// The default database (whose "admin" the unit logs on by itself) plus one user
// per privilege, all with password "pw": boss (Administrator), power (Power
// User), plain (User) and aduser (an Administrator whom the directory checks
// when directory log-on is on).
QDomDocument databaseWithUsers();

void addUser(QDomDocument& document, const QString& name, const QString& privilege, bool directory = false);

// A receiver entry with the unit's own address is what makes the unit managed.
void addReceiver(QDomDocument& document, const QString& mac);

// Both copies with their checksums, and the appliance's copy, so that a managed
// unit's pull keeps the same users.
void installDatabase(TestUnit& unit, const QDomDocument& document);
