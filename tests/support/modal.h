#pragma once

#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QSharedPointer>
#include <QString>

#include <functional>

// Driving modal boxes and dialogs for real: schedule the answer first, then do
// what opens the box; the answer is given from inside its event loop.

struct ModalAnswer {
    QString title; // the window title waited for
    QString text; // QMessageBox text or progress/input label, once answered
    bool answered = false; // the box was seen and the button pressed
};
using ModalAnswerPtr = QSharedPointer<ModalAnswer>;

// Presses `button` on the next visible QMessageBox or QDialog (never a progress
// window) whose window title is `title` (a dialog without that button is accepted for Ok/Yes/Save/Open/
// Apply and rejected otherwise). Answers are used in the order scheduled.
ModalAnswerPtr answerNextBox(const QString& title, QMessageBox::StandardButton button);
// The same, pressing the button whose text is `buttonText` ("&" marks ignored).
ModalAnswerPtr answerNextBox(const QString& title, const QString& buttonText);

// Processes events until the answer was given; false after timeoutMs.
bool waitForAnswer(const ModalAnswerPtr& answer, int timeoutMs = 5000);

// Every box answered so far in this process, in order.
QList<ModalAnswer> answeredBoxes();

// Answers each of `boxes` ("Title: text", or "Title" for a dialog that shows no text) in
// turn with the button text `buttons` gives for its title, else OK; the last answer.
ModalAnswerPtr answerBoxes(const QStringList& boxes, const QMap<QString, QString>& buttons = {});

// "Title: text" of each box answered after the first `first`, "Title" for one without text.
QStringList boxesSince(int first, const QString& separator = QStringLiteral(": "));

// Presses `button` on the box `title` that `act` brings up (within `waitMs` after it
// returns) and returns the box's text; a null string when none came.
QString answerAfter(const QString& title, const std::function<void()>& act,
    QMessageBox::StandardButton button = QMessageBox::Ok, int waitMs = 0);

// For cleanup(): rejects every modal widget still open and drops the answers
// not used; returns how many answers were never used.
int closeLeftoverModals();

// Runs `act` on the next modal dialog titled `title` from inside its event
// loop, for dialogs that are driven by their own widgets; the flag tells it ran.
QSharedPointer<bool> actOnNextDialog(const QString& title, std::function<void(QDialog&)> act);

// Runs `act` on the dialog titled `title` that `open` brings up; false when none came.
bool actOnDialogOf(const std::function<void()>& open, const QString& title, std::function<void(QDialog&)> act);

// Ends the run with a message when a modal box has waited `seconds` for an
// answer nobody gave: the test would otherwise hang until its time-out.
void watchUnansweredBoxes(int seconds = 30);
