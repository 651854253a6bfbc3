#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

#include "app/velmothr.h"
#include "app/worker.h"
#include "simpackage.h"
#include "simplatform.h"
#include "testunit.h"

namespace {

const QString validator = QStringLiteral("/opt/kestrix/security/validate_upgrade_package.sh");
const QString diagnostics = QStringLiteral("/opt/kestrix/diagnostics.sh");
// A path a shell would split or run.
const QString package = QStringLiteral("/mnt/usb/my pkg;reboot $(x).clu");

// The simulated unit records the log and the debug output.
std::unique_ptr<TestUnit> unit;

QList<QByteArray> loggedAt(int priority)
{
    QList<QByteArray> texts;
    for (const SimLogLine& line : unit->logLines())
        if (line.priority == priority)
            texts << line.text.toLatin1();
    return texts;
}

// The simulated unit, but its programs print a given text, as no simulated
// script does.
class ScriptedAnswer : public SimPlatform {
public:
    ScriptedAnswer(SimUnit& sim, const QByteArray& output)
        : SimPlatform(sim)
        , output(output)
    {
    }
    ProgramResult run(const QString& program, const QStringList& arguments, int maxOutput) override
    {
        ProgramResult result = SimPlatform::run(program, arguments, maxOutput);
        result.output = output;
        return result;
    }

private:
    QByteArray output;
};

int32_t returnSeven(void*)
{
    return 7;
}

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

class TestWorker : public QObject {
    Q_OBJECT

private slots:
    void init() { unit.reset(new TestUnit); }
    void cleanup() { unit.reset(); }

    void workerReportsToOwnerThreadInOrder_data()
    {
        QTest::addColumn<func_t>("callback");
        QTest::addColumn<int>("expectedResult");
        QTest::newRow("callback result and record") << func_t(returnSeven) << 7;
        QTest::newRow("no callback counts as success") << func_t(nullptr) << 0;
    }
    void workerReportsToOwnerThreadInOrder()
    {
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

        QTRY_COMPARE(events.size(), 4);
        QCOMPARE(events,
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
        std::thread releaser([] {
            QThread::msleep(50);
            callbackMayEnd.release();
        });
        slot.deinitialize();
        QVERIFY(callbackCompleted);
        releaser.join();
        QTRY_COMPARE(result, 5); // the abort changed nothing
    }

    void unknownJobEmitsNothing()
    {
        const QByteArray shownName(254, 'x'); // what fits the name's buffer
        VelmoThr thr(unit->platform());
        QSignalSpy diagnosticsEnd(&thr, &VelmoThr::RxDiagnosticsEnd);
        QSignalSpy progressEnd(&thr, &VelmoThr::ProgressBarEnd);
        thr.setProcessName(QString(400, 'x'));

        const QString outPath = unit->path("/tmp/stdout");
        std::fflush(stdout);
        const int savedStdout = ::dup(STDOUT_FILENO);
        QVERIFY(std::freopen(QFile::encodeName(outPath).constData(), "w", stdout));
        thr.start();
        thr.wait();
        std::fflush(stdout);
        ::dup2(savedStdout, STDOUT_FILENO);
        ::close(savedStdout);

        QFile out(outPath);
        QVERIFY(out.open(QIODevice::ReadOnly));
        // The test log shares standard output; only the job's own line counts.
        QByteArray printed;
        for (const QByteArray& line : out.readAll().split('\n'))
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
        ScriptedAnswer scripted(unit->sim(), answer);
        VelmoThr thr(answer.isNull() ? unit->platform() : scripted);
        QSignalSpy end(&thr, validation ? &VelmoThr::ProgressBarEnd : &VelmoThr::RxDiagnosticsEnd);
        thr.setProcessName(job);
        thr.setPackagePath(path);
        thr.start();
        QVERIFY(thr.wait(10000));

        QCOMPARE(end.count(), 1);
        QTEST(end.first().first().toInt(), "expected");
        // The package path reaches the script whole, as one argument.
        QCOMPARE(unit->commands(),
            runs ? QList<QStringList>(
                { validation ? QStringList({ validator, package }) : QStringList(diagnostics) })
                 : QList<QStringList>());
        const QList<QByteArray> errors = loggedAt(3);
        QCOMPARE(errors.size(), error.isEmpty() ? 0 : 1);
        QVERIFY2(error.isEmpty() || errors.first().startsWith(error), errors.value(0).constData());
        if (validation)
            QCOMPARE(loggedAt(7),
                runs ? QList<QByteArray> { "int VelmoThr::run_command_and_get_response(const char*)" }
                     : QList<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
