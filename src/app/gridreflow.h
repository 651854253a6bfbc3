#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QGridLayout;
class QLayoutItem;

// Keeps a grid of page buttons closed up: whenever a button is hidden or shown
// (a privilege view, safe mode), the cells that still show something move up
// into consecutive places, row by row in the form's order, and the hidden ones
// wait at the end until they are shown again.
class GridReflow : public QObject {
    Q_OBJECT

public:
    GridReflow(QGridLayout* grid, QObject* parent);

    void reflow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QLayoutItem* item);

    QPointer<QGridLayout> grid;
    int columns = 1;
    QList<QLayoutItem*> cells; // the form's order
};
