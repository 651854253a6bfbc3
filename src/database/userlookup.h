#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

namespace db {

// Every user of every `Users` section, in document order. A provided or
// imported database may hold more than one section, and the log-on takes
// users from all of them: so does every look-up and walk of users.
QList<QDomElement> allUsers(const QDomDocument& document);
// The first user with exactly that name; null when there is none.
QDomElement findUser(const QDomDocument& document, const QString& name);

} // namespace db
