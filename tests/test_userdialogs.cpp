// Adding, editing and removing users, passwords, and what a write that cannot
// be stored leaves behind.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "connections/connectiontab.h"
#include "database.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "logon.h"
#include "modal.h"
#include "testmain.h"
#include "users/changepassword.h"
#include "users/editudata.h"
#include "users/userdata.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <functional>

namespace {

const QString settingsPath = QStringLiteral("/usr/local/gui_files/gui_settings.cfg");

template <typename T = QWidget> T* child(QWidget& parent, const QString& name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

void type(QWidget& parent, const QString& name, const QString& text)
{
    auto* field = child<QLineEdit>(parent, name);
    field->clear();
    QTest::keyClicks(field, text);
}

// Selects `name` in `list` and presses `button`.
void move(QWidget& dialog, const char* list, const QString& name, const char* button)
{
    auto* from = child<QListWidget>(dialog, list);
    from->setCurrentItem(from->findItems(name, Qt::MatchExactly).value(0));
    child<QPushButton>(dialog, button)->click();
}

QStringList listed(QWidget& parent, const char* list)
{
    QStringList names;
    auto* widget = child<QListWidget>(parent, list);
    for (int i = 0; i < widget->count(); ++i)
        names << widget->item(i)->text();
    return names;
}

QStringList associations(const QDomElement& user)
{
    QStringList names;
    for (QDomElement link = user.firstChildElement(db::AssociatedConnections); !link.isNull();
         link = link.nextSiblingElement(db::AssociatedConnections))
        names << link.attribute(db::ConnectionName)
                + (link.hasAttribute(db::Favorite) ? "@" + link.attribute(db::Favorite) : QString());
    return names;
}

// Each copy matches its checksum.
bool consistent(const TestUnit& unit)
{
    for (const char* copy : { "A", "B" }) {
        const QByteArray text = unit.readFile(QStringLiteral("/mnt/perm/VelmoData%1.xml").arg(copy));
        if (text.isEmpty() || unit.readFile(QStringLiteral("/mnt/perm/checksum%1").arg(copy))
                != QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex() + '\n')
            return false;
    }
    return true;
}

// Runs `act` on the next modal dialog titled `title`, from inside its event loop.
QSharedPointer<bool> onNextDialog(const QString& title, std::function<void(QDialog&)> act)
{
    auto done = QSharedPointer<bool>::create(false);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->windowTitle() != title)
            return;
        poll->stop();
        poll->deleteLater();
        *done = true;
        act(*dialog);
    });
    poll->start(5);
    return done;
}

// Five users (admin with password "secret") and connections C1, C2, C3.
QDomDocument people()
{
    QDomDocument document = databaseWithUsers();
    userNamed(document, "admin").setAttribute(db::Password, "secret");
    for (const char* name : { "C1", "C2", "C3" })
        addConnection(document, name);
    return document;
}

void blockWrites(TestUnit& unit)
{
    // Neither copy can be rebuilt or replaced while folders stand in their place.
    for (const char* copy : { "/mnt/perm/VelmoDataA.xml", "/mnt/perm/VelmoDataB.xml" }) {
        QFile::remove(unit.path(copy));
        QVERIFY(QDir().mkpath(unit.path(copy)));
    }
}

} // namespace

class TestUserDialogs : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void refusals_data();
    void refusals();
    void addStoresTheFormInListOrder();
    void userLimit();
    void adminKeepsNameAndPrivilege();
    void editKeepsWhatTheFormDoesNotShow();
    void renameCarriesLogOnAndAutomaticLogOn();
    void password_data();
    void password();
    void resetThenSaveKeepsNewPassword();
    void removal_data();
    void removal();
    void removingAutomaticLogOnUser();
    void failedWrite_data();
    void failedWrite();
};

void TestUserDialogs::refusals_data()
{
    QTest::addColumn<QString>("edited"); // empty: a new user
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<QString>("text");
    QTest::newRow("new, blank name") << "" << "" << "pw" << "Blank Username is not valid.";
    QTest::newRow("new, passwords differ") << "" << "new" << "pW" << "Password does not match.";
    QTest::newRow("new, existing name") << "" << "power" << "pw" << "Same Username already exist.";
    QTest::newRow("new, admin again") << "" << "admin" << "pw" << "Same Username already exist.";
    QTest::newRow("edit, blank name") << "power" << "" << "" << "Blank Username is not valid.";
    QTest::newRow("edit, name of an earlier user") << "power" << "boss" << "" << "Same Username already exist.";
    QTest::newRow("edit, name of a later user") << "power" << "plain" << "" << "Same User name already exist.";
}

void TestUserDialogs::refusals()
{
    QFETCH(QString, edited);
    QFETCH(QString, name);
    QFETCH(QString, confirmation);
    QFETCH(QString, text);
    OsdWindow osd(people());
    const QByteArray before = databaseText(osd.window->document());
    std::unique_ptr<QDialog> dialog;
    if (edited.isEmpty()) {
        dialog = std::make_unique<UserData>(osd.window.get());
        type(*dialog, "lineEditUsrName", name);
        type(*dialog, "lineEditUsrPass", "pw");
        type(*dialog, "lineEditConfPass", confirmation);
    } else {
        dialog = std::make_unique<EditUData>(osd.window.get(), edited);
        type(*dialog, "lineEditUNameEdt", name);
    }
    dialog->show();
    const auto box = answerNextBox("Information", QMessageBox::Ok);
    child<QPushButton>(*dialog, edited.isEmpty() ? "saveUsrDataButton" : "saveUsrDataChangesButton")->click();
    QVERIFY(waitForAnswer(box));
    QCOMPARE(box->text, text);
    QVERIFY(dialog->isVisible());
    QCOMPARE(databaseText(osd.window->document()), before);
    QCOMPARE(databaseText(osd.stored()), before);
}

void TestUserDialogs::addStoresTheFormInListOrder()
{
    OsdWindow osd(people());
    const auto filled = onNextDialog("New User Data", [](QDialog& dialog) {
        type(dialog, "lineEditUsrName", "eve");
        type(dialog, "lineEditUsrPass", "p w;\"");
        type(dialog, "lineEditConfPass", "p w;\"");
        child<QComboBox>(dialog, "comboBoxPrivilege")->setCurrentText("Power User");
        move(dialog, "allConectionsListWidget", "C3", "addConn2UsrButton");
        move(dialog, "allConectionsListWidget", "C1", "addConn2UsrButton");
        move(dialog, "allConectionsListWidget", "C2", "addConn2UsrButton");
        QCOMPARE(listed(dialog, "allConectionsListWidget"), QStringList { "Default_TX_192.168.1.22" });
        child<QCheckBox>(dialog, "checkBoxAutoConnect")->setChecked(true);
        auto* automatic = child<QComboBox>(dialog, "comboBoxAutoConnect");
        automatic->setCurrentText("C2");
        // The automatic connection follows the selection.
        move(dialog, "usrConnectionsListWidget", "C2", "RmvConnFromUsrButton");
        QCOMPARE(automatic->count(), 2);
        automatic->setCurrentText("C1");
        const auto assigned = onNextDialog("Assign Favorites", [](QDialog& favorites) {
            child<QComboBox>(favorites, "comboBoxF4ConnName")->setCurrentText("C1");
            child<QPushButton>(favorites, "pushButtonSaveFavorites")->click();
        });
        child<QPushButton>(dialog, "pushButtonFaorites")->click();
        QVERIFY(*assigned);
        child<QPushButton>(dialog, "saveUsrDataButton")->click();
    });
    child<QPushButton>(*osd.window, "addUserButton")->click();
    QVERIFY(*filled);

    const QDomElement eve = userNamed(osd.stored(), "eve");
    QCOMPARE(eve.attribute(db::Password) + '|' + eve.attribute(db::Privilege), QString("p w;\"|Power User"));
    QCOMPARE(associations(eve), (QStringList { "C3", "C1@4" }));
    QCOMPARE(eve.firstChildElement(db::AutoConnect).attribute(db::AutoConnectName), QString("C1"));
    QCOMPARE(listed(*osd.window, "userlistWidget").last(), QString("eve"));
    QVERIFY(child<QComboBox>(*osd.window, "comboBoxALogUsr")->findText("eve") >= 0);
    QVERIFY(osd.unit.hasLog(6, "UserData: New User Data Dialog Accepted.\n"));
    QVERIFY(consistent(osd.unit));
}

void TestUserDialogs::userLimit()
{
    QDomDocument document = people();
    for (int i = 5; i < 31; ++i)
        addUser(document, QStringLiteral("u%1").arg(i), "User");
    OsdWindow osd(document);
    osd.window->on_tabWidget_currentChanged(2);
    auto* add = child<QPushButton>(*osd.window, "addUserButton");
    QVERIFY(add->isEnabled());

    const auto filled = onNextDialog("New User Data", [](QDialog& dialog) {
        type(dialog, "lineEditUsrName", "u31");
        child<QPushButton>(dialog, "saveUsrDataButton")->click();
    });
    add->click();
    QVERIFY(*filled);
    QCOMPARE(listed(*osd.window, "userlistWidget").size(), 32);
    QVERIFY(!add->isEnabled());

    const auto box = answerNextBox("Information", QMessageBox::Ok);
    osd.window->on_addUserButton_clicked();
    QVERIFY(waitForAnswer(box));
    QCOMPARE(box->text, QString("The maximum number of users is limited to 32. Remove any existing user before "
                                "adding new user."));
}

void TestUserDialogs::adminKeepsNameAndPrivilege()
{
    OsdWindow osd(people());
    EditUData dialog(osd.window.get(), "admin");
    auto* name = child<QLineEdit>(dialog, "lineEditUNameEdt");
    auto* privilege = child<QComboBox>(dialog, "comboBoxEdtUPriv");
    QVERIFY(!name->isEnabled() && !privilege->isEnabled());
    // Whatever reaches the widgets, the save keeps both.
    name->setText("root");
    privilege->setCurrentText("User");
    child<QPushButton>(dialog, "saveUsrDataChangesButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const QDomElement admin = userNamed(osd.stored(), "admin");
    QCOMPARE(admin.attribute(db::Privilege), QString("Administrator"));
    QVERIFY(userNamed(osd.stored(), "root").isNull());
}

void TestUserDialogs::editKeepsWhatTheFormDoesNotShow()
{
    QDomDocument document = people();
    QDomElement aduser = userNamed(document, "aduser");
    aduser.setAttribute("Colour", "blue");
    aduser.setAttribute(db::Privilege, "Guest");
    aduser.appendChild(document.createElement("Note")).toElement().setAttribute("text", "kept");
    associate(document, "aduser", "C1", "3");
    associate(document, "aduser", "C2", "5");
    OsdWindow osd(document);

    EditUData dialog(osd.window.get(), "aduser");
    QCOMPARE(listed(dialog, "listWidgetUConnEdt"), (QStringList { "C1", "C2" }));
    move(dialog, "listWidgetUConnEdt", "C2", "remUConChangeButton");
    move(dialog, "listWidgetAvailConnEdt", "C3", "addUConChangeButton");
    child<QPushButton>(dialog, "saveUsrDataChangesButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const QDomElement saved = userNamed(osd.stored(), "aduser");
    QCOMPARE(saved.attribute(db::Ad) + saved.attribute("Colour") + saved.attribute(db::Password),
        QString("trueblue") + "pw");
    QCOMPARE(saved.attribute(db::Privilege), QString("Guest"));
    QCOMPARE(saved.firstChildElement("Note").attribute("text"), QString("kept"));
    // Favourites were not opened: C1 keeps its slot, the deselected C2 loses its own.
    QCOMPARE(associations(saved), (QStringList { "C1@3", "C3" }));
    QVERIFY(consistent(osd.unit));
}

void TestUserDialogs::renameCarriesLogOnAndAutomaticLogOn()
{
    QDomDocument document = people();
    associate(document, "boss", "C2");
    OsdWindow osd(document);
    osd.window->setLoggedInUser("boss");
    osd.window->writeAutoLoginUser("boss");

    EditUData dialog(osd.window.get(), "boss");
    type(dialog, "lineEditUNameEdt", "chief");
    child<QPushButton>(dialog, "saveUsrDataChangesButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QVERIFY(osd.unit.readFile(settingsPath).contains("autoLoginUsr=chief\n"));
    QCOMPARE(osd.window->getLoggedInUser(), QString("chief"));
    QCOMPARE(osd.user->userName, QString("chief"));
    QCOMPARE(osd.unit.sim().state().value("loggedInUser").toString(), QString("chief"));
    QCOMPARE(associations(userNamed(osd.stored(), "chief")), QStringList { "C2" });
    osd.window->connectionTab->fillConnectionList();
    QCOMPARE(osd.entries(), QStringList { "C2" });
    QVERIFY(consistent(osd.unit));

    // The unit starts again with the new name logged on by itself.
    LoggedInUser user;
    MainWindow restarted(osd.unit.platform(), nullptr, &user);
    QCOMPARE(user.userName, QString("chief"));
}

void TestUserDialogs::password_data()
{
    QTest::addColumn<QString>("user"); // whose password changes
    QTest::addColumn<QString>("loggedOn"); // who confirms
    QTest::addColumn<QString>("typed"); // "current|new|confirmation"
    QTest::addColumn<QString>("text"); // the refusal, empty when stored
    const QString incorrect = QStringLiteral("Your entered password is incorrect.");
    const QString differ = QStringLiteral("New password does not match.");
    QTest::newRow("own, wrong password") << "admin" << "admin" << "pw|n|n" << incorrect;
    QTest::newRow("own, new ones differ") << "admin" << "admin" << "secret|n|m" << differ;
    QTest::newRow("own, stored") << "admin" << "admin" << "secret|n|n" << "";
    QTest::newRow("reset, the user's password") << "boss" << "admin" << "pw|n|n" << incorrect;
    QTest::newRow("reset, new ones differ") << "boss" << "admin" << "secret|n|m" << differ;
    QTest::newRow("reset, stored") << "boss" << "admin" << "secret|n|n" << "";
    // Nobody on record has a password that an empty field could match.
    QTest::newRow("reset by a name not on record") << "boss" << "ghost" << "|n|n" << incorrect;
}

void TestUserDialogs::password()
{
    QFETCH(QString, user);
    QFETCH(QString, loggedOn);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    OsdWindow osd(people());
    osd.window->setLoggedInUser(loggedOn);
    const QStringList fields = typed.split('|');
    ChangePassword dialog(osd.window.get(), osd.window.get(), user, "Password Change");
    type(dialog, "lineEditYourPassw", fields[0]);
    type(dialog, "lineEditUPasswEdt", fields[1]);
    type(dialog, "lineEditUPassConfEdt", fields[2]);
    dialog.show();
    const auto box = text.isEmpty() ? ModalAnswerPtr() : answerNextBox("Information", QMessageBox::Ok);
    child<QPushButton>(dialog, "buttonSavePass")->click();
    QVERIFY(!box || waitForAnswer(box));
    QCOMPARE(box ? box->text : QString(), text);
    QCOMPARE(dialog.isVisible(), !text.isEmpty());
    QCOMPARE(userNamed(osd.stored(), user).attribute(db::Password),
        text.isEmpty() ? QString("n") : user == "admin" ? QString("secret") : QString("pw"));
    QVERIFY(consistent(osd.unit));
}

void TestUserDialogs::resetThenSaveKeepsNewPassword()
{
    OsdWindow osd(people());
    EditUData dialog(osd.window.get(), "boss");
    const auto reset = onNextDialog("Password Reset", [](QDialog& box) {
        type(box, "lineEditYourPassw", "secret");
        type(box, "lineEditUPasswEdt", "fresh");
        type(box, "lineEditUPassConfEdt", "fresh");
        child<QPushButton>(box, "buttonSavePass")->click();
    });
    child<QPushButton>(dialog, "buttonChangePassw")->click();
    QVERIFY(*reset);
    child<QPushButton>(dialog, "saveUsrDataChangesButton")->click();
    QCOMPARE(userNamed(osd.stored(), "boss").attribute(db::Password), QString("fresh"));
}

void TestUserDialogs::removal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("loggedOn");
    QTest::addColumn<QString>("answer"); // the confirmation's button; empty: no confirmation
    QTest::addColumn<QString>("text"); // the refusal
    QTest::newRow("admin") << "admin" << "boss" << "" << "User \"admin\" is protected and can not be removed.";
    QTest::newRow("logged in") << "boss" << "boss" << ""
                               << "User boss is currently logged in and can not be removed.";
    QTest::newRow("cancelled") << "power" << "admin" << "Cancel" << "";
    QTest::newRow("removed") << "power" << "admin" << "Yes" << "";
}

void TestUserDialogs::removal()
{
    QFETCH(QString, name);
    QFETCH(QString, loggedOn);
    QFETCH(QString, answer);
    QFETCH(QString, text);
    OsdWindow osd(people());
    osd.window->setLoggedInUser(loggedOn);
    osd.window->on_tabWidget_currentChanged(2);
    auto* list = child<QListWidget>(*osd.window, "userlistWidget");
    list->setCurrentItem(list->findItems(name, Qt::MatchExactly).value(0));
    const auto box = answer.isEmpty() ? answerNextBox("Information", QMessageBox::Ok)
                                      : answerNextBox("Remove User", answer);
    osd.window->on_removeUserButton_clicked();
    QVERIFY(waitForAnswer(box));
    QCOMPARE(box->text, text.isEmpty() ? "Do you want to remove user '" + name + "' ?" : text);
    const bool removed = answer == "Yes";
    QCOMPARE(userNamed(osd.stored(), name).isNull(), removed);
    QCOMPARE(listed(*osd.window, "userlistWidget").contains(name), !removed);
    QCOMPARE(osd.unit.hasLog(7, "MainWindow: User " + name + " removed from DB"), removed);
    QVERIFY(consistent(osd.unit));
}

void TestUserDialogs::removingAutomaticLogOnUser()
{
    QDomDocument document = people();
    document.documentElement().firstChildElement(db::UnitSettings).firstChildElement(db::AutoLogin)
        .setAttribute(db::AutoLogUser, "power");
    OsdWindow osd(document);
    osd.window->writeAutoLoginUser("power");
    osd.window->refillAutoLogonChoice();
    QVERIFY(child<QCheckBox>(*osd.window, "checkBoxAutoLog")->isChecked());

    auto* list = child<QListWidget>(*osd.window, "userlistWidget");
    list->setCurrentItem(list->findItems("power", Qt::MatchExactly).value(0));
    const auto yes = answerNextBox("Remove User", QMessageBox::Yes);
    osd.window->on_removeUserButton_clicked();
    QVERIFY(waitForAnswer(yes));
    QCOMPARE(osd.stored().documentElement().firstChildElement(db::UnitSettings).firstChildElement(db::AutoLogin)
                 .attribute(db::AutoLogUser),
        QString());
    QVERIFY(osd.unit.readFile(settingsPath).contains("autoLoginUsr=\n"));
    QVERIFY(!child<QCheckBox>(*osd.window, "checkBoxAutoLog")->isChecked());
    QCOMPARE(child<QComboBox>(*osd.window, "comboBoxALogUsr")->findText("power"), -1);

    // A later user of the same name is not logged on by itself at the next start.
    const auto filled = onNextDialog("New User Data", [](QDialog& dialog) {
        type(dialog, "lineEditUsrName", "power");
        child<QPushButton>(dialog, "saveUsrDataButton")->click();
    });
    osd.window->on_addUserButton_clicked();
    QVERIFY(*filled);
    const auto logon = answerNextLogon(QString(), QString());
    LoggedInUser user;
    MainWindow restarted(osd.unit.platform(), nullptr, &user);
    QVERIFY(logon->shown);
    QVERIFY(!user.loggedIn);
}

void TestUserDialogs::failedWrite_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<QString>("log"); // the line at priority 3, %1 the copy in use
    QTest::newRow("add") << "add" << "UserData: Can not open file: %1";
    QTest::newRow("edit") << "edit" << "EditUData: Can not open file: %1";
    QTest::newRow("password") << "password" << "Velmogui: Can not open file for writing: %1";
    QTest::newRow("remove") << "remove" << "MainWindow: Can not open file for writing: %1";
}

void TestUserDialogs::failedWrite()
{
    QFETCH(QString, road);
    QFETCH(QString, log);
    OsdWindow osd(people());
    const QByteArray before = databaseText(osd.window->document());
    std::unique_ptr<QDialog> dialog;
    QString save;
    if (road == "add") {
        dialog = std::make_unique<UserData>(osd.window.get());
        type(*dialog, "lineEditUsrName", "eve");
        save = "saveUsrDataButton";
    } else if (road == "edit") {
        dialog = std::make_unique<EditUData>(osd.window.get(), "power");
        type(*dialog, "lineEditUNameEdt", "pow");
        move(*dialog, "listWidgetAvailConnEdt", "C1", "addUConChangeButton");
        save = "saveUsrDataChangesButton";
    } else if (road == "password") {
        dialog = std::make_unique<ChangePassword>(osd.window.get(), osd.window.get(), "boss", "Password Reset");
        type(*dialog, "lineEditYourPassw", "secret");
        save = "buttonSavePass";
    }
    if (dialog)
        dialog->show();
    blockWrites(osd.unit);

    const auto error = answerNextBox("Error", QMessageBox::Ok);
    if (dialog) {
        child<QPushButton>(*dialog, save)->click();
    } else {
        osd.window->on_tabWidget_currentChanged(2);
        auto* list = child<QListWidget>(*osd.window, "userlistWidget");
        list->setCurrentItem(list->findItems("power", Qt::MatchExactly).value(0));
        answerNextBox("Remove User", QMessageBox::Yes);
        osd.window->on_removeUserButton_clicked();
    }
    QVERIFY(waitForAnswer(error));
    QVERIFY(!error->text.isEmpty());
    QVERIFY(!dialog || (dialog->isVisible() && dialog->result() != QDialog::Accepted));
    QCOMPARE(databaseText(osd.window->document()), before);
    QVERIFY(osd.unit.hasLog(3, log.arg(osd.window->storage().databasePath)));
    QVERIFY(listed(*osd.window, "userlistWidget").contains("power"));
}

VELMO_TEST_MAIN(TestUserDialogs)
#include "test_userdialogs.moc"
