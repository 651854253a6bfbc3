// velmo-session as a host runs it: a fake OSD that launches a session on every
// run, real and fake clients on a private X display, and the processes left.
#include "preparedsession.h"
#include "programs.h"
#include "testmain.h"
#include "testunit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>

namespace {

const QString tool = QStringLiteral(VELMO_SESSION_TOOL);
const QByteArray password = "S3cret pass";

// Records what it got on its first run only, and fails like a lost connection.
const QByteArray fakeClient = R"(#!/bin/sh
set -C
printf '%s' "$*" > "$FAKE_CLIENT_RECORD.arguments" || exit 1
cat /dev/fd/3 > "$FAKE_CLIENT_RECORD.fd3" 2>/dev/null
head -n 1 > "$FAKE_CLIENT_RECORD.input"
test -e "$VELMO_UNIT_ROOT/tmp/velmo-session/secret" && : > "$FAKE_CLIENT_RECORD.secret-left"
exit 1
)";

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QByteArray run(
    const QString& program, const QStringList& arguments, const QByteArray& input, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput() + process.readAllStandardError();
}

struct ProcessFacts {
    qint64 parent;
    qint64 group;
    QByteArray name;
};

// Every process that has not ended.
QList<ProcessFacts> processes()
{
    QList<ProcessFacts> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray stat = contents(QStringLiteral("/proc/%1/stat").arg(entry));
        const int open = stat.indexOf('(');
        const int close = stat.lastIndexOf(')');
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (open > 0 && close > open && fields.size() > 2 && fields.at(0) != "Z")
            found.append({ fields.at(1).toLongLong(), fields.at(2).toLongLong(),
                stat.mid(open + 1, close - open - 1) });
    }
    return found;
}

// The process group of the supervisor's child once `member` is in it; 0 before.
qint64 childGroupWith(qint64 supervisor, const QByteArray& member)
{
    const QList<ProcessFacts> all = processes();
    for (const ProcessFacts& child : all)
        for (const ProcessFacts& process : all)
            if (child.parent == supervisor && process.group == child.group && process.name == member)
                return child.group;
    return 0;
}

bool groupGone(qint64 group)
{
    const QList<ProcessFacts> all = processes();
    return std::none_of(all.begin(), all.end(), [group](const ProcessFacts& p) { return p.group == group; });
}

LaunchRequest vncTo(quint16 port)
{
    return { QStringLiteral("vnc"), { { "host", "127.0.0.1" }, { "port", QString::number(port) } } };
}

} // namespace

Q_DECLARE_METATYPE(LaunchRequest)

class TestSessionSupervisor : public QObject {
    Q_OBJECT

    std::unique_ptr<Running> display;
    QString displayName;
    std::unique_ptr<TestUnit> unit;
    std::unique_ptr<QTemporaryDir> scratch;
    QProcess supervisor;
    QElapsedTimer clock;
    QByteArray log; // the supervisor's standard error
    QList<qint64> osdStarts; // when each OSD start was logged, by `clock`
    int scanned = 0; // of `log`, in whole lines

    QString staged() const { return scratch->path() + QStringLiteral("/tmp"); }

    // Every run of this OSD puts what was staged in the unit's /tmp again.
    QStringList copyingOsd() const
    {
        return { "--osd", "/bin/cp", "--", "-r", "-t", unit->root(), "--", staged() };
    }

    // What a launcher hands over, put aside for the fake OSD.
    void stage(const LaunchRequest& launch)
    {
        QStringList launcherLog;
        QCOMPARE(prepareSession(unit->platform(), launch, password, &launcherLog), 0);
        QVERIFY(QDir().rename(unit->path(QStringLiteral("/tmp")), staged()));
    }

    void startSupervisor(const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELMO_UNIT_ROOT"), unit->root());
        environment.insert(QStringLiteral("DISPLAY"), displayName);
        supervisor.setProcessEnvironment(environment);
        supervisor.start(tool, arguments);
        QVERIFY(supervisor.waitForStarted());
    }

    void readLog()
    {
        log += supervisor.readAllStandardError();
        for (int end; (end = log.indexOf('\n', scanned)) >= 0; scanned = end + 1)
            if (log.mid(scanned, end - scanned).contains("velmo-session: Starting the OSD"))
                osdStarts << clock.elapsed();
    }

private slots:
    void initTestCase()
    {
        connect(&supervisor, &QProcess::readyReadStandardError, this, &TestSessionSupervisor::readLog);
        displayName = startDisplay(display, QStringLiteral("Xvfb"), { "-screen", "0", "800x600x24" });
        QVERIFY2(!displayName.isEmpty(), "Xvfb is needed: ./scripts/setup installs it");
    }

    void cleanupTestCase() { display.reset(); }

    void init()
    {
        unit = std::make_unique<TestUnit>();
        scratch = std::make_unique<QTemporaryDir>();
        log.clear();
        scanned = 0;
        osdStarts.clear();
        clock.start();
    }

    void cleanup()
    {
        supervisor.terminate();
        if (!supervisor.waitForFinished(10000))
            supervisor.kill();
        supervisor.waitForFinished();
    }

    // A client that fails at once, again and again, is started ever less often.
    void quickFailuresBackOff()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        stage(vncTo(port));
        startSupervisor(QStringList { "--backoff-ms", "100" } + copyingOsd());
        QTRY_VERIFY_WITH_TIMEOUT(osdStarts.size() >= 6, 30000);
        QTest::qWait(3000);

        // After the first failure no wait, then 100, 200, 400 ... ms: n starts
        // span at least 100 * (2^(n-2) - 1) ms.
        const qint64 span = clock.elapsed() - osdStarts.first() + 1000; // a first line read late
        const int allowed = 2 + int(std::log2(double(span) / 100 + 1));
        QVERIFY2(osdStarts.size() <= allowed,
            qPrintable(QStringLiteral("%1 starts in %2 ms").arg(osdStarts.size()).arg(span)));
        QVERIFY(osdStarts.at(5) - osdStarts.at(4) >= 600); // the fifth wait is 800 ms
        // The reason of a first failure is shown without a wait.
        QVERIFY(log.indexOf("Waiting") > log.indexOf("Starting the OSD", log.indexOf("Starting the OSD") + 1));
        QVERIFY(log.startsWith("velmo-session: Starting the OSD: /bin/cp\n"));
        QVERIFY(log.contains("velmo-session: Starting the OSD: /bin/cp with the disconnect reason \""));
        QCOMPARE(supervisor.state(), QProcess::Running);
    }

    void stopEndsTheChildGroup_data()
    {
        QTest::addColumn<QStringList>("osd");
        QTest::addColumn<QByteArray>("member");
        // The listener accepts and never answers, so the client waits for ever.
        QTest::newRow("client waiting for its server") << QStringList() << QByteArray("vncviewer");
        QTest::newRow("OSD with a program of its own")
            << QStringList { "--osd", "/bin/sh", "--", "-c", "/bin/sleep 60 & wait" } << QByteArray("sleep");
        QTest::newRow("waiting after a failure")
            << QStringList { "--backoff-ms", "60000", "--osd", "/bin/false" } << QByteArray();
    }

    void stopEndsTheChildGroup()
    {
        QFETCH(QStringList, osd);
        QFETCH(QByteArray, member);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        if (osd.isEmpty()) {
            stage(vncTo(silent.serverPort()));
            osd = copyingOsd();
        }
        startSupervisor(osd);
        qint64 group = 0;
        if (member.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(log.contains("velmo-session: Waiting 60000 ms"), 30000);
        else
            QTRY_VERIFY_WITH_TIMEOUT((group = childGroupWith(supervisor.processId(), member)) != 0, 30000);

        ::kill(pid_t(supervisor.processId()), SIGTERM);
        QVERIFY(supervisor.waitForFinished(20000));
        QCOMPARE(supervisor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(supervisor.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(groupGone(group) || !group, 10000);
        QVERIFY(log.contains("velmo-session: Stopped on signal 15"));
    }

    void passwordReachesTheClientAlone_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<LaunchRequest>("launch");
        QTest::addColumn<bool>("passwordFile");
        QTest::newRow("standard input")
            << "xfreerdp" << LaunchRequest { "rdp", { { "host", "127.0.0.1" }, { "user", "ann" } } } << false;
        QTest::newRow("descriptor 3")
            << "vncviewer" << LaunchRequest { "vnc", { { "host", "127.0.0.1" }, { "auth", "password" } } }
            << true;
    }

    void passwordReachesTheClientAlone()
    {
        QFETCH(QString, client);
        QFETCH(LaunchRequest, launch);
        QFETCH(bool, passwordFile);
        const QString record = scratch->path() + QStringLiteral("/record");
        QFile fake(scratch->path() + QLatin1Char('/') + client);
        QVERIFY(fake.open(QIODevice::WriteOnly) && fake.write(fakeClient) == fakeClient.size());
        fake.close();
        QVERIFY(fake.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([path] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(scratch->path()) + ':' + path);
        qputenv("FAKE_CLIENT_RECORD", QFile::encodeName(record));
        stage(launch);
        startSupervisor(copyingOsd());
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("session ended"), 30000);

        // vncviewer's password file is what vncpasswd -f writes.
        QCOMPARE(
            contents(record + ".fd3"), passwordFile ? run("vncpasswd", { "-f" }, password) : QByteArray());
        QCOMPARE(contents(record + ".input"), passwordFile ? QByteArray() : password + '\n');
        QVERIFY(!contents(record + ".arguments").contains(password));
        QVERIFY(!QFile::exists(record + ".secret-left")); // gone from the disk before the client runs
        QVERIFY(!log.contains(password));
        for (const SimLogLine& line : unit->logLines())
            QVERIFY(!line.text.contains(QString::fromLatin1(password)));
    }

    void reportExit_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("reported");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("exit status") << QStringList { "sh", "-c", "exit 7" } << QByteArray("7") << 7
                                     << QByteArray();
        QTest::newRow("signal") << QStringList { "sh", "-c", "kill -TERM $$" } << QByteArray("signal 15")
                                << 143 << QByteArray();
        QTest::newRow("missing program")
            << QStringList { "/nonexistent/client" } << QByteArray("127") << 127
            << QByteArray("cannot run /nonexistent/client: No such file or directory");
    }

    void reportExit()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, reported);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        const QString file = scratch->path() + QStringLiteral("/status");
        int code = -1;
        QVERIFY(run(tool, QStringList { "--report-exit", file, "--" } + command, QByteArray(), &code)
                    .contains(said));
        QCOMPARE(code, exitCode);
        QCOMPARE(contents(file).trimmed(), reported);
    }
};

VELMO_TEST_GUILESS_MAIN(TestSessionSupervisor)
#include "test_sessionsupervisor.moc"
