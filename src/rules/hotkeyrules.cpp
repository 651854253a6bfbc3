#include "hotkeyrules.h"

namespace {

struct HotKey {
    const char* name;
    const char* code;
    int number;
};

const HotKey hotKeys[] = {
    { "Alt-Alt", "2", 2 },
    { "Ctrl-Ctrl", "1", 1 },
    { "PrintScrn", "", 0 },
    { "Shift-Shift", "3", 3 },
    { "Mouse Left+Right", "4", 4 },
};

const HotKey* find(const QString& stored)
{
    for (const HotKey& key : hotKeys) {
        if (stored == QLatin1String(key.code) || stored == QLatin1String(key.name))
            return &key;
    }
    return nullptr;
}

} // namespace

QStringList hotKeyNames()
{
    QStringList names;
    for (const HotKey& key : hotKeys)
        names << QLatin1String(key.name);
    return names;
}

QString hotKeyName(const QString& stored)
{
    const HotKey* key = find(stored);
    return key ? QLatin1String(key->name) : QString();
}

QString hotKeyCode(const QString& name)
{
    for (const HotKey& key : hotKeys) {
        if (name == QLatin1String(key.name))
            return QLatin1String(key.code);
    }
    return QString();
}

int hotKeyNumber(const QString& stored)
{
    const HotKey* key = find(stored);
    return key ? key->number : 0;
}

QString hotKeyHelpText(const QString& name, bool functional)
{
    if (name == QLatin1String("Mouse Left+Right"))
        return QStringLiteral(
            "To bring up On-Screen-Display hold down Left and Right \nmouse buttons for 1 sec.");
    if (functional)
        return QStringLiteral(
            "To bring up On-Screen-Display press Hot-Key followed by \"o\".\nTo go to previous "
            "connection press Hot-Key followed by \"p\".");
    return QStringLiteral("To bring up On-Screen-Display press Hot-Key.");
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

bool isRelaunchHotKey(const QString& number)
{
    for (const QChar c : number) {
        if (!c.isDigit() || c.unicode() > 0x7f)
            return false;
    }
    return true;
}

QByteArray relaunchScriptText(const QByteArray& script, const QString& number)
{
    // A script without a command has nothing to carry the argument.
    if (script.trimmed().isEmpty())
        return script;
    return relaunchLine(QString::fromLatin1(script), number).toLatin1();
}
