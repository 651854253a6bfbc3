// What the end of each client means to the person in front of the unit.

#include "sessionclients.h"

namespace {

const QString unreachable = QStringLiteral("The remote computer could not be reached.");
const QString lost = QStringLiteral("The connection to the remote computer was lost.");
const QString authentication = QStringLiteral("Log-on to the remote computer failed. Check the user name and password.");
const QString account = QStringLiteral("The account may not log on to the remote computer.");

// xfreerdp's exit statuses.
QString rdpReason(int code)
{
    if (code >= 16 && code <= 31)
        return QStringLiteral("The remote computer has no licence for this session.");
    if ((code >= 32 && code <= 127) || code == 130)
        return QStringLiteral("The connection ended with a protocol error.");
    switch (code) {
    case 0: case 11: case 145: // the person ended it
        return QString();
    case 1:
        return QStringLiteral("The remote computer ended the session.");
    case 2:
        return QStringLiteral("The session was logged off on the remote computer.");
    case 3:
        return QStringLiteral("The session ended after it was idle for too long.");
    case 4:
        return QStringLiteral("The log-on time on the remote computer ran out.");
    case 5:
        return QStringLiteral("Another connection took over the session.");
    case 6:
        return QStringLiteral("The remote computer ran out of memory.");
    case 7: case 8:
        return QStringLiteral("The remote computer refused the connection.");
    case 10: case 132: case 134: case 154: case 159:
        return authentication;
    case 9: case 144: case 155: case 156: case 158:
        return account;
    case 128: case 129:
        return QStringLiteral("The session could not be started on this unit.");
    case 131:
        return lost;
    case 133:
        return QStringLiteral("The security settings do not match the remote computer's (check NLA).");
    case 135: case 151: case 153: case 157:
        return QStringLiteral("The account is locked, disabled or expired.");
    case 136: case 137: case 138: case 141: case 142: case 147:
        return unreachable;
    case 139: case 140:
        return QStringLiteral("The name of the remote computer could not be found.");
    case 143:
        return QStringLiteral("A secure connection to the remote computer could not be made.");
    case 148: case 149: case 152:
        return QStringLiteral("The password has expired and must be changed.");
    case 150:
        return QStringLiteral("The domain controller could not be reached.");
    default:
        return QStringLiteral("The session ended with an error (code %1).").arg(code);
    }
}

// vncviewer ends with 0 after most failures too; only its last words tell.
QString vncReason(const ClientEnd& end)
{
    const QByteArray& said = end.errorTail;
    if (said.contains("Authentication failure") || said.contains("Authentication failed"))
        return QStringLiteral("Log-on to the remote computer failed. Check the password.");
    if (said.contains("unable to connect to socket") || said.contains("Name or service not known"))
        return unreachable;
    if (said.contains("End of stream") || said.contains("Connection reset") || said.contains("Broken pipe"))
        return lost;
    if (end.code != 0)
        return QStringLiteral("The session ended with an error (code %1).").arg(end.code);
    return QString();
}

} // namespace

QString disconnectReason(const QString& type, const ClientEnd& end)
{
    if (!end.started)
        return QStringLiteral("The session program could not be started.");
    if (type == QLatin1String("ssh"))
        // ssh ends with 255 on its own errors; any other end is the remote
        // shell's or the closed terminal's, and normal.
        return !end.signalled && end.code == 255
            ? QStringLiteral("The SSH connection failed or was lost.")
            : QString();
    if (end.signalled)
        return QStringLiteral("The session program stopped unexpectedly.");
    if (type == QLatin1String("vnc"))
        return vncReason(end);
    return rdpReason(end.code);
}
