// How long the GUI thread goes without turning its event loop during a whole
// receiver upgrade from a USB stick and a whole diagnostics export, on a
// simulated unit whose clock is virtual: the waits the roads prescribe (the
// remount pauses, the poll sleeps) cost nothing, so every gap left is the
// OSD's own work. The floor is bare Qt showing and answering message boxes.

#include "benchdatabase.h"
#include "benchutil.h"

#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "simpackage.h"
#include "simunit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_usbroads: ") + why);
    return 1;
}

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
    bench::Timer clock;
    double last = 0;
    double longest = 0;
};

// Answers the boxes of the two roads the way an administrator would.
class Answerer : public QObject {
public:
    Answerer()
    {
        poll.setInterval(2);
        QObject::connect(&poll, &QTimer::timeout, [this] { answer(); });
        poll.start();
    }
    QStringList seen;

private:
    void answer()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        const QString title = dialog->windowTitle();
        QString button;
        if (title == QLatin1String("Confirm Upgrade"))
            button = QStringLiteral("&Yes");
        else if (title == QLatin1String("Diagnostics"))
            button = QStringLiteral("Run");
        else if (title == QLatin1String("Save As"))
            button = QStringLiteral("Ok");
        else if (qobject_cast<QMessageBox*>(dialog))
            button = QStringLiteral("OK");
        if (button.isEmpty())
            return;
        for (QAbstractButton* candidate : dialog->findChildren<QAbstractButton*>()) {
            if (candidate->isVisible() && candidate->text().remove(QLatin1Char('&')) == QString(button).remove(QLatin1Char('&'))) {
                if (seen.isEmpty() || seen.last() != title + QLatin1Char('@') + QString::number(quintptr(dialog)))
                    seen << title + QLatin1Char('@') + QString::number(quintptr(dialog));
                candidate->click();
                return;
            }
        }
    }
    QTimer poll;
};

QString titles(const QStringList& seen)
{
    QStringList plain;
    for (const QString& entry : seen)
        plain << entry.section(QLatin1Char('@'), 0, 0);
    return plain.join(QStringLiteral(" > "));
}

} // namespace

int main(int argc, char* argv[])
{
    qSetGlobalQHashSeed(0);
    qInstallMessageHandler(bench::dropDebugLines);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = qMax(1, bench::runCount(app.arguments()) / 6);

    QTemporaryDir folder(qEnvironmentVariable("VELMO_BENCH_DIR", QDir::tempPath()) + QStringLiteral("/velmo-usb-XXXXXX"));
    if (!folder.isValid())
        return fail(QStringLiteral("no temporary folder"));
    SimUnit unit(folder.path() + QStringLiteral("/unit"), true);
    if (!bench::installDatabase(unit, bench::maximumDocument().toByteArray(1)))
        return fail(QStringLiteral("cannot install the database"));
    LoggedInUser user;
    MainWindow window(unit.platform(), nullptr, &user);
    window.show();
    QCoreApplication::processEvents();
    if (window.getLoggedInUser() != QLatin1String("admin"))
        return fail(QStringLiteral("the unit did not log admin on by itself"));

    GapMeter meter;
    QVector<double> upgradeGaps;
    QVector<double> diagnosticsGaps;
    QVector<double> floorGaps;
    QString upgradeBoxes;
    QString diagnosticsBoxes;
    for (int run = 0; run < runs; ++run) {
        // A unit on the old release with the new package on its stick.
        QFile version(unit.path(QStringLiteral("/VERSION")));
        if (!version.open(QIODevice::WriteOnly) || version.write("V3.0.2\n") != 7)
            return fail(QStringLiteral("cannot reset /VERSION"));
        version.close();
        unit.writeUsbPackage(QStringLiteral("RXU4200_V3.1.0.clu"), SimPackage::receiver(QStringLiteral("V3.1.0")));
        const int reboots = unit.state().value(QStringLiteral("reboots")).toInt();
        {
            Answerer answerer;
            meter.start();
            window.startRxUpgrade();
            bench::Timer waited;
            while (unit.state().value(QStringLiteral("reboots")).toInt() == reboots && waited.elapsedUs() < 60e6)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            upgradeGaps << meter.stop();
            upgradeBoxes = titles(answerer.seen);
        }
        if (unit.state().value(QStringLiteral("reboots")).toInt() != reboots + 1)
            return fail(QStringLiteral("the upgrade did not end in a reboot: ") + upgradeBoxes);

        QFile::remove(unit.usbStickPath() + QStringLiteral("/RX_Diagnostics.rxenc"));
        {
            Answerer answerer;
            meter.start();
            window.findChild<QPushButton*>(QStringLiteral("diagnosticsButton"))->click();
            diagnosticsGaps << meter.stop();
            diagnosticsBoxes = titles(answerer.seen);
        }
        if (!QFile::exists(unit.usbStickPath() + QStringLiteral("/RX_Diagnostics.rxenc")))
            return fail(QStringLiteral("the diagnostics were not saved: ") + diagnosticsBoxes);

        {
            Answerer answerer;
            meter.start();
            for (int box = 0; box < 5; ++box) {
                QMessageBox plain(QMessageBox::NoIcon, QStringLiteral("Information"), QStringLiteral("floor"),
                                  QMessageBox::Ok, &window);
                plain.exec();
            }
            floorGaps << meter.stop();
        }
    }

    double upgradeWorst = 0;
    double diagnosticsWorst = 0;
    for (double gap : upgradeGaps)
        upgradeWorst = qMax(upgradeWorst, gap);
    for (double gap : diagnosticsGaps)
        diagnosticsWorst = qMax(diagnosticsWorst, gap);
    const double floorGap = bench::median(floorGaps);
    bench::printLine(QStringLiteral("%1 runs, offscreen, virtual unit clock; upgrade boxes: %2; diagnostics boxes: %3")
                         .arg(runs)
                         .arg(upgradeBoxes, diagnosticsBoxes));
    bench::printComparison(QStringLiteral("longest event-loop gap, whole upgrade (floor: bare Qt answering boxes)"),
                           bench::median(upgradeGaps), floorGap);
    bench::printLine(QStringLiteral("   worst run %1").arg(bench::formatUs(upgradeWorst)));
    bench::printComparison(QStringLiteral("longest event-loop gap, whole diagnostics export"),
                           bench::median(diagnosticsGaps), floorGap);
    bench::printLine(QStringLiteral("   worst run %1").arg(bench::formatUs(diagnosticsWorst)));
    bench::printLine(bench::resultLine(QStringLiteral("usbroads"),
        { { QStringLiteral("runs"), QString::number(runs) },
          { QStringLiteral("upgrade_gap_us"), QString::number(bench::median(upgradeGaps), 'f', 0) },
          { QStringLiteral("upgrade_gap_worst_us"), QString::number(upgradeWorst, 'f', 0) },
          { QStringLiteral("diagnostics_gap_us"), QString::number(bench::median(diagnosticsGaps), 'f', 0) },
          { QStringLiteral("diagnostics_gap_worst_us"), QString::number(diagnosticsWorst, 'f', 0) },
          { QStringLiteral("floor_gap_us"), QString::number(floorGap, 'f', 0) } }));
    return 0;
}
