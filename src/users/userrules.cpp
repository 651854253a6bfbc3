#include "userrules.h"

#include "database/dbnames.h"

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

QDomElement findUser(const QDomDocument& document, const QString& name)
{
    for (QDomElement user = usersSection(document).firstChildElement(QLatin1String(db::User)); !user.isNull();
         user = user.nextSiblingElement(QLatin1String(db::User)))
        if (user.attribute(QLatin1String(db::UserName)) == name)
            return user;
    return QDomElement();
}

QStringList userNames(const QDomDocument& document)
{
    QStringList names;
    for (QDomElement user = usersSection(document).firstChildElement(QLatin1String(db::User)); !user.isNull();
         user = user.nextSiblingElement(QLatin1String(db::User)))
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
    for (QDomElement association = user.firstChildElement(QLatin1String(db::AssociatedConnections));
         !association.isNull();
         association = association.nextSiblingElement(QLatin1String(db::AssociatedConnections))) {
        const QString name = association.attribute(QLatin1String(db::ConnectionName));
        const int slot = name.isEmpty() ? -1 : table.indexOf(name);
        if (slot >= 0 && slot < favoriteSlotCount)
            association.setAttribute(QLatin1String(db::Favorite), QString::number(slot));
        else
            association.removeAttribute(QLatin1String(db::Favorite));
    }
}

QString newUserRefusal(
    const QDomDocument& document, const QString& name, const QString& password, const QString& confirmation)
{
    if (name.isEmpty())
        return QStringLiteral("Blank Username is not valid.");
    if (password != confirmation)
        return QStringLiteral("Password does not match.");
    if (!findUser(document, name).isNull())
        return QStringLiteral("Same Username already exist.");
    return QString();
}

QString editRefusal(const QDomDocument& document, const QString& oldName, const QString& newName)
{
    if (newName.isEmpty())
        return QStringLiteral("Blank Username is not valid.");
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
    // Nobody on record: an empty typed password must not match a missing one.
    if (confirmer.isNull() || typedPassword != confirmer.attribute(QLatin1String(db::Password)))
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
    for (QDomElement child = user.lastChildElement(); !child.isNull();) {
        const QDomElement previous = child.previousSiblingElement();
        if (child.tagName() == QLatin1String(db::AssociatedConnections)
            || child.tagName() == QLatin1String(db::AutoConnect))
            user.removeChild(child);
        child = previous;
    }
    QDomDocument document = user.ownerDocument();
    for (const QString& name : connections) {
        QDomElement association = document.createElement(QLatin1String(db::AssociatedConnections));
        association.setAttribute(QLatin1String(db::ConnectionName), name);
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

} // namespace UserRules
