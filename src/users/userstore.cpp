#include "userstore.h"

#include "app/mainwindow.h"

bool storeUserChange(MainWindow* mainWindow, const std::function<void(QDomDocument&)>& change,
    const char* failureLog, const QString& failureText)
{
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    if (mainWindow->storage().commitChange(change))
        return true;
    if (failureLog)
        malvo_syslog(3, failureLog, qPrintable(mainWindow->storage().databasePath));
    mainWindow->document() = before;
    mainWindow->showMessage(QStringLiteral("Error"), failureText);
    return false;
}
