// The OSD hot-key kept in the saved relaunch script, so that a session started
// again after a reboot answers the hot-key set now.
#include "mainwindow.h"

#include "platform/boundedread.h"
#include "platform/platform.h"
#include "rules/hotkeyrules.h"
#include "rules/unitsettings.h"

#include <QFileInfo>

namespace {

const char relaunchScript[] = "/tmp/prevConnection.sh";
// A launch script is one command line; anything larger is not one of ours.
constexpr qint64 maxScriptSize = 64 * 1024;

enum class ScriptRead { Missing, Unreadable, Read };

ScriptRead readScript(const QString& path, QByteArray& text)
{
    if (!QFileInfo::exists(path))
        return ScriptRead::Missing;
    bool truncated = false;
    if (!readBounded(path, maxScriptSize, &text, &truncated) || truncated)
        return ScriptRead::Unreadable;
    return ScriptRead::Read;
}

} // namespace

int MainWindow::hotKeyNumber()
{
    // Older databases keep the name, the hot-key page keeps the code.
    return ::hotKeyNumber(readUnitSetting(document(), UnitSetting::HotKey));
}

namespace {

QString relaunchLine(const QString& script, const QString& number)
{
    QStringList parts = script.split(QLatin1Char(' '));
    bool met = false;
    for (int i = 0; i < parts.size(); ++i) {
        if (parts.at(i) == QLatin1String("--hotkey")) {
            met = true;
            if (!number.isEmpty()) {
                if (i + 1 < parts.size())
                    parts[i + 1] = number;
                else
                    parts.append(number);
                ++i;
            } else {
                if (i + 1 < parts.size())
                    parts.removeAt(i + 1);
                parts.removeAt(i);
                --i;
            }
        } else if (i == parts.size() - 1 && !met && !number.isEmpty()) {
            // The argument goes before the last word (the "&" of a background command).
            parts[i] = QStringLiteral("--hotkey ") + number + QLatin1Char(' ') + parts.at(i);
            break;
        }
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

bool MainWindow::setRelaunchHotKey(const QString& number)
{
    // The script is run by a shell: only a number may go into it.
    for (const QChar c : number) {
        if (!c.isDigit() || c.unicode() > 0x7f)
            return false;
    }
    const QString path = platform.unitPath(QLatin1String(relaunchScript));
    QByteArray script;
    switch (readScript(path, script)) {
    case ScriptRead::Missing:
        // No session was saved: an empty file would only be a broken script.
        return true;
    case ScriptRead::Unreadable:
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", relaunchScript);
        return false;
    case ScriptRead::Read:
        break;
    }
    // A script without a command has nothing to carry the argument.
    if (script.trimmed().isEmpty())
        return true;
    const QByteArray text = relaunchLine(QString::fromLatin1(script), number).toLatin1();
    if (text != script && !writer.writeFile(path, text)) {
        malvo_syslog(3, "MainWindow: Can not open file:%s for writing", relaunchScript);
        return false;
    }
    return true;
}

void MainWindow::syncRelaunchHotKey()
{
    QByteArray script;
    if (readScript(platform.unitPath(QLatin1String(relaunchScript)), script) == ScriptRead::Read)
        setRelaunchHotKey(QString::number(hotKeyNumber()));
}
