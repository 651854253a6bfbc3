#pragma once
// The hand-over between the host session launchers, which run inside the OSD,
// and the supervisor, which runs the session after the OSD has ended. Both sides
// meet under the unit root: the launch script "/tmp/startapp.sh", its relaunch
// copy "/tmp/prevConnection.sh", and a folder of the OSD's user alone,
// "/tmp/velmo-session", which holds the password only until the session starts.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "launchscript.h"
#include "sessionclients.h"

class Platform;

struct PreparedSession {
    LaunchRequest request;
    ClientCommand command;
    // What the client reads by command.secretRoute: the password line for
    // standard input, the password file's bytes for a file; empty for none.
    QByteArray secret;
};

// Launcher results besides 0.
constexpr int launchRefused = 1;     // this kind cannot run on this host
constexpr int launchWriteFailed = 2; // the scripts or the password could not be written

// Writes the password (when the client takes one) and then both scripts.
// `log` receives the lines that say what could not be mapped or why nothing
// was prepared; none holds the password.
int prepareSession(Platform& platform, const LaunchRequest& request, const QByteArray& password,
    QStringList* log);

// Reads and removes what prepareSession() left: nullopt, with `fault` set when
// something was there but unusable, when no session was prepared.
std::optional<PreparedSession> takePreparedSession(Platform& platform, const QString& selfProgram,
    QString* fault);

// How the session ended. A terminal drops its program's exit status, so for a
// session in a terminal the status its program reported takes the place of the
// terminal's own; the report is removed either way.
ClientEnd sessionEnd(Platform& platform, const PreparedSession& session, const ClientEnd& clientEnd);

// Removes a launch script and password nobody took, so that an OSD that ends
// without launching never runs an older session.
void clearPreparedSession(Platform& platform);

// The places of this unit's sessions (see SessionPlaces).
SessionPlaces sessionPlaces(Platform& platform, const QString& selfProgram);
