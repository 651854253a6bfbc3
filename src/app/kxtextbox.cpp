#include "kxtextbox.h"

#include "app/formlook.h"

namespace {

// The mask as a style hint rather than a style sheet rule: a page's own style
// sheet would otherwise decide the mask character for every field on it. A
// form style, so the field keeps the look the form gives it.
class PasswordStyle : public FormStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        // No style may show the last typed character, not even briefly.
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return FormStyle::styleHint(hint, option, widget, data);
    }
};

} // namespace

KXTextBox::KXTextBox(QWidget* parent)
    : QLineEdit(parent)
{
    auto* style = new PasswordStyle;
    style->setParent(this);
    setStyle(style);
    enforceMask();
    connect(this, &QLineEdit::textEdited, this, &KXTextBox::onTextChanged);
}

QString KXTextBox::realText() const
{
    return text();
}

void KXTextBox::maskText()
{
    enforceMask();
}

void KXTextBox::onTextChanged(const QString& text)
{
    Q_UNUSED(text)
    // A form may have changed the echo mode since construction.
    enforceMask();
}

void KXTextBox::enforceMask()
{
    // Password mode also makes the line edit refuse copy, cut and drag.
    if (echoMode() != QLineEdit::Password)
        setEchoMode(QLineEdit::Password);
}
