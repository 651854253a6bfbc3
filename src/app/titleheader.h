#pragma once

#include <QLabel>
#include <QMargins>

// The unit's framebuffer has no window manager, so no window shows a title bar:
// a window that needs its title seen draws it as a strip across its own top.
class TitleHeader : public QLabel {
    Q_OBJECT

public:
    // Puts the strip on `window`; it follows every later change of the title and
    // is left out while the title is empty.
    static TitleHeader* attach(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TitleHeader(QWidget* window);
    void followTitle();

    QWidget* window;
    QWidget* edge;
    QMargins ownMargins;
};
