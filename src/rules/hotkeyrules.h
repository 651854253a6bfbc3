#pragma once
// The OSD hot-keys: the names the page shows, the codes the database keeps and
// the numbers the session launchers take ("--hotkey N").

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
