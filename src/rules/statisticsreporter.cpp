#include "statisticsreporter.h"

#include "guifiles.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "services/servicetext.h"

#include <QDebug>

#include <future>
#include <limits>
#include <system_error>

namespace {

// Argument codes of the statistics service's alert call.
enum AlertCode {
    severityWarning = 1,
    severityInfo = 2,
    categoryOperation = 3,
    subjectUser = 0,
    eventAutoLogin = 1,
    eventManualLogin = 2,
    eventManualLogout = 4,
    eventGuiTimeoutLogout = 5,
    outcomeSuccess = 0,
    outcomeFailed = 1
};

struct AlertRow {
    LogonAlert alert;
    int severity;
    int category;
    int subject;
    int event;
    int outcome;
    const char* action;
    const char* debugNames; // the codes' names for the debug line; nullptr: no debug line
    const char* logFormat; // priority 7, "%s" = user; nullptr: not logged
};

// clang-format off
const AlertRow alertRows[] = {
    { LogonAlert::AutoLogon, severityInfo, categoryOperation, subjectUser, eventAutoLogin, outcomeSuccess,
      "OSD_LOGIN", "INFO,OPERATION,USER,AUTO_LOGIN,SUCCESS",
      "MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER,AUTO_LOGIN,SUCCESS,OSD_LOGIN, %s, , , )" },
    { LogonAlert::ManualLogonAccepted, severityInfo, categoryOperation, subjectUser, eventManualLogin,
      outcomeSuccess, "OSD_LOGIN", nullptr, nullptr },
    { LogonAlert::ManualLogonRefused, severityWarning, categoryOperation, subjectUser, eventManualLogin,
      outcomeFailed, "OSD_LOGIN", nullptr,
      "LoginDialog: tatistcs_send_json_alert_object(WARNING,OPERATION,USER,MANUAL_LOGIN,FAILED,OSD_LOGIN, %s, , , )" },
    { LogonAlert::ManualLogoff, severityInfo, categoryOperation, subjectUser, eventManualLogout, outcomeSuccess,
      "OSD_LOGOUT", "INFO,OPERATION,USER,MANUAL_LOGOUT,SUCCESS",
      "MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER,MANUAL_LOGOUT,SUCCESS,OSD_LOGOUT, %s, , , )" },
    { LogonAlert::TimeoutLogoff, severityInfo, categoryOperation, subjectUser, eventGuiTimeoutLogout,
      outcomeSuccess, "OSD_LOGOUT", "INFO,OPERATION,USER,GUI_TIMEOUT_LOGOUT,SUCCESS",
      "MainWindow: tatistcs_send_json_alert_object(INFO,OPERATION,USER,GUI_TIMEOUT_LOGOUT,SUCCESS,OSD_LOGOUT, %s, , , )" },
};
// clang-format on

const quint32 counterLimit = std::numeric_limits<quint32>::max();

QStringList keyList(std::initializer_list<const char*> keys)
{
    QStringList list;
    for (const char* key : keys)
        list << QString::fromLatin1(key);
    return list;
}

} // namespace

quint32 counterValue(const QString& text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return 0;
    quint64 value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        // Keep scanning after the limit: a later non-digit still makes it "not a number".
        if (value <= counterLimit)
            value = value * 10 + static_cast<quint64>(c.unicode() - '0');
    }
    return value > counterLimit ? counterLimit : static_cast<quint32>(value);
}

QStringList incrementCounterLines(const QStringList& lines, const QString& key)
{
    QStringList output = lines;
    for (QString& line : output) {
        if (!line.startsWith(key))
            continue;
        const QStringList fields = line.split(QLatin1Char('='));
        const quint32 value = counterValue(fields.value(1));
        const quint32 next = value == counterLimit ? value : value + 1;
        line = fields.value(0) + QLatin1Char('=') + QString::number(next);
    }
    return output;
}

StatisticsReporter::StatisticsReporter(Platform& platform, DurableWriter& writer)
    : platform(platform)
    , writer(writer)
{
}

QStringList StatisticsReporter::defaultLines()
{
    using namespace AuthenticationStat;
    QStringList lines;
    for (const char* key : { successfulLogin, failedLogin, managerUnreachable, connectionInUse,
             connectionNotReachable, connectionRefused, connectionError, timeouts })
        lines << QString::fromLatin1(key) + QStringLiteral("=0");
    return lines;
}

void StatisticsReporter::ensureAuthenticationStatFile()
{
    GuiFiles::ensureFile(platform, writer, GuiFiles::authenticationStatPath, [] { return defaultLines(); });
}

void StatisticsReporter::incrementAuthenticationStat(
    const QString& key, const std::function<void()>& meanwhile)
{
    ensureAuthenticationStatFile();
    const QString unitFile = platform.unitPath(QString::fromLatin1(GuiFiles::authenticationStatPath));
    QStringList lines;
    if (!GuiFiles::readLines(unitFile, &lines)) {
        if (meanwhile)
            meanwhile();
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", GuiFiles::authenticationStatPath);
    } else if (!writeBeside(unitFile, GuiFiles::joinLines(incrementCounterLines(lines, key)), meanwhile)) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s", GuiFiles::authenticationStatPath);
    }

    if (key.contains(QLatin1String("connection")) || key.contains(QLatin1String("timeouts")))
        sendConnectionStats();
    else
        sendAuthenticationStats();
}

bool StatisticsReporter::writeBeside(
    const QString& unitFile, const QByteArray& content, const std::function<void()>& meanwhile)
{
    if (!meanwhile)
        return writer.writeFile(unitFile, content);
    std::future<bool> write;
    try {
        write = std::async(
            std::launch::async, [this, unitFile, content] { return writer.writeFile(unitFile, content); });
    } catch (const std::system_error&) {
        // No thread to be had: one after the other.
        const bool written = writer.writeFile(unitFile, content);
        meanwhile();
        return written;
    }
    meanwhile();
    return write.get();
}

void StatisticsReporter::sendAuthenticationStats()
{
    using namespace AuthenticationStat;
    const QVector<quint32> v = readCounters(keyList({ successfulLogin, failedLogin, managerUnreachable }));
    statistcs_send_json_authentication_statistic_object(v[0], v[1], v[2]);
}

void StatisticsReporter::sendConnectionStats()
{
    using namespace AuthenticationStat;
    const QVector<quint32> v = readCounters(
        keyList({ connectionInUse, connectionNotReachable, connectionRefused, connectionError, timeouts }));
    statistcs_send_json_connection_control_statistic_object(v[0], v[1], v[2], v[3], v[4]);
}

void StatisticsReporter::sendSystemStat()
{
    statistcs_send_json_system_fact_object();
}

void StatisticsReporter::sendLogonAlert(LogonAlert alert, const QString& userName)
{
    // Sent with "?" in its place, the name would report another user.
    if (!servicesCarry(userName))
        return;
    for (const AlertRow& row : alertRows) {
        if (row.alert != alert)
            continue;
        const QByteArray user = userName.toLatin1();
        if (row.debugNames) {
            qDebug().noquote() << QStringLiteral("GUI: statistcs_send_json_alert_object(")
                    + QString::fromLatin1(row.debugNames) + QLatin1Char(',') + userName + QLatin1Char(')');
        }
        if (row.logFormat)
            malvo_syslog(7, row.logFormat, user.constData());
        statistcs_send_json_alert_object(row.severity, row.category, row.subject, row.event, row.outcome,
            row.action, user.constData(), "", "", "");
        return;
    }
}

QVector<quint32> StatisticsReporter::readCounters(const QStringList& keys)
{
    ensureAuthenticationStatFile();
    QVector<quint32> values(keys.size(), 0);
    QStringList lines;
    if (!GuiFiles::readLines(
            platform.unitPath(QString::fromLatin1(GuiFiles::authenticationStatPath)), &lines)) {
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", GuiFiles::authenticationStatPath);
        return values;
    }
    for (const QString& line : qAsConst(lines)) {
        for (int i = 0; i < keys.size(); ++i) {
            if (line.contains(keys.at(i))) {
                values[i] = counterValue(line.split(QLatin1Char('=')).value(1));
                break;
            }
        }
    }
    return values;
}
