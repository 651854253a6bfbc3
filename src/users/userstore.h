#pragma once

#include <QDomDocument>
#include <QString>

#include <functional>

class MainWindow;

// Applies a change of the user records through the database's write protocol.
// A write that fails leaves the document as it was, logs `failureLog` (one %s:
// the copy in use) and tells the person in an "Error" box with `failureText`,
// so nothing looks stored that is not.
bool storeUserChange(MainWindow* mainWindow, const std::function<void(QDomDocument&)>& change,
    const char* failureLog, const QString& failureText);
