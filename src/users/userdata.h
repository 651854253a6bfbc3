#pragma once

#include "users/favorites.h"

#include <QDialog>

class ConnectionPicker;
class OsdContext;

namespace Ui {
class UserData;
}

// "New User Data": name, privilege, password, the connections the new user may
// start, the one started at log-on and the favourite slots.
class UserData : public QDialog {
    Q_OBJECT

public:
    explicit UserData(OsdContext& context);
    ~UserData() override;

public slots:
    void on_saveUsrDataButton_clicked();
    void on_CancelUsrDataButton_clicked();
    void on_addConn2UsrButton_clicked();
    void on_RmvConnFromUsrButton_clicked();
    void on_pushButtonFaorites_clicked();
    void on_lineEditUsrName_textChanged(const QString& text);

private:
    OsdContext& context;
    Ui::UserData* ui;
    ConnectionPicker* picker;
    FavoriteChoice favorites;
};
