// The unit's own network state as other parts of the window need it.
#include "mainwindow.h"

#include "platform/platform.h"

bool MainWindow::dhcpStatusUp()
{
    const NetworkFacts eth0 = platform.eth0();
    const QString address = eth0.addresses.value(0);
    return eth0.running && !address.isEmpty() && address.size() <= 16;
}
