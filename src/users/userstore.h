#pragma once

#include <QDomDocument>
#include <QString>

#include <functional>

class OsdContext;

// Applies a change of the user records through the database's write protocol.
// A write that fails leaves the document as it was, logs `failureLog` (one %s:
// the copy in use) and tells the person in an "Error" box with `failureText`,
// so nothing looks stored that is not.
bool storeUserChange(OsdContext& context, const std::function<void(QDomDocument&)>& change,
    const char* failureLog, const QString& failureText);

// The automatic log-on user the GUI settings file names; on an unmanaged unit
// only a user the database holds.
QString autoLogonUser(OsdContext& context);
