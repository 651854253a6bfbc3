#pragma once
// The small pages of the Control tab: hot-key, timers, power mode, log-on
// preferences and general settings. Each reads its values when shown and
// writes them back when its apply button is pressed.

#include <QDomDocument>
#include <QObject>
#include <QString>

#include <functional>

class MainWindow;

// Stores a change of the settings through the database's write protocol. A
// change that cannot be stored is taken back in memory too.
bool commitSettingsChange(MainWindow* mainWindow, const std::function<void(QDomDocument&)>& change);
// Puts back the document as it was before a stored change whose companion
// write failed, so the database agrees with what was written beside it. False
// when the database keeps the change; memory then keeps it too.
bool takeBackSettingsChange(MainWindow* mainWindow, const QDomDocument& before);

class HotKeyPage : public QObject {
    Q_OBJECT

public:
    explicit HotKeyPage(MainWindow* mainWindow);

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

    MainWindow* mainWindow;
};

class TimersPage : public QObject {
    Q_OBJECT

public:
    explicit TimersPage(MainWindow* mainWindow);

    void on_buttonTimerSettings_clicked();
    int readConnectionInactivityMinutes();
    void on_buttonApplyTimers_clicked();
    bool saveConnectionInactivity();
    bool saveGuiInactivity();

private:
    MainWindow* mainWindow;
};

class PowerModePage : public QObject {
    Q_OBJECT

public:
    explicit PowerModePage(MainWindow* mainWindow);

    void on_toolButtonPowerMode_clicked();
    QString currentPowerMode();
    void loadPowerModePage();
    void on_applyButtonPowerMode_clicked();

private:
    MainWindow* mainWindow;
};

class PreferencesPage : public QObject {
    Q_OBJECT

public:
    explicit PreferencesPage(MainWindow* mainWindow);

    void on_toolButtonPreferences_clicked();
    void on_pushButtonSaveOnPUp_clicked();

private:
    MainWindow* mainWindow;
};

class GeneralSettingsPage : public QObject {
    Q_OBJECT

public:
    explicit GeneralSettingsPage(MainWindow* mainWindow);

    void on_toolButtonGeneralSettings_clicked();
    void on_checkBoxRedirTouchscreen_stateChanged(int state);
    void on_pushButtonApplyGeneralSettings_clicked();

    // The box changed an odd number of times since it was loaded or applied.
    bool touchRedirectionChanged = false;

private:
    MainWindow* mainWindow;
};
