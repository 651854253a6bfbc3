#include "programs.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

Running::Running(const QString& program, const QStringList& arguments, const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForStarted(10000);
}

void Running::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool Running::saw(const QByteArray& text, int ms, int times)
{
    QDeadlineTimer deadline(ms);
    while (seen.count(text) < times && !deadline.hasExpired()) {
        process.waitForReadyRead(100);
        seen += process.readAll();
    }
    return seen.count(text) >= times;
}

QByteArray Running::output()
{
    seen += process.readAll();
    return seen;
}

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool listening(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

QString startDisplay(std::unique_ptr<Running>& server, const QString& program, const QStringList& arguments)
{
    server.reset(new Running(program, QStringList { QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp") } + arguments));
    static const QRegularExpression number(QStringLiteral("(?:^|\\n)(\\d+)\\n"));
    QDeadlineTimer deadline(60000);
    while (!number.match(QString::fromLatin1(server->output())).hasMatch() && !deadline.hasExpired())
        server->process.waitForReadyRead(100);
    const QRegularExpressionMatch found = number.match(QString::fromLatin1(server->output()));
    return found.hasMatch() ? QLatin1Char(':') + found.captured(1) : QString();
}
