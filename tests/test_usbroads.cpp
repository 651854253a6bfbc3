// The receiver upgrade from a USB stick and the diagnostics export, driven
// from the Control tab's buttons on a simulated unit.
#include "app/mainwindow.h"
#include "database.h"
#include "logon.h"
#include "modal.h"
#include "simpackage.h"
#include "upgrade/debugdialog.h"
#include "testmain.h"
#include "testunit.h"
#include "widgets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QtTest>

namespace {

const QString newRelease = QStringLiteral("/usr/local/DECODER_V3.1.0");
const QString startBox
    = QStringLiteral("Upgrade in progress...: Do not power off the system until upgrade has "
                     "completed and the system has rebooted... Hit OK to start the Upgrade...");

QString confirmBox(const QString& package)
{
    return QStringLiteral("Confirm Upgrade: Found upgrade file \"/mnt/usb/%1\" in USB memory device.\n"
                          "Do you wish to proceed?")
        .arg(package);
}

QJsonObject upgradeState(TestUnit& unit)
{
    return unit.sim().state().value(QStringLiteral("upgrade")).toObject();
}

bool ran(TestUnit& unit, const QStringList& command)
{
    return unit.commands().contains(command);
}

SimPackage encrypted()
{
    SimPackage package = SimPackage::receiver(QStringLiteral("V3.1.0"));
    package.setValue(QStringLiteral("Encryption"), QStringLiteral("On"));
    return package;
}

enum class Setup { Plain, Encrypted, StaleReleases, TwoPackages };
enum class Failure {
    NoStick, NoPackage, BadSignature, SameVersion, WrongPassPhrase, MapHangs, ExtractionNeverEnds,
    StaleFlagOnly, HostileVersion, ConfirmNo, ConfirmClosedByInactivity, FinalCancel, OnlyPackageIsFolder,
    InstallFails
};

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Failure)

class TestUsbRoads : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void upgrade_data();
    void upgrade();
    void upgradeFailure_data();
    void upgradeFailure();
    void transmitterPackage_data();
    void transmitterPackage();
    void diagnostics_data();
    void diagnostics();
    void lateResult_data();
    void lateResult();
    void diagnosticsProgressCycles();
};

void TestUsbRoads::upgrade_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("package");
    const QString plain = QStringLiteral("RXU4200_V3.1.0.clu");
    QTest::newRow("plain package") << Setup::Plain << plain;
    QTest::newRow("encrypted package") << Setup::Encrypted << plain;
    QTest::newRow("shell text and markup in the name") << Setup::Plain << "<b>a;reboot;.clu";
    QTest::newRow("a name beyond Latin-1") << Setup::Plain << QStringLiteral("RXU4200_\u20ac.clu");
    QTest::newRow("stale, linked and unnamable release files") << Setup::StaleReleases << plain;
    QTest::newRow("two packages: chosen, not confirmed") << Setup::TwoPackages << plain;
    QTest::newRow("two packages: \".CLU\" chosen") << Setup::TwoPackages << "RXU4200_V3.1.0.CLU";
}

void TestUsbRoads::upgrade()
{
    QFETCH(Setup, setup);
    QFETCH(QString, package);
    OsdWindow osd(withInactivityTimeout(databaseWithUsers(), QStringLiteral("5")));
    TestUnit& unit = osd.unit;
    const bool twoPackages = setup == Setup::TwoPackages;
    unit.sim().writeUsbPackage(package, setup == Setup::Encrypted ? encrypted() : SimPackage::receiver(QStringLiteral("V3.1.0")));
    if (twoPackages)
        unit.sim().writeUsbPackage(QStringLiteral("TXU4200_V2.9.0.clu"), SimPackage::receiver(QStringLiteral("V2.9.0")));
    const QByteArray perm = unit.readFile(QStringLiteral("/mnt/perm/VelmoDataA.xml"));
    if (setup == Setup::StaleReleases) {
        QVERIFY(unit.writeFile(QStringLiteral("/usr/local/DECODER_V1.0/kernel.img"), "old"));
        QVERIFY(unit.writeFile(QStringLiteral("/usr/local/DECODER_V2.0/kernel.img"), "old"));
        QVERIFY(QFile::link(unit.path(QStringLiteral("/mnt/perm")), unit.path(QStringLiteral("/usr/local/DECODER_V2.0/perm"))));
        QVERIFY(QFile::link(unit.path(QStringLiteral("/mnt/perm")), unit.path(QStringLiteral("/usr/local/xDECODER_V0"))));
        const QByteArray notText = QFile::encodeName(unit.path(QStringLiteral("/usr/local/DECODER_V1.0/"))) + "\xff\xfe.img";
        QVERIFY(::close(::open(notText.constData(), O_CREAT | O_WRONLY, 0644)) == 0);
    }
    // A simulated stick mounted with a FIFO on it must not hang.
    QVERIFY(::mkfifo(QFile::encodeName(unit.sim().usbStickPath() + QStringLiteral("/pipe")).constData(), 0644) == 0);
    unit.clearRecords();

    const int first = answeredBoxes().size();
    Qt::TextFormat confirmFormat = Qt::PlainText; // a name is never read as markup
    // The inactivity time-out is held off once the upgrade is confirmed, not before.
    const QTimer* poll = osd.window->findChild<QTimer*>(QStringLiteral("activityPollTimer"));
    bool pollingAtConfirm = twoPackages, pollingAtStart = true;
    if (twoPackages)
        answerNextBox(QStringLiteral("Available Upgrade Files"), QStringLiteral("Ok"));
    else
        actOnNextDialog(QStringLiteral("Confirm Upgrade"), [&](QDialog& box) {
            confirmFormat = static_cast<QMessageBox&>(box).textFormat();
            pollingAtConfirm = poll->isActive();
            answerNextBox(QStringLiteral("Confirm Upgrade"), QMessageBox::Yes);
        });
    actOnNextDialog(QStringLiteral("Upgrade in progress..."), [&](QDialog&) {
        pollingAtStart = poll->isActive();
        answerNextBox(QStringLiteral("Upgrade in progress..."), QMessageBox::Ok);
    });
    const ModalAnswerPtr done = answerNextBox(QStringLiteral("Information"), QMessageBox::Ok);
    child<QPushButton>(*osd.window, QStringLiteral("startupgradeButton"))->click();
    QVERIFY(waitForAnswer(done, 10000));
    QTRY_COMPARE(unit.reboots(), 1);
    QCOMPARE(confirmFormat, Qt::PlainText);
    QVERIFY(pollingAtConfirm && !pollingAtStart);

    const QString chosen = twoPackages ? QStringLiteral("Available Upgrade Files") : confirmBox(package);
    QCOMPARE(boxesSince(first),
        (QStringList { chosen, startBox,
            QStringLiteral("Information: Upgrade Complete. The system will now reboot.") }));

    const QString packagePath = QStringLiteral("/mnt/usb/") + package;
    QVERIFY(ran(unit, { packagePath, QStringLiteral("--lsm") }));
    QStringList extract { packagePath, QStringLiteral("--target"), newRelease + QLatin1Char('/') };
    if (setup == Setup::Encrypted)
        extract << QStringLiteral("--ssl-pass-src") << QStringLiteral("pass:sim-upgrade-pass");
    QVERIFY(ran(unit, extract));
    for (const char* led : { "start", "stop" })
        QVERIFY(ran(unit, { QStringLiteral("/opt/kestrix/flash_led.sh"), led }));
    QCOMPARE(upgradeState(unit).value(QStringLiteral("installedRelease")).toString(), newRelease);
    QVERIFY(!unit.sim().isUsbMounted());
    QVERIFY(!unit.exists(QStringLiteral("/usr/local/version.txt")));
    // Only the new release is left, and nothing outside it was touched.
    QCOMPARE(QDir(unit.path(QStringLiteral("/usr/local"))).entryList({ QStringLiteral("*DECODER*") }, QDir::AllEntries | QDir::System),
             QStringList { QStringLiteral("DECODER_V3.1.0") });
    QCOMPARE(unit.readFile(QStringLiteral("/mnt/perm/VelmoDataA.xml")), perm);
    if (setup == Setup::Encrypted)
        for (const SimLogLine& line : unit.logLines())
            QVERIFY2(!line.text.contains(QLatin1String("sim-upgrade-pass")), qPrintable(line.text));
}

void TestUsbRoads::upgradeFailure_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<int>("code"); // of the install service
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QJsonObject>("upgrade"); // how the simulated package tools behave

    const QString confirm = confirmBox(QStringLiteral("RXU4200_V3.1.0.clu"));
    const auto row = [](const char* name, Failure failure, const QStringList& boxes,
                         const QJsonObject& upgrade = {}, int code = 0) {
        QTest::newRow(name) << failure << code << boxes << upgrade;
    };
    const auto failed = [](const char* text) -> QString { return QStringLiteral("Upgrade failed: ") + QLatin1String(text); };
    const QString noFile = failed("Upgrade failed: Cannot find upgrade file.");
    const QString fileError = failed("Upgrade failed: Upgrade file error");
    // clang-format off
    row("no stick", Failure::NoStick, { failed("Upgrade failed. Error in checking USB memory device") });
    row("no package", Failure::NoPackage, { noFile });
    row("a folder named like a package", Failure::OnlyPackageIsFolder, { noFile });
    row("bad signature", Failure::BadSignature, { confirm, failed("Upgrade failed. Error 54.") }, { { "signatureValid", false } });
    row("same version", Failure::SameVersion, { confirm, failed("Warning: No upgrade required. Software version is already on appliance.") });
    row("wrong pass phrase", Failure::WrongPassPhrase, { confirm, fileError }, { { "packagePassPhrase", "another-phrase" } });
    row("map never printed", Failure::MapHangs, { confirm, failed("Upgrade failed: Cannot retrieve information from device.") }, { { "mapHangs", true } });
    row("extraction never ends", Failure::ExtractionNeverEnds, { confirm, fileError }, { { "extraction", "never" } });
    row("stale flag file", Failure::StaleFlagOnly, { confirm, fileError }, { { "extraction", "never" } });
    row("version names another folder", Failure::HostileVersion, { confirm, fileError });
    row("confirm no", Failure::ConfirmNo, { confirm });
    row("confirm closed by inactivity", Failure::ConfirmClosedByInactivity, {});
    row("final cancel", Failure::FinalCancel, { confirm, startBox });
    row("install: internal error", Failure::InstallFails, { confirm, startBox, failed("Upgrade failed: Internal Error, refer diagnostic! (ERR:19).") }, {}, 19);
    row("install: unknown error", Failure::InstallFails, { confirm, startBox, failed("Upgrade failed: Unknown error, refer diagnostic! (ERR:20).") }, {}, 20);
    row("install: negative code", Failure::InstallFails, { confirm, startBox, failed("Upgrade failed: Unknown error, refer diagnostic! (ERR:-1).") }, {}, -1);
    row("install: mount fails", Failure::InstallFails, { confirm, startBox, failed("Upgrade failed: Failed to mount device (ERR:3).") }, {}, 3);
    // clang-format on
}

void TestUsbRoads::upgradeFailure()
{
    QFETCH(Failure, failure);
    QFETCH(int, code);
    QFETCH(QStringList, boxes);
    QFETCH(QJsonObject, upgrade);
    OsdWindow osd(withInactivityTimeout(databaseWithUsers(), QStringLiteral("5")));
    TestUnit& unit = osd.unit;
    const QString version = failure == Failure::SameVersion ? QStringLiteral("V3.0.2") : QStringLiteral("V3.1.0");
    const QString name = QStringLiteral("RXU4200_%1.clu").arg(version);
    if (failure == Failure::SameVersion)
        boxes[0] = boxes[0].replace(QStringLiteral("V3.1.0"), version);
    if (failure == Failure::NoPackage)
        unit.sim().writeUsbFile(QStringLiteral("notes.txt"), "not a package");
    else if (failure == Failure::OnlyPackageIsFolder) {
        unit.sim().insertUsbStick();
        QVERIFY(QDir().mkpath(unit.sim().usbStickPath() + QStringLiteral("/RXU4200_V3.1.0.clu")));
    } else if (failure == Failure::HostileVersion) {
        SimPackage package = SimPackage::receiver(version);
        package.setValue(QStringLiteral("Software-Version"), QStringLiteral("../../mnt/perm"));
        unit.sim().writeUsbPackage(name, package);
    } else if (failure != Failure::NoStick)
        unit.sim().writeUsbPackage(name, failure == Failure::WrongPassPhrase ? encrypted() : SimPackage::receiver(version));
    if (failure == Failure::InstallFails)
        unit.sim().setFailure(QStringLiteral("su_upgrade_rx_unit"), code);
    unit.sim().editSection(QStringLiteral("upgrade"), [&](QJsonObject& section) {
        for (auto setting = upgrade.begin(); setting != upgrade.end(); ++setting)
            section.insert(setting.key(), setting.value());
    });
    // A flag left by an earlier extraction must not pass for the end of this one.
    if (failure == Failure::StaleFlagOnly)
        QVERIFY(unit.writeFile(QStringLiteral("/tmp/upgrade_complete"), ""));
    const QStringList perm = QDir(unit.path(QStringLiteral("/mnt/perm"))).entryList(QDir::Files);
    unit.clearRecords();

    const int first = answeredBoxes().size();
    const qint64 startedAt = unit.sim().nowMs();
    ModalAnswerPtr last;
    if (failure == Failure::ConfirmClosedByInactivity) {
        QTimer::singleShot(50, osd.window.get(), [&] { emit osd.window->closeActiveDialogs(); });
    } else {
        last = answerBoxes(boxes, { { "Confirm Upgrade", failure == Failure::ConfirmNo ? "No" : "Yes" },
                                      { "Upgrade in progress...", failure == Failure::InstallFails ? "OK" : "Cancel" } });
    }
    osd.window->on_startupgradeButton_clicked();
    if (last)
        QVERIFY(waitForAnswer(last, 10000));
    QCOMPARE(boxesSince(first), boxes);
    // The mount's 4 s, then the map run's 10 s limit ends the package that hangs.
    if (failure == Failure::MapHangs)
        QVERIFY(unit.sim().nowMs() - startedAt >= 14000 && unit.sim().nowMs() - startedAt < 15000);

    QVERIFY(!unit.sim().isUsbMounted());
    QCOMPARE(unit.reboots(), 0);
    QVERIFY(!upgradeState(unit).contains(QStringLiteral("installedRelease")));
    QCOMPARE(QDir(unit.path(QStringLiteral("/mnt/perm"))).entryList(QDir::Files), perm);
    // The time-out held off for the work runs again.
    QVERIFY(osd.window->findChild<QTimer*>(QStringLiteral("activityPollTimer"))->isActive());
    if (failure == Failure::InstallFails) {
        QCOMPARE(unit.sim().state().value(QStringLiteral("led")).toString(), QStringLiteral("off"));
        QVERIFY(unit.hasLog(3, "MainWindow: RX Upgrade failed. Error string: " + boxes.last().section(": ", 1) + '\n'));
        return;
    }
    QVERIFY(!ran(unit, { QStringLiteral("/opt/kestrix/flash_led.sh"), QStringLiteral("start") }));
    if (failure != Failure::FinalCancel && failure != Failure::ExtractionNeverEnds
        && failure != Failure::StaleFlagOnly)
        QVERIFY(!QFileInfo::exists(unit.path(newRelease + QStringLiteral("/kernel.img"))));
}

void TestUsbRoads::transmitterPackage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("refusal");

    // The record holds 63 characters and the terminating zero; "/mnt/usb/" takes 9.
    const QString fits = QStringLiteral("TXU4200_") + QString(42, QLatin1Char('x')) + QStringLiteral(".clu");
    const QString longName = QStringLiteral("TXU4200_") + QString(43, QLatin1Char('x')) + QStringLiteral(".clu");
    QTest::newRow("chosen") << "TXU4200_V1.2.clu" << "Ok" << "/mnt/usb/TXU4200_V1.2.clu" << "";
    QTest::newRow("longest that fits") << fits << "Ok" << QStringLiteral("/mnt/usb/") + fits << "";
    QTest::newRow("too long for the record") << longName << "Ok" << "" << "Upgrade failed: Cannot find upgrade file.";
    QTest::newRow("a name beyond Latin-1") << QStringLiteral("TXU4200_\u20ac.clu") << "Ok" << "" << "Upgrade failed: Cannot find upgrade file.";
    QTest::newRow("cancelled") << "TXU4200_V1.2.clu" << "Cancel" << "" << "";
}

void TestUsbRoads::transmitterPackage()
{
    QFETCH(QString, name);
    QFETCH(QString, button);
    QFETCH(QString, file);
    OsdWindow osd(databaseWithUsers());
    osd.unit.sim().writeUsbPackage(name, SimPackage::transmitter(QStringLiteral("V1.2")));
    QCOMPARE(osd.unit.sim().mountUsb(), 0);
    answerNextBox(QStringLiteral("Available Upgrade Files"), button);
    QTEST(answerAfter("Error", [&] { osd.window->txUpgrade(QStringLiteral("TXU-4200-SH")); }), "refusal");
    QCOMPARE(osd.window->txUpgradeFile(), file);
    QCOMPARE(osd.unit.sim().isUsbMounted(), !file.isEmpty());
}

void TestUsbRoads::diagnostics_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QByteArray>("onStick");
    QTest::addColumn<bool>("accepted"); // the dialog ends; else the user goes Back

    const QByteArray produced = "VELMO-DIAG-RX simulated receiver diagnostics\n";
    const QString saved = QStringLiteral("Information: Diagnostics file successfully saved on USB memory device.");
    const QString overwrite = QStringLiteral("Diagnostics File: Diagnostics file with same name already exist. Are you sure you want to overwrite the existing file?");
    const auto row = [](const char* name, const char* situation, const QStringList& boxes, const QByteArray& onStick, bool accepted) {
        QTest::newRow(name) << situation << boxes << onStick << accepted;
    };
    // clang-format off
    row("saved", "saved", { "Save As", saved }, produced, true);
    row("script fails", "script fails", { "Error: Error 3. Device diagnostics failed." }, {}, false);
    row("no stick", "no stick", { "Error: Export failed. USB memory device not found." }, {}, false);
    row("existing file kept", "existing file", { "Save As", overwrite, "Receiver Diagnostics: Receiver diagnostics file export canceled." }, "old diagnostics", false);
    row("existing link replaced", "existing link", { "Save As", overwrite, saved }, produced, true);
    row("copy fails part-way: the old file stays", "copy fails", { "Save As", overwrite, "Error: Diagnostics file export failed. Unknown error." }, "old diagnostics", true);
    row("export cancelled", "cancelled", { "Save As", "Receiver Diagnostics: Receiver diagnostics file export cancelled." }, {}, false);
    // clang-format on
}

void TestUsbRoads::diagnostics()
{
    QFETCH(QString, situation);
    QFETCH(QStringList, boxes);
    QFETCH(QByteArray, onStick);
    OsdWindow osd(databaseWithUsers());
    TestUnit& unit = osd.unit;
    const QString target = QStringLiteral("/mnt/usb/RX_Diagnostics.rxenc");
    if (situation != QLatin1String("no stick"))
        unit.sim().insertUsbStick();
    if (situation == QLatin1String("script fails"))
        unit.sim().setFailure(QStringLiteral("/opt/kestrix/diagnostics.sh"), 3);
    if (situation == QLatin1String("existing file") || situation == QLatin1String("copy fails"))
        unit.sim().writeUsbFile(QStringLiteral("RX_Diagnostics.rxenc"), "old diagnostics");
    if (situation == QLatin1String("copy fails"))
        unit.sim().editSection(QStringLiteral("cp"), [](QJsonObject& cp) { cp.insert(QStringLiteral("failAfterBytes"), 5); });
    if (situation == QLatin1String("existing link")) {
        QVERIFY(unit.writeFile(QStringLiteral("/mnt/perm/keep.txt"), "keep"));
        // A stick's link is put in place while the user picks the name.
        actOnNextDialog(QStringLiteral("Save As"), [&](QDialog&) {
            QFile::link(unit.path(QStringLiteral("/mnt/perm/keep.txt")), unit.path(target));
            answerNextBox(QStringLiteral("Save As"), QStringLiteral("Ok"));
        });
    }
    unit.clearRecords();

    answerNextBox(QStringLiteral("Diagnostics"), QStringLiteral("Run"));
    const ModalAnswerPtr last = answerBoxes(situation == QLatin1String("existing link") ? boxes.mid(1) : boxes,
        { { "Save As", situation == QLatin1String("cancelled") ? "Cancel" : "Ok" },
            { "Diagnostics File", situation == QLatin1String("existing file") ? "No" : "Yes" } });
    // Where the road stops without ending the dialog, the user goes Back.
    QTimer back;
    QObject::connect(&back, &QTimer::timeout, [&] {
        if (!last->answered)
            return;
        back.stop();
        if (QApplication::activeModalWidget() && QApplication::activeModalWidget()->windowTitle() == QLatin1String("Diagnostics"))
            answerNextBox(QStringLiteral("Diagnostics"), QStringLiteral("Back"));
    });
    back.start(20);
    const int first = answeredBoxes().size();
    child<QPushButton>(*osd.window, QStringLiteral("diagnosticsButton"))->click();
    QVERIFY(waitForAnswer(last, 10000));
    QCOMPARE(boxesSince(first + 1).mid(0, boxes.size()), boxes);
    QTEST(unit.hasLog(5, QStringLiteral("debugDialog: Accept Diagnostics Dialog.\n")), "accepted");

    QVERIFY(unit.hasLog(5, QStringLiteral("MainWindow: Action Open Diagnostics Dialog.\n")));
    QVERIFY(!unit.sim().isUsbMounted());
    QFile saved(unit.sim().usbStickPath() + QStringLiteral("/RX_Diagnostics.rxenc"));
    QCOMPARE(saved.exists(), !onStick.isEmpty());
    QCOMPARE(saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray(), onStick);
    if (situation == QLatin1String("existing link"))
        QCOMPARE(unit.readFile(QStringLiteral("/mnt/perm/keep.txt")), QByteArray("keep"));
    // Local results stay only for a later try when the stick was missing.
    QCOMPARE(unit.exists(QStringLiteral("/usr/local/diagnosticsRX.enc")), situation == QLatin1String("no stick"));
    if (situation != QLatin1String("no stick"))
        QVERIFY(ran(unit, { QStringLiteral("/bin/rm"), QStringLiteral("-r"), QStringLiteral("/usr/local/diagnosticsRX.enc") })
                || situation == QLatin1String("script fails"));
}

void TestUsbRoads::lateResult_data()
{
    QTest::addColumn<QString>("held"); // the work whose result comes late, if any
    QTest::addColumn<QString>("waitingIn"); // the dialog up when the time runs out; none: the user goes Back
    QTest::newRow("diagnostics after Back") << "diagnostics.sh" << "";
    QTest::newRow("diagnostics after a log-off") << "diagnostics.sh" << "Diagnostics Progress";
    QTest::newRow("diagnostics ending after the next log-on") << "diagnostics.sh later" << "Diagnostics Progress";
    QTest::newRow("diagnostics' Save As closed by a log-off") << "" << "Save As";
    QTest::newRow("installation after a log-off") << "su_upgrade_rx_unit" << "RX Upgrade";
}

// A result that comes late finds no dialog: nothing is asked, saved or
// rebooted; after a log-off the diagnostics' local file goes too.
void TestUsbRoads::lateResult()
{
    QFETCH(QString, held);
    QFETCH(QString, waitingIn);
    const bool later = held.endsWith(QLatin1String(" later")); // released once the next user is on
    held.remove(QLatin1String(" later"));
    OsdWindow osd(databaseWithUsers());
    TestUnit& unit = osd.unit;
    const bool install = held.startsWith(QLatin1String("su_"));
    const bool loggedOff = !waitingIn.isEmpty();
    const QString local = QStringLiteral("/usr/local/diagnosticsRX.enc");
    if (install)
        unit.sim().writeUsbPackage(QStringLiteral("RXU4200_V3.1.0.clu"), SimPackage::receiver(QStringLiteral("V3.1.0")));
    else
        unit.sim().insertUsbStick();
    QVERIFY(held.isEmpty() || unit.writeFile(QStringLiteral("/sim/hold/") + held, ""));
    const auto release = [&] { QFile::remove(unit.path(QStringLiteral("/sim/hold/") + held)); };
    const auto timeOut = [&] { QMetaObject::invokeMethod(osd.window.get(), "guiTimerTimeout"); };
    // What a result that went on would ask.
    QList<ModalAnswerPtr> asked;
    for (const QString title : { "Save As", "Information", "Receiver Diagnostics" })
        if (title != waitingIn)
            asked << answerNextBox(title, QStringLiteral("OK"));
    QString onTop; // what the user sees while the log-on waits
    const auto logon = answerNextLogon(QStringLiteral("plain"), QStringLiteral("pw"), [&](QDialog& dialog) {
        if (later)
            return (void)(onTop = dialog.objectName());
        release();
        const QStringList ending = install ? QStringList { QStringLiteral("/opt/kestrix/flash_led.sh"), QStringLiteral("stop") }
                                           : QStringList { QStringLiteral("/bin/rm"), QStringLiteral("-r"), local };
        QTRY_VERIFY(held.isEmpty() || ran(unit, ending) || QApplication::activeModalWidget() != &dialog);
        QTest::qWait(20);
        onTop = QApplication::activeModalWidget()->objectName();
    });
    if (install) {
        answerNextBox(QStringLiteral("Confirm Upgrade"), QMessageBox::Yes);
        answerNextBox(QStringLiteral("Upgrade in progress..."), QMessageBox::Ok);
        osd.window->on_startupgradeButton_clicked();
        timeOut();
    } else {
        answerNextBox(QStringLiteral("Diagnostics"), QStringLiteral("Run"));
        if (loggedOff)
            actOnNextDialog(waitingIn, [&](QDialog&) { timeOut(); });
        else
            answerNextBox(QStringLiteral("Diagnostics"), QStringLiteral("Back"));
        osd.window->on_diagnosticsButton_clicked();
    }
    if (!loggedOff || later) {
        release();
        QTRY_VERIFY(later ? ran(unit, { QStringLiteral("/bin/rm"), QStringLiteral("-r"), local }) : unit.exists(local));
        QTest::qWait(100);
        QVERIFY(!QApplication::activeModalWidget());
    }
    QCOMPARE(onTop, loggedOff ? QStringLiteral("LoginDialog") : QString());
    for (const ModalAnswerPtr& box : asked)
        QVERIFY2(!box->answered, qPrintable(box->title));
    QCOMPARE(unit.exists(local), !loggedOff && !install);
    QCOMPARE(unit.reboots(), 0);
    QVERIFY(!unit.sim().isUsbMounted());
}

void TestUsbRoads::diagnosticsProgressCycles()
{
    OsdWindow osd(databaseWithUsers());
    QVERIFY(osd.unit.writeFile(QStringLiteral("/sim/hold/diagnostics.sh"), ""));
    debugDialog dialog(osd.window->context(), QStringLiteral("Diagnostics"));
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("buttonRunDebug"))->click();
    auto* progress = dialog.findChild<QProgressDialog*>();
    QVERIFY(progress);
    QCOMPARE(progress->windowTitle(), QStringLiteral("Diagnostics Progress"));
    QList<int> values;
    for (int second = 0; second < 120; ++second) {
        dialog.progress_timer_ovf();
        values << progress->value();
    }
    // It climbs a step a second and then cycles below 99 until the job ends.
    QCOMPARE(values.mid(0, 3), (QList<int> { 1, 2, 3 }));
    QCOMPARE(*std::max_element(values.begin(), values.end()), 98);
    QCOMPARE(values.mid(97, 3), (QList<int> { 98, 90, 91 }));
    QTest::keyClick(progress, Qt::Key_Escape);
    QCloseEvent request;
    QCoreApplication::sendEvent(progress->windowHandle(), &request);
    QVERIFY(progress->isVisible());

    const ModalAnswerPtr noStick = answerNextBox(QStringLiteral("Error"), QMessageBox::Ok);
    QFile::remove(osd.unit.root() + QStringLiteral("/sim/hold/diagnostics.sh"));
    QVERIFY(waitForAnswer(noStick));
    QCOMPARE(noStick->text, QStringLiteral("Export failed. USB memory device not found."));
    QVERIFY(!dialog.findChild<QProgressDialog*>());
}

VELMO_TEST_MAIN(TestUsbRoads)
#include "test_usbroads.moc"
