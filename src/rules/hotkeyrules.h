#pragma once
// The OSD hot-keys: the names the page shows, the codes the database keeps and
// the numbers the session launchers take ("--hotkey N").

#include <QByteArray>
#include <QString>
#include <QStringList>

// In the order the page lists them.
QStringList hotKeyNames();

// The name of a stored value, which may be a code ("2") or, in older
// databases, a name ("Alt-Alt"); empty for anything else.
QString hotKeyName(const QString& stored);
// The code stored for a name: "" for "PrintScrn" and for an unknown name.
QString hotKeyCode(const QString& name);
// The launchers' number of a stored value; 0 when unknown.
int hotKeyNumber(const QString& stored);

// The help text under the choice.
QString hotKeyHelpText(const QString& name, bool functional);

// Whether `number` may go into the relaunch script, which a shell runs: ASCII
// digits only.
bool isRelaunchHotKey(const QString& number);
// The relaunch script with its "--hotkey" argument set to `number`, or taken
// out when `number` is empty; a script without a command stays as it is.
QByteArray relaunchScriptText(const QByteArray& script, const QString& number);
