#pragma once

#include "database/namerule.h"
#include "rules/connectionrules.h"

#include <QDomElement>
#include <QString>
#include <QWidget>

class OsdContext;
class QAbstractButton;
class QLineEdit;
class QPushButton;

namespace Ui {
class ConnectionForm;
}

// Texts that stored connections and the launchers cannot carry safely.
namespace ForbiddenCharacters {
// Names, addresses, user names, domains and load-balance texts.
extern const QStringList general;
// Passwords may hold most punctuation, but never quotes or a semicolon.
extern const QStringList password;
// The set as the user is shown it: its characters joined by single spaces.
QString shown(const QStringList& set);
bool containsAny(const QString& text, const QStringList& set);
} // namespace ForbiddenCharacters

// The kinds a connection can be made as, in the order the form offers them.
QStringList connectionKinds();

// The form both connection dialogs show: the fields, the layout of each kind,
// the checks of the typed text and the writing of the element. The dialogs
// only own their window and their slot names.
class ConnectionForm : public QWidget {
    Q_OBJECT

public:
    enum class Mode { New, Edit };

    ConnectionForm(OsdContext& context, Mode mode, QWidget* parent = nullptr);
    ~ConnectionForm() override;

    Ui::ConnectionForm& widgets() { return *ui; }
    QPushButton* saveButton() const;
    QPushButton* cancelButton() const;

    // Clears what the previous kind typed and shows the fields of this one.
    void changeKind(const QString& kind);
    void changeConnectionType(const QString& text);
    // Shows a stored connection, its kind first.
    void fill(const QDomElement& connection);
    // Checks the form and stores it, replacing `originalName` when given.
    // False leaves the form as it is, with the offending field focused.
    bool save(const QString& originalName = QString());
    // The name of the connection last stored.
    QString savedName() const { return lastSavedName; }
    // Return clicks the focused check box or button; false when it is none of them.
    bool clickFocused();

signals:
    // The user's changes, for the dialogs' slots; the dialogs call back the
    // handlers above.
    void kindChosen(const QString& kind);
    void connectionTypeChosen(const QString& text);
    void nlaStateChanged(int state);
    void preEmptionStateChanged(int state);
    void saveClicked();
    void cancelClicked();

private:
    void applyKindLayout(const QString& kind);
    // `originalName`: the stored name an edit replaces, which may be longer than can be typed.
    bool checkFields(const QString& kind, const QString& originalName);
    bool refuse(QLineEdit* field, const QString& message);
    ConnectionRules::ConnectionValues typedValues() const;

    OsdContext& context;
    Ui::ConnectionForm* ui;
    Mode mode;
    bool dualHead = false;
    QString lastSavedName;
};
