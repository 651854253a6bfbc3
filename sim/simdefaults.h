#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The receiver that a fresh unit root describes: healthy, unmanaged, single
// head, a transmitter answering at its factory address, no USB stick.
namespace SimDefaults {

QJsonObject unitState();
// Factory state of a transmitter (its address is the key it is stored under).
QJsonObject transmitter();
QJsonObject transmitterPrefs();
// The database that the simulated management appliance hands out.
QByteArray managerDatabase();
// Creates the unit's folders and files under `root`; existing files are kept.
void createUnitFiles(const QString& root, const QJsonObject& state);
// Text of a placeholder for a firmware program, so that listings and
// existence checks see it; the simulator never runs it.
QByteArray programPlaceholder(const QString& program);

// Unit paths of the firmware programs that a fresh unit has on disk.
QStringList programPaths();

} // namespace SimDefaults
