#pragma once
// Outside programs a test starts for real (X servers, directory and remote
// servers, the supervisor), and the loopback ports they use.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

// A program that runs for one case and is stopped at its end; its output and
// errors are read together.
class Running {
public:
    // `environment`: "NAME=value" pairs added to this process's own.
    Running(const QString& program, const QStringList& arguments, const QStringList& environment = {});
    ~Running() { stop(); }
    void stop();
    // Waits up to `ms` for `text` to have appeared `times` in what it wrote.
    bool saw(const QByteArray& text, int ms = 30000, int times = 1);
    // What it wrote so far.
    QByteArray output();
    QByteArray seen;
    QProcess process;
};

// A loopback port nothing listens on at the moment.
quint16 freePort();
// Whether something accepts connections on that loopback port.
bool listening(quint16 port);

// Starts an X server (Xvfb, Xvnc) that picks a free display itself, so that two
// tests running at once never race for one; ":N" once it accepts clients, empty
// when it did not start.
QString startDisplay(std::unique_ptr<Running>& server, const QString& program, const QStringList& arguments = {});
