#pragma once
// What each kind of connection runs on an ordinary Linux host, and what its
// end means to the person in front of it. Free of any process or file work,
// so every row of the mapping is a plain function call.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "launchscript.h"

// How the password reaches the client. Never on its command line.
enum class SecretRoute {
    None,          // the client asks in its own window, or uses the person's keys
    StandardInput, // one line on the client's standard input
    PasswordFile,  // a file the client reads, readable by it alone
};

// Where the supervisor keeps what a session needs besides its arguments.
struct SessionPlaces {
    QString passwordFile;    // the argument that names the password file
    QString knownHostsFile;  // the unit's own SSH host keys
    QString exitStatusFile;  // where the terminal's SSH reports its exit status
    QString selfProgram;     // velmo-session, which reports that status
};

struct ClientCommand {
    QString program;         // a name found on PATH; empty: this kind cannot run here
    QStringList arguments;
    SecretRoute secretRoute = SecretRoute::None;
    QStringList notes;       // what the client cannot do of what was asked, for the log
    QString refusal;         // why nothing can run, when program is empty
};

ClientCommand clientCommand(const LaunchRequest& request, const SessionPlaces& places);

// How a client ended.
struct ClientEnd {
    bool started = true;     // false: it could not be run at all
    bool signalled = false;  // ended by a signal (`code` is the signal)
    int code = 0;            // exit status
    QByteArray errorTail;    // the end of what it wrote to standard error
};

// The text the OSD shows after a session; empty for a normal end, which shows no box.
QString disconnectReason(const QString& type, const ClientEnd& end);
