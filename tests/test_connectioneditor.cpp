// The new-connection and edit-connection dialogs: the layout per kind, the
// checks on what is typed, what each kind stores and how names carry through.
#include "app/mainwindow.h"
#include "connections/editconnection.h"
#include "connections/newconnection.h"
#include "database.h"
#include "database/dbnames.h"
#include "database/userlookup.h"
#include "database/schema.h"
#include "modal.h"
#include "press.h"
#include "rules/connectionrules.h"
#include "storagefault.h"
#include "testmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using Attributes = QMap<QString, QString>;

const QString setA = QStringLiteral("\" ' / \\ [ ] : ; | = , + * ? < > `");
const QString setB = QStringLiteral("\" ' ; `");
const QString defaultTx = QStringLiteral("Default_TX_192.168.1.22");

// The field and option names the two dialogs use: short name -> widget name.
struct Names {
    explicit Names(bool edit)
        : name(edit ? "lineEditVMName" : "lineEditNewVMName")
        , save(edit ? "saveConnectionButton" : "saveNewConnectionButton")
        , fields { { "IP", edit ? "lineEditVMIPAddr" : "lineEditNewVMIPAddr" },
            { "Port", edit ? "lineEditVMPort" : "lineEditNewVMPort" }, { "User", "userNameLineEdit" },
            { "Password", edit ? "lineEditVMPassword" : "lineEditNewVMPassword" },
            { "Domain", edit ? "lineEditVMDomain" : "lineEditNewVMDomain" },
            { "LoadBal", edit ? "lineEditLoadBalEdit" : "lineEditLoadBalNew" } }
        , options { { "ViewOnly", "checkBoxViewOnly" }, { "USB", "checkBoxUSBRedir" },
            { "Audio", "checkBoxAudio" }, { "NLA", edit ? "checkBoxNLAEdit" : "checkBoxNLANew" },
            { "Persistent", "checkBoxPersistentConn" }, { "ExtDesk", "checkBoxExtDesk" } }
    {
    }
    QString name, save;
    QMap<QString, QString> fields, options;
};

void chooseKind(QDialog& dialog, const QString& kind)
{
    auto* via = child<QComboBox>(dialog, QStringLiteral("comboBoxConnVia"));
    QVERIFY2(via->findText(kind) >= 0, qPrintable(kind));
    via->setCurrentIndex(via->findText(kind));
}

// `base` with "Key=Value;..." over it.
Attributes over(Attributes base, const QString& set)
{
    for (const QString& pair : set.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        base.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return base;
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
    return over(all, set);
}

// user name -> the connection names of its associations, "name@favourite" when it has a slot.
QMap<QString, QStringList> associations(const QDomDocument& document)
{
    QMap<QString, QStringList> all;
    for (const QDomElement& user : db::allUsers(document)) {
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
        const QString key = field.section(QLatin1Char('='), 0, 0), text = field.section(QLatin1Char('='), 1);
        auto* edit = child<QLineEdit>(dialog, key == QLatin1String("Name") ? names.name : names.fields[key]);
        edit->clear();
        // The test keyboard types printable ASCII only; other text is set.
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint() && c.unicode() < 0x80; }))
            QTest::keyClicks(edit, text);
        else
            edit->setText(text);
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

// The short names in `names` whose widget passes `test`, in the map's sorted order, joined.
QString keysWhere(
    QDialog& dialog, const QMap<QString, QString>& names, const std::function<bool(QWidget*)>& test)
{
    QStringList keys;
    for (auto it = names.begin(); it != names.end(); ++it)
        if (test(child<QWidget>(dialog, it.value())))
            keys << it.key();
    return keys.join(QLatin1Char(' '));
}

// `stored` as connection `name` with a member of its own, and a member of
// "Group", plain's favourite in slot 3, and power's association and automatic
// connection; power and aduser sit in a second Users section, as a provided
// database may have them.
QDomDocument referenced(const QString& name, const QString& stored)
{
    QDomDocument document = databaseWithUsers();
    const auto member = [&document](QDomElement group, const QString& target) {
        group.appendChild(document.createElement("Member")).toElement().setAttribute(db::TargetName, target);
    };
    member(addConnection(document, name, stored), defaultTx);
    member(addConnection(document, "Group", "viaTxPool=true"), name);
    associate(document, "plain", name, "3");
    associate(document, "power", name);
    QDomElement automatic = document.createElement(db::AutoConnect);
    automatic.setAttribute(db::AutoConnectName, name);
    userNamed(document, "power").appendChild(automatic);
    QDomNode second = document.documentElement().appendChild(document.createElement(db::Users));
    second.appendChild(userNamed(document, "power"));
    second.appendChild(userNamed(document, "aduser"));
    return document;
}

} // namespace

class TestConnectionEditor : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void kinds_data();
    void kinds();
    void fieldChecks_data();
    void fieldChecks();
    void editKeepsWhatTheFormDoesNotShow_data();
    void editKeepsWhatTheFormDoesNotShow();
    void storedByTheRules_data();
    void storedByTheRules();
    void singleHeadSharedAndReturnKey();
};

void TestConnectionEditor::kinds_data()
{
    // The row name is the kind. Its layout as seen after a change from another kind with every
    // field typed and every option checked, then what a new dialog of the kind saves.
    QTest::addColumn<QString>("shown"); // the fields', sorted as all such lists
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("port"); // "text|placeholder"
    QTest::addColumn<bool>("typeEnabled");
    QTest::addColumn<QString>("enabledOptions");
    QTest::addColumn<QString>("checkedOptions");
    QTest::addColumn<QStringList>("fields"); // typed into the new dialog, the name first
    QTest::addColumn<QString>("options"); // then checked
    QTest::addColumn<QString>("text"); // written over every attribute a new element starts with, empty
    const QString all = QStringLiteral("Domain IP LoadBal Password Port User");
    // clang-format off
    QTest::newRow("Transmitter") << all << "IP" << "|3389" << true << "Audio ExtDesk Persistent USB ViewOnly" << "Audio NLA Persistent USB ViewOnly"
        << QStringList { "Name=tx", "IP=10.0.0.9" } << "Audio Persistent ExtDesk ViewOnly Shared"
        << "viaTX=true;IP_address=10.0.0.9;Connection_type=Shared;ExtDesk=Yes;Audio=Yes;Persistent=true;ViewOnly=Yes";
    QTest::newRow("VM Direct") << all << "Domain IP Password Port User" << "3389|" << false << "Audio ExtDesk NLA USB ViewOnly" << "ViewOnly"
        << QStringList { "Name=vm", "IP=10.1.1.1", "Port=3390", "User=bob", "Password=p/w", "Domain=corp" } << "USB NLA ExtDesk"
        << "User_Name=bob;IP_address=10.1.1.1;Password=p/w;Domain=corp;Port=3390;ExtDesk=Yes;ViewOnly=;USB_Redirection=Yes;NLA=Yes";
    QTest::newRow("VM Horizon View") << "Domain IP Password User" << "IP Password User" << "|" << false << "ExtDesk USB ViewOnly" << "ViewOnly"
        << QStringList { "Name=hz", "IP=view.corp", "User=ann", "Password=secret" } << "USB"
        << "Horizon=true;User_Name=ann;IP_address=view.corp;Password=secret";
    QTest::newRow("VM Pool") << all << "Domain IP Password Port User" << "3389|" << false << "Audio ExtDesk USB ViewOnly" << "NLA ViewOnly"
        << QStringList { "Name=pool", "IP=10.6.6.6", "Port=3390", "User=pu", "Password=pw", "Domain=corp" } << "Audio"
        << "Pool=true;User_Name=pu;IP_address=10.6.6.6;Password=pw;Domain=corp;Port=3390;Audio=Yes;NLA=Yes";
    QTest::newRow("Broker") << all << all << "3389|" << false << "Audio ExtDesk USB ViewOnly" << "NLA ViewOnly"
        << QStringList { "Name=br", "IP=10.2.2.2", "User=ann", "Password=pw", "Domain=corp", "LoadBal=tsv" } << "Audio"
        << "Broker=Yes;User_Name=ann;IP_address=10.2.2.2;Password=pw;Domain=corp;Port=3389;Load_Bal=tsv;Connection_type=Private;Audio=Yes;NLA=Yes;Persistent=false;ViewOnly=";
    QTest::newRow("KVM") << all << "IP" << "|3389" << true << "Audio Persistent USB" << "Audio ExtDesk NLA Persistent USB ViewOnly"
        << QStringList { "Name=kvm", "IP=10.3.3.3" } << "USB Persistent"
        << "type=KVM;IP_address=10.3.3.3;Connection_type=Private;USB_Redirection=Yes;Persistent=true";
    QTest::newRow("VNC") << all << "IP Password Port" << "5900|" << false << "ViewOnly" << "ViewOnly"
        << QStringList { "Name=vnc", "IP=10.4.4.4", "Password=pw" } << "ViewOnly"
        << "type=VNC;IP_address=10.4.4.4;Password=pw;Port=5900;ViewOnly=Yes";
    QTest::newRow("SSH") << all << "IP Port User" << "22|" << false << "" << "ViewOnly"
        << QStringList { "Name=ssh", "IP=10.5.5.5", "User=root", "Port=2222" } << ""
        << "type=SSH;User_Name=root;IP_address=10.5.5.5;Port=2222";
    // clang-format on
}

void TestConnectionEditor::kinds()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, options);
    QFETCH(QString, text);
    const QString kind = QLatin1String(QTest::currentDataTag());
    OsdWindow osd(databaseWithUsers(), 2);
    const Names names(false);
    {
        NewConnection dialog(osd.window->context());
        chooseKind(dialog, kind == QLatin1String("Transmitter") ? "VM Direct" : "Transmitter");
        auto* connectionType = child<QComboBox>(dialog, "comboBoxConnType");
        connectionType->setCurrentIndex(1);
        for (const QString& field : names.fields)
            child<QLineEdit>(dialog, field)->setText(QStringLiteral("typed"));
        for (const QString& option : names.options)
            child<QCheckBox>(dialog, option)->setChecked(true);
        chooseKind(dialog, kind);

        const auto visible = [&](QWidget* w) { return w->isVisibleTo(&dialog); };
        const auto enabled = [](QWidget* w) { return w->isEnabled(); };
        const auto filled = [](QWidget* w) { return !qobject_cast<QLineEdit*>(w)->text().isEmpty(); };
        QTEST(keysWhere(dialog, names.fields, visible), "shown");
        QTEST(keysWhere(dialog, names.fields, enabled), "enabled");
        // Only the address survives; the port is the kind's own.
        QCOMPARE(keysWhere(dialog, names.fields, filled).remove(" Port"), QStringLiteral("IP"));
        const auto checked = [](QWidget* w) { return qobject_cast<QCheckBox*>(w)->isChecked(); };
        QCOMPARE(keysWhere(dialog, names.options, visible), "Audio ExtDesk NLA Persistent USB ViewOnly");
        QTEST(keysWhere(dialog, names.options, enabled), "enabledOptions");
        QTEST(keysWhere(dialog, names.options, checked), "checkedOptions");

        auto* portField = child<QLineEdit>(dialog, names.fields["Port"]);
        QTEST(QString(portField->text() + '|' + portField->placeholderText()), "port");
        QCOMPARE(connectionType->currentText(), QStringLiteral("Private"));
        QTEST(connectionType->isEnabled(), "typeEnabled");
        for (const char* hidden : { "comboBoxTx1", "comboBoxTx2", "comboBoxTx3", "comboBoxTx4",
                 "comboBoxProtocol", "comboBoxColourD", "checkBoxPreEmption" })
            QVERIFY2(!child<QWidget>(dialog, hidden)->isVisibleTo(&dialog), hidden);
    }

    const QString name = fields.first().section(QLatin1Char('='), 1);
    Attributes written = element(name, text);
    NewConnection dialog(osd.window->context());
    chooseKind(dialog, kind);
    enter(dialog, names, fields, options.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    child<QPushButton>(dialog, "saveNewConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(attributeMap(connectionNamed(osd.stored(), name)), written);

    // Opened and saved unchanged, the editor shows the same kind and keeps every value.
    EditConnection edit(osd.window->context(), name);
    QCOMPARE(child<QComboBox>(edit, "comboBoxConnVia")->currentText(), kind);
    child<QPushButton>(edit, "saveConnectionButton")->click();
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    if (kind == QLatin1String("KVM"))
        written.insert("ViewOnly", QString());
    QCOMPARE(attributeMap(connectionNamed(osd.stored(), name)), written);
}

void TestConnectionEditor::fieldChecks_data()
{
    QTest::addColumn<QString>("kind"); // empty: editing "Office", a transmitter
    QTest::addColumn<QStringList>("fields"); // over a valid entry for the kind
    QTest::addColumn<QString>("box"); // "title|text"; empty: saved
    QTest::addColumn<QString>("focus"); // given the focus and selected; "inactivity": closed under the box
    const auto row = [](const QString& name, const char* kind, const QStringList& fields, const QString& box,
                         const char* focus) {
        QTest::newRow(qPrintable(name)) << QString(kind) << fields << box << QString(focus);
    };

    const QString blocked = QStringLiteral(" cannot contain certain characters. Invalid characters are:\n");
    const QString badAddress
        = QStringLiteral("is not a valid IP address or DNS Host name. Invalid characters are:\n");
    // Every field that each kind checks, refused with that field's text, for
    // forbidden characters and for text the launchers cannot carry.
    const QString latin1 = QStringLiteral(" can only contain Latin-1 characters.");
    const struct {
        const char* field;
        const char* text;
        QString box;
    } refused[] = {
        { "IP", "a>b", "WARNING|a>b" + badAddress + setA },
        { "User", "a=b", "WARNING|Username" + blocked + setA },
        { "Password", "p;w", "WARNING|Password" + blocked + setB },
        { "Domain", "a,b", "WARNING|Domain" + blocked + setA },
        { "LoadBal", "a?b", "WARNING|Domain" + blocked + setA },
        { "IP", "h\u014dst", "WARNING|IP address or DNS Host name" + latin1 },
        { "User", "\u0418\u0432\u0430\u043d", "WARNING|Username" + latin1 },
        { "Password", "p\u20ac", "WARNING|Password" + latin1 },
        { "Domain", "\u0421\u0432\u044f\u0437\u044c", "WARNING|Domain" + latin1 },
    };
    const std::pair<const char*, QString> checked[] = { { "Transmitter", "IP" },
        { "VM Direct", "IP User Password Domain" }, { "VM Horizon View", "IP User Password" },
        { "VM Pool", "IP User Password Domain" }, { "Broker", "IP User Password Domain LoadBal" },
        { "KVM", "IP" }, { "VNC", "IP Password" }, { "SSH", "IP User" } };
    for (const auto& kind : checked)
        for (const auto& field : refused)
            if (kind.second.split(' ').contains(field.field))
                row(QString(kind.first) + ": " + field.field + ' ' + field.text, kind.first,
                    { QString(field.field) + '=' + field.text }, field.box, field.field);

    // clang-format off
    row("colon in name", "Transmitter", { "Name=a:b" }, "WARNING|Connection name" + blocked + setA, "Name");
    row("blank name", "Transmitter", { "Name=" }, "Information|Cannot leave connection name blank.", "");
    row("address checked before user", "VM Direct", { "IP=a>b", "User=c=d" }, "WARNING|a>b" + badAddress + setA, "IP");
    row("backquote in password", "VNC", { "Password=p`w" }, "WARNING|Password" + blocked + setB, "Password");
    row("host name, unchecked port range, slash and colon in password", "Broker", { "IP=broker.corp.example", "Port=99999", "Password=p/w:x" }, "", "");
    // clang-format on

    const QString restart
        = "WARNING|Connection name cannot begin or end with a blank or contain control characters.";
    row("blank at the end of a name", "KVM", { "Name=Desk " }, restart, "Name");
    row("blank at the start of a name", "KVM", { "Name= Desk" }, restart, "Name");
    row("control character in a name", "KVM", { "Name=De\tsk" }, restart, "Name");
    row("blank inside a name", "KVM", { "Name=My Desk" }, "", "");

    // clang-format off
    row("name outside Latin-1", "SSH", { QString::fromUtf8("Name=Связь") }, "WARNING|Connection name" + latin1, "Name");
    row("Latin-1 beyond ASCII passes", "VM Direct", { QString::fromUtf8("Name=Büro"), QString::fromUtf8("Password=pä§"), QString::fromUtf8("LoadBal=€") }, "", "");
    // clang-format on

    const QString taken = QStringLiteral("Information|Connection with that name already exists.");
    row("new with a taken name", "Transmitter", { "Name=Office" }, taken, "");
    row("edit keeping its own name", "", { "Name=Office" }, "", "");
    row("edit taking another's name", "", { "Name=" + defaultTx }, taken, "");
    row("closed for inactivity under a box", "", { "Name=a|b" }, "WARNING|Connection name" + blocked + setA,
        "inactivity");
    // Undone in memory too, so that the next try does not find its own name taken.
    row("database cannot be written", "Transmitter", { "Name=Lab" },
        "Error|The connection could not be saved.", "");
}

void TestConnectionEditor::fieldChecks()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, fields);
    QFETCH(QString, box);
    QFETCH(QString, focus);

    QDomDocument document = databaseWithUsers();
    addConnection(document, "Office", "viaTX=true;IP_address=192.168.1.30");
    OsdWindow osd(document, 2);
    const bool editing = kind.isEmpty();
    const std::unique_ptr<QDialog> dialog(editing
            ? static_cast<QDialog*>(new EditConnection(osd.window->context(), "Office"))
            : new NewConnection(osd.window->context()));
    const Names names(editing);
    QStringList entry;
    if (!editing) {
        chooseKind(*dialog, kind);
        entry = QStringList { "Name=Desk", "IP=10.0.0.5" };
        for (const char* field : { "User=bob", "Password=pw", "Domain=corp", "LoadBal=lb" })
            if (child<QLineEdit>(*dialog, names.fields[QString(field).section('=', 0, 0)])->isEnabled())
                entry << field;
    }
    enter(*dialog, names, entry + fields, {});
    const QString name = child<QLineEdit>(*dialog, names.name)->text();

    const QByteArray before = databaseText(osd.window->document());
    FailNextDatabaseChange unwritable(
        osd.unit.path(osd.window->storage().databasePath), box.startsWith(QLatin1String("Error")));
    dialog->show();
    const bool inactivity = focus == QLatin1String("inactivity");
    QString shown;
    if (inactivity)
        QVERIFY(actOnDialogOf([&] { child<QPushButton>(*dialog, names.save)->click(); }, "WARNING",
            [&](QDialog& b) {
                shown = static_cast<QMessageBox&>(b).text();
                emit osd.window->closeActiveDialogs();
            }));
    else
        shown = pressAndSettle(*dialog, names.save, box.section('|', 0, 0));

    if (box.isEmpty()) {
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(osd.stored().elementsByTagName(db::Connection).count(), editing ? 2 : 3);
        QVERIFY(!connectionNamed(osd.stored(), name).isNull());
        return;
    }
    QCOMPARE(shown, box.section('|', 1));
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(dialog->isVisible(), !inactivity); // a refusal leaves the form open
    QCOMPARE(databaseText(osd.window->document()), before);
    if (unwritable) {
        QVERIFY(osd.unit.hasLog(3, "Velmogui: Can not open file: " + osd.window->storage().databasePath));
        return;
    }
    QCOMPARE(osd.stored().elementsByTagName(db::Connection).count(), 2);
    if (!focus.isEmpty() && !inactivity) {
        auto* field = child<QLineEdit>(*dialog, focus == "Name" ? names.name : names.fields[focus]);
        QCOMPARE(dialog->focusWidget(), field);
        QCOMPARE(field->selectionStart(), 0);
        QCOMPARE(field->selectedText(), field->text());
    }
}

void TestConnectionEditor::editKeepsWhatTheFormDoesNotShow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored"); // as a provided database has it
    QTest::addColumn<QString>("kind"); // chosen in the editor; empty: as shown
    QTest::addColumn<QStringList>("fields"); // typed
    QTest::addColumn<bool>("rebuilt"); // the kind changed: `expected` is over a fresh element
    QTest::addColumn<QString>("expected"); // over what was stored
    QTest::addColumn<int>("heads");
    const auto row = [](const char* test, const QString& name, const QString& stored, const char* kind,
                         const QStringList& fields, bool rebuilt, const char* expected, int heads = 2) {
        QTest::newRow(test) << name << stored << kind << fields << rebuilt << expected << heads;
    };

    // clang-format off
    row("pool saved unchanged, values longer than the fields whole", "Pool", "Pool=true;viaTX=true;IP_address=10.0.0.9;User_Name=pu;Password=" + QString(40, 'p') + ";Domain=" + QString(70, 'd')
        + ";Port=3390;USB_Redirection=Yes;Audio=;NLA=Yes;Colour_depth=15;Protocol=PCoIP;Load_Bal=lb;ViewOnly=Yes", "", {}, false, "");
    row("a name longer than the field kept", QString(40, 'n'), "type=VNC;IP_address=h;Password=vp;Port=5901;ViewOnly=Yes;User_Name=demo;Domain=corp", "", {}, false, "");
    row("transmitter made a VNC connection", "Desk", "viaTX=true;IP_address=h;User_Name=demo;Password=mirth;Connection_type=Shared;viaTxPool=true;Custom=kept",
        "VNC", { "Password=vp" }, true, "type=VNC;IP_address=h;Password=vp;Port=5900;ViewOnly=;viaTxPool=true;Custom=kept");
    row("flags the unit or the type rule out are saved off", "Desk", "viaTX=true;IP_address=h;ExtDesk=Yes;Connection_type=Shared;USB_Redirection=Yes;Audio=Yes;Persistent=true;ViewOnly=;NLA=",
        "", {}, false, "ExtDesk=;USB_Redirection=", 1);
    // clang-format on
}

void TestConnectionEditor::editKeepsWhatTheFormDoesNotShow()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    QFETCH(QString, kind);
    QFETCH(QStringList, fields);
    QFETCH(bool, rebuilt);
    QFETCH(QString, expected);
    QFETCH(int, heads);

    const QDomDocument document = referenced(name, stored);
    OsdWindow osd(document, heads);
    EditConnection dialog(osd.window->context(), name);
    if (!kind.isEmpty())
        chooseKind(dialog, kind);
    enter(dialog, Names(true), fields, {});
    child<QPushButton>(dialog, "saveConnectionButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const Attributes wanted
        = over(rebuilt ? element(name, QString()) : attributeMap(connectionNamed(document, name)), expected);
    QCOMPARE(attributeMap(connectionNamed(osd.stored(), name)), wanted);
}

void TestConnectionEditor::storedByTheRules_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("original"); // "Desk", a stored KVM connection; empty: a new one
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // over Desk as stored when it stays a KVM, else over a fresh element
    const auto row = [](const char* test, const char* kind, const char* original, const char* name,
                         const char* expected) { QTest::newRow(test) << kind << original << name << expected; };
    // clang-format off
    row("new KVM: no view-only flag", "KVM", "", "Lab", "type=KVM;IP_address=h;Connection_type=Shared;Audio=Yes;Persistent=false");
    row("KVM edited: its view-only flag kept", "KVM", "Desk", "Desk", "IP_address=h;Connection_type=Shared;USB_Redirection=;Audio=Yes;Persistent=false;ViewOnly=Yes");
    row("renamed SSH: fields afresh, pool flag and unknown attributes kept", "SSH", "Desk", "Studio", "viaTxPool=true;Custom=kept;ViewOnly=;type=SSH;User_Name=u;IP_address=h;Port=22");
    // clang-format on
}

void TestConnectionEditor::storedByTheRules()
{
    QFETCH(QString, kind);
    QFETCH(QString, original);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QDomDocument document = referenced("Desk", "type=KVM;IP_address=old;viaTxPool=true;Custom=kept;ViewOnly=");
    const bool fresh = original.isEmpty() || kind != "KVM";
    const Attributes wanted
        = over(fresh ? element(name, QString()) : attributeMap(connectionNamed(document, "Desk")), expected);
    QMap<QString, QStringList> linked = associations(document);
    // Shared, with audio and view-only.
    const ConnectionRules::ConnectionValues values { name, "h", "22", "u", "p", "d", "l", true, false, false, true,
        false, true, false };
    ConnectionRules::storeConnection(document, kind, values, original, !original.isEmpty());

    const QDomElement saved = connectionNamed(document, name);
    QCOMPARE(attributeMap(saved), wanted);
    // Changed where it stands, with its own member; a new one goes last.
    QCOMPARE(saved.previousSiblingElement().attribute(db::Name), original.isEmpty() ? "Group" : defaultTx);
    QCOMPARE(saved.firstChildElement().attribute(db::TargetName), original.isEmpty() ? "" : defaultTx);
    // A new one goes to every administrator, in every section; a renamed one is followed everywhere.
    const QString reference = original.isEmpty() ? QStringLiteral("Desk") : name;
    for (const char* administrator : { "admin", "boss", "aduser" })
        if (original.isEmpty())
            linked[administrator] << name;
    linked["plain"] = QStringList { reference + "@3" };
    linked["power"] = QStringList { reference };
    QCOMPARE(associations(document), linked);
    QCOMPARE(userNamed(document, "power").firstChildElement(db::AutoConnect).attribute(db::AutoConnectName),
        reference);
    QCOMPARE(connectionNamed(document, "Group").firstChildElement().attribute(db::TargetName), reference);
    QVERIFY(ConnectionRules::nameTaken(document, name) && !ConnectionRules::nameTaken(document, name.toLower()));
    QCOMPARE(ConnectionRules::nameTaken(document, "Desk"), name == "Desk" || original.isEmpty());
}

void TestConnectionEditor::singleHeadSharedAndReturnKey()
{
    OsdWindow osd(databaseWithUsers(), 1);
    NewConnection dialog(osd.window->context());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // A single head has no extended desktop; a shared connection no USB.
    chooseKind(dialog, "VM Direct");
    QVERIFY(!child<QCheckBox>(dialog, "checkBoxExtDesk")->isVisibleTo(&dialog));
    chooseKind(dialog, "Transmitter");
    auto* usb = child<QCheckBox>(dialog, "checkBoxUSBRedir");
    auto* connectionType = child<QComboBox>(dialog, "comboBoxConnType");
    usb->setChecked(true);
    connectionType->setCurrentText("Shared");
    QVERIFY(!usb->isChecked() && !usb->isEnabled());
    connectionType->setCurrentText("Private");
    QVERIFY(usb->isEnabled() && !usb->isChecked());

    // Return clicks the focused box or button, never saves from a text field.
    auto* audio = child<QCheckBox>(dialog, "checkBoxAudio");
    audio->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(audio->isChecked());

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
    QCOMPARE(osd.stored().elementsByTagName(db::Connection).count(), 1);
}

VELMO_TEST_MAIN(TestConnectionEditor)
#include "test_connectioneditor.moc"
