#include "database.h"

#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "testunit.h"

#include <QCryptographicHash>

QDomDocument databaseWithUsers()
{
    QDomDocument document = newDatabaseDocument();
    addUser(document, QStringLiteral("boss"), QStringLiteral("Administrator"));
    addUser(document, QStringLiteral("power"), QStringLiteral("Power User"));
    addUser(document, QStringLiteral("plain"), QStringLiteral("User"));
    addUser(document, QStringLiteral("aduser"), QStringLiteral("Administrator"), true);
    return document;
}

void addUser(QDomDocument& document, const QString& name, const QString& privilege, bool directory)
{
    QDomElement user = document.createElement(db::User);
    user.setAttribute(db::UserName, name);
    user.setAttribute(db::Password, QStringLiteral("pw"));
    user.setAttribute(db::Privilege, privilege);
    if (directory)
        user.setAttribute(db::Ad, QStringLiteral("true"));
    document.documentElement().firstChildElement(db::Users).appendChild(user);
}

void addReceiver(QDomDocument& document, const QString& mac)
{
    QDomElement rx = document.createElement(db::Rx);
    rx.setAttribute(db::Mac, mac);
    document.documentElement().firstChildElement(db::RxDevices).appendChild(rx);
}

void installDatabase(TestUnit& unit, const QDomDocument& document)
{
    const QByteArray text = databaseText(document);
    const QByteArray sum = QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex() + '\n';
    for (const char* copy : { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath })
        unit.writeFile(QLatin1String(copy), text);
    for (const char* checksum : { DatabaseStorage::checksumAPath, DatabaseStorage::checksumBPath })
        unit.writeFile(QLatin1String(checksum), sum);
    unit.writeFile(QStringLiteral("/sim/manager/VelmoData.xml"), text);
}
