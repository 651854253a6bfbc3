#pragma once
// What a page or a dialog reaches instead of the main window: the document and
// its storage, the unit, the log-on, the GUI's own files and the message boxes.
// A change one page makes that another page shows travels by the signals here.

#include "app/logonsession.h"

#include <QMessageBox>
#include <QObject>
#include <QString>

class DatabaseStorage;
class GuiSettingsFile;
class Platform;
class QDialog;
class QDomDocument;
class StatisticsReporter;

// The unit as it described itself at start-up.
struct UnitIdentity {
    QString mpn;
    QString swVersion;
    QString heads;
    QString type;
    QString boardName;
    QString brand;
    int compatibility = 0;
};

class OsdContext : public QObject {
    Q_OBJECT

public:
    OsdContext(Platform& platform, DatabaseStorage& storage, GuiSettingsFile& guiSettings,
               StatisticsReporter& statistics, QWidget* window);

    Platform& platform() const { return unitPlatform; }
    DatabaseStorage& storage() const { return database; }
    QDomDocument& document() const;
    GuiSettingsFile& guiSettings() const { return settingsFile; }
    StatisticsReporter& statistics() const { return reporter; }
    // The parent of every dialog and box: the OSD's one window.
    QWidget* window() const { return osdWindow; }

    const UnitIdentity& identity() const { return unit; }
    bool isManaged() const { return managed; }
    // The unit was started in safe mode, as its marker file says now.
    bool isSafeMode() const;

    // The name the header shows: the last one logged on.
    QString loggedInUser() const { return userName; }
    bool isLoggedOn() const { return loggedOn; }
    // Work started under a log-on checks its ticket before it shows or acts.
    LogonSession::Ticket logonTicket() const { return session.ticket(); }

    // The file the last file dialog chose, for the road that opened it.
    QString selectedFile() const { return chosenFile; }
    void setSelectedFile(const QString& name) { chosenFile = name; }

    // Boxes over the window that an inactivity log-off closes; a warning is
    // also logged. ask() returns the button pressed (a closed box: Escape's).
    void showMessage(const QString& title, const QString& text);
    void showWarning(const QString& title, const QString& text);
    int ask(const QString& title, const QString& text, QMessageBox::StandardButtons buttons);
    // The dialog is rejected when the log-on ends.
    void closeOnLogoff(QDialog* dialog);

    // Restarts the unit at once.
    void reboot();

    // Only the window writes these.
    void setIdentity(const UnitIdentity& identity) { unit = identity; }
    void setManaged(bool isManaged) { managed = isManaged; }
    void setShownUser(const QString& name) { userName = name; }
    void setLoggedOn(bool on) { loggedOn = on; }
    // Ends the log-on: work it started no longer acts, its dialogs close.
    void endLogon();

signals:
    void closeActiveDialogs();
    void usersChanged();
    void networkChanged();
    // Long work on the unit holds the inactivity log-off off while it runs.
    void inactivityHeld(bool held);

private:
    Platform& unitPlatform;
    DatabaseStorage& database;
    GuiSettingsFile& settingsFile;
    StatisticsReporter& reporter;
    QWidget* osdWindow;
    UnitIdentity unit;
    bool managed = false;
    QString userName;
    bool loggedOn = false;
    LogonSession session;
    QString chosenFile;
};
