// The simulated unit that every other test and the development build stand on.

#include <QFile>
#include <QJsonArray>
#include <QtTest>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "services/device_services.h"
#include "simpackage.h"
#include "testmain.h"
#include "testunit.h"

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

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void usbStickMountsAndKeepsWhatWasWritten();
    void packagePrintsItsMapAndExtractsButNeverRuns();
    void textsAreBoundedToTheCallersBuffers_data();
    void textsAreBoundedToTheCallersBuffers();
    void launchScriptsKeepHostileTextQuoted_data();
    void launchScriptsKeepHostileTextQuoted();
};

void TestSim::usbStickMountsAndKeepsWhatWasWritten()
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

void TestSim::packagePrintsItsMapAndExtractsButNeverRuns()
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

void TestSim::textsAreBoundedToTheCallersBuffers_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(textCalls.size()); ++i)
        QTest::newRow(textCalls[size_t(i)].name) << i;
}

void TestSim::textsAreBoundedToTheCallersBuffers()
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

void TestSim::launchScriptsKeepHostileTextQuoted_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Desk";
    QTest::newRow("blank and quote") << "Bob's  Desk";
    QTest::newRow("hostile") << "x';reboot;' & $(id) `id` | a<b>c \\ \"q\" *";
    QTest::newRow("line feed") << "one\ntwo\r\nrm -rf /";
    QTest::newRow("hot-key word inside") << "a --hotkey 9 b";
    QTest::newRow("empty") << "";
}

void TestSim::launchScriptsKeepHostileTextQuoted()
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

VELMO_TEST_MAIN(TestSim)
#include "test_sim.moc"
