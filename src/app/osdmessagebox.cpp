#include "osdmessagebox.h"

#include "app/titleheader.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int clearance = 8;

// The harmless answer of a question: a rejection before a plain No.
QAbstractButton* harmlessButton(const QMessageBox& box)
{
    const QList<QAbstractButton*> buttons = box.buttons();
    if (buttons.size() < 2)
        return nullptr;
    for (QMessageBox::ButtonRole role : { QMessageBox::RejectRole, QMessageBox::NoRole })
        for (QAbstractButton* button : buttons)
            if (box.buttonRole(button) == role)
                return button;
    return nullptr;
}

// The window the box is about: the dialog that is up, else its parent's
// window; a hidden window (the main window during a log-on) does not count.
QWidget* anchorOf(const QWidget* box)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != box && modal->isVisible())
        return modal;
    QWidget* parent = box->parentWidget() ? box->parentWidget()->window() : nullptr;
    return parent && parent->isVisible() ? parent : nullptr;
}

// The fields the user typed into, which the box must leave in view.
QRect typingArea(const QWidget* anchor)
{
    QRect area;
    for (const QLineEdit* field : anchor->findChildren<QLineEdit*>())
        if (field->isVisible())
            area |= QRect(field->mapToGlobal(QPoint(0, 0)), field->size());
    return area;
}

int clamped(int start, int length, int areaStart, int areaLength)
{
    return qMax(areaStart, qMin(start, areaStart + areaLength - length));
}

} // namespace

QRect placeBox(const QSize& size, const QRect& over, const QRect& keepClear, const QRect& screen)
{
    const QRect centre = over.isValid() ? over : screen;
    QRect box(centre.x() + (centre.width() - size.width()) / 2,
        centre.y() + (centre.height() - size.height()) / 2, size.width(), size.height());
    if (keepClear.isValid() && box.intersects(keepClear)) {
        QRect below = box;
        below.moveTop(keepClear.bottom() + 1 + clearance);
        QRect above = box;
        above.moveBottom(keepClear.top() - 1 - clearance);
        if (below.bottom() <= screen.bottom())
            box = below;
        else if (above.top() >= screen.top())
            box = above;
    }
    box.moveTo(clamped(box.x(), box.width(), screen.x(), screen.width()),
        clamped(box.y(), box.height(), screen.y(), screen.height()));
    return box;
}

OsdMessageBox::OsdMessageBox(
    const QString& title, const QString& text, StandardButtons buttons, QWidget* parent, Icon icon)
    : QMessageBox(icon, title, QString(), buttons, parent, Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    // Texts carry names from data; a guess at rich text would let a name load files.
    setTextFormat(Qt::PlainText);
    setText(text);
    TitleHeader::attach(this);
    if (auto* harmless = qobject_cast<QPushButton*>(harmlessButton(*this)))
        setDefaultButton(harmless);
}

void OsdMessageBox::showEvent(QShowEvent* event)
{
    QMessageBox::showEvent(event);
    const QWidget* anchor = anchorOf(this);
    const QScreen* screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect over = anchor ? anchor->frameGeometry() : QRect();
    // move() places the frame, where a platform draws one.
    move(placeBox(frameGeometry().size(), over, anchor ? typingArea(anchor) : QRect(), screen->geometry())
             .topLeft());
}
