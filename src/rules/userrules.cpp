#include "userrules.h"

#include "database/dbnames.h"
#include "database/namerule.h"
#include "services/servicetext.h"

namespace UserRules {

const char protectedUser[] = "admin";

QStringList privileges()
{
    return { QStringLiteral("User"), QStringLiteral("Power User"), QStringLiteral("Administrator") };
}

QDomElement usersSection(const QDomDocument& document)
{
    return document.documentElement().firstChildElement(QLatin1String(db::Users));
}

QStringList userNames(const QDomDocument& document)
{
    QStringList names;
    for (const QDomElement& user : allUsers(document))
        names << user.attribute(QLatin1String(db::UserName));
    return names;
}

int favoriteSlot(const QString& value)
{
    // Leading zeros are allowed; whatever is left must be at most one digit,
    // so no number is ever built that could overflow.
    int digit = 0;
    int significant = 0;
    for (const QChar c : value) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        if (significant == 0 && c == QLatin1Char('0'))
            continue;
        if (++significant > 1)
            return -1;
        digit = c.unicode() - '0';
    }
    return value.isEmpty() ? -1 : digit;
}

QStringList favoritesOf(const QDomElement& user)
{
    QStringList table;
    for (int i = 0; i < favoriteSlotCount; ++i)
        table << QString();
    for (QDomElement association = user.firstChildElement(QLatin1String(db::AssociatedConnections));
         !association.isNull();
         association = association.nextSiblingElement(QLatin1String(db::AssociatedConnections))) {
        const int slot = favoriteSlot(association.attribute(QLatin1String(db::Favorite)));
        if (slot >= 0)
            table[slot] = association.attribute(QLatin1String(db::ConnectionName));
    }
    return table;
}

QStringList keepSelected(const QStringList& table, const QStringList& connections)
{
    QStringList kept;
    for (int i = 0; i < favoriteSlotCount; ++i) {
        const QString name = table.value(i);
        kept << (connections.contains(name) ? name : QString());
    }
    return kept;
}

void storeFavorites(QDomElement user, const QStringList& table)
{
    bool taken[favoriteSlotCount] = {};
    for (QDomElement association = user.firstChildElement(QLatin1String(db::AssociatedConnections));
         !association.isNull();
         association = association.nextSiblingElement(QLatin1String(db::AssociatedConnections))) {
        const QString name = association.attribute(QLatin1String(db::ConnectionName));
        int slot = -1;
        for (int i = 0; i < favoriteSlotCount && slot < 0 && !name.isEmpty(); ++i)
            if (!taken[i] && table.value(i) == name)
                slot = i;
        if (slot >= 0) {
            taken[slot] = true;
            association.setAttribute(QLatin1String(db::Favorite), QString::number(slot));
        } else {
            association.removeAttribute(QLatin1String(db::Favorite));
        }
    }
}

QString nameRefusal(const QString& name)
{
    switch (nameFault(name)) {
    case NameFault::None:
        return QString();
    case NameFault::Empty:
        return QStringLiteral("Blank Username is not valid.");
    case NameFault::Blanks:
        return QStringLiteral("Username cannot begin or end with a blank or contain control characters.");
    case NameFault::NotLatin1:
        return QStringLiteral("Username can only contain Latin-1 characters.");
    case NameFault::TooLong:
        return QStringLiteral("Username cannot be longer than 32 characters.");
    }
    return QString();
}

QString newUserRefusal(
    const QDomDocument& document, const QString& name, const QString& password, const QString& confirmation)
{
    const QString refusal = nameRefusal(name);
    if (!refusal.isEmpty())
        return refusal;
    if (password != confirmation)
        return QStringLiteral("Password does not match.");
    if (!findUser(document, name).isNull())
        return QStringLiteral("Same Username already exist.");
    return QString();
}

QString editRefusal(const QDomDocument& document, const QString& oldName, const QString& newName)
{
    // A stored name the rule would refuse today may stay as it is.
    const QString refusal = newName == oldName ? QString() : nameRefusal(newName);
    if (!refusal.isEmpty())
        return refusal;
    bool editedSeen = false;
    for (const QString& name : userNames(document)) {
        if (name == oldName && !editedSeen) {
            editedSeen = true;
            continue;
        }
        if (name == newName)
            return editedSeen ? QStringLiteral("Same User name already exist.")
                              : QStringLiteral("Same Username already exist.");
    }
    return QString();
}

QString passwordRefusal(const QDomElement& confirmer, const QString& typedPassword,
    const QString& newPassword, const QString& confirmation)
{
    // Nobody on record, or a directory user without a stored password: an empty
    // field must not match a missing one.
    if (confirmer.isNull() || typedPassword.isEmpty()
        || typedPassword != confirmer.attribute(QLatin1String(db::Password)))
        return QStringLiteral("Your entered password is incorrect.");
    if (newPassword != confirmation)
        return QStringLiteral("New password does not match.");
    return QString();
}

QString removalRefusal(const QString& name, const QString& loggedOnUser)
{
    if (name == QLatin1String(protectedUser))
        return QStringLiteral("User \"") + name + QStringLiteral("\" is protected and can not be removed.");
    if (name == loggedOnUser)
        return QStringLiteral("User ") + name
            + QStringLiteral(" is currently logged in and can not be removed.");
    return QString();
}

void setConnections(QDomElement user, const QStringList& connections, const QString& autoConnect)
{
    // Taken out in document order, so that two associations of one connection
    // go back as the two they were.
    QList<QDomElement> kept;
    for (QDomElement child = user.firstChildElement(); !child.isNull();) {
        const QDomElement next = child.nextSiblingElement();
        if (child.tagName() == QLatin1String(db::AssociatedConnections))
            kept << child;
        if (child.tagName() == QLatin1String(db::AssociatedConnections)
            || child.tagName() == QLatin1String(db::AutoConnect))
            user.removeChild(child);
        child = next;
    }
    QDomDocument document = user.ownerDocument();
    for (const QString& name : connections) {
        QDomElement association;
        for (int i = 0; i < kept.size() && association.isNull(); ++i)
            if (kept[i].attribute(QLatin1String(db::ConnectionName)) == name)
                association = kept.takeAt(i);
        if (association.isNull()) {
            association = document.createElement(QLatin1String(db::AssociatedConnections));
            association.setAttribute(QLatin1String(db::ConnectionName), name);
        }
        user.appendChild(association);
    }
    if (!autoConnect.isEmpty()) {
        QDomElement automatic = document.createElement(QLatin1String(db::AutoConnect));
        automatic.setAttribute(QLatin1String(db::AutoConnectName), autoConnect);
        user.appendChild(automatic);
    }
}

QStringList connectionsOf(const QDomElement& user)
{
    QStringList names;
    for (QDomElement association = user.firstChildElement(QLatin1String(db::AssociatedConnections));
         !association.isNull();
         association = association.nextSiblingElement(QLatin1String(db::AssociatedConnections)))
        names << association.attribute(QLatin1String(db::ConnectionName));
    return names;
}

QString autoConnectOf(const QDomElement& user)
{
    return user.firstChildElement(QLatin1String(db::AutoConnect))
        .attribute(QLatin1String(db::AutoConnectName));
}

bool admittedInSafeMode(const QDomElement& user)
{
    return user.attribute(QLatin1String(db::Privilege)) == QLatin1String("Administrator");
}

LocalLogon localLogon(
    const QDomDocument& document, const QString& name, const QString& password, bool safeMode)
{
    const QDomElement entry = findUser(document, name);
    if (entry.isNull())
        return LocalLogon::AskDirectory;
    const bool passwordMatches = entry.attribute(QLatin1String(db::Password)) == password;
    if (safeMode) {
        if (!passwordMatches)
            return LocalLogon::SafeModeWrongPassword;
        return admittedInSafeMode(entry) ? LocalLogon::Accepted : LocalLogon::SafeModeNotAdministrator;
    }
    // A directory user's local password never counts.
    if (entry.attribute(QLatin1String(db::Ad)) == QLatin1String("true"))
        return LocalLogon::AskDirectory;
    return passwordMatches ? LocalLogon::Accepted : LocalLogon::Refused;
}

} // namespace UserRules
