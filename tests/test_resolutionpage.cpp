// The screen resolution page: what the monitor offers, the session resolution
// kept in the database with its bounded fallback, and the OSD's own mode.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "database.h"
#include "database/dbnames.h"
#include "logon.h"
#include "modal.h"
#include "press.h"
#include "settings/displayrules.h"
#include "settings/resolutionpage.h"
#include "testmain.h"
#include "widgets.h"

#include <QComboBox>
#include <QListWidget>
#include <QStackedWidget>
#include <QtTest>

namespace {

QStringList items(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QString storedResolution(const OsdWindow& osd)
{
    return unitSettingsGroup(osd.stored(), db::ScreenResolution).attribute(db::Default);
}

} // namespace

class TestResolutionPage : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(closeLeftoverModals(), 0); }
    void notBeforeLogOn();
    void monitor_data();
    void monitor();
    void osdApply_data();
    void osdApply();
    void osdMode_data();
    void osdMode();
};

void TestResolutionPage::notBeforeLogOn()
{
    TestUnit unit;
    installDatabase(unit, databaseWithUsers());
    unit.writeFile(QStringLiteral("/tmp/guiBootCount.txt"), QByteArray()); // no automatic log-on
    LoggedInUser user;
    QList<QStringList> beforeLogOn;
    std::unique_ptr<MainWindow> window;
    {
        const auto logOn = answerNextLogon("boss", "pw", [&](QDialog&) { beforeLogOn = unit.commands(); });
        window = std::make_unique<MainWindow>(unit.platform(), nullptr, &user);
        QVERIFY(logOn->shown);
    }
    QCOMPARE(window->findChild<QStackedWidget*>("stackedWidget")->currentIndex(), 0);
    for (const QStringList& command : beforeLogOn)
        QVERIFY2(
            command.first() != QLatin1String(ResolutionPage::databaseScript), qPrintable(command.join(' ')));
}

void TestResolutionPage::monitor_data()
{
    QTest::addColumn<bool>("edidValid");
    QTest::addColumn<QString>("preferred");
    QTest::addColumn<QStringList>("modes");
    QTest::addColumn<bool>("managed");
    QTest::addColumn<bool>("withGroup"); // the database has its resolution group
    QTest::addColumn<QStringList>("offered"); // empty: not looked at
    QTest::addColumn<bool>("warned"); // the stored resolution is not offered
    QTest::addColumn<QString>("stored");
    QStringList standard = standardResolutions();
    standard.removeAll("1920x1200 60Hz");
    standard << "Auto";
    const QStringList full { "1920x1080 60Hz" };
    // clang-format off
    QTest::newRow("no EDID") << false << "1920x1080 60Hz" << full << false << true << standard << false << "1280x1024";
    QTest::newRow("no standard mode") << true << "1366x768 60Hz" << QStringList { "1366x768 60Hz" } << false << true
                                      << standard << false << "1280x1024";
    QTest::newRow("preferred first, once, empty dropped") << true << "1280x1024 60Hz"
        << QStringList { "1920x1080 60Hz", "", "1280x1024 60Hz", "3840x2160 60Hz", "1920x1080 60Hz" } << false << true
        << QStringList { "1280x1024 60Hz", "1920x1080 60Hz", "Auto" } << false << "1280x1024";
    QTest::newRow("stored not offered") << true << "1920x1080 60Hz" << QStringList { "1920x1080 60Hz", "1680x1050 60Hz" }
                                        << false << true << QStringList() << true << "1920x1080";
    QTest::newRow("nothing left but Auto") << true << "1920x1200 60Hz" << QStringList { "1920x1200 60Hz", "3840x2160 60Hz" }
                                           << false << true << QStringList() << true << "1280x1024";
    QTest::newRow("managed unit") << true << "1920x1080 60Hz" << full << true << true << QStringList() << true << "1280x1024";
    QTest::newRow("no resolution group") << true << "1920x1080 60Hz" << full << false << false << QStringList() << true << "";
    // clang-format on
}

void TestResolutionPage::monitor()
{
    QFETCH(bool, edidValid);
    QFETCH(QString, preferred);
    QFETCH(QStringList, modes);
    QFETCH(bool, managed);
    QFETCH(bool, withGroup);
    QFETCH(QStringList, offered);
    QFETCH(bool, warned);
    QDomDocument document = databaseWithUsers();
    QDomElement settings = document.documentElement().firstChildElement(db::UnitSettings);
    ModalAnswerPtr atStart;
    if (!withGroup) {
        settings.removeChild(settings.firstChildElement(db::ScreenResolution));
        atStart = answerNextBox(QStringLiteral("Warning"), QMessageBox::Ok);
    }
    OsdWindow osd(document, 1, managed);
    if (atStart)
        QVERIFY(waitForAnswer(atStart));
    osd.unit.sim().editSection(QStringLiteral("display"), [&](QJsonObject& display) {
        display.insert("edidValid", edidValid);
        display.insert("preferred", preferred);
        display.insert("modes", QJsonArray::fromStringList(modes));
    });

    ModalAnswerPtr first
        = warned ? answerNextBox(QStringLiteral("Warning"), QMessageBox::Ok) : ModalAnswerPtr();
    ModalAnswerPtr second = answerNextBox(QStringLiteral("Warning"), QMessageBox::Ok);
    osd.showPage(0);
    if (warned) {
        QVERIFY(first->answered);
        QCOMPARE(first->text, QStringLiteral("Selected RDP Resolution not supported."));
    } else {
        QCOMPARE(child<QComboBox>(*osd.window, "comboBox")->currentText(), QStringLiteral("1280x1024 60Hz"));
    }
    // The page is refilled once at most: no second warning.
    QVERIFY(!waitForAnswer(second, 200));
    QCOMPARE(closeLeftoverModals(), 1);
    if (!offered.isEmpty())
        QCOMPARE(items(child<QComboBox>(*osd.window, "comboBox")), offered);
    QTEST(storedResolution(osd), "stored");
    if (items(child<QComboBox>(*osd.window, "comboBox")) != QStringList { "Auto" })
        return;
    // Nothing but "Auto" on offer: Apply stores nothing, and says so.
    QCOMPARE(pressAndSettle(*osd.window, "applyScResButton", "Information"),
        QStringLiteral("The monitor offers no RDP Resolution to apply."));
    QTEST(storedResolution(osd), "stored");
}

void TestResolutionPage::osdApply_data()
{
    QTest::addColumn<int>("storeFailure");
    QTest::newRow("stored") << 0;
    QTest::newRow("store fails") << 1;
    QTest::newRow("store cannot start") << -1;
}

void TestResolutionPage::osdApply()
{
    QFETCH(int, storeFailure);
    OsdWindow osd(databaseWithUsers());
    osd.unit.writeFile("/tmp/WAS_CONNECTED", "a-much-longer-user-name\nand-a-much-longer-connection\n");
    osd.unit.sim().setFailure(QStringLiteral("rx_database.sh"), storeFailure);
    QListWidget* list = child<QListWidget>(*osd.window, "listWidgetVM");
    QVERIFY(list->count() > 0);
    list->setCurrentRow(0);
    osd.showPage(0);
    child<QComboBox>(*osd.window, "comboBoxGUIRes")->setCurrentText("1280x720");
    osd.unit.clearRecords();

    const QString error = pressAndSettle(*osd.window, "applyGUIReslButton_2", storeFailure ? "Error" : "");
    QCOMPARE(osd.unit.commands().value(0),
        (QStringList { ResolutionPage::databaseScript, "UPDATE", "OSDResolution", "System", "1280x720" }));
    QCOMPARE(error, storeFailure ? QStringLiteral("The OSD Resolution could not be changed.") : QString());
    if (storeFailure) {
        QVERIFY(osd.window->isVisible());
        QCOMPARE(osd.unit.readFile("/tmp/WAS_CONNECTED"),
            QByteArray("a-much-longer-user-name\nand-a-much-longer-connection\n"));
        return;
    }
    QVERIFY(!osd.window->isVisible());
    QCOMPARE(osd.unit.readFile("/tmp/WAS_CONNECTED"), ("admin\n" + list->item(0)->text() + "\n").toUtf8());
    QCOMPARE(osd.unit.readFile("/usr/local/directfbrc"), QByteArray("mode=1280x720\ndepth=32\n"));
}

void TestResolutionPage::osdMode_data()
{
    QTest::addColumn<QByteArray>("modeFile"); // "-": missing
    QTest::addColumn<QString>("inStore"); // "-": the store cannot answer
    QTest::addColumn<QString>("shown");
    // clang-format off
    QTest::newRow("file names 1280x720") << QByteArray("depth=32\nmode=1280x720\n") << "1280x1024" << "1280x720";
    QTest::newRow("file names 1920x1080") << QByteArray("mode=1920x1080\n") << "800x600" << "1920x1080";
    QTest::newRow("last mode line wins") << QByteArray("mode=800x600\nmode=1280x1024\n") << "1920x1080" << "1280x1024";
    QTest::newRow("Auto kept over the mode it chose") << QByteArray("mode=1920x1080\n") << "Auto" << "Auto";
    QTest::newRow("unknown mode keeps store") << QByteArray("mode=1024x768\n") << "1920x1080" << "1920x1080";
    QTest::newRow("no file keeps store") << QByteArray("-") << "1280x720" << "1280x720";
    QTest::newRow("nothing known") << QByteArray("mode=1024x768\n") << "-" << "";
    QTest::newRow("nothing offered") << QByteArray("mode=1024x768\n") << "640x480" << "";
    // clang-format on
}

void TestResolutionPage::osdMode()
{
    QFETCH(QByteArray, modeFile);
    QFETCH(QString, inStore);
    OsdWindow osd(databaseWithUsers());
    if (modeFile == "-")
        QFile::remove(osd.unit.path("/usr/local/directfbrc"));
    else
        osd.unit.writeFile("/usr/local/directfbrc", modeFile);
    if (inStore == "-")
        osd.unit.sim().setFailure(QStringLiteral("rx_database.sh"), 1);
    else
        osd.unit.sim().editSection("rxDatabase", [&](QJsonObject& store) {
            store.insert("System", QJsonObject { { "OSDResolution", inStore } });
        });
    osd.showPage(0);
    QFETCH(QString, shown);
    QCOMPARE(child<QComboBox>(*osd.window, "comboBoxGUIRes")->currentText(), shown);
    if (!shown.isEmpty())
        return;
    // No mode to apply: none is stored, and the OSD does not restart for it.
    osd.unit.clearRecords();
    QCOMPARE(pressAndSettle(*osd.window, "applyGUIReslButton_2", "Information"),
        QStringLiteral("Select an OSD Resolution to apply."));
    QVERIFY(osd.unit.commands().isEmpty());
    QVERIFY(osd.window->isVisible());
}

VELMO_TEST_MAIN(TestResolutionPage)
#include "test_resolutionpage.moc"
