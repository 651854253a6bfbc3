#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "app/loggedinuser.h"
#include "database/dbnames.h"
#include "platform/platform.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

MainWindow::MainWindow(Platform& platform, const char* disconnectReason, LoggedInUser* user, QWidget* parent)
    : QMainWindow(parent),
      platform(platform),
      ui(new Ui::MainWindow),
      user(user),
      writer(platform),
      database(platform, writer, [this](const QString& title, const QString& text) { showWarning(title, text); }),
      guiSettings(platform, writer),
      statistics(platform, writer)
{
    ui->setupUi(this);
    su_get_board_info(&boardInfo);
    if (disconnectReason)
        showMessage(QStringLiteral("Disconnect Reason"), QString::fromLocal8Bit(disconnectReason));
    malvo_syslog(5, "### MainWindow Constructor Start ###\n");

    repairDatabaseFiles();
    safeMode = QFileInfo(platform.unitPath(QStringLiteral("/SAFEMODE"))).isFile();
    database.databasePath = selectDatabaseFile();

    systemStatTimer = new QTimer(this);
    systemStatTimer->setInterval(60000);
    connect(systemStatTimer, &QTimer::timeout, this, &MainWindow::sendSystemStat);
    systemStatTimer->start();

    setWindowFlags(Qt::FramelessWindowHint);
    loadDatabaseDocument();
    unitManaged = isUnitManaged();
    ui->labelWelcome->setText(unitManaged ? QStringLiteral("Managed:") : QStringLiteral("Unmanaged:"));
    ui->labelSafeMode->setVisible(safeMode);
    if (!unitManaged)
        upgradeDatabaseSchema();
    if (!QFileInfo::exists(platform.unitPath(QLatin1String(GuiFiles::settingsPath))))
        createGuiSettingsFile();
    malvo_syslog(5, "### MainWindow Constructor End ###\n");
}

MainWindow::~MainWindow()
{
    delete ui;
}

QThread* MainWindow::initializeWorker(Worker* worker)
{
    return workerSlot.initialize(worker);
}

void MainWindow::deinitializeWorker()
{
    workerSlot.deinitialize();
}

bool MainWindow::isUnitManaged()
{
    const QString ownAddress = platform.eth0().hardwareAddress.toUpper();
    const QDomElement root = document().documentElement();
    for (QDomElement section = root.firstChildElement(db::RxDevices); !section.isNull();
         section = section.nextSiblingElement(db::RxDevices)) {
        for (QDomElement rx = section.firstChildElement(db::Rx); !rx.isNull(); rx = rx.nextSiblingElement(db::Rx)) {
            if (rx.attribute(db::Mac).remove(QLatin1Char('\n')).toUpper() == ownAddress)
                return true;
        }
    }
    return false;
}

void MainWindow::showMessage(const QString& title, const QString& message)
{
    QMessageBox box(QMessageBox::NoIcon, title, message, QMessageBox::Ok, this,
                    Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    box.exec();
}

void MainWindow::showWarning(const QString& title, const QString& text)
{
    malvo_syslog(6, "MainWindow: User Message: %s.\n", qPrintable(text));
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this,
                    Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    connect(this, &MainWindow::closeActiveDialogs, &box, &QMessageBox::reject);
    box.exec();
}
