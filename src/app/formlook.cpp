#include "formlook.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <QStyleOptionToolButton>
#include <QToolButton>

namespace {

const char menuSheet[] = "color: black;background-color: rgb(227,227,227);selection-color: white;"
                         "selection-background-color: #3399ff;";

const char lookProperty[] = "formLook";
const QColor blue(0x33, 0x99, 0xff);
const QColor deepBlue(0x1f, 0x7a, 0xd6);

bool looks(const QWidget* widget, const char* look)
{
    return widget && widget->property(lookProperty).toByteArray() == look;
}

QStyle* formStyle()
{
    // One for the process, gone with the application.
    static QPointer<FormStyle> style;
    if (!style) {
        style = new FormStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

} // namespace

void FormStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    if (element == PE_PanelLineEdit && looks(widget, "field")) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(option->state & State_HasFocus ? blue : QColor(170, 170, 170));
        painter->setBrush(Qt::white);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        painter->restore();
        return;
    }
    if (element == PE_FrameFocusRect && looks(widget, "primary"))
        return; // the darker blue says it
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void FormStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const
{
    if (element == CE_ShapedFrame && looks(widget, "panel")) {
        painter->fillRect(option->rect, QColor(246, 246, 246));
        painter->setPen(QColor(150, 150, 150));
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        return;
    }
    if (element == CE_PushButtonBevel && looks(widget, "primary")) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(option->state & State_HasFocus ? deepBlue : blue);
        painter->drawRoundedRect(QRectF(option->rect), 3, 3);
        painter->restore();
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

QRect FormStyle::subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const
{
    if (element == SE_LineEditContents && looks(widget, "field"))
        return option->rect.adjusted(7, 2, -7, -2); // the edge and the room inside it
    if (element == SE_PushButtonContents && looks(widget, "primary"))
        return option->rect;
    return QProxyStyle::subElementRect(element, option, widget);
}

QSize FormStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                                  const QWidget* widget) const
{
    if (type == CT_PushButton && looks(widget, "primary"))
        return contents;
    return QProxyStyle::sizeFromContents(type, option, contents, widget);
}

void FormStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const
{
    if (const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option)) {
        QStyleOptionToolButton plain(*button);
        plain.features &= ~QStyleOptionToolButton::HasMenu;
        return QProxyStyle::drawComplexControl(control, &plain, painter, widget);
    }
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (!box)
        return QProxyStyle::drawComplexControl(control, option, painter, widget);
    QStyleOptionGroupBox frame(*box);
    frame.subControls &= ~SC_GroupBoxLabel;
    QProxyStyle::drawComplexControl(control, &frame, painter, widget);
    if (!(box->subControls & SC_GroupBoxLabel) || box->text.isEmpty())
        return;
    // The title centred in the wider of the two label rectangles, as a
    // style sheet's font on the box had it drawn.
    QRect label = subControlRect(CC_GroupBox, box, SC_GroupBoxLabel, widget);
    const QRect common = QCommonStyle::subControlRect(CC_GroupBox, box, SC_GroupBoxLabel, widget);
    label.setSize(label.size().expandedTo(common.size()));
    int alignment = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (!styleHint(SH_UnderlineShortcut, box, widget))
        alignment |= Qt::TextHideMnemonic;
    QPalette palette = box->palette;
    if (box->textColor.isValid())
        palette.setColor(QPalette::WindowText, box->textColor);
    drawItemText(painter, label, alignment, palette, box->state & State_Enabled, box->text,
                 QPalette::WindowText);
}

namespace FormLook {

void setTitleFont(QGroupBox* box)
{
    if (box->testAttribute(Qt::WA_SetFont))
        return; // set before
    // A font set on the box passes to everything in it unless each direct child
    // holds its own: the normal font, with the two properties the title changes.
    QFont contents = box->font();
    if (contents.pixelSize() > 0)
        contents.setPixelSize(contents.pixelSize());
    else
        contents.setPointSizeF(contents.pointSizeF());
    contents.setWeight(contents.weight());
    for (QWidget* child : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!child->testAttribute(Qt::WA_SetFont))
            child->setFont(contents);
    QFont title = box->font();
    title.setPixelSize(14);
    title.setBold(true);
    box->setFont(title);
    box->setStyle(formStyle());
}

void setBold(QLabel* label)
{
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

void setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

void hideMenuIndicator(QToolButton* button)
{
    button->setStyle(formStyle());
}

void setMenuLook(QMenu* menu)
{
    // The menu measures itself after this signal, so it opens at its styled size.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        if (menu->styleSheet().isEmpty())
            menu->setStyleSheet(QLatin1String(menuSheet));
    });
}

void setPanelLook(QFrame* panel)
{
    panel->setProperty(lookProperty, QByteArray("panel"));
    panel->setFrameStyle(QFrame::Box | QFrame::Plain); // the edge keeps a pixel of room
    panel->setLineWidth(1);
    panel->setStyle(formStyle());
}

void setFieldLook(QLineEdit* field)
{
    field->setProperty(lookProperty, QByteArray("field"));
    QFont font = field->font();
    font.setPixelSize(14);
    field->setFont(font);
    field->setMinimumHeight(30);
    // A field with a form style of its own (the password field's) keeps it.
    if (!dynamic_cast<FormStyle*>(field->style()))
        field->setStyle(formStyle());
}

void setPrimaryLook(QPushButton* button)
{
    button->setProperty(lookProperty, QByteArray("primary"));
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::white);
    button->setPalette(palette);
    button->setMinimumSize(96, 28);
    button->setStyle(formStyle());
}

} // namespace FormLook
