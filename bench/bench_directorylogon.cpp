// Log-on of a directory user beside a user of the database, in one process:
// from Return in the real log-on dialog until it accepts (the main window then
// shows the user), against a real slapd on loopback with its own CA and
// StartTLS, on the real clock. The OSD asks for the directory's answer once a
// second, so a. holds that wait whatever the directory does; c. is the
// directory work alone (find, bind, groups), from its start until it answers.
// Needs slapd, slapadd and openssl; without them it says so and measures nothing.

#include "benchdatabase.h"
#include "benchgui.h"

#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "directoryconfig.h"
#include "directorylogon.h"
#include "simunit.h"
#include "users/logindialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char base[] = "ou=people,dc=velmo,dc=test";
const QString directoryUser = QStringLiteral("alice");
const QString localUser = QStringLiteral("boss");
const QString settingsPath = QStringLiteral("/mnt/perm/directory.conf");

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_directorylogon: ") + why);
    return 1;
}

// slapd and slapadd live in sbin, which an ordinary PATH may leave out.
QString tool(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(
               name, { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin") })
                           : found;
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile out(path);
    return QDir().mkpath(QFileInfo(path).path()) && out.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && out.write(text) == text.size();
}

// Binds port 0 and returns the port given (`find`), or connects to `port`
// and returns it when something listens there; 0 otherwise.
quint16 loopbackPort(bool find, quint16 port = 0)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    const bool done = socket >= 0
        && (find ? ::bind(socket, raw, size) == 0 && ::getsockname(socket, raw, &size) == 0
                 : ::connect(socket, raw, size) == 0);
    if (socket >= 0)
        ::close(socket);
    return done ? ntohs(address.sin_port) : 0;
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A slapd of its own on a free loopback port: a CA, a server certificate for
// 127.0.0.1, one person in the administrators' group.
class Directory {
public:
    ~Directory()
    {
        slapd.terminate();
        slapd.waitForFinished(10000);
    }

    // Empty when it answers, else why not.
    QString start(const QString& slapdProgram)
    {
        if (!dir.isValid())
            return QStringLiteral("no temporary folder");
        const QStringList ec { "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes" };
        const QList<QStringList> certificates {
            QStringList { "req", "-x509", "-days", "2", "-subj", "/CN=bench CA", "-keyout", file("ca.key"),
                "-out", file("ca.pem") }
                + ec,
            QStringList { "req", "-subj", "/CN=127.0.0.1", "-keyout", file("server.key"), "-out",
                file("server.csr"), "-addext", "subjectAltName=IP:127.0.0.1" }
                + ec,
            { "x509", "-req", "-in", file("server.csr"), "-CA", file("ca.pem"), "-CAkey", file("ca.key"),
                "-CAcreateserial", "-days", "2", "-copy_extensions", "copy", "-out", file("server.pem") },
        };
        for (const QStringList& arguments : certificates)
            if (const QString why = run(openssl, arguments); !why.isEmpty())
                return why;

        const QByteArray conf = QStringLiteral(R"(include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
modulepath /usr/lib/ldap
moduleload back_mdb
pidfile %1/slapd.pid
TLSCACertificateFile %1/ca.pem
TLSCertificateFile %1/server.pem
TLSCertificateKeyFile %1/server.key
database mdb
maxsize 10485760
suffix "dc=velmo,dc=test"
rootdn "cn=admin,dc=velmo,dc=test"
directory %1/db
access to attrs=userPassword by anonymous auth by * none
access to * by * read
)")
                                    .arg(dir.path())
                                    .toUtf8();
        const QByteArray ldif = QStringLiteral(
            "dn: dc=velmo,dc=test\nobjectClass: dcObject\nobjectClass: organization\no: Velmo\n\n"
            "dn: %1\nobjectClass: organizationalUnit\n\n"
            "dn: uid=alice,%1\nobjectClass: inetOrgPerson\ncn: alice\nsn: alice\nuserPassword: alice-pw\n"
            "description: Lab\ndescription: Desk 1\n\n"
            "dn: cn=admins,dc=velmo,dc=test\nobjectClass: groupOfNames\nmember: uid=alice,%1\n")
                                    .arg(QLatin1String(base))
                                    .toUtf8();
        if (!QDir(dir.path()).mkdir(QStringLiteral("db")) || !writeFile(file("slapd.conf"), conf)
            || !writeFile(file("data.ldif"), ldif))
            return QStringLiteral("cannot write the directory's files in ") + dir.path();
        if (const QString why = run(slapadd, { "-f", file("slapd.conf"), "-l", file("data.ldif") });
            !why.isEmpty())
            return why;

        port = loopbackPort(true);
        if (port == 0)
            return QStringLiteral("no free loopback port");
        slapd.setStandardOutputFile(QProcess::nullDevice());
        slapd.setStandardErrorFile(QProcess::nullDevice());
        slapd.start(slapdProgram,
            { "-d", "0", "-h", QStringLiteral("ldap://127.0.0.1:%1/").arg(port), "-f", file("slapd.conf") });
        if (!slapd.waitForStarted())
            return QStringLiteral("slapd did not start");
        for (int attempt = 0; attempt < 60; ++attempt, settle(500))
            if (loopbackPort(false, port))
                return QString();
        return QStringLiteral("slapd does not answer on port %1").arg(port);
    }

    // The unit's settings file for this directory.
    QByteArray settings() const
    {
        return QStringLiteral(
            "uri = ldap://127.0.0.1:%1/\nbase = %2\nuser_filter = (uid=%s)\nstarttls = yes\n"
            "ca_file = /mnt/perm/directory-ca.pem\nadmin_group = cn=admins,dc=velmo,dc=test\n"
            "connections_attribute = description\n")
            .arg(port)
            .arg(QLatin1String(base))
            .toUtf8();
    }
    QByteArray ca() const
    {
        QFile in(file("ca.pem"));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    QString openssl = tool(QStringLiteral("openssl"));
    QString slapadd = tool(QStringLiteral("slapadd"));
    quint16 port = 0;

private:
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QString run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0)
            return QString();
        return program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll()).trimmed();
    }

    QTemporaryDir dir { QDir::tempPath() + QStringLiteral("/bench_directorylogon-slapd-XXXXXX") };
    QProcess slapd;
};

// A unit just started whose database offers directory log-on, its directory
// services on the directory its settings file names; no one logged on.
struct Osd {
    Osd(const QString& folder, const Directory& directory)
        : unit(folder, false)
    {
        QDomDocument document = newDatabaseDocument();
        QDomElement root = document.documentElement();
        root.firstChildElement(db::MgmtUnitSettings)
            .firstChildElement(db::Mgmt)
            .setAttribute(db::Ad, QStringLiteral("true"));
        QDomElement boss = document.createElement(db::User);
        boss.setAttribute(db::UserName, localUser);
        boss.setAttribute(db::Password, QStringLiteral("pw"));
        boss.setAttribute(db::Privilege, QStringLiteral("Administrator"));
        root.firstChildElement(db::Users).appendChild(boss);
        for (const char* name : { "Lab", "Desk 1", "Far" }) {
            QDomElement connection = document.createElement(db::Connection);
            connection.setAttribute(db::Name, QLatin1String(name));
            connection.setAttribute(db::IpAddress, QStringLiteral("10.0.0.1"));
            root.firstChildElement(db::Connections).appendChild(connection);
        }
        ready = bench::installDatabase(unit, databaseText(document))
            && writeFile(unit.path(settingsPath), directory.settings())
            && writeFile(unit.path(QStringLiteral("/mnt/perm/directory-ca.pem")), directory.ca())
            && writeFile(unit.path(QStringLiteral("/tmp/guiBootCount.txt")), QByteArray());
        unit.editSection(QStringLiteral("directory"),
            [](QJsonObject& section) { section.insert(QStringLiteral("backend"), QStringLiteral("ldap")); });
        window = std::make_unique<MainWindow>(unit.platform(), nullptr, &user);
        settle(40); // lets the queued close of the start-up refusal pass
    }

    // The time from Return in a shown log-on dialog until it accepted `name`, in µs; -1 when it did not.
    double logOn(const QString& name, const QString& password)
    {
        LoginDialog dialog(window->context(), *window);
        auto* nameEdit = dialog.findChild<QLineEdit*>(QStringLiteral("userNamelineEdit"));
        auto* passwordEdit = dialog.findChild<QLineEdit*>(QStringLiteral("passwordlineEdit"));
        if (!nameEdit || !passwordEdit)
            return -1;
        nameEdit->setText(name);
        passwordEdit->insert(password);
        dialog.show();
        QCoreApplication::processEvents();
        passwordEdit->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        bench::Timer timer;
        QApplication::sendEvent(passwordEdit, &press);
        const double elapsed = timer.elapsedUs();
        return dialog.result() == QDialog::Accepted && window->getLoggedInUser() == name ? elapsed : -1;
    }

    SimUnit unit;
    bool ready = false;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

// The directory work as the unit's services run it, without the OSD's poll:
// from the start of the attempt until it answers, in µs; -1 when not bound.
double directoryWork(const DirectoryConfig& config)
{
    bench::Timer timer;
    DirectoryLogon logon(config, [] { return QDateTime::currentMSecsSinceEpoch(); });
    int status = logon.start(directoryUser, QByteArrayLiteral("alice-pw"));
    if (status == 0)
        status = logon.status();
    for (int wait = 0; status == DirectoryRunning && wait < 300; ++wait) {
        logon.waitForProgress(100);
        status = logon.status();
    }
    const double elapsed = timer.elapsedUs();
    const bool bound = status == DirectoryBound && logon.result().privilege == QLatin1String("Administrator");
    logon.complete();
    return bound ? elapsed : -1;
}

QString ratio(double over, double under)
{
    return under > 0 ? QString::number(over / under, 'f', 2) : QStringLiteral("n/a");
}

} // namespace

int main(int argc, char** argv)
{
    bench::prepareGuiProcess();
    QApplication application(argc, argv);
    const int runs = bench::runCount(application.arguments());

    const QString slapd = tool(QStringLiteral("slapd"));
    Directory directory;
    if (slapd.isEmpty() || directory.slapadd.isEmpty() || directory.openssl.isEmpty()) {
        bench::printLine(QStringLiteral("bench_directorylogon: skipped, needs slapd, slapadd and openssl"));
        return 0;
    }
    if (const QString why = directory.start(slapd); !why.isEmpty())
        return fail(why);

    QTemporaryDir folder(qEnvironmentVariable("VELMO_BENCH_DIR", QDir::tempPath())
        + QStringLiteral("/bench_directorylogon-XXXXXX"));
    if (!folder.isValid())
        return fail(QStringLiteral("cannot create a temporary folder"));
    // Refuses the log-on dialog the window opens at start-up, and closes any
    // box, keeping its text: a box means a log-on failed, and must not hang the run.
    QStringList boxes;
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&boxes] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            boxes << box->windowTitle() + QStringLiteral(": ") + box->text();
        modal->reject();
    });
    boxWatch.start(20);
    Osd osd(folder.path() + QStringLiteral("/unit"), directory);
    if (!osd.ready)
        return fail(QStringLiteral("cannot set the unit up in ") + folder.path());
    QString reason;
    const std::optional<DirectoryConfig> config
        = readDirectoryConfig(osd.unit.platform(), settingsPath, &reason);
    if (!config)
        return fail(QStringLiteral("the unit's directory settings are refused: ") + reason);

    // The three take turns, so that the machine's drift touches them alike.
    QVector<double> directoryUs, localUs, workUs;
    QString failed;
    bench::repeat(runs, [&](bool measured) {
        if (!failed.isEmpty())
            return;
        osd.unit.clearRecords();
        const double a = osd.logOn(directoryUser, QStringLiteral("alice-pw"));
        const QList<SimLogLine> log = osd.unit.logLines();
        const bool fromDirectory = std::any_of(log.begin(), log.end(), [](const SimLogLine& line) {
            return line.text.contains(QStringLiteral("logged on as uid=alice"));
        });
        const double b = osd.logOn(localUser, QStringLiteral("pw"));
        const double c = directoryWork(*config);
        if (a < 0 || !fromDirectory)
            failed = QStringLiteral("a: the directory user was not logged on through the directory");
        else if (b < 0)
            failed = QStringLiteral("b: the local user was not logged on");
        else if (c < 0)
            failed = QStringLiteral("c: the directory did not bind the person as an administrator");
        if (!failed.isEmpty() || !measured)
            return;
        directoryUs << a;
        localUs << b;
        workUs << c;
    });
    if (!failed.isEmpty()) {
        if (!boxes.isEmpty())
            failed += QStringLiteral("; boxes shown: ") + boxes.join(QStringLiteral("; "));
        return fail(failed);
    }

    const double a = bench::median(directoryUs), b = bench::median(localUs), c = bench::median(workUs);
    bench::printLine(QStringLiteral("log-on in one process, Return until the dialog accepts; slapd on "
                                    "127.0.0.1 with StartTLS; %1 runs after %2 warm-up runs")
                         .arg(runs)
                         .arg(bench::defaultWarmUps));
    // Above two seconds a run waited for more than one poll.
    bench::printLine(
        QStringLiteral("a. directory user, with the OSD's 1 s poll wait: median %1 (min %2, max %3)")
            .arg(bench::formatUs(a),
                bench::formatUs(*std::min_element(directoryUs.begin(), directoryUs.end())),
                bench::formatUs(*std::max_element(directoryUs.begin(), directoryUs.end()))));
    bench::printLine(QStringLiteral("b. user of the database: median %1").arg(bench::formatUs(b)));
    bench::printLine(QStringLiteral("c. the directory work alone, start until answered: median %1")
                         .arg(bench::formatUs(c)));
    bench::printLine(QStringLiteral("ratios: a/b %1, c/b %2; a beyond the poll wait: %3")
                         .arg(ratio(a, b), ratio(c, b), bench::formatUs(a - 1e6)));
    bench::printLine(bench::resultLine(QStringLiteral("directorylogon"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("directory_us"), QString::number(a, 'f', 1) },
            { QStringLiteral("local_us"), QString::number(b, 'f', 1) },
            { QStringLiteral("work_us"), QString::number(c, 'f', 1) },
            { QStringLiteral("ratio_directory_local"), ratio(a, b) },
            { QStringLiteral("ratio_work_local"), ratio(c, b) } }));
    return 0;
}
