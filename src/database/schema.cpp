#include "schema.h"

#include "dbnames.h"
#include "plaindocument.h"
#include "rules/unitsettings.h"
#include "userlookup.h"

#include <QDebug>
#include <QRegularExpression>
#include <QSet>
#include <QTextCodec>

#include <algorithm>
#include <cstring>

namespace {

// Removes every child element of `parent` whose `attribute` is `value`; true when any was.
bool removeChildrenNaming(
    QDomElement parent, const char* attribute, const QString& value, const QString& debugLine = QString())
{
    bool removed = false;
    for (QDomElement child = parent.lastChildElement(); !child.isNull();) {
        const QDomElement previous = child.previousSiblingElement();
        if (child.hasAttribute(QLatin1String(attribute))
            && child.attribute(QLatin1String(attribute)) == value) {
            if (!debugLine.isEmpty())
                qDebug().noquote() << debugLine;
            parent.removeChild(child);
            removed = true;
        }
        child = previous;
    }
    return removed;
}


void setAttributes(QDomElement& element, std::initializer_list<std::pair<const char*, const char*>> attributes)
{
    for (const auto& attribute : attributes)
        element.setAttribute(QLatin1String(attribute.first), QLatin1String(attribute.second));
}

QDomElement appendElement(QDomDocument& document, QDomNode& parent, const char* tag,
                          std::initializer_list<std::pair<const char*, const char*>> attributes = {})
{
    QDomElement element = document.createElement(QLatin1String(tag));
    setAttributes(element, attributes);
    parent.appendChild(element);
    return element;
}

QDomElement appendPowerModeGroup(QDomDocument& document, QDomNode& settings)
{
    return appendElement(document, settings, db::PowerModeGroup, { { db::PowerMode, "Manual" } });
}

QDomElement appendBrokerGroup(QDomDocument& document, QDomNode& settings)
{
    return appendElement(document, settings, db::BrokerGroup,
                         { { db::ConViaActiveDir, "false" },
                           { db::ConViaBroker, "false" },
                           { db::VmResourse, "2" },
                           { db::WebAccessAddr, "" },
                           { db::ConBrokerIp, "" },
                           { db::Domain, "" },
                           { db::DefaultBrokerIp, "" },
                           { db::LoadBalInfo, "" } });
}

QSet<QString> childTagNames(const QDomNode& parent)
{
    QSet<QString> names;
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        names.insert(child.tagName());
    return names;
}

} // namespace

ConnectionKind connectionKind(const QDomElement& connection)
{
    const auto is = [&connection](const char* attribute, const char* value) {
        return connection.attribute(QLatin1String(attribute)) == QLatin1String(value);
    };
    if (is(db::Pool, "true"))
        return ConnectionKind::Pool;
    if (is(db::ViaTx, "true"))
        return ConnectionKind::ViaTx;
    if (is(db::Broker, "Yes"))
        return ConnectionKind::Broker;
    if (is(db::Horizon, "true"))
        return ConnectionKind::Horizon;
    if (is(db::Type, "SSH"))
        return ConnectionKind::Ssh;
    if (is(db::Type, "VNC"))
        return ConnectionKind::Vnc;
    if (is(db::Type, "KVM"))
        return ConnectionKind::Kvm;
    return ConnectionKind::Vm;
}

QDomDocument newDatabaseDocument()
{
    QDomDocument document;
    QDomElement data = document.createElement(QLatin1String(db::Data));
    document.appendChild(data);

    QDomElement connections = appendElement(document, data, db::Connections);
    appendElement(document, connections, db::Connection,
                  { { db::Name, "Default_TX_192.168.1.22" },
                    { db::IpAddress, "192.168.1.22" },
                    { db::Port, "3389" },
                    { db::Domain, "" },
                    { db::LoadBal, "" },
                    { db::ColourDepth, "32" },
                    { db::UserName, "demo" },
                    { db::Password, "mirth" },
                    { db::ViaTx, "true" },
                    { db::ExtDesk, "" },
                    { db::Audio, "" },
                    { db::UsbRedirection, "" },
                    { db::ConnectionType, "Private" } });

    QDomElement users = appendElement(document, data, db::Users);
    QDomElement admin = appendElement(document, users, db::User,
                                      { { db::UserName, "admin" },
                                        { db::Password, "" },
                                        { db::Privilege, "Administrator" } });
    appendElement(document, admin, db::AssociatedConnections,
                  { { db::ConnectionName, "Default_TX_192.168.1.22" } });

    QDomElement settings = appendElement(document, data, db::UnitSettings);
    appendElement(document, settings, db::ScreenResolution, { { db::Default, "1280x1024" } });
    QDomElement network = appendElement(document, settings, db::Network);
    appendElement(document, network, db::Dhcp, { { db::SetChecked, "false" } });
    appendElement(document, network, db::StaticIp,
                  { { db::SetChecked, "true" },
                    { db::IpAddress, "192.168.1.21" },
                    { db::NetworkMask, "255.255.255.0" },
                    { db::DefaultGateway, "192.168.1.1" },
                    { db::DnsAddress, "0.0.0.0" },
                    { db::Dns2Address, "0.0.0.0" } });
    appendElement(document, settings, db::AutoLogin, { { db::AutoLogUser, "admin" } });
    appendElement(document, settings, db::RememberLastUser, { { db::RememberUserName, "" } });
    appendElement(document, settings, db::HotKey, { { db::Hotkey, "" } });
    appendPowerModeGroup(document, settings);
    appendBrokerGroup(document, settings);

    appendElement(document, data, db::RxDevices);
    appendElement(document, data, db::TxDevices);

    QDomElement management = appendElement(document, data, db::MgmtUnitSettings);
    appendElement(document, management, db::Mgmt,
                  { { db::Name, "Default_MGMT_192.168.1.23" },
                    { db::IpType, "Static" },
                    { db::IpAddress, "192.168.1.23" },
                    { db::NetworkMask, "255.255.255.0" },
                    { db::DefaultGateway, "192.168.1.1" },
                    { db::DnsAddress, "0.0.0.0" },
                    { db::Dns2Address, "0.0.0.0" },
                    { db::Mac, "" },
                    { db::ModelNum, "" },
                    { db::SerialNum, "" },
                    { db::SwVer, "" },
                    { db::RememberLastUser, "" } });
    return document;
}

bool upgradeSchema(QDomDocument& document)
{
    QDomElement root = document.documentElement();
    if (root.isNull())
        return false;
    bool changed = false;

    const QSet<QString> sections = childTagNames(root);
    for (const char* section : { db::RxDevices, db::TxDevices, db::MgmtUnitSettings }) {
        if (!sections.contains(QLatin1String(section))) {
            appendElement(document, root, section);
            changed = true;
        }
    }

    QDomElement settings = unitSettingsSection(document);
    if (!settings.isNull()) {
        const QSet<QString> groups = childTagNames(settings);
        if (!groups.contains(QLatin1String(db::PowerModeGroup))) {
            appendPowerModeGroup(document, settings);
            changed = true;
        }
        if (!groups.contains(QLatin1String(db::BrokerGroup))) {
            appendBrokerGroup(document, settings);
            changed = true;
        }
    }
    return changed;
}

namespace {

const char* skipPast(const char* from, const char* end, const char* marker)
{
    const char* const markerEnd = marker + std::strlen(marker);
    const char* const found = std::search(from, end, marker, markerEnd);
    return found == end ? end : found + (markerEnd - marker);
}

bool startsWith(const char* p, const char* end, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    return std::size_t(end - p) >= length && std::memcmp(p, prefix, length) == 0;
}

// A scan of the markup alone, before any parser recurses into it. It counts
// as XML tokenizes, so a text the parser takes is never deeper than counted.
bool withinDepth(const QByteArray& text, int maxDepth)
{
    const char* p = text.constData();
    const char* const end = p + text.size();
    int depth = 0;
    while (p < end && (p = static_cast<const char*>(std::memchr(p, '<', std::size_t(end - p))))) {
        if (++p == end)
            break;
        if (*p == '?') {
            p = skipPast(p, end, "?>");
        } else if (startsWith(p, end, "!--")) {
            p = skipPast(p + 3, end, "-->");
        } else if (startsWith(p, end, "![CDATA[")) {
            p = skipPast(p, end, "]]>");
        } else if (*p == '!') {
            // Entities declared in the document could expand to any depth.
            for (char quote = 0; p < end && (quote || *p != '>'); ++p) {
                if (quote) {
                    if (*p == quote)
                        quote = 0;
                } else if (*p == '"' || *p == '\'') {
                    quote = *p;
                } else if (*p == '[') {
                    return false;
                }
            }
        } else if (*p == '/') {
            --depth;
            p = skipPast(p, end, ">");
        } else {
            // A value in quotes may hold '>' and "/>".
            char quote = 0;
            char last = 0;
            for (; p < end && (quote || *p != '>'); ++p) {
                if (quote) {
                    if (*p == quote)
                        quote = 0;
                } else if (*p == '"' || *p == '\'') {
                    quote = *p;
                }
                last = *p;
            }
            if (last != '/' && ++depth > maxDepth)
                return false;
        }
    }
    return true;
}

// The text as UTF-8 without a declaration naming another encoding: the
// stored form is UTF-8 and has none. False for an encoding Qt does not know
// or bytes that are not in the declared one. Without a mark, the parsers take
// a text starting with these forms of '<' as UTF-16 or UTF-32: so must the
// depth scan, which reads only the decoded text.
bool utf8Text(const QByteArray& text, QByteArray& utf8)
{
    // The stored form, ASCII without a declaration, is its own UTF-8: the
    // start-up reads it as it stands instead of decoding it there and back.
    if (!text.startsWith("<?xml")
        && std::all_of(text.cbegin(), text.cend(), [](char c) { return uchar(c) >= 0x01 && uchar(c) <= 0x7f; })) {
        utf8 = text;
        return true;
    }
    static const struct {
        QByteArray start;
        const char* codec;
    } unmarked[] = { { QByteArray("<\0\0\0", 4), "UTF-32LE" }, { QByteArray("\0\0\0<", 4), "UTF-32BE" },
        { QByteArray("<\0", 2), "UTF-16LE" }, { QByteArray("\0<", 2), "UTF-16BE" } };
    QTextCodec* codec = QTextCodec::codecForUtfText(text, nullptr);
    for (int i = 0; !codec && i < int(sizeof unmarked / sizeof *unmarked); ++i)
        if (text.startsWith(unmarked[i].start))
            codec = QTextCodec::codecForName(unmarked[i].codec);
    if (!codec) {
        static const QRegularExpression encoding(QStringLiteral("^<\\?xml[^>]*?\\sencoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const QRegularExpressionMatch declared = text.startsWith("<?xml")
            ? encoding.match(QString::fromLatin1(text.left(text.indexOf("?>"))))
            : QRegularExpressionMatch();
        codec = QTextCodec::codecForName(declared.hasMatch() ? declared.captured(1).toLatin1() : "UTF-8");
        if (!codec)
            return false;
    }
    QTextCodec::ConverterState state;
    QString decoded = codec->toUnicode(text.constData(), text.size(), &state);
    // No XML text holds U+0000; a parser meeting one may guess another encoding.
    if (state.invalidChars > 0 || decoded.contains(QChar(0)))
        return false;
    if (decoded.startsWith(QLatin1String("<?xml"))) {
        const int close = decoded.indexOf(QLatin1String("?>"));
        decoded.remove(0, close < 0 ? 0 : close + 2);
    }
    utf8 = decoded.toUtf8();
    return true;
}

} // namespace

bool readDatabaseText(const QByteArray& text, QDomDocument& into)
{
    into = QDomDocument();
    QByteArray utf8;
    if (!utf8Text(text, utf8) || !withinDepth(utf8, maxDocumentDepth))
        return false;
    if (!readPlainDocument(utf8, into) && !into.setContent(utf8)) {
        // The parser keeps what it read before the error; none of it may be used.
        into = QDomDocument();
        return false;
    }
    return true;
}

QByteArray databaseText(const QDomDocument& document)
{
    return document.toByteArray(1);
}

namespace {

// UTF-8 of U+FFFE and U+FFFF: accepted as references by the parser, refused raw.
bool isNonCharacter(const QByteArray& text, int i)
{
    return i + 2 < text.size() && uchar(text.at(i)) == 0xEF && uchar(text.at(i + 1)) == 0xBF
        && (uchar(text.at(i + 2)) == 0xBE || uchar(text.at(i + 2)) == 0xBF);
}

bool isForbiddenControl(char c)
{
    return uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

} // namespace

QByteArray writableDatabaseText(const QDomDocument& document)
{
    const QByteArray text = databaseText(document);
    QByteArray escaped;
    int copied = 0;
    for (int i = 0; i < text.size(); ++i) {
        const bool control = isForbiddenControl(text.at(i));
        if (!control && !isNonCharacter(text, i))
            continue;
        escaped += text.mid(copied, i - copied);
        if (control) {
            escaped += "&#x" + QByteArray::number(uchar(text.at(i)), 16).toUpper() + ';';
            copied = i + 1;
        } else {
            escaped += uchar(text.at(i + 2)) == 0xBE ? "&#xFFFE;" : "&#xFFFF;";
            copied = i + 3;
            i += 2;
        }
    }
    if (copied == 0)
        return text;
    escaped += text.mid(copied);
    // Only a text that reads back as exactly this document may replace a copy.
    QDomDocument check;
    if (!check.setContent(escaped) || databaseText(check) != text)
        return QByteArray();
    return escaped;
}

bool removeConnectionNamed(QDomDocument& document, const QString& name)
{
    bool removed = false;
    QDomElement connections = document.documentElement().firstChildElement(QLatin1String(db::Connections));
    for (QDomElement connection = connections.lastChildElement(); !connection.isNull();) {
        const QDomElement previous = connection.previousSiblingElement();
        if (connection.tagName() == QLatin1String(db::Connection)
            && connection.attribute(QLatin1String(db::Name)) == name) {
            qDebug() << "Removing conection";
            connections.removeChild(connection);
            removed = true;
        } else {
            removeChildrenNaming(connection, db::TargetName, name,
                QStringLiteral("Removing ") + name + QStringLiteral(" from TX pool."));
        }
        connection = previous;
    }
    for (QDomElement user : db::allUsers(document))
        removeChildrenNaming(user, db::ConnectionName, name);
    return removed;
}
