#include "logindialog.h"
#include "ui_logindialog.h"

#include "app/formlook.h"
#include "rules/keyboardlanguage.h"
#include "app/osdcontext.h"
#include "database/databasestorage.h"
#include "rules/guifiles.h"
#include "rules/statisticsreporter.h"
#include "app/titleheader.h"
#include "database/dbnames.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "services/device_services.h"
#include "services/servicetext.h"
#include "rules/userrules.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QDomElement>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>

#include <cstring>

namespace {

const char helpAddress[] = "https://www.velmo.example/support";
const char keymapPath[] = "/mnt/perm/keymap";

struct AuthenticationError {
    int code;
    const char* title;
    const char* message; // null: the generic text with the code
};

const AuthenticationError authenticationErrors[] = {
    { 1, "Authentication", nullptr },
    { 2, "Authentication", "Corvane manager can not be contacted. Check Corvane Configuration." },
    { 6, "Authentication", "Authentication failed. Please try again." },
    { 7, "Authentication Timeout", "System busy. Please try again." },
    { 8, "Authentication", "Corvane manager can not be contacted. Check Corvane Configuration." },
};

// Our own codes for the wait running out and for a failed user pull.
constexpr int timeoutCode = 7;
constexpr int userPullFailedCode = 8;
constexpr int waitRounds = 30;

bool isPending(int status)
{
    return status == 3 || status == 4 || status == 5;
}

// User names and passwords reach the C services only as bounded, terminated
// Latin-1 copies of at most the length the form accepts.
constexpr int maxFieldLength = 32;
using Latin1Field = ServiceText<maxFieldLength + 1>;

} // namespace

LoginDialog::LoginDialog(OsdContext& context, LogonWindow& window)
    // Made frameless at once: changing the flags afterwards re-parents the whole form.
    : QDialog(context.window(), Qt::Dialog | Qt::FramelessWindowHint)
    , context(context)
    , window(window)
    , ui(new Ui::LoginDialog)
{
    ui->setupUi(this);
    setLook();
    TitleHeader::attach(this);
    malvo_syslog(6, "### LoginDialog Constructor Start ###\n");

    safeMode = context.isSafeMode();
    const QList<QLabel*> safeModeLabels { ui->labelSafeMode1, ui->labelSafeMode2, ui->labelSafeMode3,
        ui->labelSafeMode4 };
    if (safeMode) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        setWindowTitle(QStringLiteral("***SAFE MODE***"));
        for (QLabel* label : safeModeLabels) {
            label->setText(QStringLiteral("SAFE MODE"));
            label->setVisible(true);
        }
        ui->settingsButton->hide();
        ui->helpButton->hide();
        ui->rememberCheckBox->hide();
    } else {
        setWindowTitle(QString());
        for (QLabel* label : safeModeLabels)
            label->hide();
    }

    ui->logonButton->setFocus();
    ui->userNamelineEdit->setMaxLength(maxFieldLength);
    ui->passwordlineEdit->setMaxLength(maxFieldLength);
    ui->userNamelineEdit->clear();
    clearPassword();
    ui->userNamelineEdit->setPlaceholderText(QStringLiteral("Username"));
    ui->passwordlineEdit->setPlaceholderText(QStringLiteral("Password"));

    createMenus();
    loadRememberedUser();

    ui->label->setText(window.showKeyboardLayout());
    ui->labelAuthenticating->hide();

    // The main window logs the user off after inactivity; it closes us first.
    context.closeOnLogoff(this);

    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    malvo_syslog(6, "### LoginDialog Constructor End ###\n");
}

void LoginDialog::setLook()
{
    FormLook::setPanelLook(ui->loginPanel);
    FormLook::setFieldLook(ui->userNamelineEdit);
    FormLook::setFieldLook(ui->passwordlineEdit);
    FormLook::setPrimaryLook(ui->logonButton);
    FormLook::setTextColor(ui->labelAuthenticating, QColor(0x1f, 0x7a, 0xd6));
    FormLook::setTextColor(ui->label, QColor(70, 70, 70));
    FormLook::setBold(ui->label);
    for (QLabel* label : { ui->labelSafeMode1, ui->labelSafeMode2, ui->labelSafeMode3, ui->labelSafeMode4 }) {
        FormLook::setTextColor(label, QColor(200, 0, 0));
        FormLook::setBold(label);
    }
}

LoginDialog::~LoginDialog()
{
    delete ui;
}

void LoginDialog::createMenus()
{
    powerMenu = new QMenu(this);
    FormLook::setMenuLook(powerMenu);
    rebootAction = powerMenu->addAction(QStringLiteral("Reboot"));
    connect(rebootAction, &QAction::triggered, this, &LoginDialog::systemReboot);
    ui->poweroffButton->setMenu(powerMenu);

    if (safeMode)
        return;
    settingsMenu = new QMenu(this);
    FormLook::setMenuLook(settingsMenu);
    keyboardMenu = settingsMenu->addMenu(QStringLiteral("&Keyboard"));
    FormLook::setMenuLook(keyboardMenu);
    using Slot = void (LoginDialog::*)();
    const Slot handlers[keyboardLanguageCount] = { &LoginDialog::setLangUK, &LoginDialog::setLangUS,
        &LoginDialog::setLangFr, &LoginDialog::setLangDE, &LoginDialog::setLangSw, &LoginDialog::setLangNor };
    for (int row = 0; row < keyboardLanguageCount; ++row) {
        QAction* action = keyboardMenu->addAction(QLatin1String(keyboardLanguages[row].actionText));
        connect(action, &QAction::triggered, this, handlers[row]);
    }
    ui->settingsButton->setMenu(settingsMenu);
}

void LoginDialog::keyPressEvent(QKeyEvent* event)
{
    // Only Return acts. Escape in particular is swallowed: the log-on cannot be
    // closed from the keyboard, and the keypad's Enter is not Return.
    event->accept();
    if (event->key() != Qt::Key_Return)
        return;

    // An open menu normally handles Return itself; this covers the menu whose
    // highlighted entry is still waiting.
    if (powerMenu->isVisible() && powerMenu->activeAction() == rebootAction) {
        rebootAction->trigger();
        return;
    }
    if (keyboardMenu && keyboardMenu->isVisible() && keyboardMenu->activeAction()) {
        keyboardMenu->activeAction()->trigger();
        return;
    }

    QWidget* focus = focusWidget();
    if (focus == ui->logonButton || focus == ui->userNamelineEdit || focus == ui->passwordlineEdit)
        on_logonButton_clicked();
    else if (focus == ui->poweroffButton)
        ui->poweroffButton->showMenu();
    else if (focus == ui->settingsButton)
        ui->settingsButton->showMenu();
    else if (focus == ui->helpButton)
        on_helpButton_clicked();
    else if (focus == ui->rememberCheckBox)
        ui->rememberCheckBox->click();
}

void LoginDialog::on_rememberCheckBox_clicked(bool checked)
{
    malvo_syslog(5,
        checked ? "LoginDialog: Action Check Remember Last User option.\n"
                : "LoginDialog: Action Uncheck Remember Last User option.\n");
}

void LoginDialog::on_logonButton_clicked()
{
    // Painting the "Authenticating" label runs pending events; a second press
    // queued behind the first must not start an attempt inside it.
    if (attemptRunning)
        return;
    attemptRunning = true;

    malvo_syslog(5, "LoginDialog: Action Login.\n");
    const QString user = ui->userNamelineEdit->text();
    const QString password = ui->passwordlineEdit->realText();
    // The unit's services would take such a name as another one.
    const bool carried = servicesCarry(user);
    if (!carried)
        context.showMessage(
            QStringLiteral("Warning:"), QStringLiteral("Username can only contain Latin-1 characters."));

    if (carried && context.isManaged()) {
        // An unreachable appliance never blocks a log-on with the users we have.
        if (context.storage().pullDatabase(QString(), 0) != 0)
            context.statistics().incrementAuthenticationStat(QLatin1String(AuthenticationStat::managerUnreachable));
    }

    directoryUserRequested = false;
    const bool local = carried && authenticateLocal(user, password);
    const bool directoryAsked = carried && isDirectoryLogonEnabled() && directoryUserRequested;
    bool result = directoryAsked ? authenticateDirectory(user, password) : local;
    // The directory's user is judged by the database it brought.
    if (result && directoryAsked && safeMode
        && !UserRules::admittedInSafeMode(UserRules::findUser(context.document(), user))) {
        sayAdministratorsOnly();
        result = false;
    }

    ui->labelAuthenticating->hide();
    letPaint();

    if (result) {
        if (local)
            saveRememberedUser(user);
        window.setLoggedInUser(user);
        context.statistics().incrementAuthenticationStat(QLatin1String(AuthenticationStat::successfulLogin));
        context.statistics().sendLogonAlert(LogonAlert::ManualLogonAccepted, user);
        clearPassword();
        attemptRunning = false;
        accept();
        return;
    }

    // The directory shows its own reason; only our own refusal needs this one.
    if (!directoryAsked && carried)
        context.showMessage(QStringLiteral("Warning:"), QStringLiteral(" Username or Password entered is incorrect."));
    context.statistics().incrementAuthenticationStat(QLatin1String(AuthenticationStat::failedLogin));
    context.statistics().sendLogonAlert(LogonAlert::ManualLogonRefused, user);
    clearPassword();
    attemptRunning = false;
}

void LoginDialog::sayAdministratorsOnly()
{
    context.showMessage(
        QStringLiteral("WARNING"), QStringLiteral(": Only Administrator may Log In in SAFE MODE."));
}

bool LoginDialog::authenticateLocal(const QString& user, const QString& password)
{
    using UserRules::LocalLogon;
    switch (UserRules::localLogon(context.document(), user, password, safeMode)) {
    case LocalLogon::Accepted:
        return true;
    case LocalLogon::Refused:
        return false;
    case LocalLogon::AskDirectory:
        directoryUserRequested = true;
        return false;
    case LocalLogon::SafeModeWrongPassword:
        context.showMessage(QStringLiteral("WARNING: SAFE MODE"),
            QStringLiteral(": Only Administrator may Log In in SAFE MODE."));
        clearPassword();
        return false;
    case LocalLogon::SafeModeNotAdministrator:
        sayAdministratorsOnly();
        return false;
    }
    return false;
}

bool LoginDialog::isDirectoryLogonEnabled()
{
    const QDomElement mgmt = context.document()
                                 .documentElement()
                                 .firstChildElement(db::MgmtUnitSettings)
                                 .firstChildElement(db::Mgmt);
    return mgmt.attribute(db::Ad) == QLatin1String("true");
}

bool LoginDialog::authenticateDirectory(const QString& user, const QString& password)
{
    ui->labelAuthenticating->show();
    letPaint();

    char session[AD_SESSION_LEN];
    std::memset(session, 0, sizeof session);
    const Latin1Field name(user);
    int rc;
    {
        const Latin1Field secret(password);
        // Sent with "?" in its place, a password would be another one.
        if (!secret.ok()) {
            ui->labelAuthenticating->hide();
            context.showMessage(
                QStringLiteral("Warning:"), QStringLiteral("Password can only contain Latin-1 characters."));
            clearPassword();
            return false;
        }
        rc = ad_login(name.data(), secret.data(), session);
    }
    if (rc != 0) {
        showAuthenticationError(rc);
        return false;
    }

    int status = 0;
    for (int round = 0; round < waitRounds; ++round) {
        context.platform().sleepMs(1000);
        status = ad_get_auth_status(name.data());
        if (!isPending(status))
            break;
    }
    if (isPending(status)) {
        showAuthenticationError(timeoutCode);
        return false;
    }
    if (status != 0) {
        malvo_syslog(
            3, "LoginDialog: AD authentication error %d returned by func ad_get_auth_status", status);
        showAuthenticationError(status);
        return false;
    }

    // The directory user's connections and privilege come from the appliance;
    // pulling them also reloads the document.
    if (context.storage().pullDatabase(user, 1) != 0) {
        malvo_syslog(3, "LoginDialog: Pull user database error");
        context.statistics().incrementAuthenticationStat(QLatin1String(AuthenticationStat::managerUnreachable));
        showAuthenticationError(userPullFailedCode);
        return false;
    }

    rc = ad_auth_complete(name.data(), session);
    std::memset(session, 0, sizeof session);
    if (rc != 0) {
        malvo_syslog(3, "LoginDialog: AD authentication error %d returned by func ad_auth_complete", rc);
        showAuthenticationError(rc);
        return false;
    }
    return true;
}

void LoginDialog::showAuthenticationError(int code)
{
    QString title = QStringLiteral("Authentication");
    QString message;
    bool known = false;
    for (const AuthenticationError& error : authenticationErrors) {
        if (error.code != code)
            continue;
        known = true;
        title = QLatin1String(error.title);
        message = error.message ? QLatin1String(error.message)
                                : QStringLiteral("Internal error. Error code %1.").arg(code);
        break;
    }
    if (!known) {
        qDebug("Unknown error code.");
        message = QStringLiteral("Authentication error. Error code %1.").arg(code);
    }

    ui->labelAuthenticating->hide();
    letPaint();
    context.showMessage(title, message);
    clearPassword();
}

void LoginDialog::loadRememberedUser()
{
    const QString name = context.guiSettings().readLastUser();
    ui->userNamelineEdit->setText(name);
    ui->rememberCheckBox->setChecked(!name.isEmpty());
}

void LoginDialog::saveRememberedUser(const QString& user)
{
    context.guiSettings().writeLastUser(user, ui->rememberCheckBox->isChecked());
}

void LoginDialog::setKeyboardLanguage(const QString& code)
{
    const KeyboardLanguage* chosen = nullptr;
    for (const KeyboardLanguage& language : keyboardLanguages)
        if (code == QLatin1String(language.code))
            chosen = &language;
    // Only a code the unit can load goes into the keymap.
    if (!chosen)
        return;
    // Compared by label, since Swedish's code and label differ.
    if (ui->label->text().compare(QLatin1String(chosen->label), Qt::CaseInsensitive) == 0)
        return;

    Platform& platform = context.platform();
    DurableWriter writer(platform);
    if (!writer.writeFile(platform.unitPath(QLatin1String(keymapPath)), QByteArray(chosen->code))) {
        malvo_syslog(3, "LoginDialog: Can not open file: keymap to specify language.\n");
        return;
    }
    platform.startDetached(QStringLiteral("/opt/kestrix/loadkeymap.sh"), QStringList());
    // The OSD restarts with the new keymap; the marker keeps that start from
    // logging the automatic user on.
    platform.run(QStringLiteral("/bin/touch"), { QStringLiteral("/tmp/noErrorCode.txt") });
    reject();
}

void LoginDialog::chooseLanguage(int row)
{
    malvo_syslog(5, "LoginDialog: Action Set Language %s.\n", keyboardLanguages[row].logName);
    setKeyboardLanguage(QLatin1String(keyboardLanguages[row].code));
}

void LoginDialog::setLangUK()
{
    chooseLanguage(0);
}

void LoginDialog::setLangUS()
{
    chooseLanguage(1);
}

void LoginDialog::setLangFr()
{
    chooseLanguage(2);
}

void LoginDialog::setLangDE()
{
    chooseLanguage(3);
}

void LoginDialog::setLangSw()
{
    chooseLanguage(4);
}

void LoginDialog::setLangNor()
{
    chooseLanguage(5);
}

void LoginDialog::on_helpButton_clicked()
{
    window.showUnitInformation();
    context.showMessage(
        QStringLiteral("Help"), QStringLiteral("Please visit ") + QLatin1String(helpAddress));
}

void LoginDialog::systemPoweroff() { }

void LoginDialog::systemReboot()
{
    malvo_syslog(5, "LoginDialog: Action Reboot.\n");
    window.sureReboot();
}

void LoginDialog::clearPassword()
{
    ui->passwordlineEdit->clear();
}

void LoginDialog::letPaint()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
