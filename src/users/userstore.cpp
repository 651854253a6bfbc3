#include "userstore.h"

#include "app/osdcontext.h"
#include "database/databasestorage.h"
#include "rules/guifiles.h"
#include "services/device_services.h"

bool storeUserChange(OsdContext& context, const std::function<void(QDomDocument&)>& change,
    const char* failureLog, const QString& failureText)
{
    if (context.storage().commitOrUndo(change))
        return true;
    if (failureLog)
        malvo_syslog(3, failureLog, qPrintable(context.storage().databasePath));
    context.showMessage(QStringLiteral("Error"), failureText);
    return false;
}

QString autoLogonUser(OsdContext& context)
{
    return context.guiSettings().readAutoLoginUser(context.document(), context.isManaged());
}
