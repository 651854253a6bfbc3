#pragma once

class QColor;
class QGroupBox;
class QLabel;
class QMenu;
class QToolButton;

// The forms' look set on the widgets themselves rather than by style sheets:
// a sheet sends every widget beneath it through the style sheet machinery, and
// that was a good part of building and of showing the main window.
namespace FormLook {

// The title in 14 px bold; what the box holds keeps the normal font.
void setTitleFont(QGroupBox* box);
void setBold(QLabel* label);
void setTextColor(QLabel* label, const QColor& color);
// A button that opens its menu at once needs no arrow to say so.
void hideMenuIndicator(QToolButton* button);
// The OSD's menu colours, given when the menu first opens: a menu is built with
// its window, and most are never opened.
void setMenuLook(QMenu* menu);

} // namespace FormLook
