#include "sessionclients.h"

#include <QRegularExpression>

namespace {

bool flagSet(const LaunchRequest& request, const char* key)
{
    return request.value(QLatin1String(key)) == QLatin1String("1");
}

// A host name or an IPv4 or IPv6 address, and nothing a client could read as
// one of its options.
QString hostArgument(const QString& host, bool* ok)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_](?:[A-Za-z0-9._-]{0,252})$"));
    static const QRegularExpression ipv6(QStringLiteral("^[0-9A-Fa-f:.]{2,45}$"));
    *ok = true;
    if (name.match(host).hasMatch())
        return host;
    if (host.contains(QLatin1Char(':')) && ipv6.match(host).hasMatch())
        return QLatin1Char('[') + host + QLatin1Char(']');
    *ok = false;
    return QString();
}

int portOf(const LaunchRequest& request)
{
    bool ok = false;
    const int port = request.value(QStringLiteral("port")).toInt(&ok);
    return ok && port > 0 && port < 65536 ? port : 0;
}

ClientCommand refused(const QString& why)
{
    ClientCommand command;
    command.refusal = why;
    return command;
}

// RDP to a computer, and the transmitter and KVM links, which are RDP sessions
// to the transmitter's address.
ClientCommand rdp(const LaunchRequest& request, const QString& host)
{
    const bool link = request.type != QLatin1String("rdp");
    ClientCommand command;
    command.program = QStringLiteral("xfreerdp");
    QStringList& arguments = command.arguments;
    arguments << QStringLiteral("/v:") + host;
    if (const int port = portOf(request))
        arguments << QStringLiteral("/port:") + QString::number(port);
    const QString user = link ? request.value(QStringLiteral("owner")) : request.value(QStringLiteral("user"));
    if (!user.isEmpty()) {
        arguments << QStringLiteral("/u:") + user << QStringLiteral("/from-stdin");
        command.secretRoute = SecretRoute::StandardInput;
    }
    const QString domain = request.value(QStringLiteral("domain"));
    if (!domain.isEmpty())
        arguments << QStringLiteral("/d:") + domain;
    if (!link)
        arguments << (flagSet(request, "nla") ? QStringLiteral("/sec:nla") : QStringLiteral("-sec-nla"));
    if (flagSet(request, "audio"))
        arguments << QStringLiteral("/sound");
    if (flagSet(request, "usb"))
        arguments << QStringLiteral("/usb:auto");
    if (flagSet(request, "persistent"))
        arguments << QStringLiteral("+auto-reconnect");
    if (flagSet(request, "extdesk"))
        arguments << QStringLiteral("/multimon");
    // A certificate is trusted on first use and must match ever after; the
    // client never asks, as its questions would read the password line.
    // Full screen with no window manager: the bar at the top is how a person
    // ends the session.
    arguments << QStringLiteral("/cert:tofu") << QStringLiteral("/f") << QStringLiteral("-toggle-fullscreen")
              << QStringLiteral("/floatbar:sticky:off,default:visible,show:fullscreen");
    if (flagSet(request, "viewonly"))
        command.notes << QStringLiteral("view-only is not possible with xfreerdp; the session takes input");
    if (flagSet(request, "shared"))
        command.notes << QStringLiteral("a shared session is not possible with xfreerdp; the session is exclusive");
    if (request.value(QStringLiteral("timeout")).toInt() > 0)
        command.notes << QStringLiteral("the connection inactivity timer is not possible with xfreerdp");
    return command;
}

ClientCommand vnc(const LaunchRequest& request, const QString& host, const SessionPlaces& places, bool password)
{
    ClientCommand command;
    command.program = QStringLiteral("vncviewer");
    command.arguments << QStringLiteral("-FullScreen") << QStringLiteral("-AlertOnFatalError=0")
                      << QStringLiteral("-ReconnectOnError=0");
    if (password) {
        command.arguments << QStringLiteral("-passwd") << places.passwordFile;
        command.secretRoute = SecretRoute::PasswordFile;
    }
    const int port = portOf(request);
    command.arguments << host + QStringLiteral("::") + QString::number(port ? port : 5900);
    return command;
}

ClientCommand ssh(const LaunchRequest& request, const SessionPlaces& places)
{
    ClientCommand command;
    command.program = QStringLiteral("xterm");
    // Maximised, which xterm does by itself where no window manager would do full screen.
    command.arguments << QStringLiteral("-maximized") << QStringLiteral("-e") << places.selfProgram
                      << QStringLiteral("--report-exit") << places.exitStatusFile << QStringLiteral("--")
                      << QStringLiteral("ssh") << QStringLiteral("-o")
                      << QStringLiteral("UserKnownHostsFile=") + places.knownHostsFile << QStringLiteral("-o")
                      << QStringLiteral("StrictHostKeyChecking=accept-new");
    if (const int port = portOf(request))
        command.arguments << QStringLiteral("-p") << QString::number(port);
    const QString user = request.value(QStringLiteral("user"));
    if (!user.isEmpty())
        command.arguments << QStringLiteral("-l") << user;
    // ssh takes an IPv6 address without brackets.
    command.arguments << QStringLiteral("--") << request.value(QStringLiteral("host"));
    return command;
}

} // namespace

ClientCommand clientCommand(const LaunchRequest& request, const SessionPlaces& places)
{
    if (request.type == QLatin1String("horizon"))
        return refused(QStringLiteral("Horizon sessions need a client this host does not have"));
    bool hostOk = false;
    const QString host = hostArgument(request.value(QStringLiteral("host")), &hostOk);
    if (!hostOk)
        return refused(QStringLiteral("the address is not a host name or IP address"));
    for (const auto& option : request.options)
        for (const QChar c : option.second)
            if (c.category() == QChar::Other_Control)
                return refused(QStringLiteral("a value holds a control character"));
    if (request.type == QLatin1String("rdp") || request.type == QLatin1String("via_tx")
        || request.type == QLatin1String("kvm"))
        return rdp(request, host);
    if (request.type == QLatin1String("vnc"))
        return vnc(request, host, places, request.value(QStringLiteral("auth")) == QLatin1String("password"));
    if (request.type == QLatin1String("ssh"))
        return ssh(request, places);
    return refused(QStringLiteral("unknown kind of session"));
}
