#pragma once

#include <QDialog>

class OsdContext;

namespace Ui {
class ChangePassword;
}

// Sets a new password for `userName`, confirmed by the password of the person
// logged on: their own change ("Password Change") or an administrator's reset
// of another user ("Password Reset").
class ChangePassword : public QDialog {
    Q_OBJECT

public:
    ChangePassword(OsdContext& context, QWidget* parent, const QString& userName, const QString& title);
    ~ChangePassword() override;

public slots:
    void on_buttonSavePass_clicked();
    void on_buttonCancelPass_clicked();

private:
    OsdContext& context;
    Ui::ChangePassword* ui;
    QString userName;
};
