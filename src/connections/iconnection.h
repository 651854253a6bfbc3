#pragma once

#include <QDomElement>
#include <QString>

#include <initializer_list>
#include <memory>

class OsdContext;

// One start of one connection element: the subclass hands the element's fields
// to the unit's session launcher that runs that kind of session.
class IConnection {
public:
    explicit IConnection(const QDomElement& element);
    virtual bool launch() = 0;
    virtual ~IConnection();

    // Why launch() did not start anything, for the user; empty when the
    // launcher itself refused (the launcher reports that on its own).
    QString refusal() const { return refusalText; }

protected:
    QString field(const char* attribute) const;
    bool holds(const char* attribute, const char* value) const;
    // False, with the refusal said, when a launcher would get one of these
    // values altered.
    bool carries(std::initializer_list<const char*> attributes);
    // The RDP launcher over this element's fields.
    bool launchRdp(const QString& loggedOnUser);

    QDomElement element;
    const QString scriptPath = QStringLiteral("/tmp/startapp.sh");
    QString refusalText;
};

// RDP session to a virtual machine.
class ConnectionVM : public IConnection {
public:
    ConnectionVM(const QDomElement& element, const QString& loggedOnUser);
    bool launch() override;
    ~ConnectionVM() override;

private:
    QString loggedOnUser;
};

// KVM link through a transmitter unit.
class ConnectionViaTX : public IConnection {
public:
    ConnectionViaTX(const QDomElement& element, OsdContext& context);
    bool launch() override;
    ~ConnectionViaTX() override;

private:
    OsdContext& context;
};

// KVM link to a plain KVM target.
class ConnectionKVM : public IConnection {
public:
    ConnectionKVM(const QDomElement& element, OsdContext& context);
    bool launch() override;
    ~ConnectionKVM() override;

private:
    OsdContext& context;
};

class ConnectionHorizon : public IConnection {
public:
    explicit ConnectionHorizon(const QDomElement& element);
    bool launch() override;
    ~ConnectionHorizon() override;
};

class ConnectionSSH : public IConnection {
public:
    explicit ConnectionSSH(const QDomElement& element);
    bool launch() override;
    ~ConnectionSSH() override;
};

class ConnectionVNC : public IConnection {
public:
    explicit ConnectionVNC(const QDomElement& element);
    bool launch() override;
    ~ConnectionVNC() override;
};

// A virtual-desktop pool. The unit has no pool launcher: a pool with an
// address is started as an RDP session to that address (the pool host hands
// out the desktop); a pool without one cannot be started and says so.
class ConnectionPool : public IConnection {
public:
    ConnectionPool(const QDomElement& element, const QString& loggedOnUser);
    bool launch() override;
    ~ConnectionPool() override;

private:
    QString loggedOnUser;
};

// A connection broker. The unit has no broker launcher: the session is an RDP
// session to the broker's address with the element's user, password, domain,
// port and flags, which the broker redirects. The load-balancing text has no
// place in that launcher and is not passed. Without an address it cannot be
// started and says so.
class ConnectionBroker : public IConnection {
public:
    ConnectionBroker(const QDomElement& element, const QString& loggedOnUser);
    bool launch() override;
    ~ConnectionBroker() override;

private:
    QString loggedOnUser;
};

// The class for an element by the one kind rule of the database.
std::unique_ptr<IConnection> connectionFor(
    const QDomElement& element, OsdContext& context, const QString& loggedOnUser);

// Whether a launcher gets the text as it is: they take NUL-terminated Latin-1,
// and anything else reaches them as "?" or cut short.
bool launcherCarries(const QString& text);

// The launchers' port rule for RDP: the default port (empty or "3389") is 0,
// anything else its decimal value (0 when it is not a number).
int rdpPort(const QString& port);

// The connection inactivity time in minutes from the document (0 when unset).
int connectionInactivityMinutes(const QDomDocument& document);
