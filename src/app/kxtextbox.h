#pragma once

#include <QLineEdit>

// Password field: shows one "*" per character and never lets the password out
// through copy, cut or drag. The typed text stays in the line edit itself, so
// every kind of edit (typing, erasing, mid-text edits, selection replace,
// paste, undo) changes exactly the password the user sees being edited.
class KXTextBox : public QLineEdit {
    Q_OBJECT

public:
    explicit KXTextBox(QWidget* parent = nullptr);

    // The typed text; read this, as the display only holds asterisks.
    QString realText() const;
    // Masks a text loaded with setText(), e.g. a stored password.
    void maskText();

public slots:
    void onTextChanged(const QString& text);

private:
    void enforceMask();
};
