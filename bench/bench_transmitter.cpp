// How long the GUI thread goes without turning its event loop while the
// transmitter dialog connects to a transmitter and while it upgrades one from
// a USB stick, on a simulated unit whose clock is virtual: the work functions'
// working time and the prescribed poll sleeps cost nothing, so every gap left
// is the OSD's own work. The floor is bare Qt showing and answering message boxes.

#include "benchdatabase.h"
#include "benchgui.h"

#include "app/mainwindow.h"
#include "simpackage.h"
#include "simunit.h"
#include "transmitter/txsettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>

namespace {

int fail(const QString& why)
{
    bench::printLine(QStringLiteral("bench_transmitter: ") + why);
    return 1;
}

// Runs one operation from its button to its tear-down.
double measure(bench::GapMeter& meter, TXSettings& dialog, const char* button)
{
    meter.start();
    dialog.findChild<QAbstractButton*>(QLatin1String(button))->click();
    bench::Timer waited;
    while (dialog.isWorking() && waited.elapsedUs() < 60e6)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return meter.stop();
}

} // namespace

int main(int argc, char* argv[])
{
    bench::prepareGuiProcess();
    QApplication app(argc, argv);
    const int runs = qMax(1, bench::runCount(app.arguments()) / 3);

    bench::AdminWindow admin(QStringLiteral("velmo-tx"));
    if (!admin.why.isEmpty())
        return fail(admin.why);
    SimUnit& unit = *admin.unit;
    MainWindow& window = *admin.window;

    TXSettings dialog(false, window.context(), window.usbUpgrade(), QStringLiteral("Administrator"));
    QObject::connect(&dialog, &TXSettings::message_request, &window, &MainWindow::showMessage);
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("lineEditTxIP"))->setText(QStringLiteral("192.168.1.22"));

    bench::GapMeter meter;
    const QMap<QString, QString> answers { { QStringLiteral("Available Upgrade Files"), QStringLiteral("Ok") } };
    QVector<double> connectGaps;
    QVector<double> upgradeGaps;
    QVector<double> floorGaps;
    QString upgradeBoxes;
    for (int run = 0; run < runs; ++run) {
        bench::BoxAnswerer answerer(answers);
        connectGaps << measure(meter, dialog, "connectToTXButton");
        if (dialog.identity().mpn.isEmpty())
            return fail(QStringLiteral("the connect read no identity"));

        const QString version = QStringLiteral("V9.%1").arg(run);
        QFile::remove(unit.usbStickPath() + QStringLiteral("/TXU4200_V9.%1.clu").arg(run - 1));
        unit.writeUsbPackage(QStringLiteral("TXU4200_V9.%1.clu").arg(run), SimPackage::transmitter(version));
        upgradeGaps << measure(meter, dialog, "txUpgradeButton");
        upgradeBoxes = answerer.titles();
        const QJsonObject tx = unit.state().value(QStringLiteral("transmitters")).toObject().value(QStringLiteral("192.168.1.22")).toObject();
        if (tx.value(QStringLiteral("swVersion")).toString() != version)
            return fail(QStringLiteral("the upgrade did not take: ") + upgradeBoxes);

        meter.start();
        for (int box = 0; box < 3; ++box) {
            QMessageBox plain(QMessageBox::NoIcon, QStringLiteral("Information"), QStringLiteral("floor"),
                QMessageBox::Ok, &window);
            plain.exec();
        }
        floorGaps << meter.stop();
    }

    const double floorGap = bench::median(floorGaps);
    bench::printLine(QStringLiteral("%1 runs, offscreen, virtual unit clock; upgrade boxes: %2").arg(runs).arg(upgradeBoxes));
    bench::printComparison(QStringLiteral("longest event-loop gap, connect (floor: bare Qt answering boxes)"),
        bench::median(connectGaps), floorGap);
    bench::printComparison(QStringLiteral("longest event-loop gap, whole transmitter upgrade"), bench::median(upgradeGaps),
        floorGap);
    bench::printLine(bench::resultLine(QStringLiteral("transmitter"),
        { { QStringLiteral("runs"), QString::number(runs) },
            { QStringLiteral("connect_gap_us"), QString::number(bench::median(connectGaps), 'f', 0) },
            { QStringLiteral("upgrade_gap_us"), QString::number(bench::median(upgradeGaps), 'f', 0) },
            { QStringLiteral("floor_gap_us"), QString::number(floorGap, 'f', 0) } }));
    return 0;
}
