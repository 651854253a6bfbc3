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

class TestConnections : public QObject {
    Q_OBJECT

private slots:
    void doubleClickConnectsAndRestartSelectsIt();
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void start_data();
    void start();
    void relaunchHotKey_data();
    void relaunchHotKey();
};

void TestConnections::start_data()
{
    QTest::addColumn<QString>("attributes"); // of "C"; "-": listed but gone from the database
    // "heads=2;timer=15;userFails;link=0;fails=call": unit and database facts; link 0 is down,
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
    row("transmitter wins over SSH; user unknown to the unit", viaTx + "type=SSH", "timer=5;userFails", tx + R"(["C","192.168.1.22",0,0,5,"Unknown",0,0,0,0])");
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
    for (const auto& launcher : launchers) {
        for (const auto& flag : launcher.flags) {
            QJsonArray arguments = QJsonDocument::fromJson(launcher.arguments).array();
            arguments[flag.second] = 1;
            row(qPrintable(launcher.call + "with only " + flag.first),
                QLatin1String(launcher.attributes) + ';' + flag.first, "heads=2",
                launcher.call + QJsonDocument(arguments).toJson(QJsonDocument::Compact));
        }
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

    osd.restart();
    list = osd.window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
    QVERIFY(list->currentItem());
    QCOMPARE(list->currentItem()->text(), QStringLiteral("Desk "));
}

void TestConnections::start()
{
    QFETCH(QString, attributes);
    QFETCH(QString, unit);
    QFETCH(QString, outcome);
    QMap<QString, QString> facts;
    for (const QString& fact : unit.split(';', Qt::SkipEmptyParts))
        facts.insert(fact.section('=', 0, 0), fact.section('=', 1));

    const bool gone = attributes == QLatin1String("-");
    QDomDocument document = databaseWithUsers();
    associate(document, QStringLiteral("admin"), QStringLiteral("C"));
    if (!gone)
        addConnection(document, QStringLiteral("C"), attributes);
    if (facts.contains("timer"))
        unitSettingsGroup(document, db::ConnectionInactivityTimer).setAttribute(db::Value, facts["timer"]);
    OsdWindow osd(document, facts.value("heads", "1").toInt());
    if (facts.contains("userFails"))
        osd.unit.sim().setFailure(QStringLiteral("su_get_logged_in_user"), 1);
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
    if (answer) {
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->title + '|' + answer->text, outcome);
    }
    QCOMPARE(answeredBoxes().size(), boxesBefore + (answer ? 1 : 0));
    QCOMPARE(launches.size(), facts.contains("fails") ? 1 : 0);
    QCOMPARE(osd.unit.readFile(record), earlier);
    QCoreApplication::processEvents();
    QVERIFY(osd.window->isVisible());
    if (link != 1)
        QVERIFY(osd.unit.hasLog(3,
            link == 2 ? "ConnectionManager: Action Connect terminated due to Network is down.\n"
                      : "ConnectionManager: Action Connect terminated due to DHCP server not found..\n"));
}

void TestConnections::relaunchHotKey_data()
{
    QTest::addColumn<QByteArray>("script"); // null: no relaunch script; "->...": a link to a file elsewhere
    QTest::addColumn<QString>("hotKey"); // the stored setting
    QTest::addColumn<QString>("number"); // null: the start-up refresh from the setting
    QTest::addColumn<QByteArray>("expected"); // null: still no script
    const auto row = [](const char* name, const QByteArray& script, const char* hotKey, const char* number,
                         const QByteArray& expected) {
        QTest::newRow(name) << script << QString(hotKey) << QString(number) << expected;
    };

    const QByteArray head = "/usr/bin/connection_control --type via_tx --name 'Desk' --host '1.2.3.4'";
    // clang-format off
    row("inserted before the ampersand", head + " &", "", "2", head + " --hotkey 2 &");
    row("no hot-key removes the argument", head + " --hotkey 1 &", "", "", head + " &");
    row("a quoted look-alike in a value is left alone", "cc --name '-''-hotkey' 7 --hotkey 1 &", "", "4", "cc --name '-''-hotkey' 7 --hotkey 4 &");
    row("only a number goes into the script", head + " --hotkey 1 &", "", "1;reboot", head + " --hotkey 1 &");
    row("no saved session: no script is made", QByteArray(), "", "2", QByteArray());
    row("an empty script stays empty", "", "", "2", "");
    row("start-up refresh, Mouse Left+Right", head + " --hotkey 0 &", "Mouse Left+Right", nullptr, head + " --hotkey 4 &");
    row("a link is never followed", "->cc --hotkey 1 &", "", "2", "cc --hotkey 1 &");
    row("start-up refresh, unknown setting is 0", head + " --hotkey 2 &", "F12", nullptr, head + " --hotkey 0 &");
    // clang-format on
}

void TestConnections::relaunchHotKey()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, hotKey);
    QFETCH(QString, number);
    QFETCH(QByteArray, expected);

    QDomDocument document = databaseWithUsers();
    unitSettingsGroup(document, db::HotKey).setAttribute(db::Hotkey, hotKey);
    OsdWindow osd(document);
    const QString path = QStringLiteral("/tmp/prevConnection.sh");
    QFile::remove(osd.unit.path(path));
    QTemporaryDir elsewhere;
    const bool linked = script.startsWith("->");
    if (linked) {
        QFile victim(elsewhere.filePath(QStringLiteral("script")));
        QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write(script.mid(2)) == script.size() - 2);
        QVERIFY(QFile::link(victim.fileName(), osd.unit.path(path)));
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

VELMO_TEST_MAIN(TestConnections)
#include "test_connections.moc"
