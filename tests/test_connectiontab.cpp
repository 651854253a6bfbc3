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
#include "testmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

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

template <typename T> T* get(QWidget& parent, const QString& name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

// Replaces copy A by a folder the moment the storage starts its next change, so
// that the change is applied in memory but cannot be stored.
class BreakCopyA {
public:
    explicit BreakCopyA(const QString& path)
    {
        target = path;
        previous = qInstallMessageHandler(handle);
    }
    ~BreakCopyA() { qInstallMessageHandler(previous); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (text == QLatin1String("copying db_A to db_B.") && !target.isEmpty()) {
            QFile::remove(target);
            QDir().mkpath(target);
            target.clear();
        }
        previous(type, context, text);
    }
    static inline QString target;
    static inline QtMessageHandler previous = nullptr;
};

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
    void savedConnectionIsSelected_data();
    void savedConnectionIsSelected();
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
            addConnection(document, name);
        associate(document, QStringLiteral("admin"), name);
    }
    connectionNamed(document, QStringLiteral("c0"))
        .setAttribute(db::ConnectionType, QStringLiteral("Shared"));
    connectionNamed(document, QStringLiteral("c1"))
        .setAttribute(db::ConnectionType, QStringLiteral("Private"));
    addConnection(document, QStringLiteral("notMine"));
    associate(document, QStringLiteral("boss"), QStringLiteral("notMine"));
    OsdWindow osd(document, 1, managed);

    QCOMPARE(osd.entries(), all.mid(0, shown));
    auto* list = get<QListWidget>(*osd.window, "listWidgetVM");
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
    // "delta" is the 33rd association: beyond what an unmanaged unit lists.
    QTest::newRow("unmanaged: anywhere, any case")
        << false << "BETA" << QStringList { "alphaBeta", "betaGamma" };
    QTest::newRow("managed: only the start") << true << "BETA" << QStringList { "betaGamma" };
    QTest::newRow("unmanaged: beyond the limit stays hidden") << false << "delta" << QStringList();
    QTest::newRow("managed: nothing is beyond") << true << "delta" << QStringList { "delta" };
    QTest::newRow("emptied filter shows all again")
        << false << "" << names(QStringLiteral("x"), 30) + QStringList { "alphaBeta", "betaGamma" };
}

void TestConnectionTab::filter()
{
    QFETCH(bool, managed);
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    OsdWindow osd(
        bareDatabase(names(QStringLiteral("x"), 30) + QStringList { "alphaBeta", "betaGamma", "delta" }), 1,
        managed);
    auto* field = get<QLineEdit>(*osd.window, "lineEditFilterConnections");
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
    QTest::newRow("no connections") << 0 << 5 << QStringLiteral("0001") << QString();
    QTest::newRow("one below the limit") << 1 << 30 << QStringLiteral("1111") << QString();
    QTest::newRow("at the limit") << 2 << 30 << QStringLiteral("1110") << limit;
    QTest::newRow("at the limit without own connections") << 0 << 32 << QStringLiteral("0001") << limit;
}

void TestConnectionTab::buttons()
{
    QFETCH(int, mine);
    QFETCH(int, others);
    QFETCH(QString, enabled);
    QFETCH(QString, message);
    OsdWindow osd(bareDatabase(names(QStringLiteral("m"), mine), names(QStringLiteral("o"), others)));

    QString state;
    for (const char* name :
        { "connectButton", "editConnectionButton", "removeConnectionButton", "newConnectionButton" })
        state += get<QPushButton>(*osd.window, name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(state, enabled);

    // Pressing New: the limit message, or the editor (closed again at once).
    const ModalAnswerPtr answer = message.isEmpty()
        ? answerNextBox(QStringLiteral("New Connection"), QMessageBox::Cancel)
        : answerNextBox(QStringLiteral("Information"), QMessageBox::Ok);
    osd.window->connectionTab->on_btnNewConnection_Clicked();
    QVERIFY(waitForAnswer(answer));
    if (!message.isEmpty())
        QCOMPARE(answer->text, message);
}

void TestConnectionTab::savedConnectionIsSelected_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("nameField");
    QTest::addColumn<QString>("save");
    QTest::newRow("new") << "newConnectionButton" << "New Connection" << "lineEditNewVMName"
                         << "saveNewConnectionButton";
    QTest::newRow("renamed") << "editConnectionButton" << "Edit Connection" << "lineEditVMName"
                             << "saveConnectionButton";
}

void TestConnectionTab::savedConnectionIsSelected()
{
    QFETCH(QString, button);
    QFETCH(QString, title);
    QFETCH(QString, nameField);
    QFETCH(QString, save);
    OsdWindow osd(bareDatabase({ "a", "b", "c" }));
    auto* list = get<QListWidget>(*osd.window, "listWidgetVM");
    list->setCurrentRow(1);
    bool saved = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->windowTitle() != title)
            return;
        poll.stop();
        get<QLineEdit>(*dialog, nameField)->setText(QStringLiteral("z"));
        get<QPushButton>(*dialog, save)->click();
        saved = true;
    });
    poll.start(5);
    get<QPushButton>(*osd.window, button)->click();
    QVERIFY(saved);
    QVERIFY(list->currentItem());
    QCOMPARE(list->currentItem()->text(), QStringLiteral("z"));
}

void TestConnectionTab::remove_data()
{
    QTest::addColumn<QString>("how"); // "name", or asked and answered "yes", "cancel", "unstored" (yes, write fails)
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
    get<QListWidget>(*osd.window, "listWidgetVM")->setCurrentRow(1);

    if (how == QLatin1String("name")) {
        QVERIFY(osd.window->connectionTab->removeConnection(QStringLiteral("A")));
    } else {
        const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Remove connection"),
            how == QLatin1String("cancel") ? QMessageBox::Cancel : QMessageBox::Yes);
        if (how == QLatin1String("yes")) {
            get<QPushButton>(*osd.window, "removeConnectionButton")->click();
            QVERIFY(osd.unit.hasLog(6, QStringLiteral("MainWindow: Action Remove Connection.\n")));
        } else if (how == QLatin1String("cancel")) {
            QVERIFY(!osd.window->connectionTab->removeConnection(QStringLiteral("button_clicked")));
            QCOMPARE(osd.unit.readFile(DatabaseStorage::copyAPath), before);
        } else {
            const ModalAnswerPtr error = answerNextBox(QStringLiteral("Error"), QMessageBox::Ok);
            BreakCopyA broken(osd.unit.path(DatabaseStorage::copyAPath));
            QVERIFY(!osd.window->connectionTab->removeConnection(QStringLiteral("button_clicked")));
            QVERIFY(waitForAnswer(error));
            QCOMPARE(error->text, QStringLiteral("The connection could not be removed."));
            QVERIFY(osd.unit.hasLog(3, "MainWindow: Can not open file: " + QString(DatabaseStorage::copyAPath)));
        }
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, QStringLiteral("Do you want to remove connection 'A' ?"));
    }
    if (!removed) {
        QCOMPARE(databaseText(osd.window->document()), inMemory);
        QCOMPARE(osd.entries(), QStringList({ "B", "A" }));
        return;
    }

    // Gone from the list, from every user and from the pool; the other copy keeps the state before.
    const QDomDocument stored = osd.stored();
    QCOMPARE(databaseText(stored), databaseText(osd.window->document()));
    QVERIFY(connectionNamed(stored, QStringLiteral("A")).isNull());
    QCOMPARE(section(stored, db::Connections).elementsByTagName(db::Connection).count(), 2);
    const QDomElement storedPool = connectionNamed(stored, QStringLiteral("Pool"));
    QCOMPARE(storedPool.childNodes().count(), 1);
    QCOMPARE(storedPool.firstChildElement().attribute(db::TargetName), QStringLiteral("B"));
    for (const char* user : { "admin", "boss" }) {
        const QDomElement element = userNamed(stored, QLatin1String(user));
        QCOMPARE(element.elementsByTagName(db::AssociatedConnections).count(), 1);
        QCOMPARE(element.firstChildElement(db::AssociatedConnections).attribute(db::ConnectionName),
            QStringLiteral("B"));
    }
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
        const bool enabled = get<QLineEdit>(dialog, field.first)->isEnabled();
        if (get<QLabel>(dialog, field.second)->isEnabled() != enabled)
            return QStringLiteral("label out of step: ") + QLatin1String(field.second);
        state += enabled ? QLatin1Char('1') : QLatin1Char('0');
    }
    auto* web = get<QCheckBox>(dialog, "checkBoxConnActiveDir");
    auto* broker = get<QCheckBox>(dialog, "checkBoxConViaBroker");
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
    row("not stored", brokerSet, "0111 01 01", "", "0111 01 01", {});
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
    ConnectionSettings dialog(osd.window.get());
    QCOMPARE(get<QLineEdit>(dialog, "lineEditConBrokerIP")->text(), record.at(4));
    QVERIFY(get<QRadioButton>(dialog, "radioButtonPool")->isHidden());
    QCOMPARE(brokerState(dialog), opened);
    if (!click.isEmpty()) {
        get<QCheckBox>(
            dialog, click == QLatin1String("web") ? "checkBoxConnActiveDir" : "checkBoxConViaBroker")
            ->click();
        for (QLineEdit* field : dialog.findChildren<QLineEdit*>())
            if (field->isEnabled()) {
                field->clear();
                QTest::keyClicks(field, QStringLiteral("typed"));
            }
    }
    QCOMPARE(brokerState(dialog), after);

    if (stored.isEmpty()) {
        const ModalAnswerPtr error = answerNextBox(QStringLiteral("Error"), QMessageBox::Ok);
        BreakCopyA broken(osd.unit.path(DatabaseStorage::copyAPath));
        get<QPushButton>(dialog, "txApplyButton")->click();
        QVERIFY(waitForAnswer(error));
        QCOMPARE(error->text, QStringLiteral("Broker Settings could not be saved."));
        return;
    }
    const ModalAnswerPtr answer = answerNextBox(QStringLiteral("Broker Settings"), QMessageBox::Ok);
    get<QPushButton>(dialog, "txApplyButton")->click();
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->text, QStringLiteral("Broker Settings Saved."));
    const QDomElement saved = section(osd.stored(), db::UnitSettings).firstChildElement(db::BrokerGroup);
    Record now;
    for (const char* name : brokerNames)
        now << saved.attribute(QLatin1String(name));
    QCOMPARE(now, stored);
    QVERIFY(osd.window->storage().verifyChecksumFile(DatabaseStorage::copyAPath));
}

VELMO_TEST_MAIN(TestConnectionTab)
#include "test_connectiontab.moc"
