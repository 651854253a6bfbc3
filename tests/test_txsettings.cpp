// The transmitter settings dialog on a simulated unit whose transmitter lives
// at 192.168.1.22 and whose receiver is 192.168.1.21.
#include "app/mainwindow.h"
#include "database.h"
#include "logon.h"
#include "modal.h"
#include "simpackage.h"
#include "testmain.h"
#include "testunit.h"
#include "transmitter/txpreferences.h"
#include "rules/txrecord.h"
#include "transmitter/txsettings.h"
#include "rules/txvalidation.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QtTest>

#include <thread>

namespace {

const QString factoryTx = QStringLiteral("192.168.1.22");
const QStringList operationButtons { "txInfoButton", "txUpgradeButton", "txRestoreButton", "txRebootButton",
    "txApplyButton", "txButtonPreferences", "networkButtonTX", "txDiagnosticsButton", "DiscoverTxIPButton" };

struct TxDialog {
    explicit TxDialog(const QString& role = QStringLiteral("Administrator"), bool managed = false)
        : osd(databaseWithUsers(), 1, managed)
        , dialog(new TXSettings(managed, osd.window->context(), osd.window->usbUpgrade(), role))
    {
        QObject::connect(dialog.get(), &TXSettings::message_request, osd.window.get(), &MainWindow::showMessage);
        dialog->show();
    }
    template <typename T = QAbstractButton> T* child(const QString& name) { return dialog->findChild<T*>(name); }
    // Answers `boxes` ("Title: text|Title"), OK where `buttons` names no other.
    void expect(const QString& boxes, const QMap<QString, QString>& buttons = {})
    {
        answerBoxes(boxes.split('|', Qt::SkipEmptyParts), buttons);
    }
    QString seen() const { return boxesSince(first).join('|'); }
    void click(const QString& name) { child(name)->click(); }
    bool run(const QString& name) { return click(name), settle(); }
    // Waits on the operations themselves, however long the unit's clock says they take.
    bool settle(int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        while (dialog->isWorking() && !deadline.hasExpired())
            QTest::qWait(5);
        QTest::qWait(10);
        return !dialog->isWorking();
    }
    bool connectTo(const QString& address = factoryTx)
    {
        child<QLineEdit>("lineEditTxIP")->setText(address);
        return run("connectToTXButton");
    }
    bool connectAndRun(const QString& name) { return connectTo() && run(name); }
    // "+name" or "-name" for each name of `marked`, as it is now.
    QString enabled(const QString& marked)
    {
        QStringList states = marked.split(' ').replaceInStrings(QRegularExpression("^[+-]"), "");
        for (QString& name : states)
            name.prepend(child<QWidget>(name)->isEnabled() ? "+" : "-");
        return states.join(' ');
    }
    QJsonObject tx(const QString& address = factoryTx)
    {
        return osd.unit.sim().state().value("transmitters").toObject().value(address).toObject();
    }
    void editTx(const std::function<void(QJsonObject&)>& edit, const QString& address = factoryTx)
    {
        osd.unit.sim().editSection("transmitters", [&](QJsonObject& all) {
            QJsonObject one = all.value(address).toObject();
            edit(one);
            all.insert(address, one);
        });
    }
    void editPrefs(const QJsonObject& changes)
    {
        editTx([&](QJsonObject& one) {
            QJsonObject prefs = one.value("prefs").toObject();
            for (auto it = changes.begin(); it != changes.end(); ++it)
                prefs.insert(it.key(), it.value());
            one.insert("prefs", prefs);
        });
    }
    void timeOut() { QMetaObject::invokeMethod(osd.window.get(), "guiTimerTimeout"); } // as after inactivity
    // A held work function runs until its gate goes.
    bool hold(const QString& function) { return osd.unit.writeFile("/sim/hold/" + function, ""); }
    QStringList entries(const QString& combo)
    {
        QStringList texts;
        auto* box = child<QComboBox>(combo);
        auto* model = qobject_cast<QStandardItemModel*>(box->model());
        for (int i = 0; i < box->count(); ++i)
            texts << QString(i == box->currentIndex() ? "*" : "") + (model->item(i)->isEnabled() ? "" : "!") + box->itemText(i);
        return texts;
    }

    OsdWindow osd;
    const int first = answeredBoxes().size();
    std::unique_ptr<TXSettings> dialog;
};

} // namespace

class TestTxSettings : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void connect_data();
    void connect();
    void openedFromControlTab();
    void operation_data();
    void operation();
    void networkValidation_data();
    void networkValidation();
    void networkApply_data();
    void networkApply();
    void restoreReconnectsWhileConnectIsSlow();
    void discover_data();
    void discover();
    void whileWorking_data();
    void whileWorking();
    void upgrade_data();
    void upgrade();
    void diagnostics_data();
    void diagnostics();
    void preferences_data();
    void preferences();
    void saveRoundTrip_data();
    void saveRoundTrip();
};

void TestTxSettings::connect_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("state"); // "safe", "fails" or ""
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("buttons");

    const QString all = "+" + operationButtons.join(" +");
    const QString refused = QString(all).replace('+', '-').replace("-Discover", "+Discover");
    const QString admin = "Administrator";
    QTest::newRow("connected") << admin << false << factoryTx << "" << "" << all;
    QTest::newRow("blanks around the address") << admin << false << " 192.168.1.22 " << "" << "" << all;
    QTest::newRow("own address") << admin << false << "192.168.1.21" << ""
                                 << "Transmitter IP Validation: IP address entered is already in use by this Receiver."
                                 << refused;
    QTest::newRow("short form") << admin << false << "10.1" << ""
                                << "Transmitter IP Validation: Transmitter IP Address is not valid." << refused;
    QTest::newRow("unreachable") << admin << false << "192.168.1.99" << ""
                                 << "Error: Can not connect to Transmitter" << refused;
    QTest::newRow("device information fails") << admin << false << factoryTx << "fails"
                                              << "Error: Unable to connect with Transmitter. Error 1." << refused;
    QTest::newRow("safe mode") << admin << false << factoryTx << "safe" << ""
                               << "+txInfoButton +txUpgradeButton +txRestoreButton +txRebootButton +txApplyButton "
                                  "-txButtonPreferences -networkButtonTX +txDiagnosticsButton +DiscoverTxIPButton";
    QTest::newRow("managed") << admin << true << factoryTx << "" << ""
                             << "-txInfoButton -txUpgradeButton +txRestoreButton -txRebootButton -txApplyButton "
                                "+txButtonPreferences -networkButtonTX +txDiagnosticsButton -DiscoverTxIPButton";
    QTest::newRow("managed, safe mode") << admin << true << factoryTx << "safe" << ""
                                        << "+txRestoreButton -txButtonPreferences +txDiagnosticsButton";
    QTest::newRow("power user") << "Power User" << false << factoryTx << "" << "" << all;
}

void TestTxSettings::connect()
{
    QFETCH(QString, role);
    QFETCH(bool, managed);
    QFETCH(QString, address);
    QFETCH(QString, state);
    QFETCH(QString, box);
    QFETCH(QString, buttons);
    TxDialog tx(role, managed);
    tx.expect(box);
    if (state == "safe")
        tx.editTx([](QJsonObject& one) { one.insert("safeMode", true); });
    if (state == "fails")
        tx.osd.unit.sim().setFailure("su_get_tx_device_info", 1);
    QVERIFY(tx.connectTo(address));
    QCOMPARE(tx.seen(), box);
    QCOMPARE(tx.enabled(buttons), buttons);
    const bool identityRead = box.isEmpty() && state.isEmpty() && !managed;
    QCOMPARE(tx.dialog->identity().mpn, identityRead ? QStringLiteral("TXU-4200-SH") : QString());

    // A power user reaches connect, information and reboot only.
    QStringList shown;
    for (const QString& name : operationButtons)
        if (!tx.child(name)->isHidden())
            shown << name;
    QCOMPARE(shown.join(' '), role == "Power User" ? "txInfoButton txRebootButton txApplyButton"
                                                   : operationButtons.join(' '));

    // Any typing takes the connection back until the next connect.
    QTest::keyClick(tx.child<QLineEdit>("lineEditTxIP"), Qt::Key_Backspace);
    QVERIFY(!tx.enabled(operationButtons.mid(0, 8).join(' ')).contains('+'));
}

void TestTxSettings::openedFromControlTab()
{
    OsdWindow osd(databaseWithUsers());
    Qt::TextFormat format = Qt::AutoText;
    const auto open = [&] { child<QAbstractButton>(*osd.window, "transmitterButton")->click(); };
    QVERIFY(actOnDialogOf(open, "Transmitter Settings", [&](QDialog& dialog) {
        QVERIFY(dialog.findChild<QWidget*>("titleHeader")->isVisible());
        // What the transmitter answers is shown as it is, never as markup.
        actOnNextDialog("Discover", [&](QDialog& box) { format = static_cast<QMessageBox&>(box).textFormat(); box.reject(); });
        emit static_cast<TXSettings&>(dialog).message_request("Discover", "<b>255.255.0.0</b>");
        dialog.reject();
    }));
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(osd.unit.hasLog(5, "MainWindow: Action Open Transmitter Dialog.\n"));
}

void TestTxSettings::operation_data()
{
    QTest::addColumn<QString>("mac"); // of the transmitter, whose multicast port is 7001
    QTest::addColumn<QString>("multicast"); // the address read
    QTest::addColumn<QString>("failing"); // the service that fails once connected
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");

    const QString mac = "00:1B:7C:42:00:22";
    const QString about = "Transmitter Information: The appliance with IP Address 192.168.1.22 is reachable."
                          "\nMPN: TXU-4200-SH\nSerial Number: TX42A005678\nMAC: %1\n"
                          "Software Version: V3.0.2\nMulticast Address: %2\nMulticast Port: %3.";
    // clang-format off
    QTest::newRow("information") << mac << "239.1.1.22" << "" << "txInfoButton" << about.arg(mac, "239.1.1.22", "7001");
    QTest::newRow("information without MAC: the default pair, MAC left empty") << "" << "239.1.1.1" << "" << "txInfoButton" << about.arg("", "239.1.1.1", "6003");
    QTest::newRow("network read fails") << mac << "239.1.1.22" << "su_get_tx_network_settings" << "networkButtonTX" << "Error: Unable to connect with Transmitter. Error 1.";
    QTest::newRow("reboot fails") << mac << "239.1.1.22" << "su_reboot_tx_unit" << "txRebootButton" << "Transmitter Reboot: Transmitter will reboot now.|Error: Unable to connect with Transmitter. Error 1.";
    QTest::newRow("preferences read fails") << mac << "239.1.1.22" << "su_get_tx_preferences" << "txButtonPreferences" << "Error: An error occurred when getting the EDID option.";
    // clang-format on
}

void TestTxSettings::operation()
{
    QFETCH(QString, mac);
    QFETCH(QString, failing);
    QFETCH(QString, button);
    QFETCH(QString, box);
    TxDialog tx;
    tx.editTx([&](QJsonObject& one) { one.insert("mac", mac), one.insert("mcastPort", "7001"); });
    tx.expect(box);
    QVERIFY(tx.connectTo());
    if (!failing.isEmpty())
        tx.osd.unit.sim().setFailure(failing, failing == "su_get_tx_preferences" ? 35 : 1);
    QVERIFY(tx.run(button));
    QCOMPARE(tx.seen(), box);
    QCOMPARE(tx.dialog->identity().mac, mac);
    QTEST(tx.dialog->identity().mcastAddr, "multicast");
    // The page stays on the connection, not on the one that failed to fill.
    QCOMPARE(tx.child<QStackedWidget>("stackedWidget")->currentIndex(), 1);
    QVERIFY(failing.isEmpty() || tx.osd.unit.debugLines().contains("cfg_data->tx_settings.ip: 192.168.1.22"));
}

void TestTxSettings::networkValidation_data()
{
    QTest::addColumn<QStringList>("entries"); // address, mask, gateway
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<int>("focus");

    const auto row = [](const char* name, QStringList entries, const char* refusal, NetworkField focus) {
        QTest::newRow(name) << entries << refusal << int(focus);
    };
    // clang-format off
    row("no address", { "", "255.255.255.0", "192.168.1.1" }, "Information: IP address field is mandatory.", NetworkField::Address);
    row("no mask", { "192.168.1.30", "", "192.168.1.1" }, "Information: Network mask field is mandatory.", NetworkField::Mask);
    row("no gateway", { "192.168.1.30", "255.255.255.0", "" }, "Information: Default gateway field is mandatory.", NetworkField::Gateway);
    row("address not four parts", { "192.168.1", "255.255.255.0", "192.168.1.1" }, "Transmitter IP Validation: New IP Address is not valid.", NetworkField::Address);
    row("zero mask", { "192.168.1.30", "0.0.0.0", "192.168.1.1" }, "Network Mask Validation: Network Mask is out of valid range. Reset default subnet mask.", NetworkField::Mask);
    row("mask with a hole", { "192.168.1.30", "255.0.255.0", "192.168.1.1" }, "Transmitter Mask Validation: New Network Mask is not valid.", NetworkField::Mask);
    row("gateway is the address", { "192.168.1.30", "255.255.255.0", "192.168.1.30" }, "Default Gateway Validation: Apliance IP address and Gateway IP address cannot be the same.", NetworkField::Gateway);
    row("gateway not an address", { "192.168.1.30", "255.255.255.0", "192.168.1.256" }, "Transmitter Gateway Validation: New Gateway is not valid.", NetworkField::Gateway);
    row("receiver's address", { "192.168.1.21", "255.255.255.0", "192.168.1.1" }, "Information: IP address entered is already in use by this Receiver", NetworkField::Address);
    row("part of the receiver's address is another one", { "192.168.1.2", "255.255.255.0", "192.168.1.1" }, "", NetworkField::None);
    row("blanks are dropped", { " 192.168.1.30", "255.255.255.0 ", "192.168. 1.1" }, "", NetworkField::None);
    // clang-format on
}

void TestTxSettings::networkValidation()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, refusal);
    TxNetworkEntries typed { entries.at(0), entries.at(1), entries.at(2) };
    const NetworkRefusal result = checkTxNetworkEntries(typed, "192.168.1.21");
    QCOMPARE(result.refused() ? result.title + ": " + result.text : QString(), refusal);
    QTEST(int(result.focus), "focus");
    QCOMPARE(result.resetMask, refusal.contains("Reset default subnet mask"));
    if (!result.refused())
        QVERIFY(!typed.address.contains(' ') && !typed.gateway.contains(' '));
}

void TestTxSettings::networkApply_data()
{
    QTest::addColumn<QStringList>("entries"); // address, mask, gateway as typed
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("maskAfter");
    const QString moved = "Transmitter Restore: TransmitternNetwork settings changed successfully. Transmitter is now rebooting.";
    // clang-format off
    QTest::newRow("moved") << QStringList { "192.168.1.40", "255.255.255.0", "192.168.1.1" } << moved << "255.255.255.0";
    QTest::newRow("zero mask: reset, nothing sent") << QStringList { "192.168.1.40", "0.0.0.0", "192.168.1.1" } << "Network Mask Validation: Network Mask is out of valid range. Reset default subnet mask." << "255.255.255.0";
    QTest::newRow("gateway outside the network: nothing sent") << QStringList { "192.168.1.40", "255.255.255.0", "10.0.0.1" } << "Error: The New Default Gateway Address is not in the same subnet as the New Device IP Address." << "255.255.255.0";
    // clang-format on
}

void TestTxSettings::networkApply()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, box);
    TxDialog tx;
    tx.expect(box);
    QVERIFY(tx.connectTo());
    tx.click("networkButtonTX");
    QCOMPARE(tx.child<QStackedWidget>("stackedWidget")->currentIndex(), 0);
    QCOMPARE(tx.child<QLineEdit>("txGateLineEdit")->text(), QStringLiteral("192.168.1.1"));
    QVERIFY(!tx.child<QWidget>("lineEditTxIP")->isEnabled());
    for (const char* field : { "txIPLineEdit", "txMaskLineEdit", "txGateLineEdit" })
        tx.child<QLineEdit>(field)->setText(entries.takeFirst());
    QVERIFY(tx.run("txApplyButton"));
    QCOMPARE(tx.seen(), box);
    QTEST(tx.child<QLineEdit>("txMaskLineEdit")->text(), "maskAfter");
    const bool moved = box.startsWith("Transmitter Restore");
    QCOMPARE(tx.tx("192.168.1.40").value("reboots").toInt(), moved ? 1 : 0);
    QCOMPARE(tx.child<QLineEdit>("lineEditTxIP")->text(), moved ? QStringLiteral("192.168.1.40") : factoryTx);
    QCOMPARE(tx.dialog->isVisible(), !moved);
}

void TestTxSettings::restoreReconnectsWhileConnectIsSlow()
{
    TxDialog tx;
    const QString restored = "Transmitter Restore: Transmitter Restored successfully. Transmitter Rebooting.";
    tx.expect(restored);
    tx.editTx([](QJsonObject& one) { one.insert("mask", "255.255.0.0"); });
    QVERIFY(tx.connectTo());
    QVERIFY(tx.hold("su_get_tx_device_info"));
    tx.click("txRestoreButton");
    QTRY_COMPARE(tx.seen(), restored);
    // The restore's own tear-down arrives now; the reconnect it started must outlive it.
    QTest::qWait(50);
    QVERIFY(tx.dialog->isWorking());
    QCOMPARE(tx.dialog->findChildren<QProgressDialog*>().size(), 1);
    QVERIFY(tx.dialog->findChild<QProgressDialog*>()->isVisible());
    QCOMPARE(tx.child<QLineEdit>("lineEditTxIP")->text(), factoryTx);
    QCOMPARE(tx.tx().value("mask").toString(), QStringLiteral("255.255.255.0"));
    QFile::remove(tx.osd.unit.path("/sim/hold/su_get_tx_device_info"));
    QVERIFY(tx.settle());
    QCOMPARE(tx.dialog->identity().serial, QStringLiteral("TX42A005678"));
    QVERIFY(!tx.dialog->findChild<QProgressDialog*>());
}

void TestTxSettings::discover_data()
{
    QTest::addColumn<QString>("net");
    QTest::addColumn<QString>("answer"); // the button of the two "Discover" boxes
    QTest::addColumn<QString>("box");

    const QString found = "Discover: Transmitter IP address: 192.168.1.22 discovered.";
    QTest::newRow("with network") << "255.255.0.0\nBcast:192.168.255.255\ndefault 192.168.1.1" << "Next >>"
                                  << found + "\nTransmitter Network Mask: 255.255.0.0\nTransmitter Gateway: 192.168.1.1";
    QTest::newRow("short answer") << "255.255.0.0" << "Next >>" << found;
    QTest::newRow("cancelled") << "NULL" << "Cancel" << "";
}

void TestTxSettings::discover()
{
    QFETCH(QString, net);
    QFETCH(QString, answer);
    QFETCH(QString, box);
    TxDialog tx;
    tx.osd.unit.sim().editSection("discovery", [&](QJsonObject& discovery) { discovery.insert("net", net); });
    // Two instructions, then what was found.
    const int instructions = answer == "Cancel" ? 1 : 2;
    for (int i = 0; i < instructions; ++i)
        answerNextBox("Discover", answer);
    tx.expect(box);
    tx.child<QLineEdit>("lineEditTxIP")->setText("10.0.0.1");
    QVERIFY(tx.run("DiscoverTxIPButton"));
    QCOMPARE(boxesSince(tx.first).mid(instructions).join('|'), box);
    // A found transmitter is connected to at once.
    QCOMPARE(tx.dialog->identity().mpn, box.isEmpty() ? QString() : QStringLiteral("TXU-4200-SH"));
    QCOMPARE(tx.child<QLineEdit>("lineEditTxIP")->text(), box.isEmpty() ? QString() : factoryTx);
}

void TestTxSettings::whileWorking_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("function"); // held while the progress is looked at
    QTest::addColumn<QString>("progress"); // title / text / tick in ms
    QTest::addColumn<QString>("then"); // "ends", "second" (operation started), "closed", "time-out" [in a box]
    QTest::addColumn<QString>("box");

    const QString restored = "Transmitter Restore: Transmitter Restored successfully. Transmitter Rebooting.";
    // clang-format off
    QTest::newRow("information, then a time-out") << "txInfoButton" << "su_get_tx_device_info" << "Transmitter Information / Please wait... / 200" << "time-out" << "";
    QTest::newRow("restore") << "txRestoreButton" << "su_restore_tx_unit" << "Transmitter Restore / Restoring Transmitter Appliance. Please wait... / 120" << "ends" << restored;
    QTest::newRow("reboot, then a second operation") << "txRebootButton" << "su_reboot_tx_unit" << "Transmitter Reboot / Appliance reboot in progress. Please wait... / 460" << "second" << "Transmitter Reboot: Transmitter will reboot now.|" + restored;
    QTest::newRow("reboot, closed meanwhile") << "txRebootButton" << "su_reboot_tx_unit" << "Transmitter Reboot / Appliance reboot in progress. Please wait... / 460" << "closed" << "Transmitter Reboot: Transmitter will reboot now.";
    QTest::newRow("upgrade, closed meanwhile") << "txUpgradeButton" << "su_upgrade_tx_unit" << "Transmitter Upgrade / Please wait while Transmitter upgrading... / 700" << "closed" << "Available Upgrade Files";
    QTest::newRow("preferences") << "txButtonPreferences" << "su_get_tx_preferences" << "Transmitter Preferences / Please wait... / 110" << "ends" << "";
    QTest::newRow("diagnostics, then a time-out") << "txDiagnosticsButton" << "su_run_tx_diagnostics" << "Diagnostics Progress / Transmitter diagnostics is in progress. Please wait... / 300" << "time-out" << "";
    QTest::newRow("reboot notice, then a time-out") << "txRebootButton" << "" << "" << "time-out in Transmitter Reboot" << "";
    QTest::newRow("package verification, then a time-out") << "txUpgradeButton" << "validate_upgrade_package.sh" << "" << "time-out in Transmitter Upgrade" << "Available Upgrade Files";
    // clang-format on
}

// The bar creeps to 98 % and stays up, whatever Escape or a close request
// ask, until the work ends. A second operation waits for the first, whose
// result is stale by then; a dialog closed meanwhile waits for its work. After
// an inactivity log-off nothing of the dialog shows or acts: a later result is
// dropped with its local file.
void TestTxSettings::whileWorking()
{
    QFETCH(QString, button);
    QFETCH(QString, function);
    QFETCH(QString, then);
    QFETCH(QString, box);
    TxDialog tx;
    tx.osd.unit.sim().writeUsbPackage("TXU4200_V3.1.0.clu", SimPackage::transmitter("V3.1.0"));
    QVERIFY(tx.connectTo());
    tx.expect(box, { { "Available Upgrade Files", "Ok" } });
    const QString waitingIn = then.section(" in ", 1); // the box the time runs out in
    const auto release = [gate = tx.osd.unit.path("/sim/hold/" + function)] { QFile::remove(gate); };
    QString onTop; // what the user sees while the log-on waits
    const auto logon = answerNextLogon("plain", "pw", [&](QDialog&) {
        release();
        QTRY_VERIFY(!tx.dialog->isWorking());
        onTop = QApplication::activeModalWidget()->objectName();
    });
    if (!waitingIn.isEmpty())
        actOnNextDialog(waitingIn, [&](QDialog&) { tx.timeOut(); });
    if (!function.isEmpty())
        QVERIFY(tx.hold(function));
    tx.click(button);
    if (auto* shown = tx.dialog->findChild<QProgressDialog*>()) {
        int tick = 0;
        for (QTimer* timer : tx.dialog->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
            tick = timer->isActive() ? timer->interval() : tick;
        QTEST(QString(shown->windowTitle() + " / " + shown->labelText() + " / " + QString::number(tick)),
            "progress");
        for (int i = 0; i < 120; ++i)
            tx.dialog->updateProgBar();
        QCOMPARE(shown->value(), 98);
        QTest::keyClick(shown, Qt::Key_Escape);
        QCloseEvent request;
        QCoreApplication::sendEvent(shown->windowHandle(), &request);
        QVERIFY(shown->isVisible());
    }
    QCOMPARE(tx.dialog->isWorking(), !function.isEmpty() && waitingIn.isEmpty());
    if (then == "second") {
        std::thread later([&] { QThread::msleep(150), release(); });
        tx.dialog->on_txRestoreButton_clicked();
        later.join();
    }
    if (then == "closed") {
        tx.osd.window->closeActiveDialogs();
        QVERIFY(!tx.dialog->isVisible());
        // Let go from another thread, while the GUI thread waits on the work.
        std::thread later([&] { QThread::msleep(150), release(); });
        tx.dialog.reset(); // the record goes with the dialog
        later.join();
    }
    if (then == "time-out")
        tx.timeOut();
    release();
    QVERIFY(!tx.dialog || tx.settle());
    QCOMPARE(tx.seen(), box);
    QCOMPARE(onTop, then.startsWith("time-out") ? "LoginDialog" : QString());
    QCOMPARE(tx.tx().value("reboots").toInt(), int(then == "second" || then == "closed"));
    QVERIFY(!tx.osd.unit.exists("/usr/local/diagnosticsTX.enc"));
    QVERIFY(!tx.osd.unit.sim().isUsbMounted());
}

void TestTxSettings::upgrade_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("situation"); // of each upgrade in turn, "|" between; the later ones offer V3.2.0
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("version");

    const QString upgraded = "Available Upgrade Files|Transmitter Upgrade: Transmitter Upgrade was successful.";
    const QString unsigned_ = "Available Upgrade Files|Upgrade failed: Upgrade failed: The upgrade file signature could not be verified.";
    // clang-format off
    QTest::newRow("upgraded") << "TXU4200_V3.1.0.clu" << "" << upgraded << "V3.1.0";
    QTest::newRow("unsigned") << "TXU4200_V3.1.0.clu" << "unsigned" << unsigned_ << "V3.0.2";
    QTest::newRow("signed, then unsigned") << "TXU4200_V3.1.0.clu" << "|unsigned" << upgraded + "|" + unsigned_ << "V3.1.0";
    QTest::newRow("unsigned, then signed") << "TXU4200_V3.1.0.clu" << "unsigned|" << unsigned_ + "|" + upgraded << "V3.2.0";
    QTest::newRow("receiver package") << "TXU4200_V3.1.0.clu" << "receiver" << "Available Upgrade Files|Upgrade failed: Upgrade failed: You cannot upgrade a Transmitter with a Receiver file or vice versa (ERR:13)." << "V3.0.2";
    QTest::newRow("no stick") << "" << "" << "Error: Upgrade failed! Error checking USB memory device." << "V3.0.2";
    // clang-format on
}

void TestTxSettings::upgrade()
{
    QFETCH(QString, package);
    QFETCH(QString, situation);
    QFETCH(QString, box);
    TxDialog tx;
    tx.expect(box, { { "Available Upgrade Files", "Ok" } });
    QVERIFY(tx.connectTo());
    const QStringList runs = situation.split('|');
    for (const QString& run : runs) {
        const QString offered = &run == &runs.first() ? QStringLiteral("V3.1.0") : QStringLiteral("V3.2.0");
        if (!package.isEmpty()) {
            QFile::remove(tx.osd.unit.sim().usbStickPath() + "/" + package);
            tx.osd.unit.sim().writeUsbPackage(offered == "V3.1.0" ? package : "TXU4200_V3.2.0.clu",
                run == "receiver" ? SimPackage::receiver(offered) : SimPackage::transmitter(offered));
            // The script's flag shows before its answer: only the answer of this verification counts.
            QVERIFY(tx.hold("validate_upgrade_package.sh"));
            actOnNextDialog("Transmitter Upgrade", [&](QDialog&) {
                tx.osd.unit.writeFile("/tmp/signature_done", "");
                QTimer::singleShot(50, [&] { QFile::remove(tx.osd.unit.path("/sim/hold/validate_upgrade_package.sh")); });
            });
        }
        tx.osd.unit.sim().editSection("upgrade", [&](QJsonObject& upgrade) { upgrade.insert("signatureValid", run != "unsigned"); });
        QVERIFY(tx.run("txUpgradeButton"));
    }
    QCOMPARE(tx.seen(), box);
    QTEST(tx.tx().value("swVersion").toString(), "version");
    QVERIFY(!tx.osd.unit.sim().isUsbMounted());
    // An unverified package is never run, not even to describe itself.
    const bool described = tx.osd.unit.commands().contains({ "/mnt/usb/" + package, "--lsm" });
    QCOMPARE(described, !package.isEmpty() && runs.first() != "unsigned");
}

void TestTxSettings::diagnostics_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("onStick");

    const QByteArray produced = "VELMO-DIAG-TX simulated transmitter diagnostics\n";
    const QString overwrite = "Diagnostics File: Diagnostics file with same name already exist. Are you sure you "
                              "want to overwrite the existing file?|";
    const QString saved = "Transmitter Diagnostics: Transmitter diagnostics file successfully saved on USB memory device.";
    const QString cancelled = "Transmitter Diagnostics: Transmitter diagnostics file export cancelled.";
    // clang-format off
    QTest::newRow("saved") << "" << "Save As|" + saved << produced;
    QTest::newRow("existing kept") << "existing:No" << "Save As|" + overwrite + cancelled << QByteArray("old");
    QTest::newRow("existing replaced") << "existing:Yes" << "Save As|" + overwrite + saved << produced;
    QTest::newRow("cancelled") << "cancel" << "Save As|" + cancelled << QByteArray();
    QTest::newRow("Save As closed by a time-out: nothing more shown") << "time-out" << "" << QByteArray();
    QTest::newRow("no stick") << "no stick" << "Error: Export failed, USB memory divice not found." << QByteArray();
    QTest::newRow("transmitter fails") << "fails" << "Error: Process error. Error 40." << QByteArray();
    // clang-format on
}

void TestTxSettings::diagnostics()
{
    QFETCH(QString, situation);
    QFETCH(QString, box);
    TxDialog tx;
    if (situation != "no stick")
        tx.osd.unit.sim().insertUsbStick();
    if (situation.startsWith("existing"))
        tx.osd.unit.sim().writeUsbFile("TX_Diagnostics.txenc", "old");
    if (situation == "fails")
        tx.osd.unit.sim().setFailure("su_run_tx_diagnostics", 40);
    tx.expect(box, { { "Diagnostics File", situation.section(':', 1) },
                       { "Save As", situation == "cancel" ? "Cancel" : "Ok" } });
    const auto logon = answerNextLogon("plain", "pw");
    if (situation == "time-out")
        actOnNextDialog("Save As", [&](QDialog&) { tx.timeOut(); });
    QVERIFY(tx.connectAndRun("txDiagnosticsButton"));
    QCOMPARE(tx.seen(), box);
    QFile stick(tx.osd.unit.sim().usbStickPath() + "/TX_Diagnostics.txenc");
    QTEST(stick.open(QIODevice::ReadOnly) ? stick.readAll() : QByteArray(), "onStick");
    QVERIFY(!tx.osd.unit.exists("/usr/local/diagnosticsTX.enc"));
    QVERIFY(!tx.osd.unit.sim().isUsbMounted());
    for (const QStringList& command : tx.osd.unit.commands())
        if (command.value(0).endsWith("/cp"))
            QCOMPARE(command.mid(1), QStringList({ "/usr/local/diagnosticsTX.enc", "/mnt/usb/.TX_Diagnostics.txenc.part" }));
}

void TestTxSettings::preferences_data()
{
    QTest::addColumn<QJsonObject>("prefs");
    QTest::addColumn<QString>("clone"); // the answer to "Clone EDID", when DVI 1 is cloned
    QTest::addColumn<QStringList>("edid1"); // "*" the current entry, "!" a disabled one
    QTest::addColumn<QStringList>("edid2");
    QTest::addColumn<QString>("widgets");
    QTest::addColumn<QString>("box");

    const QStringList standard { "1. 1920x1080", "2. 1920x1200", "3. 1680x1050", "4. 1280x1024", "5. 1024x768" };
    const QStringList blank = QStringList("* ") + standard;
    const auto marked = [](QStringList list, int current) { list[current].prepend('*'); return list; };
    const QString oneHead = "+pushButtonCloneEdid0 -pushButtonCloneEdid1 -comboBoxEdid_2 -labelEdid_2 +comboBoxVGANoise +comboBoxHIDaudio";
    const QString cloned = QString(oneHead).replace("+pushButtonCloneEdid0", "-pushButtonCloneEdid0");
    const QString confirm = "Clone EDID: Please confirm DVI 1 EDID cloning to Transmitter '192.168.1.22' ?";
    const QJsonObject earlierClone { { "edidIndex", QJsonArray { 6, 1 } }, { "edidCloneName", QJsonArray { "Wall 55", "" } } };
    // clang-format off
    QTest::newRow("one head") << QJsonObject() << "" << marked(standard, 0) << blank << oneHead << "";
    QTest::newRow("two heads, clone and earlier clone")
        << QJsonObject { { "heads", 2 }, { "edidIndex", QJsonArray { 6, 3 } },
                         { "edidCloneName", QJsonArray { "Wall 55", "VelmoView 27 DVI" } },
                         { "edidPrevName", QJsonArray { "Desk 19", "" } } } << ""
        << marked(standard + QStringList { "6. Wall 55", "!7. Desk 19" }, 5) << marked(standard + QStringList { "6. VelmoView 27 DVI" }, 2)
        << "+pushButtonCloneEdid0 -pushButtonCloneEdid1 +comboBoxEdid_2 +labelEdid_2 -comboBoxVGANoise +comboBoxHIDaudio" << "";
    QTest::newRow("index 6 without a clone of its own")
        << QJsonObject { { "edidIndex", QJsonArray { 6, 1 } }, { "edidPrevName", QJsonArray { "Desk 19", "" } } } << ""
        << marked(standard + QStringList { "!6. Desk 19" }, 0) << blank << oneHead << "";
    QTest::newRow("unknown HID mode") << QJsonObject { { "hidMode", "Relative" }, { "hidEnabled", 0 } } << ""
        << marked(standard, 0) << blank << QString(oneHead).replace("+comboBoxHIDaudio", "-comboBoxHIDaudio")
        << "Error: Transmitter HID Settings read failed.";
    QTest::newRow("receiver's monitor already cloned") << QJsonObject { { "edidCloneName", QJsonArray { "VelmoView 24 ", "" } } } << ""
        << marked(standard + QStringList { "6. VelmoView 24" }, 0) << blank << cloned << "";
    QTest::newRow("first clone: six entries") << QJsonObject() << "Yes" << standard + QStringList { "*6. VelmoView 24" } << blank << cloned << confirm;
    QTest::newRow("another monitor: seven entries") << earlierClone << "Yes"
        << standard + QStringList { "*6. VelmoView 24", "!7. Wall 55" } << blank << cloned << confirm;
    QTest::newRow("clone cancelled") << earlierClone << "Cancel" << marked(standard + QStringList { "6. Wall 55" }, 5) << blank << oneHead << confirm;
    // clang-format on
}

void TestTxSettings::preferences()
{
    QFETCH(QJsonObject, prefs);
    QFETCH(QString, clone);
    QFETCH(QString, widgets);
    QFETCH(QString, box);
    TxDialog tx;
    tx.editPrefs(prefs);
    tx.expect(box, { { "Clone EDID", clone } });
    QVERIFY(tx.connectAndRun("txButtonPreferences"));
    QCOMPARE(tx.child<QStackedWidget>("stackedWidget")->currentIndex(), 2);
    QVERIFY(!tx.child<QWidget>("connectToTXButton")->isEnabled());
    if (!clone.isEmpty()) {
        QVERIFY(tx.run("pushButtonCloneEdid0"));
        const QString onTx = tx.tx().value("prefs").toObject().value("edidCloneName").toArray().at(0).toString();
        QCOMPARE(onTx, clone == "Yes" ? QStringLiteral("VelmoView 24") : QStringLiteral("Wall 55"));
        QCOMPARE(tx.osd.unit.hasLog(6, "TX Settings: User rejected cloning of monitor0"), clone != "Yes");
    }
    QTEST(tx.entries("comboBoxEdid_1"), "edid1");
    QTEST(tx.entries("comboBoxEdid_2"), "edid2");
    QCOMPARE(tx.enabled(widgets), widgets);
    QCOMPARE(tx.seen(), box);
    QCOMPARE(tx.child<QComboBox>("comboBoxVideoQuality")->currentText(), QStringLiteral("3 Default"));
    tx.click("buttonCancelTxPreferences");
    QVERIFY(tx.child<QWidget>("connectToTXButton")->isEnabled());
}

void TestTxSettings::saveRoundTrip_data()
{
    QTest::addColumn<QJsonObject>("prefs");
    QTest::addColumn<int>("optimisation");
    QTest::addColumn<QJsonArray>("edidSelect");

    const QString longName(60, 'M');
    QTest::newRow("one head: no second choice sent") << QJsonObject { { "videoOptimisation", 2 } } << 3
                                                     << QJsonArray { "1680x1050", " " };
    QTest::newRow("optimisation not available: only Off") << QJsonObject { { "videoOptimisation", 0 } } << 1
                                                          << QJsonArray { "1680x1050", " " };
    QTest::newRow("two heads, a long clone name cut to the field")
        << QJsonObject { { "heads", 2 }, { "edidIndex", QJsonArray { 1, 6 } }, { "edidCloneName", QJsonArray { "", longName } } }
        << 1 << QJsonArray { "1680x1050", QString("Clone_" + longName.left(57)) };
}

void TestTxSettings::saveRoundTrip()
{
    QFETCH(QJsonObject, prefs);
    TxDialog tx;
    tx.editPrefs(prefs);
    const QString applied = "Transmitter Preferences: Transmitter Preferences applied successfully.";
    tx.expect(applied);
    QVERIFY(tx.connectAndRun("txButtonPreferences"));
    tx.child<QComboBox>("comboBoxVideoQuality")->setCurrentIndex(4);
    tx.child<QComboBox>("comboBoxHIDaudio")->setCurrentText("Absolute MAC");
    tx.child<QComboBox>("comboBoxEdid_1")->setCurrentIndex(2);
    // A disabled choice cannot be picked from the list.
    QTest::keyClick(tx.child<QComboBox>("comboBoxVGANoise"), Qt::Key_Down);
    QVERIFY(tx.run("pushButtonSaveTxPreferences"));
    QCOMPARE(tx.seen(), applied);
    const QJsonObject stored = tx.tx().value("prefs").toObject();
    QCOMPARE(stored.value("videoQuality").toInt(), 5);
    QCOMPARE(stored.value("hidMode").toString(), QStringLiteral("Absolute MAC"));
    QTEST(stored.value("videoOptimisation").toInt(), "optimisation");
    QTEST(stored.value("edidSelect").toArray(), "edidSelect");
}

VELMO_TEST_MAIN(TestTxSettings)
#include "test_txsettings.moc"
