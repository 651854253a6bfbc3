#include "guifiles.h"

#include "platform/boundedread.h"

#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "services/device_services.h"
#include "database/userlookup.h"

#include <QDebug>
#include <QDomDocument>
#include <QRegularExpression>

namespace GuiFiles {

const char* const settingsPath = "/usr/local/gui_files/gui_settings.cfg";
const char* const authenticationStatPath = "/usr/local/gui_files/gui_authentication.stat";
const char* const lastUserPath = "/usr/local/gui_files/last_user";

namespace {
    // The real files hold a few dozen bytes; anything near this is not ours.
    const qint64 maxFileBytes = 256 * 1024;
}

bool readLines(const QString& unitFile, QStringList* lines)
{
    lines->clear();
    QByteArray data;
    bool truncated = false;
    if (!readBounded(unitFile, maxFileBytes, &data, &truncated))
        return false;
    if (truncated)
        data.truncate(data.lastIndexOf('\n') + 1);
    if (data.isEmpty())
        return true;
    // Sized, so that a NUL byte does not hide the lines after it.
    *lines = QString::fromUtf8(data.constData(), data.size()).split(QLatin1Char('\n'));
    if (data.endsWith('\n'))
        lines->removeLast();
    for (QString& line : *lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return true;
}

QByteArray joinLines(const QStringList& lines)
{
    QByteArray content;
    for (const QString& line : lines) {
        content += line.toUtf8();
        content += '\n';
    }
    return content;
}

void openPermissions(const QString& unitFile)
{
    setRegularFilePermissions(unitFile,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

bool ensureFile(Platform& platform, DurableWriter& writer, const char* systemPath,
    const std::function<QStringList()>& defaultLines)
{
    const QString unitFile = platform.unitPath(QString::fromLatin1(systemPath));
    openPermissions(unitFile);
    // Anything but a regular file (a link, a FIFO) counts as missing and is
    // replaced, never opened or touched through.
    if (isRegularFile(unitFile))
        return true;
    malvo_syslog(5, "MainWindow: Creating %s file with Default values", systemPath);
    if (!entryExists(unitFile))
        platform.run(QStringLiteral("/bin/touch"), { QString::fromLatin1(systemPath) });
    if (!writer.writeFile(unitFile, joinLines(defaultLines()))) {
        malvo_syslog(3, "MainWindow: Can not open file %s to write Default values", systemPath);
        return false;
    }
    return true;
}

} // namespace GuiFiles

namespace {

const QRegularExpression& lineBreaksAndTabs()
{
    static const QRegularExpression pattern(QStringLiteral("[\n\t\r]"));
    return pattern;
}

// Everything after the first "=": a name holding "=" must not read back as
// the shorter name of another account.
QString valueOf(const QString& line)
{
    const int separator = line.indexOf(QLatin1Char('='));
    return separator < 0 ? QString() : line.mid(separator + 1);
}

} // namespace

GuiSettingsFile::GuiSettingsFile(Platform& platform, DurableWriter& writer)
    : platform(platform)
    , writer(writer)
{
}

void GuiSettingsFile::createGuiSettingsFile()
{
    GuiFiles::ensureFile(platform, writer, GuiFiles::settingsPath, [this] { return defaultLines(); });
}

QStringList GuiSettingsFile::defaultLines()
{
    return QStringList { QStringLiteral("autoLoginUsr=admin"), QStringLiteral("power_mode=") + currentPowerMode(),
        QStringLiteral("rememberLastUsrName=") };
}

bool GuiSettingsFile::readValues(const QStringList& keys, QHash<QString, QString>* values)
{
    values->clear();
    QStringList lines;
    if (!GuiFiles::readLines(platform.unitPath(QString::fromLatin1(GuiFiles::settingsPath)), &lines)) {
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", GuiFiles::settingsPath);
        return false;
    }
    for (const QString& line : qAsConst(lines))
        for (const QString& key : keys)
            if (line.startsWith(key))
                values->insert(key, valueOf(line));
    return true;
}

QString GuiSettingsFile::readAutoLoginUser(const QDomDocument& document, bool unitManaged)
{
    const QString userName = readValue(QStringLiteral("autoLoginUsr"));
    if (unitManaged || userName.isEmpty() || !db::findUser(document, userName).isNull())
        return userName;
    return QString();
}

bool GuiSettingsFile::writeAutoLoginUser(const QString& userName)
{
    return rewriteValue(QStringLiteral("autoLoginUsr"), userName);
}

QString GuiSettingsFile::readPowerMode()
{
    return readValue(QStringLiteral("power_mode"));
}

bool GuiSettingsFile::writePowerMode(const QString& mode)
{
    return rewriteValue(QStringLiteral("power_mode"), mode);
}

QString GuiSettingsFile::currentPowerMode()
{
    const ProgramResult result = platform.run(QStringLiteral("/usr/bin/check_power_button_mode"), {});
    return result.output.contains("SIGNAGE") ? QStringLiteral("Auto") : QStringLiteral("Manual");
}

bool GuiSettingsFile::setBoardPowerMode(const QString& mode)
{
    const QString board = mode == QLatin1String("Manual") ? QStringLiteral("DESKTOP") : QStringLiteral("SIGNAGE");
    const ProgramResult result = platform.run(QStringLiteral("/usr/bin/set_power_button_mode"), { board });
    return result.started && result.exitCode == 0;
}

QString GuiSettingsFile::readLastUser()
{
    QStringList lines;
    if (!GuiFiles::readLines(platform.unitPath(QString::fromLatin1(GuiFiles::lastUserPath)), &lines)
        || lines.isEmpty())
        return QString();
    return lines.first();
}

bool GuiSettingsFile::writeLastUser(const QString& userName, bool remember)
{
    QString name;
    // One line, no line feed: a break inside the name would split it on reading.
    if (remember)
        name = QString(userName).remove(lineBreaksAndTabs());
    const QString unitFile = platform.unitPath(QString::fromLatin1(GuiFiles::lastUserPath));
    if (!writer.writeFile(unitFile, name.toUtf8())) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s", GuiFiles::lastUserPath);
        return false;
    }
    return true;
}

QString GuiSettingsFile::readValue(const QString& key)
{
    QString value;
    if (!findValue(key, &value))
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", GuiFiles::settingsPath);
    return value;
}

bool GuiSettingsFile::findValue(const QString& key, QString* value)
{
    value->clear();
    QStringList lines;
    if (!GuiFiles::readLines(platform.unitPath(QString::fromLatin1(GuiFiles::settingsPath)), &lines))
        return false;
    for (const QString& line : qAsConst(lines)) {
        if (line.startsWith(key))
            *value = valueOf(line);
    }
    return true;
}

bool GuiSettingsFile::mayLogOnAutomatically()
{
    QString userName;
    // A file that cannot be read is written afresh, with an automatic log-on.
    return !findValue(QStringLiteral("autoLoginUsr"), &userName) || !userName.isEmpty();
}

bool GuiSettingsFile::rewriteValue(const QString& key, const QString& value)
{
    const QString unitFile = platform.unitPath(QString::fromLatin1(GuiFiles::settingsPath));
    // A value with a second line would smuggle in another key; one without
    // its breaks and tabs would name another account.
    if (value.contains(lineBreaksAndTabs())) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s", GuiFiles::settingsPath);
        return false;
    }
    GuiFiles::openPermissions(unitFile);
    const QString newLine = key + QLatin1Char('=') + value;

    QStringList lines;
    if (!GuiFiles::readLines(unitFile, &lines)) {
        malvo_syslog(5, "MainWindow: Creating %s file", GuiFiles::settingsPath);
        if (!entryExists(unitFile))
            platform.run(QStringLiteral("/bin/touch"), { QString::fromLatin1(GuiFiles::settingsPath) });
    }

    QStringList output;
    bool replaced = false;
    for (QString line : qAsConst(lines)) {
        line.remove(lineBreaksAndTabs());
        if (!line.startsWith(key)) {
            output << line;
        } else if (!replaced) {
            output << newLine;
            replaced = true;
        }
    }
    if (!replaced)
        output << newLine;

    if (!writer.writeFile(unitFile, GuiFiles::joinLines(output))) {
        malvo_syslog(3, "MainWindow: Can not open file for writing: %s", GuiFiles::settingsPath);
        qDebug().noquote() << "GUI: Can't open gui_settings.cfg to write remember Last user";
        return false;
    }
    return true;
}
