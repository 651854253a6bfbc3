// The connection list of the logged-on user, its filter, buttons and limits,
// removing connections and the broker settings dialog; and starting a
// connection: which launcher runs with which arguments, what the OSD records,
// whether it gives the screen up, and the hot-key in the relaunch script.
#include "app/mainwindow.h"
#include "connections/connectionsettings.h"
#include "connections/connectiontab.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "rules/hotkeyrules.h"
#include "press.h"
#include "storagefault.h"
#include "testmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocumentFragment>
#include <QtTest>

namespace {

// A database whose admin may use no connection at all, plus `mine` connections
// admin may use and `others` nobody's.
QDomDocument bareDatabase(const QStringList& mine = {}, const QStringList& others = {})
{
    QDomDocument document = databaseWithUsers();
    QDomElement admin = userNamed(document, QStringLiteral("admin"));
    admin.removeChild(admin.firstChildElement(db::AssociatedConnections));
    databaseSection(document, db::Connections)
        .removeChild(databaseSection(document, db::Connections).firstChildElement());
    for (const QString& name : mine) {
        addConnection(document, name);
        associate(document, QStringLiteral("admin"), name);
    }
    for (const QString& name : others)
        addConnection(document, name);
    return document;
}

QStringList names(const QString& prefix, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << prefix + QString::number(i);
    return list;
}

} // namespace

class TestConnectionTab : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void list_data();
    void list();
    void buttons_data();
    void buttons();
    void remove_data();
    void remove();
    void broker_data();
    void broker();
    void doubleClickConnectsAndRestartSelectsIt();
    void start_data();
    void start();
    void relaunchHotKey_data();
    void relaunchHotKey();
};

// Cut short in the list; markup in it is a name's own text.
const QString wide = QStringLiteral("alpha<b>Beta</b> of the night shift, second floor");
// admin's associations in order: "delta" is the 33rd, beyond what an unmanaged unit lists.
const QStringList associated
    = QStringList { "missing" } + names(QStringLiteral("x"), 29) + QStringList { wide, "betaGamma", "delta" };

void TestConnectionTab::list_data()
{
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown");
    const QStringList first32 = associated.mid(0, 32);
    // clang-format off
    QTest::newRow("unmanaged unit stops at 32") << false << "" << first32;
    QTest::newRow("managed unit shows all") << true << "" << associated;
    QTest::newRow("unmanaged: anywhere, any case") << false << "BETA" << QStringList { wide, "betaGamma" };
    QTest::newRow("managed: only the start") << true << "BETA" << QStringList { "betaGamma" };
    QTest::newRow("unmanaged: beyond the limit stays hidden") << false << "delta" << QStringList();
    QTest::newRow("managed: nothing is beyond") << true << "delta" << QStringList { "delta" };
    // clang-format on
}

void TestConnectionTab::list()
{
    QFETCH(bool, managed);
    QFETCH(QString, filter);
    QDomDocument document = bareDatabase(associated);
    // An association whose connection is gone still lists, with the private icon.
    databaseSection(document, db::Connections).removeChild(connectionNamed(document, "missing"));
    connectionNamed(document, "x0").setAttribute(db::ConnectionType, "Shared");
    connectionNamed(document, "x1").setAttribute(db::ConnectionType, "Private");
    addConnection(document, QStringLiteral("notMine"));
    associate(document, QStringLiteral("boss"), QStringLiteral("notMine"));
    OsdWindow osd(document, 1, managed);
    // Typed and cleared first: an emptied filter shows all again.
    auto* field = child<QLineEdit>(*osd.window, "lineEditFilterConnections");
    QTest::keyClicks(field, QStringLiteral("x"));
    field->clear();
    QTest::keyClicks(field, filter);
    QTEST(osd.entries(), "shown");
    auto* list = child<QListWidget>(*osd.window, "listWidgetVM");
    for (int row = 0; row < list->count(); ++row) // the whole name, as a tip reads it
        QCOMPARE(QTextDocumentFragment::fromHtml(list->item(row)->toolTip()).toPlainText(), list->item(row)->text());

    if (!filter.isEmpty())
        return;
    const auto image = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
    for (int row : { 0, 1, 2, 3 }) // only x0 is shared
        QCOMPARE(image(list->item(row)->icon()),
            image(QIcon(row == 1 ? ":/icons/icons/sharedConn.png" : ":/icons/icons/privateConn.png")));
}

void TestConnectionTab::buttons_data()
{
    QTest::addColumn<int>("mine"); // connections admin may use
    QTest::addColumn<int>("others"); // further connections in the database
    QTest::addColumn<QString>("enabled"); // of connect, edit, remove, new
    QTest::addColumn<QString>("press");
    QTest::addColumn<QString>("message"); // empty: the editor opens, "z" is saved and then selected
    const QString limit = QStringLiteral("The maximum number of connections is limited to 32. Remove any "
                                         "connection before adding new connection.");
    const QString add = QStringLiteral("newConnectionButton");
    // clang-format off
    QTest::newRow("no connections") << 0 << 5 << "0001" << add << QString();
    QTest::newRow("one below the limit") << 2 << 29 << "1111" << add << QString();
    QTest::newRow("at the limit") << 2 << 30 << "1110" << add << limit;
    QTest::newRow("at the limit without own connections") << 0 << 32 << "0001" << add << limit;
    QTest::newRow("renamed in the editor") << 3 << 0 << "1111" << "editConnectionButton" << QString();
    // clang-format on
}

void TestConnectionTab::buttons()
{
    QFETCH(int, mine);
    QFETCH(int, others);
    QFETCH(QString, press);
    QFETCH(QString, message);
    OsdWindow osd(bareDatabase(names(QStringLiteral("m"), mine), names(QStringLiteral("o"), others)));
    auto* list = child<QListWidget>(*osd.window, "listWidgetVM");
    list->setCurrentRow(1);

    QString state;
    for (const char* name :
        { "connectButton", "editConnectionButton", "removeConnectionButton", "newConnectionButton" })
        state += child<QPushButton>(*osd.window, name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    QTEST(state, "enabled");

    if (!message.isEmpty()) {
        // The slot, as the button may be disabled.
        QCOMPARE(
            answerAfter("Information", [&] { osd.window->connectionList().on_btnNewConnection_Clicked(); }),
            message);
        return;
    }
    const bool adding = press == QLatin1String("newConnectionButton");
    const auto open = [&] { child<QPushButton>(*osd.window, press)->click(); };
    QVERIFY(actOnDialogOf(open, adding ? "New Connection" : "Edit Connection", [&](QDialog& dialog) {
        child<QLineEdit>(dialog, adding ? "lineEditNewVMName" : "lineEditVMName")->setText("z");
        child<QPushButton>(dialog, adding ? "saveNewConnectionButton" : "saveConnectionButton")->click();
    }));
    QCOMPARE(list->currentItem() ? list->currentItem()->text() : QString(), QStringLiteral("z"));
    // A change of the users lists afresh: here the logged-on name is no user's any more.
    userNamed(osd.window->document(), "admin").setAttribute(db::UserName, "x");
    emit osd.window->context().usersChanged();
    QCOMPARE(osd.entries(), QStringList());
}

void TestConnectionTab::remove_data()
{
    // "name", or asked and answered "yes", "cancel", "unstored" (yes, and the write fails)
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("removed");
    QTest::newRow("by name") << QStringLiteral("name") << true;
    QTest::newRow("asked, confirmed") << QStringLiteral("yes") << true;
    QTest::newRow("asked, cancelled") << QStringLiteral("cancel") << false;
    QTest::newRow("confirmed, not stored: undone") << QStringLiteral("unstored") << false;
}

void TestConnectionTab::remove()
{
    QFETCH(QString, how);
    QFETCH(bool, removed);
    QDomDocument document = bareDatabase({}, { "A", "B" });
    QDomElement pool = addConnection(document, QStringLiteral("Pool"), QStringLiteral("viaTxPool=true"));
    for (const char* member : { "A", "B", "A" })
        pool.appendChild(document.createElement("Member")).toElement().setAttribute(db::TargetName, member);
    for (const char* user : { "admin", "boss" })
        for (const char* name : { "B", "A" })
            associate(document, QLatin1String(user), QLatin1String(name));
    // boss in a section of its own, as a provided database may have it
    document.documentElement().appendChild(document.createElement(db::Users)).appendChild(userNamed(document, "boss"));
    OsdWindow osd(document);
    const QByteArray before = osd.unit.readFile(DatabaseStorage::copyAPath);
    const QByteArray inMemory = databaseText(osd.window->document());
    child<QListWidget>(*osd.window, "listWidgetVM")->setCurrentRow(1);

    if (how == QLatin1String("name")) {
        QVERIFY(osd.window->connectionList().removeConnection(QStringLiteral("A")));
    } else {
        const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Remove connection"),
            how == QLatin1String("cancel") ? QMessageBox::Cancel : QMessageBox::Yes);
        const bool unstored = how == QLatin1String("unstored");
        FailNextDatabaseChange unwritable(osd.unit.path(DatabaseStorage::copyAPath), unstored);
        QCOMPARE(pressAndSettle(*osd.window, "removeConnectionButton", unstored ? "Error" : ""),
            unstored ? QStringLiteral("The connection could not be removed.") : QString());
        QCOMPARE(answer->text, QStringLiteral("Do you want to remove connection 'A' ?"));
        QVERIFY(osd.unit.hasLog(6, QStringLiteral("MainWindow: Action Remove Connection.\n")));
        QCOMPARE(osd.unit.hasLog(3, "MainWindow: Can not open file: " + QString(DatabaseStorage::copyAPath)),
            unstored);
    }
    if (!removed) {
        if (how == QLatin1String("cancel"))
            QCOMPARE(osd.unit.readFile(DatabaseStorage::copyAPath), before);
        QCOMPARE(databaseText(osd.window->document()), inMemory);
        QCOMPARE(osd.entries(), QStringList({ "B", "A" }));
        return;
    }

    // Gone from the list, from every user and from the pool, B kept in all four places; the
    // other copy keeps the state before.
    const QByteArray stored = databaseText(osd.stored());
    QCOMPARE(stored, databaseText(osd.window->document()));
    QCOMPARE(stored.count("\"A\""), 0);
    QCOMPARE(stored.count("\"B\""), 4);
    QCOMPARE(osd.entries(), QStringList({ "B" }));
    QVERIFY(osd.window->storage().verifyChecksumFile(DatabaseStorage::copyAPath));
    QCOMPARE(osd.unit.readFile(DatabaseStorage::copyBPath), before);
}

namespace {

using Record = QStringList; // the eight broker texts in their stored order
const char* const brokerNames[] = { db::ConViaActiveDir, db::ConViaBroker, db::VmResourse, db::WebAccessAddr,
    db::ConBrokerIp, db::Domain, db::DefaultBrokerIp, db::LoadBalInfo };

// Enabled state of web address, broker address, domain, load balance (fields and labels must agree)
// and of the two boxes, then their checked state: "1111 11 00".
QString brokerState(ConnectionSettings& dialog)
{
    QString state;
    const std::pair<const char*, const char*> fields[]
        = { { "LineEditWebUrl", "txWebUrl" }, { "lineEditConBrokerIP", "txConBrokerIP" },
              { "lineEditDomain", "txDomain" }, { "lineEditLoadBal", "txLoadBal" } };
    for (const auto& field : fields) {
        const bool enabled = child<QLineEdit>(dialog, field.first)->isEnabled();
        if (child<QLabel>(dialog, field.second)->isEnabled() != enabled)
            return QStringLiteral("label out of step: ") + QLatin1String(field.second);
        state += enabled ? QLatin1Char('1') : QLatin1Char('0');
    }
    auto* web = child<QCheckBox>(dialog, "checkBoxConnActiveDir");
    auto* broker = child<QCheckBox>(dialog, "checkBoxConViaBroker");
    state += QLatin1Char(' ') + QString::number(web->isEnabled()) + QString::number(broker->isEnabled());
    state += QLatin1Char(' ') + QString::number(web->isChecked()) + QString::number(broker->isChecked());
    return state;
}

} // namespace

void TestConnectionTab::broker_data()
{
    QTest::addColumn<Record>("record");
    QTest::addColumn<QString>("opened"); // brokerState() at opening
    QTest::addColumn<QString>("click"); // box clicked, then every enabled field typed into
    QTest::addColumn<QString>("after");
    QTest::addColumn<Record>("stored"); // after Save; empty: the database cannot be written
    const auto row = [](const char* name, const Record& record, const char* opened, const char* click,
                         const char* after, const Record& stored) {
        QTest::newRow(name) << record << QString(opened) << QString(click) << QString(after) << stored;
    };

    const Record none { "false", "false", "2", "", "", "", "", "" };
    const Record brokerSet { "false", "true", "2", "", "cb.corp", "CORP", "kept", "tsv://lb" };
    // clang-format off
    row("broker unticked: false, false and four empty texts", brokerSet, "0111 01 01", "broker", "0000 11 00", { "false", "false", "2", "", "", "", "kept", "" });
    row("broker kept as it was", brokerSet, "0111 01 01", "", "0111 01 01", brokerSet);
    row("web access ticked: load balance dropped", none, "0000 11 00", "web", "1110 10 10", { "true", "false", "2", "typed", "typed", "typed", "", "" });
    row("broker ticked: web address dropped", none, "0000 11 00", "broker", "0111 01 01", { "false", "true", "2", "", "typed", "typed", "", "typed" });
    row("web access unticked", { "true", "false", "2", "w", "b", "d", "", "" }, "1110 10 10", "web", "0000 11 00", none);
    row("web access wins when both are stored; unknown resource count is pool", { "true", "true", "9", "w", "b", "d", "", "" }, "1110 10 10", "", "1110 10 10", { "true", "false", "1", "w", "b", "d", "", "" });
    row("not stored: memory keeps the stored record", brokerSet, "0111 01 01", "broker", "0000 11 00", {});
    // clang-format on
}

void TestConnectionTab::broker()
{
    QFETCH(Record, record);
    QFETCH(QString, click);
    QFETCH(Record, stored);
    QDomDocument document = databaseWithUsers();
    QDomElement group = unitSettingsGroup(document, db::BrokerGroup);
    for (int i = 0; i < 8; ++i)
        group.setAttribute(QLatin1String(brokerNames[i]), record.at(i));
    OsdWindow osd(document);
    osd.showPage(2); // the System page's button opens it too
    QVERIFY(actOnDialogOf([&] { child<QPushButton>(*osd.window, "brokerButton")->click(); },
        "Broker Settings", [](QDialog& opened) { opened.close(); }));
    const QByteArray inMemory = databaseText(osd.window->document());
    ConnectionSettings dialog(osd.window->context());
    QCOMPARE(child<QLineEdit>(dialog, "lineEditConBrokerIP")->text(), record.at(4));
    QVERIFY(child<QRadioButton>(dialog, "radioButtonPool")->isHidden());
    QTEST(brokerState(dialog), "opened");
    if (!click.isEmpty()) {
        child<QCheckBox>(
            dialog, click == QLatin1String("web") ? "checkBoxConnActiveDir" : "checkBoxConViaBroker")
            ->click();
        for (QLineEdit* field : dialog.findChildren<QLineEdit*>())
            if (field->isEnabled()) {
                field->clear();
                QTest::keyClicks(field, QStringLiteral("typed"));
            }
    }
    QTEST(brokerState(dialog), "after");

    FailNextDatabaseChange unwritable(osd.unit.path(DatabaseStorage::copyAPath), stored.isEmpty());
    QCOMPARE(pressAndSettle(dialog, "txApplyButton", unwritable ? "Error" : "Broker Settings"),
        unwritable ? "Broker Settings could not be saved." : "Broker Settings Saved.");
    if (unwritable) { // else the next page's save would store it
        QCOMPARE(databaseText(osd.window->document()), inMemory);
        return;
    }
    const QDomElement saved = unitSettingsGroup(osd.stored(), db::BrokerGroup);
    Record now;
    for (const char* name : brokerNames)
        now << saved.attribute(QLatin1String(name));
    QCOMPARE(now, stored);
    QVERIFY(osd.window->storage().verifyChecksumFile(DatabaseStorage::copyAPath));
}

void TestConnectionTab::start_data()
{
    QTest::addColumn<QString>("attributes"); // of "C"; "-": listed but gone from the database
    // "heads=2;timer=15;link=0;fails=call": unit and database facts; link 0 is down,
    // 2 down but still running with its address
    QTest::addColumn<QString>("unit");
    // "call [arguments]" of the launcher started, or "title|text" of the box shown instead; empty: nothing
    QTest::addColumn<QString>("outcome");
    const auto row
        = [](const char* name, const QString& attributes, const char* unit, const QString& outcome) {
              QTest::newRow(name) << attributes << QString(unit) << outcome;
          };

    const QString vm = QStringLiteral("create_vm_connection ");
    const QString tx = QStringLiteral("create_via_tx_connection ");
    const QString rdp = QStringLiteral("User_Name=bob;Password=pw;IP_address=10.0.0.5;Domain=corp;");
    const QString viaTx = QStringLiteral("viaTX=true;IP_address=192.168.1.22;");
    // clang-format off
    row("RDP on the default port passes 0", rdp + "Port=3389;Audio=Yes;NLA=Yes", "", vm + R"(["C","admin","bob","pw","10.0.0.5",1,"corp",0,0,0,1])");
    row("RDP port that is no number", rdp + "Port=33a9", "", vm + R"(["C","admin","bob","pw","10.0.0.5",0,"corp",0,0,0,0])");
    row("an over-long text is cut, not overrun", "IP_address=" + QString(300, QLatin1Char('h')), "", vm + R"(["C","admin","","",")" + QString(255, 'h') + R"(",0,"",0,0,0,0])");
    row("transmitter, extended desktop on a single head is off", viaTx + "ExtDesk=Yes;Connection_type=Shared;Persistent=true;Audio=Yes", "timer=15", tx + R"(["C","192.168.1.22",1,0,15,"admin",1,1,0,0])");
    row("transmitter wins over SSH; user unknown to the unit", viaTx + "type=SSH", "timer=5;fails=su_get_logged_in_user", tx + R"(["C","192.168.1.22",0,0,5,"Unknown",0,0,0,0])");
    row("KVM", "type=KVM;IP_address=10.1.1.1;Connection_type=Shared;Persistent=true;Audio=Yes", "heads=2;timer=30", R"(create_via_kvm_connection ["C","10.1.1.1",1,0,30,"admin",1,1])");
    row("Horizon; Broker \"true\" is not a broker", "Broker=true;Horizon=true;User_Name=hu;Password=hp;IP_address=h.example", "", R"(create_horizon_connection ["hu","hp","h.example"])");
    row("SSH keeps the password out", "type=SSH;User_Name=root;Password=secret;IP_address=s;Port=22", "", R"(create_ssh_connection ["root","","s",22])");
    row("VNC", "type=VNC;Password=vp;IP_address=v;Port=5901", "", R"(create_vnc_connection ["vp","v",5901])");
    row("pool with an address, also via a transmitter: RDP to the pool host", "Pool=true;viaTX=true;IP_address=10.0.0.9;User_Name=pu;Port=3390", "", vm + R"(["C","admin","pu","","10.0.0.9",0,"",0,3390,0,0])");
    row("broker: RDP to the broker with its credentials and flags", "Broker=Yes;IP_address=br;User_Name=bu;Password=bp;Domain=bd;Port=3389;Load_Bal=lb;NLA=Yes;Audio=Yes;USB_Redirection=Yes;ViewOnly=Yes", "", vm + R"(["C","admin","bu","bp","br",1,"bd",1,0,1,1])");
    // clang-format on

    // Each flag on alone lands in its own place.
    const struct {
        const char* attributes;
        QString call;
        const char* arguments; // every flag off
        std::vector<std::pair<const char*, int>> flags; // the flag's attribute and its argument
    } launchers[] = {
        { "IP_address=h", vm, R"(["C","admin","","","h",0,"",0,0,0,0])",
            { { "Audio=Yes", 5 }, { "ViewOnly=Yes", 7 }, { "USB_Redirection=Yes", 9 }, { "NLA=Yes", 10 } } },
        { "viaTX=true;IP_address=h", tx, R"(["C","h",0,0,0,"admin",0,0,0,0])",
            { { "Audio=Yes", 2 }, { "USB_Redirection=Yes", 3 }, { "Connection_type=Shared", 6 },
                { "Persistent=true", 7 }, { "ExtDesk=Yes", 8 }, { "ViewOnly=Yes", 9 } } },
        { "type=KVM;IP_address=h", "create_via_kvm_connection ", R"(["C","h",0,0,0,"admin",0,0])",
            { { "Audio=Yes", 2 }, { "USB_Redirection=Yes", 3 }, { "Connection_type=Shared", 6 },
                { "Persistent=true", 7 } } },
    };
    for (const auto& launcher : launchers)
        for (const auto& flag : launcher.flags) {
            QJsonArray arguments = QJsonDocument::fromJson(launcher.arguments).array();
            arguments[flag.second] = 1;
            row(qPrintable(launcher.call + "with only " + flag.first),
                QLatin1String(launcher.attributes) + ';' + flag.first, "heads=2",
                launcher.call + QJsonDocument(arguments).toJson(QJsonDocument::Compact));
        }

    // clang-format off
    row("link down with an address", "viaTX=true", "link=2", "Network Status|Connection failed. Network not found.");
    row("link down, no lease", "viaTX=true", "link=0", "Network Status|Connection failed. DHCP server not found.");
    row("launcher refuses: no box, stays", "viaTX=true", "fails=create_via_tx_connection", "");
    row("listed but gone from the database", "-", "", "Information|Could not create connection.");
    row("pool without an address", "Pool=true", "", "Information|The pool connection 'C' has no address and cannot be started.");
    row("broker without an address", "Broker=Yes;User_Name=u", "", "Information|The broker connection 'C' has no broker address and cannot be started.");
    // clang-format on
    const auto notLatin1 = [&row](const char* name, const char* attributes, const char* field) {
        row(name, attributes, "",
            "Information|The connection 'C' cannot be started: its " + QString(field)
                + " holds characters other than Latin-1.");
    };
    notLatin1("RDP password with a euro sign", "IP_address=h;User_Name=u;Password=p\u20ac", "password");
    notLatin1("RDP domain", "IP_address=h;Domain=\u0421\u0432\u044f\u0437\u044c", "domain");
    notLatin1("transmitter address", "viaTX=true;IP_address=h\u0101", "address");
    notLatin1("KVM address", "type=KVM;IP_address=h\u0101", "address");
    notLatin1("Horizon password", "Horizon=true;IP_address=h;Password=\u20ac", "password");
    notLatin1("SSH user", "type=SSH;IP_address=h;User_Name=\u0421", "user name");
    notLatin1("VNC password", "type=VNC;IP_address=h;Password=\u20ac", "password");
}

void TestConnectionTab::doubleClickConnectsAndRestartSelectsIt()
{
    // A provided database may hold names that differ only in a trailing blank.
    QDomDocument document = databaseWithUsers();
    for (const QString& name : { QStringLiteral("Desk"), QStringLiteral("Desk ") }) {
        addConnection(document, name, QStringLiteral("type=VNC;IP_address=10.1.1.1"));
        associate(document, QStringLiteral("admin"), name);
    }
    OsdWindow osd(document);
    auto* list = osd.window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
    const QPoint centre = list->visualItemRect(list->item(2)).center();
    // A view takes a double click only on the item it saw pressed first.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(osd.unit.launches().size(), 1);
    QCOMPARE(osd.unit.readFile(QStringLiteral("/tmp/WAS_CONNECTED")), QByteArray("admin\nDesk \n"));

    osd.restart();
    list = osd.window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
    QCOMPARE(list->currentItem() ? list->currentItem()->text() : QString(), QStringLiteral("Desk "));
}

void TestConnectionTab::start()
{
    QFETCH(QString, attributes);
    QFETCH(QString, unit);
    QFETCH(QString, outcome);
    QMap<QString, QString> facts;
    for (const QString& fact : unit.split(';', Qt::SkipEmptyParts))
        facts.insert(fact.section('=', 0, 0), fact.section('=', 1));

    QDomDocument document = databaseWithUsers();
    associate(document, QStringLiteral("admin"), QStringLiteral("C"));
    if (attributes != QLatin1String("-"))
        addConnection(document, QStringLiteral("C"), attributes);
    if (facts.contains("timer"))
        writeUnitSetting(document, UnitSetting::ConnectionInactivityMinutes, facts["timer"]);
    OsdWindow osd(document, facts.value("heads", "1").toInt());
    if (facts.contains("fails"))
        osd.unit.sim().setFailure(facts["fails"], 1);
    const int link = facts.value("link", "1").toInt();
    osd.unit.setNetwork("eth0", "up", link == 1);
    osd.unit.setNetwork("eth0", "running", link != 0);
    if (link == 0)
        osd.unit.setNetwork("eth0", "address", QJsonValue::Undefined);
    // A record of an earlier, longer session must not leave its tail behind.
    const QString record = QStringLiteral("/tmp/WAS_CONNECTED");
    const QByteArray earlier = "administrator\nA much longer connection name\n";
    osd.unit.writeFile(record, earlier);
    const bool started = outcome.startsWith(QLatin1String("create_"));
    const ModalAnswerPtr answer = started || outcome.isEmpty()
        ? ModalAnswerPtr()
        : answerNextBox(outcome.section('|', 0, 0), QMessageBox::Ok);
    const int boxesBefore = answeredBoxes().size();
    osd.connect(QStringLiteral("C"));

    const QList<QJsonObject> launches = osd.unit.launches();
    if (started) {
        QCOMPARE(launches.size(), 1);
        QCOMPARE(launches.first().value("call").toString(), outcome.section(' ', 0, 0));
        QCOMPARE(launches.first().value("args").toArray(),
            QJsonDocument::fromJson(outcome.section(' ', 1).toUtf8()).array());
        QCOMPARE(osd.unit.readFile(record), QByteArray("admin\nC\n"));
        QTRY_VERIFY(!osd.window->isVisible());
        return;
    }
    if (answer)
        QVERIFY(waitForAnswer(answer));
    QCOMPARE(boxesSince(boxesBefore, QStringLiteral("|")),
        outcome.isEmpty() ? QStringList() : QStringList(outcome));
    QCOMPARE(launches.size(), facts.contains("fails") ? 1 : 0);
    QCOMPARE(osd.unit.readFile(record), earlier);
    QCoreApplication::processEvents();
    QVERIFY(osd.window->isVisible());
    if (link != 1)
        QVERIFY(osd.unit.hasLog(3,
            link == 2 ? "ConnectionManager: Action Connect terminated due to Network is down.\n"
                      : "ConnectionManager: Action Connect terminated due to DHCP server not found..\n"));
}

void TestConnectionTab::relaunchHotKey_data()
{
    QTest::addColumn<QByteArray>("script"); // null: no relaunch script; "->...": a link to a file elsewhere
    QTest::addColumn<QString>("hotKey"); // the stored setting; "rule": the text rule alone, with no window
    QTest::addColumn<QString>("number"); // null: the start-up refresh from the setting
    QTest::addColumn<QByteArray>("expected"); // null: still no script
    const auto row = [](const char* name, const QByteArray& script, const char* hotKey, const char* number,
                         const QByteArray& expected) {
        QTest::newRow(name) << script << QString(hotKey) << QString(number) << expected;
    };

    const QByteArray head = "/usr/bin/connection_control --type via_tx --name 'Desk' --host '1.2.3.4'";
    // clang-format off
    row("inserted before the ampersand", head + " &", "rule", "2", head + " --hotkey 2 &");
    row("replaced", head + " --hotkey 1 &", "rule", "12", head + " --hotkey 12 &");
    row("no hot-key removes every such argument", "cc --hotkey 1 --hotkey 2 &", "rule", "", "cc &");
    row("a quoted look-alike in a value is left alone", "cc --name '-''-hotkey' 7 --hotkey 1 &", "rule", "4", "cc --name '-''-hotkey' 7 --hotkey 4 &");
    row("an argument without its value at the end gets one", "cc --hotkey", "rule", "3", "cc --hotkey 3");
    row("an empty script stays empty", "", "rule", "2", "");
    row("a blank script stays blank", " \n", "rule", "2", " \n");
    row("only a number goes into the script", head + " &", "rule", "1;reboot", head + " &");
    row("only ASCII digits", head + " &", "rule", "\u0663", head + " &");
    row("no saved session: no script is made", QByteArray(), "", "2", QByteArray());
    row("start-up refresh, Mouse Left+Right", head + " --hotkey 0 &", "Mouse Left+Right", nullptr, head + " --hotkey 4 &");
    row("a link is never followed", "->cc --hotkey 1 &", "", "2", "cc --hotkey 1 &");
    row("start-up refresh, unknown setting is 0", head + " --hotkey 2 &", "F12", nullptr, head + " --hotkey 0 &");
    // clang-format on
}

void TestConnectionTab::relaunchHotKey()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, hotKey);
    QFETCH(QString, number);
    QFETCH(QByteArray, expected);
    if (hotKey == "rule") {
        QCOMPARE(isRelaunchHotKey(number) ? relaunchScriptText(script, number) : script, expected);
        return;
    }

    QDomDocument document = databaseWithUsers();
    writeUnitSetting(document, UnitSetting::HotKey, hotKey);
    OsdWindow osd(document);
    const QString path = QStringLiteral("/tmp/prevConnection.sh");
    QFile::remove(osd.unit.path(path));
    const bool linked = script.startsWith("->");
    if (linked) {
        QVERIFY(osd.unit.writeFile(QStringLiteral("/tmp/elsewhere"), script.mid(2)));
        QVERIFY(QFile::link(osd.unit.path(QStringLiteral("/tmp/elsewhere")), osd.unit.path(path)));
    } else if (!script.isNull()) {
        osd.unit.writeFile(path, script);
    }
    if (number.isNull())
        osd.window->syncRelaunchHotKey();
    else
        osd.window->setRelaunchHotKey(number);

    QCOMPARE(osd.unit.exists(path), !expected.isNull());
    QCOMPARE(osd.unit.readFile(path), expected);
    QCOMPARE(QFileInfo(osd.unit.path(path)).isSymLink(), linked);
}

VELMO_TEST_MAIN(TestConnectionTab)
#include "test_connectiontab.moc"
