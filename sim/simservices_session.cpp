// The directory log-on and the session launchers of the simulated unit.

#include <QJsonArray>

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

// Every value goes in single quotes, so that no text from the database is
// parsed by the shell that runs the script; line breaks are dropped, as the
// script is one line. The OSD's hot-key rewrite edits the word after a
// "--hotkey" between single spaces, so one inside a value is split by an empty
// quote pair, which the shell joins again.
QString quoted(const QString& value)
{
    QString text = value;
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    text.replace(QStringLiteral("--hotkey"), QStringLiteral("-''-hotkey"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// Writes the launch script and its relaunch copy: one command line ending in
// "&", with "--hotkey N" when the unit has a hot-key set. Passwords stay out.
void writeScripts(SimUnit* unit, const QString& type, const Options& options)
{
    QString line = QStringLiteral("/usr/bin/connection_control --type ") + type;
    for (const auto& option : options)
        line += QStringLiteral(" --") + option.first + QLatin1Char(' ') + quoted(option.second);
    const QJsonValue hotkey
        = child(unit->state(), QStringLiteral("launcher")).value(QStringLiteral("hotkey"));
    if (hotkey.isDouble() && hotkey.toInt() >= 0)
        line += QStringLiteral(" --hotkey ") + QString::number(hotkey.toInt());
    line += QStringLiteral(" &");
    for (const char* script : { "/tmp/startapp.sh", "/tmp/prevConnection.sh" })
        writeWhole(unit->path(QLatin1String(script)), line.toLatin1());
}

// Records the call, then prepares the session unless a failure was injected.
int launch(const char* call, const QJsonArray& arguments, const QString& type, const Options& options)
{
    SimUnit* unit = SimUnit::current();
    if (!unit)
        return noUnit;
    unit->recordLaunch(QString::fromLatin1(call), arguments);
    if (const int failure = unit->failure(QString::fromLatin1(call)))
        return failure;
    writeScripts(unit, type, options);
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
            { QStringLiteral("nla"), flag(nla) }, { QStringLiteral("viewonly"), flag(viewOnly) } });
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
        { { QStringLiteral("host"), fromC(ip) }, { QStringLiteral("port"), QString::number(port) } });
}

int create_ssh_connection(const char* userName, const char* password, const char* ip, int port)
{
    return launch("create_ssh_connection", QJsonArray { fromC(userName), fromC(password), fromC(ip), port },
        QStringLiteral("ssh"),
        { { QStringLiteral("user"), fromC(userName) }, { QStringLiteral("host"), fromC(ip) },
            { QStringLiteral("port"), QString::number(port) } });
}

} // extern "C"
