#include "launchscript.h"

#include <QRegularExpression>
#include <QSet>

namespace {

// Every value goes in single quotes. Line breaks are dropped, as the script is
// one line. The OSD's hot-key edit works on the word after a "--hotkey" between
// single spaces, so one inside a value is split by an empty quote pair.
QString quoted(const QString& value)
{
    QString text = value;
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    text.replace(QStringLiteral("--hotkey"), QStringLiteral("-''-hotkey"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// Splits at single spaces, undoing the quoting above; false for an open quote
// or a trailing backslash.
bool words(const QString& line, QStringList* out)
{
    QString word;
    bool inWord = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char(' ')) {
            if (!inWord)
                return false; // two spaces in a row: not a line a launcher wrote
            out->append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('\'')) {
            const int end = line.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                return false;
            word += line.midRef(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == QLatin1Char('\\')) {
            if (++i >= line.size())
                return false;
            word += line.at(i);
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!inWord)
        return false;
    out->append(word);
    return true;
}

} // namespace

QString LaunchRequest::value(const QString& key) const
{
    for (const auto& option : options)
        if (option.first == key)
            return option.second;
    return QString();
}

QByteArray launchScriptText(const QString& program, const LaunchRequest& request)
{
    QString line = program + QStringLiteral(" --type ") + request.type;
    for (const auto& option : request.options)
        line += QStringLiteral(" --") + option.first + QLatin1Char(' ') + quoted(option.second);
    if (request.hotkey >= 0)
        line += QStringLiteral(" --hotkey ") + QString::number(request.hotkey);
    line += QStringLiteral(" &");
    return line.toUtf8();
}

std::optional<LaunchRequest> parseLaunchScript(const QByteArray& text)
{
    if (text.size() > maxLaunchScriptBytes)
        return std::nullopt;
    QString line = QString::fromUtf8(text);
    if (line.toUtf8() != text || line.contains(QChar(0)))
        return std::nullopt;
    if (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
        return std::nullopt;
    QStringList parts;
    if (!words(line, &parts) || parts.size() < 2 || parts.last() != QLatin1String("&"))
        return std::nullopt;
    parts.removeLast();
    static const QRegularExpression key(QStringLiteral("^--([a-z_]{1,32})$"));
    LaunchRequest request;
    QSet<QString> seen;
    for (int i = 1; i < parts.size(); i += 2) {
        const QRegularExpressionMatch match = key.match(parts.at(i));
        if (!match.hasMatch() || i + 1 >= parts.size())
            return std::nullopt;
        const QString name = match.captured(1);
        const QString& value = parts.at(i + 1);
        if (seen.contains(name))
            return std::nullopt;
        seen.insert(name);
        if (name == QLatin1String("type")) {
            // A kind of session is one of the launchers' own words.
            static const QRegularExpression kind(QStringLiteral("^[a-z_]{1,16}$"));
            if (!kind.match(value).hasMatch())
                return std::nullopt;
            request.type = value;
        } else if (name == QLatin1String("hotkey")) {
            bool ok = false;
            request.hotkey = value.toInt(&ok);
            if (!ok || request.hotkey < 0 || request.hotkey > 99)
                return std::nullopt;
        } else {
            request.options.append({ name, value });
        }
    }
    if (request.type.isEmpty())
        return std::nullopt;
    return request;
}
