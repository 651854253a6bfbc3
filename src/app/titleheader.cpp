#include "titleheader.h"

#include <QEvent>
#include <QPainter>

namespace {

// Without a window frame a dialog melts into a window of the same grey behind
// it: a line around its edge, drawn above its children, never in their way.
class WindowEdge : public QWidget {
public:
    explicit WindowEdge(QWidget* window)
        : QWidget(window)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(window->rect());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

const char headerStyle[] = "QLabel#titleHeader { background-color: #3399ff; color: white; font-weight: bold;"
                           " padding: 5px 10px; }";

} // namespace

TitleHeader::TitleHeader(QWidget* window)
    : QLabel(window)
    , window(window)
    , edge(new WindowEdge(window))
    , ownMargins(window->contentsMargins())
{
    setObjectName(QStringLiteral("titleHeader"));
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
        else if (event->type() == QEvent::Resize) {
            resize(window->width(), height());
            edge->setGeometry(window->rect());
        }
    }
    return QLabel::eventFilter(watched, event);
}

void TitleHeader::followTitle()
{
    const QString title = window->windowTitle();
    // Styled once there is a title to show: a window without one, like the
    // log-on dialog, needs no style sheet machinery for an empty strip.
    if (!title.isEmpty() && styleSheet().isEmpty())
        setStyleSheet(QLatin1String(headerStyle));
    setText(title);
    ensurePolished();
    const int room = title.isEmpty() ? 0 : sizeHint().height();
    setVisible(room > 0);
    setGeometry(0, 0, window->width(), room);
    raise();
    edge->raise();
    window->setContentsMargins(ownMargins + QMargins(0, room, 0, 0));
}
