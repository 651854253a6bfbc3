#include "gridreflow.h"

#include <QEvent>
#include <QGridLayout>
#include <QWidget>

#include <map>

GridReflow::GridReflow(QGridLayout* grid, QObject* parent)
    : QObject(parent)
    , grid(grid)
    , columns(qMax(1, grid->columnCount()))
{
    std::map<std::pair<int, int>, QLayoutItem*> byPlace;
    for (int index = 0; index < grid->count(); ++index) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        byPlace[{ row, column }] = grid->itemAt(index);
    }
    for (const auto& place : byPlace) {
        cells.append(place.second);
        watch(place.second);
    }
    reflow();
}

void GridReflow::watch(QLayoutItem* item)
{
    if (QWidget* widget = item->widget())
        widget->installEventFilter(this);
    if (QLayout* layout = item->layout())
        for (int index = 0; index < layout->count(); ++index)
            watch(layout->itemAt(index));
}

bool GridReflow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        reflow();
    return QObject::eventFilter(watched, event);
}

void GridReflow::reflow()
{
    if (!grid)
        return;
    while (grid->count() > 0)
        grid->takeAt(0);
    int place = 0;
    const auto put = [&](QLayoutItem* cell) {
        if (QLayout* layout = cell->layout())
            grid->addLayout(layout, place / columns, place % columns);
        else
            grid->addItem(cell, place / columns, place % columns);
        ++place;
    };
    for (QLayoutItem* cell : cells)
        if (!cell->isEmpty())
            put(cell);
    for (QLayoutItem* cell : cells)
        if (cell->isEmpty())
            put(cell);
}
