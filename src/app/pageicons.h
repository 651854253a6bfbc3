#pragma once

#include <QObject>
#include <QPointer>

#include <utility>
#include <vector>

class QAbstractButton;
class QWidget;

// Gives a page's buttons their icons when the page first shows. Decoding the
// pictures of every page was a good part of building the main window, and at
// the start only one page is on screen.
class PageIcons : public QObject {
public:
    using Entry = std::pair<QAbstractButton*, const char*>; // the button, its picture's resource path

    static void defer(QWidget* page, const std::vector<Entry>& icons);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PageIcons(QWidget* page, const std::vector<Entry>& icons);
    void apply();

    std::vector<std::pair<QPointer<QAbstractButton>, const char*>> icons;
};
