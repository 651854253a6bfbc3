// The new-connection and edit-connection dialogs: the layout per kind, the
// checks on what is typed, what each kind stores and how names carry through.
#include "app/mainwindow.h"
#include "connections/editconnection.h"
#include "connections/newconnection.h"
#include "database.h"
#include "database/dbnames.h"
#include "modal.h"
#include "testmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Attributes = QMap<QString, QString>;

const QString setA = QStringLiteral("\" ' / \\ [ ] : ; | = , + * ? < > `");
const QString setB = QStringLiteral("\" ' ; `");
const QString defaultTx = QStringLiteral("Default_TX_192.168.1.22");

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
        , save(edit ? "saveConnectionButton" : "saveNewConnectionButton")
    {
        fields = { { "IP", edit ? "lineEditVMIPAddr" : "lineEditNewVMIPAddr" },
            { "Port", edit ? "lineEditVMPort" : "lineEditNewVMPort" }, { "User", "userNameLineEdit" },
            { "Password", edit ? "lineEditVMPassword" : "lineEditNewVMPassword" },
            { "Domain", edit ? "lineEditVMDomain" : "lineEditNewVMDomain" },
            { "LoadBal", edit ? "lineEditLoadBalEdit" : "lineEditLoadBalNew" } };
        options = { { "ViewOnly", "checkBoxViewOnly" }, { "USB", "checkBoxUSBRedir" },
            { "Audio", "checkBoxAudio" }, { "NLA", edit ? "checkBoxNLAEdit" : "checkBoxNLANew" },
            { "Persistent", "checkBoxPersistentConn" }, { "ExtDesk", "checkBoxExtDesk" } };
    }
    QString name, save;
    QMap<QString, QString> fields; // short name -> widget name
    QMap<QString, QString> options;
};

void chooseKind(QDialog& dialog, const QString& kind)
{
    auto* via = child<QComboBox>(dialog, QStringLiteral("comboBoxConnVia"));
    QVERIFY2(via->findText(kind) >= 0, qPrintable(kind));
    via->setCurrentIndex(via->findText(kind));
}

void type(QDialog& dialog, const QString& widgetName, const QString& text)
{
    auto* field = child<QLineEdit>(dialog, widgetName);
    field->clear();
    QTest::keyClicks(field, text);
}

// Every attribute a new element starts with, empty, plus its name, with "Key=Value;..." over them.
Attributes element(const QString& name, const QString& set)
{
    Attributes all;
    for (const char* attribute : { "viaTX", "viaTxPool", "Pool", "Broker", "Horizon", "IP_address", "Port",
             "User_Name", "Password", "Domain", "Protocol", "Load_Bal", "Colour_depth", "Connection_type",
             "ExtDesk", "Audio", "USB_Redirection", "NLA", "Persistent", "type" })
        all.insert(QLatin1String(attribute), QString());
    all.insert(QStringLiteral("Name"), name);
    for (const QString& pair : set.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        all.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
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
// which must be one the user can reach; "Shared" picks the shared type.
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

// The short names in `names` whose widget passes `test`, sorted and joined.
QString keysWhere(
    QDialog& dialog, const QMap<QString, QString>& names, const std::function<bool(QWidget*)>& test)
{
    QStringList keys;
    for (auto it = names.begin(); it != names.end(); ++it)
        if (test(child<QWidget>(dialog, it.value())))
            keys << it.key();
    keys.sort();
    return keys.join(QLatin1Char(' '));
}

QString sorted(const QString& words)
{
    QStringList list = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    list.sort();
    return list.join(QLatin1Char(' '));
}

} // namespace

class TestConnectionEditor : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void kindLayouts_data();
    void kindLayouts();
    void optionsTheUnitOrTypeRuleOut();
    void fieldChecks_data();
    void fieldChecks();
    void writtenAttributes_data();
    void writtenAttributes();
    void duplicateNames_data();
    void duplicateNames();
    void renameCarriedIntoReferences();
    void failedWriteKeepsDialogAndDocument();
    void inactivityClosesBoxAndDialog();
    void returnKey();
};

void TestConnectionEditor::kindLayouts_data()
{
    // The row name is the kind. Every option was checked before the change of kind.
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("port"); // "text|placeholder"
    QTest::addColumn<bool>("typeEnabled");
    QTest::addColumn<QString>("enabledOptions");
    QTest::addColumn<QString>("checkedOptions");
    const auto row = [](const char* kind, const char* shown, const char* enabled, const char* port,
                         bool typeEnabled, const char* options, const char* checked) {
        QTest::newRow(kind) << QString(shown) << QString(enabled) << QString(port) << typeEnabled
                            << QString(options) << QString(checked);
    };

    const char* all = "IP Port User Password Domain LoadBal";
    row("Transmitter", all, "IP", "|3389", true, "ViewOnly USB Audio Persistent ExtDesk",
        "ViewOnly USB Audio NLA Persistent");
    row("VM Direct", all, "IP Port User Password Domain", "3389|", false, "ViewOnly USB Audio NLA ExtDesk",
        "ViewOnly");
    row("VM Horizon View", "IP User Password Domain", "IP User Password", "|", false, "ViewOnly USB ExtDesk",
        "ViewOnly");
    row("VM Pool", all, "", "|", false, "ViewOnly USB Audio ExtDesk", "ViewOnly NLA");
    row("Broker", all, all, "3389|", false, "ViewOnly USB Audio ExtDesk", "ViewOnly NLA");
    row("KVM", all, "IP", "|3389", true, "USB Audio Persistent", "ViewOnly USB Audio NLA Persistent ExtDesk");
    row("VNC", all, "IP Port Password", "5900|", false, "ViewOnly", "ViewOnly");
    row("SSH", all, "IP Port User", "22|", false, "", "ViewOnly");
}

void TestConnectionEditor::kindLayouts()
{
    QFETCH(QString, shown);
    QFETCH(QString, enabled);
    QFETCH(QString, port);
    QFETCH(bool, typeEnabled);
    QFETCH(QString, enabledOptions);
    QFETCH(QString, checkedOptions);
    const QString kind = QLatin1String(QTest::currentDataTag());

    OsdWindow osd(databaseWithUsers(), 2);
    NewConnection dialog(osd.window.get());
    const Names names(false);
    QCOMPARE(child<QComboBox>(dialog, "comboBoxConnVia")->count(), 8);

    // Start from another kind with everything typed, checked and shared.
    chooseKind(dialog, kind == QLatin1String("Transmitter") ? "VM Direct" : "Transmitter");
    auto* connectionType = child<QComboBox>(dialog, "comboBoxConnType");
    connectionType->setCurrentIndex(1);
    for (const QString& field : names.fields)
        child<QLineEdit>(dialog, field)->setText(QStringLiteral("typed"));
    for (const QString& option : names.options)
        child<QCheckBox>(dialog, option)->setChecked(true);
    chooseKind(dialog, kind);

    QCOMPARE(
        keysWhere(dialog, names.fields, [&](QWidget* w) { return w->isVisibleTo(&dialog); }), sorted(shown));
    QCOMPARE(keysWhere(dialog, names.fields, [](QWidget* w) { return w->isEnabled(); }), sorted(enabled));
    // Only the address survives (the port is the kind's own); a pool has no address of its own.
    QMap<QString, QString> typed = names.fields;
    typed.remove(QStringLiteral("Port"));
    QCOMPARE(
        keysWhere(dialog, typed, [](QWidget* w) { return !qobject_cast<QLineEdit*>(w)->text().isEmpty(); }),
        kind == QLatin1String("VM Pool") ? QString() : QStringLiteral("IP"));
    QCOMPARE(keysWhere(dialog, names.options, [&](QWidget* w) { return w->isVisibleTo(&dialog); }),
        sorted("ViewOnly USB Audio NLA Persistent ExtDesk"));
    QCOMPARE(
        keysWhere(dialog, names.options, [](QWidget* w) { return w->isEnabled(); }), sorted(enabledOptions));
    QCOMPARE(
        keysWhere(dialog, names.options, [](QWidget* w) { return qobject_cast<QCheckBox*>(w)->isChecked(); }),
        sorted(checkedOptions));

    auto* portField = child<QLineEdit>(dialog, names.fields["Port"]);
    QCOMPARE(portField->text() + '|' + portField->placeholderText(), port);
    QVERIFY(child<QLineEdit>(dialog, names.name)->isEnabled());
    QCOMPARE(connectionType->currentText(), QStringLiteral("Private"));
    QCOMPARE(connectionType->isEnabled(), typeEnabled);
    for (const char* hidden : { "comboBoxTx1", "comboBoxTx2", "comboBoxTx3", "comboBoxTx4",
             "comboBoxProtocol", "comboBoxColourD", "checkBoxPreEmption" })
        QVERIFY2(!child<QWidget>(dialog, hidden)->isVisibleTo(&dialog), hidden);
    QCOMPARE(child<QComboBox>(dialog, "comboBoxTx1")->count(), 0);
}

void TestConnectionEditor::optionsTheUnitOrTypeRuleOut()
{
    QDomDocument document = databaseWithUsers();
    for (const char* stored : { "ExtDesk=Yes", "Connection_type=Shared", "Audio=Yes" })
        connectionNamed(document, defaultTx)
            .setAttribute(QString(stored).section('=', 0, 0), QString(stored).section('=', 1));
    OsdWindow osd(document, 1);

    // A single head has no extended desktop; a shared connection no USB.
    NewConnection created(osd.window.get());
    chooseKind(created, "VM Direct");
    QVERIFY(!child<QCheckBox>(created, "checkBoxExtDesk")->isVisibleTo(&created));
    chooseKind(created, "Transmitter");
    auto* usb = child<QCheckBox>(created, "checkBoxUSBRedir");
    auto* connectionType = child<QComboBox>(created, "comboBoxConnType");
    usb->setChecked(true);
    connectionType->setCurrentText("Shared");
    QVERIFY(!usb->isChecked() && !usb->isEnabled());
    connectionType->setCurrentText("Private");
    QVERIFY(usb->isEnabled() && !usb->isChecked());

    // Stored flags the unit or the type rule out are shown off and saved off; the rest stay.
    EditConnection edited(osd.window.get(), defaultTx);
    auto* extDesk = child<QCheckBox>(edited, "checkBoxExtDesk");
    QVERIFY(!extDesk->isVisibleTo(&edited) && !extDesk->isChecked());
    QCOMPARE(child<QComboBox>(edited, "comboBoxConnType")->currentText(), QStringLiteral("Shared"));
    QVERIFY(!child<QCheckBox>(edited, "checkBoxUSBRedir")->isEnabled());
    QVERIFY(child<QCheckBox>(edited, "checkBoxAudio")->isChecked());
    child<QPushButton>(edited, "saveConnectionButton")->click();
    QCOMPARE(edited.result(), int(QDialog::Accepted));
    const QDomElement saved = connectionNamed(osd.stored(), defaultTx);
    QCOMPARE(saved.attribute(db::ExtDesk) + '|' + saved.attribute(db::Audio), QStringLiteral("|Yes"));
}

void TestConnectionEditor::fieldChecks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("fields"); // over a valid entry for the kind
    QTest::addColumn<QString>("box"); // "title|text"; empty: saved
    QTest::addColumn<QString>("focus"); // the field given the focus and selected
    const auto row
        = [](const char* name, const char* kind, const QStringList& fields, const QString& box,
              const char* focus) { QTest::newRow(name) << QString(kind) << fields << box << QString(focus); };

    const QString blocked = QStringLiteral(" cannot contain certain characters. Invalid characters are:\n");
    const QString badAddress
        = QStringLiteral("is not a valid IP address or DNS Host name. Invalid characters are:\n");
    row("colon in name", "Transmitter", { "Name=a:b" }, "WARNING|Connection name" + blocked + setA, "Name");
    row("blank name", "Transmitter", { "Name=" }, "Information|Cannot leave connection name blank.", "");
    row("bracket in address", "Transmitter", { "IP=10.0.0.[1" }, "WARNING|10.0.0.[1" + badAddress + setA,
        "IP");
    row("address checked before user", "VM Direct", { "IP=a>b", "User=c=d" },
        "WARNING|a>b" + badAddress + setA, "IP");
    row("equals in user name", "SSH", { "User=a=b" }, "WARNING|Username" + blocked + setA, "User");
    row("semicolon in password", "VM Direct", { "Password=p;w" }, "WARNING|Password" + blocked + setB,
        "Password");
    row("backquote in VNC password", "VNC", { "Password=p`w" }, "WARNING|Password" + blocked + setB,
        "Password");
    row("comma in domain", "VM Direct", { "Domain=a,b" }, "WARNING|Domain" + blocked + setA, "Domain");
    row("load balance refused with the domain text", "Broker", { "LoadBal=a?b" },
        "WARNING|Domain" + blocked + setA, "LoadBal");
    row("host name, unchecked port range, slash and colon in password", "Broker",
        { "IP=broker.corp.example", "Port=99999", "Password=p/w:x" }, "", "");
}

void TestConnectionEditor::fieldChecks()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, fields);
    QFETCH(QString, box);
    QFETCH(QString, focus);

    OsdWindow osd(databaseWithUsers(), 2);
    NewConnection dialog(osd.window.get());
    const Names names(false);
    chooseKind(dialog, kind);
    QStringList entry { "Name=Desk", "IP=10.0.0.5" };
    for (const char* field : { "User=bob", "Password=pw", "Domain=corp", "LoadBal=lb" }) {
        const QString key = QString::fromLatin1(field).section(QLatin1Char('='), 0, 0);
        if (child<QLineEdit>(dialog, names.fields[key])->isEnabled())
            entry << field;
    }
    enter(dialog, names, entry + fields, {});

    const int before = connectionCount(osd.window->document());
    const ModalAnswerPtr answer
        = box.isEmpty() ? ModalAnswerPtr() : answerNextBox(box.section('|', 0, 0), QMessageBox::Ok);
    child<QPushButton>(dialog, names.save)->click();

    if (box.isEmpty()) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(connectionCount(osd.stored()), before + 1);
        return;
    }
    QVERIFY(waitForAnswer(answer));
    QCOMPARE(answer->title + '|' + answer->text, box);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(connectionCount(osd.window->document()), before);
    QCOMPARE(connectionCount(osd.stored()), before);
    if (!focus.isEmpty()) {
        auto* field = child<QLineEdit>(dialog, focus == "Name" ? names.name : names.fields[focus]);
        QCOMPARE(dialog.focusWidget(), field);
        QCOMPARE(field->selectionStart(), 0);
        QCOMPARE(field->selectedText(), field->text());
    }
}

void TestConnectionEditor::writtenAttributes_data()
{
    // The row name is the kind.
    QTest::addColumn<QStringList>("fields"); // the name first
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("text"); // written over every attribute a new element starts with, empty
    const auto row
        = [](const char* kind, const QStringList& fields, const char* options, const char* written) {
              QTest::newRow(kind) << fields << QString(options) << QString(written);
          };

    row("Transmitter", { "Name=tx", "IP=10.0.0.9" }, "Audio Persistent ExtDesk ViewOnly Shared",
        "viaTX=true;IP_address=10.0.0.9;Connection_type=Shared;ExtDesk=Yes;Audio=Yes;Persistent=true;"
        "ViewOnly=Yes");
    row("VM Direct", { "Name=vm", "IP=10.1.1.1", "Port=3390", "User=bob", "Password=p/w", "Domain=corp" },
        "USB NLA ExtDesk",
        "User_Name=bob;IP_address=10.1.1.1;Password=p/w;Domain=corp;Port=3390;ExtDesk=Yes;ViewOnly=;"
        "USB_Redirection=Yes;NLA=Yes");
    row("VM Horizon View", { "Name=hz", "IP=view.corp", "User=ann", "Password=secret" }, "USB",
        "Horizon=true;User_Name=ann;IP_address=view.corp;Password=secret");
    row("VM Pool", { "Name=pool" }, "Audio", "Pool=true;Audio=Yes");
    row("Broker", { "Name=br", "IP=10.2.2.2", "User=ann", "Password=pw", "Domain=corp", "LoadBal=tsv" },
        "Audio",
        "Broker=Yes;User_Name=ann;IP_address=10.2.2.2;Password=pw;Domain=corp;Port=3389;Load_Bal=tsv;"
        "Connection_type=Private;Audio=Yes;NLA=Yes;Persistent=false;ViewOnly=");
    row("KVM", { "Name=kvm", "IP=10.3.3.3" }, "USB Persistent",
        "type=KVM;IP_address=10.3.3.3;Connection_type=Private;USB_Redirection=Yes;Persistent=true");
    row("VNC", { "Name=vnc", "IP=10.4.4.4", "Password=pw" }, "ViewOnly",
        "type=VNC;IP_address=10.4.4.4;Password=pw;Port=5900;ViewOnly=Yes");
    row("SSH", { "Name=ssh", "IP=10.5.5.5", "User=root", "Port=2222" }, "",
        "type=SSH;User_Name=root;IP_address=10.5.5.5;Port=2222");
}

void TestConnectionEditor::writtenAttributes()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, options);
    QFETCH(QString, text);
    const QString kind = QLatin1String(QTest::currentDataTag());
    const QString name = fields.first().section(QLatin1Char('='), 1);
    Attributes written = element(name, text);

    OsdWindow osd(databaseWithUsers(), 2);
    QMap<QString, QStringList> expected = associations(osd.window->document());
    {
        NewConnection dialog(osd.window.get());
        chooseKind(dialog, kind);
        enter(dialog, Names(false), fields, options.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        child<QPushButton>(dialog, "saveNewConnectionButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.connectionName(), name);
    }
    QCOMPARE(attributesOf(connectionNamed(osd.stored(), name)), written);
    QCOMPARE(attributesOf(connectionNamed(osd.window->document(), name)), written);
    // Every administrator, and only they, may use what was made.
    for (const char* administrator : { "admin", "boss", "aduser" })
        expected[administrator] << name;
    QCOMPARE(associations(osd.stored()), expected);
    QVERIFY(osd.unit.hasLog(5, "### NewConnection Constructor Start ###\n"));

    // Opened and saved unchanged, the editor shows the same kind and keeps every value.
    EditConnection edit(osd.window.get(), name);
    QCOMPARE(child<QComboBox>(edit, "comboBoxConnVia")->currentText(), kind);
    child<QPushButton>(edit, "saveConnectionButton")->click();
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    if (kind == QLatin1String("KVM"))
        written.insert("ViewOnly", QString());
    QCOMPARE(attributesOf(connectionNamed(osd.stored(), name)), written);
}

void TestConnectionEditor::duplicateNames_data()
{
    QTest::addColumn<QString>("editing"); // empty: a new connection
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saved");
    const auto row = [](const char* test, const char* editing, const QString& name, bool saved) {
        QTest::newRow(test) << QString(editing) << name << saved;
    };
    row("new with a taken name", "", "Office", false);
    row("new differing in case only", "", "office", true);
    row("edit keeping its own name", "Office", "Office", true);
    row("edit taking another's name", "Office", defaultTx, false);
}

void TestConnectionEditor::duplicateNames()
{
    QFETCH(QString, editing);
    QFETCH(QString, name);
    QFETCH(bool, saved);

    QDomDocument document = databaseWithUsers();
    QDomElement office = connectionNamed(document, defaultTx).cloneNode().toElement();
    office.setAttribute(db::Name, QStringLiteral("Office"));
    document.documentElement().firstChildElement(db::Connections).appendChild(office);
    OsdWindow osd(document, 2);

    std::unique_ptr<QDialog> dialog;
    if (editing.isEmpty())
        dialog = std::make_unique<NewConnection>(osd.window.get());
    else
        dialog = std::make_unique<EditConnection>(osd.window.get(), editing);
    const Names names(!editing.isEmpty());
    enter(*dialog, names, { "Name=" + name, "IP=10.9.9.9" }, {});

    const ModalAnswerPtr answer = saved ? ModalAnswerPtr() : answerNextBox("Information", QMessageBox::Ok);
    child<QPushButton>(*dialog, names.save)->click();
    QCOMPARE(dialog->result() == QDialog::Accepted, saved);
    if (!saved) {
        QVERIFY(waitForAnswer(answer));
        QCOMPARE(answer->text, QStringLiteral("Connection with that name already exists."));
    }
    QCOMPARE(connectionCount(osd.window->document()), editing.isEmpty() && saved ? 3 : 2);
    QCOMPARE(connectionNamed(osd.window->document(), name).attribute(db::IpAddress),
        saved ? QStringLiteral("10.9.9.9") : QStringLiteral("192.168.1.22"));
}

void TestConnectionEditor::renameCarriedIntoReferences()
{
    QDomDocument document = databaseWithUsers();
    associate(document, "plain", defaultTx, "3");
    QDomElement automatic = document.createElement(db::AutoConnect);
    automatic.setAttribute(db::AutoConnectName, defaultTx);
    userNamed(document, "power").appendChild(automatic);
    associate(document, "power", defaultTx);
    // A transmitter pool names it as a member.
    QDomElement member = document.createElement(QStringLiteral("Member"));
    member.setAttribute(db::TargetName, defaultTx);
    addConnection(document, "Pool", "viaTxPool=true").appendChild(member);
    OsdWindow osd(document, 2);

    EditConnection dialog(osd.window.get(), defaultTx);
    QCOMPARE(child<QLineEdit>(dialog, "lineEditVMIPAddr")->text(), QStringLiteral("192.168.1.22"));
    type(dialog, "lineEditVMName", "Studio");
    child<QPushButton>(dialog, "saveConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const QDomDocument stored = osd.stored();
    QMap<QString, QStringList> expected { { "admin", { "Studio" } }, { "boss", {} },
        { "power", { "Studio" } }, { "plain", { "Studio@3" } }, { "aduser", {} } };
    QCOMPARE(associations(stored), expected);
    QCOMPARE(userNamed(stored, "power").firstChildElement(db::AutoConnect).attribute(db::AutoConnectName),
        QStringLiteral("Studio"));
    QCOMPARE(connectionNamed(stored, "Pool").firstChildElement().attribute(db::TargetName),
        QStringLiteral("Studio"));
    // Replaced where it stood, not moved to the end.
    QCOMPARE(
        stored.documentElement().firstChildElement(db::Connections).firstChildElement().attribute(db::Name),
        QStringLiteral("Studio"));
    QCOMPARE(connectionCount(stored), 2);
    QVERIFY(!stored.toString().contains(defaultTx));

    // The pool's members and its flag survive an edit of the pool itself.
    EditConnection poolEdit(osd.window.get(), "Pool");
    child<QPushButton>(poolEdit, "saveConnectionButton")->click();
    QCOMPARE(poolEdit.result(), int(QDialog::Accepted));
    const QDomElement edited = connectionNamed(osd.stored(), "Pool");
    QCOMPARE(edited.attribute(db::ViaTxPool), QStringLiteral("true"));
    QCOMPARE(edited.firstChildElement().attribute(db::TargetName), QStringLiteral("Studio"));
}

void TestConnectionEditor::failedWriteKeepsDialogAndDocument()
{
    OsdWindow osd(databaseWithUsers(), 2);
    const QString copy = osd.window->storage().databasePath;
    const QByteArray onDisk = osd.unit.readFile(copy);
    NewConnection dialog(osd.window.get());
    enter(dialog, Names(false), { "Name=Lab", "IP=10.0.0.7" }, {});

    // A folder where the copy should be cannot be replaced by a file.
    QFile::remove(osd.unit.path(copy));
    QVERIFY(QDir().mkpath(osd.unit.path(copy)));
    const auto error = answerNextBox("Error", QMessageBox::Ok);
    child<QPushButton>(dialog, "saveNewConnectionButton")->click();
    QVERIFY(waitForAnswer(error));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(osd.unit.hasLog(3, "Velmogui: Can not open file: " + copy));
    QVERIFY(connectionNamed(osd.window->document(), "Lab").isNull());
    QCOMPARE(associations(osd.window->document())["admin"], QStringList { defaultTx });

    // Once the copy can be written again the same form saves, without a duplicate.
    QVERIFY(QDir(osd.unit.path(copy)).removeRecursively());
    QVERIFY(osd.unit.writeFile(copy, onDisk));
    child<QPushButton>(dialog, "saveNewConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(associations(osd.stored())["admin"], (QStringList { defaultTx, "Lab" }));
}

void TestConnectionEditor::inactivityClosesBoxAndDialog()
{
    OsdWindow osd(databaseWithUsers(), 2);
    EditConnection dialog(osd.window.get(), defaultTx);
    dialog.show();
    type(dialog, "lineEditVMName", "a|b");
    bool boxSeen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxSeen = box->windowTitle() == QLatin1String("WARNING");
            emit osd.window->closeActiveDialogs();
        }
    });
    poll.start(5);
    child<QPushButton>(dialog, "saveConnectionButton")->click();
    QVERIFY(boxSeen);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!connectionNamed(osd.stored(), defaultTx).isNull());
}

void TestConnectionEditor::returnKey()
{
    OsdWindow osd(databaseWithUsers(), 2);
    NewConnection dialog(osd.window.get());
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
    QVERIFY(osd.unit.hasLog(5, "NewConnection: Action Cancel Dialog "));
    QCOMPARE(connectionCount(osd.stored()), 1);
}

VELMO_TEST_MAIN(TestConnectionEditor)
#include "test_connectioneditor.moc"
