#include "simunit.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QThread>

#include "simdefaults.h"
#include "simplatform.h"

namespace {
std::atomic<SimUnit*> currentUnit { nullptr };

const QString failuresKey = QStringLiteral("failures");
const QString syslogRecord = QStringLiteral("syslog");
const QString commandRecord = QStringLiteral("commands");
const QString statisticsRecord = QStringLiteral("statistics");
const QString launchRecord = QStringLiteral("launches");

QList<QJsonObject> objects(const QList<QJsonValue>& values)
{
    QList<QJsonObject> result;
    for (const QJsonValue& value : values)
        result << value.toObject();
    return result;
}
}

SimUnit::SimUnit(const QString& root, bool simulatedClock)
    : rootPath(QDir::cleanPath(QDir(root).absolutePath()))
    , simulatedClock(simulatedClock)
    , virtualNow(QDateTime::currentMSecsSinceEpoch())
    , store(rootPath + QStringLiteral("/sim/unit.json"))
    , records(rootPath + QStringLiteral("/sim"))
    , previous(currentUnit.load())
{
    if (!store.exists()) {
        const QJsonObject state = SimDefaults::unitState();
        QDir().mkpath(rootPath);
        SimDefaults::createUnitFiles(rootPath, state);
        store.write(state);
    }
    ownPlatform = std::make_unique<SimPlatform>(*this);
    currentUnit.store(this);
}

SimUnit::~SimUnit()
{
    SimUnit* self = this;
    currentUnit.compare_exchange_strong(self, previous);
}

SimUnit* SimUnit::current()
{
    return currentUnit.load();
}

QString SimUnit::path(const QString& unitAbsolutePath) const
{
    if (unitAbsolutePath.isEmpty() || unitAbsolutePath == QLatin1String("/"))
        return rootPath;
    if (unitAbsolutePath.startsWith(QLatin1Char('/')))
        return rootPath + unitAbsolutePath;
    return rootPath + QLatin1Char('/') + unitAbsolutePath;
}

QString SimUnit::pathInside(const QString& unitPath) const
{
    const QString cleaned = QDir::cleanPath(QStringLiteral("/") + unitPath);
    if (cleaned.startsWith(QLatin1String("/..")))
        return QString();
    return path(cleaned);
}

Platform& SimUnit::platform()
{
    return *ownPlatform;
}

QJsonObject SimUnit::state() const
{
    return store.state();
}

void SimUnit::writeState(const QJsonObject& state)
{
    store.write(state);
}

void SimUnit::editState(const std::function<void(QJsonObject&)>& edit)
{
    store.edit(edit);
}

void SimUnit::editSection(const QString& section, const std::function<void(QJsonObject&)>& edit)
{
    store.edit([&](QJsonObject& state) {
        QJsonObject object = state.value(section).toObject();
        edit(object);
        state.insert(section, object);
    });
}

void SimUnit::setFailure(const QString& serviceOrProgram, int code)
{
    editSection(failuresKey, [&](QJsonObject& failures) {
        if (code == 0)
            failures.remove(serviceOrProgram);
        else
            failures.insert(serviceOrProgram, code);
    });
}

int SimUnit::failure(const QString& serviceOrProgram) const
{
    const QJsonObject failures = store.state().value(failuresKey).toObject();
    if (failures.contains(serviceOrProgram))
        return failures.value(serviceOrProgram).toInt();
    // A program may be failed by its path or by its bare name.
    const QString name = serviceOrProgram.section(QLatin1Char('/'), -1);
    return failures.value(name).toInt();
}

void SimUnit::workDelay(const QString& function)
{
    const int ms = store.state().value(QStringLiteral("delaysMs")).toObject().value(function).toInt();
    if (ms > 0)
        sleepMs(ms);
}

QList<SimLogLine> SimUnit::logLines() const
{
    QList<SimLogLine> lines;
    for (const QJsonValue& value : records.read(syslogRecord)) {
        const QJsonObject line = value.toObject();
        lines.append({ line.value(QStringLiteral("priority")).toInt(),
            line.value(QStringLiteral("text")).toString() });
    }
    return lines;
}

QList<QStringList> SimUnit::commands() const
{
    QList<QStringList> result;
    for (const QJsonValue& value : records.read(commandRecord)) {
        QStringList command;
        for (const QJsonValue& part : value.toArray())
            command << part.toString();
        result << command;
    }
    return result;
}

QList<QJsonObject> SimUnit::statistics() const
{
    return objects(records.read(statisticsRecord));
}

QList<QJsonObject> SimUnit::launches() const
{
    return objects(records.read(launchRecord));
}

void SimUnit::clearRecords()
{
    for (const QString& kind : { syslogRecord, commandRecord, statisticsRecord, launchRecord })
        records.clear(kind);
}

void SimUnit::recordLog(int priority, const QString& text)
{
    records.append(syslogRecord,
        QJsonObject { { QStringLiteral("priority"), priority }, { QStringLiteral("text"), text } });
}

void SimUnit::recordCommand(const QStringList& programAndArguments)
{
    records.append(commandRecord, QJsonArray::fromStringList(programAndArguments));
}

void SimUnit::recordStatistic(const QString& call, const QJsonArray& arguments)
{
    records.append(statisticsRecord,
        QJsonObject { { QStringLiteral("call"), call }, { QStringLiteral("args"), arguments } });
}

void SimUnit::recordLaunch(const QString& call, const QJsonArray& arguments)
{
    records.append(launchRecord,
        QJsonObject { { QStringLiteral("call"), call }, { QStringLiteral("args"), arguments } });
}

void SimUnit::sleepMs(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    if (simulatedClock) {
        if (backgroundWork)
            backgroundWork(qMin(milliseconds, 200));
        virtualNow += milliseconds;
    } else
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void SimUnit::setBackgroundWork(std::function<bool(int)> waitForProgress)
{
    backgroundWork = std::move(waitForProgress);
}

qint64 SimUnit::nowMs() const
{
    return simulatedClock ? virtualNow.load() : QDateTime::currentMSecsSinceEpoch();
}
