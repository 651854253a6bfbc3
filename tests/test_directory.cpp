// Directory log-on against a real slapd on loopback with its own CA, and the
// settings file that points at it.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/dbnames.h"
#include "directorylogon.h"
#include "logon.h"
#include "modal.h"
#include "programs.h"
#include "platform/platform.h"
#include "testmain.h"
#include "testunit.h"
#include "users/logindialog.h"
#include "widgets.h"

#include <QLineEdit>
#include <QPushButton>

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
const char base[] = "ou=people,dc=velmo,dc=test";
const char rootDn[] = "cn=admin,dc=velmo,dc=test";

const QString refused = QStringLiteral("Authentication|Authentication failed. Please try again.");
const QString unreachable
    = QStringLiteral("Authentication|Corvane manager can not be contacted. Check Corvane Configuration.");

// A unit just started whose database offers directory log-on, its directory
// services on the directory its settings file names.
struct DirectoryOsd {
    DirectoryOsd(const QByteArray& settings, const QByteArray& ca)
    {
        QDomDocument document = databaseWithUsers();
        document.documentElement()
            .firstChildElement(db::MgmtUnitSettings)
            .firstChildElement(db::Mgmt)
            .setAttribute(db::Ad, QStringLiteral("true"));
        for (const char* connection : { "Lab", "Desk 1", "Far" })
            addConnection(document, QLatin1String(connection), QStringLiteral("IP_address=10.0.0.1"));
        installDatabase(test, document);
        test.writeFile(QStringLiteral("/mnt/perm/directory.conf"), settings);
        test.writeFile(QStringLiteral("/mnt/perm/directory-ca.pem"), ca);
        test.sim().editSection(QStringLiteral("directory"),
            [](QJsonObject& directory) { directory.insert(QStringLiteral("backend"), QStringLiteral("ldap")); });
        test.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), QByteArray());
        {
            const auto startUp = answerNextLogon(QString(), QString());
            window = std::make_unique<MainWindow>(test.platform(), nullptr, &user);
        }
        QTest::qWait(40); // lets the queued close of that refusal pass
    }
    // Logs on through the dialog, answering the box in `expected`; the boxes shown.
    QStringList logOn(const QString& name, const QString& password, const QString& expected)
    {
        LoginDialog dialog(window->context(), *window);
        const int before = answeredBoxes().size();
        if (!expected.isEmpty())
            answerNextBox(expected.section(QLatin1Char('|'), 0, 0), QMessageBox::Ok);
        auto* nameEdit = child<QLineEdit>(dialog, "userNamelineEdit");
        nameEdit->clear();
        nameEdit->insert(name);
        child<QLineEdit>(dialog, "passwordlineEdit")->insert(password);
        child<QPushButton>(dialog, "logonButton")->click();
        return boxesSince(before, QStringLiteral("|"));
    }
    // The person's record as stored: privilege, and connections after a "|".
    QString record(const QString& name) const
    {
        QDomDocument stored;
        stored.setContent(test.readFile(QStringLiteral("/mnt/perm/VelmoDataA.xml")));
        const QDomElement person = userNamed(stored, name);
        if (person.isNull() || person.attribute(db::Ad) != QLatin1String("true") || person.hasAttribute(db::Password))
            return QStringLiteral("no directory user");
        QStringList shown { person.attribute(db::Privilege), QStringLiteral("|") };
        for (QDomElement each = person.firstChildElement(db::AssociatedConnections); !each.isNull();
             each = each.nextSiblingElement(db::AssociatedConnections))
            shown << each.attribute(db::ConnectionName);
        return shown.join(QLatin1Char(' '));
    }

    TestUnit test;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};
} // namespace

class TestDirectory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void settingsFile_data();
    void settingsFile();
    void throughTheOsd_data();
    void throughTheOsd();
    void groupChangeShowsAtTheNextLogOn();

private:
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }
    bool run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool ran = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
        if (!ran)
            qWarning("%s: %s", qPrintable(program), process.readAll().constData());
        return ran;
    }
    void write(const char* name, const QByteArray& text)
    {
        QFile out(file(name));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
    }
    // The unit's settings file for a directory at `where`; `lookup` says how a
    // person is found and whether TLS is used.
    QByteArray settings(quint16 where, const QString& lookup = QString()) const
    {
        return (QStringLiteral("uri = ldap://127.0.0.1:%1/\nbase = %2\n").arg(where).arg(QLatin1String(base))
            + (lookup.isEmpty() ? QStringLiteral("user_filter = (uid=%s)\nstarttls = yes\n") : lookup)
            + QStringLiteral("ca_file = /mnt/perm/directory-ca.pem\nadmin_group = cn=admins,dc=velmo,dc=test\n"
                             "power_group = cn=power,dc=velmo,dc=test\nconnections_attribute = description\n"))
            .toUtf8();
    }
    QByteArray ca(const char* name) const
    {
        QFile in(file(name));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    QProcess slapd;
    quint16 port = 0;
};

void TestDirectory::initTestCase()
{
    const QStringList ec { "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes" };
    for (const char* ca : { "ca", "other" }) {
        QVERIFY(run("openssl",
            QStringList { "req", "-x509", "-days", "2" } + ec
                + QStringList { "-subj", QStringLiteral("/CN=%1").arg(ca), "-keyout", file(ca) + ".key",
                    "-out", file(ca) + ".pem" }));
    }
    QVERIFY(run("openssl",
        QStringList { "req" } + ec
            + QStringList { "-subj", "/CN=127.0.0.1", "-keyout", file("server.key"), "-out",
                file("server.csr"), "-addext", "subjectAltName=IP:127.0.0.1" }));
    QVERIFY(run("openssl",
        { "x509", "-req", "-in", file("server.csr"), "-CA", file("ca.pem"), "-CAkey", file("ca.key"),
            "-CAcreateserial", "-days", "2", "-copy_extensions", "copy", "-out", file("server.pem") }));

    QVERIFY(QDir(dir.path()).mkdir("db"));
    write("slapd.conf",
        QStringLiteral(R"(include /etc/ldap/schema/core.schema
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
rootdn "%2"
rootpw root-pw
directory %1/db
access to attrs=userPassword by anonymous auth by * none
access to * by * read
)")
            .arg(dir.path(), rootDn)
            .toUtf8());
    QByteArray ldif = "dn: dc=velmo,dc=test\nobjectClass: dcObject\nobjectClass: organization\no: Velmo\n\n"
                      "dn: ou=people,dc=velmo,dc=test\nobjectClass: organizationalUnit\n\n";
    for (const char* person : { "alice", "bob", "carol" }) {
        ldif += QStringLiteral(
            "dn: uid=%1,%2\nobjectClass: inetOrgPerson\ncn: %1\nsn: %1\nuserPassword: %1-pw\n"
            "description: Lab\n")
                    .arg(person, base)
                    .toUtf8();
        ldif += person == QLatin1String("alice") ? "description: Desk 1\n\n" : "\n";
    }
    for (const char* group : { "admins: alice", "power: bob" }) {
        const QStringList parts = QString::fromLatin1(group).split(": ");
        ldif += QStringLiteral("dn: cn=%1,dc=velmo,dc=test\nobjectClass: groupOfNames\nmember: uid=%2,%3\n"
                               "member: cn=nobody,dc=velmo,dc=test\n\n")
                    .arg(parts.at(0), parts.at(1), base)
                    .toUtf8();
    }
    write("data.ldif", ldif);
    write("root.pw", "root-pw");
    QVERIFY(QFile::setPermissions(file("root.pw"), QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(run("/usr/sbin/slapadd", { "-f", file("slapd.conf"), "-l", file("data.ldif") }));

    port = freePort();
    // Its output goes nowhere: a slapd left behind by a crash must not hold ctest's pipe.
    slapd.setStandardOutputFile(QProcess::nullDevice());
    slapd.setStandardErrorFile(QProcess::nullDevice());
    slapd.start("/usr/sbin/slapd",
        { "-d", "0", "-h", QStringLiteral("ldap://127.0.0.1:%1/").arg(port), "-f", file("slapd.conf") });
    QVERIFY(slapd.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(listening(port), 30000);
}

void TestDirectory::cleanupTestCase()
{
    slapd.terminate();
    slapd.waitForFinished(10000);
}

void TestDirectory::settingsFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("refusal"); // empty: taken
    const QByteArray uri = "uri = ldaps://dir\n", where = "base = dc=x\n",
                     filter = "user_filter = (uid=%s)\n";
    const QByteArray lookup = uri + where + filter;
    const QByteArray account = lookup + "bind_dn = cn=r\nbind_password = pw\n";
    const auto row = [](const char* name, const QByteArray& text, int mode, const char* refusal) {
        QTest::newRow(name) << text << mode << QString::fromLatin1(refusal);
    };
    row("taken, comments and spaces", "# unit\n\n  " + lookup + "timeout_seconds=5\n", 0644, "");
    row("unknown key", lookup + "colour = red\n", 0644, "line 4: unknown key \"colour\"");
    row("key given twice", lookup + "base = dc=y\n", 0644, "line 4: \"base\" is given twice");
    row("control character", lookup + "base2 = x\r\n", 0644, "control character");
    row("no uri", where + filter, 0644, "no uri");
    row("no way to find a person", uri + where, 0644, "user_filter and user_dn");
    row("filter with a second %", uri + where + "user_filter = (uid=%s%d)", 0644,
        "\"user_filter\" has a value");
    row("timeout out of range", lookup + "timeout_seconds = 0", 0644, "\"timeout_seconds\" has a value");
    row("plain ldap unasked", "uri = ldap://dir\n" + where + filter, 0644, "allow_plain");
    row("plain ldap asked for", "uri = ldap://dir\nallow_plain = yes\n" + where + filter, 0644, "");
    row("starttls over ldaps", lookup + "starttls = yes", 0644, "starttls on an ldaps");
    row("search password others may read", account, 0640, "bind_password and others");
    row("search password for the owner only", account, 0600, "");
    row("larger than the bound", lookup + QByteArray(64 * 1024, '#'), 0644, "larger than");
    row("a link", QByteArray(), 0, "cannot be opened");
}
void TestDirectory::settingsFile()
{
    QFETCH(QByteArray, text);
    QFETCH(int, mode);
    QFETCH(QString, refusal);
    TestUnit unit;
    const QString path = QStringLiteral("/mnt/perm/directory.conf");
    QVERIFY(unit.writeFile("/mnt/perm/real.conf", "uri = ldaps://dir\nbase = dc=x\nuser_dn = uid=%s\n"));
    if (mode == 0)
        QVERIFY(QFile::link(unit.path("/mnt/perm/real.conf"), unit.path(path)));
    else
        QVERIFY(unit.writeFile(path, text)
            && ::chmod(QFile::encodeName(unit.path(path)).constData(), mode_t(mode)) == 0);
    QString reason;
    const std::optional<DirectoryConfig> config = readDirectoryConfig(unit.platform(), path, &reason);
    QVERIFY2(config.has_value() == refusal.isEmpty() && reason.contains(refusal), qPrintable(reason));
}

void TestDirectory::throughTheOsd_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("server"); // "slapd", "stopped", "silent", or "other CA" (slapd with a CA that did not sign it)
    QTest::addColumn<QString>("box"); // empty: logged on
    QTest::addColumn<QString>("record"); // the person in the database afterwards
    QTest::addColumn<QString>("logged"); // what the unit log says of it
    QTest::addColumn<QString>("lookup"); // how the settings find a person; empty: by uid, with StartTLS
    const QString none = QStringLiteral("no directory user");
    const QString byDn = QStringLiteral("user_dn = uid=%s,ou=people,dc=velmo,dc=test\nstarttls = yes\n");
    QTest::newRow("administrator") << "alice" << "alice-pw" << "slapd" << "" << "Administrator | Lab Desk 1"
                                   << "logged on as uid=alice" << QString();
    QTest::newRow("in no group, without TLS") << "carol" << "carol-pw" << "slapd" << "" << "User | Lab" << "in the clear"
                                             << "user_filter = (uid=%s)\nallow_plain = yes\n";
    QTest::newRow("wrong password") << "alice" << "bob-pw" << "slapd" << refused << none << "wrong password" << QString();
    QTest::newRow("unknown person") << "dave" << "dave-pw" << "slapd" << refused << none << "no person" << QString();
    QTest::newRow("empty password") << "alice" << "" << "slapd" << refused << none << "never sent" << QString();
    QTest::newRow("a blank before the name") << " alice" << "alice-pw" << "slapd" << refused << none
                                             << "is not looked up" << QString();
    QTest::newRow("server stopped") << "alice" << "alice-pw" << "stopped" << unreachable << none << "unreachable" << QString();
    QTest::newRow("server never answers") << "alice" << "alice-pw" << "silent"
                                         << "Authentication Timeout|System busy. Please try again." << none
                                         << "no answer from" << QString();
    QTest::newRow("certificate of another CA") << "alice" << "alice-pw" << "other CA" << unreachable << none
                                               << "certificate was not verified" << QString();
    QTest::newRow("by DN template") << "bob" << "bob-pw" << "slapd" << "" << "Power User | Lab" << "logged on as uid=bob"
                                    << byDn;
    QTest::newRow("unknown by DN template") << "dave" << "dave-pw" << "slapd" << refused << none
                                            << "refused by the directory" << byDn;
    QTest::newRow("a wildcard is no name") << "a*" << "alice-pw" << "slapd" << refused << none << "no person"
                                           << QString();
    QTest::newRow("a name three people have") << "Lab" << "alice-pw" << "slapd" << refused << none << "more than one"
                                              << "user_filter = (description=%s)\nstarttls = yes\n";
}

// The real log-on dialog against the real directory: the box a person sees,
// and the directory user the unit keeps.
void TestDirectory::throughTheOsd()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, server);
    QFETCH(QString, box);
    QFETCH(QString, record);
    QFETCH(QString, logged);
    QFETCH(QString, lookup);
    QTcpServer silent;
    quint16 where = port;
    if (server == QLatin1String("stopped"))
        where = freePort();
    if (server == QLatin1String("silent")) {
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        where = silent.serverPort();
    }
    DirectoryOsd osd(settings(where, lookup), ca(server == QLatin1String("other CA") ? "other.pem" : "ca.pem"));
    QCOMPARE(osd.logOn(user, password, box), box.isEmpty() ? QStringList() : QStringList { box });
    QCOMPARE(osd.window->getLoggedInUser(), box.isEmpty() ? user : QString());
    QCOMPARE(osd.record(user.trimmed()), record);
    QString log;
    for (const SimLogLine& line : osd.test.logLines())
        log += line.text;
    QVERIFY2(log.contains(logged), qPrintable(log.right(3000)));
    QVERIFY(password.isEmpty() || !log.contains(password));
    QCOMPARE(log.contains(QLatin1String("in the clear")), lookup.contains(QLatin1String("allow_plain")));
}

void TestDirectory::groupChangeShowsAtTheNextLogOn()
{
    const QStringList modify { "-x", "-H", QStringLiteral("ldap://127.0.0.1:%1/").arg(port), "-D", rootDn, "-y", file("root.pw"), "-f",
        file("change.ldif") };
    const QString bob = QStringLiteral("uid=bob,%1").arg(base);
    const struct {
        const char* change;
        const char* privilege;
    } steps[] = {
        { "dn: cn=admins,dc=velmo,dc=test\nchangetype: modify\nadd: member\nmember: %1\n", "Administrator" },
        { "dn: cn=admins,dc=velmo,dc=test\nchangetype: modify\ndelete: member\nmember: %1\n\n"
          "dn: cn=power,dc=velmo,dc=test\nchangetype: modify\ndelete: member\nmember: %1\n",
            "User" },
    };
    DirectoryOsd osd(settings(port), ca("ca.pem"));
    QCOMPARE(osd.logOn("bob", "bob-pw", QString()), QStringList());
    QCOMPARE(osd.record("bob"), QStringLiteral("Power User | Lab"));
    for (const auto& step : steps) {
        write("change.ldif", QString::fromLatin1(step.change).arg(bob).toUtf8());
        QVERIFY(run("ldapmodify", modify));
        QCOMPARE(osd.logOn("bob", "bob-pw", QString()), QStringList());
        QCOMPARE(osd.record("bob"), QString::fromLatin1(step.privilege) + QStringLiteral(" | Lab"));
    }
}

VELMO_TEST_MAIN(TestDirectory)
#include "test_directory.moc"
