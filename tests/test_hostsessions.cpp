// Real sessions: what the host launchers hand to the supervisor, what each
// client is told, what its end means, and the whole road against real servers
// on loopback: the OSD launches, the supervisor runs the client, the session
// ends and the OSD comes back with the reason.
#include "database.h"
#include "database/dbnames.h"
#include "launchscript.h"
#include "rules/hotkeyrules.h"
#include "sessionclients.h"
#include "unitdatabase.h"
#include "programs.h"
#include "testmain.h"
#include "testunit.h"

#include <QDirIterator>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray password = "Zq7-secret-4711";

// Where a password could have gone: any process's command line or environment,
// or a file under `folders` that others may read.
QStringList leaks(const QStringList& folders)
{
    QStringList found;
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString folder = processes.next();
        for (const char* part : { "/cmdline", "/environ" }) {
            QFile file(folder + QLatin1String(part));
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(password))
                found << file.fileName();
        }
    }
    for (const QString& root : folders) {
        QDirIterator files(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (path.contains(QLatin1String("/sim/manager/")))
                continue; // the management appliance's own store, not the unit's
            struct stat status {};
            QFile file(path);
            if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode)
                && (status.st_mode & (S_IRGRP | S_IROTH)) && file.open(QIODevice::ReadOnly)
                && file.read(4 << 20).contains(password))
                found << path;
        }
    }
    return found;
}

QString userName()
{
    return qEnvironmentVariable("USER", QStringLiteral("root"));
}

} // namespace

class TestHostSessions : public QObject {
    Q_OBJECT

private slots:
    void launchScripts_data();
    void launchScripts();
    void clientCommands_data();
    void clientCommands();
    void reasons_data();
    void reasons();
    void realSessions_data();
    void realSessions();
    void directoryUsers_data();
    void directoryUsers();
};

void TestHostSessions::launchScripts_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("hotkey"); // what the OSD sets afterwards; "-" leaves it
    QTest::addColumn<int>("expectedHotkey");
    QTest::newRow("plain, hot-key set") << "Desk 1" << "2" << 2;
    QTest::newRow("quotes and a hot-key word") << "it's --hotkey 3 'x'" << "" << -1;
    QTest::newRow("shell words") << "$(reboot); `id` & \\" << "4" << 4;
    QTest::newRow("two spaces, non-Latin-1") << "a  b Ω" << "-" << 1;
}

// What a launcher writes reads back whole, also after the OSD's hot-key edit,
// which works on words between single spaces.
void TestHostSessions::launchScripts()
{
    QFETCH(QString, value);
    QFETCH(QString, hotkey);
    QFETCH(int, expectedHotkey);
    LaunchRequest request;
    request.type = QStringLiteral("rdp");
    request.options = { { QStringLiteral("name"), value }, { QStringLiteral("host"), QStringLiteral("h") } };
    request.hotkey = 1;
    QByteArray script = launchScriptText(QStringLiteral("velmo-session"), request);
    if (hotkey != QLatin1String("-"))
        script = relaunchScriptText(script, hotkey);
    const std::optional<LaunchRequest> read = parseLaunchScript(script);
    QVERIFY(read);
    QCOMPARE(read->options, request.options);
    QCOMPARE(read->hotkey, expectedHotkey);
    QVERIFY(!parseLaunchScript(script + "\nreboot &"));
    QVERIFY(!parseLaunchScript(script.replace(" --type rdp", " --type")));
}

void TestHostSessions::clientCommands_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("command"); // program and arguments, "|" between them; empty: refused
    QTest::addColumn<int>("route");
    QTest::addColumn<int>("notes");
    const QString rdpTail
        = QStringLiteral("|/cert:tofu|/f|-toggle-fullscreen|/floatbar:sticky:off,default:visible,show:fullscreen");
    QTest::newRow("rdp, every option")
        << "x --type rdp --user 'bob' --host '10.1.2.3' --port '3390' --domain 'LAB' --audio '1' --usb '1' "
           "--nla '1' --viewonly '1' &"
        << "xfreerdp|/v:10.1.2.3|/port:3390|/u:bob|/from-stdin|/d:LAB|/sec:nla|/sound|/usb:auto" + rdpTail
        << int(SecretRoute::StandardInput) << 1;
    QTest::newRow("rdp, no user, default port, no NLA")
        << "x --type rdp --user '' --host 'vm.lab' --port '0' --nla '0' &"
        << "xfreerdp|/v:vm.lab|-sec-nla" + rdpTail << int(SecretRoute::None) << 0;
    QTest::newRow("transmitter link as the logged-on user")
        << "x --type via_tx --host '192.168.1.22' --owner 'admin' --shared '1' --persistent '1' --extdesk '1' "
           "--timeout '30' &"
        << "xfreerdp|/v:192.168.1.22|/u:admin|/from-stdin|+auto-reconnect|/multimon" + rdpTail
        << int(SecretRoute::StandardInput) << 2;
    QTest::newRow("vnc with a password, IPv6")
        << "x --type vnc --host '::1' --port '5901' --auth 'password' &"
        << "vncviewer|-FullScreen|-AlertOnFatalError=0|-ReconnectOnError=0|-passwd|/dev/fd/3|[::1]::5901"
        << int(SecretRoute::PasswordFile) << 0;
    QTest::newRow("vnc without one")
        << "x --type vnc --host 'h' --port '0' --auth 'none' &"
        << "vncviewer|-FullScreen|-AlertOnFatalError=0|-ReconnectOnError=0|h::5900" << int(SecretRoute::None) << 0;
    QTest::newRow("ssh: a user that looks like an option stays a user")
        << "x --type ssh --user '-oProxyCommand=id' --host 'h' --port '2222' &"
        << "xterm|-maximized|-e|/s|--report-exit|/e|--|ssh|-o|UserKnownHostsFile=/k|-o|"
           "StrictHostKeyChecking=accept-new|-p|2222|-l|-oProxyCommand=id|--|h"
        << int(SecretRoute::None) << 0;
    QTest::newRow("horizon") << "x --type horizon --user 'u' --host 'h' &" << "" << 0 << 0;
    QTest::newRow("an address that is an option") << "x --type vnc --host '-via' --port '1' &" << "" << 0 << 0;
    QTest::newRow("an address with a blank") << "x --type rdp --host 'a b' &" << "" << 0 << 0;
    QTest::newRow("a tab in a value") << "x --type rdp --host 'h' --user 'a\tb' &" << "" << 0 << 0;
}

void TestHostSessions::clientCommands()
{
    QFETCH(QString, script);
    QFETCH(QString, command);
    QFETCH(int, route);
    QFETCH(int, notes);
    const std::optional<LaunchRequest> request = parseLaunchScript(script.toUtf8());
    QVERIFY(request);
    const ClientCommand client = clientCommand(
        *request, { QStringLiteral("/dev/fd/3"), QStringLiteral("/k"), QStringLiteral("/e"), QStringLiteral("/s") });
    QCOMPARE((QStringList { client.program } + client.arguments).join(QLatin1Char('|')),
        command.isEmpty() ? QString() : command);
    QCOMPARE(client.refusal.isEmpty(), !command.isEmpty());
    QCOMPARE(int(client.secretRoute), route);
    QCOMPARE(client.notes.size(), notes);
}

void TestHostSessions::reasons_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QString>("reason");
    const QString lost = QStringLiteral("The connection to the remote computer was lost.");
    const QString unreachable = QStringLiteral("The remote computer could not be reached.");
    QTest::newRow("rdp closed by the person") << "rdp" << 0 << QByteArray() << "";
    QTest::newRow("rdp disconnected by the person") << "rdp" << 11 << QByteArray() << "";
    QTest::newRow("rdp logged off remotely") << "rdp" << 2 << QByteArray()
                                              << "The session was logged off on the remote computer.";
    QTest::newRow("rdp wrong password") << "via_tx" << 154 << QByteArray()
                                         << "Log-on to the remote computer failed. Check the user name and password.";
    QTest::newRow("rdp lost") << "kvm" << 131 << QByteArray() << lost;
    QTest::newRow("rdp unreachable") << "rdp" << 147 << QByteArray() << unreachable;
    QTest::newRow("rdp licence") << "rdp" << 20 << QByteArray() << "The remote computer has no licence for this session.";
    QTest::newRow("rdp protocol") << "rdp" << 40 << QByteArray() << "The connection ended with a protocol error.";
    QTest::newRow("rdp unknown") << "rdp" << 250 << QByteArray() << "The session ended with an error (code 250).";
    QTest::newRow("vnc fails with status 0")
        << "vnc" << 0 << QByteArray(" CConn:       Authentication failure: Authentication failure\n")
        << "Log-on to the remote computer failed. Check the password.";
    QTest::newRow("vnc refused") << "vnc" << 0
                                 << QByteArray(" CConn: unable to connect to socket: Connection refused (111)\n")
                                 << unreachable;
    QTest::newRow("vnc end of stream") << "vnc" << 0 << QByteArray(" CConn:       End of stream\n") << lost;
    QTest::newRow("vnc closed by the person") << "vnc" << 0 << QByteArray(" CConnection: Enabling continuous updates\n")
                                              << "";
    QTest::newRow("ssh failed") << "ssh" << 255 << QByteArray() << "The SSH connection failed or was lost.";
    QTest::newRow("ssh remote shell's status") << "ssh" << 1 << QByteArray() << "";
}

void TestHostSessions::reasons()
{
    QFETCH(QString, type);
    QFETCH(int, code);
    QFETCH(QByteArray, said);
    QFETCH(QString, reason);
    ClientEnd end;
    end.code = code;
    end.errorTail = said;
    QCOMPARE(disconnectReason(type, end), reason);
    end.signalled = true;
    QCOMPARE(disconnectReason(type, end).isEmpty(), type == QLatin1String("ssh"));
    end.started = false;
    QCOMPARE(disconnectReason(type, end), QStringLiteral("The session program could not be started."));
}

void TestHostSessions::realSessions_data()
{
    QTest::addColumn<QString>("server");     // what plays the remote computer
    QTest::addColumn<QString>("connection"); // its attributes; %1 is the server's port
    QTest::addColumn<QByteArray>("established"); // what the server says once the session is up
    QTest::addColumn<QString>("reason");     // after the server went away; empty: a normal end
    const QString lost = QStringLiteral("The connection to the remote computer was lost.");
    QTest::newRow("vnc, server goes away") << "vnc" << "type=VNC;IP_address=127.0.0.1;Port=%1;Password=" + QString::fromLatin1(password)
                                          << QByteArray("Server default pixel format") << lost;
    QTest::newRow("vnc, wrong password") << "vnc" << "type=VNC;IP_address=127.0.0.1;Port=%1;Password=wrong"
                                        << QByteArray()
                                        << "Log-on to the remote computer failed. Check the password.";
    QTest::newRow("rdp, server goes away")
        << "rdp" << "IP_address=127.0.0.1;Port=%1;User_Name=tester;NLA=No;Password=" + QString::fromLatin1(password)
        << QByteArray("input_synchronize_event") << lost;
    QTest::newRow("rdp, unreachable") << "none" << "IP_address=127.0.0.1;Port=%1;User_Name=tester;NLA=No"
                                     << QByteArray() << "The remote computer could not be reached.";
    QTest::newRow("ssh, logs in") << "ssh" << "type=SSH;IP_address=127.0.0.1;Port=%1;User_Name=" + userName()
                                 << QByteArray("Accepted publickey for " + userName().toUtf8()) << "";
}

// The OSD logs on by itself and connects by itself; the supervisor runs the
// client on its own X display; when the session ends the OSD is back.
void TestHostSessions::realSessions()
{
    QFETCH(QString, server);
    QFETCH(QString, connection);
    QFETCH(QByteArray, established);
    QFETCH(QString, reason);
    TestUnit unit;
    QTemporaryDir work;
    const QString dir = work.path();
    const int port = freePort();
    std::unique_ptr<Running> clientScreen, remote, remoteScreen, agent;
    const QString clientDisplay = startDisplay(clientScreen, QStringLiteral("Xvfb"));
    QVERIFY2(!clientDisplay.isEmpty(), clientScreen->output().constData());

    QStringList sessionEnvironment;
    if (server == QLatin1String("vnc")) {
        QProcess encode;
        encode.start(QStringLiteral("vncpasswd"), { QStringLiteral("-f") });
        encode.write(password);
        encode.closeWriteChannel();
        QVERIFY(encode.waitForFinished(10000));
        QFile file(dir + QStringLiteral("/vnc.passwd"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(encode.readAllStandardOutput()) == 8);
        file.close();
        QVERIFY(!startDisplay(remote, QStringLiteral("Xvnc"),
            { QStringLiteral("-rfbport"), QString::number(port), QStringLiteral("-localhost"),
                QStringLiteral("-SecurityTypes"), QStringLiteral("VncAuth"), QStringLiteral("-PasswordFile"),
                file.fileName() })
                     .isEmpty());
        QVERIFY(remote->saw("Listening for VNC connections"));
    } else if (server == QLatin1String("rdp")) {
        const QString screen = startDisplay(remoteScreen, QStringLiteral("Xvfb"));
        QVERIFY(!screen.isEmpty());
        // On a loaded machine the shadow server may find its fresh display not
        // yet answering and give up at once; it is started again then.
        QDeadlineTimer deadline(90000);
        while (!listening(port) && !deadline.hasExpired()) {
            if (!remote || remote->process.state() == QProcess::NotRunning)
                remote.reset(new Running(QStringLiteral("freerdp-shadow-cli"),
                    { QStringLiteral("/port:%1").arg(port), QStringLiteral("/bind-address:127.0.0.1"),
                        QStringLiteral("-auth") },
                    { QStringLiteral("DISPLAY=") + screen, QStringLiteral("HOME=") + dir }));
            remote->process.waitForFinished(500);
        }
        QVERIFY2(listening(port), remote->output().right(2000).constData());
    } else if (server == QLatin1String("ssh")) {
        for (const char* key : { "host", "user" })
            QCOMPARE(QProcess::execute(QStringLiteral("ssh-keygen"), { QStringLiteral("-q"), QStringLiteral("-t"),
                         QStringLiteral("ed25519"), QStringLiteral("-N"), QString(), QStringLiteral("-f"),
                         dir + QLatin1Char('/') + QLatin1String(key) }),
                0);
        QFile::copy(dir + QStringLiteral("/user.pub"), dir + QStringLiteral("/authorized"));
        QFile config(dir + QStringLiteral("/sshd_config"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("ListenAddress 127.0.0.1\nPort %1\nHostKey %2/host\nAuthorizedKeysFile %2/authorized\n"
                                    "PidFile none\nUsePAM no\nStrictModes no\nPasswordAuthentication no\n"
                                    "ForceCommand sleep 2\n")
                         .arg(port)
                         .arg(dir)
                         .toUtf8());
        config.close();
        QDir().mkpath(QStringLiteral("/run/sshd"));
        remote.reset(new Running(QStringLiteral("/usr/sbin/sshd"), { QStringLiteral("-D"), QStringLiteral("-e"),
                                                                      QStringLiteral("-f"), config.fileName() }));
        const QString socket = dir + QStringLiteral("/agent");
        agent.reset(new Running(QStringLiteral("ssh-agent"), { QStringLiteral("-D"), QStringLiteral("-a"), socket }));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 20000);
        QProcess add;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SSH_AUTH_SOCK"), socket);
        add.setProcessEnvironment(env);
        add.start(QStringLiteral("ssh-add"), { dir + QStringLiteral("/user") });
        QVERIFY(add.waitForFinished(10000) && add.exitCode() == 0);
        sessionEnvironment << QStringLiteral("SSH_AUTH_SOCK=") + socket;
    }

    QDomDocument document = databaseWithUsers();
    addConnection(document, QStringLiteral("Far away"), connection.arg(port));
    associate(document, QStringLiteral("admin"), QStringLiteral("Far away"));
    QDomElement automatic = document.createElement(db::AutoConnect);
    automatic.setAttribute(db::AutoConnectName, QStringLiteral("Far away"));
    userNamed(document, QStringLiteral("admin")).appendChild(automatic);
    installDatabase(unit, document);
    unit.sim().editSection(QStringLiteral("launcher"), [](QJsonObject& launcher) {
        launcher.insert(QStringLiteral("backend"), QStringLiteral("host"));
    });

    const QString home = dir + QStringLiteral("/home");
    QDir().mkpath(home);
    Running supervisor(QStringLiteral(VELMO_SESSION_TOOL), { QStringLiteral("--osd"), QStringLiteral(VELMOGUI) },
        sessionEnvironment
            + QStringList { QStringLiteral("VELMO_UNIT_ROOT=") + unit.root(), QStringLiteral("DISPLAY=") + clientDisplay,
                QStringLiteral("HOME=") + home, QStringLiteral("ASAN_OPTIONS=detect_leaks=0") });
    if (!established.isEmpty()) {
        QVERIFY2(remote->saw(established, 60000), remote->seen.right(2000).constData());
        const QStringList found = leaks({ unit.root(), home, dir });
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char(' '))));
        QVERIFY(!unit.exists(QStringLiteral("/tmp/velmo-session/secret")));
        if (server != QLatin1String("ssh"))
            remote->stop();
    }
    // The OSD is back, with the reason as its argument when there is one.
    QVERIFY2(supervisor.saw("Starting the OSD", 60000, 2), supervisor.seen.constData());
    QCOMPARE(supervisor.seen.contains("with the disconnect reason \"" + reason.toUtf8() + '"'), !reason.isEmpty());
    ::kill(pid_t(supervisor.process.processId()), SIGTERM);
    QVERIFY(supervisor.process.waitForFinished(20000));
    QCOMPARE(supervisor.process.exitCode(), 0);
}

void TestHostSessions::directoryUsers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("connections"); // "-": no mapping configured
    QTest::addColumn<QString>("user"); // the user's record afterwards: attributes, then connections
    QTest::newRow("a directory user's role and connections follow the directory")
        << "aduser" << QStringList { "Lab", "Far", "Nowhere" }
        << "AD=true Privilege=Power User User_Name=aduser | Lab*1 Far";
    QTest::newRow("without a mapping the connections stay") << "aduser" << QStringList { "-" }
                                                            << "AD=true Privilege=Power User User_Name=aduser | Desk Lab*1";
    QTest::newRow("a new person") << "newbie" << QStringList { "Desk" }
                                  << "AD=true Privilege=Power User User_Name=newbie | Desk";
    QTest::newRow("a local user stays local") << "plain" << QStringList() << "";
}

// The database a directory log-on leaves: the person as a directory user with
// the role and connections the directory gives, nothing else changed.
void TestHostSessions::directoryUsers()
{
    QFETCH(QString, name);
    QFETCH(QStringList, connections);
    QFETCH(QString, user);
    TestUnit unit;
    QDomDocument document = databaseWithUsers();
    for (const char* connection : { "Desk", "Lab", "Far" })
        addConnection(document, QLatin1String(connection), QStringLiteral("IP_address=10.0.0.1"));
    userNamed(document, QStringLiteral("aduser")).setAttribute(db::Privilege, QStringLiteral("User"));
    associate(document, QStringLiteral("aduser"), QStringLiteral("Desk"));
    associate(document, QStringLiteral("aduser"), QStringLiteral("Lab"), QStringLiteral("1"));
    installDatabase(unit, document);

    QByteArray text = readUnitDatabase(unit.platform());
    QVERIFY(!text.isEmpty());
    QString fault;
    const std::optional<QStringList> mapping
        = connections == QStringList { "-" } ? std::nullopt : std::optional<QStringList>(connections);
    QCOMPARE(enrolDirectoryUser(&text, name, QStringLiteral("Power User"), mapping, &fault), !user.isEmpty());
    if (user.isEmpty()) {
        QVERIFY(!fault.isEmpty());
        return;
    }
    QVERIFY(writeUnitDatabase(unit.platform(), text));
    QDomDocument written;
    QVERIFY(written.setContent(readUnitDatabase(unit.platform())));
    const QDomElement record = userNamed(written, name);
    QStringList shown;
    const QMap<QString, QString> attributes = attributeMap(record);
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        shown << it.key() + QLatin1Char('=') + it.value();
    shown << QStringLiteral("|");
    for (QDomElement each = record.firstChildElement(db::AssociatedConnections); !each.isNull();
         each = each.nextSiblingElement(db::AssociatedConnections))
        shown << each.attribute(db::ConnectionName)
                + (each.hasAttribute(db::Favorite) ? QLatin1Char('*') + each.attribute(db::Favorite) : QString());
    QCOMPARE(shown.join(QLatin1Char(' ')), user);
    QCOMPARE(userNamed(written, QStringLiteral("boss")).attribute(db::Password), QStringLiteral("pw"));
    for (const char* copy : { "/mnt/perm/VelmoDataA.xml", "/mnt/perm/VelmoDataB.xml" })
        QCOMPARE(QFileInfo(unit.path(QLatin1String(copy))).permissions() & 0x0077, QFileDevice::Permissions());
}

VELMO_TEST_MAIN(TestHostSessions)
#include "test_hostsessions.moc"
