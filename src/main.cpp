#include "app/commandline.h"
#include "app/kxeventfilter.h"
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "app/startupthread.h"
#include "database/databaseprefetch.h"
#include "platform/displayplugin.h"
#include "platform/fontwarmup.h"
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
    const std::unique_ptr<Platform> platform = createUnitPlatform();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString display = displayPlatformName(arguments, qEnvironmentVariable("QT_QPA_PLATFORM"));
    // The display plugin first, which the application's start needs within
    // milliseconds; then copy A, which the constructor needs before any text.
    DatabasePrefetch prefetch(*platform);
    StartupThread startup(
        { [display] { preloadDisplayPlugin(display); }, [&prefetch] { prefetch.run(); }, loadFontConfiguration });
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("windowsvista"));

    const char* disconnectReason = disconnectReasonFromArguments(argc, argv);

    LoggedInUser user;
    MainWindow window(*platform, disconnectReason, &user, nullptr, &prefetch);
    window.resize(600, 450);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window.move((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
    window.show();

    guiActivitySeen = false;
    KXEventFilter filter(&guiActivitySeen);
    app.installEventFilter(&filter);
    return app.exec();
}
