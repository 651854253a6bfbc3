#include "app/commandline.h"
#include "platform/boundedread.h"
#include "platform/displayplugin.h"
#include "platform/linuxplatform.h"
#include "outsidefile.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QtTest>

class TestPlatform : public QObject {
    Q_OBJECT
    static constexpr int file = -1, folder = -2;

private slots:
    void programsRun_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("limitMs"); // 0: run(), otherwise runIn() the root folder
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("timedOut");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        // clang-format off
        QTest::newRow("bare name is never looked up") << QStringList { "sh", "-c", "exit 0" } << 0 << false << false << -1 << QByteArray();
        QTest::newRow("relative path") << QStringList { "./sh" } << 0 << false << false << -1 << QByteArray();
        QTest::newRow("absolute path") << QStringList { "/bin/sh", "-c", "exit 3" } << 0 << true << false << 3 << QByteArray();
        QTest::newRow("runs in the folder given") << QStringList { "/bin/sh", "-c", "pwd" } << 5000 << true << false << 0 << QByteArray("/\n");
        QTest::newRow("never exits: ended at the limit") << QStringList { "/bin/sh", "-c", "echo started; exec sleep 30" } << 300 << true << true << -1 << QByteArray("started\n");
        QTest::newRow("no limit") << QStringList { "/bin/sh", "-c", "exit 4" } << -1 << true << false << 4 << QByteArray();
        // clang-format on
    }

    void programsRun()
    {
        QFETCH(QStringList, command);
        QFETCH(int, limitMs);
        QFETCH(bool, started);
        LinuxPlatform platform;
        QElapsedTimer clock;
        clock.start();
        const ProgramResult result = limitMs == 0
            ? platform.run(command.first(), command.mid(1))
            : platform.runIn(command.first(), command.mid(1), QStringLiteral("/"), limitMs);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(result.started, started);
        QTEST(result.timedOut, "timedOut");
        QTEST(result.exitCode, "exitCode");
        QTEST(result.output, "output");
        if (!started)
            QVERIFY(!platform.startDetached(command.first(), command.mid(1)));
    }

    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<int>("kind"); // an OutsideFile::Entry, or a regular "file" or a "folder"
        QTest::addColumn<bool>("read");
        QTest::newRow("regular file") << file << true;
        QTest::newRow("link to a regular file") << int(OutsideFile::Entry::LinkHere) << false;
        QTest::newRow("FIFO without a writer") << int(OutsideFile::Entry::Fifo) << false;
        QTest::newRow("link to an endless device") << int(OutsideFile::Entry::LinkToEndlessDevice) << false;
        QTest::newRow("folder") << folder << false;
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(int, kind);
        QFETCH(bool, read);
        const OutsideFile outside;
        const QString path = outside.path() + QStringLiteral(".entry");
        if (kind == file)
            QVERIFY(QFile::copy(outside.path(), path));
        else if (kind == folder)
            QVERIFY(QDir().mkdir(path));
        else
            QVERIFY(outside.plant(path, OutsideFile::Entry(kind)));
        QByteArray content = "stale";
        bool truncated = true;
        QCOMPARE(readBounded(path, 1024, &content, &truncated), read);
        QCOMPARE(content, read ? QByteArray("someone else's file\n") : QByteArray());
        QVERIFY(!truncated);
    }

    void displayPluginPreloaded_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment"); // QT_QPA_PLATFORM
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("preloaded");
        const QStringList bare { "velmogui" };
        // clang-format off
        QTest::newRow("environment") << bare << "offscreen" << "offscreen" << true;
        QTest::newRow("options after the name") << bare << "offscreen:size=800x600" << "offscreen" << true;
        QTest::newRow("first of a list") << bare << "offscreen;no-such" << "offscreen" << true;
        QTest::newRow("argument over environment") << QStringList { "velmogui", "-e", "x", "-platform", "offscreen" } << "no-such" << "offscreen" << true;
        QTest::newRow("double dash") << QStringList { "velmogui", "--platform", "offscreen" } << "" << "offscreen" << true;
        QTest::newRow("option without its value") << QStringList { "velmogui", "-platform" } << "" << "" << false;
        QTest::newRow("no plugin of that name") << bare << "no-such" << "no-such" << false;
        QTest::newRow("a path, not a name") << QStringList { "velmogui", "-platform", "../platforms/offscreen" } << "" << "../platforms/offscreen" << false;
        QTest::newRow("none") << bare << "" << "" << false;
        // clang-format on
    }

    void displayPluginPreloaded()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, name);
        QCOMPARE(displayPlatformName(arguments, environment), name);
        QTEST(preloadDisplayPlugin(name), "preloaded");
    }
};

VELMO_TEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
