#include "kxeventfilter.h"

#include <QEvent>

bool guiActivitySeen = false;

namespace {

// Matched by "contains", so any name holding "label" counts as well.
const char* const loginScreenNames[] = {
    "LoginDialog",
    "userNamelineEdit",
    "passwordlineEdit",
    "rememberCheckBox",
    "logonButton",
    "label",
    "poweroffButton",
    "settingsButton",
    "helpButton",
};

} // namespace

KXEventFilter::KXEventFilter(bool* activitySeen)
    : QObject(nullptr)
    , activitySeen(activitySeen)
{
}

KXEventFilter::~KXEventFilter() = default;

bool KXEventFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseMove || type == QEvent::KeyPress) && activitySeen
        && !isLoginScreenObject(watched))
        *activitySeen = true;
    return QObject::eventFilter(watched, event);
}

bool KXEventFilter::isLoginScreenObject(QObject* object)
{
    if (!object)
        return false;
    const QString name = object->objectName();
    for (const char* loginName : loginScreenNames) {
        if (name.contains(QLatin1String(loginName)))
            return true;
    }
    return false;
}
