#include "database.h"

#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "connections/connectiontab.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/userlookup.h"
#include "database/schema.h"
#include "platform/platform.h"
#include "testunit.h"
#include "widgets.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>

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
    const QByteArray sum = checksumLine(text);
    for (const char* copy : { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath })
        unit.writeFile(QLatin1String(copy), text);
    for (const char* checksum : { DatabaseStorage::checksumAPath, DatabaseStorage::checksumBPath })
        unit.writeFile(QLatin1String(checksum), sum);
    unit.writeFile(QStringLiteral("/sim/manager/VelmoData.xml"), text);
}

QDomElement userNamed(const QDomDocument& document, const QString& name)
{
    return db::findUser(document, name);
}

QDomElement connectionNamed(const QDomDocument& document, const QString& name)
{
    QDomElement entry
        = document.documentElement().firstChildElement(db::Connections).firstChildElement(db::Connection);
    while (!entry.isNull() && entry.attribute(db::Name) != name)
        entry = entry.nextSiblingElement(db::Connection);
    return entry;
}

QDomElement addConnection(QDomDocument& document, const QString& name, const QString& attributes)
{
    QDomElement connection = document.createElement(db::Connection);
    connection.setAttribute(db::Name, name);
    for (const QString& pair : attributes.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        connection.setAttribute(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return document.documentElement().firstChildElement(db::Connections).appendChild(connection).toElement();
}

QDomElement associate(
    QDomDocument& document, const QString& user, const QString& connection, const QString& favourite)
{
    QDomElement association = document.createElement(db::AssociatedConnections);
    association.setAttribute(db::ConnectionName, connection);
    if (!favourite.isEmpty())
        association.setAttribute(db::Favorite, favourite);
    return userNamed(document, user).appendChild(association).toElement();
}

QDomElement databaseSection(const QDomDocument& document, const char* name)
{
    return document.documentElement().firstChildElement(QLatin1String(name));
}

QMap<QString, QString> attributeMap(const QDomElement& element)
{
    QMap<QString, QString> all;
    for (int i = 0; i < element.attributes().count(); ++i)
        all.insert(element.attributes().item(i).nodeName(), element.attributes().item(i).nodeValue());
    return all;
}

QByteArray checksumLine(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex() + '\n';
}

OsdWindow::OsdWindow(QDomDocument document, int heads, bool managed)
    : user(std::make_unique<LoggedInUser>())
{
    unit.sim().editSection(
        QStringLiteral("board"), [heads](QJsonObject& board) { board.insert("heads", heads); });
    if (managed)
        addReceiver(document, unit.platform().eth0().hardwareAddress);
    installDatabase(unit, document);
    window = std::make_unique<MainWindow>(unit.platform(), nullptr, user.get());
    window->connectionList().fillConnectionList();
    window->show();
    QCoreApplication::processEvents();
    unit.clearRecords();
}

OsdWindow::~OsdWindow() = default;

QDomDocument OsdWindow::stored() const
{
    QDomDocument document;
    document.setContent(unit.readFile(window->storage().databasePath));
    return document;
}

QStringList OsdWindow::entries() const
{
    QStringList names;
    const auto* list = window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

void OsdWindow::connect(const QString& name)
{
    auto* list = window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
    const auto rows = list->findItems(name, Qt::MatchExactly);
    if (!rows.isEmpty())
        list->setCurrentItem(rows.first());
    window->findChild<QPushButton*>(QStringLiteral("connectButton"))->click();
    QCoreApplication::processEvents();
}

QString OsdWindow::text(const char* name) const
{
    QWidget* widget = child<QWidget>(*window, QLatin1String(name));
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    return qobject_cast<QLabel*>(widget)->text();
}

void OsdWindow::showPage(int index)
{
    auto* pages = child<QStackedWidget>(*window, QStringLiteral("stackedWidget"));
    pages->setCurrentIndex(index == 2 ? 0 : 2);
    pages->setCurrentIndex(index);
}

void OsdWindow::restart()
{
    window.reset();
    window = std::make_unique<MainWindow>(unit.platform(), nullptr, user.get());
    window->show();
    QCoreApplication::processEvents();
}
