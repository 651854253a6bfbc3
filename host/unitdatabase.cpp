#include "unitdatabase.h"

#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QSet>
#include <QXmlStreamReader>

namespace {

const char* const copies[][2] = { { "/mnt/perm/VelmoDataA.xml", "/mnt/perm/checksumA" },
    { "/mnt/perm/VelmoDataB.xml", "/mnt/perm/checksumB" } };

QByteArray checksumLine(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex() + '\n';
}

// The unit's own file, written by the OSD; still bounded before the DOM reads
// it, as that reader recurses per level. The stream reader does not.
bool shallow(const QByteArray& text)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > 64)
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return !reader.hasError();
}

} // namespace

bool writeUnitDatabase(Platform& platform, const QByteArray& text)
{
    DurableWriter writer(platform);
    writer.writePrivately();
    for (const auto& copy : copies)
        if (!writer.writeFile(platform.unitPath(QLatin1String(copy[0])), text)
            || !writer.writeFile(platform.unitPath(QLatin1String(copy[1])), checksumLine(text)))
            return false;
    return true;
}

QByteArray readUnitDatabase(Platform& platform)
{
    for (const auto& copy : copies) {
        QByteArray text;
        QByteArray checksum;
        bool truncated = false;
        if (readBounded(platform.unitPath(QLatin1String(copy[0])), maxUnitDatabaseBytes, &text, &truncated)
            && !truncated && readBounded(platform.unitPath(QLatin1String(copy[1])), 4096, &checksum)
            && checksum.trimmed() == checksumLine(text).trimmed())
            return text;
    }
    return QByteArray();
}

bool enrolDirectoryUser(QByteArray* text, const QString& name, const QString& privilege,
    const std::optional<QStringList>& connections, QString* fault)
{
    QDomDocument document;
    if (!shallow(*text) || !document.setContent(*text)
        || document.documentElement().firstChildElement(QStringLiteral("Users")).isNull()) {
        *fault = QStringLiteral("the unit's database cannot be read");
        return false;
    }
    const QDomElement root = document.documentElement();
    QDomElement user;
    for (QDomElement users = root.firstChildElement(QStringLiteral("Users")); !users.isNull() && user.isNull();
         users = users.nextSiblingElement(QStringLiteral("Users")))
        for (QDomElement each = users.firstChildElement(QStringLiteral("User")); !each.isNull();
             each = each.nextSiblingElement(QStringLiteral("User")))
            if (each.attribute(QStringLiteral("User_Name")) == name) {
                user = each;
                break;
            }
    if (!user.isNull() && user.attribute(QStringLiteral("AD")) != QLatin1String("true")) {
        *fault = QStringLiteral("a local user has that name");
        return false;
    }
    if (user.isNull()) {
        user = document.createElement(QStringLiteral("User"));
        user.setAttribute(QStringLiteral("User_Name"), name);
        root.firstChildElement(QStringLiteral("Users")).appendChild(user);
    }
    user.setAttribute(QStringLiteral("AD"), QStringLiteral("true"));
    user.setAttribute(QStringLiteral("Privilege"), privilege);
    user.removeAttribute(QStringLiteral("Password"));

    if (connections) {
        QSet<QString> known;
        for (QDomElement list = root.firstChildElement(QStringLiteral("Connections")); !list.isNull();
             list = list.nextSiblingElement(QStringLiteral("Connections")))
            for (QDomElement each = list.firstChildElement(QStringLiteral("Connection")); !each.isNull();
                 each = each.nextSiblingElement(QStringLiteral("Connection")))
                known.insert(each.attribute(QStringLiteral("Name")));
        QSet<QString> wanted;
        for (const QString& connection : *connections)
            if (known.contains(connection))
                wanted.insert(connection);
        for (QDomElement each = user.firstChildElement(QStringLiteral("Associated_connections")); !each.isNull();) {
            const QDomElement next = each.nextSiblingElement(QStringLiteral("Associated_connections"));
            if (!wanted.remove(each.attribute(QStringLiteral("Connection_Name"))))
                user.removeChild(each);
            each = next;
        }
        for (const QString& connection : *connections)
            if (wanted.remove(connection)) {
                QDomElement association = document.createElement(QStringLiteral("Associated_connections"));
                association.setAttribute(QStringLiteral("Connection_Name"), connection);
                user.appendChild(association);
            }
    }
    *text = document.toByteArray(4);
    return true;
}
