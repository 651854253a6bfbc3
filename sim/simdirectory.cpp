#include "simdirectory.h"

#include "directorylogon.h"
#include "services/device_services.h"
#include "simservicesupport.h"
#include "simunit.h"
#include "unitdatabase.h"

#include <memory>

using namespace SimServices;

namespace {

const QString settingsPath = QStringLiteral("/mnt/perm/directory.conf");

// One log-on at a time, as the OSD asks for one at a time.
struct Directory {
    SimUnit* unit = nullptr;
    std::unique_ptr<DirectoryLogon> logon;
    DirectoryResult bound;
    bool connectionsMapped = false; // the settings name an attribute for them
};

Directory& directory()
{
    static Directory* instance = new Directory; // lives as long as the process
    return *instance;
}

void logLines(DirectoryLogon& logon)
{
    for (const QString& line : logon.takeLogLines())
        malvo_syslog(5, "%s\n", line.toUtf8().constData());
}

void forget(Directory& d)
{
    // A unit of an earlier test may be gone; only the live one holds the hook.
    if (d.unit && d.unit == SimUnit::current())
        d.unit->setBackgroundWork({});
    d.logon.reset();
    d.unit = nullptr;
    d.bound = DirectoryResult();
}

QString sessionText(const QString& user)
{
    return QStringLiteral("directory-session:") + user;
}

// A name the unit's services and its database can carry as it is: the
// directory matches names loosely (case, blanks), the database exactly.
bool plainName(const QString& user)
{
    if (user.isEmpty() || user.size() > 32 || user != user.trimmed())
        return false;
    for (const QChar c : user)
        if (c.unicode() > 0xff || c.category() == QChar::Other_Control)
            return false;
    return true;
}

} // namespace

bool directoryIsLdap(SimUnit* unit)
{
    return child(unit->state(), QStringLiteral("directory")).value(QStringLiteral("backend")).toString()
        == QLatin1String("ldap");
}

int ldapLogin(SimUnit* unit, const QString& user, const QByteArray& password, char* session, size_t sessionSize)
{
    Directory& d = directory();
    forget(d);
    if (!plainName(user)) {
        malvo_syslog(3, "DirectoryLogon: a name with blanks at its ends, a control character or more than 32 "
                        "characters is not looked up\n");
        return 6;
    }
    QString reason;
    const std::optional<DirectoryConfig> config = readDirectoryConfig(unit->platform(), settingsPath, &reason);
    if (!config) {
        malvo_syslog(3, "%s\n", reason.toUtf8().constData());
        return 1;
    }
    d.unit = unit;
    d.connectionsMapped = !config->connectionsAttribute.isEmpty();
    d.logon = std::make_unique<DirectoryLogon>(*config, [unit] { return unit->nowMs(); });
    DirectoryLogon* logon = d.logon.get();
    unit->setBackgroundWork([logon](int realMs) { return logon->waitForProgress(realMs); });
    const int code = logon->start(user, QString::fromLatin1(password).toUtf8());
    logLines(*logon);
    if (code != 0) {
        forget(d);
        return code;
    }
    toC(session, sessionSize, sessionText(user));
    return 0;
}

int ldapAuthStatus(SimUnit* unit, const QString& user)
{
    Directory& d = directory();
    if (d.unit != unit || !d.logon || d.logon->user() != user)
        return 1;
    const int status = d.logon->status();
    logLines(*d.logon);
    if (status == DirectoryBound)
        d.bound = d.logon->result();
    return status;
}

int ldapUserDatabase(SimUnit* unit, const QString& user)
{
    Directory& d = directory();
    if (d.unit != unit || !d.logon || d.logon->user() != user || d.bound.privilege.isEmpty())
        return 1;
    QByteArray text = readUnitDatabase(unit->platform());
    QString fault;
    // A configured connections attribute decides the person's connections; without one they stay.
    const std::optional<QStringList> connections
        = d.connectionsMapped ? std::optional<QStringList>(d.bound.connections) : std::nullopt;
    if (text.isEmpty() || !enrolDirectoryUser(&text, user, d.bound.privilege, connections, &fault)) {
        malvo_syslog(3, "DirectoryLogon: \"%s\" not put into the database: %s\n", user.toUtf8().constData(),
            (text.isEmpty() ? QStringLiteral("no copy of the database is intact") : fault).toUtf8().constData());
        return 3;
    }
    return writeUnitDatabase(unit->platform(), text) ? 0 : 3;
}

int ldapAuthComplete(SimUnit* unit, const QString& user, const QString& session)
{
    Directory& d = directory();
    if (d.unit != unit || !d.logon || d.logon->user() != user || session != sessionText(user))
        return 1;
    const int code = d.logon->complete();
    logLines(*d.logon);
    forget(d);
    return code;
}
