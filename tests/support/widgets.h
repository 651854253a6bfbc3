#pragma once

#include <QObject>
#include <QString>

// The widget named `name` under `parent`. A missing one ends the run at once
// with its name: every check after it would fail on a null pointer.
template <typename T> T* child(const QObject& parent, const QString& name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}
