#pragma once

#include <QDomDocument>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

#include "rules/unitsettings.h"
#include "testunit.h"

class MainWindow;
struct LoggedInUser;

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

class QDomElement;

// The element of the user / connection with that name; null when there is none.
QDomElement userNamed(const QDomDocument& document, const QString& name);
QDomElement connectionNamed(const QDomDocument& document, const QString& name);

// A connection "Key=Value;Key=Value" appended to the list.
QDomElement addConnection(QDomDocument& document, const QString& name, const QString& attributes = QString());
// Lets `user` use `connection`, in favourite slot `favourite` when it is not empty.
QDomElement associate(QDomDocument& document, const QString& user, const QString& connection,
    const QString& favourite = QString());

// The document's section `name`.
QDomElement databaseSection(const QDomDocument& document, const char* name);
QMap<QString, QString> attributeMap(const QDomElement& element);
// What a checksum file holds for `bytes`.
QByteArray checksumLine(const QByteArray& bytes);

// A shown main window over `document` on a unit with `heads` screen heads, its
// admin logged on by itself; the unit is managed when `managed`. The records of
// the start-up are cleared.
struct OsdWindow {
    explicit OsdWindow(QDomDocument document, int heads = 1, bool managed = false);
    ~OsdWindow();
    QDomDocument stored() const; // the copy in use, as it is on disk
    QStringList entries() const; // the connection list as shown
    void connect(const QString& name); // selects it in the list and presses Connect
    QString text(const char* name) const; // of the line edit or label so named
    void showPage(int index); // the Control page `index`, filled afresh as when opened
    void restart(); // a new main window on the same unit

    TestUnit unit;
    std::unique_ptr<LoggedInUser> user;
    std::unique_ptr<MainWindow> window;
};
