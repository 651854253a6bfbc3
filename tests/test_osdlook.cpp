// What the user sees on a unit without a window manager: every box and dialog
// shows its own title, boxes come up where the user is looking without hiding
// the fields they are about, a stray Return never reboots or deletes, and the
// Control page keeps no holes where a role hides buttons.
#include "app/lazyicon.h"
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "app/osdmessagebox.h"
#include "connections/connectionsettings.h"
#include "connections/editconnection.h"
#include "connections/newconnection.h"
#include "database.h"
#include "modal.h"
#include "testmain.h"
#include "users/logindialog.h"
#include "widgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <memory>

namespace {

// Presses Return where the keyboard focus of the box is; a box that Return
// leaves open is rejected, so the test ends either way.
void pressReturn(QDialog& box)
{
    QTest::keyClick(box.focusWidget() ? box.focusWidget() : &box, Qt::Key_Return);
    if (box.isVisible())
        box.reject();
}

// The grid's cells in row order, each by the name of the widget it shows first;
// an empty name marks a place left without a shown cell before a shown one.
QString shownCells(QGridLayout* grid)
{
    QMap<int, QString> byPlace;
    for (int index = 0; index < grid->count(); ++index) {
        QLayoutItem* item = grid->itemAt(index);
        if (item->isEmpty())
            continue;
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QLayoutItem* first = item->layout() ? item->layout()->itemAt(0) : item;
        byPlace[row * grid->columnCount() + column] = first->widget()->objectName();
    }
    QStringList cells;
    const int last = byPlace.isEmpty() ? -1 : byPlace.lastKey();
    for (int place = 0; place <= last; ++place)
        cells << byPlace.value(place);
    return cells.join(QLatin1Char(' '));
}

} // namespace

class TestOsdLook : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void boxPlacement_data();
    void boxPlacement();
    void boxes_data();
    void boxes();
    void headerShowsTheTitle();
    void placedBox_data();
    void placedBox();
    void dialogHeaders_data();
    void dialogHeaders();
    void returnDestroysNothing_data();
    void returnDestroysNothing();
    void controlGridHasNoHoles_data();
    void controlGridHasNoHoles();
    void groupTitlesAloneAreLarge();
    void iconsMeasureAsTheirPictures_data();
    void iconsMeasureAsTheirPictures();
};

void TestOsdLook::boxPlacement_data()
{
    QTest::addColumn<QRect>("over");
    QTest::addColumn<QRect>("keepClear");
    QTest::addColumn<QRect>("box");
    const QRect none;
    // A 200 x 100 box on an 800 x 600 screen.
    // clang-format off
    QTest::newRow("nothing shown: the screen's centre") << none << none << QRect(300, 250, 200, 100);
    QTest::newRow("over a window: its centre") << QRect(100, 100, 400, 300) << none << QRect(200, 200, 200, 100);
    QTest::newRow("fields elsewhere: still centred") << QRect(100, 100, 400, 300) << QRect(120, 110, 300, 40) << QRect(200, 200, 200, 100);
    QTest::newRow("over the fields: just below them") << QRect(100, 100, 400, 300) << QRect(150, 220, 300, 40) << QRect(200, 268, 200, 100);
    QTest::newRow("no room below the fields: just above") << QRect(0, 300, 800, 300) << QRect(0, 420, 800, 150) << QRect(300, 312, 200, 100);
    QTest::newRow("a window past the corner: kept on the screen") << QRect(700, 500, 300, 200) << none << QRect(600, 500, 200, 100);
    // clang-format on
}

void TestOsdLook::boxPlacement()
{
    QFETCH(QRect, over);
    QFETCH(QRect, keepClear);
    QTEST(placeBox(QSize(200, 100), over, keepClear, QRect(0, 0, 800, 600)), "box");
}

void TestOsdLook::boxes_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("onReturn");
    // clang-format off
    QTest::newRow("a message: Ok") << int(QMessageBox::Ok) << int(QMessageBox::Ok);
    QTest::newRow("reboot: No") << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::No);
    QTest::newRow("overwrite: Cancel before No") << int(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) << int(QMessageBox::Cancel);
    // clang-format on
}

void TestOsdLook::boxes()
{
    QFETCH(int, buttons);
    QWidget parent;
    OsdMessageBox box(QStringLiteral("Reboot"), QStringLiteral("Are you sure?"),
        QMessageBox::StandardButtons(buttons), &parent);
    const auto seen = actOnNextDialog(QStringLiteral("Reboot"), pressReturn);
    QTEST(box.exec(), "onReturn");
    QVERIFY(*seen);
}

// The two titles the user could not tell apart on the unit: without the title
// drawn both strips would be the same plain colour.
void TestOsdLook::headerShowsTheTitle()
{
    QList<QImage> strips;
    for (const char* title : { "Authentication", "Authentication Timeout" }) {
        OsdMessageBox box(QLatin1String(title), QStringLiteral("System busy."), QMessageBox::Ok, nullptr);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        strips << box.grab(child<QLabel>(box, "titleHeader")->geometry()).toImage();
    }
    const int width = qMin(strips[0].width(), strips[1].width());
    QVERIFY(
        strips[0].copy(0, 0, width, strips[0].height()) != strips[1].copy(0, 0, width, strips[1].height()));
}

void TestOsdLook::placedBox_data()
{
    QTest::addColumn<QString>("scene"); // the box's title
    QTest::newRow("the parent hidden: the screen's centre") << QStringLiteral("Disconnect Reason");
    QTest::newRow("the parent shown: its centre") << QStringLiteral("Information");
    QTest::newRow("the log-on dialog up: its centre, fields in view") << QStringLiteral("Warning:");
}

void TestOsdLook::placedBox()
{
    QFETCH(QString, scene);
    OsdWindow osd(databaseWithUsers());
    MainWindow& window = *osd.window;
    window.setGeometry(20, 30, 600, 450);
    QRect box;
    QRect anchor = QGuiApplication::primaryScreen()->geometry();
    QList<QRect> fields;
    const auto seen = actOnNextDialog(scene, [&](QDialog& shown) {
        box = shown.frameGeometry();
        shown.accept();
    });

    if (scene == QLatin1String("Information"))
        anchor = window.frameGeometry();
    else
        window.hide(); // the main window stays hidden while the log-on dialog is up
    if (scene != QLatin1String("Warning:")) {
        window.showMessage(scene, QStringLiteral("Network lost."));
    } else {
        LoginDialog dialog(window.context(), window);
        dialog.setModal(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        anchor = dialog.frameGeometry();
        for (const char* name : { "userNamelineEdit", "passwordlineEdit" }) {
            auto* field = dialog.findChild<QLineEdit*>(QLatin1String(name));
            fields << QRect(field->mapToGlobal(QPoint(0, 0)), field->size());
            QTest::keyClicks(field, QStringLiteral("no"));
        }
        dialog.findChild<QPushButton*>(QStringLiteral("logonButton"))->click();
        QTRY_VERIFY(*seen);
        dialog.reject();
    }
    QTRY_VERIFY(*seen);
    QVERIFY2(qAbs(box.center().x() - anchor.center().x()) <= 1, qPrintable(scene));
    if (fields.isEmpty())
        QVERIFY(qAbs(box.center().y() - anchor.center().y()) <= 1);
    for (const QRect& field : fields)
        QVERIFY(!box.intersects(field));
    QVERIFY(QGuiApplication::primaryScreen()->geometry().contains(box));
}

void TestOsdLook::dialogHeaders_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("title");
    QTest::newRow("log-on: no title, no strip") << QStringLiteral("logon") << QString();
    QTest::newRow("log-on in safe mode") << QStringLiteral("safe logon") << QStringLiteral("***SAFE MODE***");
    QTest::newRow("new connection") << QStringLiteral("new") << QStringLiteral("New Connection");
    QTest::newRow("edit connection") << QStringLiteral("edit") << QStringLiteral("Edit Connection");
    QTest::newRow("broker settings") << QStringLiteral("broker") << QStringLiteral("Broker Settings");
    QTest::newRow("message box") << QStringLiteral("box") << QStringLiteral("Reboot");
}

void TestOsdLook::dialogHeaders()
{
    QFETCH(QString, dialog);
    QFETCH(QString, title);
    OsdWindow osd(databaseWithUsers());
    if (dialog == QLatin1String("safe logon"))
        osd.unit.writeFile(QStringLiteral("/SAFEMODE"), QByteArray());
    std::unique_ptr<QDialog> shown;
    if (dialog.endsWith(QLatin1String("logon")))
        shown = std::make_unique<LoginDialog>(osd.window->context(), *osd.window);
    else if (dialog == QLatin1String("new"))
        shown = std::make_unique<NewConnection>(osd.window->context());
    else if (dialog == QLatin1String("edit"))
        shown = std::make_unique<EditConnection>(osd.window->context(), QStringLiteral("Default"));
    else if (dialog == QLatin1String("broker"))
        shown = std::make_unique<ConnectionSettings>(osd.window->context());
    else
        shown = std::make_unique<OsdMessageBox>(QStringLiteral("Reboot"), QStringLiteral("Are you sure?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, osd.window.get());
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));

    QLabel* header = child<QLabel>(*shown, "titleHeader");
    QCOMPARE(header->text(), title);
    QCOMPARE(header->isVisible(), !title.isEmpty());
    // Its edge stays visible where it lies over a window of the same grey.
    const QImage look = shown->grab().toImage();
    QCOMPARE(look.pixel(0, look.height() - 1), shown->palette().color(QPalette::Dark).rgb());
    if (!title.isEmpty()) {
        QCOMPARE(header->geometry(), QRect(0, 0, shown->width(), header->height()));
        for (QWidget* child : shown->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!child->testAttribute(Qt::WA_TransparentForMouseEvents) && !child->isWindow()
                && child->isVisible())
                QVERIFY2(child->y() >= header->height(), qPrintable(child->objectName()));
    }

    // A title set later shows as well, and clearing it gives the room back.
    shown->setWindowTitle(QStringLiteral("Changed"));
    QCOMPARE(header->text(), QStringLiteral("Changed"));
    QVERIFY(header->isVisibleTo(shown.get()));
    const int withStrip = shown->contentsMargins().top();
    shown->setWindowTitle(QString());
    QVERIFY(!header->isVisibleTo(shown.get()));
    QCOMPARE(shown->contentsMargins().top(), withStrip - header->sizeHint().height());
}

void TestOsdLook::returnDestroysNothing_data()
{
    QTest::addColumn<QString>("confirmation");
    QTest::newRow("reboot from the power menu") << QStringLiteral("Reboot");
    QTest::newRow("remove connection") << QStringLiteral("Remove connection");
}

void TestOsdLook::returnDestroysNothing()
{
    QFETCH(QString, confirmation);
    QDomDocument document = databaseWithUsers();
    addConnection(document, QStringLiteral("Desk"));
    associate(document, QStringLiteral("admin"), QStringLiteral("Desk"));
    OsdWindow osd(document);
    const QByteArray stored = osd.unit.readFile(osd.window->storage().databasePath);
    const auto seen = actOnNextDialog(confirmation, pressReturn);

    if (confirmation == QLatin1String("Reboot")) {
        osd.window->sureReboot();
    } else {
        osd.window->findChild<QListWidget*>(QStringLiteral("listWidgetVM"))->setCurrentRow(0);
        osd.window->findChild<QPushButton*>(QStringLiteral("removeConnectionButton"))->click();
    }
    QTRY_VERIFY(*seen);
    for (const QStringList& command : osd.unit.commands())
        QVERIFY2(!command.value(0).endsWith(QLatin1String("reboot")), qPrintable(command.join(' ')));
    QCOMPARE(osd.unit.readFile(osd.window->storage().databasePath), stored);
    QVERIFY(osd.entries().contains(QStringLiteral("Desk")));
}

void TestOsdLook::controlGridHasNoHoles_data()
{
    QTest::addColumn<QStringList>("users"); // logged on one after the other
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("cells");
    const QString all = QStringLiteral("screenResButton networkButton systemPageButton hot_keyButton "
                                       "toolButtonPowerMode buttonTimerSettings toolButtonGeneralSettings "
                                       "transmitterButton toolButtonMyPassCh");
    // clang-format off
    QTest::newRow("administrator: the form's order") << QStringList { "admin" } << false << all;
    QTest::newRow("power user") << QStringList { "power" } << false << "screenResButton toolButtonPowerMode toolButtonGeneralSettings transmitterButton toolButtonMyPassCh";
    QTest::newRow("power user, managed") << QStringList { "power" } << true << "screenResButton toolButtonPowerMode toolButtonGeneralSettings toolButtonMyPassCh";
    QTest::newRow("power user, then administrator: all back in place") << QStringList { "power", "boss" } << false << all;
    // clang-format on
}

void TestOsdLook::controlGridHasNoHoles()
{
    QFETCH(QStringList, users);
    QFETCH(bool, managed);
    OsdWindow osd(databaseWithUsers(), 1, managed);
    for (const QString& name : users)
        osd.window->applyPrivilege(userNamed(osd.window->document(), name));
    QTEST(shownCells(child<QGridLayout>(*osd.window, QStringLiteral("pageButtonsGrid"))), "cells");
}

// Titles in 14 px bold on every page once built; what a box holds keeps the normal font.
void TestOsdLook::groupTitlesAloneAreLarge()
{
    OsdWindow osd(databaseWithUsers());
    osd.window->form(); // every page, as opened
    const QFont normal = QApplication::font();
    const QList<QGroupBox*> boxes = osd.window->findChildren<QGroupBox*>();
    QVERIFY(boxes.size() > 8);
    for (QGroupBox* box : boxes) {
        QCOMPARE(box->font().pixelSize(), 14);
        QVERIFY(box->font().bold());
        for (QWidget* inside : box->findChildren<QWidget*>()) {
            QVERIFY2(!inside->font().bold(), qPrintable(inside->objectName()));
            QCOMPARE(inside->font().pointSizeF(), normal.pointSizeF());
        }
    }
}

void TestOsdLook::iconsMeasureAsTheirPictures_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QSize>("room");
    QTest::newRow("smaller room") << QStringLiteral(":/icons/icons/connect.png") << QSize(20, 20);
    QTest::newRow("larger room") << QStringLiteral(":/icons/icons/connect.png") << QSize(100, 100);
    QTest::newRow("wide room") << QStringLiteral(":/icons/icons/connect.png") << QSize(48, 16);
    QTest::newRow("tall room") << QStringLiteral(":/icons/icons/connect.png") << QSize(16, 48);
    QTest::newRow("no picture") << QStringLiteral(":/icons/icons/none.png") << QSize(20, 20);
}

// Layouts measure an icon before it is ever drawn: the lazy icon must answer
// as the decoded picture would, and still draw the picture afterwards.
void TestOsdLook::iconsMeasureAsTheirPictures()
{
    QFETCH(QString, picture);
    QFETCH(QSize, room);
    const QIcon decoded(picture);
    const QIcon lazy = lazyIcon(qPrintable(picture));
    QCOMPARE(lazy.isNull(), decoded.isNull());
    QCOMPARE(lazy.actualSize(room), decoded.actualSize(room));
    QCOMPARE(lazy.pixmap(room).toImage(), decoded.pixmap(room).toImage());
    QCOMPARE(lazy.pixmap(room, QIcon::Disabled).toImage(), decoded.pixmap(room, QIcon::Disabled).toImage());
}

VELMO_TEST_MAIN(TestOsdLook)
#include "test_osdlook.moc"
