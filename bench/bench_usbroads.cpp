// How long the GUI thread goes without turning its event loop during a whole
// receiver upgrade from a USB stick and a whole diagnostics export, on a
// simulated unit whose clock is virtual: the waits the roads prescribe (the
// remount pauses, the poll sleeps) cost nothing, so every gap left is the
// OSD's own work. The floor is bare Qt showing and answering message boxes.

#include "benchdatabase.h"
#include "benchgui.h"

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
#include <QTimer>

#include <memory>

namespace {

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_usbroads: ") + why);
    return 1;
}

// The answers of an administrator on both roads.
const QMap<QString, QString> answers { { QStringLiteral("Confirm Upgrade"), QStringLiteral("&Yes") },
    { QStringLiteral("Diagnostics"), QStringLiteral("Run") }, { QStringLiteral("Save As"), QStringLiteral("Ok") } };

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareGuiProcess();
    QApplication app(argc, argv);
    const int runs = qMax(1, bench::runCount(app.arguments()) / 6);

    bench::AdminWindow admin(QStringLiteral("velmo-usb"));
    if (!admin.why.isEmpty())
        return fail(admin.why);
    SimUnit& unit = *admin.unit;
    MainWindow& window = *admin.window;
    if (window.getLoggedInUser() != QLatin1String("admin"))
        return fail(QStringLiteral("the unit did not log admin on by itself"));

    bench::GapMeter meter;
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
            bench::BoxAnswerer answerer(answers);
            meter.start();
            window.startRxUpgrade();
            bench::Timer waited;
            while (unit.state().value(QStringLiteral("reboots")).toInt() == reboots && waited.elapsedUs() < 60e6)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            upgradeGaps << meter.stop();
            upgradeBoxes = answerer.titles();
        }
        if (unit.state().value(QStringLiteral("reboots")).toInt() != reboots + 1)
            return fail(QStringLiteral("the upgrade did not end in a reboot: ") + upgradeBoxes);

        QFile::remove(unit.usbStickPath() + QStringLiteral("/RX_Diagnostics.rxenc"));
        {
            window.formPage(MainWindow::Page::System); // as opened before the button is pressed
            bench::BoxAnswerer answerer(answers);
            meter.start();
            window.findChild<QPushButton*>(QStringLiteral("diagnosticsButton"))->click();
            diagnosticsGaps << meter.stop();
            diagnosticsBoxes = answerer.titles();
        }
        if (!QFile::exists(unit.usbStickPath() + QStringLiteral("/RX_Diagnostics.rxenc")))
            return fail(QStringLiteral("the diagnostics were not saved: ") + diagnosticsBoxes);

        {
            bench::BoxAnswerer answerer(answers);
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
