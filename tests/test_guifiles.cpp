#include "rules/guifiles.h"
#include "rules/statisticsreporter.h"
#include "platform/durablewriter.h"
#include "simunit.h"
#include "outsidefile.h"
#include "testmain.h"
#include "testunit.h"

#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

namespace {

const QString settingsFile = QStringLiteral("/usr/local/gui_files/gui_settings.cfg");
const QString statFile = QStringLiteral("/usr/local/gui_files/gui_authentication.stat");
const QString lastUserFile = QStringLiteral("/usr/local/gui_files/last_user");
const QByteArray zeroCounters
    = "successful_login=0\nfailed_login=0\nmanager_unreachable=0\nconnection_in_use=0\n"
      "connection_not_reachable=0\nconnection_refused=0\nconnection_error=0\ntimeouts=0\n";

// The default counter file with the line of `key` replaced.
QByteArray countersWith(const QByteArray& key, const QByteArray& line)
{
    QList<QByteArray> lines = zeroCounters.split('\n');
    for (QByteArray& l : lines)
        l = l.startsWith(key + '=') ? line : l;
    return lines.join('\n');
}

struct Unit {
    TestUnit unit;
    DurableWriter writer { unit.platform() };
    GuiSettingsFile settings { unit.platform(), writer };
    StatisticsReporter stats { unit.platform(), writer };

    // Increments as a log-on does, with other work beside the write: true when
    // that work ran once, before the report.
    bool incrementBeside(const QString& key)
    {
        const int before = unit.statistics().size();
        int runs = 0, reportsMeanwhile = -1;
        stats.incrementAuthenticationStat(key, [&] {
            ++runs;
            reportsMeanwhile = unit.statistics().size();
        });
        return runs == 1 && reportsMeanwhile == before;
    }

    // The last statistics call as "name a,b,c" with the name shortened.
    QString lastReport() const
    {
        const QJsonObject call = unit.statistics().value(unit.statistics().size() - 1);
        QStringList args;
        for (const QJsonValue& v : call.value("args").toArray())
            args << QString::number(v.toDouble(), 'f', 0);
        return call.value("call").toString().section('_', 3, 3) + ' ' + args.join(',');
    }
};

} // namespace

class TestGuiFiles : public QObject {
    Q_OBJECT

private slots:
    void createsSettingsWithBoardPowerMode_data()
    {
        QTest::addColumn<QString>("boardMode");
        QTest::addColumn<QString>("powerMode");
        // clang-format off
        QTest::newRow("signage board") << "SIGNAGE" << "Auto";
        QTest::newRow("desktop board") << "DESKTOP" << "Manual";
        QTest::newRow("mode program missing") << "" << "Manual";
        // clang-format on
    }

    void createsSettingsWithBoardPowerMode()
    {
        QFETCH(QString, boardMode);
        QFETCH(QString, powerMode);
        Unit u;
        QFile::remove(u.unit.path(settingsFile));
        if (boardMode.isEmpty())
            u.unit.sim().setFailure("/usr/bin/check_power_button_mode", -1);
        else
            u.unit.sim().editState([&](QJsonObject& s) { s.insert("powerButtonMode", boardMode); });

        u.settings.createGuiSettingsFile();
        QCOMPARE(u.unit.readFile(settingsFile),
            "autoLoginUsr=admin\npower_mode=" + powerMode.toLatin1() + "\nrememberLastUsrName=\n");
        QVERIFY(u.unit.hasLog(5, "MainWindow: Creating " + settingsFile + " file with Default values"));
        QVERIFY(u.unit.commands().contains(QStringList { "/bin/touch", settingsFile }));

        // The next start finds the file and keeps what was stored since.
        u.unit.writeFile(settingsFile, "autoLoginUsr=bob\n");
        u.settings.createGuiSettingsFile();
        QCOMPARE(u.unit.readFile(settingsFile), QByteArray("autoLoginUsr=bob\n"));
    }

    void readsAutoLoginUser_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("managed");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* content, bool managed, const char* expected) {
            QTest::newRow(name) << QByteArray(content) << managed << QString(expected);
        };
        row("database user", "autoLoginUsr=bob\n", false, "bob");
        row("unknown user, unmanaged", "autoLoginUsr=carol\n", false, "");
        row("unknown user, managed", "autoLoginUsr=carol\n", true, "carol");
        row("last line wins", "autoLoginUsr=admin\nautoLoginUsr=bob", false, "bob");
        row("carriage return line ends", "autoLoginUsr=bob\r\n", false, "bob");
        row("a name holding \"=\" is not another's", "autoLoginUsr=bob=x\n", false, "");
    }

    void readsAutoLoginUser()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, managed);
        Unit u;
        QDomDocument document;
        QVERIFY(document.setContent(QByteArray("<Data><Users><User User_Name=\"admin\"/></Users>"
                                               "<Users><User User_Name=\"bob\"/></Users></Data>")));
        u.unit.writeFile(settingsFile, content);
        QTEST(u.settings.readAutoLoginUser(document, managed), "expected");
    }

    void rewritesOneSettingLine_data()
    {
        QTest::addColumn<bool>("powerMode");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        // clang-format off
        QTest::newRow("two users leave one, in the first place") << false << "bob" << QByteArray("autoLoginUsr=admin\npower_mode=Auto\nautoLoginUsr=x\nrememberLastUsrName=\n")
            << QByteArray("autoLoginUsr=bob\npower_mode=Auto\nrememberLastUsrName=\n");
        QTest::newRow("no user line appends") << false << "bob" << QByteArray("power_mode=Auto\n") << QByteArray("power_mode=Auto\nautoLoginUsr=bob\n");
        QTest::newRow("power mode; tabs and returns dropped") << true << "Auto" << QByteArray("autoLoginUsr=\tadmin\r\npower_mode=Manual\n") << QByteArray("autoLoginUsr=admin\npower_mode=Auto\n");
        // Refused: without its break or tab the name would be another account's.
        QTest::newRow("line break in a name") << false << "bob\npower_mode=Auto" << QByteArray("power_mode=Manual\n") << QByteArray();
        QTest::newRow("tab in a name") << false << "bob\t" << QByteArray("power_mode=Manual\n") << QByteArray();
        QTest::newRow("missing file is created") << true << "Manual" << QByteArray() << QByteArray("power_mode=Manual\n");
        QTest::newRow("a NUL byte hides no line after it") << false << "bob" << QByteArray("power_mode=Auto\0x\nautoLoginUsr=admin\n", 37) << QByteArray("power_mode=Auto\0x\nautoLoginUsr=bob\n", 35);
        // clang-format on
    }

    void rewritesOneSettingLine()
    {
        QFETCH(bool, powerMode);
        QFETCH(QString, value);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        Unit u;
        const QString file = u.unit.path(settingsFile);
        QFile::remove(file);
        if (!before.isEmpty()) {
            u.unit.writeFile(settingsFile, before);
            QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        QCOMPARE(powerMode ? u.settings.writePowerMode(value) : u.settings.writeAutoLoginUser(value), !after.isNull());
        QCOMPARE(u.unit.readFile(settingsFile), after.isNull() ? before : after);
        if (before.isEmpty()) { // every refused row has a file
            QVERIFY(u.unit.hasLog(5, "MainWindow: Creating " + settingsFile + " file"));
            QVERIFY(u.unit.commands().contains(QStringList { "/bin/touch", settingsFile }));
        } else if (!after.isNull()) {
            QCOMPARE(QFileInfo(file).permissions() & 0x7077, QFileDevice::Permissions(QFlag(0x7055))); // 0755
        }
    }

    void remembersLastUser()
    {
        Unit u;
        u.unit.writeFile(lastUserFile, "alice\nbob\n");
        QCOMPARE(u.settings.readLastUser(), QStringLiteral("alice"));
        QVERIFY(u.settings.writeLastUser(QStringLiteral("bob"), false));
        QVERIFY(u.unit.exists(lastUserFile));
        QCOMPARE(u.settings.readLastUser(), QString());
    }

    void incrementsCounter_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("report");
        const auto row = [](const char* name, const QByteArray& key, const QByteArray& before,
                             const QByteArray& after, const char* report) {
            QTest::newRow(name) << key << countersWith(key, key + before) << countersWith(key, key + after)
                                << QString::fromLatin1(report);
        };
        // clang-format off
        row("seven becomes eight", "failed_login", "=7", "=8", "authentication 0,8,0");
        row("past the largest signed value", "successful_login", "=2147483647", "=2147483648", "authentication 2147483648,0,0");
        row("thirty digits saturate", "successful_login", "=123456789012345678901234567890", "=4294967295", "authentication 4294967295,0,0");
        row("not a number counts from zero", "manager_unreachable", "=x", "=1", "authentication 0,0,1");
        row("connection counter", "connection_refused", "=2", "=3", "connection 0,0,3,0,0");
        QTest::newRow("leading space is reported, never counted") << QByteArray("failed_login") << countersWith("failed_login", " failed_login=7") << countersWith("failed_login", " failed_login=7") << "authentication 0,7,0";
        // clang-format on
    }

    void incrementsCounter()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, before);
        Unit u;
        u.unit.writeFile(statFile, before);
        u.unit.clearRecords();

        QVERIFY(u.incrementBeside(QString::fromLatin1(key)));
        QTEST(u.unit.readFile(statFile), "after");
        QCOMPARE(u.unit.statistics().size(), 1);
        QTEST(u.lastReport(), "report");
    }

    void recreatesDeletedCounterFile()
    {
        Unit u;
        u.stats.incrementAuthenticationStat(QStringLiteral("successful_login"));
        QCOMPARE(u.lastReport(), QStringLiteral("authentication 1,0,0"));
        QVERIFY(QFile::remove(u.unit.path(statFile)));
        u.stats.sendAuthenticationStats();
        QCOMPARE(u.unit.readFile(statFile), zeroCounters);
        QCOMPARE(u.lastReport(), QStringLiteral("authentication 0,0,0"));
    }

    void hostileEntriesAreReplacedNeverFollowed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("fifo");
        QTest::newRow("settings file links outside") << settingsFile << false;
        QTest::newRow("settings file is a FIFO") << settingsFile << true;
        QTest::newRow("counter file links outside") << statFile << false;
        QTest::newRow("counter file is a FIFO") << statFile << true;
    }

    void hostileEntriesAreReplacedNeverFollowed()
    {
        QFETCH(QString, file);
        QFETCH(bool, fifo);
        Unit u;
        const OutsideFile victim;
        QVERIFY(victim.plant(u.unit.path(file), fifo ? OutsideFile::Entry::Fifo : OutsideFile::Entry::LinkHere));

        // Every road returns: nothing waits on a FIFO or writes through a link.
        u.settings.createGuiSettingsFile();
        u.settings.readAutoLoginUser(QDomDocument(), true);
        QVERIFY(u.settings.writeAutoLoginUser(QStringLiteral("bob")));
        u.stats.incrementAuthenticationStat(QStringLiteral("failed_login"));
        QVERIFY(QFileInfo(u.unit.path(file)).isFile() && !QFileInfo(u.unit.path(file)).isSymLink());
        QVERIFY(victim.unchanged());
    }

    void missingFolderFailsSoftly()
    {
        Unit u;
        QVERIFY(QDir(u.unit.path(QStringLiteral("/usr/local/gui_files"))).removeRecursively());

        u.settings.createGuiSettingsFile();
        const QString cannotOpen = "MainWindow: Can not open file ";
        QVERIFY(u.unit.hasLog(3, cannotOpen + settingsFile + " to write Default values"));
        QVERIFY(!u.settings.writeAutoLoginUser("bob"));
        QVERIFY(u.unit.hasLog(3, cannotOpen + "for writing: " + settingsFile));
        QVERIFY(u.unit.debugLines().contains("GUI: Can't open gui_settings.cfg to write remember Last user"));
        QCOMPARE(u.settings.readAutoLoginUser(QDomDocument(), true), QString());
        QVERIFY(!u.settings.writeLastUser(QStringLiteral("bob"), true));

        QVERIFY(u.incrementBeside(QStringLiteral("failed_login")));
        QVERIFY(u.unit.hasLog(3, cannotOpen + "for reading: " + statFile));
        QCOMPARE(u.lastReport(), QStringLiteral("authentication 0,0,0"));
        QVERIFY(!u.unit.exists(QStringLiteral("/usr/local/gui_files")));
    }
};

VELMO_TEST_GUILESS_MAIN(TestGuiFiles)
#include "test_guifiles.moc"
