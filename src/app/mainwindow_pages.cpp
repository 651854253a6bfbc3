// The Control tab's pages and the Users and Information tabs, each built when
// first shown or needed: most starts show only the Connections tab, and the
// others hold most of the window's widgets.
#include "app/mainwindowform.h"
#include "mainwindow.h"

#include "app/slotsbyname.h"
#include "settings/controlpages.h"
#include "settings/networkpage.h"
#include "settings/resolutionpage.h"
#include "settings/unitinformation.h"
#include "users/usertab.h"

#include <QEvent>
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
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            deleteLater();
            shown();
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
    for (int page = 0; page < pageCount; ++page)
        formPage(static_cast<Page>(page));
    return *ui;
}

Ui::MainWindow& MainWindow::formPage(Page page)
{
    ensureForm();
    if (!isPageBuilt(page))
        buildPage(page);
    return *ui;
}

void MainWindow::onPage(Page page, std::function<void()> step)
{
    if (isPageBuilt(page))
        step();
    else
        pageSteps[static_cast<int>(page)].push_back(std::move(step));
}

QWidget* MainWindow::pageShell(Page page) const
{
    switch (page) {
    case Page::Users:
        return ui->usersTab;
    case Page::Information:
        return ui->informationTab;
    default:
        return ui->stackedWidget->widget(static_cast<int>(page));
    }
}

void MainWindow::buildPagesWhenShown()
{
    for (int index = 0; index < pageCount; ++index) {
        const auto page = static_cast<Page>(index);
        new FirstShow(pageShell(page), [this, page] { formPage(page); });
    }
}

void MainWindow::buildPage(Page page)
{
    const int index = static_cast<int>(page);
    QWidget* shell = pageShell(page);
    switch (page) {
    case Page::ScreenResolution:
        resolutionPage->build(shell);
        break;
    case Page::LocalNetwork:
        networkPage->build(shell);
        break;
    case Page::System:
        ui->system.setupUi(shell);
        break;
    case Page::HotKey:
        hotKeyPage->build(shell);
        break;
    case Page::PowerMode:
        powerModePage->build(shell);
        break;
    case Page::Preferences:
        preferencesPage->build(shell);
        break;
    case Page::Timers:
        timersPage->build(shell);
        break;
    case Page::GeneralSettings:
        generalSettingsPage->build(shell);
        break;
    case Page::Users:
        userTab->build(shell);
        break;
    case Page::Information:
        unitInformation->build(shell);
        break;
    }
    pagesBuilt[index] = true;
    connectSlotsByName(this, shell);
    setButtonIcons(shell);
    // Built because it is about to be shown, or read: it looks as the rest of its tab.
    setGroupTitleFonts(shell);
    runSteps(pageSteps[index]);
    if (page == Page::Preferences)
        preferencesPage->fillAutoLogonChoice();
    if (page == Page::Users && userTab)
        userTab->fillUserList();
    // Built while on screen: what the page holds shows now, not after the next paint.
    if (shell->isVisible()) {
        for (QWidget* child : shell->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!(child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide)))
                child->show();
    }
}
