#pragma once

#include <QObject>

class QEvent;

// Set by the filter on keyboard or mouse activity outside the log-on screen,
// cleared by the main window when it restarts or stops the inactivity count.
extern bool guiActivitySeen;

// Application-wide filter that notices user activity for the inactivity
// time-out; it only watches and never consumes an event.
class KXEventFilter : public QObject {
    Q_OBJECT

public:
    explicit KXEventFilter(bool* activitySeen);
    ~KXEventFilter() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // True for objects whose name holds one of the log-on screen names, and for
    // every part of the log-on dialog: typing a password or moving the pointer
    // at the log-on screen must not keep a session alive.
    static bool isLoginScreenObject(QObject* object);

private:
    bool* activitySeen;
};
