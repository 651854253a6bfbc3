#pragma once
// The launch script a session launcher writes and the supervisor reads: one
// line "<program> --type T --key 'value' ... [--hotkey N] &". The supervisor
// reads it word by word itself; no shell ever runs it, and no secret is in it.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

struct LaunchRequest {
    QString type;                            // "rdp", "via_tx", "kvm", "horizon", "vnc", "ssh"
    QList<QPair<QString, QString>> options;  // in order; neither "type" nor "hotkey"
    int hotkey = -1;                         // the OSD's hot-key number; -1: none

    QString value(const QString& key) const; // empty when absent
};

// A script larger than this was not written by a launcher.
constexpr qint64 maxLaunchScriptBytes = 64 * 1024;

QByteArray launchScriptText(const QString& program, const LaunchRequest& request);

// The request of a script launchScriptText wrote, also after the OSD edited its
// hot-key; nullopt for anything else.
std::optional<LaunchRequest> parseLaunchScript(const QByteArray& text);
