#include "connectionmanager.h"

#include "app/mainwindow.h"
#include "connections/iconnection.h"
#include "database/dbnames.h"
#include "platform/platform.h"
#include "rules/networkrules.h"
#include "app/mainwindowform.h"

#include <QListWidget>

ConnectionManager::ConnectionManager(MainWindow* mainWindow)
    : hotKeyNumber(mainWindow->hotKeyNumber())
    , mainWindow(mainWindow)
    , document(mainWindow->document())
{
    if (const QListWidgetItem* item = mainWindow->formFrame().listWidgetVM->currentItem())
        connectionName = item->text();
    loggedOnUser = mainWindow->getLoggedInUser();
    connectionCount = mainWindow->document()
                          .documentElement()
                          .firstChildElement(QLatin1String(db::Connections))
                          .childNodes()
                          .count();
}

bool ConnectionManager::checkNetwork()
{
    const NetworkFacts eth0 = mainWindow->unitPlatform().eth0();
    if (eth0.up)
        return false;
    messageTitle = QStringLiteral("Network Status");
    if (hasLiveAddress(eth0)) {
        messageText = QStringLiteral("Connection failed. Network not found.");
        malvo_syslog(3, "ConnectionManager: Action Connect terminated due to Network is down.\n");
    } else {
        messageText = QStringLiteral("Connection failed. DHCP server not found.");
        malvo_syslog(3, "ConnectionManager: Action Connect terminated due to DHCP server not found..\n");
    }
    return true;
}

std::unique_ptr<IConnection> ConnectionManager::createConnection()
{
    if (connectionName.isEmpty())
        return nullptr;
    const QDomElement connections
        = document.toDocument().documentElement().firstChildElement(QLatin1String(db::Connections));
    for (QDomElement element = connections.firstChildElement(QLatin1String(db::Connection));
         !element.isNull(); element = element.nextSiblingElement(QLatin1String(db::Connection))) {
        if (element.attribute(QLatin1String(db::Name)) == connectionName)
            return connectionFor(element, mainWindow, loggedOnUser);
    }
    return nullptr;
}
