// The Control tab's pages, each built when first needed: most starts never
// open the Control tab, and its pages are most of the window's widgets.
#include "app/mainwindowform.h"
#include "mainwindow.h"

#include "app/formlook.h"
#include "app/gridreflow.h"
#include "app/slotsbyname.h"
#include "users/usertab.h"

#include <QEvent>
#include <QGroupBox>
#include <QStackedWidget>

namespace {

// Calls back once, the first time the widget it watches is shown.
class FirstShow : public QObject {
public:
    FirstShow(QWidget* watched, std::function<void()> shown)
        : QObject(watched)
        , shown(std::move(shown))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && shown) {
            watched->removeEventFilter(this);
            const std::function<void()> once = std::move(shown);
            shown = nullptr;
            once();
        }
        return false;
    }

private:
    std::function<void()> shown;
};

} // namespace

Ui::MainWindow& MainWindow::form()
{
    ensureForm();
    for (int page = 0; page < controlPageCount; ++page)
        controlPage(static_cast<ControlPage>(page));
    return *ui;
}

Ui::MainWindow& MainWindow::controlPage(ControlPage page)
{
    ensureForm();
    if (!isPageBuilt(page))
        buildPage(page);
    return *ui;
}

void MainWindow::onPage(ControlPage page, std::function<void()> step)
{
    if (isPageBuilt(page))
        step();
    else
        pageSteps[static_cast<int>(page)].push_back(std::move(step));
}

void MainWindow::buildPagesWhenShown()
{
    for (int index = 0; index < controlPageCount; ++index) {
        const auto page = static_cast<ControlPage>(index);
        new FirstShow(ui->stackedWidget->widget(index), [this, page] { controlPage(page); });
    }
}

void MainWindow::buildPage(ControlPage page)
{
    const int index = static_cast<int>(page);
    QWidget* shell = ui->stackedWidget->widget(index);
    switch (page) {
    case ControlPage::ScreenResolution:
        ui->PageScreenResolution::setupUi(shell);
        break;
    case ControlPage::LocalNetwork:
        ui->PageLocalNetwork::setupUi(shell);
        break;
    case ControlPage::System:
        ui->PageSystem::setupUi(shell);
        break;
    case ControlPage::HotKey:
        ui->PageHotKey::setupUi(shell);
        break;
    case ControlPage::PowerMode:
        ui->PagePowerMode::setupUi(shell);
        break;
    case ControlPage::Preferences:
        ui->PagePreferences::setupUi(shell);
        new GridReflow(ui->pageButtonsGrid, shell);
        break;
    case ControlPage::Timers:
        ui->PageTimers::setupUi(shell);
        ui->spinBoxGUIInactiveTimer->setRange(2, 60);
        ui->spinBoxPreEmptInactiveTimer->setRange(2, 60);
        break;
    case ControlPage::GeneralSettings:
        ui->PageGeneralSettings::setupUi(shell);
        break;
    }
    pagesBuilt[index] = true;
    connectSlotsByName(this, shell);
    setButtonIcons(shell);
    // Built because it is about to be shown, or read: it looks as the rest of its tab.
    for (QGroupBox* box : shell->findChildren<QGroupBox*>())
        FormLook::setTitleFont(box);
    const std::vector<std::function<void()>> steps = std::move(pageSteps[index]);
    pageSteps[index].clear();
    for (const std::function<void()>& step : steps)
        step();
    if (page == ControlPage::Preferences && userTab)
        userTab->fillAutoLogonChoice();
    // Built while on screen: what the page holds shows now, not after the next paint.
    if (shell->isVisible()) {
        for (QWidget* child : shell->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!(child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide)))
                child->show();
    }
}
