#pragma once

#include <QDialog>
#include <QString>

class OsdContext;
class QAction;
class QKeyEvent;
class QMenu;

namespace Ui {
class LoginDialog;
}

// What only the window does for the log-on dialog: its header's keyboard
// layout and user, its Information tab, and the reboot question.
class LogonWindow {
public:
    virtual ~LogonWindow() = default;
    // The keyboard layout's label, shown in the window's header too.
    virtual QString showKeyboardLayout() = 0;
    virtual void setLoggedInUser(const QString& name) = 0;
    virtual void showUnitInformation() = 0;
    virtual void sureReboot() = 0;
};

// The form nobody gets past without a user name and password. It checks them
// against the local database or, for directory users, the directory service,
// and on a managed unit first asks the management appliance for its users.
class LoginDialog : public QDialog {
    Q_OBJECT

public:
    LoginDialog(OsdContext& context, LogonWindow& window);
    ~LoginDialog() override;

    bool authenticateLocal(const QString& user, const QString& password);
    bool isDirectoryLogonEnabled();
    bool authenticateDirectory(const QString& user, const QString& password);
    void showAuthenticationError(int code);
    void loadRememberedUser();
    void saveRememberedUser(const QString& user);
    // Writes the keymap, has the unit load it and closes the OSD, which comes
    // back up with the new layout; the language already in use changes nothing.
    void setKeyboardLanguage(const QString& code);

public slots:
    void createMenus();
    void on_logonButton_clicked();
    void on_helpButton_clicked();
    void systemPoweroff();
    void systemReboot();
    void setLangUK();
    void setLangUS();
    void setLangFr();
    void setLangDE();
    void setLangSw();
    void setLangNor();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void on_rememberCheckBox_clicked(bool checked);

private:
    void sayAdministratorsOnly();
    // The panel, fields and main button drawn by the form style: a style sheet
    // would load the whole style sheet machinery before the dialog first shows.
    void setLook();
    void chooseLanguage(int row);
    void clearPassword();
    void letPaint();

    OsdContext& context;
    LogonWindow& window;
    Ui::LoginDialog* ui;
    bool safeMode = false;
    bool directoryUserRequested = false;
    bool attemptRunning = false;
    QMenu* powerMenu = nullptr;
    QMenu* settingsMenu = nullptr;
    QMenu* keyboardMenu = nullptr;
    QAction* rebootAction = nullptr;
};
