#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>

// The most users a unit keeps, and the most connections one creates and a
// user's list shows.
constexpr int maxEntries = 32;

// What a connection element is, decided by one rule that every reader uses.
enum class ConnectionKind { Pool, ViaTx, Broker, Horizon, Ssh, Vnc, Kvm, Vm };

ConnectionKind connectionKind(const QDomElement& connection);

// The document a new database starts with.
QDomDocument newDatabaseDocument();

// Adds the sections and groups that older documents lack; true when it added any.
bool upgradeSchema(QDomDocument& document);

// Removes the connection named `name`, the pool members and the user
// associations that name it; true when a connection was removed.
bool removeConnectionNamed(QDomDocument& document, const QString& name);

// The largest database text a copy may hold: the storage reads no more.
constexpr qint64 maxDatabaseTextBytes = 16 * 1024 * 1024;
// Deeper than any database: Qt's reader and writer recurse once per level.
constexpr int maxDocumentDepth = 64;

// The one reader of database text from anywhere (a copy, an import, a provided
// database, velmo-config): refuses a document nested deeper than
// maxDocumentDepth or carrying its own entity declarations before any parser
// sees it, decodes by the declared encoding (an encoding it does not know is
// refused) and drops the declaration, so the document writes as UTF-8. False,
// with `into` empty, for anything it refuses or that does not parse.
bool readDatabaseText(const QByteArray& text, QDomDocument& into);

// The text form every database file is written in (one space of indentation, no declaration).
QByteArray databaseText(const QDomDocument& document);
// The same text, made to read back as the same document: characters the
// serializer would write raw although XML forbids them (a parsed "&#xFFFE;")
// are written as references again. Empty when no such text exists.
QByteArray writableDatabaseText(const QDomDocument& document);
