// Walks a simulated unit through what its user sees (the log-on, a refused
// log-on, each role's main window, the reboot question, safe mode) and saves
// the screen at each step.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "platform/durablewriter.h"
#include "rules/userrules.h"
#include "simunit.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <tuple>

namespace {

QString outputFolder;
MainWindow* window = nullptr;

QWidget* shownTopLevel(const char* className, const QString& title = QString())
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->inherits(className)
            && (title.isNull() || widget->windowTitle() == title))
            return widget;
    return nullptr;
}

QDialog* logonDialog()
{
    auto* dialog = qobject_cast<QDialog*>(shownTopLevel("LoginDialog"));
    return dialog && dialog == QApplication::activeModalWidget() ? dialog : nullptr;
}

// The screen as the platform holds it; where it cannot give the whole screen
// (offscreen), the shown windows painted in their places, boxes last.
QImage screenImage()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap whole = screen->grabWindow(0);
    if (!whole.isNull() && whole.size() == screen->size())
        return whole.toImage();
    QImage image(screen->size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (int layer = 0; layer < 3; ++layer)
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            const int depth = qobject_cast<QMessageBox*>(widget) ? 2 : qobject_cast<QDialog*>(widget) ? 1 : 0;
            if (widget->isVisible() && depth == layer)
                painter.drawPixmap(widget->geometry().topLeft(), widget->grab());
        }
    return image;
}

void shoot(const QString& name)
{
    const QString path = QDir(outputFolder).filePath(name + QStringLiteral(".png"));
    if (!screenImage().save(path))
        qFatal("cannot write %s", qPrintable(path));
    qInfo("%s", qPrintable(path));
}

void logOn(QDialog* dialog, const QString& name, const QString& password)
{
    auto* user = dialog->findChild<QLineEdit*>(QStringLiteral("userNamelineEdit"));
    auto* secret = dialog->findChild<QLineEdit*>(QStringLiteral("passwordlineEdit"));
    user->setText(name);
    secret->clear();
    QTest::keyClicks(secret, password);
    // Clicked from a fresh event: the attempt may open a box of its own.
    QTimer::singleShot(
        0, dialog->findChild<QPushButton*>(QStringLiteral("logonButton")), &QPushButton::click);
}

void showTab(const QString& text)
{
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    for (int index = 0; index < tabs->count(); ++index)
        if (tabs->tabText(index) == text)
            tabs->setCurrentIndex(index);
}

void showControlTab()
{
    showTab(QStringLiteral("Control"));
}

// One step: wait until `ready`, let the screen settle, then `act` (from a
// fresh event, since an act may open a modal loop of its own).
struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
};

class Script : public QObject {
public:
    explicit Script(QList<Step> steps)
        : steps(std::move(steps))
    {
        connect(&poll, &QTimer::timeout, this, [this] { next(); });
        poll.start(50);
        clock.start();
    }

private:
    void next()
    {
        if (steps.isEmpty()) {
            poll.stop();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            return;
        }
        if (clock.elapsed() > 20000)
            qFatal("the screen never got to step %d", done + 1);
        if (!steps.first().ready()) {
            readySince = -1;
            return;
        }
        if (readySince < 0)
            readySince = clock.elapsed();
        if (clock.elapsed() - readySince < 400)
            return;
        const Step step = steps.takeFirst();
        ++done;
        readySince = -1;
        clock.restart();
        QTimer::singleShot(0, qApp, step.act);
    }

    QList<Step> steps;
    QTimer poll;
    QElapsedTimer clock;
    qint64 readySince = -1;
    int done = 0;
};

// The default database with one user of each privilege and a directory
// administrator, all with password "pw"; all but the directory one use every connection.
QDomDocument showcaseDatabase()
{
    QDomDocument document = newDatabaseDocument();
    const QStringList connections { QStringLiteral("Design Workstation"), QStringLiteral("Render Farm VM"),
        QStringLiteral("Build Server") };
    QDomElement list = document.documentElement().firstChildElement(db::Connections);
    for (const QString& name : connections) {
        QDomElement connection = list.appendChild(document.createElement(db::Connection)).toElement();
        connection.setAttribute(db::Name, name);
        connection.setAttribute(db::ViaTx, QStringLiteral("true"));
        connection.setAttribute(db::IpAddress, QStringLiteral("192.168.1.30"));
    }
    const std::tuple<const char*, const char*, bool> users[] { { "boss", "Administrator", false },
        { "power", "Power User", false }, { "plain", "User", false }, { "aduser", "Administrator", true } };
    for (const auto& [name, privilege, directory] : users) {
        QDomElement user
            = UserRules::usersSection(document).appendChild(document.createElement(db::User)).toElement();
        user.setAttribute(db::UserName, QLatin1String(name));
        user.setAttribute(db::Password, QStringLiteral("pw"));
        user.setAttribute(db::Privilege, QLatin1String(privilege));
        if (directory)
            user.setAttribute(db::Ad, QStringLiteral("true"));
        else
            UserRules::setConnections(user, connections, QString());
    }
    return document;
}

// Both copies and their checksums, written the way the unit writes a new database.
void installShowcase(SimUnit& unit, DurableWriter& writer)
{
    DatabaseStorage storage(unit.platform(), writer, {});
    if (!storage.createNewDatabase(showcaseDatabase()))
        qFatal("cannot write the showcase database");
}

bool mainWindowUp()
{
    return window && window->isVisible() && !QApplication::activeModalWidget();
}

std::function<bool()> box(const char* title)
{
    return [title] { return shownTopLevel("QMessageBox", QLatin1String(title)) != nullptr; };
}

std::function<bool()> dialog(const char* title)
{
    return [title] { return shownTopLevel("QDialog", QLatin1String(title)) != nullptr; };
}

// Return, where the box has its keyboard focus.
std::function<void()> answer(const char* title)
{
    return [title] {
        QWidget* shown = shownTopLevel("QMessageBox", QLatin1String(title));
        QTest::keyClick(shown->focusWidget() ? shown->focusWidget() : shown, Qt::Key_Return);
    };
}

QList<Step> normalRun()
{
    const auto logOnAs = [](const char* name, const char* password) {
        return [name, password] { logOn(logonDialog(), QLatin1String(name), QLatin1String(password)); };
    };
    const auto logOff = [] { QTimer::singleShot(0, window, &MainWindow::logoff); };
    const auto ready = [] { return logonDialog() != nullptr; };
    QList<Step> steps {
        { ready, [] { shoot(QStringLiteral("logon")); } },
        { ready,
            [] {
                auto* user = logonDialog()->findChild<QLineEdit*>(QStringLiteral("userNamelineEdit"));
                user->setFocus();
                QTest::keyClicks(user, QStringLiteral("boss"));
            } },
        { ready, [] { shoot(QStringLiteral("logon-typing")); } },
        { ready, logOnAs("boss", "wrong") },
        { box("Warning:"), [] { shoot(QStringLiteral("logon-refused")); } },
        { box("Warning:"), answer("Warning:") },
        { ready, logOnAs("boss", "pw") },
        { mainWindowUp, [] { shoot(QStringLiteral("administrator-connections")); } },
        { mainWindowUp,
            [] { window->findChild<QPushButton*>(QStringLiteral("newConnectionButton"))->click(); } },
        { dialog("New Connection"), [] { shoot(QStringLiteral("new-connection")); } },
        { dialog("New Connection"),
            [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject(); } },
        { mainWindowUp, [] { showTab(QStringLiteral("Users")); } },
        { mainWindowUp, [] { shoot(QStringLiteral("administrator-users")); } },
        { mainWindowUp, [] { window->findChild<QPushButton*>(QStringLiteral("addUserButton"))->click(); } },
        { dialog("New User Data"), [] { shoot(QStringLiteral("new-user")); } },
        { dialog("New User Data"),
            [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject(); } },
        { mainWindowUp, showControlTab },
        { mainWindowUp, [] { shoot(QStringLiteral("administrator-control")); } },
        { mainWindowUp, [] { window->findChild<QToolButton*>(QStringLiteral("networkButton"))->click(); } },
        { mainWindowUp, [] { shoot(QStringLiteral("network-page")); } },
    };
    // Every other Control page, opened from the Preferences page as a person would.
    const std::pair<const char*, const char*> pages[] { { "screenResButton", "resolution-page" },
        { "systemPageButton", "system-page" }, { "hot_keyButton", "hotkey-page" },
        { "toolButtonPowerMode", "power-mode-page" }, { "buttonTimerSettings", "timers-page" },
        { "toolButtonGeneralSettings", "general-settings-page" } };
    for (const auto& [button, picture] : pages) {
        steps << Step { mainWindowUp,
            [button = button] { window->findChild<QToolButton*>(QLatin1String(button))->click(); } }
              << Step { mainWindowUp, [picture = picture] { shoot(QLatin1String(picture)); } }
              << Step { mainWindowUp, showControlTab };
    }
    const QList<Step> rest {
        { mainWindowUp, [] { showTab(QStringLiteral("Information")); } },
        { mainWindowUp, [] { shoot(QStringLiteral("information")); } },
        { mainWindowUp, showControlTab },
        { mainWindowUp,
            [] { window->findChild<QToolButton*>(QStringLiteral("transmitterButton"))->click(); } },
        { dialog("Transmitter Settings"),
            [] {
                QWidget* tx = QApplication::activeModalWidget();
                tx->findChild<QLineEdit*>(QStringLiteral("lineEditTxIP"))
                    ->setText(QStringLiteral("192.168.1.22"));
                tx->findChild<QPushButton*>(QStringLiteral("connectToTXButton"))->click();
            } },
        { [] {
             QWidget* top = QApplication::activeModalWidget();
             auto* info = top ? top->findChild<QPushButton*>(QStringLiteral("txInfoButton")) : nullptr;
             return info && info->isEnabled();
         },
            [] { shoot(QStringLiteral("transmitter")); } },
        { dialog("Transmitter Settings"),
            [] {
                QApplication::activeModalWidget()
                    ->findChild<QPushButton*>(QStringLiteral("txButtonPreferences"))
                    ->click();
            } },
        { dialog("Transmitter Settings"), [] { shoot(QStringLiteral("transmitter-preferences")); } },
        { dialog("Transmitter Settings"),
            [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject(); } },
        { mainWindowUp, [] { QTimer::singleShot(0, window, &MainWindow::sureReboot); } },
        { box("Reboot"), [] { shoot(QStringLiteral("reboot-question")); } },
        // Return answers No.
        { box("Reboot"), answer("Reboot") },
        { mainWindowUp, logOff },
        { ready, logOnAs("power", "pw") },
        { mainWindowUp, showControlTab },
        { mainWindowUp, [] { shoot(QStringLiteral("power-user-control")); } },
        { mainWindowUp, logOff },
        { ready, logOnAs("plain", "pw") },
        { mainWindowUp, [] { shoot(QStringLiteral("user-connections")); } },
    };
    return steps + rest;
}

QList<Step> safeModeRun()
{
    const auto ready = [] { return logonDialog() != nullptr; };
    const auto warning = box("WARNING: SAFE MODE");
    return {
        { ready, [] { shoot(QStringLiteral("safe-mode-logon")); } },
        { ready, [] { logOn(logonDialog(), QStringLiteral("power"), QStringLiteral("wrong")); } },
        { warning, [] { shoot(QStringLiteral("safe-mode-warning")); } },
        { warning, answer("WARNING: SAFE MODE") },
        // A refused password is reported once more, as everywhere.
        { box("Warning:"), answer("Warning:") },
        { ready, [] { logOn(logonDialog(), QStringLiteral("boss"), QStringLiteral("pw")); } },
        { mainWindowUp, [] { shoot(QStringLiteral("safe-mode")); } },
    };
}

void run(bool safeMode)
{
    const QTemporaryDir root;
    SimUnit unit(root.path(), true);
    DurableWriter writer(unit.platform());
    installShowcase(unit, writer);
    // No automatic log-on: the log-on dialog comes first.
    writer.writeFile(unit.path(QStringLiteral("/tmp/noErrorCode.txt")), QByteArray());
    if (safeMode)
        writer.writeFile(unit.path(QStringLiteral("/SAFEMODE")), QByteArray());
    Script script(safeMode ? safeModeRun() : normalRun());
    LoggedInUser user;
    // The log-on dialog runs inside the constructor, as on the unit.
    MainWindow main(unit.platform(), nullptr, &user);
    window = &main;
    main.resize(600, 450);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    main.move((screen.width() - main.width()) / 2, (screen.height() - main.height()) / 2);
    main.show();
    QApplication::exec();
    for (const QStringList& command : unit.commands())
        if (command.value(0).endsWith(QLatin1String("reboot")))
            qFatal("Return on the reboot question rebooted the unit");
    window = nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    qSetGlobalQHashSeed(0);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("windowsvista"));
    if (argc < 2 || !QDir(QString::fromLocal8Bit(argv[argc - 1])).exists())
        qFatal("usage: osdshots [-platform NAME] FOLDER");
    outputFolder = QString::fromLocal8Bit(argv[argc - 1]);
    run(false);
    run(true);
    return 0;
}
