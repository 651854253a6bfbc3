// Starting a connection: which launcher runs with which arguments, what the OSD
// records and whether it gives the screen up; and the hot-key in the relaunch script.
#include "app/mainwindow.h"
#include "database.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QtTest>

namespace {

// "Key=Value;..." onto a new connection "C" that admin may use.
QDomDocument databaseWithConnection(const QString& attributes)
{
    QDomDocument document = databaseWithUsers();
    addConnection(document, QStringLiteral("C"), attributes);
    associate(document, QStringLiteral("admin"), QStringLiteral("C"));
    return document;
}

void setUnitSetting(QDomDocument& document, const char* group, const char* attribute, const QString& value)
{
    QDomElement settings = document.documentElement().firstChildElement(db::UnitSettings);
    QDomElement element = settings.firstChildElement(group);
    if (element.isNull())
        element = settings.appendChild(document.createElement(group)).toElement();
    element.setAttribute(attribute, value);
}

} // namespace

class TestConnections : public QObject {
    Q_OBJECT

private slots:
    void doubleClickConnectsAndRestartSelectsIt();
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void launch_data();
    void launch();
    void notStarted_data();
    void notStarted();
    void relaunchHotKey_data();
    void relaunchHotKey();
};

void TestConnections::launch_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<int>("heads");
    QTest::addColumn<QString>("timer"); // the inactivity timer setting; null: none stored
    QTest::addColumn<bool>("userServiceFails");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QByteArray>("arguments");
    const auto row = [](const char* name, const QString& attributes, int heads, const char* timer, bool fails,
                         const char* call, const QByteArray& arguments) {
        QTest::newRow(name) << attributes << heads << QString(timer) << fails << QString(call) << arguments;
    };

    const char* vm = "create_vm_connection";
    const char* tx = "create_via_tx_connection";
    const QString rdp = QStringLiteral("User_Name=bob;Password=pw;IP_address=10.0.0.5;Domain=corp;");
    const QString viaTx = QStringLiteral("viaTX=true;IP_address=192.168.1.22;");
    row("RDP on the default port passes 0", rdp + "Port=3389;Audio=Yes;NLA=Yes", 1, nullptr, false, vm,
        R"(["C","admin","bob","pw","10.0.0.5",1,"corp",0,0,0,1])");
    row("RDP on another port, view only and USB", rdp + "Port=3390;ViewOnly=Yes;USB_Redirection=Yes", 1,
        nullptr, false, vm, R"(["C","admin","bob","pw","10.0.0.5",0,"corp",1,3390,1,0])");
    row("RDP port that is no number", rdp + "Port=33a9", 1, nullptr, false, vm,
        R"(["C","admin","bob","pw","10.0.0.5",0,"corp",0,0,0,0])");
    row("an over-long text is cut, not overrun", "IP_address=" + QString(300, QLatin1Char('h')), 1, nullptr,
        false, vm, R"(["C","admin","","",")" + QByteArray(255, 'h') + R"(",0,"",0,0,0,0])");
    row("transmitter, extended desktop on a single head is off",
        viaTx + "ExtDesk=Yes;Connection_type=Shared;Persistent=true;Audio=Yes", 1, "15", false, tx,
        R"(["C","192.168.1.22",1,0,15,"admin",1,1,0,0])");
    row("transmitter, extended desktop on a dual head",
        viaTx + "ExtDesk=Yes;ViewOnly=Yes;USB_Redirection=Yes;Persistent=false", 2, "0", false, tx,
        R"(["C","192.168.1.22",0,1,0,"admin",0,0,1,1])");
    row("transmitter wins over SSH; user unknown to the unit", viaTx + "type=SSH", 1, "5", true, tx,
        R"(["C","192.168.1.22",0,0,5,"Unknown",0,0,0,0])");
    row("KVM", "type=KVM;IP_address=10.1.1.1;Connection_type=Shared;Persistent=true;Audio=Yes", 2, "30",
        false, "create_via_kvm_connection", R"(["C","10.1.1.1",1,0,30,"admin",1,1])");
    row("Horizon; Broker \"true\" is not a broker",
        "Broker=true;Horizon=true;User_Name=hu;Password=hp;IP_address=h.example", 1, nullptr, false,
        "create_horizon_connection", R"(["hu","hp","h.example"])");
    row("SSH keeps the password out", "type=SSH;User_Name=root;Password=secret;IP_address=s;Port=22", 1,
        nullptr, false, "create_ssh_connection", R"(["root","","s",22])");
    row("VNC", "type=VNC;Password=vp;IP_address=v;Port=5901", 1, nullptr, false, "create_vnc_connection",
        R"(["vp","v",5901])");
    row("pool with an address, also via a transmitter: RDP to the pool host",
        "Pool=true;viaTX=true;IP_address=10.0.0.9;User_Name=pu;Port=3390", 1, nullptr, false, vm,
        R"(["C","admin","pu","","10.0.0.9",0,"",0,3390,0,0])");
    row("broker: RDP to the broker with its credentials and flags",
        "Broker=Yes;IP_address=br;User_Name=bu;Password=bp;Domain=bd;Port=3389;Load_Bal=tsv://"
        "x;NLA=Yes;Audio=Yes;"
        "USB_Redirection=Yes;ViewOnly=Yes",
        1, nullptr, false, vm, R"(["C","admin","bu","bp","br",1,"bd",1,0,1,1])");

    // Each flag on alone lands in its own place.
    const struct {
        const char* attributes;
        const char* call;
        const char* arguments; // every flag off
        std::vector<std::pair<const char*, int>> flags; // the flag's attribute and its argument
    } launchers[] = {
        { "IP_address=h", vm, R"(["C","admin","","","h",0,"",0,0,0,0])",
            { { "Audio=Yes", 5 }, { "ViewOnly=Yes", 7 }, { "USB_Redirection=Yes", 9 }, { "NLA=Yes", 10 } } },
        { "viaTX=true;IP_address=h", tx, R"(["C","h",0,0,0,"admin",0,0,0,0])",
            { { "Audio=Yes", 2 }, { "USB_Redirection=Yes", 3 }, { "Connection_type=Shared", 6 },
                { "Persistent=true", 7 }, { "ExtDesk=Yes", 8 }, { "ViewOnly=Yes", 9 } } },
        { "type=KVM;IP_address=h", "create_via_kvm_connection", R"(["C","h",0,0,0,"admin",0,0])",
            { { "Audio=Yes", 2 }, { "USB_Redirection=Yes", 3 }, { "Connection_type=Shared", 6 },
                { "Persistent=true", 7 } } },
    };
    for (const auto& launcher : launchers) {
        for (const auto& flag : launcher.flags) {
            QJsonArray arguments = QJsonDocument::fromJson(launcher.arguments).array();
            arguments[flag.second] = 1;
            const QByteArray name = QByteArray(launcher.call) + " with only " + flag.first;
            row(name.constData(), QLatin1String(launcher.attributes) + ';' + flag.first, 2, nullptr, false,
                launcher.call, QJsonDocument(arguments).toJson(QJsonDocument::Compact));
        }
    }
}

void TestConnections::doubleClickConnectsAndRestartSelectsIt()
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

    osd.window = std::make_unique<MainWindow>(osd.unit.platform(), nullptr, osd.user.get());
    list = osd.window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
    QVERIFY(list->currentItem());
    QCOMPARE(list->currentItem()->text(), QStringLiteral("Desk "));
}

void TestConnections::launch()
{
    QFETCH(QString, attributes);
    QFETCH(int, heads);
    QFETCH(QString, timer);
    QFETCH(bool, userServiceFails);
    QFETCH(QString, call);
    QFETCH(QByteArray, arguments);

    QDomDocument document = databaseWithConnection(attributes);
    if (!timer.isNull())
        setUnitSetting(document, db::ConnectionInactivityTimer, db::Value, timer);
    OsdWindow osd(document, heads);
    if (userServiceFails)
        osd.unit.sim().setFailure(QStringLiteral("su_get_logged_in_user"), 1);
    // A record of an earlier, longer session must not leave its tail behind.
    osd.unit.writeFile(
        QStringLiteral("/tmp/WAS_CONNECTED"), "administrator\nA much longer connection name\n");
    osd.connect(QStringLiteral("C"));

    const QList<QJsonObject> launches = osd.unit.launches();
    QCOMPARE(launches.size(), 1);
    QCOMPARE(launches.first().value("call").toString(), call);
    QCOMPARE(launches.first().value("args").toArray(), QJsonDocument::fromJson(arguments).array());
    QCOMPARE(osd.unit.readFile(QStringLiteral("/tmp/WAS_CONNECTED")), QByteArray("admin\nC\n"));
    QTRY_VERIFY(!osd.window->isVisible());
}

void TestConnections::notStarted_data()
{
    QTest::addColumn<QString>("attributes"); // "-": listed but gone from the database
    QTest::addColumn<int>("link"); // 0 down, 1 up, 2 down but still running with its address
    QTest::addColumn<QString>("failing"); // launcher made to fail
    QTest::addColumn<QString>("box"); // "title|text"; empty: no box
    QTest::addColumn<int>("launches");
    QTest::addColumn<QString>("log");
    const auto row = [](const char* name, const char* attributes, int link, const char* failing,
                         const char* box, int launches, const char* log) {
        QTest::newRow(name) << QString(attributes) << link << QString(failing) << QString(box) << launches
                            << QString(log);
    };

    row("link down with an address", "viaTX=true", 2, "", "Network Status|Connection failed. Network not found.", 0,
        "ConnectionManager: Action Connect terminated due to Network is down.\n");
    row("link down, no lease", "viaTX=true", 0, "",
        "Network Status|Connection failed. DHCP server not found.", 0,
        "ConnectionManager: Action Connect terminated due to DHCP server not found..\n");
    row("launcher refuses: no box, stays", "viaTX=true", 1, "create_via_tx_connection", "", 1, "");
    row("listed but gone from the database", "-", 1, "", "Information|Could not create connection.", 0,
        "");
    row("pool without an address", "Pool=true", 1, "",
        "Information|The pool connection 'C' has no address and cannot be started.", 0, "");
    row("broker without an address", "Broker=Yes;User_Name=u", 1, "",
        "Information|The broker connection 'C' has no broker address and cannot be started.", 0, "");
    const auto notLatin1 = [&row](const char* name, const char* attributes, const char* field) {
        const QByteArray box = "Information|The connection 'C' cannot be started: its " + QByteArray(field)
            + " holds characters other than Latin-1.";
        row(name, attributes, 1, "", box.constData(), 0, "");
    };
    notLatin1("RDP password with a euro sign", "IP_address=h;User_Name=u;Password=p\u20ac", "password");
    notLatin1("RDP domain", "IP_address=h;Domain=\u0421\u0432\u044f\u0437\u044c", "domain");
    notLatin1("pool user", "Pool=true;IP_address=h;User_Name=\u0421", "user name");
    notLatin1("transmitter address", "viaTX=true;IP_address=h\u0101", "address");
    notLatin1("KVM address", "type=KVM;IP_address=h\u0101", "address");
    notLatin1("Horizon password", "Horizon=true;IP_address=h;Password=\u20ac", "password");
    notLatin1("SSH user", "type=SSH;IP_address=h;User_Name=\u0421", "user name");
    notLatin1("VNC password", "type=VNC;IP_address=h;Password=\u20ac", "password");
}

void TestConnections::notStarted()
{
    QFETCH(QString, attributes);
    QFETCH(int, link);
    QFETCH(QString, failing);
    QFETCH(QString, box);
    QFETCH(int, launches);
    QFETCH(QString, log);

    const bool gone = attributes == QLatin1String("-");
    QDomDocument document = databaseWithConnection(gone ? QString() : attributes);
    QDomElement connection = connectionNamed(document, QStringLiteral("C"));
    if (gone)
        connection.parentNode().removeChild(connection);
    OsdWindow osd(document);
    osd.unit.sim().editSection(QStringLiteral("network"), [link](QJsonObject& network) {
        QJsonObject facts = network.value("eth0").toObject();
        facts.insert("up", link == 1);
        facts.insert("running", link != 0);
        if (link == 0)
            facts.remove("address");
        network.insert("eth0", facts);
    });
    if (!failing.isEmpty())
        osd.unit.sim().setFailure(failing, 1);
    const int boxesBefore = answeredBoxes().size();
    const ModalAnswerPtr answer
        = box.isEmpty() ? ModalAnswerPtr() : answerNextBox(box.section('|', 0, 0), QMessageBox::Ok);
    osd.connect(QStringLiteral("C"));

    if (answer) {
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->title + '|' + answer->text, box);
    }
    QCOMPARE(answeredBoxes().size(), boxesBefore + (box.isEmpty() ? 0 : 1));
    QCOMPARE(osd.unit.launches().size(), launches);
    QVERIFY(!osd.unit.exists(QStringLiteral("/tmp/WAS_CONNECTED")));
    QCoreApplication::processEvents();
    QVERIFY(osd.window->isVisible());
    QVERIFY(log.isEmpty() || osd.unit.hasLog(3, log));
}

void TestConnections::relaunchHotKey_data()
{
    QTest::addColumn<QByteArray>("script"); // null: no relaunch script
    QTest::addColumn<QString>("hotKey"); // the stored setting
    QTest::addColumn<QString>("number"); // null: the start-up refresh from the setting
    QTest::addColumn<QByteArray>("expected"); // null: still no script
    const auto row = [](const char* name, const QByteArray& script, const char* hotKey, const char* number,
                         const QByteArray& expected) {
        QTest::newRow(name) << script << QString(hotKey) << QString(number) << expected;
    };

    const QByteArray head = "/usr/bin/connection_control --type via_tx --name 'Desk' --host '1.2.3.4'";
    row("Alt-Alt replaces the number", head + " --hotkey 1 &", "", "2", head + " --hotkey 2 &");
    row("inserted before the ampersand", head + " &", "", "2", head + " --hotkey 2 &");
    row("no hot-key removes the argument", head + " --hotkey 1 &", "", "", head + " &");
    row("a quoted look-alike in a value is left alone", "cc --name '-''-hotkey' 7 --hotkey 1 &", "", "4",
        "cc --name '-''-hotkey' 7 --hotkey 4 &");
    row("only a number goes into the script", head + " --hotkey 1 &", "", "1;reboot", head + " --hotkey 1 &");
    row("no saved session: no script is made", QByteArray(), "", "2", QByteArray());
    row("an empty script stays empty", "", "", "2", "");
    row("start-up refresh, Mouse Left+Right", head + " --hotkey 0 &", "Mouse Left+Right", nullptr,
        head + " --hotkey 4 &");
    row("start-up refresh, unknown setting is 0", head + " --hotkey 2 &", "F12", nullptr,
        head + " --hotkey 0 &");
}

void TestConnections::relaunchHotKey()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, hotKey);
    QFETCH(QString, number);
    QFETCH(QByteArray, expected);

    QDomDocument document = databaseWithUsers();
    setUnitSetting(document, db::HotKey, db::Hotkey, hotKey);
    OsdWindow osd(document);
    const QString path = QStringLiteral("/tmp/prevConnection.sh");
    QFile::remove(osd.unit.path(path));
    if (!script.isNull())
        osd.unit.writeFile(path, script);
    if (number.isNull())
        osd.window->syncRelaunchHotKey();
    else
        osd.window->setRelaunchHotKey(number);

    QCOMPARE(osd.unit.exists(path), !expected.isNull());
    QCOMPARE(osd.unit.readFile(path), expected);
}

VELMO_TEST_MAIN(TestConnections)
#include "test_connections.moc"
