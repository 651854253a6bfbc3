#include "directoryconfig.h"

#include "platform/boundedread.h"
#include "platform/platform.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isAttributeName(const QString& value)
{
    static const QRegularExpression name(QStringLiteral("^(?:[A-Za-z][A-Za-z0-9-]*|[0-9]+(?:\\.[0-9]+)+)$"));
    return value.size() <= 128 && name.match(value).hasMatch();
}

// A template takes the name exactly once and has no other '%' that a later
// formatting could misread.
bool isTemplate(const QString& value)
{
    return value.count(QStringLiteral("%s")) == 1 && value.count(QLatin1Char('%')) == 1;
}

std::optional<bool> yesNo(const QString& value)
{
    if (value == QLatin1String("yes"))
        return true;
    if (value == QLatin1String("no"))
        return false;
    return std::nullopt;
}

using Setter = bool (*)(DirectoryConfig&, const QString&);

struct Key {
    const char* name;
    Setter set; // false: the value is not one this key takes
};

const Key keys[] = {
    { "uri",
        [](DirectoryConfig& c, const QString& v) {
            static const QRegularExpression uri(
                QStringLiteral("^ldaps?://[A-Za-z0-9.:\\[\\]-]+(?::[0-9]{1,5})?/?$"),
                QRegularExpression::CaseInsensitiveOption);
            c.uri = v;
            return uri.match(v).hasMatch();
        } },
    { "base",
        [](DirectoryConfig& c, const QString& v) {
            c.base = v;
            return true;
        } },
    { "user_filter",
        [](DirectoryConfig& c, const QString& v) {
            c.userFilter = v;
            return isTemplate(v) && v.startsWith(QLatin1Char('(')) && v.endsWith(QLatin1Char(')'));
        } },
    { "user_dn",
        [](DirectoryConfig& c, const QString& v) {
            c.userDn = v;
            return isTemplate(v);
        } },
    { "bind_dn",
        [](DirectoryConfig& c, const QString& v) {
            c.bindDn = v;
            return true;
        } },
    { "bind_password",
        [](DirectoryConfig& c, const QString& v) {
            c.bindPassword = v.toUtf8();
            return true;
        } },
    { "starttls",
        [](DirectoryConfig& c, const QString& v) {
            const auto b = yesNo(v);
            c.startTls = b.value_or(false);
            return b.has_value();
        } },
    { "ca_file",
        [](DirectoryConfig& c, const QString& v) {
            c.caFile = v;
            return v.startsWith(QLatin1Char('/'));
        } },
    { "allow_plain",
        [](DirectoryConfig& c, const QString& v) {
            const auto b = yesNo(v);
            c.allowPlain = b.value_or(false);
            return b.has_value();
        } },
    { "admin_group",
        [](DirectoryConfig& c, const QString& v) {
            c.adminGroup = v;
            return true;
        } },
    { "power_group",
        [](DirectoryConfig& c, const QString& v) {
            c.powerGroup = v;
            return true;
        } },
    { "group_member_attribute",
        [](DirectoryConfig& c, const QString& v) {
            c.groupMemberAttribute = v;
            return isAttributeName(v);
        } },
    { "connections_attribute",
        [](DirectoryConfig& c, const QString& v) {
            c.connectionsAttribute = v;
            return isAttributeName(v);
        } },
    { "timeout_seconds",
        [](DirectoryConfig& c, const QString& v) {
            bool ok = false;
            c.timeoutSeconds = v.toInt(&ok);
            return ok && v.size() <= 3 && c.timeoutSeconds >= 1 && c.timeoutSeconds <= 120;
        } },
};

std::optional<DirectoryConfig> refuse(QString* reason, const QString& why)
{
    if (reason)
        *reason = why;
    return std::nullopt;
}

} // namespace

bool DirectoryConfig::usesTls() const
{
    return startTls || uri.startsWith(QLatin1String("ldaps://"), Qt::CaseInsensitive);
}

std::optional<DirectoryConfig> parseDirectoryConfig(const QByteArray& text, bool ownerOnly, QString* reason)
{
    for (const char byte : text) {
        const uchar c = uchar(byte);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f)
            return refuse(reason, QStringLiteral("it holds a control character"));
    }
    const QString decoded = QString::fromUtf8(text);
    if (decoded.toUtf8() != text)
        return refuse(reason, QStringLiteral("it is not UTF-8 text"));

    DirectoryConfig config;
    QSet<QString> seen;
    const QStringList lines = decoded.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return refuse(reason, where + QStringLiteral("not \"key = value\""));
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        const Key* key = std::find_if(
            std::begin(keys), std::end(keys), [&](const Key& k) { return name == QLatin1String(k.name); });
        if (key == std::end(keys))
            return refuse(reason, where + QStringLiteral("unknown key \"%1\"").arg(name.left(40)));
        if (seen.contains(name))
            return refuse(reason, where + QStringLiteral("\"%1\" is given twice").arg(name));
        seen.insert(name);
        if (value.isEmpty() || value.contains(QLatin1Char('\t')) || !key->set(config, value))
            return refuse(reason, where + QStringLiteral("\"%1\" has a value it cannot take").arg(name));
    }

    if (config.uri.isEmpty())
        return refuse(reason, QStringLiteral("no uri"));
    if (config.base.isEmpty())
        return refuse(reason, QStringLiteral("no base"));
    if (config.userFilter.isEmpty() == config.userDn.isEmpty())
        return refuse(reason, QStringLiteral("exactly one of user_filter and user_dn is needed"));
    if (config.bindDn.isEmpty() != config.bindPassword.isEmpty())
        return refuse(reason, QStringLiteral("bind_dn and bind_password go together"));
    if (!config.bindPassword.isEmpty() && !ownerOnly)
        return refuse(reason, QStringLiteral("it holds bind_password and others than its owner may read it"));
    const bool ldaps = config.uri.startsWith(QLatin1String("ldaps://"), Qt::CaseInsensitive);
    if (ldaps && config.startTls)
        return refuse(reason, QStringLiteral("starttls on an ldaps:// address"));
    if (!config.usesTls() && !config.allowPlain)
        return refuse(reason,
            QStringLiteral("ldap:// without starttls sends passwords in the clear; "
                           "\"allow_plain = yes\" is needed for that"));
    return config;
}

std::optional<DirectoryConfig> readDirectoryConfig(
    const Platform& platform, const QString& unitPath, QString* reason)
{
    const QString path = platform.unitPath(unitPath);
    const QString prefix = QStringLiteral("Directory settings %1: ").arg(unitPath);
    // One descriptor for the checks and the read, so the file judged is the file read.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(reason, prefix + QStringLiteral("cannot be opened (missing or a link)"));
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(reason, prefix + QStringLiteral("not a regular file"));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(reason, prefix + QStringLiteral("cannot be read"));
    }
    bool truncated = false;
    QByteArray text = readBounded(file, maxDirectoryConfigBytes, &truncated);
    if (truncated)
        return refuse(reason, prefix + QStringLiteral("larger than %1 bytes").arg(maxDirectoryConfigBytes));
    QString why;
    std::optional<DirectoryConfig> config = parseDirectoryConfig(text, (info.st_mode & 077) == 0, &why);
    text.fill('\0');
    if (!config)
        return refuse(reason, prefix + why);
    if (!config->caFile.isEmpty())
        config->caFile = platform.unitPath(config->caFile);
    return config;
}

QByteArray escapeFilterValue(const QByteArray& value)
{
    QByteArray escaped;
    for (const char byte : value) {
        const uchar c = uchar(byte);
        if (c < 0x20 || c == 0x7f || c == '*' || c == '(' || c == ')' || c == '\\')
            escaped += '\\' + QByteArray::number(c, 16).rightJustified(2, '0');
        else
            escaped += byte;
    }
    return escaped;
}

QByteArray escapeDnValue(const QByteArray& value)
{
    QByteArray escaped;
    for (int i = 0; i < value.size(); ++i) {
        const char byte = value.at(i);
        const uchar c = uchar(byte);
        const bool edgeSpace = c == ' ' && (i == 0 || i == value.size() - 1);
        if (c < 0x20 || c == 0x7f)
            escaped += '\\' + QByteArray::number(c, 16).rightJustified(2, '0');
        else if (edgeSpace || (c == '#' && i == 0) || QByteArrayLiteral(",+\"\\<>;=").contains(byte))
            escaped += QByteArray(1, '\\') + byte;
        else
            escaped += byte;
    }
    return escaped;
}
