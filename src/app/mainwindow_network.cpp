// The unit's own network state as other parts of the window need it.
#include "mainwindow.h"

#include "platform/platform.h"
#include "rules/networkrules.h"

bool MainWindow::dhcpStatusUp()
{
    return hasLiveAddress(platform.eth0());
}
