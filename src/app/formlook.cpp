#include "formlook.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionGroupBox>
#include <QStyleOptionToolButton>
#include <QToolButton>

namespace {

const char menuSheet[] = "color: black;background-color: rgb(227,227,227);selection-color: white;"
                         "selection-background-color: #3399ff;";

// Draws what the forms' style sheets drew, the rest as the application style.
class FormStyle : public QProxyStyle {
public:
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
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
        label.setSize(label.size().expandedTo(QCommonStyle::subControlRect(CC_GroupBox, box, SC_GroupBoxLabel, widget).size()));
        int alignment = Qt::AlignCenter | Qt::TextShowMnemonic;
        if (!styleHint(SH_UnderlineShortcut, box, widget))
            alignment |= Qt::TextHideMnemonic;
        QPalette palette = box->palette;
        if (box->textColor.isValid())
            palette.setColor(QPalette::WindowText, box->textColor);
        drawItemText(painter, label, alignment, palette, box->state & State_Enabled, box->text, QPalette::WindowText);
    }
};

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

} // namespace FormLook
