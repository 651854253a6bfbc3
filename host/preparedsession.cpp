#include "preparedsession.h"

#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString startScript = QStringLiteral("/tmp/startapp.sh");
const QString relaunchScript = QStringLiteral("/tmp/prevConnection.sh");
const QString privateFolder = QStringLiteral("/tmp/velmo-session");
const QString secretName = QStringLiteral("/tmp/velmo-session/secret");
constexpr qint64 maxSecretBytes = 4096;

// The folder that holds the password: ours, ours alone, and no link. /tmp is
// shared on a host, so a folder someone else made there is never used.
bool privateFolderReady(Platform& platform)
{
    const QByteArray path = QFile::encodeName(platform.unitPath(privateFolder));
    ::mkdir(path.constData(), 0700);
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid())
        return false;
    return (status.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0;
}

void removeSecret(Platform& platform)
{
    QFile::remove(platform.unitPath(secretName));
}

// vncviewer reads its password file in the form vncpasswd writes.
QByteArray vncPasswordFile(const QByteArray& password, QString* fault)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("vncpasswd"));
    QProcess process;
    if (!program.isEmpty()) {
        process.start(program, { QStringLiteral("-f") });
        if (process.waitForStarted(5000)) {
            process.write(password);
            process.closeWriteChannel();
            if (process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
                && process.exitCode() == 0)
                return process.readAllStandardOutput();
        }
    }
    process.kill();
    process.waitForFinished(1000);
    *fault = QStringLiteral("vncpasswd could not turn the password into a password file");
    return QByteArray();
}

} // namespace

SessionPlaces sessionPlaces(Platform& platform, const QString& selfProgram)
{
    SessionPlaces places;
    places.passwordFile = QStringLiteral("/dev/fd/3");
    places.knownHostsFile = platform.unitPath(QStringLiteral("/mnt/perm/ssh_known_hosts"));
    places.exitStatusFile = platform.unitPath(QStringLiteral("/tmp/velmo-session/exit-status"));
    places.selfProgram = selfProgram;
    return places;
}

int prepareSession(Platform& platform, const LaunchRequest& request, const QByteArray& password, QStringList* log)
{
    const ClientCommand command = clientCommand(request, sessionPlaces(platform, QStringLiteral("velmo-session")));
    if (command.program.isEmpty()) {
        log->append(QStringLiteral("No %1 session: %2.").arg(request.type, command.refusal));
        return launchRefused;
    }
    const QStringList programs = request.type == QLatin1String("ssh")
        ? QStringList { command.program, QStringLiteral("ssh") }
        : QStringList { command.program };
    for (const QString& program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            log->append(QStringLiteral("No %1 session: %2 is not installed.").arg(request.type, program));
            return launchRefused;
        }
    for (const QString& note : command.notes)
        log->append(QStringLiteral("The %1 session starts without what was asked: %2.").arg(request.type, note));

    // The client reads one line; a line break would end the password early.
    if (password.contains('\n') || password.contains('\r')) {
        log->append(QStringLiteral("No %1 session: the password holds a line break.").arg(request.type));
        return launchRefused;
    }
    removeSecret(platform);
    if (command.secretRoute != SecretRoute::None) {
        if (!privateFolderReady(platform)) {
            log->append(QStringLiteral("No %1 session: %2 is not a folder of this user alone.")
                            .arg(request.type, platform.unitPath(privateFolder)));
            return launchWriteFailed;
        }
        DurableWriter writer(platform);
        writer.writePrivately();
        if (!writer.writeFile(platform.unitPath(secretName), password)) {
            log->append(QStringLiteral("No %1 session: the password could not be handed over.").arg(request.type));
            removeSecret(platform);
            return launchWriteFailed;
        }
    }
    const QByteArray script = launchScriptText(QStringLiteral("velmo-session"), request);
    DurableWriter writer(platform);
    for (const QString& name : { startScript, relaunchScript })
        if (!writer.writeFile(platform.unitPath(name), script)) {
            log->append(QStringLiteral("No %1 session: %2 could not be written.").arg(request.type, name));
            removeSecret(platform);
            return launchWriteFailed;
        }
    return 0;
}

std::optional<PreparedSession> takePreparedSession(Platform& platform, const QString& selfProgram, QString* fault)
{
    const QString scriptPath = platform.unitPath(startScript);
    if (!QFile::exists(scriptPath) && !QFileInfo(scriptPath).isSymLink()) {
        removeSecret(platform);
        return std::nullopt;
    }
    QByteArray script;
    const bool read = readBounded(scriptPath, maxLaunchScriptBytes, &script);
    QFile::remove(scriptPath);
    QByteArray password;
    bool hasSecret = false;
    if (privateFolderReady(platform))
        hasSecret = readBounded(platform.unitPath(secretName), maxSecretBytes, &password);
    removeSecret(platform);

    const std::optional<LaunchRequest> request = read ? parseLaunchScript(script) : std::nullopt;
    if (!request) {
        *fault = QStringLiteral("the launch script is not one a session launcher wrote");
        return std::nullopt;
    }
    PreparedSession session;
    session.request = *request;
    session.command = clientCommand(session.request, sessionPlaces(platform, selfProgram));
    if (session.command.program.isEmpty()) {
        *fault = session.command.refusal;
        return std::nullopt;
    }
    switch (session.command.secretRoute) {
    case SecretRoute::None:
        break;
    case SecretRoute::StandardInput:
        session.secret = password + '\n';
        break;
    case SecretRoute::PasswordFile:
        if (!hasSecret) {
            *fault = QStringLiteral("the password was not handed over");
            return std::nullopt;
        }
        session.secret = vncPasswordFile(password, fault);
        if (session.secret.isEmpty())
            return std::nullopt;
        break;
    }
    return session;
}

void clearPreparedSession(Platform& platform)
{
    QFile::remove(platform.unitPath(startScript));
    removeSecret(platform);
}

ClientEnd sessionEnd(Platform& platform, const PreparedSession& session, const ClientEnd& clientEnd)
{
    const QString statusPath = sessionPlaces(platform, QString()).exitStatusFile;
    QByteArray status;
    const bool reported = readBounded(statusPath, 64, &status);
    QFile::remove(statusPath);
    if (session.command.program != QLatin1String("xterm") || !clientEnd.started)
        return clientEnd;
    // The terminal closed before its program ended: the person closed it.
    ClientEnd end;
    if (!reported)
        return end;
    status = status.trimmed();
    end.signalled = status.startsWith("signal ");
    bool ok = false;
    end.code = (end.signalled ? status.mid(7) : status).toInt(&ok);
    if (!ok)
        end = ClientEnd();
    return end;
}
