#pragma once

#include <QMessageBox>
#include <QRect>

// Every message and confirmation of the OSD. With no window manager on the
// unit the box shows its own title, places itself over what the user is
// looking at, and a question defaults to the answer that changes nothing, so
// a stray Return never reboots or deletes.
class OsdMessageBox : public QMessageBox {
    Q_OBJECT

public:
    OsdMessageBox(const QString& title, const QString& text, StandardButtons buttons, QWidget* parent,
        Icon icon = NoIcon);

protected:
    void showEvent(QShowEvent* event) override;
};

// Where a box of `size` goes on `screen`: centred on `over` (an invalid rect:
// on the screen), moved just below `keepClear` (else above it) when it would
// cover it, and always inside the screen.
QRect placeBox(const QSize& size, const QRect& over, const QRect& keepClear, const QRect& screen);
