// The log-on loop of the main window: start-up log-on, restoring a session
// that was running, the log-on dialog, completing a log-on and logging off.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "app/loggedinuser.h"
#include "connections/connectiontab.h"
#include "database/dbnames.h"
#include "platform/boundedread.h"
#include "platform/platform.h"
#include "services/servicetext.h"
#include "users/logindialog.h"
#include "rules/userrules.h"
#include "users/usertab.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

const QString wasConnectedPath = QStringLiteral("/tmp/WAS_CONNECTED");
const QString bootCountPath = QStringLiteral("/tmp/guiBootCount.txt");
const QString noErrorCodePath = QStringLiteral("/tmp/noErrorCode.txt");
const QString loginViaRestPath = QStringLiteral("/tmp/LOGIN_VIA_REST");
const QString logAfterConnectPath = QStringLiteral("/tmp/logAfterConnect.xml");

// The user name as the C services take it: at most 32 characters.
using UserNameBuffer = ServiceText<SU_USER_NAME_LEN>;

} // namespace

void MainWindow::showUserName(const QString& name)
{
    ensureForm();
    ui->curUNamelbl->setText(name);
    osd->setShownUser(name);
}

void MainWindow::setLoggedInUser(const QString& name)
{
    showUserName(name);
    user->userName = name;
    user->loggedIn = true;
}

void MainWindow::clearLoggedInUser()
{
    user->userName.clear();
    user->loggedIn = false;
}

QString MainWindow::getLoggedInUser()
{
    ensureForm();
    return osd->loggedInUser();
}

void MainWindow::reloadDatabase() { database.reloadDatabase(); }

int MainWindow::pullDatabase(const QString& userName, int mode) { return database.pullDatabase(userName, mode); }

// A guess from the files alone, before the database is read: a wrong guess
// only builds the window's frame before the log-on dialog instead of after it.
bool MainWindow::automaticLogonExpected()
{
    if (QFileInfo::exists(platform.unitPath(wasConnectedPath)))
        return true;
    if (QFileInfo::exists(platform.unitPath(bootCountPath))
        || QFileInfo::exists(platform.unitPath(noErrorCodePath)))
        return false;
    return guiSettings.mayLogOnAutomatically();
}

void MainWindow::startupLogon()
{
    if (restoreSession())
        return;

    const QString bootCount = platform.unitPath(bootCountPath);
    const QString noErrorCode = platform.unitPath(noErrorCodePath);
    const bool rebooted = QFileInfo::exists(bootCount);
    const bool suppressed = QFileInfo::exists(noErrorCode);
    QFile::remove(bootCount);
    QFile::remove(noErrorCode);
    qDebug().noquote() << QStringLiteral("MainWindow: AutoLogin ")
            + (rebooted ? QStringLiteral("disabled..") : QStringLiteral("enabled.."));

    if (isManaged() && pullDatabase(QString(), 0) != 0) {
        malvo_syslog(3, "MainWindow: Pull database error");
        qDebug() << "Pull database error";
        incrementAuthenticationStat(QLatin1String(AuthenticationStat::managerUnreachable));
    }

    const QString autoUser = rebooted || suppressed ? QString() : readAutoLoginUser();
    if (autoUser.isEmpty()) {
        requireLogon();
        return;
    }
    showUserName(autoUser);
    statistics.incrementAuthenticationStat(
        QLatin1String(AuthenticationStat::successfulLogin), [this] { layOutAhead(); });
    osd->setLoggedOn(true);
    setLoggedInUser(autoUser);
    statistics.sendLogonAlert(LogonAlert::AutoLogon, autoUser);
    completeLogon();
}

bool MainWindow::restoreSession()
{
    const QString wasConnected = platform.unitPath(wasConnectedPath);
    if (!QFileInfo::exists(wasConnected))
        return false;

    QString userName;
    QString connectionName;
    QByteArray record;
    // /tmp is anyone's: only a regular file of a sensible size is read.
    if (readBounded(wasConnected, 4096, &record)) {
        // Taken exactly as written: "boss " is another user than "boss". A
        // record of more than two lines held a line break inside a name, and
        // no line of it is a name to log on without a password.
        const QList<QByteArray> lines = record.split('\n');
        if (lines.size() <= 2 || (lines.size() == 3 && lines.at(2).isEmpty())) {
            userName = QString::fromUtf8(lines.value(0));
            connectionName = QString::fromUtf8(lines.value(1));
        }
    }
    showUserName(userName);
    statistics.incrementAuthenticationStat(
        QLatin1String(AuthenticationStat::successfulLogin), [this] { layOutAhead(); });
    osd->setLoggedOn(true);
    statistics.sendLogonAlert(LogonAlert::AutoLogon, userName);
    completeLogon();
    if (!connectionName.isEmpty()) {
        const QList<QListWidgetItem*> rows = ui->listWidgetVM->findItems(connectionName, Qt::MatchExactly);
        if (!rows.isEmpty())
            ui->listWidgetVM->setCurrentItem(rows.first());
    }
    const QString viaRest = platform.unitPath(loginViaRestPath);
    if (!QFileInfo::exists(viaRest))
        QFile::remove(wasConnected);
    QFile::remove(viaRest);
    return true;
}

void MainWindow::requireLogon()
{
    if (prepareLogon() == 1)
        completeLogon();
    else
        queueClose();
}

void MainWindow::insertAdminTabs()
{
    ui->tabWidget->insertTab(1, ui->controlTab, QStringLiteral("Control"));
    ui->tabWidget->insertTab(2, ui->usersTab, QStringLiteral("Users"));
    ui->tabWidget->insertTab(3, ui->informationTab, QStringLiteral("Information"));
    setTabIcons();
}

int MainWindow::prepareLogon()
{
    onForm([this] { ui->tabWidget->setCurrentIndex(0); });
    hide();
    onForm([this] { insertAdminTabs(); });
    return showLogonDialog();
}

int MainWindow::showLogonDialog()
{
    onForm([this] { ui->label_3->clear(); });
    loadDatabaseDocument();
    hide();
    osd->setLoggedOn(false);
    sendAuthenticationStats();
    if (su_set_logged_in_user("") != 0)
        malvo_syslog(3, "Error: user name not deleted from database");

    int result = 0;
    {
        LoginDialog dialog(*osd, *this);
        connect(this, &MainWindow::closeActiveDialogs, &dialog, &QDialog::reject);
        result = dialog.exec();
    }
    ensureForm();
    if (result != QDialog::Accepted) {
        osd->setLoggedOn(false);
        sendAuthenticationStats();
        queueClose();
        return 0;
    }
    showUserName(user->userName);
    osd->setLoggedOn(true);
    sendAuthenticationStats();
    show();
    return 1;
}

void MainWindow::completeLogon()
{
    ensureForm();
    const QString name = osd->loggedInUser();
    const QDomElement userElement = UserRules::findUser(document(), name);
    ui->zoneLabel->setText(zoneText());
    const UserNameBuffer buffer(name);
    if (userElement.isNull() || !buffer.ok()) {
        if (userElement.isNull())
            malvo_syslog(
                6, "MainWindow: requested to login user %s who does not exist in DB!", qPrintable(name));
        else
            malvo_syslog(3, "MainWindow: user %s can not be handed to the unit's services; log-on refused",
                qPrintable(name));
        if (prepareLogon() == 1)
            completeLogon();
        else
            queueClose();
        return;
    }

    setLoggedInUser(name);
    ui->listWidgetVM->clear();
    if (isSafeMode()) {
        applySafeModeTabs();
    } else {
        applyPrivilege(userElement);
        connectionTab->fillConnectionList();
        ui->connectButton->setEnabled(ui->listWidgetVM->count() > 0);
        autoConnect(userElement);
    }

    if (su_set_logged_in_user(buffer.data()) != 0)
        malvo_syslog(3, "Error: user name not logged to database");
    // Reported in the background with an argument list: a name may hold any character.
    platform.startDetached(QStringLiteral("/usr/bin/restapi_cli"),
                           { QStringLiteral("-j"), QStringLiteral("user_login"), QString::fromLatin1(buffer.data()) });
    userTab->fillUserList();
    refillAutoLogonChoice();
    connectionTab->updateListButtons();
}

void MainWindow::autoConnect(const QDomElement& userElement)
{
    if (QFileInfo::exists(platform.unitPath(wasConnectedPath)) && !QFileInfo::exists(platform.unitPath(loginViaRestPath)))
        return;
    for (QDomElement child = userElement.firstChildElement(db::AutoConnect); !child.isNull();
         child = child.nextSiblingElement(db::AutoConnect)) {
        if (QFileInfo::exists(platform.unitPath(logAfterConnectPath)))
            continue;
        const QString connection = child.attribute(db::AutoConnectName);
        if (connection.isEmpty())
            continue;
        for (QListWidgetItem* item : ui->listWidgetVM->findItems(connection, Qt::MatchExactly)) {
            ui->listWidgetVM->setCurrentItem(item);
            ui->connectButton->click();
        }
    }
}

void MainWindow::send_logoff_alert()
{
    statistics.sendLogonAlert(LogonAlert::ManualLogoff, osd->loggedInUser());
}

void MainWindow::logoff()
{
    malvo_syslog(7, "void MainWindow::logoff()");
    osd->endLogon();
    clearLoggedInUser();
    char loggedIn[SU_USER_NAME_LEN] = {};
    su_get_logged_in_user(loggedIn);
    loggedIn[SU_USER_NAME_LEN - 1] = '\0';
    if (su_set_logged_in_user("") != 0)
        malvo_syslog(7, "Error: user name not logged to database");
    stopGuiTimers();
    for (const char* path : { "/tmp/logAfterConnect.xml", "/tmp/startapp.sh", "/tmp/prevConnection.sh" })
        QFile::remove(platform.unitPath(QLatin1String(path)));

    ui->tabWidget->setCurrentIndex(0);
    hide();
    insertAdminTabs();
    platform.startDetached(QStringLiteral("/usr/bin/restapi_cli"),
                           { QStringLiteral("-j"), QStringLiteral("user_logout"), QString::fromLatin1(loggedIn) });
    if (showLogonDialog() == 1) {
        completeLogon();
        startGuiTimers();
    }
}
