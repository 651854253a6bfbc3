// The platform: the real system's runner, bounded reads and display plugin; the
// simulated unit that every other test and the development build stand on; and
// the OSD's worker threads and the jobs they run on the unit.
#include "app/commandline.h"
#include "app/velmothr.h"
#include "app/worker.h"
#include "outsidefile.h"
#include "platform/boundedread.h"
#include "platform/displayplugin.h"
#include "platform/linuxplatform.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "simpackage.h"
#include "simplatform.h"
#include "testmain.h"
#include "testunit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

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

const QString validator = QStringLiteral("/opt/kestrix/security/validate_upgrade_package.sh");
const QString diagnostics = QStringLiteral("/opt/kestrix/diagnostics.sh");
// A path a shell would split or run.
const QString package = QStringLiteral("/mnt/usb/my pkg;reboot $(x).clu");

// The simulated unit of a worker test, which records the log and the debug output.
TestUnit* unit = nullptr;
struct WorkerUnit {
    TestUnit own;
    WorkerUnit() { unit = &own; }
    ~WorkerUnit() { unit = nullptr; }
};

QList<QByteArray> loggedAt(int priority)
{
    QList<QByteArray> texts;
    for (const SimLogLine& line : unit->logLines())
        if (line.priority == priority)
            texts << line.text.toLatin1();
    return texts;
}

// The simulated unit, but its programs print `output`, as no simulated script does.
class ScriptedAnswer : public SimPlatform {
public:
    using SimPlatform::SimPlatform;
    ProgramResult run(const QString& program, const QStringList& arguments, int maxOutput) override
    {
        ProgramResult result = SimPlatform::run(program, arguments, maxOutput);
        result.output = output;
        return result;
    }
    QByteArray output;
};

QSemaphore callbackEntered, callbackMayEnd;
std::atomic<bool> callbackCompleted { false };
int32_t blockingCallback(void*)
{
    callbackEntered.release();
    callbackMayEnd.acquire();
    callbackCompleted = true;
    return 5;
}

} // namespace

Q_DECLARE_METATYPE(func_t)

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

    void workerReportsToOwnerThreadInOrder_data()
    {
        QTest::addColumn<func_t>("callback");
        QTest::addColumn<int>("expectedResult");
        QTest::newRow("callback result and record") << func_t([](void*) -> int32_t { return 7; }) << 7;
        QTest::newRow("no callback counts as success") << func_t(nullptr) << 0;
    }
    void workerReportsToOwnerThreadInOrder()
    {
        const WorkerUnit here;
        QFETCH(func_t, callback);
        QFETCH(int, expectedResult);
        int record = 0;
        QObject owner; // on the test's thread
        QStringList events;
        auto note = [&](const QString& event) {
            events << (QThread::currentThread() == owner.thread() ? event
                                                                  : event + " off the owner's thread");
        };
        WorkerSlot slot("init", "deinit");
        auto* worker = new Worker(1);
        worker->setCallbackArg(&record);
        if (callback)
            worker->setCallback(callback);
        QThread* thread = slot.initialize(worker);
        worker->abort();
        worker->waitForThread(); // never started: must not block
        connect(worker, &Worker::sendStatus, &owner,
            [&](int status, int id) { note(QStringLiteral("sendStatus(%1,%2)").arg(status).arg(id)); });
        connect(worker, qOverload<>(&Worker::finished), &owner, [&] { note("finished()"); });
        connect(worker, qOverload<int, void*>(&Worker::finished), &owner, [&](int code, void* arg) {
            note(QStringLiteral("finished(%1,%2)").arg(code).arg(arg == &record ? "record" : "other"));
        });
        connect(worker, &Worker::deallocate, &owner, [&] { note("deallocate()"); });
        worker->requestWork();

        QTRY_COMPARE(events,
            QStringList({ "sendStatus(0,1)", "finished()",
                QStringLiteral("finished(%1,record)").arg(expectedResult), "deallocate()" }));
        QTRY_VERIFY(thread->isFinished()); // the end of the work stops its thread
        QCOMPARE(unit->debugLines().contains("Error: no callback specified"), !callback);
        slot.deinitialize();

        const QByteArray trace
            = QByteArray("Worker::Worker(int, QObject*)|void Worker::setCallbackArg(void*)|")
            + (callback ? "void Worker::setCallback(func_t)|" : "")
            + "void Worker::setThreadReference(QThread*)|void Worker::abort()|void Worker::waitForThread()|"
              "void Worker::requestWork()|virtual void Worker::doWork()|void Worker::abort()|"
              "void Worker::waitForThread()|virtual Worker::~Worker()";
        QCOMPARE(loggedAt(5), trace.split('|'));
        QCOMPARE(loggedAt(6), QList<QByteArray>({ "init", "deinit" }));
    }

    void abortLetsRunningCallbackFinishAndTeardownWaits()
    {
        const WorkerUnit here;
        QObject owner;
        int result = -1;
        WorkerSlot slot("init", "deinit");
        auto* worker = new Worker(1);
        worker->setCallback(blockingCallback);
        slot.initialize(worker);
        connect(worker, qOverload<int, void*>(&Worker::finished), &owner,
            [&](int code, void*) { result = code; });
        worker->requestWork();
        QVERIFY(callbackEntered.tryAcquire(1, 10000));

        worker->abort();
        std::thread releaser([] { QThread::msleep(50), callbackMayEnd.release(); });
        slot.deinitialize();
        QVERIFY(callbackCompleted);
        releaser.join();
        QTRY_COMPARE(result, 5); // the abort changed nothing
    }

    void unknownJobEmitsNothing()
    {
        const WorkerUnit here;
        const QByteArray shownName(254, 'x'); // what fits the name's buffer
        VelmoThr thr(unit->platform());
        QSignalSpy diagnosticsEnd(&thr, &VelmoThr::RxDiagnosticsEnd);
        QSignalSpy progressEnd(&thr, &VelmoThr::ProgressBarEnd);
        thr.setProcessName(QString(400, 'x'));

        std::fflush(stdout);
        const int savedStdout = ::dup(STDOUT_FILENO);
        QVERIFY(std::freopen(QFile::encodeName(unit->path("/tmp/stdout")).constData(), "w", stdout));
        thr.start();
        thr.wait();
        std::fflush(stdout);
        ::dup2(savedStdout, STDOUT_FILENO);
        ::close(savedStdout);

        // The test log shares standard output; only the job's own line counts.
        QByteArray printed;
        for (const QByteArray& line : unit->readFile("/tmp/stdout").split('\n'))
            if (!line.isEmpty() && !line.startsWith("QDEBUG"))
                printed += line + '\n';
        QCOMPARE(printed, "Function " + shownName + " does not exist, IP is: \n");
        QCOMPARE(diagnosticsEnd.count() + progressEnd.count(), 0);
        QVERIFY(unit->commands().isEmpty());
        QVERIFY(unit->debugLines().contains(QString::fromLatin1("VelmoThr: Running \"" + shownName + '"')));
    }

    void jobResults_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<int>("failure"); // exit code injected into the job's script; -2: no script
        QTest::addColumn<QString>("path"); // of the package; null: one a shell would split or run
        QTest::addColumn<QByteArray>("answer"); // replaces what the script prints
        QTest::addColumn<int>("expected");
        QTest::addColumn<QByteArray>("error");
        const QByteArray cmd = QFile::encodeName(validator + ' ' + package);
        const auto row = [](const char* name, const char* job, int failure, const QByteArray& answer,
                             int expected, const QByteArray& error = {}, const QString& path = {}) {
            QTest::newRow(name) << job << failure << path << answer << expected << error;
        };
        const QByteArray unchanged;
        const char* validate = "showProgressBar";
        // clang-format off
        row("diagnostics collected", "RxDiagnostics", 0, unchanged, 0);
        row("diagnostics failed", "RxDiagnostics", 3, unchanged, 3, "GUI: Failed to run " + diagnostics.toLatin1() + ".\n");
        row("package verified", validate, 0, unchanged, 0);
        row("verification failure", validate, 0, "Verification Failure\n", 1);
        row("verified after blank lines", validate, 0, "\n\n  Verified OK \r\n", 0);
        row("only the first line counts", validate, 0, "checking\nVerified OK\n", 1, "VelmoThr: command " + cmd + " returned string checking\n");
        row("no answer", validate, 0, "\n\n", 54, "VelmoThr: run command " + cmd + " returned empty string\n");
        row("script failed though it printed ok", validate, 2, "Verified OK\n", 54, "VelmoThr: run command " + cmd + " returned error 2\n");
        row("script could not run", validate, -1, unchanged, 54, "VelmoThr: run command " + cmd + " returned error -1\n");
        row("no validation script", validate, -2, unchanged, 14, "VelmoThr: validation script " + validator.toLatin1() + " not found\n");
        // clang-format on
        // Cut to fit its buffer, a path would name another file.
        row("path longer than its buffer", validate, 0, unchanged, 54,
            "VelmoThr: package path too long: /mnt/usb/ppp", "/mnt/usb/" + QString(300, 'p') + ".clu");
    }
    void jobResults()
    {
        const WorkerUnit here;
        QFETCH(QString, job);
        QFETCH(int, failure);
        QFETCH(QString, path);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, error);
        const bool validation = job == "showProgressBar";
        if (failure == -2)
            QVERIFY(QFile::remove(unit->path(validator)));
        else
            unit->sim().setFailure(validation ? validator : diagnostics, failure);
        const bool runs = path.isNull() && failure != -2;
        if (path.isNull())
            path = package;
        QVERIFY(unit->writeFile(package, SimPackage::receiver("V3.1.0").toBytes()));
        ScriptedAnswer scripted(unit->sim());
        scripted.output = answer;
        VelmoThr thr(answer.isNull() ? unit->platform() : scripted);
        QSignalSpy end(&thr, validation ? &VelmoThr::ProgressBarEnd : &VelmoThr::RxDiagnosticsEnd);
        thr.setProcessName(job);
        thr.setPackagePath(path);
        thr.start();
        QVERIFY(thr.wait(10000));

        QCOMPARE(end.count(), 1);
        QTEST(end.first().first().toInt(), "expected");
        // The package path reaches the script whole, as one argument.
        const QStringList argv = validation ? QStringList { validator, package } : QStringList(diagnostics);
        QCOMPARE(unit->commands(), runs ? QList<QStringList> { argv } : QList<QStringList>());
        const QList<QByteArray> errors = loggedAt(3);
        QCOMPARE(errors.size(), error.isEmpty() ? 0 : 1);
        QVERIFY2(error.isEmpty() || errors.first().startsWith(error), errors.value(0).constData());
        if (validation)
            QCOMPARE(loggedAt(7),
                runs ? QList<QByteArray> { "int VelmoThr::run_command_and_get_response(const char*)" }
                     : QList<QByteArray>());
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
    const auto mount = [&] { return platform.run("mount", { "/dev/sda1", "/mnt/usb" }).exitCode; };
    const QByteArray mountsBefore = unit.readFile("/proc/mounts");
    QVERIFY(mount() != 0); // no stick
    QCOMPARE(unit.readFile("/proc/mounts"), mountsBefore);

    QVERIFY(unit.sim().writeUsbFile("old.ccfg", "old"));
    QCOMPARE(mount(), 0);
    QVERIFY(unit.sim().isUsbMounted());
    QCOMPARE(unit.readFile("/mnt/usb/old.ccfg"), QByteArray("old"));
    QVERIFY(mount() != 0); // already mounted

    // An export to the mounted stick stays on it after unmounting.
    QVERIFY(unit.writeFile("/mnt/usb/new.ccfg", "new"));
    QCOMPARE(platform.run("umount", { "-l", "/mnt/usb" }).exitCode, 0);
    QCOMPARE(unit.readFile("/proc/mounts"), mountsBefore);
    QVERIFY(!unit.exists("/mnt/usb/new.ccfg"));

    QCOMPARE(su_mount_usb_drive(), 0);
    QCOMPARE(unit.readFile("/mnt/usb/new.ccfg"), QByteArray("new"));
    QCOMPARE(su_unmount_usb_drive(), 0);
    QCOMPARE(unit.readFile("/proc/mounts"), mountsBefore);
}

void TestPlatform::packagePrintsItsMapAndExtractsButNeverRuns()
{
    TestUnit unit;
    Platform& platform = unit.platform();
    SimPackage package = SimPackage::receiver("V3.1.0");
    package.files << "../../escape.txt";
    QVERIFY(unit.sim().writeUsbPackage("RXU4200_V3.1.0.clu", package));
    QVERIFY(unit.sim().writeUsbFile("evil.clu", "#!/bin/sh\ntouch /tmp/ran\n"));
    QCOMPARE(su_mount_usb_drive(), 0);
    const QString path = "/mnt/usb/RXU4200_V3.1.0.clu";

    const QList<QByteArray> map = platform.run(path, { "--lsm" }).output.split('\n');
    QCOMPARE(map.first(), QByteArray("Begin3"));
    QVERIFY(map.contains("Software-Version:V3.1.0") && map.contains("End"));
    QVERIFY(platform.startDetached(path, { "--target", "/usr/local/DECODER_V3.1.0/" }));
    QVERIFY(unit.exists("/usr/local/DECODER_V3.1.0/rootfs.img"));
    QVERIFY(unit.exists("/tmp/upgrade_complete"));
    QVERIFY(!QFileInfo::exists(unit.root() + "/usr/escape.txt"));
    QVERIFY(!QFileInfo::exists(unit.root() + "/escape.txt"));

    // Neither an executable stick file, nor a shell, nor an unknown tool starts.
    QFile::setPermissions(unit.path("/mnt/usb/evil.clu"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    unit.clearRecords();
    for (const QString program : { "/mnt/usb/evil.clu", "/bin/sh", "/usr/bin/unknown_tool" }) {
        QVERIFY2(!platform.run(program, { "--lsm" }).started, qPrintable(program));
        QVERIFY(!platform.startDetached(program, {}));
    }
    QVERIFY(!unit.exists("/tmp/ran"));
    QCOMPARE(unit.commands().value(0), (QStringList { "/mnt/usb/evil.clu", "--lsm" }));
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
        { "identity", QJsonObject { { "model", x }, { "serial", x }, { "zone", x },
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
        unit.sim().editSection("launcher", [&](QJsonObject& launcher) { launcher.insert("hotkey", hotkey); });
        const QByteArray owned = name.toLatin1();
        QCOMPARE(create_via_tx_connection(owned.constData(), "10.0.0.9", 1, 0, 15, "a;b", 0, 1, 0, 0), 0);
        const QString script = QString::fromLatin1(unit.readFile("/tmp/prevConnection.sh"));
        QCOMPARE(unit.readFile("/tmp/startapp.sh"), script.toLatin1());
        const QStringList words = shellWords(script);
        QVERIFY2(!words.isEmpty(), qPrintable(script));
        QCOMPARE(words.value(words.indexOf("--name") + 1), QString(name).remove('\r').remove('\n'));
        QCOMPARE(words.value(words.indexOf("--owner") + 1), QStringLiteral("a;b"));
        QCOMPARE(words.last(), QStringLiteral("&"));
        const int at = words.indexOf("--hotkey");
        QCOMPARE(at < 0 ? QString() : words.value(at + 1), hotkey >= 0 ? QString::number(hotkey) : QString());
    }
}

VELMO_TEST_MAIN(TestPlatform)
#include "test_platform.moc"
