#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// An upgrade package of the simulated unit: a text file that starts with a
// magic line, then the software map that "--lsm" prints ("Begin3", "Key:Value"
// lines, "End"), then "Files" and the names that "--target" creates. Nothing
// in it is ever executed.
class SimPackage {
public:
    static QByteArray magic();

    // Packages that pass the default unit's checks: a receiver package for the
    // receiver, a transmitter package for its transmitter.
    static SimPackage receiver(const QString& version);
    static SimPackage transmitter(const QString& version);

    QString value(const QString& key) const;
    // Replaces the first line with that key, or appends one. The value is
    // written as given: a leading space stays part of it, as on the unit.
    void setValue(const QString& key, const QString& value);
    void removeValue(const QString& key);

    QByteArray mapText() const;
    QByteArray toBytes() const;
    // False when the bytes are not a simulated package.
    static bool parse(const QByteArray& bytes, SimPackage* package);

    QList<QPair<QString, QString>> map;
    QStringList files;
};
