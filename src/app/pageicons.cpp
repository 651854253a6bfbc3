#include "pageicons.h"

#include <QAbstractButton>
#include <QEvent>
#include <QIcon>
#include <QWidget>

void PageIcons::defer(QWidget* page, const std::vector<Entry>& icons)
{
    auto* pending = new PageIcons(page, icons);
    if (page->isVisible())
        pending->apply();
    else
        page->installEventFilter(pending);
}

PageIcons::PageIcons(QWidget* page, const std::vector<Entry>& entries)
    : QObject(page)
{
    for (const Entry& entry : entries)
        icons.emplace_back(entry.first, entry.second);
}

bool PageIcons::eventFilter(QObject* watched, QEvent* event)
{
    // The show event comes before the page's first paint, and the layout
    // request that a new icon posts is handled before the paint as well.
    if (event->type() == QEvent::Show) {
        watched->removeEventFilter(this);
        apply();
    }
    return false;
}

void PageIcons::apply()
{
    for (const auto& entry : icons)
        if (entry.first)
            entry.first->setIcon(QIcon(QLatin1String(entry.second)));
    icons.clear();
    deleteLater();
}
