// The main window's form as the rest of the OSD relies on it: the widgets the
// page switches show are on those pages, the icons come out of the resources,
// and every page still fits the 600 x 450 window the OSD runs in.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QtTest>

namespace {

// The tab or Control page a widget must sit on; pages are the Control stack's
// indexes, -1 marks a widget on a tab outside the stack or above the tabs.
struct Placement {
    const char* name;
    const char* className;
    const char* tab;
    int page;
};

const Placement placements[] = {
    { "powreOffButton", "QToolButton", nullptr, -1 },
    { "curUNamelbl", "QLabel", nullptr, -1 },
    { "zoneLabel", "QLabel", nullptr, -1 },
    { "label_3", "QLabel", nullptr, -1 },
    { "listWidgetVM", "QListWidget", "connectionsTab", -1 },
    { "lineEditFilterConnections", "QLineEdit", "connectionsTab", -1 },
    { "connectButton", "QPushButton", "connectionsTab", -1 },
    { "removeConnectionButton", "QPushButton", "connectionsTab", -1 },
    { "pushButtonMyFavorites", "QPushButton", "connectionsTab", -1 },
    { "userlistWidget", "QListWidget", "usersTab", -1 },
    { "removeUserButton", "QPushButton", "usersTab", -1 },
    { "comboBox", "QComboBox", "controlTab", 0 },
    { "applyGUIReslButton_2", "QPushButton", "controlTab", 0 },
    { "radioButtonStatIP", "QRadioButton", "controlTab", 1 },
    { "DNS2lineEdit", "QLineEdit", "controlTab", 1 },
    { "applyNetworkButton", "QPushButton", "controlTab", 1 },
    { "startupgradeButton", "QPushButton", "controlTab", 2 },
    { "brokerButton", "QPushButton", "controlTab", 2 },
    { "restoreButton", "QPushButton", "controlTab", 2 },
    { "label_2", "QLabel", "controlTab", 2 },
    { "comboBoxHotKey", "QComboBox", "controlTab", 3 },
    { "labelHotKey", "QLabel", "controlTab", 3 },
    { "comboBoxPowerMode", "QComboBox", "controlTab", 4 },
    { "screenResButton", "QToolButton", "controlTab", 5 },
    { "labelTimersSettings", "QLabel", "controlTab", 5 },
    { "comboBoxALogUsr", "QComboBox", "controlTab", 5 },
    { "spinBoxPreEmptInactiveTimer", "QSpinBox", "controlTab", 6 },
    { "spinBoxPreEmptTimer", "QSpinBox", "controlTab", 6 },
    { "checkBoxRedirTouchscreen", "QCheckBox", "controlTab", 7 },
    { "labelSerialNumber", "QLabel", "informationTab", -1 },
    { "labelNetworkMask", "QLabel", "informationTab", -1 },
};

bool contains(const QWidget* ancestor, const QWidget* widget)
{
    return ancestor && ancestor->isAncestorOf(widget);
}

// Every shown widget that its layout gave less than it needs to draw itself.
QStringList squeezedWidgets(QWidget* top)
{
    QStringList squeezed;
    for (QWidget* child : top->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(top) || child->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QSize need = child->minimumSizeHint();
        if (need.isValid() && (child->width() < need.width() || child->height() < need.height()))
            squeezed << child->objectName();
    }
    return squeezed;
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void widgetsSitOnThePagesThatShowThem_data();
    void widgetsSitOnThePagesThatShowThem();
    void iconsComeFromTheResources();
    void everyPageFitsTheOsdWindow();

private:
    std::unique_ptr<TestUnit> unit;
    std::unique_ptr<LoggedInUser> user;
    std::unique_ptr<MainWindow> window;
};

void TestMainForm::init()
{
    // The default simulated unit logs "admin" on by itself, so every tab is there.
    unit = std::make_unique<TestUnit>();
    user = std::make_unique<LoggedInUser>();
    window = std::make_unique<MainWindow>(unit->platform(), nullptr, user.get());
    window->resize(600, 450);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainForm::cleanup()
{
    closeLeftoverModals();
    window.reset();
    user.reset();
    unit.reset();
}

void TestMainForm::widgetsSitOnThePagesThatShowThem_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(placements)); ++i)
        QTest::newRow(placements[i].name) << i;
}

void TestMainForm::widgetsSitOnThePagesThatShowThem()
{
    QFETCH(int, index);
    const Placement& expected = placements[index];
    auto* widget = window->findChild<QWidget*>(QLatin1String(expected.name));
    QVERIFY2(widget, expected.name);
    QVERIFY2(widget->inherits(expected.className), widget->metaObject()->className());

    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    if (!expected.tab) {
        QVERIFY2(!contains(tabs, widget), "belongs above the tabs");
        return;
    }
    QVERIFY(contains(window->findChild<QWidget*>(QLatin1String(expected.tab)), widget));
    if (expected.page >= 0) {
        auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
        QCOMPARE(stack->count(), 8);
        QVERIFY2(contains(stack->widget(expected.page), widget), "on another Control page");
    }
}

void TestMainForm::iconsComeFromTheResources()
{
    // A path that does not resolve still makes a non-null QIcon; only drawing tells.
    const auto drawable = [](const QIcon& icon) { return !icon.pixmap(16, 16).isNull(); };
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    for (int i = 0; i < tabs->count(); ++i)
        QVERIFY2(drawable(tabs->tabIcon(i)), qPrintable(tabs->tabText(i)));
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->inherits("QCheckBox") || button->inherits("QRadioButton")
            || button->parent()->inherits("QTabBar"))
            continue;
        QVERIFY2(drawable(button->icon()), qPrintable(button->objectName()));
    }
    // The connection and user lists set these two per entry.
    for (const char* path : { ":/icons/icons/sharedConn.png", ":/icons/icons/privateConn.png" }) {
        const QImage image(QLatin1String { path });
        QVERIFY2(!image.isNull(), path);
        QVERIFY(image.size() == QSize(64, 64) || image.size() == QSize(48, 48));
    }
}

void TestMainForm::everyPageFitsTheOsdWindow()
{
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    // Only the look is checked here: the page loaders stay out of it.
    const QSignalBlocker quietTabs(tabs);
    const QSignalBlocker quietStack(stack);
    QStringList problems;
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        const bool control = tabs->widget(tab)->isAncestorOf(stack);
        for (int page = 0; page < (control ? stack->count() : 1); ++page) {
            if (control)
                stack->setCurrentIndex(page);
            QCoreApplication::processEvents();
            for (const QString& name : squeezedWidgets(window.get()))
                problems << tabs->tabText(tab) + (control ? QStringLiteral(" page %1").arg(page) : QString())
                        + ": " + name;
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String(", "))));
}

VELMO_TEST_MAIN(TestMainForm)
#include "test_mainform.moc"
