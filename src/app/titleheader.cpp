#include "titleheader.h"

#include <QEvent>

namespace {

const char headerStyle[] = "QLabel#titleHeader { background-color: #3399ff; color: white; font-weight: bold;"
                           " padding: 5px 10px; }";

} // namespace

TitleHeader::TitleHeader(QWidget* window)
    : QLabel(window)
    , window(window)
    , ownMargins(window->contentsMargins())
{
    setObjectName(QStringLiteral("titleHeader"));
    setStyleSheet(QLatin1String(headerStyle));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Outside every layout: the window's contents margins keep its room free.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    window->installEventFilter(this);
}

TitleHeader* TitleHeader::attach(QWidget* window)
{
    auto* header = new TitleHeader(window);
    header->followTitle();
    return header;
}

bool TitleHeader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window) {
        if (event->type() == QEvent::WindowTitleChange)
            followTitle();
        else if (event->type() == QEvent::Resize)
            resize(window->width(), height());
    }
    return QLabel::eventFilter(watched, event);
}

void TitleHeader::followTitle()
{
    const QString title = window->windowTitle();
    setText(title);
    ensurePolished();
    const int room = title.isEmpty() ? 0 : sizeHint().height();
    setVisible(room > 0);
    setGeometry(0, 0, window->width(), room);
    raise();
    window->setContentsMargins(ownMargins + QMargins(0, room, 0, 0));
}
