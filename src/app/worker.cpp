#include "worker.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

Worker::Worker(int id, QObject* parent)
    : QObject(parent)
    , workerId(id)
{
    malvo_syslog(5, "Worker::Worker(int, QObject*)");
}

Worker::~Worker()
{
    malvo_syslog(5, "virtual Worker::~Worker()");
}

void Worker::setCallback(func_t function)
{
    malvo_syslog(5, "void Worker::setCallback(func_t)");
    callback = function;
}

void Worker::setCallbackArg(void* argument)
{
    malvo_syslog(5, "void Worker::setCallbackArg(void*)");
    callbackArg = argument;
}

void Worker::setThreadReference(QThread* workerThread)
{
    malvo_syslog(5, "void Worker::setThreadReference(QThread*)");
    thread = workerThread;
}

void Worker::requestWork()
{
    malvo_syslog(5, "void Worker::requestWork()");
    {
        QMutexLocker locker(&mutex);
        working = true;
        aborted = false;
    }
    emit workRequested();
}

void Worker::abort()
{
    malvo_syslog(5, "void Worker::abort()");
    QMutexLocker locker(&mutex);
    if (working)
        aborted = true;
}

void Worker::waitForThread()
{
    malvo_syslog(5, "void Worker::waitForThread()");
    // A thread cannot wait for itself; QThread::wait() would only warn.
    if (thread && thread != QThread::currentThread())
        thread->wait();
}

void Worker::doWork()
{
    malvo_syslog(5, "virtual void Worker::doWork()");
    int result = 0;
    if (!callback)
        qDebug("Error: no callback specified");
    else
        result = callback(callbackArg);

    {
        QMutexLocker locker(&mutex);
        working = false;
    }

    emit sendStatus(0, workerId);
    emit finished();
    emit finished(result, callbackArg);
    emit deallocate();
}

WorkerSlot::WorkerSlot(const char* initializeLogText, const char* deinitializeLogText)
    : initializeLogText(initializeLogText)
    , deinitializeLogText(deinitializeLogText)
{
}

WorkerSlot::~WorkerSlot()
{
    release();
}

QThread* WorkerSlot::initialize(Worker* worker)
{
    malvo_syslog(6, "%s", initializeLogText);
    if (!worker)
        return nullptr;
    if (worker == currentWorker && workerThread)
        return workerThread;
    // One work item at a time: a leftover one is finished off, not leaked.
    release();

    currentWorker = worker;
    workerThread = new QThread();
    worker->moveToThread(workerThread);

    QThread* thread = workerThread;
    QObject::connect(worker, &Worker::workRequested, thread, [thread] { thread->start(); });
    QObject::connect(thread, &QThread::started, worker, &Worker::doWork);
    // Direct, so the thread's event loop is told to end from within the
    // worker's thread the moment the work is over.
    QObject::connect(worker, qOverload<>(&Worker::finished), thread, &QThread::quit, Qt::DirectConnection);
    worker->setThreadReference(thread);
    return thread;
}

void WorkerSlot::deinitialize()
{
    malvo_syslog(6, "%s", deinitializeLogText);
    release();
}

void WorkerSlot::release()
{
    if (!currentWorker || !workerThread)
        return;
    currentWorker->abort();
    currentWorker->waitForThread();
    delete workerThread;
    delete currentWorker;
    workerThread = nullptr;
    currentWorker = nullptr;
}
