// Adding, editing and removing users, passwords, and what a write that cannot
// be stored leaves behind.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "logon.h"
#include "modal.h"
#include "testmain.h"
#include "users/changepassword.h"
#include "users/editudata.h"
#include "users/favorites.h"
#include "users/logindialog.h"
#include "users/userdata.h"
#include "rules/userrules.h"
#include "widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {

const QString settingsPath = QStringLiteral("/usr/local/gui_files/gui_settings.cfg");

// Fills each "widget=text" field: typed, or pasted when it holds what QTest
// cannot type (a control character or one beyond Latin-1).
void type(QWidget& parent, const QStringList& fields)
{
    for (const QString& entry : fields) {
        auto* field = child<QLineEdit>(parent, entry.section('=', 0, 0));
        const QString text = entry.section('=', 1);
        field->clear();
        if (text.contains(QRegularExpression("[^\\x20-\\xff]")))
            field->insert(text);
        else
            QTest::keyClicks(field, text);
    }
}

// Runs `open`, which opens the dialog titled `title`; fills it and presses `button` there.
bool fillNextDialog(
    const QString& title, const QStringList& fields, const char* button, std::function<void()> open)
{
    return actOnDialogOf(open, title, [=](QDialog& dialog) {
        type(dialog, fields);
        child<QPushButton>(dialog, button)->click();
    });
}

// Makes `name` the current entry of `list`, then presses `button` when given.
void pick(QWidget& parent, const char* list, const QString& name, const char* button = nullptr)
{
    auto* widget = child<QListWidget>(parent, list);
    widget->setCurrentItem(widget->findItems(name, Qt::MatchExactly).value(0));
    if (button)
        child<QPushButton>(parent, button)->click();
}

QStringList listed(QWidget& parent, const char* list)
{
    QStringList names;
    for (QListWidgetItem* item : child<QListWidget>(parent, list)->findItems("*", Qt::MatchWildcard))
        names << item->text();
    return names;
}

// The user's associations, "name@slot" for a favourite.
QStringList associations(const QDomElement& user)
{
    QStringList names;
    for (QDomElement link = user.firstChildElement(db::AssociatedConnections); !link.isNull();
         link = link.nextSiblingElement(db::AssociatedConnections))
        names << link.attribute(db::ConnectionName)
                + (link.hasAttribute(db::Favorite) ? "@" + link.attribute(db::Favorite) : QString());
    return names;
}

bool consistent(OsdWindow& osd)
{
    DatabaseStorage& storage = osd.window->storage();
    return storage.verifyChecksumFile(DatabaseStorage::copyAPath)
        && storage.verifyChecksumFile(DatabaseStorage::copyBPath);
}

// Five users (admin with password "secret", the directory's aduser none, the
// others "pw") and connections C1 to C3.
QDomDocument people()
{
    QDomDocument document = databaseWithUsers();
    userNamed(document, "admin").setAttribute(db::Password, "secret");
    userNamed(document, "aduser").removeAttribute(db::Password);
    for (const char* name : { "C1", "C2", "C3" })
        addConnection(document, name);
    return document;
}

// A user dialog of `road` ("add", "edit" of power, "password:USER")
// with its fields typed ("widget=text"); `save` receives its save button.
std::unique_ptr<QDialog> openRoad(
    OsdContext& context, const QString& road, const QStringList& fields, QString& save)
{
    std::unique_ptr<QDialog> dialog;
    if (road == "add")
        dialog = std::make_unique<UserData>(context);
    else if (road == "edit")
        dialog = std::make_unique<EditUData>(context, "power");
    else
        dialog = std::make_unique<ChangePassword>(
            context, context.window(), road.section(':', 1), "Password Reset");
    save = road == "add" ? "saveUsrDataButton"
        : road == "edit" ? "saveUsrDataChangesButton" : "buttonSavePass";
    type(*dialog, fields);
    dialog->show();
    return dialog;
}

} // namespace

class TestUserDialogs : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void saving_data();
    void saving();
    void addStoresTheForm();
    void userLimit();
    void editKeepsWhatTheFormDoesNotShow();
    void renameCarriesLogOn();
    void removal_data();
    void removal();
    void failedWrite_data();
    void failedWrite();
    void inactivityClosesEveryDialog();
};

void TestUserDialogs::saving_data()
{
    QTest::addColumn<QString>("road"); // "add", "edit" (of power) or "password:USER"
    QTest::addColumn<QString>("loggedOn");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("text"); // the refusal; empty: stored
    QTest::addColumn<QString>("password"); // USER's stored password afterwards
    const auto added = [](const char* name, const char* confirmation) {
        return QStringList { QString("lineEditUsrName=") + name, "lineEditUsrPass=pw",
            QString("lineEditConfPass=") + confirmation };
    };
    const auto typed = [](const char* current, const char* confirmation) {
        return QStringList { QString("lineEditYourPassw=") + current, "lineEditUPasswEdt=n",
            QString("lineEditUPassConfEdt=") + confirmation };
    };
    const QString incorrect = QStringLiteral("Your entered password is incorrect.");
    const QString differ = QStringLiteral("New password does not match.");
    const QString same = QStringLiteral("Same Username already exist.");
    const auto row = [](const char* name, const char* road, const char* loggedOn, const QStringList& fields,
                         const QString& text, const char* password = "") {
        QTest::newRow(name) << road << loggedOn << fields << text << password;
    };
    const QString restart
        = QStringLiteral("Username cannot begin or end with a blank or contain control characters.");
    const QString latin1 = QStringLiteral("Username can only contain Latin-1 characters.");
    row("new, blank name", "add", "admin", added("", "pw"), "Blank Username is not valid.");
    row("new, trailing blank", "add", "admin", added("boss ", "pw"), restart);
    row("new, pasted line feed", "add", "admin", added("boss\nx", "pw"), restart);
    row("new, beyond Latin-1", "add", "admin", added("\u7528\u6237", "pw"), latin1);
    row("edit, leading blank", "edit", "admin", { "lineEditUNameEdt= boss" }, restart);
    row("edit, beyond Latin-1", "edit", "admin", { "lineEditUNameEdt=\u0141ukasz" }, latin1);
    row("new, passwords differ", "add", "admin", added("eve", "pW"), "Password does not match.");
    row("new, existing name", "add", "admin", added("power", "pw"), same);
    row("new, admin again", "add", "admin", added("admin", "pw"), same);
    row("edit, blank name", "edit", "admin", { "lineEditUNameEdt=" }, "Blank Username is not valid.");
    row("edit, name of an earlier user", "edit", "admin", { "lineEditUNameEdt=boss" }, same);
    row("edit, name of a later user", "edit", "admin", { "lineEditUNameEdt=plain" },
        "Same User name already exist.");
    // Own and reset are one road: the logged-on user's password is asked, the named user's replaced.
    row("own password, new ones differ", "password:admin", "admin", typed("secret", "m"), differ, "secret");
    row("reset with the user's password", "password:boss", "admin", typed("pw", "n"), incorrect, "pw");
    row("reset, stored", "password:boss", "admin", typed("secret", "n"), "", "n");
    // Nobody on record has a password that an empty field could match.
    row("reset by a name not on record", "password:boss", "ghost", typed("", "n"), incorrect, "pw");
    row("reset by a directory administrator with nothing stored", "password:boss", "aduser", typed("", "n"),
        incorrect, "pw");
}

void TestUserDialogs::saving()
{
    QFETCH(QString, road);
    QFETCH(QString, loggedOn);
    QFETCH(QStringList, fields);
    QFETCH(QString, text);
    QFETCH(QString, password);
    OsdWindow osd(people());
    osd.window->setLoggedInUser(loggedOn);
    const QByteArray before = databaseText(osd.window->document());
    QString save;
    const auto dialog = openRoad(osd.window->context(), road, fields, save);
    QCOMPARE(answerAfter("Information", [&] { child<QPushButton>(*dialog, save)->click(); }), text);
    QCOMPARE(dialog->isVisible(), !text.isEmpty());
    if (!text.isEmpty())
        QCOMPARE(databaseText(osd.stored()), before);
    if (!password.isEmpty())
        QCOMPARE(userNamed(osd.stored(), road.section(':', 1)).attribute(db::Password), password);
    QVERIFY(consistent(osd));
}

void TestUserDialogs::addStoresTheForm()
{
    OsdWindow osd(people());
    const auto add = [&] { child<QPushButton>(*osd.window, "addUserButton")->click(); };
    QVERIFY(actOnDialogOf(add, "New User Data", [](QDialog& dialog) {
        type(dialog, { "lineEditUsrName=eve", "lineEditUsrPass=p w;\"", "lineEditConfPass=p w;\"" });
        child<QComboBox>(dialog, "comboBoxPrivilege")->setCurrentText("Power User");
        for (const char* name : { "C3", "C1", "C2" })
            pick(dialog, "allConectionsListWidget", name, "addConn2UsrButton");
        QCOMPARE(listed(dialog, "allConectionsListWidget"), QStringList { "Default_TX_192.168.1.22" });
        child<QCheckBox>(dialog, "checkBoxAutoConnect")->setChecked(true);
        auto* automatic = child<QComboBox>(dialog, "comboBoxAutoConnect");
        automatic->setCurrentText("C2");
        // The automatic connection is always one of the selected ones.
        pick(dialog, "usrConnectionsListWidget", "C2", "RmvConnFromUsrButton");
        QCOMPARE(automatic->count(), 2);
        automatic->setCurrentText("C1");
        const auto open = [&] { child<QPushButton>(dialog, "pushButtonFaorites")->click(); };
        QVERIFY(actOnDialogOf(open, "Assign Favorites", [](QDialog& favorites) {
            child<QComboBox>(favorites, "comboBoxF4ConnName")->setCurrentText("C1");
            child<QPushButton>(favorites, "pushButtonSaveFavorites")->click();
        }));
        child<QPushButton>(dialog, "saveUsrDataButton")->click();
    }));

    const QDomElement eve = userNamed(osd.stored(), "eve");
    QCOMPARE(eve.attribute(db::Password) + '|' + eve.attribute(db::Privilege), QString("p w;\"|Power User"));
    QCOMPARE(associations(eve), (QStringList { "C3", "C1@4" }));
    QCOMPARE(eve.firstChildElement(db::AutoConnect).attribute(db::AutoConnectName), QString("C1"));
    QCOMPARE(listed(*osd.window, "userlistWidget").last(), QString("eve"));
    QVERIFY(child<QComboBox>(*osd.window, "comboBoxALogUsr")->findText("eve") >= 0);
    QVERIFY(consistent(osd));
}

void TestUserDialogs::userLimit()
{
    QDomDocument document = people();
    for (int i = 5; i < 32; ++i)
        addUser(document, QStringLiteral("u%1").arg(i), "User");
    OsdWindow osd(document);
    QVERIFY(!child<QPushButton>(*osd.window, "addUserButton")->isEnabled());
    QCOMPARE(answerAfter("Information", [&] { osd.window->on_addUserButton_clicked(); }),
        QString("The maximum number of users is limited to 32. Remove any existing user before "
                "adding new user."));
}

void TestUserDialogs::editKeepsWhatTheFormDoesNotShow()
{
    QDomDocument document = people();
    QDomElement admin = userNamed(document, "admin");
    admin.setAttribute(db::Ad, "true");
    admin.appendChild(document.createElement("Note"));
    associate(document, "admin", "C1", "3");
    associate(document, "admin", "C2", "5");
    OsdWindow osd(document);

    EditUData dialog(osd.window->context(), "admin");
    auto* name = child<QLineEdit>(dialog, "lineEditUNameEdt");
    auto* privilege = child<QComboBox>(dialog, "comboBoxEdtUPriv");
    QVERIFY(!name->isEnabled() && !privilege->isEnabled());
    // Whatever reaches the widgets, saving keeps the name and privilege of "admin".
    name->setText("root");
    privilege->setCurrentText("User");
    pick(dialog, "listWidgetUConnEdt", "C2", "remUConChangeButton");
    pick(dialog, "listWidgetAvailConnEdt", "C3", "addUConChangeButton");
    QVERIFY(fillNextDialog("Password Reset",
        { "lineEditYourPassw=secret", "lineEditUPasswEdt=fresh", "lineEditUPassConfEdt=fresh" },
        "buttonSavePass", [&] { child<QPushButton>(dialog, "buttonChangePassw")->click(); }));
    child<QPushButton>(dialog, "saveUsrDataChangesButton")->click();

    const QDomElement saved = userNamed(osd.stored(), "admin");
    QCOMPARE(saved.attribute(db::Ad) + saved.attribute(db::Password) + saved.attribute(db::Privilege),
        QString("true") + "fresh" + "Administrator");
    QVERIFY(!saved.firstChildElement("Note").isNull());
    // Favourites were not opened: C1 keeps its slot, the deselected C2 takes its own away.
    QCOMPARE(associations(saved), (QStringList { "Default_TX_192.168.1.22", "C1@3", "C3" }));
    QVERIFY(consistent(osd));

    // Saved as shown, with the favourites opened and kept, a provided user is written back as it was:
    // a name longer than the field, one connection in two slots, attributes the form does not know,
    // and an automatic connection it was never given.
    const QString longName = QString(40, QLatin1Char('l'));
    QVERIFY(osd.window->storage().commitChange([&](QDomDocument& d) {
        userNamed(d, "plain").setAttribute(db::UserName, longName);
        associate(d, longName, "C1", "1").setAttribute("Hint", "x");
        associate(d, longName, "C1", "3");
        userNamed(d, longName).appendChild(d.createElement(db::AutoConnect)).toElement()
            .setAttribute(db::AutoConnectName, "C2");
    }));
    const QByteArray provided = databaseText(osd.stored());
    EditUData unchanged(osd.window->context(), longName);
    unchanged.show();
    privilege = child<QComboBox>(unchanged, "comboBoxEdtUPriv");
    QTRY_VERIFY(privilege->width() >= privilege->sizeHint().width()); // "Administrator" shows whole
    QVERIFY(fillNextDialog("Assign Favorites", {}, "pushButtonSaveFavorites",
        [&] { child<QPushButton>(unchanged, "pushButtonFavorites")->click(); }));
    child<QPushButton>(unchanged, "saveUsrDataChangesButton")->click();
    QCOMPARE(unchanged.result(), int(QDialog::Accepted));
    QCOMPARE(databaseText(osd.stored()), provided);
}

void TestUserDialogs::renameCarriesLogOn()
{
    QDomDocument document = people();
    associate(document, "boss", "C2");
    userNamed(document, "boss").setAttribute(db::Privilege, "Guest");
    writeUnitSetting(document, UnitSetting::AutoLogonUser, "boss");
    OsdWindow osd(document);
    osd.window->setLoggedInUser("boss");
    osd.window->writeAutoLoginUser("boss");

    QVERIFY(fillNextDialog("Edit User Data", { "lineEditUNameEdt=chief" }, "saveUsrDataChangesButton",
        [&] { pick(*osd.window, "userlistWidget", "boss", "editUserButton"); }));
    QVERIFY(osd.unit.readFile(settingsPath).contains("autoLoginUsr=chief\n"));
    QCOMPARE(readUnitSetting(osd.stored(), UnitSetting::AutoLogonUser), QString("chief"));
    QVERIFY(userNamed(osd.stored(), "chief").firstChildElement(db::AutoConnect).isNull());
    QCOMPARE(osd.window->getLoggedInUser() + osd.user->userName, QString("chiefchief"));
    QCOMPARE(osd.unit.sim().state().value("loggedInUser").toString(), QString("chief"));
    // A privilege this unit does not offer is not replaced by one it does.
    QCOMPARE(userNamed(osd.stored(), "chief").attribute(db::Privilege), QString("Guest"));
    QCOMPARE(osd.entries(), QStringList { "C2" });

    // One's own password is one's own, whoever the list has selected.
    pick(*osd.window, "userlistWidget", "power");
    QVERIFY(fillNextDialog("Password Change",
        { "lineEditYourPassw=pw", "lineEditUPasswEdt=n", "lineEditUPassConfEdt=n" }, "buttonSavePass",
        [&] { osd.window->on_toolButtonMyPassCh_clicked(); }));
    QCOMPARE(userNamed(osd.stored(), "chief").attribute(db::Password) + userNamed(osd.stored(), "power")
        .attribute(db::Password), QString("npw"));

    LoggedInUser user;
    MainWindow restarted(osd.unit.platform(), nullptr, &user);
    QCOMPARE(user.userName, QString("chief"));
}

void TestUserDialogs::removal_data()
{
    QTest::addColumn<QString>("name"); // boss is logged on, power logs on by itself
    QTest::addColumn<QString>("answer"); // the confirmation's button; empty: refused
    QTest::addColumn<QString>("text");
    QTest::newRow("admin") << "admin" << "" << "User \"admin\" is protected and can not be removed.";
    QTest::newRow("logged in") << "boss" << "" << "User boss is currently logged in and can not be removed.";
    QTest::newRow("cancelled") << "power" << "Cancel" << "Do you want to remove user 'power' ?";
    QTest::newRow("removed") << "power" << "Yes" << "Do you want to remove user 'power' ?";
}

void TestUserDialogs::removal()
{
    QFETCH(QString, name);
    QFETCH(QString, answer);
    QDomDocument document = people();
    writeUnitSetting(document, UnitSetting::AutoLogonUser, "power");
    // A provided database may hold the name twice, in another section too.
    document.documentElement().appendChild(document.createElement(db::Users)).appendChild(
        userNamed(document, "power").cloneNode());
    OsdWindow osd(document);
    osd.window->setLoggedInUser("boss");
    osd.window->writeAutoLoginUser("power");
    osd.window->refillAutoLogonChoice();
    pick(*osd.window, "userlistWidget", name);
    const auto box = answer.isEmpty() ? answerNextBox("Information", QMessageBox::Ok)
                                      : answerNextBox("Remove User", answer);
    osd.window->on_removeUserButton_clicked();
    QTEST(box->text, "text");
    const bool removed = answer == "Yes";
    QCOMPARE(UserRules::userNames(osd.stored()).contains(name), !removed);
    QCOMPARE(listed(*osd.window, "userlistWidget").contains(name), !removed);
    QCOMPARE(osd.unit.hasLog(7, "MainWindow: User " + name + " removed from DB"), removed);
    QCOMPARE(readUnitSetting(osd.stored(), UnitSetting::AutoLogonUser), removed ? QString() : QString("power"));
    QVERIFY(osd.unit.readFile(settingsPath).contains(removed ? "autoLoginUsr=\n" : "autoLoginUsr=power\n"));
    QCOMPARE(child<QCheckBox>(*osd.window, "checkBoxAutoLog")->isChecked(), !removed);
    QCOMPARE(child<QComboBox>(*osd.window, "comboBoxALogUsr")->findText("power") >= 0, !removed);
    QVERIFY(consistent(osd));

    // A later user of the same name is not logged on by itself at the next start.
    QVERIFY(osd.window->storage().commitChange([](QDomDocument& d) { addUser(d, "power", "User"); }));
    const auto logon = answerNextLogon(QString(), QString());
    LoggedInUser user;
    MainWindow restarted(osd.unit.platform(), nullptr, &user);
    QCOMPARE(logon->shown, removed);
}

void TestUserDialogs::failedWrite_data()
{
    QTest::addColumn<QString>("road"); // "remove": power from the list
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("log"); // the line at priority 3, %1 the copy in use
    // clang-format off
    QTest::newRow("add") << "add" << QStringList { "lineEditUsrName=eve" } << "UserData: Can not open file: %1";
    QTest::newRow("edit") << "edit" << QStringList { "lineEditUNameEdt=pow" } << "EditUData: Can not open file: %1";
    QTest::newRow("password") << "password:boss" << QStringList { "lineEditYourPassw=secret" }
                              << "Velmogui: Can not open file for writing: %1";
    // clang-format on
    QTest::newRow("remove") << "remove" << QStringList() << "MainWindow: Can not open file for writing: %1";
}

void TestUserDialogs::failedWrite()
{
    QFETCH(QString, road);
    QFETCH(QStringList, fields);
    QFETCH(QString, log);
    OsdWindow osd(people());
    osd.window->writeAutoLoginUser("power");
    const QByteArray before = databaseText(osd.window->document());
    QString save;
    const auto dialog = road == "remove" ? nullptr : openRoad(osd.window->context(), road, fields, save);
    // Neither copy can be rebuilt or replaced while folders stand in their place.
    for (const char* copy : { "/mnt/perm/VelmoDataA.xml", "/mnt/perm/VelmoDataB.xml" }) {
        QFile::remove(osd.unit.path(copy));
        QVERIFY(QDir().mkpath(osd.unit.path(copy)));
    }
    if (!dialog) {
        pick(*osd.window, "userlistWidget", "power");
        answerNextBox("Remove User", QMessageBox::Yes);
    }
    QVERIFY(!answerAfter("Error", [&] {
        dialog ? child<QPushButton>(*dialog, save)->click() : osd.window->on_removeUserButton_clicked();
    }, QMessageBox::Ok, 5000).isNull());
    QVERIFY(!dialog || (dialog->isVisible() && dialog->result() != QDialog::Accepted));
    QCOMPARE(databaseText(osd.window->document()), before);
    QVERIFY(osd.unit.hasLog(3, log.arg(osd.window->storage().databasePath)));
    QVERIFY(listed(*osd.window, "userlistWidget").contains("power"));
    QVERIFY(osd.unit.readFile(settingsPath).contains("autoLoginUsr=power\n"));
}

void TestUserDialogs::inactivityClosesEveryDialog()
{
    OsdWindow osd(people());
    OsdContext& context = osd.window->context();
    UserData added(context);
    EditUData edited(context, "boss");
    ChangePassword password(context, &edited, "boss", "Password Reset");
    Favorites favorites(context, &edited, Favorites::assignMode, "boss", {}, {});
    LoginDialog logon(osd.window->context(), *osd.window);
    const QList<QDialog*> dialogs { &added, &edited, &password, &favorites, &logon };
    for (QDialog* dialog : dialogs) {
        dialog->show();
        // Names from data are shown as they are, never taken for markup.
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
    }
    emit osd.window->closeActiveDialogs();
    for (QDialog* dialog : dialogs)
        QVERIFY2(!dialog->isVisible(), dialog->metaObject()->className());
}

VELMO_TEST_MAIN(TestUserDialogs)
#include "test_userdialogs.moc"
