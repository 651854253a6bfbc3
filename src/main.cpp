#include "app/commandline.h"
#include "app/kxeventfilter.h"
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "platform/platform.h"
#include "services/device_services.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>


int main(int argc, char* argv[])
{
    // The same document must always serialize to the same bytes.
    qSetGlobalQHashSeed(0);
    malvo_syslog(5, "######## G U I   E N T R Y ########\n");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("windowsvista"));

    const char* disconnectReason = disconnectReasonFromArguments(argc, argv);

    const std::unique_ptr<Platform> platform = createUnitPlatform();
    LoggedInUser user;
    MainWindow window(*platform, disconnectReason, &user);
    window.resize(600, 450);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window.move((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
    window.show();

    guiActivitySeen = false;
    KXEventFilter filter(&guiActivitySeen);
    app.installEventFilter(&filter);
    return app.exec();
}
