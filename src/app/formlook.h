#pragma once

#include <QProxyStyle>

class QColor;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

// The forms' look set on the widgets themselves rather than by style sheets:
// a sheet sends every widget beneath it through the style sheet machinery, and
// that was a good part of building and of showing the main window.
// Draws what the forms' style sheets drew, for the widgets FormLook marks; the
// rest as the application style.
class FormStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override;
};

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

// The log-on dialog's light panel with its edge, its rounded white fields
// (a blue edge while typing) and its blue main button.
void setPanelLook(QFrame* panel);
void setFieldLook(QLineEdit* field);
void setPrimaryLook(QPushButton* button);

} // namespace FormLook
