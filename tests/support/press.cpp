#include "press.h"

#include "modal.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QCoreApplication>

QString pressAndSettle(const QObject& parent, const QString& button, const QString& title, int timeoutMs)
{
    const ModalAnswerPtr answer = title.isEmpty() ? ModalAnswerPtr() : answerNextBox(title, QMessageBox::Ok);
    child<QAbstractButton>(parent, button)->click();
    QCoreApplication::processEvents();
    return answer && waitForAnswer(answer, timeoutMs) ? answer->text : QString();
}
