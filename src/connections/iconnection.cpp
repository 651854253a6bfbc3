#include "iconnection.h"

#include "app/osdcontext.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "rules/unitsettings.h"
#include "services/device_services.h"
#include "services/servicetext.h"

namespace {

// The launchers take NUL-terminated Latin-1; every text is copied bounded, so a
// long database value is cut rather than overrunning what the library expects.
using LauncherText = ServiceText<256>;

int flag(bool on)
{
    return on ? 1 : 0;
}

// The user the unit has logged on, as the transmitter launchers want it.
QString unitLoggedOnUser()
{
    char name[SU_USER_NAME_LEN] = {};
    if (su_get_logged_in_user(name) != 0)
        return QStringLiteral("Unknown");
    name[SU_USER_NAME_LEN - 1] = '\0';
    return QString::fromLatin1(name);
}

} // namespace

bool launcherCarries(const QString& text)
{
    return servicesCarry(text);
}

int rdpPort(const QString& port)
{
    if (port.isEmpty() || port == QLatin1String("3389"))
        return 0;
    bool number = false;
    const int value = port.toInt(&number, 10);
    return number ? value : 0;
}

int connectionInactivityMinutes(const QDomDocument& document)
{
    return readUnitSetting(document, UnitSetting::ConnectionInactivityMinutes).toInt();
}

IConnection::IConnection(const QDomElement& element)
    : element(element)
{
}
IConnection::~IConnection() = default;

QString IConnection::field(const char* attribute) const
{
    return element.attribute(QLatin1String(attribute));
}

bool IConnection::holds(const char* attribute, const char* value) const
{
    return field(attribute) == QLatin1String(value);
}

bool IConnection::carries(std::initializer_list<const char*> attributes)
{
    static const std::pair<const char*, const char*> shownAs[]
        = { { db::Name, "name" }, { db::IpAddress, "address" }, { db::UserName, "user name" },
              { db::Password, "password" }, { db::Domain, "domain" } };
    for (const char* attribute : attributes) {
        if (launcherCarries(field(attribute)))
            continue;
        QString what = QLatin1String(attribute);
        for (const auto& entry : shownAs)
            if (qstrcmp(entry.first, attribute) == 0)
                what = QLatin1String(entry.second);
        refusalText = QStringLiteral("The connection '%1' cannot be started: its %2 holds characters "
                                     "other than Latin-1.")
                          .arg(field(db::Name), what);
        return false;
    }
    return true;
}

bool IConnection::launchRdp(const QString& loggedOnUser)
{
    if (!carries({ db::Name, db::UserName, db::Password, db::IpAddress, db::Domain }))
        return false;
    const auto text = [this](const char* attribute) { return LauncherText(field(attribute)); };
    const auto yes = [this](const char* attribute) { return flag(holds(attribute, "Yes")); };
    return create_vm_connection(text(db::Name), LauncherText(loggedOnUser), text(db::UserName),
               text(db::Password), text(db::IpAddress), yes(db::Audio), text(db::Domain), yes(db::ViewOnly),
               rdpPort(field(db::Port)), yes(db::UsbRedirection), yes(db::Nla))
        == 0;
}

ConnectionVM::ConnectionVM(const QDomElement& element, const QString& loggedOnUser)
    : IConnection(element)
    , loggedOnUser(loggedOnUser)
{
}
ConnectionVM::~ConnectionVM() = default;

bool ConnectionVM::launch()
{
    return launchRdp(loggedOnUser);
}

ConnectionViaTX::ConnectionViaTX(const QDomElement& element, OsdContext& context)
    : IConnection(element)
    , context(context)
{
}
ConnectionViaTX::~ConnectionViaTX() = default;

bool ConnectionViaTX::launch()
{
    if (!carries({ db::Name, db::IpAddress }))
        return false;
    // The second head is asked for only when the element wants it.
    const bool extended = holds(db::ExtDesk, "Yes") && su_is_dual_head() != 0;
    return create_via_tx_connection(LauncherText(field(db::Name)), LauncherText(field(db::IpAddress)),
               flag(holds(db::Audio, "Yes")), flag(holds(db::UsbRedirection, "Yes")),
               connectionInactivityMinutes(context.document()), LauncherText(unitLoggedOnUser()),
               flag(holds(db::ConnectionType, "Shared")), flag(holds(db::Persistent, "true")), flag(extended),
               flag(holds(db::ViewOnly, "Yes")))
        == 0;
}

ConnectionKVM::ConnectionKVM(const QDomElement& element, OsdContext& context)
    : IConnection(element)
    , context(context)
{
}
ConnectionKVM::~ConnectionKVM() = default;

bool ConnectionKVM::launch()
{
    if (!carries({ db::Name, db::IpAddress }))
        return false;
    return create_via_kvm_connection(LauncherText(field(db::Name)), LauncherText(field(db::IpAddress)),
               flag(holds(db::Audio, "Yes")), flag(holds(db::UsbRedirection, "Yes")),
               connectionInactivityMinutes(context.document()), LauncherText(unitLoggedOnUser()),
               flag(holds(db::ConnectionType, "Shared")), flag(holds(db::Persistent, "true")))
        == 0;
}

ConnectionHorizon::ConnectionHorizon(const QDomElement& element)
    : IConnection(element)
{
}
ConnectionHorizon::~ConnectionHorizon() = default;

bool ConnectionHorizon::launch()
{
    if (!carries({ db::UserName, db::Password, db::IpAddress }))
        return false;
    return create_horizon_connection(LauncherText(field(db::UserName)), LauncherText(field(db::Password)),
               LauncherText(field(db::IpAddress)))
        == 0;
}

ConnectionSSH::ConnectionSSH(const QDomElement& element)
    : IConnection(element)
{
}
ConnectionSSH::~ConnectionSSH() = default;

bool ConnectionSSH::launch()
{
    if (!carries({ db::UserName, db::IpAddress }))
        return false;
    // The password is typed in the session, never handed over.
    return create_ssh_connection(LauncherText(field(db::UserName)), "", LauncherText(field(db::IpAddress)),
               field(db::Port).toInt())
        == 0;
}

ConnectionVNC::ConnectionVNC(const QDomElement& element)
    : IConnection(element)
{
}
ConnectionVNC::~ConnectionVNC() = default;

bool ConnectionVNC::launch()
{
    if (!carries({ db::Password, db::IpAddress }))
        return false;
    return create_vnc_connection(
               LauncherText(field(db::Password)), LauncherText(field(db::IpAddress)), field(db::Port).toInt())
        == 0;
}

ConnectionPool::ConnectionPool(const QDomElement& element, const QString& loggedOnUser)
    : IConnection(element)
    , loggedOnUser(loggedOnUser)
{
}
ConnectionPool::~ConnectionPool() = default;

bool ConnectionPool::launch()
{
    if (field(db::IpAddress).trimmed().isEmpty()) {
        refusalText = QStringLiteral("The pool connection '%1' has no address and cannot be started.")
                          .arg(field(db::Name));
        return false;
    }
    return launchRdp(loggedOnUser);
}

ConnectionBroker::ConnectionBroker(const QDomElement& element, const QString& loggedOnUser)
    : IConnection(element)
    , loggedOnUser(loggedOnUser)
{
}
ConnectionBroker::~ConnectionBroker() = default;

bool ConnectionBroker::launch()
{
    if (field(db::IpAddress).trimmed().isEmpty()) {
        refusalText
            = QStringLiteral("The broker connection '%1' has no broker address and cannot be started.")
                  .arg(field(db::Name));
        return false;
    }
    return launchRdp(loggedOnUser);
}

std::unique_ptr<IConnection> connectionFor(
    const QDomElement& element, OsdContext& context, const QString& loggedOnUser)
{
    switch (connectionKind(element)) {
    case ConnectionKind::Pool:
        return std::make_unique<ConnectionPool>(element, loggedOnUser);
    case ConnectionKind::ViaTx:
        return std::make_unique<ConnectionViaTX>(element, context);
    case ConnectionKind::Broker:
        return std::make_unique<ConnectionBroker>(element, loggedOnUser);
    case ConnectionKind::Horizon:
        return std::make_unique<ConnectionHorizon>(element);
    case ConnectionKind::Ssh:
        return std::make_unique<ConnectionSSH>(element);
    case ConnectionKind::Vnc:
        return std::make_unique<ConnectionVNC>(element);
    case ConnectionKind::Kvm:
        return std::make_unique<ConnectionKVM>(element, context);
    case ConnectionKind::Vm:
        break;
    }
    return std::make_unique<ConnectionVM>(element, loggedOnUser);
}
