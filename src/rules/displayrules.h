#pragma once
// The resolution lists offered to remote sessions and to the OSD itself, and
// the OSD mode line of the unit's DirectFB configuration.

#include <QByteArray>
#include <QString>
#include <QStringList>

// Offered when the monitor's list is unusable.
QStringList standardResolutions();
// The OSD modes, ending with "Auto".
QStringList osdResolutions();

// The monitor's list: the preferred mode, then the table, empty texts and
// duplicates dropped; the standard list when none of it is a standard mode.
// `usable` is false when the monitor's list was not taken.
QStringList monitorResolutions(const QString& preferred, const QStringList& table, bool* usable = nullptr);

// What the session resolution items are offered: the monitor's list without
// the modes sessions cannot use.
QStringList sessionResolutions(const QStringList& monitor);

// "1920x1080 60Hz" -> "1920x1080"; the whole text when it has no blank.
QString resolutionOfItem(const QString& item);

// The OSD item named by the last "mode" line of a DirectFB configuration
// ("mode=1280x720" -> "1280x720"); empty when there is none or it names a mode
// the OSD does not offer.
QString osdModeFromDirectfb(const QByteArray& content);
