#pragma once
// Shared by the benchmarks that drive the OSD's windows: a meter of the GUI
// thread's longest pause and an administrator who answers the modal boxes.

#include "benchdatabase.h"
#include "benchutil.h"

#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "simunit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace bench {

// Before the QApplication: the offscreen platform unless one is chosen, no debug lines.
inline void prepareGuiProcess()
{
    qSetGlobalQHashSeed(0);
    qInstallMessageHandler(dropDebugLines);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// A simulated unit in a temporary folder holding the largest database, with its
// main window shown; `why` says what failed, empty when it is ready.
class AdminWindow {
public:
    explicit AdminWindow(const QString& name)
        : folder(qEnvironmentVariable("VELMO_BENCH_DIR", QDir::tempPath()) + QLatin1Char('/') + name
              + QStringLiteral("-XXXXXX"))
    {
        if (!folder.isValid()) {
            why = QStringLiteral("no temporary folder");
            return;
        }
        unit = std::make_unique<SimUnit>(folder.path() + QStringLiteral("/unit"), true);
        if (!installDatabase(*unit, maximumDocument().toByteArray(1))) {
            why = QStringLiteral("cannot install the database");
            return;
        }
        window = std::make_unique<MainWindow>(unit->platform(), nullptr, &user);
        window->show();
        QCoreApplication::processEvents();
    }

    QString why;
    QTemporaryDir folder;
    std::unique_ptr<SimUnit> unit;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

// Ticks on every turn of the event loop, nested ones included, and keeps the longest pause.
class GapMeter : public QObject {
public:
    GapMeter()
    {
        tick.setInterval(0);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const double now = clock.elapsedUs();
            longest = qMax(longest, now - last);
            last = now;
        });
    }
    void start()
    {
        longest = 0;
        clock.restart();
        last = 0;
        tick.start();
    }
    double stop()
    {
        tick.stop();
        return longest;
    }

private:
    QTimer tick;
    Timer clock;
    double last = 0;
    double longest = 0;
};

// Presses the button named for a modal dialog's title, and OK on any other
// message box; `seen` keeps the titles in order.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(const QMap<QString, QString>& buttons)
        : buttons(buttons)
    {
        poll.setInterval(2);
        QObject::connect(&poll, &QTimer::timeout, [this] { answer(); });
        poll.start();
    }
    QStringList seen;

    QString titles() const { return seen.join(QStringLiteral(" > ")); }

private:
    void answer()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        const QString title = dialog->windowTitle();
        QString button = buttons.value(title);
        if (button.isEmpty() && qobject_cast<QMessageBox*>(dialog))
            button = QStringLiteral("OK");
        if (button.isEmpty())
            return;
        for (QAbstractButton* candidate : dialog->findChildren<QAbstractButton*>()) {
            if (candidate->isVisible()
                && candidate->text().remove(QLatin1Char('&')) == QString(button).remove(QLatin1Char('&'))) {
                if (last != dialog) {
                    seen << title;
                    last = dialog;
                }
                candidate->click();
                return;
            }
        }
    }
    QMap<QString, QString> buttons;
    QTimer poll;
    QDialog* last = nullptr;
};

} // namespace bench
