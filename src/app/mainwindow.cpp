#include "mainwindow.h"
#include "app/mainwindowform.h"
#include "ui_pagepreferences.h"

#include "app/formlook.h"
#include "app/gridreflow.h"
#include "app/lazyicon.h"
#include "app/loggedinuser.h"
#include "app/osdmessagebox.h"
#include "app/slotsbyname.h"
#include "connections/connectiontab.h"
#include "database/dbnames.h"
#include "platform/platform.h"
#include "settings/controlpages.h"
#include "settings/networkpage.h"
#include "settings/resolutionpage.h"
#include "users/usertab.h"
#include "upgrade/rxupgrade.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QWidgetAction>

// The icons live in the core library; without this the linker drops them.
static void initResources()
{
    Q_INIT_RESOURCE(velmogui);
}

namespace {

QTimer* repeatingTimer(QObject* parent, const char* name, int interval = 0)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setSingleShot(false);
    if (interval > 0)
        timer->setInterval(interval);
    return timer;
}

void setFormLook(Ui::MainWindow& ui)
{
    FormLook::setTextColor(ui.labelWelcome, QColor(90, 90, 90));
    for (QLabel* label : { ui.curUNamelbl, ui.label_3 })
        FormLook::setBold(label);
    for (QLabel* label : { ui.labelSafeMode, ui.labelSafeMode2, ui.labelSafeMode3 }) {
        FormLook::setTextColor(label, QColor(200, 30, 30));
        FormLook::setBold(label);
    }
    FormLook::hideMenuIndicator(ui.powreOffButton);
}

} // namespace

MainWindow::MainWindow(Platform& platform, const char* disconnectReason, LoggedInUser* user, QWidget* parent,
                       DatabasePrefetch* prefetch)
    : QMainWindow(parent),
      platform(platform),
      ui(new Ui::MainWindow()),
      user(user),
      writer(platform),
      database(platform, writer, [this](const QString& title, const QString& text) { showWarning(title, text); }),
      guiSettings(platform, writer),
      statistics(platform, writer),
      osd(new OsdContext(platform, database, guiSettings, statistics, this))
{
    connect(this, &MainWindow::closeActiveDialogs, osd, &OsdContext::closeActiveDialogs);
    initResources();
    su_get_board_info(&boardInfo);
    if (disconnectReason)
        showMessage(QStringLiteral("Disconnect Reason"), QString::fromLocal8Bit(disconnectReason));
    malvo_syslog(5, "### MainWindow Constructor Start ###\n");

    // An automatic log-on shows the window at once. Its frame needs no
    // database, so it is built while copy A may still be being read.
    if (automaticLogonExpected())
        buildFrame();
    if (prefetch)
        database.adopt(*prefetch);
    repairDatabaseFiles();
    safeMode = isSafeMode();
    database.databasePath = selectDatabaseFile();
    systemStatTimer = repeatingTimer(this, "systemStatTimer", 60000);
    guiInactivityTimer = repeatingTimer(nullptr, "guiInactivityTimer");
    activityPollTimer = repeatingTimer(this, "activityPollTimer");
    connect(systemStatTimer, &QTimer::timeout, this, &MainWindow::sendSystemStat);
    connect(guiInactivityTimer, &QTimer::timeout, this, &MainWindow::guiTimerTimeout);
    connect(activityPollTimer, &QTimer::timeout, this, &MainWindow::checkGUIActivity);
    systemStatTimer->start();
    rxUpgrade = new RxUpgrade(*osd, this);
    connect(osd, &OsdContext::inactivityHeld, this, [this](bool held) { held ? stopGuiTimers() : startGuiTimers(); });

    setWindowFlags(Qt::FramelessWindowHint);
    onForm([this] {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    });
    QTimer::singleShot(0, this, [this] { onForm([this] { applyLayout(); }); });
    loadDatabaseDocument();
    connectionTab = new ConnectionTab(*osd);
    onForm([this] {
        connectionTab->attach({ ui->listWidgetVM, ui->lineEditFilterConnections, ui->connectButton,
            ui->newConnectionButton, ui->editConnectionButton, ui->removeConnectionButton });
        onPage(Page::System, [this] {
            connect(ui->system.brokerButton, &QAbstractButton::clicked, connectionTab,
                &ConnectionTab::on_brokerButton_clicked);
        });
    });
    userTab = new UserTab(*osd, this);
    connect(userTab, &UserTab::loggedOnUserRenamed, this, &MainWindow::setLoggedInUser);
    createSettingsPages();

    onForm([this] {
        ui->lineEditFilterConnections->setMaxLength(32);
        ui->lineEditFilterConnections->setPlaceholderText(QStringLiteral("Search"));
    });
    osd->setManaged(isUnitManaged());
    setUnitIdentity();
    onForm([this] { setManagedLook(); });
    if (!isManaged())
        upgradeDatabaseSchema();
    onForm([this] { createPowreOffMenu(); });
    if (!QFileInfo::exists(platform.unitPath(QLatin1String(GuiFiles::settingsPath))))
        createGuiSettingsFile();
    startupLogon();
    ensureForm();
    showKeyboardLayout();
    connectionTab->updateListButtons();
    syncRelaunchHotKey();
    startGuiTimers();
    ui->connectButton->setFocus();
    malvo_syslog(5, "### MainWindow Constructor End ###\n");
}

MainWindow::~MainWindow()
{
    delete guiInactivityTimer;
    delete ui;
}

void MainWindow::ensureForm()
{
    if (formBuilt)
        return;
    buildFrame();
    formBuilt = true;
    runSteps(formSteps);
}

void MainWindow::buildFrame()
{
    if (frameBuilt)
        return;
    ui->MainWindowFrame::setupUi(this);
    connectSlotsByName(this, this);
    buildPagesWhenShown();
    setButtonIcons(this);
    setTabIcons();
    setFormLook(*ui);
    setGroupTitleFonts(this);
    frameBuilt = true;
}

// What show() does first, done while a log-on's counter is written: the
// window is polished, laid out and given its (still hidden) display window;
// it shows right after, and only what the log-on changes is laid out again.
void MainWindow::layOutAhead()
{
    ensurePolished();
    if (QLayout* frame = layout())
        frame->activate();
    winId();
}

// Every picture of the form's buttons built inside `within`, decoded when
// first drawn: at the start only the title bar and the Connections tab are on
// screen.
void MainWindow::setButtonIcons(const QWidget* within)
{
    const std::pair<QAbstractButton*, const char*> icons[] {
        { ui->powreOffButton, ":/icons/icons/power.png" },
        { ui->connectButton, ":/icons/icons/connect.png" },
        { ui->newConnectionButton, ":/icons/icons/add.png" },
        { ui->editConnectionButton, ":/icons/icons/edit.png" },
        { ui->removeConnectionButton, ":/icons/icons/remove.png" },
        { ui->pushButtonMyFavorites, ":/icons/icons/favorites.png" },
        { ui->toolButtonPreferences, ":/icons/icons/preferences.png" },
        { ui->system.startupgradeButton, ":/icons/icons/upgrade.png" },
        { ui->system.diagnosticsButton, ":/icons/icons/diagnostics.png" },
        { ui->system.brokerButton, ":/icons/icons/broker.png" },
        { ui->system.exportButton, ":/icons/icons/export.png" },
        { ui->system.importButton, ":/icons/icons/import.png" },
        { ui->system.restoreButton, ":/icons/icons/restore.png" },
    };
    for (const auto& [button, picture] : icons)
        if (button && within->isAncestorOf(button))
            button->setIcon(lazyIcon(picture));
}

void MainWindow::setTabIcons()
{
    const std::pair<QWidget*, const char*> tabs[] { { ui->connectionsTab, ":/icons/icons/connections.png" },
                                                    { ui->controlTab, ":/icons/icons/preferences_system.png" },
                                                    { ui->usersTab, ":/icons/icons/groupevent.png" },
                                                    { ui->informationTab, ":/icons/icons/Info.png" } };
    for (const auto& [tab, picture] : tabs) {
        const int index = ui->tabWidget->indexOf(tab);
        if (index >= 0)
            ui->tabWidget->setTabIcon(index, lazyIcon(picture));
    }
}

void MainWindow::setGroupTitleFonts(QWidget* within)
{
    for (QGroupBox* box : within->findChildren<QGroupBox*>())
        FormLook::setTitleFont(box);
}

void MainWindow::runSteps(std::vector<std::function<void()>>& queue)
{
    const std::vector<std::function<void()>> steps = std::move(queue);
    queue.clear();
    for (const std::function<void()>& step : steps)
        step();
}

void MainWindow::onForm(std::function<void()> step)
{
    if (formBuilt)
        step();
    else
        formSteps.push_back(std::move(step));
}

bool MainWindow::isSafeMode() const { return osd->isSafeMode(); }

void MainWindow::setManagedLook()
{
    ui->labelWelcome->setText(isManaged() ? QStringLiteral("Managed:") : QStringLiteral("Unmanaged:"));
    // The management appliance owns the configuration of a managed unit.
    const bool enabled = !isManaged();
    for (QWidget* widget : { ui->newConnectionButton, ui->editConnectionButton, ui->removeConnectionButton })
        widget->setEnabled(enabled);
    onPage(Page::Users, [this, enabled] { userTab->setActionsEnabled(enabled); });
    onPage(Page::ScreenResolution,
        [this, enabled] { resolutionPage->setSessionResolutionEditable(enabled); });
    onPage(Page::Preferences, [this, enabled] {
        const Ui::PagePreferences& page = preferencesPage->widgets();
        for (QWidget* widget : { page.networkButton, page.toolButtonMyPassCh, page.hot_keyButton })
            widget->setEnabled(enabled);
    });
    onPage(Page::System, [this, enabled] {
        const Ui::PageSystem& page = ui->system;
        for (QWidget* widget : { page.startupgradeButton, page.brokerButton, page.exportButton, page.importButton })
            widget->setEnabled(enabled);
    });
    onPage(Page::Timers, [this, enabled] { timersPage->setEditable(enabled); });
}

void MainWindow::applyLayout()
{
    if (!safeMode) {
        setWindowTitle(QString());
        ui->tabWidget->setCurrentIndex(0);
        ui->stackedWidget->setCurrentIndex(0);
        onPage(Page::LocalNetwork, [this] { networkPage->limitAddressFields(); });
        ui->label_3->clear();
        ui->curUNamelbl->show();
        for (QLabel* label : { ui->labelSafeMode, ui->labelSafeMode2, ui->labelSafeMode3 })
            label->hide();
        return;
    }
    setWindowTitle(QStringLiteral("***SAFE MODE***"));
    ui->curUNamelbl->hide();
    ui->labelWelcome->setText(QStringLiteral("SAFE MODE"));
    for (QLabel* label : { ui->labelSafeMode, ui->labelSafeMode2, ui->labelSafeMode3 }) {
        label->setText(QStringLiteral("SAFE MODE"));
        label->show();
    }
}

bool MainWindow::isUnitManaged()
{
    const QString ownAddress = platform.eth0().hardwareAddress.toUpper();
    const QDomElement root = document().documentElement();
    for (QDomElement section = root.firstChildElement(db::RxDevices); !section.isNull();
         section = section.nextSiblingElement(db::RxDevices)) {
        for (QDomElement rx = section.firstChildElement(db::Rx); !rx.isNull(); rx = rx.nextSiblingElement(db::Rx)) {
            if (rx.attribute(db::Mac).remove(QLatin1Char('\n')).toUpper() == ownAddress)
                return true;
        }
    }
    return false;
}

QThread* MainWindow::initializeWorker(Worker* worker)
{
    return rxUpgrade->workerSlot.initialize(worker);
}

void MainWindow::deinitializeWorker()
{
    rxUpgrade->workerSlot.deinitialize();
}

void MainWindow::showMessage(const QString& title, const QString& message) { osd->showMessage(title, message); }

void MainWindow::showWarning(const QString& title, const QString& text) { osd->showWarning(title, text); }

void MainWindow::createPowreOffMenu()
{
    powerMenu = new QMenu(this);
    powerMenu->setObjectName(QStringLiteral("pMenu"));
    FormLook::setMenuLook(powerMenu);
    ui->powreOffButton->setMenu(powerMenu);
    ui->powreOffButton->setPopupMode(QToolButton::InstantPopup);

    logOffAction = new QWidgetAction(powerMenu);
    logOffAction->setText(QStringLiteral("Log Off"));
    connect(logOffAction, &QAction::triggered, this, &MainWindow::send_logoff_alert);
    connect(logOffAction, &QAction::triggered, this, &MainWindow::logoff);
    powerMenu->addAction(logOffAction);

    rebootAction = new QWidgetAction(powerMenu);
    rebootAction->setText(QStringLiteral("Reboot"));
    connect(rebootAction, &QAction::triggered, this, &MainWindow::sureReboot);
    powerMenu->addAction(rebootAction);
}

void MainWindow::sureReboot()
{
    OsdMessageBox box(QStringLiteral("Reboot"), QStringLiteral("Are you sure that you want to reboot the system?"),
                      QMessageBox::Yes | QMessageBox::No, this);
    connect(this, &MainWindow::closeActiveDialogs, &box, &QMessageBox::reject);
    // Besides No, only a rejection (the inactivity time-out) can end the box.
    if (box.exec() == QMessageBox::Yes)
        systemReboot();
}

void MainWindow::systemReboot() { osd->reboot(); }

void MainWindow::queueClose()
{
    QTimer::singleShot(20, this, &QWidget::close);
}
