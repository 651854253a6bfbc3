#include "modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

namespace {

struct Pending {
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QString buttonText;
    ModalAnswerPtr answer;
};

QString plainText(QString text)
{
    return text.remove(QLatin1Char('&'));
}

QString boxText(QDialog* dialog)
{
    // A box that would read its text as markup shows something else than the
    // text: marked, so that no comparison with the text passes.
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        return box->textFormat() == Qt::PlainText || !Qt::mightBeRichText(box->text())
            ? box->text()
            : QStringLiteral("(markup) ") + box->text();
    if (auto* progress = qobject_cast<QProgressDialog*>(dialog))
        return progress->labelText();
    if (auto* input = qobject_cast<QInputDialog*>(dialog))
        return input->labelText();
    return QString();
}

QAbstractButton* findButton(QDialog* dialog, const Pending& pending)
{
    if (!pending.buttonText.isEmpty()) {
        for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
            if (button->isVisible() && plainText(button->text()) == plainText(pending.buttonText))
                return button;
        return nullptr;
    }
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        return box->button(pending.button);
    for (QDialogButtonBox* buttons : dialog->findChildren<QDialogButtonBox*>())
        if (QAbstractButton* button = buttons->button(QDialogButtonBox::StandardButton(int(pending.button))))
            return button;
    return nullptr;
}

bool acceptsByDefault(QMessageBox::StandardButton button)
{
    return button == QMessageBox::Ok || button == QMessageBox::Yes || button == QMessageBox::Save
        || button == QMessageBox::Open || button == QMessageBox::Apply || button == QMessageBox::YesToAll;
}

// Lives on the GUI thread and polls for the boxes that the scheduled answers wait for.
class ModalResponder : public QObject {
public:
    static ModalResponder& instance()
    {
        static QPointer<ModalResponder> responder;
        if (!responder)
            responder = new ModalResponder(qApp);
        return *responder;
    }

    ModalAnswerPtr schedule(Pending pending)
    {
        pendings.append(pending);
        if (!timer.isActive())
            timer.start();
        return pending.answer;
    }

    int dropPending()
    {
        const int unused = pendings.size();
        pendings.clear();
        timer.stop();
        return unused;
    }

    void forget(const ModalAnswerPtr& answer)
    {
        for (int i = pendings.size() - 1; i >= 0; --i)
            if (pendings.at(i).answer == answer)
                pendings.removeAt(i);
    }

    QList<ModalAnswer> answered;

private:
    explicit ModalResponder(QObject* parent)
        : QObject(parent)
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this] { poll(); });
    }

    void poll()
    {
        if (pendings.isEmpty()) {
            timer.stop();
            return;
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            // A progress window may share its title with the box that follows it.
            if (!dialog || !dialog->isVisible() || qobject_cast<QProgressDialog*>(dialog))
                continue;
            for (int i = 0; i < pendings.size(); ++i) {
                if (pendings.at(i).answer->title != dialog->windowTitle())
                    continue;
                const Pending pending = pendings.takeAt(i);
                answer(dialog, pending);
                return; // one box per poll: the answer may have ended its event loop
            }
        }
    }

    void answer(QDialog* dialog, const Pending& pending)
    {
        pending.answer->text = boxText(dialog);
        pending.answer->answered = true;
        answered.append(*pending.answer);
        if (QAbstractButton* button = findButton(dialog, pending)) {
            button->click();
            return;
        }
        if (!pending.buttonText.isEmpty())
            qWarning("answerNextBox: \"%s\" has no button \"%s\"; rejected",
                qPrintable(dialog->windowTitle()), qPrintable(pending.buttonText));
        if (pending.buttonText.isEmpty() && acceptsByDefault(pending.button))
            dialog->accept();
        else
            dialog->reject();
    }

    QList<Pending> pendings;
    QTimer timer;
};

} // namespace

ModalAnswerPtr answerNextBox(const QString& title, QMessageBox::StandardButton button)
{
    return ModalResponder::instance().schedule(
        { button, QString(), ModalAnswerPtr::create(ModalAnswer { title }) });
}

ModalAnswerPtr answerNextBox(const QString& title, const QString& buttonText)
{
    return ModalResponder::instance().schedule(
        { QMessageBox::NoButton, buttonText, ModalAnswerPtr::create(ModalAnswer { title }) });
}

bool waitForAnswer(const ModalAnswerPtr& answer, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!answer->answered && clock.elapsed() < timeoutMs)
        QTest::qWait(5);
    return answer->answered;
}

QList<ModalAnswer> answeredBoxes()
{
    return ModalResponder::instance().answered;
}

ModalAnswerPtr answerBoxes(const QStringList& boxes, const QMap<QString, QString>& buttons)
{
    ModalAnswerPtr last;
    for (const QString& box : boxes) {
        const QString title = box.section(QLatin1String(": "), 0, 0);
        last = buttons.contains(title) ? answerNextBox(title, buttons.value(title))
                                       : answerNextBox(title, QMessageBox::Ok);
    }
    return last;
}

QStringList boxesSince(int first, const QString& separator)
{
    QStringList boxes;
    for (const ModalAnswer& box : answeredBoxes().mid(first))
        boxes << (box.text.isEmpty() ? box.title : box.title + separator + box.text);
    return boxes;
}

QString answerAfter(
    const QString& title, const std::function<void()>& act, QMessageBox::StandardButton button, int waitMs)
{
    const ModalAnswerPtr box = answerNextBox(title, button);
    act();
    waitForAnswer(box, waitMs);
    if (!box->answered)
        ModalResponder::instance().forget(box);
    return box->answered ? box->text : QString();
}

int closeLeftoverModals()
{
    const int unused = ModalResponder::instance().dropPending();
    for (int round = 0; round < 50; ++round) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->isVisible() && widget->isModal() && qobject_cast<QDialog*>(widget))
                    modal = widget;
        }
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QCoreApplication::processEvents();
    }
    return unused;
}

bool actOnDialogOf(const std::function<void()>& open, const QString& title, std::function<void(QDialog&)> act)
{
    const QSharedPointer<bool> done = actOnNextDialog(title, std::move(act));
    open();
    return *done;
}

QSharedPointer<bool> actOnNextDialog(const QString& title, std::function<void(QDialog&)> act)
{
    auto done = QSharedPointer<bool>::create(false);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->windowTitle() != title)
            return;
        poll->deleteLater();
        poll->stop();
        *done = true;
        act(*dialog);
    });
    poll->start(5);
    return done;
}

void watchUnansweredBoxes(int seconds)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, qApp,
        [seconds, watched = QPointer<QWidget>(), clock = QElapsedTimer()]() mutable {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != watched) {
                watched = modal;
                clock.start();
            } else if (modal && clock.elapsed() >= seconds * 1000) {
                qFatal("The box \"%s\" waited %d s for an answer nobody gave",
                    qPrintable(modal->windowTitle()), seconds);
            }
        });
    timer->start(1000);
}
