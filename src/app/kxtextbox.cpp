#include "kxtextbox.h"

namespace {

// 42 is "*"; a mask delay of 0 keeps the style from briefly showing the last
// typed character.
const char maskStyle[] = "KXTextBox { lineedit-password-character: 42; lineedit-password-mask-delay: 0; }";
const char maskProperty[] = "lineedit-password-character";

} // namespace

KXTextBox::KXTextBox(QWidget* parent)
    : QLineEdit(parent)
{
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
    // A form may have changed the echo mode or the style sheet since construction.
    enforceMask();
}

void KXTextBox::enforceMask()
{
    // Password mode also makes the line edit refuse copy, cut and drag.
    if (echoMode() != QLineEdit::Password)
        setEchoMode(QLineEdit::Password);
    QString sheet = styleSheet();
    if (sheet.contains(QLatin1String(maskProperty)))
        return;
    // A sheet of bare declarations applies to the box itself; it keeps doing so
    // inside a rule, which it must become to sit beside ours.
    if (!sheet.trimmed().isEmpty() && !sheet.contains(QLatin1Char('{')))
        sheet = QStringLiteral("* { ") + sheet + QStringLiteral(" }");
    if (!sheet.isEmpty())
        sheet += QLatin1Char('\n');
    setStyleSheet(sheet + QLatin1String(maskStyle));
}
