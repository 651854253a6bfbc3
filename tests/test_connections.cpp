// Starting a connection: which launcher runs with which arguments, what the OSD
// records and whether it gives the screen up; and the hot-key in the relaunch script.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "connections/connectiontab.h"
#include "database.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// "Key=Value;Key=Value" onto a new connection "C" that admin may use.
QDomDocument databaseWithConnection(const QString& attributes)
{
    QDomDocument document = databaseWithUsers();
    QDomElement connection = document.createElement(db::Connection);
    connection.setAttribute(db::Name, QStringLiteral("C"));
    for (const QString& pair : attributes.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        connection.setAttribute(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    const QDomElement root = document.documentElement();
    root.firstChildElement(db::Connections).appendChild(connection);
    QDomElement association = document.createElement(db::AssociatedConnections);
    association.setAttribute(db::ConnectionName, QStringLiteral("C"));
    root.firstChildElement(db::Users).firstChildElement(db::User).appendChild(association);
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

// The unit logged on as admin with the given database, the window shown.
struct Osd {
    explicit Osd(const QDomDocument& document, const std::function<void(TestUnit&)>& prepare = {})
    {
        installDatabase(unit, document);
        if (prepare)
            prepare(unit);
        window = std::make_unique<MainWindow>(unit.platform(), nullptr, &user);
        if (!window->connectionTab) {
            window->connectionTab = new ConnectionTab(window.get());
            window->connectionTab->attach();
        }
        window->connectionTab->fillConnectionList();
        window->show();
        QCoreApplication::processEvents();
        unit.clearRecords();
    }

    void connect(const QString& name = QStringLiteral("C"))
    {
        auto* list = window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"));
        const auto rows = list->findItems(name, Qt::MatchExactly);
        if (!rows.isEmpty())
            list->setCurrentItem(rows.first());
        window->findChild<QPushButton*>(QStringLiteral("connectButton"))->click();
        QCoreApplication::processEvents();
    }

    TestUnit unit;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

QJsonArray jsonArray(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).array();
}

} // namespace

class TestConnections : public QObject {
    Q_OBJECT

private slots:
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
    QTest::addColumn<QString>("timer"); // Connection_inactivity_Timer; null: no group
    QTest::addColumn<bool>("userServiceFails");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QByteArray>("arguments");

    const QString rdp = QStringLiteral("User_Name=bob;Password=pw;IP_address=10.0.0.5;Domain=corp;");
    QTest::newRow("RDP on the default port passes 0")
        << rdp + "Port=3389;Audio=Yes;NLA=Yes" << 1 << QString() << false << "create_vm_connection"
        << QByteArray(R"(["C","admin","bob","pw","10.0.0.5",1,"corp",0,0,0,1])");
    QTest::newRow("RDP on another port, view only and USB")
        << rdp + "Port=3390;ViewOnly=Yes;USB_Redirection=Yes" << 1 << QString() << false
        << "create_vm_connection" << QByteArray(R"(["C","admin","bob","pw","10.0.0.5",0,"corp",1,3390,1,0])");
    QTest::newRow("RDP with an empty port")
        << rdp + "Port=" << 1 << QString() << false << "create_vm_connection"
        << QByteArray(R"(["C","admin","bob","pw","10.0.0.5",0,"corp",0,0,0,0])");
    QTest::newRow("RDP port that is no number")
        << rdp + "Port=33a9" << 1 << QString() << false << "create_vm_connection"
        << QByteArray(R"(["C","admin","bob","pw","10.0.0.5",0,"corp",0,0,0,0])");
    QTest::newRow("an over-long text is cut, not overrun")
        << "IP_address=" + QString(300, QLatin1Char('h')) << 1 << QString() << false << "create_vm_connection"
        << QByteArray(R"(["C","admin","","",")") + QByteArray(255, 'h') + QByteArray(R"(",0,"",0,0,0,0])");

    const QString tx = QStringLiteral("viaTX=true;IP_address=192.168.1.22;");
    QTest::newRow("transmitter, extended desktop on a single head")
        << tx + "ExtDesk=Yes;Connection_type=Shared;Persistent=true;Audio=Yes" << 1 << "15" << false
        << "create_via_tx_connection" << QByteArray(R"(["C","192.168.1.22",1,0,15,"admin",1,1,0,0])");
    QTest::newRow("transmitter, extended desktop on a dual head")
        << tx + "ExtDesk=Yes;ViewOnly=Yes;USB_Redirection=Yes;Persistent=false" << 2 << "0" << false
        << "create_via_tx_connection" << QByteArray(R"(["C","192.168.1.22",0,1,0,"admin",0,0,1,1])");
    QTest::newRow("transmitter, logged-on user unknown to the unit")
        << tx << 1 << "5" << true << "create_via_tx_connection"
        << QByteArray(R"(["C","192.168.1.22",0,0,5,"Unknown",0,0,0,0])");
    QTest::newRow("transmitter wins over SSH")
        << tx + "type=SSH" << 1 << QString() << false << "create_via_tx_connection"
        << QByteArray(R"(["C","192.168.1.22",0,0,0,"admin",0,0,0,0])");
    QTest::newRow("KVM") << "type=KVM;IP_address=10.1.1.1;Connection_type=Shared;Persistent=true;Audio=Yes"
                         << 2 << "30" << false << "create_via_kvm_connection"
                         << QByteArray(R"(["C","10.1.1.1",1,0,30,"admin",1,1])");
    QTest::newRow("Horizon") << "Horizon=true;User_Name=hu;Password=hp;IP_address=h.example" << 1 << QString()
                             << false << "create_horizon_connection"
                             << QByteArray(R"(["hu","hp","h.example"])");
    QTest::newRow("Broker \"true\" is not a broker")
        << "Broker=true;Horizon=true;IP_address=h" << 1 << QString() << false << "create_horizon_connection"
        << QByteArray(R"(["","","h"])");
    QTest::newRow("SSH keeps the password out")
        << "type=SSH;User_Name=root;Password=secret;IP_address=s;Port=22" << 1 << QString() << false
        << "create_ssh_connection" << QByteArray(R"(["root","","s",22])");
    QTest::newRow("VNC") << "type=VNC;Password=vp;IP_address=v;Port=5901" << 1 << QString() << false
                         << "create_vnc_connection" << QByteArray(R"(["vp","v",5901])");
    QTest::newRow("pool with an address, also via a transmitter: RDP to the pool host")
        << "Pool=true;viaTX=true;IP_address=10.0.0.9;User_Name=pu;Port=3390" << 1 << QString() << false
        << "create_vm_connection" << QByteArray(R"(["C","admin","pu","","10.0.0.9",0,"",0,3390,0,0])");
    QTest::newRow("broker: RDP to the broker with its credentials and flags")
        << "Broker=Yes;IP_address=br;User_Name=bu;Password=bp;Domain=bd;Port=3389;Load_Bal=tsv://x;"
           "NLA=Yes;Audio=Yes;USB_Redirection=Yes;ViewOnly=Yes"
        << 1 << QString() << false << "create_vm_connection"
        << QByteArray(R"(["C","admin","bu","bp","br",1,"bd",1,0,1,1])");
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
    Osd osd(document, [heads](TestUnit& unit) {
        unit.sim().editSection(
            QStringLiteral("board"), [heads](QJsonObject& board) { board.insert("heads", heads); });
    });
    if (userServiceFails)
        osd.unit.sim().setFailure(QStringLiteral("su_get_logged_in_user"), 1);
    // A record of an earlier, longer session must not leave its tail behind.
    osd.unit.writeFile(
        QStringLiteral("/tmp/WAS_CONNECTED"), "administrator\nA much longer connection name\n");
    osd.connect();

    const QList<QJsonObject> launches = osd.unit.launches();
    QCOMPARE(launches.size(), 1);
    QCOMPARE(launches.first().value("call").toString(), call);
    QCOMPARE(launches.first().value("args").toArray(), jsonArray(arguments));
    QCOMPARE(osd.unit.readFile(QStringLiteral("/tmp/WAS_CONNECTED")), QByteArray("admin\nC\n"));
    QTRY_VERIFY(!osd.window->isVisible());
}

void TestConnections::notStarted_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("eth0"); // "up" or "down"
    QTest::addColumn<QString>("failing"); // launcher made to fail
    QTest::addColumn<bool>("inDatabase");
    QTest::addColumn<QString>("title"); // empty: no box
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("launches");
    QTest::addColumn<QString>("log");

    QTest::newRow("link down, no address")
        << "viaTX=true"
        << "down" << QString() << true << "Network Status"
        << "Connection failed. DHCP server not found." << 0
        << "ConnectionManager: Action Connect terminated due to DHCP server "
           "not found..\n";
    QTest::newRow("launcher refuses: no box, stays")
        << "viaTX=true"
        << "up"
        << "create_via_tx_connection" << true << QString() << QString() << 1 << QString();
    QTest::newRow("listed but gone from the database") << ""
                                                       << "up" << QString() << false << "Information"
                                                       << "Could not create connection." << 0 << QString();
    QTest::newRow("pool without an address")
        << "Pool=true"
        << "up" << QString() << true << "Information"
        << "The pool connection 'C' has no address and cannot be started." << 0 << QString();
    QTest::newRow("broker without an address")
        << "Broker=Yes;User_Name=u"
        << "up" << QString() << true << "Information"
        << "The broker connection 'C' has no broker address and cannot be started." << 0 << QString();
}

void TestConnections::notStarted()
{
    QFETCH(QString, attributes);
    QFETCH(QString, eth0);
    QFETCH(QString, failing);
    QFETCH(bool, inDatabase);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, launches);
    QFETCH(QString, log);

    QDomDocument document = databaseWithConnection(attributes);
    if (!inDatabase) {
        QDomElement connections = document.documentElement().firstChildElement(db::Connections);
        connections.removeChild(connections.lastChildElement(db::Connection));
    }
    Osd osd(document);
    osd.unit.sim().editSection(QStringLiteral("network"), [&eth0](QJsonObject& network) {
        QJsonObject facts = network.value("eth0").toObject();
        facts.insert("up", eth0 == QLatin1String("up"));
        facts.insert("running", eth0 == QLatin1String("up"));
        network.insert("eth0", facts);
    });
    if (!failing.isEmpty())
        osd.unit.sim().setFailure(failing, 1);
    const int boxesBefore = answeredBoxes().size();
    const ModalAnswerPtr answer = title.isEmpty() ? ModalAnswerPtr() : answerNextBox(title, QMessageBox::Ok);
    osd.connect();

    if (answer) {
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, text);
    }
    QCOMPARE(answeredBoxes().size(), boxesBefore + (title.isEmpty() ? 0 : 1));
    QCOMPARE(osd.unit.launches().size(), launches);
    QVERIFY(!osd.unit.exists(QStringLiteral("/tmp/WAS_CONNECTED")));
    QCoreApplication::processEvents();
    QVERIFY(osd.window->isVisible());
    if (!log.isEmpty())
        QVERIFY(osd.unit.hasLog(3, log));
}

void TestConnections::relaunchHotKey_data()
{
    QTest::addColumn<QByteArray>("script"); // null: no relaunch script
    QTest::addColumn<QString>("hotKey"); // the stored setting
    QTest::addColumn<QString>("number"); // null: the start-up refresh from the setting
    QTest::addColumn<QByteArray>("expected"); // null: still no script

    const QByteArray head = "/usr/bin/connection_control --type via_tx --name 'Desk' --host '1.2.3.4'";
    QTest::newRow("Alt-Alt replaces the number") << head + " --hotkey 1 &"
                                                 << ""
                                                 << "2" << head + " --hotkey 2 &";
    QTest::newRow("inserted before the ampersand") << head + " &"
                                                   << ""
                                                   << "2" << head + " --hotkey 2 &";
    QTest::newRow("no hot-key removes the argument") << head + " --hotkey 1 &"
                                                     << ""
                                                     << "" << head + " &";
    QTest::newRow("a quoted look-alike in a value is left alone")
        << QByteArray("cc --name '-''-hotkey' 7 --hotkey 1 &") << ""
        << "4" << QByteArray("cc --name '-''-hotkey' 7 --hotkey 4 &");
    QTest::newRow("only a number goes into the script") << head + " --hotkey 1 &"
                                                        << ""
                                                        << "1;reboot" << head + " --hotkey 1 &";
    QTest::newRow("no saved session: no script is made") << QByteArray() << ""
                                                         << "2" << QByteArray();
    QTest::newRow("an empty script stays empty") << QByteArray("") << ""
                                                 << "2" << QByteArray("");
    QTest::newRow("start-up refresh, Mouse Left+Right")
        << head + " --hotkey 0 &"
        << "Mouse Left+Right" << QString() << head + " --hotkey 4 &";
    QTest::newRow("start-up refresh, unknown setting is 0") << head + " --hotkey 2 &"
                                                            << "F12" << QString() << head + " --hotkey 0 &";
}

void TestConnections::relaunchHotKey()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, hotKey);
    QFETCH(QString, number);
    QFETCH(QByteArray, expected);

    QDomDocument document = databaseWithUsers();
    setUnitSetting(document, db::HotKey, db::Hotkey, hotKey);
    Osd osd(document);
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
