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

bool MainWindow::setRelaunchHotKey(const QString& number)
{
    if (!isRelaunchHotKey(number))
        return false;
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
    const QByteArray text = relaunchScriptText(script, number);
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
