#pragma once
// The GUI's own small text files under /usr/local/gui_files: the settings file
// (automatic log-on user, power mode), the log-on counters and the remembered
// user name. Each is a handful of "key=value" lines, read whole and written
// whole through the DurableWriter.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class DurableWriter;
class Platform;
class QDomDocument;

namespace GuiFiles {

// The unit's own names for the files; log lines and "touch" use these.
extern const char* const settingsPath;
extern const char* const authenticationStatPath;
extern const char* const lastUserPath;

// Lines of a file as a text stream gives them (no line ends). False when the
// file cannot be opened for reading. Anything past the size bound is not a
// settings file and is ignored, cut at the last whole line.
bool readLines(const QString& unitFile, QStringList* lines);

// Every line followed by one line feed.
QByteArray joinLines(const QStringList& lines);

// Owner read-write-execute, group and others read-execute; a file that does
// not exist stays absent.
void openPermissions(const QString& unitFile);

// Creates `systemPath` with `defaultLines()` when it cannot be opened for
// reading (the lines are only computed then). Returns false only when the file
// had to be created and could not be written.
bool ensureFile(Platform& platform, DurableWriter& writer, const char* systemPath,
    const std::function<QStringList()>& defaultLines);

} // namespace GuiFiles

// The settings file and the remembered user name.
class GuiSettingsFile {
public:
    GuiSettingsFile(Platform& platform, DurableWriter& writer);

    // Writes "autoLoginUsr=admin", "power_mode=" + the board's mode and
    // "rememberLastUsrName=" when the file cannot be read.
    void createGuiSettingsFile();
    // "autoLoginUsr=admin", "power_mode=" + the board's mode, "rememberLastUsrName=".
    QStringList defaultLines();

    // The value of the last line starting with each key; a key without a line
    // is left out. False (and nothing found) when the file cannot be read.
    bool readValues(const QStringList& keys, QHash<QString, QString>* values);

    // The automatic log-on user; on an unmanaged unit only a user of the
    // database counts, a managed unit gets its users from the appliance later.
    QString readAutoLoginUser(const QDomDocument& document, bool unitManaged);
    // Whether the file names an automatic log-on user, or will once written
    // afresh; read quietly, before the database is.
    bool mayLogOnAutomatically();
    bool writeAutoLoginUser(const QString& userName);

    QString readPowerMode();
    bool writePowerMode(const QString& mode);

    // "Auto" when the board's power button runs in "SIGNAGE" mode, else "Manual".
    QString currentPowerMode();
    // Sets the board's power button for a mode: "Manual" keeps it a desktop's,
    // "Auto" makes it a sign's. False when the board could not be told.
    bool setBoardPowerMode(const QString& mode);

    // First line of last_user, empty when there is none.
    QString readLastUser();
    // Empties last_user and, when remembered, stores the name without a line feed.
    bool writeLastUser(const QString& userName, bool remember);

private:
    // Value of the last line starting with `key`, empty when none or unreadable.
    QString readValue(const QString& key);
    // The same without the log line; false when the file cannot be read.
    bool findValue(const QString& key, QString* value);
    // Replaces the first line starting with `key` by key=value, drops the later
    // ones, appends when none; every other line is kept in order.
    bool rewriteValue(const QString& key, const QString& value);

    Platform& platform;
    DurableWriter& writer;
};
