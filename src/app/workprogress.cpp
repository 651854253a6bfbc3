#include "workprogress.h"

#include <QCloseEvent>
#include <QKeyEvent>

WorkProgressDialog::WorkProgressDialog(const QString& label, int minimum, int maximum, QWidget* parent,
    Qt::WindowFlags flags)
    : QProgressDialog(label, QString(), minimum, maximum, parent, flags)
{
}

void WorkProgressDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QProgressDialog::keyPressEvent(event);
}

void WorkProgressDialog::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QProgressDialog::closeEvent(event);
}
