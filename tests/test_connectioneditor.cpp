#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "connections/editconnection.h"
#include "connections/newconnection.h"
#include "database.h"
#include "database/dbnames.h"
#include "logon.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using Attributes = QMap<QString, QString>;
Q_DECLARE_METATYPE(Attributes)

namespace {

const QString setA = QStringLiteral("\" ' / \\ [ ] : ; | = , + * ? < > `");
const QString setB = QStringLiteral("\" ' ; `");

// A main window on a booted unit with the users of databaseWithUsers(); its
// start-up log-on is refused so the dialogs open over a window at rest.
struct Unit {
    explicit Unit(bool dualHead = true, const QDomDocument& document = databaseWithUsers())
    {
        if (dualHead)
            test.sim().editSection(QStringLiteral("board"), [](QJsonObject& board) { board["heads"] = 2; });
        installDatabase(test, document);
        test.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), QByteArray());
        {
            const auto startUp = answerNextLogon(QString(), QString());
            window = std::make_unique<MainWindow>(test.platform(), nullptr, &user);
        }
        QTest::qWait(40); // lets the queued close of that refusal pass
        test.clearRecords();
    }

    // The database as the copy in use holds it on disk.
    QDomDocument stored() const
    {
        QDomDocument document;
        document.setContent(test.readFile(window->storage().databasePath));
        return document;
    }

    TestUnit test;
    LoggedInUser user;
    std::unique_ptr<MainWindow> window;
};

template <typename T> T* child(QWidget& dialog, const QString& name)
{
    T* found = dialog.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

// The field and option names the two dialogs use.
struct Names {
    explicit Names(bool edit)
        : name(edit ? "lineEditVMName" : "lineEditNewVMName")
        , nla(edit ? "checkBoxNLAEdit" : "checkBoxNLANew")
        , save(edit ? "saveConnectionButton" : "saveNewConnectionButton")
        , cancel(edit ? "cancelConnectionButton" : "cancelNewConnectionButton")
    {
        fields = { { "IP", edit ? "lineEditVMIPAddr" : "lineEditNewVMIPAddr" },
            { "Port", edit ? "lineEditVMPort" : "lineEditNewVMPort" }, { "User", "userNameLineEdit" },
            { "Password", edit ? "lineEditVMPassword" : "lineEditNewVMPassword" },
            { "Domain", edit ? "lineEditVMDomain" : "lineEditNewVMDomain" },
            { "LoadBal", edit ? "lineEditLoadBalEdit" : "lineEditLoadBalNew" } };
        options = { { "ViewOnly", "checkBoxViewOnly" }, { "USB", "checkBoxUSBRedir" },
            { "Audio", "checkBoxAudio" }, { "NLA", nla }, { "Persistent", "checkBoxPersistentConn" },
            { "ExtDesk", "checkBoxExtDesk" } };
    }
    QString name, nla, save, cancel;
    QMap<QString, QString> fields; // short name -> widget name
    QMap<QString, QString> options;
};

QStringList words(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void chooseKind(QDialog& dialog, const QString& kind)
{
    auto* via = child<QComboBox>(dialog, QStringLiteral("comboBoxConnVia"));
    const int index = via->findText(kind);
    QVERIFY2(index >= 0, qPrintable(kind));
    via->setCurrentIndex(index);
}

void type(QDialog& dialog, const QString& widgetName, const QString& text)
{
    auto* field = child<QLineEdit>(dialog, widgetName);
    field->clear();
    QTest::keyClicks(field, text);
}

// Every attribute a new element starts with, empty, plus its name.
Attributes element(const QString& name, const Attributes& set)
{
    Attributes all;
    for (const char* attribute : { "viaTX", "viaTxPool", "Pool", "Broker", "Horizon", "IP_address", "Port",
             "User_Name", "Password", "Domain", "Protocol", "Load_Bal", "Colour_depth", "Connection_type",
             "ExtDesk", "Audio", "USB_Redirection", "NLA", "Persistent", "type" })
        all.insert(QLatin1String(attribute), QString());
    all.insert(QStringLiteral("Name"), name);
    for (auto it = set.begin(); it != set.end(); ++it)
        all.insert(it.key(), it.value());
    return all;
}

Attributes attributesOf(const QDomElement& element)
{
    Attributes all;
    const QDomNamedNodeMap map = element.attributes();
    for (int i = 0; i < map.count(); ++i)
        all.insert(map.item(i).nodeName(), map.item(i).nodeValue());
    return all;
}

QDomElement connectionNamed(const QDomDocument& document, const QString& name)
{
    QDomElement entry = document.documentElement().firstChildElement(db::Connections).firstChildElement();
    while (!entry.isNull() && entry.attribute(db::Name) != name)
        entry = entry.nextSiblingElement();
    return entry;
}

int connectionCount(const QDomDocument& document)
{
    return document.documentElement()
        .firstChildElement(db::Connections)
        .elementsByTagName(db::Connection)
        .count();
}

// user name -> the connection names of its associations, "name@favourite" when it has a slot.
QMap<QString, QStringList> associations(const QDomDocument& document)
{
    QMap<QString, QStringList> all;
    const QDomElement users = document.documentElement().firstChildElement(db::Users);
    for (QDomElement user = users.firstChildElement(); !user.isNull(); user = user.nextSiblingElement()) {
        QStringList names;
        for (QDomElement link = user.firstChildElement(db::AssociatedConnections); !link.isNull();
             link = link.nextSiblingElement(db::AssociatedConnections))
            names << link.attribute(db::ConnectionName)
                    + (link.hasAttribute(db::Favorite) ? "@" + link.attribute(db::Favorite) : QString());
        all.insert(user.attribute(db::UserName), names);
    }
    return all;
}

// Fills the fields named "IP=..." etc. and checks the options named, each of
// which must be one the user can reach.
void enter(QDialog& dialog, const Names& names, const QStringList& fields, const QStringList& options)
{
    for (const QString& field : fields) {
        const QString key = field.section(QLatin1Char('='), 0, 0);
        type(dialog, key == QLatin1String("Name") ? names.name : names.fields.value(key),
            field.section(QLatin1Char('='), 1));
    }
    for (const QString& option : options) {
        if (option == QLatin1String("Shared")) {
            child<QComboBox>(dialog, QStringLiteral("comboBoxConnType"))->setCurrentIndex(1);
            continue;
        }
        auto* box = child<QCheckBox>(dialog, names.options.value(option));
        QVERIFY2(box->isEnabled() && box->isVisibleTo(&dialog), qPrintable(option));
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY2(box->isChecked(), qPrintable(option));
    }
}

} // namespace

class TestConnectionEditor : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void kindLayouts_data();
    void kindLayouts();
    void extendedDesktopNeedsTwoHeads();
    void sharedDisablesUsb();
    void fieldChecks_data();
    void fieldChecks();
    void writtenAttributes_data();
    void writtenAttributes();
    void duplicateNames_data();
    void duplicateNames();
    void newConnectionGoesToAdministrators();
    void renameCarriedIntoReferences();
    void failedWriteKeepsDialogAndDocument();
    void inactivityClosesBoxAndDialog();
    void returnKey();
};

void TestConnectionEditor::kindLayouts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("placeholder");
    QTest::addColumn<bool>("typeEnabled");
    QTest::addColumn<QString>("enabledOptions");
    // Every option was checked before the change of kind.
    QTest::addColumn<QString>("checkedOptions");

    const QString all = QStringLiteral("IP Port User Password Domain LoadBal");
    QTest::newRow("Transmitter") << "Transmitter" << all << "IP"
                                 << ""
                                 << "3389" << true << "ViewOnly USB Audio Persistent ExtDesk"
                                 << "ViewOnly USB Audio NLA Persistent";
    QTest::newRow("VM Direct") << "VM Direct" << all << "IP Port User Password Domain"
                               << "3389"
                               << "" << false << "ViewOnly USB Audio NLA ExtDesk"
                               << "ViewOnly";
    QTest::newRow("VM Horizon View") << "VM Horizon View"
                                     << "IP User Password Domain"
                                     << "IP User Password"
                                     << ""
                                     << "" << false << "ViewOnly USB ExtDesk"
                                     << "ViewOnly";
    QTest::newRow("VM Pool") << "VM Pool" << all << ""
                             << ""
                             << "" << false << "ViewOnly USB Audio ExtDesk"
                             << "ViewOnly NLA";
    QTest::newRow("Broker") << "Broker" << all << all << "3389"
                            << "" << false << "ViewOnly USB Audio ExtDesk"
                            << "ViewOnly NLA";
    QTest::newRow("KVM") << "KVM" << all << "IP"
                         << ""
                         << "3389" << true << "USB Audio Persistent"
                         << "ViewOnly USB Audio NLA Persistent ExtDesk";
    QTest::newRow("VNC") << "VNC" << all << "IP Port Password"
                         << "5900"
                         << "" << false << "ViewOnly"
                         << "ViewOnly";
    QTest::newRow("SSH") << "SSH" << all << "IP Port User"
                         << "22"
                         << "" << false << ""
                         << "ViewOnly";
}

void TestConnectionEditor::kindLayouts()
{
    QFETCH(QString, kind);
    QFETCH(QString, shown);
    QFETCH(QString, enabled);
    QFETCH(QString, port);
    QFETCH(QString, placeholder);
    QFETCH(bool, typeEnabled);
    QFETCH(QString, enabledOptions);
    QFETCH(QString, checkedOptions);

    Unit unit;
    NewConnection dialog(unit.window.get());
    const Names names(false);
    QCOMPARE(child<QComboBox>(dialog, "comboBoxConnVia")->count(), 8);

    // Start from another kind with everything typed, checked and shared.
    chooseKind(dialog, kind == QLatin1String("Transmitter") ? "VM Direct" : "Transmitter");
    child<QComboBox>(dialog, "comboBoxConnType")->setCurrentIndex(1);
    for (const QString& field : names.fields)
        child<QLineEdit>(dialog, field)->setText(QStringLiteral("typed"));
    for (const QString& option : names.options)
        child<QCheckBox>(dialog, option)->setChecked(true);

    chooseKind(dialog, kind);

    QStringList shownNow, enabledNow, enabledOptionsNow, checkedNow;
    for (auto it = names.fields.begin(); it != names.fields.end(); ++it) {
        auto* field = child<QLineEdit>(dialog, it.value());
        if (field->isVisibleTo(&dialog))
            shownNow << it.key();
        if (field->isEnabled())
            enabledNow << it.key();
        if (it.key() != QLatin1String("IP") && it.key() != QLatin1String("Port"))
            QVERIFY2(field->text().isEmpty(), qPrintable(it.key()));
    }
    for (auto it = names.options.begin(); it != names.options.end(); ++it) {
        auto* box = child<QCheckBox>(dialog, it.value());
        QVERIFY(box->isVisibleTo(&dialog));
        if (box->isEnabled())
            enabledOptionsNow << it.key();
        if (box->isChecked())
            checkedNow << it.key();
    }
    const auto sorted = [](QStringList list) {
        list.sort();
        return list.join(QLatin1Char(' '));
    };
    QCOMPARE(sorted(shownNow), sorted(words(shown)));
    QCOMPARE(sorted(enabledNow), sorted(words(enabled)));
    QCOMPARE(sorted(enabledOptionsNow), sorted(words(enabledOptions)));
    QCOMPARE(sorted(checkedNow), sorted(words(checkedOptions)));

    auto* portField = child<QLineEdit>(dialog, names.fields["Port"]);
    QCOMPARE(portField->text(), port);
    QCOMPARE(portField->placeholderText(), placeholder);
    // Only a pool forgets the address: it has none of its own.
    QCOMPARE(child<QLineEdit>(dialog, names.fields["IP"])->text(),
        kind == QLatin1String("VM Pool") ? QString() : QStringLiteral("typed"));
    QVERIFY(child<QLineEdit>(dialog, names.name)->isEnabled());

    auto* connectionType = child<QComboBox>(dialog, "comboBoxConnType");
    QCOMPARE(connectionType->currentText(), QStringLiteral("Private"));
    QCOMPARE(connectionType->isEnabled(), typeEnabled);
    for (const char* hidden : { "comboBoxTx1", "comboBoxTx2", "comboBoxTx3", "comboBoxTx4",
             "comboBoxProtocol", "comboBoxColourD", "checkBoxPreEmption" })
        QVERIFY2(!child<QWidget>(dialog, hidden)->isVisibleTo(&dialog), hidden);
    QCOMPARE(child<QComboBox>(dialog, "comboBoxTx1")->count(), 0);
}

void TestConnectionEditor::extendedDesktopNeedsTwoHeads()
{
    QDomDocument document = databaseWithUsers();
    QDomElement stored = connectionNamed(document, "Default_TX_192.168.1.22");
    stored.setAttribute(db::ExtDesk, QStringLiteral("Yes"));
    Unit unit(false, document);

    NewConnection created(unit.window.get());
    chooseKind(created, "VM Direct");
    QVERIFY(!child<QCheckBox>(created, "checkBoxExtDesk")->isVisibleTo(&created));

    // A stored flag a single head cannot use is shown off and saved off.
    EditConnection edited(unit.window.get(), "Default_TX_192.168.1.22");
    auto* extDesk = child<QCheckBox>(edited, "checkBoxExtDesk");
    QVERIFY(!extDesk->isVisibleTo(&edited));
    QVERIFY(!extDesk->isChecked());
    child<QPushButton>(edited, "saveConnectionButton")->click();
    QCOMPARE(edited.result(), int(QDialog::Accepted));
    QCOMPARE(connectionNamed(unit.stored(), "Default_TX_192.168.1.22").attribute(db::ExtDesk), QString());
}

void TestConnectionEditor::sharedDisablesUsb()
{
    QDomDocument document = databaseWithUsers();
    QDomElement stored = connectionNamed(document, "Default_TX_192.168.1.22");
    stored.setAttribute(db::ConnectionType, QStringLiteral("Shared"));
    stored.setAttribute(db::Audio, QStringLiteral("Yes"));
    Unit unit(true, document);

    NewConnection dialog(unit.window.get());
    auto* usb = child<QCheckBox>(dialog, "checkBoxUSBRedir");
    auto* connectionType = child<QComboBox>(dialog, "comboBoxConnType");
    usb->setChecked(true);
    connectionType->setCurrentText("Shared");
    QVERIFY(!usb->isChecked());
    QVERIFY(!usb->isEnabled());
    connectionType->setCurrentText("Private");
    QVERIFY(usb->isEnabled());
    QVERIFY(!usb->isChecked());

    EditConnection edit(unit.window.get(), "Default_TX_192.168.1.22");
    QCOMPARE(child<QComboBox>(edit, "comboBoxConnType")->currentText(), QStringLiteral("Shared"));
    QVERIFY(!child<QCheckBox>(edit, "checkBoxUSBRedir")->isEnabled());
    QVERIFY(child<QCheckBox>(edit, "checkBoxAudio")->isChecked());
}

void TestConnectionEditor::fieldChecks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("fields"); // over a valid entry for the kind
    QTest::addColumn<QString>("box"); // "title|text"; empty: saved
    QTest::addColumn<QString>("focus"); // the field given the focus and selected

    const QString blocked = QStringLiteral("cannot contain certain characters. Invalid characters are:\n");
    QTest::newRow("colon in name") << "Transmitter" << QStringList { "Name=a:b" }
                                   << "WARNING|Connection name " + blocked + setA << "Name";
    QTest::newRow("backquote in name")
        << "VNC" << QStringList { "Name=a`b" } << "WARNING|Connection name " + blocked + setA << "Name";
    QTest::newRow("blank name") << "Transmitter" << QStringList { "Name=" }
                                << "Information|Cannot leave connection name blank."
                                << "";
    QTest::newRow("bracket in address")
        << "Transmitter" << QStringList { "IP=10.0.0.[1" }
        << "WARNING|10.0.0.[1is not a valid IP address or DNS Host name. Invalid characters are:\n" + setA
        << "IP";
    QTest::newRow("address checked before user")
        << "VM Direct" << QStringList { "IP=a>b", "User=c=d" }
        << "WARNING|a>bis not a valid IP address or DNS Host name. Invalid characters are:\n" + setA << "IP";
    QTest::newRow("equals in user name")
        << "SSH" << QStringList { "User=a=b" } << "WARNING|Username " + blocked + setA << "User";
    QTest::newRow("semicolon in password") << "VM Direct" << QStringList { "Password=p;w" }
                                           << "WARNING|Password " + blocked + setB << "Password";
    QTest::newRow("quote in VNC password")
        << "VNC" << QStringList { "Password=p'w" } << "WARNING|Password " + blocked + setB << "Password";
    QTest::newRow("slash and colon allowed in password")
        << "VM Horizon View" << QStringList { "Password=p/w:x" } << ""
        << "";
    QTest::newRow("comma in domain") << "VM Direct" << QStringList { "Domain=a,b" }
                                     << "WARNING|Domain " + blocked + setA << "Domain";
    QTest::newRow("load balance refused with the domain text")
        << "Broker" << QStringList { "LoadBal=a?b" } << "WARNING|Domain " + blocked + setA << "LoadBal";
    QTest::newRow("port not range-checked") << "VM Direct" << QStringList { "Port=99999" } << ""
                                            << "";
    QTest::newRow("host names and dotted addresses")
        << "Broker" << QStringList { "IP=broker.corp.example" } << ""
        << "";
}

void TestConnectionEditor::fieldChecks()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, fields);
    QFETCH(QString, box);
    QFETCH(QString, focus);

    Unit unit;
    NewConnection dialog(unit.window.get());
    const Names names(false);
    chooseKind(dialog, kind);
    QStringList entry { "Name=Desk", "IP=10.0.0.5" };
    for (const char* field : { "User=bob", "Password=pw", "Domain=corp", "LoadBal=lb" }) {
        const QString key = QString::fromLatin1(field).section(QLatin1Char('='), 0, 0);
        if (child<QLineEdit>(dialog, names.fields[key])->isEnabled())
            entry << field;
    }
    enter(dialog, names, entry + fields, {});

    const int before = connectionCount(unit.window->document());
    ModalAnswerPtr answer;
    if (!box.isEmpty())
        answer = answerNextBox(box.section('|', 0, 0), QMessageBox::Ok);
    child<QPushButton>(dialog, names.save)->click();

    if (box.isEmpty()) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(connectionCount(unit.stored()), before + 1);
        return;
    }
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->title + '|' + answer->text, box);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(connectionCount(unit.window->document()), before);
    QCOMPARE(connectionCount(unit.stored()), before);
    if (!focus.isEmpty()) {
        auto* field = child<QLineEdit>(dialog, focus == "Name" ? names.name : names.fields[focus]);
        QCOMPARE(dialog.focusWidget(), field);
        QVERIFY(field->hasSelectedText());
        QCOMPARE(field->selectionStart(), 0);
        QCOMPARE(field->selectedText().size(), field->text().size());
    }
}

void TestConnectionEditor::writtenAttributes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Attributes>("written");

    QTest::newRow("transmitter, shared, no USB")
        << "Transmitter" << QStringList { "Name=tx", "IP=10.0.0.9" }
        << QStringList { "Audio", "Persistent", "ExtDesk", "ViewOnly", "Shared" }
        << element("tx",
               { { "viaTX", "true" }, { "IP_address", "10.0.0.9" }, { "Connection_type", "Shared" },
                   { "ExtDesk", "Yes" }, { "Audio", "Yes" }, { "Persistent", "true" },
                   { "ViewOnly", "Yes" } });
    QTest::newRow("transmitter, private, USB")
        << "Transmitter" << QStringList { "Name=tx", "IP=tx.local" } << QStringList { "USB" }
        << element("tx",
               { { "viaTX", "true" }, { "IP_address", "tx.local" }, { "Connection_type", "Private" },
                   { "USB_Redirection", "Yes" }, { "Persistent", "false" }, { "ViewOnly", "" } });
    QTest::newRow("VM direct") << "VM Direct"
                               << QStringList { "Name=vm", "IP=10.1.1.1", "Port=3390", "User=bob",
                                      "Password=p/w", "Domain=corp" }
                               << QStringList { "USB", "NLA", "ExtDesk" }
                               << element("vm",
                                      { { "User_Name", "bob" }, { "IP_address", "10.1.1.1" },
                                          { "Password", "p/w" }, { "Domain", "corp" }, { "Port", "3390" },
                                          { "ExtDesk", "Yes" }, { "ViewOnly", "" },
                                          { "USB_Redirection", "Yes" }, { "NLA", "Yes" } });
    QTest::newRow("horizon") << "VM Horizon View"
                             << QStringList { "Name=hz", "IP=view.corp", "User=ann", "Password=secret" }
                             << QStringList { "USB" }
                             << element("hz",
                                    { { "Horizon", "true" }, { "User_Name", "ann" },
                                        { "IP_address", "view.corp" }, { "Password", "secret" } });
    QTest::newRow("pool") << "VM Pool" << QStringList { "Name=pool" } << QStringList { "Audio" }
                          << element("pool", { { "Pool", "true" }, { "Audio", "Yes" } });
    QTest::newRow("broker") << "Broker"
                            << QStringList { "Name=br", "IP=10.2.2.2", "User=ann", "Password=pw",
                                   "Domain=corp", "LoadBal=tsv" }
                            << QStringList { "Audio" }
                            << element("br",
                                   { { "Broker", "Yes" }, { "User_Name", "ann" },
                                       { "IP_address", "10.2.2.2" }, { "Password", "pw" },
                                       { "Domain", "corp" }, { "Port", "3389" }, { "Load_Bal", "tsv" },
                                       { "Connection_type", "Private" }, { "Audio", "Yes" }, { "NLA", "Yes" },
                                       { "Persistent", "false" }, { "ViewOnly", "" } });
    QTest::newRow("KVM") << "KVM" << QStringList { "Name=kvm", "IP=10.3.3.3" }
                         << QStringList { "USB", "Persistent" }
                         << element("kvm",
                                { { "type", "KVM" }, { "IP_address", "10.3.3.3" },
                                    { "Connection_type", "Private" }, { "USB_Redirection", "Yes" },
                                    { "Persistent", "true" } });
    QTest::newRow("VNC") << "VNC" << QStringList { "Name=vnc", "IP=10.4.4.4", "Password=pw" }
                         << QStringList { "ViewOnly" }
                         << element("vnc",
                                { { "type", "VNC" }, { "IP_address", "10.4.4.4" }, { "Password", "pw" },
                                    { "Port", "5900" }, { "ViewOnly", "Yes" } });
    QTest::newRow("SSH") << "SSH" << QStringList { "Name=ssh", "IP=10.5.5.5", "User=root", "Port=2222" }
                         << QStringList {}
                         << element("ssh",
                                { { "type", "SSH" }, { "User_Name", "root" }, { "IP_address", "10.5.5.5" },
                                    { "Port", "2222" } });
}

void TestConnectionEditor::writtenAttributes()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, options);
    QFETCH(Attributes, written);
    const QString name = written.value("Name");

    Unit unit;
    {
        NewConnection dialog(unit.window.get());
        chooseKind(dialog, kind);
        enter(dialog, Names(false), fields, options);
        child<QPushButton>(dialog, "saveNewConnectionButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.connectionName(), name);
    }
    QCOMPARE(attributesOf(connectionNamed(unit.stored(), name)), written);
    QCOMPARE(attributesOf(connectionNamed(unit.window->document(), name)), written);

    // Opened and saved unchanged, the editor shows the same kind and keeps every value.
    EditConnection edit(unit.window.get(), name);
    QCOMPARE(child<QComboBox>(edit, "comboBoxConnVia")->currentText(), kind);
    child<QPushButton>(edit, "saveConnectionButton")->click();
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    if (kind == QLatin1String("KVM"))
        written.insert("ViewOnly", QString());
    QCOMPARE(attributesOf(connectionNamed(unit.stored(), name)), written);
}

void TestConnectionEditor::duplicateNames_data()
{
    QTest::addColumn<QString>("editing"); // empty: a new connection
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saved");

    QTest::newRow("new with a taken name") << ""
                                           << "Office" << false;
    QTest::newRow("new differing in case only") << ""
                                                << "office" << true;
    QTest::newRow("edit keeping its own name") << "Office"
                                               << "Office" << true;
    QTest::newRow("edit taking another's name") << "Office"
                                                << "Default_TX_192.168.1.22" << false;
}

void TestConnectionEditor::duplicateNames()
{
    QFETCH(QString, editing);
    QFETCH(QString, name);
    QFETCH(bool, saved);

    QDomDocument document = databaseWithUsers();
    QDomElement office = connectionNamed(document, "Default_TX_192.168.1.22").cloneNode().toElement();
    office.setAttribute(db::Name, QStringLiteral("Office"));
    document.documentElement().firstChildElement(db::Connections).appendChild(office);
    Unit unit(true, document);

    std::unique_ptr<QDialog> dialog;
    if (editing.isEmpty())
        dialog = std::make_unique<NewConnection>(unit.window.get());
    else
        dialog = std::make_unique<EditConnection>(unit.window.get(), editing);
    const Names names(!editing.isEmpty());
    enter(*dialog, names, { "Name=" + name, "IP=10.9.9.9" }, {});

    ModalAnswerPtr answer;
    if (!saved)
        answer = answerNextBox("Information", QMessageBox::Ok);
    child<QPushButton>(*dialog, names.save)->click();
    QCOMPARE(dialog->result() == QDialog::Accepted, saved);
    if (!saved) {
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, QStringLiteral("Connection with that name already exists."));
    }
    QCOMPARE(connectionCount(unit.window->document()), editing.isEmpty() && saved ? 3 : 2);
    QCOMPARE(connectionNamed(unit.window->document(), name).attribute(db::IpAddress),
        saved ? QStringLiteral("10.9.9.9") : QStringLiteral("192.168.1.22"));
}

void TestConnectionEditor::newConnectionGoesToAdministrators()
{
    Unit unit;
    const QMap<QString, QStringList> before = associations(unit.window->document());
    NewConnection dialog(unit.window.get());
    enter(dialog, Names(false), { "Name=Lab", "IP=10.0.0.7" }, {});
    child<QPushButton>(dialog, "saveNewConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QMap<QString, QStringList> expected = before;
    for (const char* administrator : { "admin", "boss", "aduser" })
        expected[administrator] << "Lab";
    QCOMPARE(associations(unit.stored()), expected);
    QVERIFY(unit.test.hasLog(5, "### NewConnection Constructor Start ###\n"));
}

void TestConnectionEditor::renameCarriedIntoReferences()
{
    QDomDocument document = databaseWithUsers();
    const QDomElement root = document.documentElement();
    const auto link = [&](const QString& userName, const QString& connection, const QString& favourite) {
        QDomElement user = root.firstChildElement(db::Users).firstChildElement();
        while (user.attribute(db::UserName) != userName)
            user = user.nextSiblingElement();
        QDomElement association = document.createElement(db::AssociatedConnections);
        association.setAttribute(db::ConnectionName, connection);
        if (!favourite.isEmpty())
            association.setAttribute(db::Favorite, favourite);
        user.appendChild(association);
        return user;
    };
    const QString tx = QStringLiteral("Default_TX_192.168.1.22");
    link("plain", tx, "3");
    QDomElement automatic = document.createElement(db::AutoConnect);
    automatic.setAttribute(db::AutoConnectName, tx);
    link("power", tx, "").appendChild(automatic);
    // A transmitter pool names it as a member.
    QDomElement pool = document.createElement(db::Connection);
    pool.setAttribute(db::Name, QStringLiteral("Pool"));
    pool.setAttribute(db::ViaTxPool, QStringLiteral("true"));
    QDomElement member = document.createElement(QStringLiteral("Member"));
    member.setAttribute(db::TargetName, tx);
    pool.appendChild(member);
    root.firstChildElement(db::Connections).appendChild(pool);
    Unit unit(true, document);

    EditConnection dialog(unit.window.get(), tx);
    QCOMPARE(child<QLineEdit>(dialog, "lineEditVMName")->text(), tx);
    QCOMPARE(child<QLineEdit>(dialog, "lineEditVMIPAddr")->text(), QStringLiteral("192.168.1.22"));
    type(dialog, "lineEditVMName", "Studio");
    child<QPushButton>(dialog, "saveConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const QDomDocument stored = unit.stored();
    QMap<QString, QStringList> expected { { "admin", { "Studio" } }, { "boss", {} },
        { "power", { "Studio" } }, { "plain", { "Studio@3" } }, { "aduser", {} } };
    QCOMPARE(associations(stored), expected);
    const QDomElement users = stored.documentElement().firstChildElement(db::Users);
    QCOMPARE(users.elementsByTagName(db::AutoConnect).item(0).toElement().attribute(db::AutoConnectName),
        QStringLiteral("Studio"));
    QCOMPARE(connectionNamed(stored, "Pool").firstChildElement().attribute(db::TargetName),
        QStringLiteral("Studio"));
    // Replaced where it stood, not moved to the end.
    QCOMPARE(
        stored.documentElement().firstChildElement(db::Connections).firstChildElement().attribute(db::Name),
        QStringLiteral("Studio"));
    QCOMPARE(connectionCount(stored), 2);
    QVERIFY(!stored.toString().contains(tx));

    // The pool's members and its flag survive an edit of the pool itself.
    EditConnection poolEdit(unit.window.get(), "Pool");
    child<QPushButton>(poolEdit, "saveConnectionButton")->click();
    QCOMPARE(poolEdit.result(), int(QDialog::Accepted));
    const QDomElement edited = connectionNamed(unit.stored(), "Pool");
    QCOMPARE(edited.attribute(db::ViaTxPool), QStringLiteral("true"));
    QCOMPARE(edited.firstChildElement().attribute(db::TargetName), QStringLiteral("Studio"));
}

void TestConnectionEditor::failedWriteKeepsDialogAndDocument()
{
    Unit unit;
    const QString copy = unit.window->storage().databasePath;
    const QByteArray onDisk = unit.test.readFile(copy);
    NewConnection dialog(unit.window.get());
    enter(dialog, Names(false), { "Name=Lab", "IP=10.0.0.7" }, {});

    // A folder where the copy should be cannot be replaced by a file.
    QFile::remove(unit.test.path(copy));
    QVERIFY(QDir().mkpath(unit.test.path(copy)));
    const auto error = answerNextBox("Error", QMessageBox::Ok);
    child<QPushButton>(dialog, "saveNewConnectionButton")->click();
    QVERIFY(waitForAnswer(error));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(unit.test.hasLog(3, "Velmogui: Can not open file: " + copy));
    QVERIFY(connectionNamed(unit.window->document(), "Lab").isNull());
    QCOMPARE(associations(unit.window->document())["admin"], QStringList { "Default_TX_192.168.1.22" });

    // Once the copy can be written again the same form saves, without a duplicate.
    QVERIFY(QDir(unit.test.path(copy)).removeRecursively());
    QVERIFY(unit.test.writeFile(copy, onDisk));
    child<QPushButton>(dialog, "saveNewConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(associations(unit.stored())["admin"], (QStringList { "Default_TX_192.168.1.22", "Lab" }));
}

void TestConnectionEditor::inactivityClosesBoxAndDialog()
{
    Unit unit;
    EditConnection dialog(unit.window.get(), "Default_TX_192.168.1.22");
    dialog.show();
    type(dialog, "lineEditVMName", "a|b");
    bool boxSeen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxSeen = box->windowTitle() == QLatin1String("WARNING");
            emit unit.window->closeActiveDialogs();
        }
    });
    poll.start(5);
    child<QPushButton>(dialog, "saveConnectionButton")->click();
    QVERIFY(boxSeen);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(connectionNamed(unit.stored(), "Default_TX_192.168.1.22").isNull(), false);
}

void TestConnectionEditor::returnKey()
{
    Unit unit;
    NewConnection dialog(unit.window.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* audio = child<QCheckBox>(dialog, "checkBoxAudio");
    audio->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(audio->isChecked());

    // Return in a text field saves nothing.
    auto* name = child<QLineEdit>(dialog, "lineEditNewVMName");
    name->setFocus();
    QTest::keyClicks(name, "Desk");
    QTest::keyClick(name, Qt::Key_Return);
    QVERIFY(dialog.isVisible());

    child<QPushButton>(dialog, "cancelNewConnectionButton")->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(unit.test.hasLog(5, "NewConnection: Action Cancel Dialog "));
    QCOMPARE(connectionCount(unit.stored()), 1);
}

VELMO_TEST_MAIN(TestConnectionEditor)
#include "test_connectioneditor.moc"
