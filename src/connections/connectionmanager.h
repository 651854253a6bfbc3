#pragma once

#include <QDomNode>
#include <QString>

#include <memory>

class IConnection;
class OsdContext;

// One connect request: checks the network and builds the connection object
// for the connection selected in the list.
class ConnectionManager {
public:
    ConnectionManager(OsdContext& context, const QString& connectionName);

    // True when the network is unusable; messageTitle and messageText then say why.
    bool checkNetwork();
    // Null when no connection has the selected name.
    std::unique_ptr<IConnection> createConnection();

    QString connectionName;
    QString loggedOnUser;
    QString messageTitle;
    QString messageText;

private:
    OsdContext& context;
    QDomNode document;
};
