#pragma once
// Where and how the unit finds its directory users: a small "key = value" file
// on the unit, written by an administrator. It is outside text, read bounded
// and refused with a reason at the first thing it does not understand.

#include <QByteArray>
#include <QString>
#include <optional>

class Platform;

struct DirectoryConfig {
    QString uri; // ldap://host[:port] or ldaps://host[:port]
    QString base; // where people are searched
    QString userFilter; // "(uid=%s)"; or else
    QString userDn; // "uid=%s,ou=people,dc=example"
    QString bindDn; // an account for the search; empty: anonymous
    QByteArray bindPassword;
    bool startTls = false;
    QString caFile; // a path on this machine; empty: the system's
    bool allowPlain = false;
    QString adminGroup;
    QString powerGroup;
    QString groupMemberAttribute = QStringLiteral("member");
    QString connectionsAttribute;
    int timeoutSeconds = 10;

    bool usesTls() const;
};

constexpr qint64 maxDirectoryConfigBytes = 64 * 1024;

// `ownerOnly`: nobody but the file's owner may read it; a file with a search
// password is refused otherwise.
std::optional<DirectoryConfig> parseDirectoryConfig(const QByteArray& text, bool ownerOnly, QString* reason);

// Reads the file at a unit path: a regular file, no link, within the bound.
// `ca_file` is a unit path too and comes back mapped to where it lives.
std::optional<DirectoryConfig> readDirectoryConfig(
    const Platform& platform, const QString& unitPath, QString* reason);

// A name (UTF-8) made safe for a search filter and for a DN value.
QByteArray escapeFilterValue(const QByteArray& value);
QByteArray escapeDnValue(const QByteArray& value);
