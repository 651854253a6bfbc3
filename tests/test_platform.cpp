// The platform: the real system's runner, bounded reads and display plugin, and
// the simulated unit that every other test and the development build stand on.
#include "app/commandline.h"
#include "outsidefile.h"
#include "platform/boundedread.h"
#include "platform/displayplugin.h"
#include "platform/linuxplatform.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "simpackage.h"
#include "testmain.h"
#include "testunit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

bool usbInMounts(TestUnit& unit)
{
    for (const QByteArray& line : unit.readFile(QStringLiteral("/proc/mounts")).split('\n'))
        if (line.split(' ').value(1) == "/mnt/usb")
            return true;
    return false;
}

// The words a POSIX shell makes of a command line; empty when any character
// outside quotes could do more than separate words (the final "&" aside).
QStringList shellWords(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char(' ')) {
            if (std::exchange(inWord, false))
                words << std::exchange(word, QString());
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            const int end = line.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                return {};
            word += line.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line.at(++i); // an escaped character stands for itself
        } else if (QStringLiteral(";&|$`<>()\\\"*?[]~#{}\t\r\n").contains(c)
            && !(c == QLatin1Char('&') && i == line.size() - 1)) {
            return {};
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

// Services that copy a state text into a caller's buffer of a promised size.
struct TextCall {
    const char* name;
    int size;
    std::function<int(char*)> call;
};
const std::vector<TextCall> textCalls {
    { "su_get_model", SU_MODEL_LEN, [](char* out) { return su_get_model(out); } },
    { "su_get_serial", SU_SERIAL_LEN, [](char* out) { return su_get_serial(out); } },
    { "su_get_rx_zone", SU_ZONE_LEN, [](char* out) { return su_get_rx_zone(out); } },
    { "su_get_spn", SU_SPN_LEN, [](char* out) { return su_get_spn("M", out); } },
    { "su_get_store", SU_STORE_LEN, [](char* out) { return su_get_store(2, out); } },
    { "su_get_logged_in_user", SU_USER_NAME_LEN, [](char* out) { return su_get_logged_in_user(out); } },
    { "su_models_get_brand_from_mpn", SU_MPN_TEXT_LEN,
        [](char* out) { return su_models_get_brand_from_mpn("K", out); } },
    { "hal_get_edid_name", HAL_EDID_NAME_LEN, [](char* out) { return hal_get_edid_name(0, out); } },
    { "ad_login", AD_SESSION_LEN,
        [](char* out) { return ad_login(std::string(400, 'u').c_str(), "p", out); } },
};
}

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

    void usbStickMountsAndKeepsWhatWasWritten();
    void packagePrintsItsMapAndExtractsButNeverRuns();
    void textsAreBoundedToTheCallersBuffers_data();
    void textsAreBoundedToTheCallersBuffers();
    void launchScriptsKeepHostileTextQuoted_data();
    void launchScriptsKeepHostileTextQuoted();
};

void TestPlatform::usbStickMountsAndKeepsWhatWasWritten()
{
    TestUnit unit;
    Platform& platform = unit.platform();
    const QStringList mountArgs { QStringLiteral("/dev/sda1"), QStringLiteral("/mnt/usb") };
    const QByteArray mountsBefore = unit.readFile(QStringLiteral("/proc/mounts"));
    QVERIFY(platform.run(QStringLiteral("mount"), mountArgs).exitCode != 0); // no stick
    QCOMPARE(unit.readFile(QStringLiteral("/proc/mounts")), mountsBefore);

    QVERIFY(unit.sim().writeUsbFile(QStringLiteral("old.ccfg"), "old"));
    QCOMPARE(platform.run(QStringLiteral("mount"), mountArgs).exitCode, 0);
    QVERIFY(usbInMounts(unit));
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/usb/old.ccfg")), QByteArray("old"));
    QVERIFY(platform.run(QStringLiteral("mount"), mountArgs).exitCode != 0); // already mounted

    // An export to the mounted stick stays on it after unmounting.
    QVERIFY(unit.writeFile(QStringLiteral("/mnt/usb/new.ccfg"), "new"));
    QCOMPARE(
        platform.run(QStringLiteral("umount"), { QStringLiteral("-l"), QStringLiteral("/mnt/usb") }).exitCode,
        0);
    QCOMPARE(unit.readFile(QStringLiteral("/proc/mounts")), mountsBefore);
    QVERIFY(!unit.exists(QStringLiteral("/mnt/usb/new.ccfg")));

    QCOMPARE(su_mount_usb_drive(), 0);
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/usb/new.ccfg")), QByteArray("new"));
    QCOMPARE(su_unmount_usb_drive(), 0);
    QVERIFY(!usbInMounts(unit));
}

void TestPlatform::packagePrintsItsMapAndExtractsButNeverRuns()
{
    TestUnit unit;
    Platform& platform = unit.platform();
    SimPackage package = SimPackage::receiver(QStringLiteral("V3.1.0"));
    package.files << QStringLiteral("../../escape.txt");
    QVERIFY(unit.sim().writeUsbPackage(QStringLiteral("RXU4200_V3.1.0.clu"), package));
    QVERIFY(unit.sim().writeUsbFile(QStringLiteral("evil.clu"), "#!/bin/sh\ntouch /tmp/ran\n"));
    QCOMPARE(su_mount_usb_drive(), 0);
    const QString path = QStringLiteral("/mnt/usb/RXU4200_V3.1.0.clu");

    const QList<QByteArray> map = platform.run(path, { QStringLiteral("--lsm") }).output.split('\n');
    QCOMPARE(map.first(), QByteArray("Begin3"));
    QVERIFY(map.contains("Software-Version:V3.1.0") && map.contains("End"));
    QVERIFY(platform.startDetached(
        path, { QStringLiteral("--target"), QStringLiteral("/usr/local/DECODER_V3.1.0/") }));
    QVERIFY(unit.exists(QStringLiteral("/usr/local/DECODER_V3.1.0/rootfs.img")));
    QVERIFY(unit.exists(QStringLiteral("/tmp/upgrade_complete")));
    QVERIFY(!QFileInfo::exists(unit.root() + QStringLiteral("/usr/escape.txt")));
    QVERIFY(!QFileInfo::exists(unit.root() + QStringLiteral("/escape.txt")));

    // Neither an executable stick file, nor a shell, nor an unknown tool starts.
    QFile::setPermissions(
        unit.path(QStringLiteral("/mnt/usb/evil.clu")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    unit.clearRecords();
    for (const QString& program : { QStringLiteral("/mnt/usb/evil.clu"), QStringLiteral("/bin/sh"),
             QStringLiteral("/usr/bin/unknown_tool") }) {
        QVERIFY2(!platform.run(program, { QStringLiteral("--lsm") }).started, qPrintable(program));
        QVERIFY(!platform.startDetached(program, {}));
    }
    QVERIFY(!unit.exists(QStringLiteral("/tmp/ran")));
    QCOMPARE(unit.commands().value(0),
        (QStringList { QStringLiteral("/mnt/usb/evil.clu"), QStringLiteral("--lsm") }));
}

void TestPlatform::textsAreBoundedToTheCallersBuffers_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(textCalls.size()); ++i)
        QTest::newRow(textCalls[size_t(i)].name) << i;
}

void TestPlatform::textsAreBoundedToTheCallersBuffers()
{
    QFETCH(int, index);
    const TextCall& text = textCalls[size_t(index)];
    TestUnit unit;
    const QJsonValue x(QString(400, QLatin1Char('x')));
    unit.sim().writeState(QJsonObject { { "loggedInUser", x },
        { "identity",
            QJsonObject { { "model", x }, { "serial", x }, { "zone", x },
                { "spn", QJsonObject { { "M", x } } }, { "store", QJsonObject { { "2", x } } } } },
        { "models", QJsonObject { { "K", QJsonObject { { "brand", x } } } } },
        { "display", QJsonObject { { "edidNames", QJsonArray { x } } } } });

    // Exactly the promised size on the heap, so that the sanitizer sees any overrun.
    std::vector<char> buffer(size_t(text.size), 'Z');
    QCOMPARE(text.call(buffer.data()), 0);
    QCOMPARE(int(strnlen(buffer.data(), buffer.size())), text.size - 1);
}

void TestPlatform::launchScriptsKeepHostileTextQuoted_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Desk";
    QTest::newRow("blank and quote") << "Bob's  Desk";
    QTest::newRow("hostile") << "x';reboot;' & $(id) `id` | a<b>c \\ \"q\" *";
    QTest::newRow("line feed") << "one\ntwo\r\nrm -rf /";
    QTest::newRow("hot-key word inside") << "a --hotkey 9 b";
    QTest::newRow("empty") << "";
}

void TestPlatform::launchScriptsKeepHostileTextQuoted()
{
    QFETCH(QString, name);
    for (const int hotkey : { 0, -1 }) {
        TestUnit unit;
        unit.sim().editSection(QStringLiteral("launcher"),
            [&](QJsonObject& launcher) { launcher.insert(QStringLiteral("hotkey"), hotkey); });
        QCOMPARE(
            create_via_tx_connection(name.toLatin1().constData(), "10.0.0.9", 1, 0, 15, "a;b", 0, 1, 0, 0),
            0);
        const QString script = QString::fromLatin1(unit.readFile(QStringLiteral("/tmp/prevConnection.sh")));
        QCOMPARE(unit.readFile(QStringLiteral("/tmp/startapp.sh")), script.toLatin1());
        QString expected = name;
        expected.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        const QStringList words = shellWords(script);
        QVERIFY2(!words.isEmpty(), qPrintable(script));
        QCOMPARE(words.value(words.indexOf(QStringLiteral("--name")) + 1), expected);
        QCOMPARE(words.value(words.indexOf(QStringLiteral("--owner")) + 1), QStringLiteral("a;b"));
        QCOMPARE(words.last(), QStringLiteral("&"));
        const int at = words.indexOf(QStringLiteral("--hotkey"));
        QCOMPARE(at < 0 ? QString() : words.value(at + 1), hotkey >= 0 ? QString::number(hotkey) : QString());
    }
}

VELMO_TEST_MAIN(TestPlatform)
#include "test_platform.moc"
