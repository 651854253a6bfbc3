#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

#include "app/velmothr.h"
#include "app/worker.h"
#include "platform/platform.h"
#include "testunit.h"
#include "upgrade/upgradejobs.h"

namespace {

// A unit whose programs give the answers a test scripts; others do not start.
class FakePlatform : public Platform {
public:
    explicit FakePlatform(const QString& root)
        : root(root)
    {
    }
    QString unitPath(const QString& path) const override { return root + path; }
    ProgramResult run(const QString& program, const QStringList& arguments, int) override
    {
        calls << (QStringList(program) << arguments);
        return answers.value(program);
    }
    bool startDetached(const QString&, const QStringList&) override { return false; }
    NetworkFacts eth0() const override { return {}; }
    void sleepMs(int) override { }
    qint64 nowMs() const override { return 0; }
    bool syncDirectory(const QString&) override { return true; }
    void answer(const QString& program, bool started, int exitCode, const QByteArray& output = {})
    {
        answers[program] = ProgramResult { started, exitCode, output };
    }
    QString root;
    QHash<QString, ProgramResult> answers;
    QList<QStringList> calls;
};

const QString validator = QStringLiteral("/opt/kestrix/security/validate_upgrade_package.sh");

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
    void init()
    {
        unit.reset(new TestUnit);
        unitRoot.reset(new QTemporaryDir);
        QVERIFY(unitRoot->isValid());
    }
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
        int result = -1;
        void* resultRecord = nullptr;
        QThread* resultThread = nullptr;
        WorkerSlot slot("init", "deinit");
        auto* worker = new Worker(1);
        worker->setCallbackArg(&record);
        if (callback)
            worker->setCallback(callback);
        QThread* thread = slot.initialize(worker);
        worker->abort();
        worker->waitForThread(); // never started: must not block
        connect(worker, &Worker::sendStatus, &owner,
            [&](int status, int id) { events << QStringLiteral("sendStatus(%1,%2)").arg(status).arg(id); });
        connect(worker, qOverload<>(&Worker::finished), &owner, [&] { events << "finished()"; });
        connect(worker, qOverload<int, void*>(&Worker::finished), &owner, [&](int code, void* arg) {
            events << "finished(int,void*)";
            result = code;
            resultRecord = arg;
            resultThread = QThread::currentThread();
        });
        connect(worker, &Worker::deallocate, &owner, [&] { events << "deallocate()"; });
        worker->requestWork();

        QTRY_COMPARE(events.size(), 4);
        QCOMPARE(
            events, QStringList({ "sendStatus(0,1)", "finished()", "finished(int,void*)", "deallocate()" }));
        QCOMPARE(result, expectedResult);
        QCOMPARE(resultRecord, static_cast<void*>(&record));
        QCOMPARE(resultThread, QThread::currentThread());
        QTRY_VERIFY(thread->isFinished()); // the end of the work stops its thread
        QCOMPARE(unit->debugLines().contains("Error: no callback specified"), !callback);
        slot.deinitialize();

        QList<QByteArray> trace { "Worker::Worker(int, QObject*)", "void Worker::setCallbackArg(void*)" };
        if (callback)
            trace << "void Worker::setCallback(func_t)";
        trace << "void Worker::setThreadReference(QThread*)"
              << "void Worker::abort()"
              << "void Worker::waitForThread()"
              << "void Worker::requestWork()"
              << "virtual void Worker::doWork()"
              << "void Worker::abort()"
              << "void Worker::waitForThread()"
              << "virtual Worker::~Worker()";
        QCOMPARE(loggedAt(5), trace);
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
        FakePlatform platform(unitRoot->path());
        VelmoThr thr(platform);
        QSignalSpy diagnosticsEnd(&thr, &VelmoThr::RxDiagnosticsEnd);
        QSignalSpy progressEnd(&thr, &VelmoThr::ProgressBarEnd);
        thr.setProcessName(QString(400, 'x'));

        const QString outPath = unitRoot->filePath("stdout");
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
        QVERIFY(platform.calls.isEmpty());
        QVERIFY(unit->debugLines().contains(QString::fromLatin1("VelmoThr: Running \"" + shownName + '"')));
    }

    void jobsReportTheirResults()
    {
        FakePlatform platform(unitRoot->path());
        platform.answer("/opt/kestrix/diagnostics.sh", true, 3);
        VelmoThr diagnostics(platform);
        QSignalSpy diagnosticsEnd(&diagnostics, &VelmoThr::RxDiagnosticsEnd);
        diagnostics.setProcessName("RxDiagnostics");
        diagnostics.start();
        QVERIFY(diagnostics.wait(10000));
        QCOMPARE(diagnosticsEnd.count(), 1);
        QCOMPARE(diagnosticsEnd.first().first().toInt(), 3);
        QCOMPARE(loggedAt(3), QList<QByteArray> { "GUI: Failed to run /opt/kestrix/diagnostics.sh.\n" });

        // A path a shell would split or run reaches the script as one argument.
        writeValidator();
        platform.answer(validator, true, 0, "Verified OK\n");
        const QString package = "/mnt/usb/my pkg;reboot $(x).clu";
        VelmoThr validation(platform);
        QSignalSpy progressEnd(&validation, &VelmoThr::ProgressBarEnd);
        validation.setProcessName("showProgressBar");
        validation.setPackagePath(package);
        validation.start();
        QVERIFY(validation.wait(10000));
        QCOMPARE(progressEnd.last().first().toInt(), 0);
        QCOMPARE(platform.calls.last(), QStringList({ validator, package }));

        // Cut to fit its buffer, a path would name another file: never validated.
        platform.calls.clear();
        validation.setPackagePath("/mnt/usb/" + QString(300, 'p') + ".clu");
        validation.start();
        QVERIFY(validation.wait(10000));
        QCOMPARE(progressEnd.last().first().toInt(), 54);
        QVERIFY(platform.calls.isEmpty());
    }

    void packageValidationResults_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QByteArray>("error");
        const QByteArray cmd = "/opt/kestrix/security/validate_upgrade_package.sh /mnt/usb/a.clu";
        QTest::newRow("verified after blank lines")
            << true << 0 << QByteArray("\n\n  Verified OK \r\n") << 0 << QByteArray();
        QTest::newRow("failure") << true << 0 << QByteArray("Verification Failure\n") << 1 << QByteArray();
        QTest::newRow("only the first line counts")
            << true << 0 << QByteArray("checking\nVerified OK\n") << 1
            << "VelmoThr: command " + cmd + " returned string checking\n";
        QTest::newRow("no answer") << true << 0 << QByteArray("\n\n") << 54
                                   << "VelmoThr: run command " + cmd + " returned empty string\n";
        QTest::newRow("script failed though it printed ok")
            << true << 2 << QByteArray("Verified OK\n") << 54
            << "VelmoThr: run command " + cmd + " returned error 2\n";
        QTest::newRow("script could not run")
            << false << -1 << QByteArray() << 54 << "VelmoThr: run command " + cmd + " returned error -1\n";
    }
    void packageValidationResults()
    {
        QFETCH(bool, started);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        QFETCH(int, expected);
        QFETCH(QByteArray, error);
        FakePlatform platform(unitRoot->path());
        platform.answer(validator, started, exitCode, output);
        QCOMPARE(runPackageValidationJob(platform, "/mnt/usb/a.clu"), 14); // no script on the unit yet
        QVERIFY(platform.calls.isEmpty());
        unit->clearRecords();
        writeValidator();
        QCOMPARE(runPackageValidationJob(platform, "/mnt/usb/a.clu"), expected);
        QCOMPARE(loggedAt(3), error.isEmpty() ? QList<QByteArray>() : QList<QByteArray> { error });
    }

private:
    void writeValidator()
    {
        QVERIFY(QDir().mkpath(unitRoot->filePath("opt/kestrix/security")));
        QFile script(unitRoot->path() + validator);
        QVERIFY(script.open(QIODevice::WriteOnly));
    }

    std::unique_ptr<QTemporaryDir> unitRoot;
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
