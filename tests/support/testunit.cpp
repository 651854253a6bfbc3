#include "testunit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

// Debug output captured for one TestUnit; the innermost living one receives it.
struct TestUnitCapture {
    QMutex mutex;
    QStringList lines;
    QtMessageHandler previousHandler = nullptr;
    TestUnitCapture* outer = nullptr;
};

namespace {
TestUnitCapture* activeCapture = nullptr;
QMutex activeMutex;

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QtMessageHandler forward = nullptr;
    {
        QMutexLocker lock(&activeMutex);
        if (activeCapture) {
            QMutexLocker lines(&activeCapture->mutex);
            activeCapture->lines << message;
            forward = activeCapture->previousHandler;
        }
    }
    // QtTest's own handler stays in charge of printing and of ignoreMessage().
    if (forward)
        forward(type, context, message);
}
}

TestUnit::TestUnit()
    : unit(std::make_unique<SimUnit>(dir.path(), true))
    , capture(std::make_unique<TestUnitCapture>())
{
    QMutexLocker lock(&activeMutex);
    capture->outer = activeCapture;
    // Nested units share the one installed handler and its forward target.
    if (capture->outer)
        capture->previousHandler = capture->outer->previousHandler;
    else
        capture->previousHandler = qInstallMessageHandler(captureMessage);
    activeCapture = capture.get();
}

TestUnit::~TestUnit()
{
    {
        QMutexLocker lock(&activeMutex);
        if (!capture->outer)
            qInstallMessageHandler(capture->previousHandler);
        if (activeCapture == capture.get())
            activeCapture = capture->outer;
    }
    unit.reset();
}

Platform& TestUnit::platform()
{
    return unit->platform();
}

QString TestUnit::root() const
{
    return unit->root();
}

QString TestUnit::path(const QString& unitPath) const
{
    return unit->path(unitPath);
}

bool TestUnit::writeFile(const QString& unitPath, const QByteArray& bytes)
{
    const QString file = path(unitPath);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
}

QByteArray TestUnit::readFile(const QString& unitPath) const
{
    QFile in(path(unitPath));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

bool TestUnit::exists(const QString& unitPath) const
{
    return QFileInfo::exists(path(unitPath));
}

void TestUnit::setNetwork(const char* group, const char* key, const QJsonValue& value)
{
    unit->editSection(QStringLiteral("network"), [&](QJsonObject& network) {
        QJsonObject facts = network.value(QLatin1String(group)).toObject();
        if (value.isUndefined())
            facts.remove(QLatin1String(key));
        else
            facts.insert(QLatin1String(key), value);
        network.insert(QLatin1String(group), facts);
    });
}

QList<SimLogLine> TestUnit::logLines() const
{
    return unit->logLines();
}

bool TestUnit::hasLog(int priority, const QString& text) const
{
    for (const SimLogLine& line : unit->logLines())
        if (line.priority == priority && line.text == text)
            return true;
    return false;
}

QStringList TestUnit::debugLines() const
{
    QMutexLocker lines(&capture->mutex);
    return capture->lines;
}

QList<QStringList> TestUnit::commands() const
{
    return unit->commands();
}

QList<QJsonObject> TestUnit::statistics() const
{
    return unit->statistics();
}

QList<QJsonObject> TestUnit::launches() const
{
    return unit->launches();
}

void TestUnit::clearRecords()
{
    unit->clearRecords();
    QMutexLocker lines(&capture->mutex);
    capture->lines.clear();
}
