#pragma once

#include "users/favorites.h"

#include <QDialog>

class ConnectionPicker;
class OsdContext;

namespace Ui {
class EditUData;
}

// "Edit User Data": everything the new-user form holds for an existing user,
// with the password reset in place of the password fields. Saving changes only
// what the form shows; "admin" keeps its name and privilege.
class EditUData : public QDialog {
    Q_OBJECT

public:
    EditUData(OsdContext& context, const QString& userName);
    ~EditUData() override;

    // The user's name once saved.
    QString savedName() const { return oldName; }

signals:
    // The person logged on was renamed: the window shows and records the new name.
    void loggedOnUserRenamed(const QString& newName);

public slots:
    void on_saveUsrDataChangesButton_clicked();
    void on_cancelUsrDataChangesButton_clicked();
    void on_addUConChangeButton_clicked();
    void on_remUConChangeButton_clicked();
    void on_pushButtonFavorites_clicked();
    void on_buttonChangePassw_clicked();
    void on_lineEditUNameEdt_textChanged(const QString& text);

private:
    // The log-on, the automatic log-on and the unit's record follow a new name.
    void carryRename(const QString& newName, bool wasAutoLogonUser);

    OsdContext& context;
    Ui::EditUData* ui;
    ConnectionPicker* picker;
    QString oldName;
    FavoriteChoice favorites;
};
