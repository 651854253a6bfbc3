#pragma once
// The small pages of the Control tab: hot-key, timers, power mode, log-on
// preferences and general settings. Each reads its values when shown and
// writes them back when its apply button is pressed.

#include <QDomDocument>
#include <QObject>
#include <QString>

#include <functional>

class DatabaseStorage;
class OsdContext;
class QWidget;

namespace Ui {
class PageGeneralSettings;
class PageHotKey;
class PagePowerMode;
class PagePreferences;
class PageTimers;
}

// The picture of the Control pages' apply buttons.
extern const char applyPicture[];

class HotKeyPage : public QObject {
    Q_OBJECT

public:
    // `setRelaunchHotKey` makes the saved relaunch script name the launchers'
    // number it is given; false when the script could not be made to.
    HotKeyPage(OsdContext& context, std::function<bool(const QString&)> setRelaunchHotKey);
    ~HotKeyPage() override;

    // Sets the page's widgets up in `shell`, its place in the Control tab.
    void build(QWidget* shell);

    void on_hot_keyButton_clicked();
    // The launchers' number (0 to 4) of the stored hot-key.
    int loadHotKeyPage();
    QString readHotKey();
    QString readFunctionalHotKey();
    void on_comboBoxHotKey_currentIndexChanged(const QString& name);
    void on_checkBoxFunctionalHotKey_stateChanged(int state);
    void on_buttonApplyHotKey_clicked();

private:
    void showHelp();

    OsdContext& context;
    std::function<bool(const QString&)> setRelaunchHotKey;
    Ui::PageHotKey* ui;
    QWidget* shell = nullptr;
};

class TimersPage : public QObject {
    Q_OBJECT

public:
    // `timeoutChanged` applies a new inactivity time-out of the OSD at once.
    TimersPage(OsdContext& context, std::function<void()> timeoutChanged);
    ~TimersPage() override;

    void build(QWidget* shell);
    // The timers are the unit's to change.
    void setEditable(bool editable);

    void on_buttonTimerSettings_clicked();
    int readConnectionInactivityMinutes();
    void on_buttonApplyTimers_clicked();
    bool saveConnectionInactivity();
    bool saveGuiInactivity();

private:
    OsdContext& context;
    std::function<void()> timeoutChanged;
    Ui::PageTimers* ui;
    QWidget* shell = nullptr;
};

class PowerModePage : public QObject {
    Q_OBJECT

public:
    explicit PowerModePage(OsdContext& context);
    ~PowerModePage() override;

    void build(QWidget* shell);

    void on_toolButtonPowerMode_clicked();
    QString currentPowerMode();
    void loadPowerModePage();
    void on_applyButtonPowerMode_clicked();

private:
    OsdContext& context;
    Ui::PagePowerMode* ui;
    QWidget* shell = nullptr;
};

class PreferencesPage : public QObject {
    Q_OBJECT

public:
    explicit PreferencesPage(OsdContext& context);
    ~PreferencesPage() override;

    void build(QWidget* shell);
    // The page buttons the window shows and enables by privilege.
    const Ui::PagePreferences& widgets() const { return *ui; }

    void on_toolButtonPreferences_clicked();
    void on_pushButtonSaveOnPUp_clicked();
    // The users offered for the automatic log-on and the one chosen; a page
    // not built yet takes them when it is built.
    void fillAutoLogonChoice();

private:
    OsdContext& context;
    Ui::PagePreferences* ui;
    QWidget* shell = nullptr;
};

class GeneralSettingsPage : public QObject {
    Q_OBJECT

public:
    explicit GeneralSettingsPage(OsdContext& context);
    ~GeneralSettingsPage() override;

    void build(QWidget* shell);

    void on_toolButtonGeneralSettings_clicked();
    void on_checkBoxRedirTouchscreen_stateChanged(int state);
    void on_pushButtonApplyGeneralSettings_clicked();

    // The box changed an odd number of times since it was loaded or applied.
    bool touchRedirectionChanged = false;

private:
    OsdContext& context;
    Ui::PageGeneralSettings* ui;
    QWidget* shell = nullptr;
};
