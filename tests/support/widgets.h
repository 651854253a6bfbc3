#pragma once

#include "app/mainwindow.h"

#include <QLabel>
#include <QObject>
#include <QString>
#include <QTextDocument>

// The widget named `name` under `parent`. A missing one ends the run at once
// with its name: every check after it would fail on a null pointer. The main
// window builds each Control page when it is first opened; a test reaches into
// any of them as if it had been.
template <typename T> T* child(const QObject& parent, const QString& name)
{
    if (auto* window = qobject_cast<MainWindow*>(const_cast<QObject*>(&parent)))
        window->form();
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

// A label shows its text as typed, never as markup Qt guessed (which may load files).
inline bool shownAsText(const QLabel* label)
{
    return label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text());
}
