// The directory log-on and the session launchers of the simulated unit.

#include <QJsonArray>

#include "preparedsession.h"
#include "simdirectory.h"
#include "services/device_services.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

namespace {
const QString directoryKey = QStringLiteral("directory");
using Options = QList<QPair<QString, QString>>;

QString sessionText(const QString& user)
{
    return QStringLiteral("sim-directory-session:") + user;
}

// The recording launchers write the scripts a unit's launcher would; with the
// state's "launcher" "backend" set to "host" the host launchers prepare a real
// session instead. Passwords stay out of the scripts either way.
int launch(const char* call, const QJsonArray& arguments, const QString& type, const Options& options,
    const QByteArray& password = QByteArray())
{
    SimUnit* unit = SimUnit::current();
    if (!unit)
        return noUnit;
    const QJsonObject launcher = child(unit->state(), QStringLiteral("launcher"));
    const bool host = launcher.value(QStringLiteral("backend")).toString() == QLatin1String("host");
    QJsonArray recorded = arguments;
    // The record is a file others may read; a real password stays out of it.
    for (int i = 0; host && !password.isEmpty() && i < recorded.size(); ++i)
        if (recorded.at(i) == QJsonValue(QString::fromLatin1(password)))
            recorded[i] = QStringLiteral("(hidden)");
    unit->recordLaunch(QString::fromLatin1(call), recorded);
    if (const int failure = unit->failure(QString::fromLatin1(call)))
        return failure;
    LaunchRequest request;
    request.type = type;
    request.options = options;
    const QJsonValue hotkey = launcher.value(QStringLiteral("hotkey"));
    if (hotkey.isDouble() && hotkey.toInt() >= 0)
        request.hotkey = hotkey.toInt();
    if (host) {
        QStringList log;
        const int result = prepareSession(unit->platform(), request, password, &log);
        for (const QString& line : log)
            malvo_syslog(result ? 3 : 5, "%s\n", line.toUtf8().constData());
        return result;
    }
    const QByteArray line = launchScriptText(QStringLiteral("/usr/bin/connection_control"), request);
    for (const char* script : { "/tmp/startapp.sh", "/tmp/prevConnection.sh" })
        writeWhole(unit->path(QLatin1String(script)), line);
    return 0;
}

QString flag(int value)
{
    return QString::number(value);
}

// What the transmitter and KVM sessions share.
Options viaOptions(const char* name, const char* ip, int audio, int usb, int inactivityTimer,
    const char* loggedOnUser, int shared, int persistent)
{
    return { { QStringLiteral("name"), fromC(name) }, { QStringLiteral("host"), fromC(ip) },
        { QStringLiteral("owner"), fromC(loggedOnUser) }, { QStringLiteral("audio"), flag(audio) },
        { QStringLiteral("usb"), flag(usb) }, { QStringLiteral("timeout"), QString::number(inactivityTimer) },
        { QStringLiteral("shared"), flag(shared) }, { QStringLiteral("persistent"), flag(persistent) } };
}
}

extern "C" {

int ad_login(const char* user, const char* password, char session[AD_SESSION_LEN])
{
    int code = 0;
    SimUnit* unit = begin("ad_login", &code);
    if (!unit)
        return code;
    const QString name = fromC(user, 256);
    if (directoryIsLdap(unit))
        return ldapLogin(unit, name, fromC(password, 256).toLatin1(), session, AD_SESSION_LEN);
    const QString secret = fromC(password, 256);
    unit->editSection(directoryKey, [&](QJsonObject& directory) {
        const QJsonValue known = child(directory, QStringLiteral("users")).value(name);
        directory.insert(QStringLiteral("pendingUser"), name);
        directory.insert(QStringLiteral("pendingOk"), known.isString() && known.toString() == secret);
        directory.insert(QStringLiteral("authStatusCalls"), 0);
    });
    toC(session, AD_SESSION_LEN, sessionText(name));
    return 0;
}

// Walks the scripted status sequence (its last value repeats); the final 0
// becomes 6 when the credentials given to ad_login were wrong.
int ad_get_auth_status(const char* user)
{
    int code = 0;
    SimUnit* unit = begin("ad_get_auth_status", &code);
    if (!unit)
        return code;
    const QString name = fromC(user, 256);
    if (directoryIsLdap(unit))
        return ldapAuthStatus(unit, name);
    int status = 1;
    unit->editSection(directoryKey, [&](QJsonObject& directory) {
        if (!directory.contains(QStringLiteral("pendingUser"))
            || directory.value(QStringLiteral("pendingUser")).toString() != name)
            return;
        const QJsonArray sequence = directory.value(QStringLiteral("authStatusSequence")).toArray();
        const int calls = directory.value(QStringLiteral("authStatusCalls")).toInt();
        status = sequence.isEmpty() ? 0 : sequence.at(qMin(calls, sequence.size() - 1)).toInt();
        if (status == 0 && !directory.value(QStringLiteral("pendingOk")).toBool())
            status = 6;
        directory.insert(QStringLiteral("authStatusCalls"), calls + 1);
    });
    return status;
}

int ad_auth_complete(const char* user, char session[AD_SESSION_LEN])
{
    int code = 0;
    SimUnit* unit = begin("ad_auth_complete", &code);
    if (!unit)
        return code;
    const QString name = fromC(user, 256);
    if (directoryIsLdap(unit))
        return ldapAuthComplete(unit, name, fromC(session, AD_SESSION_LEN));
    const QJsonObject directory = child(unit->state(), directoryKey);
    if (directory.value(QStringLiteral("pendingUser")).toString() != name
        || fromC(session, AD_SESSION_LEN) != sessionText(name))
        return 1;
    if (!directory.value(QStringLiteral("pendingOk")).toBool())
        return 6;
    unit->editSection(directoryKey, [](QJsonObject& directory) {
        directory.remove(QStringLiteral("pendingUser"));
        directory.remove(QStringLiteral("pendingOk"));
    });
    return 0;
}

int create_vm_connection(const char* name, const char* loggedOnUser, const char* userName,
    const char* password, const char* ip, int audio, const char* domain, int viewOnly, int port, int usb,
    int nla)
{
    return launch("create_vm_connection",
        QJsonArray { fromC(name), fromC(loggedOnUser), fromC(userName), fromC(password), fromC(ip), audio,
            fromC(domain), viewOnly, port, usb, nla },
        QStringLiteral("rdp"),
        { { QStringLiteral("name"), fromC(name) }, { QStringLiteral("owner"), fromC(loggedOnUser) },
            { QStringLiteral("user"), fromC(userName) }, { QStringLiteral("host"), fromC(ip) },
            { QStringLiteral("port"), QString::number(port) }, { QStringLiteral("domain"), fromC(domain) },
            { QStringLiteral("audio"), flag(audio) }, { QStringLiteral("usb"), flag(usb) },
            { QStringLiteral("nla"), flag(nla) }, { QStringLiteral("viewonly"), flag(viewOnly) } },
        fromC(password).toLatin1());
}

int create_via_tx_connection(const char* name, const char* ip, int audio, int usb, int inactivityTimer,
    const char* loggedOnUser, int shared, int persistent, int extendedDesktop, int viewOnly)
{
    return launch("create_via_tx_connection",
        QJsonArray { fromC(name), fromC(ip), audio, usb, inactivityTimer, fromC(loggedOnUser), shared,
            persistent, extendedDesktop, viewOnly },
        QStringLiteral("via_tx"),
        viaOptions(name, ip, audio, usb, inactivityTimer, loggedOnUser, shared, persistent)
            + Options { { QStringLiteral("extdesk"), flag(extendedDesktop) },
                { QStringLiteral("viewonly"), flag(viewOnly) } });
}

int create_via_kvm_connection(const char* name, const char* ip, int audio, int usb, int inactivityTimer,
    const char* loggedOnUser, int shared, int persistent)
{
    return launch("create_via_kvm_connection",
        QJsonArray {
            fromC(name), fromC(ip), audio, usb, inactivityTimer, fromC(loggedOnUser), shared, persistent },
        QStringLiteral("kvm"),
        viaOptions(name, ip, audio, usb, inactivityTimer, loggedOnUser, shared, persistent));
}

int create_horizon_connection(const char* userName, const char* password, const char* ip)
{
    return launch("create_horizon_connection", QJsonArray { fromC(userName), fromC(password), fromC(ip) },
        QStringLiteral("horizon"),
        { { QStringLiteral("user"), fromC(userName) }, { QStringLiteral("host"), fromC(ip) } });
}

int create_vnc_connection(const char* password, const char* ip, int port)
{
    return launch("create_vnc_connection", QJsonArray { fromC(password), fromC(ip), port },
        QStringLiteral("vnc"),
        { { QStringLiteral("host"), fromC(ip) }, { QStringLiteral("port"), QString::number(port) },
            { QStringLiteral("auth"), *password ? QStringLiteral("password") : QStringLiteral("none") } },
        fromC(password).toLatin1());
}

int create_ssh_connection(const char* userName, const char* password, const char* ip, int port)
{
    return launch("create_ssh_connection", QJsonArray { fromC(userName), fromC(password), fromC(ip), port },
        QStringLiteral("ssh"),
        { { QStringLiteral("user"), fromC(userName) }, { QStringLiteral("host"), fromC(ip) },
            { QStringLiteral("port"), QString::number(port) } });
}

} // extern "C"
