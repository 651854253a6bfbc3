#include "userlookup.h"

#include "database/dbnames.h"

namespace db {

QList<QDomElement> allUsers(const QDomDocument& document)
{
    const QString sectionTag = QLatin1String(Users);
    const QString userTag = QLatin1String(User);
    QList<QDomElement> users;
    for (QDomElement section = document.documentElement().firstChildElement(sectionTag); !section.isNull();
         section = section.nextSiblingElement(sectionTag))
        for (QDomElement user = section.firstChildElement(userTag); !user.isNull();
             user = user.nextSiblingElement(userTag))
            users << user;
    return users;
}

QDomElement findUser(const QDomDocument& document, const QString& name)
{
    const QString nameKey = QLatin1String(UserName);
    for (const QDomElement& user : allUsers(document))
        if (user.attribute(nameKey) == name)
            return user;
    return QDomElement();
}

} // namespace db
