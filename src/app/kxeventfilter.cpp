#include "kxeventfilter.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

bool guiActivitySeen = false;

namespace {

const char logonDialogName[] = "LoginDialog";

// Matched by "contains", so any name holding "label" counts as well.
const char* const loginScreenNames[] = {
    logonDialogName,
    "userNamelineEdit",
    "passwordlineEdit",
    "rememberCheckBox",
    "logonButton",
    "label",
    "poweroffButton",
    "settingsButton",
    "helpButton",
};

// The window system hands an event to a widget's window before the widget.
QObject* widgetOf(QObject* object)
{
    if (auto* window = qobject_cast<QWindow*>(object)) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->windowHandle() == window)
                return widget;
    }
    return object;
}

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
    // Once seen, activity needs no further look until the poll clears it.
    if ((type == QEvent::MouseMove || type == QEvent::KeyPress) && activitySeen && !*activitySeen
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
    // The dialog's frames and menus have names of their own, or none; the
    // pointer resting on them is still someone at the log-on screen.
    for (QObject* owner = widgetOf(object); owner; owner = owner->parent()) {
        if (owner->objectName().contains(QLatin1String(logonDialogName)))
            return true;
    }
    return false;
}
