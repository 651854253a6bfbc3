// The connection list of the logged-on user, its filter, buttons and limits,
// removing connections, and the broker settings dialog.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "connections/connectionsettings.h"
#include "connections/connectiontab.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "platform/platform.h"
#include "testmain.h"
#include "testunit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

namespace {

QDomElement section(const QDomDocument& document, const char* name)
{
    return document.documentElement().firstChildElement(name);
}

QDomElement userElement(const QDomDocument& document, const QString& name)
{
    for (QDomElement user = section(document, db::Users).firstChildElement(db::User); !user.isNull();
         user = user.nextSiblingElement(db::User))
        if (user.attribute(db::UserName) == name)
            return user;
    return QDomElement();
}

void addConnection(QDomDocument& document, const QString& name, const QString& type = QString())
{
    QDomElement connection = document.createElement(db::Connection);
    connection.setAttribute(db::Name, name);
    if (!type.isNull())
        connection.setAttribute(db::ConnectionType, type);
    section(document, db::Connections).appendChild(connection);
}

void associate(QDomDocument& document, const QString& user, const QString& connection)
{
    QDomElement association = document.createElement(db::AssociatedConnections);
    association.setAttribute(db::ConnectionName, connection);
    userElement(document, user).appendChild(association);
}

// A database whose admin may use no connection at all.
QDomDocument bareDatabase()
{
    QDomDocument document = databaseWithUsers();
    QDomElement admin = userElement(document, QStringLiteral("admin"));
    admin.removeChild(admin.firstChildElement(db::AssociatedConnections));
    QDomElement connections = section(document, db::Connections);
    connections.removeChild(connections.firstChildElement(db::Connection));
    return document;
}

struct Osd {
    explicit Osd(QDomDocument document, bool managed = false)
    {
        if (managed)
            addReceiver(document, unit.platform().eth0().hardwareAddress);
        installDatabase(unit, document);
        window = std::make_unique<MainWindow>(unit.platform(), nullptr, &user);
        if (!window->connectionTab) {
            window->connectionTab = new ConnectionTab(window.get());
            window->connectionTab->attach();
        }
        tab()->fillConnectionList();
        window->show();
        QCoreApplication::processEvents();
    }

    ConnectionTab* tab() { return window->connectionTab; }
    template <typename T> T* get(const char* name)
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    QStringList entries()
    {
        QStringList names;
        auto* list = get<QListWidget>("listWidgetVM");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    QDomDocument stored() // what copy A holds now
    {
        QDomDocument document;
        document.setContent(unit.readFile(DatabaseStorage::copyAPath));
        return document;
    }

    TestUnit unit;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

QStringList names(const QString& prefix, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << prefix + QString::number(i);
    return list;
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
}

} // namespace

class TestConnectionTab : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void listAndLimit_data();
    void listAndLimit();
    void filter_data();
    void filter();
    void buttons_data();
    void buttons();
    void remove_data();
    void remove();
    void broker_data();
    void broker();
};

void TestConnectionTab::listAndLimit_data()
{
    QTest::addColumn<bool>("managed");
    QTest::addColumn<int>("shown");
    QTest::newRow("unmanaged unit stops at 32") << false << 32;
    QTest::newRow("managed unit shows all") << true << 41;
}

void TestConnectionTab::listAndLimit()
{
    QFETCH(bool, managed);
    QFETCH(int, shown);
    QDomDocument document = bareDatabase();
    // An association whose connection is gone still lists, with the private icon.
    const QStringList all = QStringList { "missing" } + names(QStringLiteral("c"), 40);
    for (const QString& name : all) {
        if (name != QLatin1String("missing"))
            addConnection(document, name,
                name == QLatin1String("c0")       ? "Shared"
                    : name == QLatin1String("c1") ? "Private"
                                                  : QString());
        associate(document, QStringLiteral("admin"), name);
    }
    addConnection(document, QStringLiteral("notMine"));
    associate(document, QStringLiteral("boss"), QStringLiteral("notMine"));
    Osd osd(document, managed);

    QCOMPARE(osd.entries(), all.mid(0, shown));
    auto* list = osd.get<QListWidget>("listWidgetVM");
    const QImage shared = iconImage(QIcon(QStringLiteral(":/icons/icons/sharedConn.png")));
    const QImage personal = iconImage(QIcon(QStringLiteral(":/icons/icons/privateConn.png")));
    QVERIFY(shared != personal);
    QCOMPARE(iconImage(list->item(1)->icon()), shared);
    for (int row : { 0, 2, 3 })
        QCOMPARE(iconImage(list->item(row)->icon()), personal);
}

void TestConnectionTab::filter_data()
{
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");
    const QStringList all { "alphaBeta", "betaGamma", "delta" };
    QTest::newRow("unmanaged: anywhere, any case")
        << false << "BETA" << QStringList { "alphaBeta", "betaGamma" };
    QTest::newRow("managed: only the start") << true << "BETA" << QStringList { "betaGamma" };
    QTest::newRow("no match") << false << "zeta" << QStringList();
    QTest::newRow("emptied filter shows all again") << true << "" << all;
}

void TestConnectionTab::filter()
{
    QFETCH(bool, managed);
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    QDomDocument document = bareDatabase();
    for (const char* name : { "alphaBeta", "betaGamma", "delta" }) {
        addConnection(document, QLatin1String(name));
        associate(document, QStringLiteral("admin"), QLatin1String(name));
    }
    Osd osd(document, managed);
    auto* field = osd.get<QLineEdit>("lineEditFilterConnections");
    QTest::keyClicks(field, QStringLiteral("x"));
    field->clear();
    QTest::keyClicks(field, text);

    QCOMPARE(osd.entries(), shown);
}

void TestConnectionTab::buttons_data()
{
    QTest::addColumn<int>("mine"); // connections admin may use
    QTest::addColumn<int>("others"); // further connections in the database
    QTest::addColumn<QString>("enabled"); // of connect, edit, remove, new
    QTest::addColumn<QString>("message"); // shown when New is pressed; empty: the editor opens
    const QString limit = QStringLiteral("The maximum number of connections is limited to 32. Remove any "
                                         "connection before adding new connection.");
    QTest::newRow("no connections") << 0 << 5 << "0001" << QString();
    QTest::newRow("one below the limit") << 1 << 30 << "1111" << QString();
    QTest::newRow("at the limit") << 2 << 30 << "1110" << limit;
    QTest::newRow("at the limit without own connections") << 0 << 32 << "0001" << limit;
}

void TestConnectionTab::buttons()
{
    QFETCH(int, mine);
    QFETCH(int, others);
    QFETCH(QString, enabled);
    QFETCH(QString, message);
    QDomDocument document = bareDatabase();
    for (const QString& name : names(QStringLiteral("m"), mine)) {
        addConnection(document, name);
        associate(document, QStringLiteral("admin"), name);
    }
    for (const QString& name : names(QStringLiteral("o"), others))
        addConnection(document, name);
    Osd osd(document);

    QString state;
    for (const char* name :
        { "connectButton", "editConnectionButton", "removeConnectionButton", "newConnectionButton" })
        state += osd.get<QPushButton>(name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(state, enabled);

    // Pressing New: the limit message, or the editor (closed again at once).
    const ModalAnswerPtr answer = message.isEmpty()
        ? answerNextBox(QStringLiteral("New Connection"), QMessageBox::Cancel)
        : answerNextBox(QStringLiteral("Information"), QMessageBox::Ok);
    osd.tab()->on_btnNewConnection_Clicked();
    QVERIFY(waitForAnswer(answer));
    if (!message.isEmpty())
        QCOMPARE(answer->text, message);
}

void TestConnectionTab::remove_data()
{
    QTest::addColumn<QString>("how"); // "name", "yes", "cancel"
    QTest::addColumn<bool>("removed");
    QTest::newRow("by name") << "name" << true;
    QTest::newRow("asked, confirmed") << "yes" << true;
    QTest::newRow("asked, cancelled") << "cancel" << false;
}

void TestConnectionTab::remove()
{
    QFETCH(QString, how);
    QFETCH(bool, removed);
    QDomDocument document = bareDatabase();
    for (const char* name : { "A", "B", "Pool" })
        addConnection(document, QLatin1String(name));
    QDomElement pool = section(document, db::Connections).lastChildElement(db::Connection);
    pool.setAttribute(db::ViaTxPool, QStringLiteral("true"));
    for (const char* member : { "A", "B", "A" }) {
        QDomElement child = document.createElement(QStringLiteral("Member"));
        child.setAttribute(db::TargetName, QLatin1String(member));
        pool.appendChild(child);
    }
    for (const char* user : { "admin", "boss" }) {
        associate(document, QLatin1String(user), QStringLiteral("B"));
        associate(document, QLatin1String(user), QStringLiteral("A"));
    }
    Osd osd(document);
    const QByteArray before = osd.unit.readFile(DatabaseStorage::copyAPath);
    osd.get<QListWidget>("listWidgetVM")->setCurrentRow(1);

    bool result = false;
    if (how == QLatin1String("name")) {
        result = osd.tab()->removeConnection(QStringLiteral("A"));
    } else {
        const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Remove connection"),
            how == QLatin1String("yes") ? QMessageBox::Yes : QMessageBox::Cancel);
        osd.get<QPushButton>("removeConnectionButton")->click();
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, QStringLiteral("Do you want to remove connection 'A' ?"));
        result = removed;
        QVERIFY(osd.unit.hasLog(6, QStringLiteral("MainWindow: Action Remove Connection.\n")));
    }
    QCOMPARE(result, removed);
    if (!removed) {
        QCOMPARE(osd.unit.readFile(DatabaseStorage::copyAPath), before);
        QCOMPARE(osd.entries(), QStringList({ "B", "A" }));
        return;
    }

    const QDomDocument stored = osd.stored();
    QCOMPARE(databaseText(stored), databaseText(osd.window->document()));
    QStringList left;
    for (QDomElement c = section(stored, db::Connections).firstChildElement(); !c.isNull();
         c = c.nextSiblingElement())
        left << c.attribute(db::Name);
    QCOMPARE(left, QStringList({ "B", "Pool" }));
    const QDomElement storedPool = section(stored, db::Connections).lastChildElement();
    QCOMPARE(storedPool.childNodes().count(), 1);
    QCOMPARE(storedPool.firstChildElement().attribute(db::TargetName), QStringLiteral("B"));
    for (const char* user : { "admin", "boss" }) {
        const QDomElement element = userElement(stored, QLatin1String(user));
        QCOMPARE(element.elementsByTagName(db::AssociatedConnections).count(), 1);
        QCOMPARE(element.firstChildElement(db::AssociatedConnections).attribute(db::ConnectionName),
            QStringLiteral("B"));
    }
    QCOMPARE(osd.entries(), QStringList({ "B" }));
    QVERIFY(osd.window->storage().verifyChecksumFile(DatabaseStorage::copyAPath));
    QCOMPARE(osd.unit.readFile(DatabaseStorage::copyBPath), before); // the other copy holds the state before
}

namespace {

using Record = QStringList; // the eight broker texts in their stored order
const char* const brokerNames[] = { db::ConViaActiveDir, db::ConViaBroker, db::VmResourse, db::WebAccessAddr,
    db::ConBrokerIp, db::Domain, db::DefaultBrokerIp, db::LoadBalInfo };

QDomDocument databaseWithBroker(const Record& record)
{
    QDomDocument document = databaseWithUsers();
    QDomElement broker = section(document, db::UnitSettings).firstChildElement(db::BrokerGroup);
    for (int i = 0; i < 8; ++i)
        broker.setAttribute(QLatin1String(brokerNames[i]), record.at(i));
    return document;
}

Record storedBroker(const QDomDocument& document)
{
    const QDomElement broker = section(document, db::UnitSettings).firstChildElement(db::BrokerGroup);
    Record record;
    for (const char* name : brokerNames)
        record << broker.attribute(QLatin1String(name));
    return record;
}

// Enabled state of web address, broker address, domain, load balance (fields and labels must agree)
// and of the two boxes, then their checked state: "1111 11 00".
QString brokerState(ConnectionSettings& dialog)
{
    QString state;
    const std::pair<const char*, const char*> fields[]
        = { { "LineEditWebUrl", "txWebUrl" }, { "lineEditConBrokerIP", "txConBrokerIP" },
              { "lineEditDomain", "txDomain" }, { "lineEditLoadBal", "txLoadBal" } };
    for (const auto& field : fields) {
        const bool enabled = dialog.findChild<QLineEdit*>(QLatin1String(field.first))->isEnabled();
        if (dialog.findChild<QLabel*>(QLatin1String(field.second))->isEnabled() != enabled)
            return QStringLiteral("label out of step: ") + QLatin1String(field.second);
        state += enabled ? QLatin1Char('1') : QLatin1Char('0');
    }
    auto* web = dialog.findChild<QCheckBox*>(QStringLiteral("checkBoxConnActiveDir"));
    auto* broker = dialog.findChild<QCheckBox*>(QStringLiteral("checkBoxConViaBroker"));
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
    QTest::addColumn<Record>("stored"); // after Save
    const Record none { "false", "false", "2", "", "", "", "", "" };
    const Record brokerSet { "false", "true", "2", "", "cb.corp", "CORP", "kept", "tsv://lb" };
    QTest::newRow("broker unticked: false, false and four empty texts")
        << brokerSet << "0111 01 01"
        << "broker"
        << "0000 11 00" << Record { "false", "false", "2", "", "", "", "kept", "" };
    QTest::newRow("broker kept as it was") << brokerSet << "0111 01 01"
                                           << ""
                                           << "0111 01 01" << brokerSet;
    QTest::newRow("web access ticked: load balance dropped")
        << none << "0000 11 00"
        << "web"
        << "1110 10 10" << Record { "true", "false", "2", "typed", "typed", "typed", "", "" };
    QTest::newRow("broker ticked: web address dropped")
        << none << "0000 11 00"
        << "broker"
        << "0111 01 01" << Record { "false", "true", "2", "", "typed", "typed", "", "typed" };
    QTest::newRow("web access unticked")
        << Record { "true", "false", "2", "w", "b", "d", "", "" } << "1110 10 10"
        << "web"
        << "0000 11 00" << none;
    QTest::newRow("web access wins when both are stored; unknown resource count is pool")
        << Record { "true", "true", "9", "w", "b", "d", "", "" } << "1110 10 10"
        << ""
        << "1110 10 10" << Record { "true", "false", "1", "w", "b", "d", "", "" };
}

void TestConnectionTab::broker()
{
    QFETCH(Record, record);
    QFETCH(QString, opened);
    QFETCH(QString, click);
    QFETCH(QString, after);
    QFETCH(Record, stored);
    Osd osd(databaseWithBroker(record));
    ConnectionSettings dialog(osd.window.get());
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("lineEditConBrokerIP"))->text(), record.at(4));
    QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("radioButtonPool"))->isHidden());
    QCOMPARE(brokerState(dialog), opened);
    if (!click.isEmpty()) {
        dialog
            .findChild<QCheckBox*>(click == QLatin1String("web") ? QStringLiteral("checkBoxConnActiveDir")
                                                                 : QStringLiteral("checkBoxConViaBroker"))
            ->click();
        for (QLineEdit* field : dialog.findChildren<QLineEdit*>())
            if (field->isEnabled()) {
                field->clear();
                QTest::keyClicks(field, QStringLiteral("typed"));
            }
    }
    QCOMPARE(brokerState(dialog), after);

    const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Broker Settings"), QMessageBox::Ok);
    dialog.findChild<QPushButton*>(QStringLiteral("txApplyButton"))->click();
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->text, QStringLiteral("Broker Settings Saved."));
    QCOMPARE(storedBroker(osd.stored()), stored);
    QVERIFY(osd.window->storage().verifyChecksumFile(DatabaseStorage::copyAPath));
}

VELMO_TEST_MAIN(TestConnectionTab)
#include "test_connectiontab.moc"
