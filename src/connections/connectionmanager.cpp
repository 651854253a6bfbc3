#include "connectionmanager.h"

#include "app/osdcontext.h"
#include "connections/iconnection.h"
#include "database/dbnames.h"
#include "platform/platform.h"
#include "rules/networkrules.h"
#include "services/device_services.h"

ConnectionManager::ConnectionManager(OsdContext& context, const QString& connectionName)
    : connectionName(connectionName)
    , loggedOnUser(context.loggedInUser())
    , context(context)
    , document(context.document())
{
}

bool ConnectionManager::checkNetwork()
{
    const NetworkFacts eth0 = context.platform().eth0();
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
            return connectionFor(element, context, loggedOnUser);
    }
    return nullptr;
}
