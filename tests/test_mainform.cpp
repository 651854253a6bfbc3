// The main window's form as a user sees it: the icons come out of the
// resources, and every page still fits the 600 x 450 window the OSD runs in.
#include "app/loggedinuser.h"
#include "app/mainwindow.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"

#include <QAbstractButton>
#include <QImage>
#include <QStackedWidget>
#include <QTabWidget>
#include <QtTest>

namespace {

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
    void iconsComeFromTheResources();
    void everyPageFitsTheOsdWindow();

private:
    // The default simulated unit logs "admin" on by itself, so every tab is there.
    struct Shown {
        TestUnit unit;
        LoggedInUser user;
        MainWindow window { unit.platform(), nullptr, &user };
    };
    std::unique_ptr<Shown> shown;
    MainWindow* window = nullptr;
};

void TestMainForm::init()
{
    shown = std::make_unique<Shown>();
    window = &shown->window;
    window->resize(600, 450);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMainForm::cleanup()
{
    closeLeftoverModals();
    shown.reset();
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
            for (const QString& name : squeezedWidgets(window))
                problems << tabs->tabText(tab) + (control ? QStringLiteral(" page %1").arg(page) : QString())
                        + ": " + name;
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String(", "))));
}

VELMO_TEST_MAIN(TestMainForm)
#include "test_mainform.moc"
