#pragma once

#include <QMutex>
#include <QObject>

#include "services/device_services.h"

class QThread;

// Runs one work function of the device services on a thread of its own and
// reports its result code together with the record it worked on.
class Worker : public QObject {
    Q_OBJECT

public:
    explicit Worker(int id, QObject* parent = nullptr);
    ~Worker() override;

    void setCallback(func_t function);
    void setCallbackArg(void* argument);
    void setThreadReference(QThread* workerThread);

    void requestWork();
    // Marks the work as aborted; a running callback still runs to its end.
    void abort();
    // Blocks until the thread has finished; returns at once when it never started.
    void waitForThread();

signals:
    void workRequested();
    void finished(int result, void* record);
    void finished();
    void sendStatus(int statust, int id);
    void deallocate();

public slots:
    virtual void doWork();

private:
    int workerId;
    bool working = false;
    bool aborted = false;
    QMutex mutex;
    func_t callback = nullptr;
    void* callbackArg = nullptr;
    QThread* thread = nullptr;
};

// The owner's side of a worker: one work item at a time, with its thread.
// The owner passes the texts it logs for setting up and tearing down.
class WorkerSlot {
public:
    WorkerSlot(const char* initializeLogText, const char* deinitializeLogText);
    // Tears down without logging; waits for a callback that is still running.
    ~WorkerSlot();

    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;

    // Takes ownership of the worker, gives it a new thread and wires it:
    // workRequested starts the thread, started runs doWork, finished() quits
    // the thread from the worker's own thread. Returns that thread.
    QThread* initialize(Worker* worker);
    // Aborts, waits for the thread, deletes thread and worker.
    void deinitialize();

    Worker* worker() const { return currentWorker; }
    QThread* thread() const { return workerThread; }

private:
    void release();

    const char* initializeLogText;
    const char* deinitializeLogText;
    Worker* currentWorker = nullptr;
    QThread* workerThread = nullptr;
};
