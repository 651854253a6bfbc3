#pragma once
// What the unit's own files say about it, as the Information tab shows it.

#include <QByteArray>
#include <QString>

// The first line of the firmware's version file as the Information tab shows
// it: no line breaks, tabs or carriage returns; "Unknown" for an empty file.
QString versionLabelText(const QByteArray& content);

// The manager's address in "/usr/local/mgr_ip" ("KEY=ADDRESS"); false unless
// the text has exactly one "=".
bool managerIpFromFile(const QByteArray& content, QString* address);
