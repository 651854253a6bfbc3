// The connection list of the logged-on user, its filter, buttons and limits,
// removing connections, and the broker settings dialog.
#include "app/mainwindow.h"
#include "connections/connectionsettings.h"
#include "connections/connectiontab.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "modal.h"
#include "storagefault.h"
#include "testmain.h"
#include "widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocumentFragment>
#include <QtTest>

#include <optional>

namespace {

QDomElement section(const QDomDocument& document, const char* name)
{
    return document.documentElement().firstChildElement(name);
}

// A database whose admin may use no connection at all, plus `mine` connections
// admin may use and `others` nobody's.
QDomDocument bareDatabase(const QStringList& mine = {}, const QStringList& others = {})
{
    QDomDocument document = databaseWithUsers();
    QDomElement admin = userNamed(document, QStringLiteral("admin"));
    admin.removeChild(admin.firstChildElement(db::AssociatedConnections));
    section(document, db::Connections).removeChild(section(document, db::Connections).firstChildElement());
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

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
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
};

// Cut short in the list; markup in it is a name's own text.
const QString wide = QStringLiteral("alpha<b>Beta</b> of the night shift, second floor");

void TestConnectionTab::list_data()
{
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown");
    // "delta" is the 33rd association: beyond what an unmanaged unit lists.
    const QStringList first32 = QStringList { "missing" } + names(QStringLiteral("x"), 29)
        + QStringList { wide, "betaGamma" };
    QTest::newRow("unmanaged unit stops at 32") << false << "" << first32;
    QTest::newRow("managed unit shows all") << true << "" << first32 + QStringList { "delta" };
    QTest::newRow("unmanaged: anywhere, any case")
        << false << "BETA" << QStringList { wide, "betaGamma" };
    QTest::newRow("managed: only the start") << true << "BETA" << QStringList { "betaGamma" };
    QTest::newRow("unmanaged: beyond the limit stays hidden") << false << "delta" << QStringList();
    QTest::newRow("managed: nothing is beyond") << true << "delta" << QStringList { "delta" };
}

void TestConnectionTab::list()
{
    QFETCH(bool, managed);
    QFETCH(QString, filter);
    QFETCH(QStringList, shown);
    QDomDocument document = bareDatabase(QStringList { "missing" } + names(QStringLiteral("x"), 29)
        + QStringList { wide, "betaGamma", "delta" });
    // An association whose connection is gone still lists, with the private icon.
    section(document, db::Connections).removeChild(connectionNamed(document, QStringLiteral("missing")));
    connectionNamed(document, QStringLiteral("x0"))
        .setAttribute(db::ConnectionType, QStringLiteral("Shared"));
    connectionNamed(document, QStringLiteral("x1"))
        .setAttribute(db::ConnectionType, QStringLiteral("Private"));
    addConnection(document, QStringLiteral("notMine"));
    associate(document, QStringLiteral("boss"), QStringLiteral("notMine"));
    OsdWindow osd(document, 1, managed);
    // Typed and cleared first: an emptied filter shows all again.
    auto* field = child<QLineEdit>(*osd.window, "lineEditFilterConnections");
    QTest::keyClicks(field, QStringLiteral("x"));
    field->clear();
    QTest::keyClicks(field, filter);
    QCOMPARE(osd.entries(), shown);
    auto* list = child<QListWidget>(*osd.window, "listWidgetVM");
    for (int row = 0; row < list->count(); ++row) // the whole name, as a tip reads it
        QCOMPARE(QTextDocumentFragment::fromHtml(list->item(row)->toolTip()).toPlainText(), list->item(row)->text());

    if (!filter.isEmpty())
        return;
    const QImage shared = iconImage(QIcon(QStringLiteral(":/icons/icons/sharedConn.png")));
    const QImage personal = iconImage(QIcon(QStringLiteral(":/icons/icons/privateConn.png")));
    QCOMPARE(iconImage(list->item(1)->icon()), shared);
    for (int row : { 0, 2, 3 })
        QCOMPARE(iconImage(list->item(row)->icon()), personal);
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
    QTest::newRow("no connections") << 0 << 5 << "0001" << add << QString();
    QTest::newRow("one below the limit") << 2 << 29 << "1111" << add << QString();
    QTest::newRow("at the limit") << 2 << 30 << "1110" << add << limit;
    QTest::newRow("at the limit without own connections") << 0 << 32 << "0001" << add << limit;
    QTest::newRow("renamed in the editor") << 3 << 0 << "1111"
                                           << "editConnectionButton" << QString();
}

void TestConnectionTab::buttons()
{
    QFETCH(int, mine);
    QFETCH(int, others);
    QFETCH(QString, enabled);
    QFETCH(QString, press);
    QFETCH(QString, message);
    OsdWindow osd(bareDatabase(names(QStringLiteral("m"), mine), names(QStringLiteral("o"), others)));
    auto* list = child<QListWidget>(*osd.window, "listWidgetVM");
    list->setCurrentRow(1);

    QString state;
    for (const char* name :
        { "connectButton", "editConnectionButton", "removeConnectionButton", "newConnectionButton" })
        state += child<QPushButton>(*osd.window, name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(state, enabled);

    if (!message.isEmpty()) {
        // The slot, as the button may be disabled.
        const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Information"), QMessageBox::Ok);
        osd.window->connectionTab->on_btnNewConnection_Clicked();
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, message);
        return;
    }
    const bool adding = press == QLatin1String("newConnectionButton");
    const auto saved = actOnNextDialog(adding ? "New Connection" : "Edit Connection", [&](QDialog& dialog) {
        child<QLineEdit>(dialog, adding ? "lineEditNewVMName" : "lineEditVMName")
            ->setText(QStringLiteral("z"));
        child<QPushButton>(dialog, adding ? "saveNewConnectionButton" : "saveConnectionButton")->click();
    });
    child<QPushButton>(*osd.window, press)->click();
    QVERIFY(*saved);
    QVERIFY(list->currentItem());
    QCOMPARE(list->currentItem()->text(), QStringLiteral("z"));
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
    for (const char* member : { "A", "B", "A" }) {
        QDomElement child = document.createElement(QStringLiteral("Member"));
        child.setAttribute(db::TargetName, QLatin1String(member));
        pool.appendChild(child);
    }
    for (const char* user : { "admin", "boss" }) {
        associate(document, QLatin1String(user), QStringLiteral("B"));
        associate(document, QLatin1String(user), QStringLiteral("A"));
    }
    OsdWindow osd(document);
    const QByteArray before = osd.unit.readFile(DatabaseStorage::copyAPath);
    const QByteArray inMemory = databaseText(osd.window->document());
    child<QListWidget>(*osd.window, "listWidgetVM")->setCurrentRow(1);

    if (how == QLatin1String("name")) {
        QVERIFY(osd.window->connectionTab->removeConnection(QStringLiteral("A")));
    } else {
        const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Remove connection"),
            how == QLatin1String("cancel") ? QMessageBox::Cancel : QMessageBox::Yes);
        const bool unstored = how == QLatin1String("unstored");
        const ModalAnswerPtr error = unstored ? answerNextBox("Error", QMessageBox::Ok) : ModalAnswerPtr();
        std::optional<FailNextDatabaseChange> unwritable;
        if (unstored)
            unwritable.emplace(osd.unit.path(DatabaseStorage::copyAPath));
        child<QPushButton>(*osd.window, "removeConnectionButton")->click();
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, QStringLiteral("Do you want to remove connection 'A' ?"));
        QVERIFY(osd.unit.hasLog(6, QStringLiteral("MainWindow: Action Remove Connection.\n")));
        if (unstored) {
            QVERIFY(waitForAnswer(error));
            QCOMPARE(error->text, QStringLiteral("The connection could not be removed."));
            QVERIFY(
                osd.unit.hasLog(3, "MainWindow: Can not open file: " + QString(DatabaseStorage::copyAPath)));
        }
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
    row("broker unticked: false, false and four empty texts", brokerSet, "0111 01 01", "broker", "0000 11 00",
        { "false", "false", "2", "", "", "", "kept", "" });
    row("broker kept as it was", brokerSet, "0111 01 01", "", "0111 01 01", brokerSet);
    row("web access ticked: load balance dropped", none, "0000 11 00", "web", "1110 10 10",
        { "true", "false", "2", "typed", "typed", "typed", "", "" });
    row("broker ticked: web address dropped", none, "0000 11 00", "broker", "0111 01 01",
        { "false", "true", "2", "", "typed", "typed", "", "typed" });
    row("web access unticked", { "true", "false", "2", "w", "b", "d", "", "" }, "1110 10 10", "web",
        "0000 11 00", none);
    row("web access wins when both are stored; unknown resource count is pool",
        { "true", "true", "9", "w", "b", "d", "", "" }, "1110 10 10", "", "1110 10 10",
        { "true", "false", "1", "w", "b", "d", "", "" });
    row("not stored: memory keeps the stored record", brokerSet, "0111 01 01", "broker", "0000 11 00", {});
}

void TestConnectionTab::broker()
{
    QFETCH(Record, record);
    QFETCH(QString, opened);
    QFETCH(QString, click);
    QFETCH(QString, after);
    QFETCH(Record, stored);
    QDomDocument document = databaseWithUsers();
    QDomElement group = section(document, db::UnitSettings).firstChildElement(db::BrokerGroup);
    for (int i = 0; i < 8; ++i)
        group.setAttribute(QLatin1String(brokerNames[i]), record.at(i));
    OsdWindow osd(document);
    const QByteArray inMemory = databaseText(osd.window->document());
    ConnectionSettings dialog(osd.window.get());
    QCOMPARE(child<QLineEdit>(dialog, "lineEditConBrokerIP")->text(), record.at(4));
    QVERIFY(child<QRadioButton>(dialog, "radioButtonPool")->isHidden());
    QCOMPARE(brokerState(dialog), opened);
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
    QCOMPARE(brokerState(dialog), after);

    std::optional<FailNextDatabaseChange> unwritable;
    if (stored.isEmpty())
        unwritable.emplace(osd.unit.path(DatabaseStorage::copyAPath));
    const ModalAnswerPtr answer = answerNextBox(unwritable ? "Error" : "Broker Settings", QMessageBox::Ok);
    child<QPushButton>(dialog, "txApplyButton")->click();
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->text, unwritable ? "Broker Settings could not be saved." : "Broker Settings Saved.");
    if (unwritable) { // else the next page's save would store it
        QCOMPARE(databaseText(osd.window->document()), inMemory);
        return;
    }
    const QDomElement saved = section(osd.stored(), db::UnitSettings).firstChildElement(db::BrokerGroup);
    Record now;
    for (const char* name : brokerNames)
        now << saved.attribute(QLatin1String(name));
    QCOMPARE(now, stored);
    QVERIFY(osd.window->storage().verifyChecksumFile(DatabaseStorage::copyAPath));
}

VELMO_TEST_MAIN(TestConnectionTab)
#include "test_connectiontab.moc"
