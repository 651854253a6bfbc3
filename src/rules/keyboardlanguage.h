#pragma once

#include <QByteArray>
#include <QString>

// The keyboard languages the unit can load, in the order a keymap line is
// matched against their codes.
struct KeyboardLanguage {
    const char* code;       // what "/mnt/perm/keymap" holds
    const char* label;      // what the keyboard labels show
    const char* actionText; // the log-on dialog's menu entry
    const char* logName;    // as the log-on dialog's action line names it
};

constexpr KeyboardLanguage keyboardLanguages[] = {
    { "uk", "UK", "English UK", "UK" }, { "us", "US", "English US", "US" }, { "fr", "FR", "French", "FR" },
    { "de", "DE", "German", "DE" },     { "sv", "SW", "Swedish", "SW" },    { "no", "NO", "Norwegian", "NOR" },
};
constexpr int keyboardLanguageCount = int(sizeof(keyboardLanguages) / sizeof(keyboardLanguages[0]));

// The label for the first line of the keymap file: "US" for an empty line, the
// first language whose code the line starts with, else empty.
inline QString keyboardLabel(const QString& keymapLine)
{
    if (keymapLine.isEmpty())
        return QStringLiteral("US");
    for (const KeyboardLanguage& language : keyboardLanguages) {
        if (keymapLine.startsWith(QLatin1String(language.code)))
            return QLatin1String(language.label);
    }
    return QString();
}

// The first line of the keymap file's bytes, as a line read of at most 255
// bytes gives it, without its line feed.
inline QString keymapFileLine(const QByteArray& content)
{
    const int end = content.indexOf('\n');
    return QString::fromLatin1(content.left(qMin(end < 0 ? content.size() : end, 255)));
}
