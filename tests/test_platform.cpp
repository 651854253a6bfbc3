#include "app/commandline.h"
#include "platform/boundedread.h"
#include "platform/displayplugin.h"
#include "platform/linuxplatform.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void programsRunOnlyByAbsolutePath_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("bare name is never looked up") << "sh" << QStringList { "-c", "exit 0" } << false << -1;
        QTest::newRow("relative path") << "./sh" << QStringList() << false << -1;
        QTest::newRow("absolute path") << "/bin/sh" << QStringList { "-c", "exit 3" } << true << 3;
    }

    void programsRunOnlyByAbsolutePath()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, started);
        QFETCH(int, exitCode);
        LinuxPlatform platform;
        const ProgramResult result = platform.run(program, arguments);
        QCOMPARE(result.started, started);
        QCOMPARE(result.exitCode, exitCode);
        if (!started)
            QVERIFY(!platform.startDetached(program, arguments));
    }

    void timeLimitAndWorkingFolder_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<bool>("timedOut");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("runs in the folder given") << QStringList { "/bin/sh", "-c", "pwd" } << 5000 << false << 0
                                                  << QByteArray("/\n");
        QTest::newRow("never exits: ended at the limit") << QStringList { "/bin/sh", "-c", "echo started; exec sleep 30" }
                                                          << 300 << true << -1 << QByteArray("started\n");
        QTest::newRow("no limit") << QStringList { "/bin/sh", "-c", "exit 4" } << -1 << false << 4 << QByteArray();
    }

    void timeLimitAndWorkingFolder()
    {
        QFETCH(QStringList, command);
        QFETCH(int, limitMs);
        QFETCH(bool, timedOut);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        LinuxPlatform platform;
        QElapsedTimer clock;
        clock.start();
        const ProgramResult result = platform.runIn(command.first(), command.mid(1), QStringLiteral("/"), limitMs);
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(result.started);
        QCOMPARE(result.timedOut, timedOut);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.output, output);
    }

    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("read");
        QTest::newRow("regular file") << "file" << true;
        QTest::newRow("link to a regular file") << "link" << false;
        QTest::newRow("FIFO without a writer") << "fifo" << false;
        QTest::newRow("link to an endless device") << "device" << false;
        QTest::newRow("folder") << "folder" << false;
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, kind);
        QFETCH(bool, read);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("target"));
        const QString path = dir.filePath(QStringLiteral("entry"));
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("content") == 7);
        }
        const QByteArray place = QFile::encodeName(path);
        if (kind == QLatin1String("file"))
            QVERIFY(QFile::copy(target, path));
        else if (kind == QLatin1String("link"))
            QVERIFY(::symlink(QFile::encodeName(target).constData(), place.constData()) == 0);
        else if (kind == QLatin1String("fifo"))
            QVERIFY(::mkfifo(place.constData(), 0600) == 0);
        else if (kind == QLatin1String("device"))
            QVERIFY(::symlink("/dev/zero", place.constData()) == 0);
        else
            QVERIFY(QDir().mkdir(path));

        QByteArray content = "stale";
        bool truncated = true;
        QCOMPARE(readBounded(path, 1024, &content, &truncated), read);
        QCOMPARE(content, read ? QByteArray("content") : QByteArray());
        QVERIFY(!truncated);
    }

    void displayPluginPreloaded_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment"); // QT_QPA_PLATFORM
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("preloaded");
        const QStringList bare { "velmogui" };
        QTest::newRow("environment") << bare << "offscreen" << "offscreen" << true;
        QTest::newRow("options after the name") << bare << "offscreen:size=800x600" << "offscreen" << true;
        QTest::newRow("first of a list") << bare << "offscreen;no-such" << "offscreen" << true;
        QTest::newRow("argument over environment")
            << QStringList { "velmogui", "-e", "x", "-platform", "offscreen" } << "no-such" << "offscreen" << true;
        QTest::newRow("double dash") << QStringList { "velmogui", "--platform", "offscreen" } << "" << "offscreen"
                                     << true;
        QTest::newRow("option without its value") << QStringList { "velmogui", "-platform" } << "" << "" << false;
        QTest::newRow("no plugin of that name") << bare << "no-such" << "no-such" << false;
        QTest::newRow("a path, not a name")
            << QStringList { "velmogui", "-platform", "../platforms/offscreen" } << "" << "../platforms/offscreen"
            << false;
        QTest::newRow("none") << bare << "" << "" << false;
    }

    void displayPluginPreloaded()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, name);
        QFETCH(bool, preloaded);
        QCOMPARE(displayPlatformName(arguments, environment), name);
        QCOMPARE(preloadDisplayPlugin(name), preloaded);
    }
};

VELMO_TEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
