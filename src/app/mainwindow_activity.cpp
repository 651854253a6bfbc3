// The inactivity time-out: the filter flags activity, a 2 s poll turns it into a
// restart of the inactivity count, and running out of time logs the user off.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "app/kxeventfilter.h"
#include "rules/unitsettings.h"

#include <QTimer>

#include <limits>

namespace {

const int activityPollMs = 2000;

// A time-out beyond what a timer can hold waits as long as a timer can.
int inactivityIntervalMs(int minutes)
{
    return int(qMin<qint64>(qint64(minutes) * 60000, std::numeric_limits<int>::max()));
}

} // namespace

int MainWindow::readGuiInactivityMinutes()
{
    return readLastUnitSetting(document(), UnitSetting::GuiInactivityMinutes).toInt();
}

void MainWindow::startGuiTimers()
{
    guiInactivityMinutes = readGuiInactivityMinutes();
    if (guiInactivityMinutes < 1)
        return;
    if (!guiInactivityTimer->isActive()) {
        guiInactivityTimer->setInterval(inactivityIntervalMs(guiInactivityMinutes));
        QTimer::singleShot(0, this, &MainWindow::guiTimerUpdate);
    }
    if (!activityPollTimer->isActive())
        activityPollTimer->start(activityPollMs);
}

void MainWindow::guiTimerUpdate()
{
    if (guiInactivityTimer->isActive())
        guiInactivityTimer->stop();
    guiInactivityMinutes = readGuiInactivityMinutes();
    // A restart queued before a log-off may only run once the log-on dialog is
    // up; with nobody logged on there is nothing to time out.
    if (guiInactivityMinutes < 1 || !isLoggedOn())
        return;
    guiInactivityTimer->start(inactivityIntervalMs(guiInactivityMinutes));
    // A time-out switched on while logged on finds the poll stopped; without it
    // activity would never push the deadline back.
    if (!activityPollTimer->isActive())
        activityPollTimer->start(activityPollMs);
}

void MainWindow::checkGUIActivity()
{
    if (!guiActivitySeen)
        return;
    QTimer::singleShot(0, this, &MainWindow::guiTimerUpdate);
    guiActivitySeen = false;
}

void MainWindow::stopGuiTimers()
{
    // Both timers stop even when the inactivity count is not running (time-out
    // off, or its first start still queued), so no poll outlives the log-off.
    guiInactivityTimer->stop();
    activityPollTimer->stop();
    guiActivitySeen = false;
}

void MainWindow::guiTimerTimeout()
{
    emit closeActiveDialogs();
    const QString userName = osd->loggedInUser();
    statistics.sendLogonAlert(LogonAlert::TimeoutLogoff, userName);
    logoff();
}
