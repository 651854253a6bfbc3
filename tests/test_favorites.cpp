// Favourite slots: what a stored value means, the choice in the dialog and the
// way a table goes into and comes out of the database.
#include "app/mainwindow.h"
#include "database.h"
#include "database/dbnames.h"
#include "modal.h"
#include "testmain.h"
#include "users/editudata.h"
#include "users/favorites.h"
#include "rules/userrules.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {

QComboBox* slotCombo(QWidget& dialog, int slot)
{
    return dialog.findChild<QComboBox*>(QStringLiteral("comboBoxF%1ConnName").arg(slot));
}

QStringList offered(QWidget& dialog, int slot)
{
    QStringList items;
    for (int i = 0; i < slotCombo(dialog, slot)->count(); ++i)
        items << slotCombo(dialog, slot)->itemText(i);
    return items;
}

QStringList table(std::initializer_list<std::pair<int, const char*>> filled)
{
    QStringList result = QVector<QString>(10).toList();
    for (const auto& [slot, name] : filled)
        result[slot] = QLatin1String(name);
    return result;
}

} // namespace

class TestFavorites : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void storedValue_data();
    void storedValue();
    void choiceIsExclusive();
    void assignedAndShown();
};

void TestFavorites::storedValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("slot");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("nine") << "9" << 9;
    QTest::newRow("leading zero") << "07" << 7;
    QTest::newRow("ten") << "10" << -1;
    QTest::newRow("wraps to zero in 32 bits") << "4294967296" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("sign") << "+3" << -1;
    QTest::newRow("other script's digit") << QString::fromUtf8("\u0663") << -1;
}

void TestFavorites::storedValue()
{
    QFETCH(QString, value);
    QTEST(UserRules::favoriteSlot(value), "slot");
}

void TestFavorites::choiceIsExclusive()
{
    OsdWindow osd(databaseWithUsers());
    Favorites dialog(osd.window->context(), osd.window.get(), Favorites::assignMode, "boss",
        { "B", "A", "C" }, table({ { 1, "C" }, { 4, "gone" } }));
    QCOMPARE(offered(dialog, 1), (QStringList { "", "C", "A", "B" }));
    QCOMPARE(offered(dialog, 4), (QStringList { "", "A", "B" }));

    slotCombo(dialog, 0)->setCurrentText("A");
    QCOMPARE(offered(dialog, 3), (QStringList { "", "B" }));
    QCOMPARE(slotCombo(dialog, 0)->currentText(), QString("A"));
    slotCombo(dialog, 0)->setCurrentText("B");
    QCOMPARE(offered(dialog, 3), (QStringList { "", "A" }));
    slotCombo(dialog, 1)->setCurrentIndex(0);
    QCOMPARE(offered(dialog, 3), (QStringList { "", "A", "C" }));
    QCOMPARE(dialog.favoriteSlots(), table({ { 0, "B" } }));
    QVERIFY(dialog.findChild<QPushButton*>("pushButtonSaveFavorites")->isVisibleTo(&dialog));
    QVERIFY(!dialog.findChild<QPushButton*>("pushButtonOkFavorites")->isVisibleTo(&dialog));
}

void TestFavorites::assignedAndShown()
{
    QDomDocument document = databaseWithUsers();
    for (const char* name : { "A", "B", "C" })
        addConnection(document, name);
    associate(document, "boss", "A", "2");
    associate(document, "boss", "B");
    OsdWindow osd(document);
    EditUData edit(osd.window->context(), "boss");
    const auto open = [&edit] { edit.findChild<QPushButton*>("pushButtonFavorites")->click(); };
    const auto choose = [open](const char* name, int slot, const char* button) {
        return actOnDialogOf(open, "Assign Favorites", [=](QDialog& dialog) {
            slotCombo(dialog, slot)->setCurrentText(name);
            dialog.findChild<QPushButton*>(button)->click();
        });
    };

    // Cancel keeps the stored table; Save's choice is what reopening shows.
    QVERIFY(choose("B", 5, "pushButtonCancelFavorites"));
    QVERIFY(choose("B", 9, "pushButtonSaveFavorites"));
    QVERIFY(actOnDialogOf(open, "Assign Favorites", [](QDialog& dialog) {
        QCOMPARE(static_cast<Favorites&>(dialog).favoriteSlots(), table({ { 2, "A" }, { 9, "B" } }));
        dialog.findChild<QPushButton*>("pushButtonSaveFavorites")->click();
    }));

    // A slot whose connection leaves the selection is dropped with it.
    edit.findChild<QListWidget*>("listWidgetUConnEdt")->setCurrentRow(0);
    edit.findChild<QPushButton*>("remUConChangeButton")->click();
    edit.findChild<QPushButton*>("saveUsrDataChangesButton")->click();
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    QCOMPARE(userNamed(osd.stored(), "boss").elementsByTagName(db::AssociatedConnections).count(), 1);

    // The user sees the stored table, read-only.
    osd.window->setLoggedInUser("boss");
    const auto mine = [&] { osd.window->findChild<QPushButton*>("pushButtonMyFavorites")->click(); };
    QVERIFY(actOnDialogOf(mine, "My Favorites", [](QDialog& dialog) {
        for (int slot = 0; slot < 10; ++slot) {
            QVERIFY(!slotCombo(dialog, slot)->isVisible());
            QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("labelF%1ConnName").arg(slot))->text(),
                slot == 9 ? QString("B") : QString());
        }
        QVERIFY(!dialog.findChild<QPushButton*>("pushButtonCancelFavorites")->isVisible());
        dialog.findChild<QPushButton*>("pushButtonOkFavorites")->click();
    }));
}

VELMO_TEST_MAIN(TestFavorites)
#include "test_favorites.moc"
