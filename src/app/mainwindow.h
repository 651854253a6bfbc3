#pragma once

#include "rules/guifiles.h"
#include "app/logonsession.h"
#include "app/osdcontext.h"
#include "rules/statisticsreporter.h"
#include "app/worker.h"
#include "database/databasestorage.h"
#include "platform/durablewriter.h"
#include "services/device_services.h"
#include "users/logindialog.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <vector>

class ConnectionTab;
class UserTab;
class GeneralSettingsPage;
class HotKeyPage;
class NetworkPage;
class PowerModePage;
class PreferencesPage;
class ResolutionPage;
class TimersPage;
class UnitInformation;
class RxUpgrade;
class SettingsTransfer;
class Platform;
class QMenu;
class QTimer;
class QWidgetAction;
struct LoggedInUser;

namespace Ui {
class MainWindow;
}

// The OSD's one window for the whole run: it owns the database document, the
// GUI files and every timer, and runs the log-on loop.
class MainWindow : public QMainWindow, public LogonWindow {
    Q_OBJECT

public:
    // `prefetch`, when given, holds copy A as read while the application started.
    MainWindow(Platform& platform, const char* disconnectReason, LoggedInUser* user, QWidget* parent = nullptr,
               DatabasePrefetch* prefetch = nullptr);
    ~MainWindow() override;

    // What the pages and dialogs reach instead of the window.
    OsdContext& context() { return *osd; }
    // The form is built when first needed: a start that shows the log-on dialog
    // shows it without paying for the window behind it.
    void ensureForm();
    // The generated form with every part built.
    Ui::MainWindow& form();
    // The Control tab's pages in the order of its stack, then the Users and
    // Information tabs. Each is built when first shown or needed: the window
    // shows without them.
    enum class Page { ScreenResolution, LocalNetwork, System, HotKey, PowerMode, Preferences, Timers,
                      GeneralSettings, Users, Information };
    static constexpr int pageCount = 10;
    // The form with that page built.
    Ui::MainWindow& formPage(Page page);
    // The Connections tab, the network page and the USB upgrade, as tests and benchmarks drive them.
    ConnectionTab& connectionList() { return *connectionTab; }
    NetworkPage& localNetwork() { return *networkPage; }
    RxUpgrade& usbUpgrade() { return *rxUpgrade; }

    // The saved relaunch script keeps the OSD hot-key as "--hotkey N"; false
    // when a script is there and does not say it now.
    bool setRelaunchHotKey(const QString& number);
    void syncRelaunchHotKey();
    // The hot-key setting as the launchers number it (unknown: 0).
    int hotKeyNumber();

    // The redundant database; the document and the copy in use live there.
    void repairDatabaseFiles();
    QString selectDatabaseFile();
    void loadDatabaseDocument();
    void mirrorDatabaseFile(const QString& path);
    bool createNewDatabase();
    void upgradeDatabaseSchema();
    DatabaseStorage& storage() { return database; }
    QDomDocument& document() { return database.document; }
    // Re-selects the copy in use and reloads the document from it.
    void reloadDatabase();
    // Refreshes both copies, asks the management appliance for its database
    // (su_get_xml_db) and reloads on success; returns the service's result.
    int pullDatabase(const QString& userName, int mode);

    // The GUI's own files and the statistics service.
    void createGuiSettingsFile();
    QString readAutoLoginUser();
    void writeAutoLoginUser(const QString& userName);
    // The automatic log-on choice of the Control tab, after every change of the users.
    void refillAutoLogonChoice();
    QString readPowerMode();
    void incrementAuthenticationStat(const QString& key);

    // One background work item at a time (the receiver upgrade).
    QThread* initializeWorker(Worker* worker);
    void deinitializeWorker();

    // Who is logged on: the label, the process record and the logged-on flag.
    void setLoggedInUser(const QString& name) override;
    bool isLoggedOn() const { return osd->isLoggedOn(); }

    bool isManaged() const { return osd->isManaged(); }
    bool isSafeMode() const;
    void showWarning(const QString& title, const QString& text);
    void completeLogon();
    void applyPrivilege(const QDomElement& userElement);
    void autoConnect(const QDomElement& userElement);
    QString showKeyboardLayout() override;

    QString readSoftwareVersion();

    // The USB roads: the file dialog's result, the upgrade and the transmitter's package.
    void startRxUpgrade();
    int prepareUpgradePackage(QString& path, const QString& folder);
    int verifyPackageSignature(const QString& packagePath, const QString& title);
    int remountUsbDevice();
    void txUpgrade(const QString& mpn);
    QString txUpgradeFile() const;

    // Work started under a log-on checks its ticket before it shows or acts.
    LogonSession::Ticket logonTicket() const { return osd->logonTicket(); }

    void stopGuiTimers();

signals:
    void closeActiveDialogs();

public slots:
    void applyLayout();
    void showMessage(const QString& title, const QString& message);
    void createPowreOffMenu();
    void send_logoff_alert();
    void logoff();
    void sureReboot() override;
    void systemReboot();
    QString getLoggedInUser();
    void on_tabWidget_currentChanged(int index);
    void on_screenResButton_clicked();
    void on_networkButton_clicked();
    void on_systemPageButton_clicked();
    void sendAuthenticationStats();
    void sendConnectionStats();
    void sendSystemStat();
    void showUnitInformation() override;
    void guiTimerTimeout();
    void guiTimerUpdate();
    void checkGUIActivity();
    void on_addUserButton_clicked();
    void on_editUserButton_clicked();
    void on_removeUserButton_clicked();
    void on_toolButtonMyPassCh_clicked();
    void on_pushButtonMyFavorites_clicked();
    void on_stackedWidget_currentChanged(int index);
    void on_radioButtonDHCP_clicked();
    void on_radioButtonStatIP_clicked();
    void on_applyNetworkButton_clicked();
    void checkIfUp();
    void on_applyScResButton_clicked();
    void on_applyGUIReslButton_2_clicked();
    void on_hot_keyButton_clicked();
    void on_comboBoxHotKey_currentIndexChanged(const QString& name);
    void on_checkBoxFunctionalHotKey_stateChanged(int state);
    void on_buttonApplyHotKey_clicked();
    void on_toolButtonPowerMode_clicked();
    void on_applyButtonPowerMode_clicked();
    void on_toolButtonPreferences_clicked();
    void on_pushButtonSaveOnPUp_clicked();
    void on_buttonTimerSettings_clicked();
    void on_buttonApplyTimers_clicked();
    void on_toolButtonGeneralSettings_clicked();
    void on_pushButtonApplyGeneralSettings_clicked();
    void on_checkBoxRedirTouchscreen_stateChanged(int state);
    void on_startupgradeButton_clicked();
    void on_diagnosticsButton_clicked();
    void on_transmitterButton_clicked();
    void on_exportButton_clicked();
    void on_importButton_clicked();
    void on_restoreButton_clicked();
    int prepareRelease(const char* packagePath, const char* folder);
    void upgradeSignatureVerified(int result);
    int waitForDeCompress();
    void postRxUpgrade(int result, void* record);
    int checkForReleaseArchive(QString& file, QString folder, QString extension);
    int checkForReleaseDirectories(QString& directory, QString folder);
    int removeDirectory(const char* path);
    void EmupdateProgBar();
    int getTokenFromlsmFile(const char* token_name, const char* filename, char* token_value);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The form's frame: the header, the tabs and the Connections tab.
    Ui::MainWindow& formFrame()
    {
        ensureForm();
        return *ui;
    }
    bool isPageBuilt(Page page) const { return pagesBuilt[static_cast<int>(page)]; }
    // Runs a step on a page's widgets now, or in order once the page is built.
    void onPage(Page page, std::function<void()> step);
    // eth0 is running and has an address.
    bool dhcpStatusUp();
    bool saveDatabase();
    void ensureAuthenticationStatFile();
    void clearLoggedInUser();
    bool isUnitManaged();
    void startupLogon();
    bool restoreSession();
    void requireLogon();
    int prepareLogon();
    int showLogonDialog();
    QString zoneText();
    // Unit identity, derived once at start-up.
    void setUnitIdentity();
    // Inactivity time-out.
    void startGuiTimers();
    int readGuiInactivityMinutes();

    // The header, the tabs and the Connections tab, without the steps waiting for the form.
    void buildFrame();
    // Whether the files promise an automatic or restored log-on, read before the database.
    bool automaticLogonExpected();
    // Polishes, lays out and creates the window's display window ahead of show().
    void layOutAhead();
    void applySafeModeTabs();
    void insertAdminTabs();
    // Each tab present gets its picture, decoded when first drawn.
    void setTabIcons();
    // The buttons built inside `within` get their pictures, decoded when first drawn.
    void setButtonIcons(const QWidget* within);
    void setManagedLook();
    // The group titles built in `within` take their font: the frame's with it,
    // each page's when it is built.
    void setGroupTitleFonts(QWidget* within);
    void queueClose();
    // The header's user name and the name the pages read, together.
    void showUserName(const QString& name);
    void createSettingsPages();
    // Runs a step on the form now, or in order once the form is built.
    void onForm(std::function<void()> step);
    // Runs the queued steps in order and empties the queue.
    static void runSteps(std::vector<std::function<void()>>& queue);
    void buildPage(Page page);
    // The widget a page is built into: its place in the Control tab's stack, or its tab.
    QWidget* pageShell(Page page) const;
    // Each page is built at the latest when first shown, whatever shows it.
    void buildPagesWhenShown();

    Platform& platform;
    Ui::MainWindow* ui;
    ConnectionTab* connectionTab = nullptr;
    UserTab* userTab = nullptr;
    // The Control tab's pages and the Information tab.
    NetworkPage* networkPage = nullptr;
    ResolutionPage* resolutionPage = nullptr;
    HotKeyPage* hotKeyPage = nullptr;
    TimersPage* timersPage = nullptr;
    PowerModePage* powerModePage = nullptr;
    PreferencesPage* preferencesPage = nullptr;
    GeneralSettingsPage* generalSettingsPage = nullptr;
    UnitInformation* unitInformation = nullptr;
    SettingsTransfer* settingsTransfer = nullptr;
    RxUpgrade* rxUpgrade = nullptr;
    LoggedInUser* user;
    DurableWriter writer;
    DatabaseStorage database;
    GuiSettingsFile guiSettings;
    StatisticsReporter statistics;
    OsdContext* osd;
    bool safeMode = false;
    BoardInfo boardInfo {};
    // The frame's widgets exist; the form is built once the steps waiting for it have run.
    bool frameBuilt = false;
    bool formBuilt = false;
    std::vector<std::function<void()>> formSteps;
    std::array<bool, pageCount> pagesBuilt {};
    std::array<std::vector<std::function<void()>>, pageCount> pageSteps;
    int guiInactivityMinutes = 0;

    QMenu* powerMenu = nullptr;
    QWidgetAction* logOffAction = nullptr;
    QWidgetAction* rebootAction = nullptr;
    QTimer* systemStatTimer = nullptr;
    QTimer* guiInactivityTimer = nullptr;
    QTimer* activityPollTimer = nullptr;
};
