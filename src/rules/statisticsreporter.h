#pragma once

// The log-on counters in gui_authentication.stat and everything the OSD tells
// the unit's statistics service: the counter reports, the periodic system
// report and the log-on and log-off alerts.

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class DurableWriter;
class Platform;

// Counter keys, in the order of the file.
namespace AuthenticationStat {
inline constexpr const char* successfulLogin = "successful_login";
inline constexpr const char* failedLogin = "failed_login";
inline constexpr const char* managerUnreachable = "manager_unreachable";
inline constexpr const char* connectionInUse = "connection_in_use";
inline constexpr const char* connectionNotReachable = "connection_not_reachable";
inline constexpr const char* connectionRefused = "connection_refused";
inline constexpr const char* connectionError = "connection_error";
inline constexpr const char* timeouts = "timeouts";
} // namespace AuthenticationStat

enum class LogonAlert { AutoLogon, ManualLogonAccepted, ManualLogonRefused, ManualLogoff, TimeoutLogoff };

class StatisticsReporter {
public:
    StatisticsReporter(Platform& platform, DurableWriter& writer);

    // The eight counters at zero.
    static QStringList defaultLines();
    // Writes the eight counters at zero when the file cannot be read.
    void ensureAuthenticationStatFile();
    // Adds one to every counter line starting with `key`, then reports the
    // counter group the key belongs to (also when the file could not be read).
    // `meanwhile`, when given, runs on the calling thread while the file is
    // written durably on another: work that nothing outside the window sees.
    void incrementAuthenticationStat(const QString& key, const std::function<void()>& meanwhile = {});

    void sendAuthenticationStats();
    void sendConnectionStats();
    void sendSystemStat();

    void sendLogonAlert(LogonAlert alert, const QString& userName);

private:
    // One value per key, by substring match; 0 for keys without a line or an
    // unreadable file.
    QVector<quint32> readCounters(const QStringList& keys);
    // Writes durably, on another thread while `meanwhile` runs on this one;
    // returns once both have ended.
    bool writeBeside(const QString& unitFile, const QByteArray& content, const std::function<void()>& meanwhile);

    Platform& platform;
    DurableWriter& writer;
};

// A stored counter as the reports carry it: unsigned 32-bit, 0 for anything
// that is not a decimal number, the largest value for a number too big to
// carry. Incrementing stops there too, so a counter never wraps.
quint32 counterValue(const QString& text);

// The counter file's lines after one increment of `key`.
QStringList incrementCounterLines(const QStringList& lines, const QString& key);
