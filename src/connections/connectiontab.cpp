#include "connectiontab.h"

#include "app/lazyicon.h"
#include "app/mainwindow.h"
#include "app/osdmessagebox.h"
#include "connections/connectionmanager.h"
#include "connections/connectionsettings.h"
#include "connections/editconnection.h"
#include "connections/iconnection.h"
#include "connections/newconnection.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "database/userlookup.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "app/mainwindowform.h"

#include <QDebug>
#include <QHash>
#include <QTimer>

namespace {

const QString wasConnectedPath = QStringLiteral("/tmp/WAS_CONNECTED");

QDomElement section(const QDomDocument& document, const char* name)
{
    return document.documentElement().firstChildElement(QLatin1String(name));
}

// Whether each connection is shared (its list icon says so), by name; a name
// used twice counts as its first element, as every lookup by name finds that one.
QHash<QString, bool> sharedByName(const QDomDocument& document)
{
    // The names once, not once per element: each keystroke of the filter walks them all.
    const QString tag = QLatin1String(db::Connection);
    const QString nameKey = QLatin1String(db::Name);
    const QString typeKey = QLatin1String(db::ConnectionType);
    QHash<QString, bool> shared;
    const QDomElement connections = section(document, db::Connections);
    for (QDomElement connection = connections.firstChildElement(tag); !connection.isNull();
         connection = connection.nextSiblingElement(tag)) {
        const QString name = connection.attribute(nameKey);
        if (!shared.contains(name))
            shared.insert(name, connection.attribute(typeKey) == QLatin1String("Shared"));
    }
    return shared;
}

// Every association child of the users named `userName`, in document order.
template <typename Visit>
void forEachAssociation(const QDomDocument& document, const QString& userName, Visit visit)
{
    const QString userKey = QLatin1String(db::UserName);
    const QString associationTag = QLatin1String(db::AssociatedConnections);
    const QString connectionKey = QLatin1String(db::ConnectionName);
    for (const QDomElement& user : db::allUsers(document)) {
        if (user.attribute(userKey) != userName)
            continue;
        for (QDomElement association = user.firstChildElement(associationTag); !association.isNull();
             association = association.nextSiblingElement(associationTag))
            visit(association.attribute(connectionKey));
    }
}

} // namespace

ConnectionTab::ConnectionTab(MainWindow* mainWindow)
    : QObject(mainWindow)
    , mainWindow(mainWindow)
{
}

void ConnectionTab::attach()
{
    Ui::MainWindow& form = mainWindow->formFrame();
    connect(form.newConnectionButton, &QAbstractButton::clicked, this,
        &ConnectionTab::on_btnNewConnection_Clicked);
    connect(form.editConnectionButton, &QAbstractButton::clicked, this,
        &ConnectionTab::on_btnEditConnection_Clicked);
    connect(form.connectButton, &QAbstractButton::clicked, this, &ConnectionTab::on_btnConnect_Clicked);
    connect(form.removeConnectionButton, &QAbstractButton::clicked, this,
        &ConnectionTab::on_removeConnectionButton_clicked);
    mainWindow->onPage(MainWindow::Page::System, [this] {
        connect(mainWindow->formFrame().brokerButton, &QAbstractButton::clicked, this,
            &ConnectionTab::on_brokerButton_clicked);
    });
    connect(form.listWidgetVM, &QListWidget::itemDoubleClicked, this,
        &ConnectionTab::on_listWidgetVM_itemDoubleClicked);
    // The clear button shows only over text, and finding its icon searches the icon
    // themes, milliseconds at start-up: it is added with the first text.
    QLineEdit* filter = form.lineEditFilterConnections;
    connect(filter, &QLineEdit::textChanged, filter, [filter](const QString& text) {
        if (!text.isEmpty())
            filter->setClearButtonEnabled(true);
    });
    connect(form.lineEditFilterConnections, &QLineEdit::textChanged, this,
        &ConnectionTab::on_lineEditFilterConnections_textChanged);
    connect(this, &ConnectionTab::message_request, mainWindow, &MainWindow::showMessage);
}

int ConnectionTab::connectionCount() const
{
    const QDomElement connections = section(mainWindow->document(), db::Connections);
    int count = 0;
    for (QDomElement connection = connections.firstChildElement(QLatin1String(db::Connection));
         !connection.isNull(); connection = connection.nextSiblingElement(QLatin1String(db::Connection)))
        ++count;
    return count;
}

int ConnectionTab::associationCount() const
{
    int count = 0;
    forEachAssociation(
        mainWindow->document(), mainWindow->getLoggedInUser(), [&count](const QString&) { ++count; });
    return count;
}

const QIcon& ConnectionTab::entryIcon(bool shared)
{
    if (privateIcon.isNull()) {
        privateIcon = lazyIcon(":/icons/icons/privateConn.png");
        sharedIcon = lazyIcon(":/icons/icons/sharedConn.png");
    }
    return shared ? sharedIcon : privateIcon;
}

void ConnectionTab::listConnections(const QString& filter)
{
    QListWidget* list = mainWindow->formFrame().listWidgetVM;
    list->clear();
    const bool managed = mainWindow->isManaged();
    const QDomDocument& document = mainWindow->document();
    const QHash<QString, bool> shared = sharedByName(document);
    int walked = 0;
    forEachAssociation(document, mainWindow->getLoggedInUser(), [&](const QString& name) {
        // A managed unit lists all that the appliance gave; a local unit keeps to
        // its first entries, so a filter only narrows what the whole list holds.
        if (!managed && walked++ >= mainWindow->maxEntries)
            return;
        const bool matches = filter.isEmpty()
            || (managed ? name.startsWith(filter, Qt::CaseInsensitive)
                        : name.contains(filter, Qt::CaseInsensitive));
        if (!matches)
            return;
        auto* entry = new QListWidgetItem(entryIcon(shared.value(name)), name);
        // A name wider than the list is cut short there; the tip holds it whole.
        // Tips guess rich text, so the name goes in escaped, inside one paragraph.
        entry->setToolTip(QStringLiteral("<p style=\"white-space:pre\">") + name.toHtmlEscaped()
            + QStringLiteral("</p>"));
        list->addItem(entry);
    });
}

void ConnectionTab::fillConnectionList()
{
    // The list always agrees with what the filter field shows.
    listConnections(mainWindow->formFrame().lineEditFilterConnections->text());
    updateListButtons();
}

void ConnectionTab::selectConnection(const QString& name)
{
    const QList<QListWidgetItem*> rows = mainWindow->formFrame().listWidgetVM->findItems(name, Qt::MatchExactly);
    if (!rows.isEmpty())
        mainWindow->formFrame().listWidgetVM->setCurrentItem(rows.first());
}

void ConnectionTab::on_lineEditFilterConnections_textChanged(const QString& text)
{
    listConnections(text);
}

void ConnectionTab::updateListButtons()
{
    Ui::MainWindow& form = mainWindow->formFrame();
    // On a managed unit the privilege view decides; the appliance owns the configuration.
    if (mainWindow->isManaged())
        return;
    const bool hasConnections = associationCount() > 0;
    for (QWidget* button :
        { static_cast<QWidget*>(form.connectButton), static_cast<QWidget*>(form.editConnectionButton),
            static_cast<QWidget*>(form.removeConnectionButton) })
        button->setEnabled(hasConnections);
    form.newConnectionButton->setEnabled(!hasConnections || connectionCount() < mainWindow->maxEntries);
}

void ConnectionTab::on_btnConnect_Clicked()
{
    ConnectionManager manager(mainWindow);
    if (manager.checkNetwork()) {
        emit message_request(manager.messageTitle, manager.messageText);
        return;
    }
    std::unique_ptr<IConnection> connection = manager.createConnection();
    if (!connection) {
        emit message_request(QStringLiteral("Information"), QStringLiteral("Could not create connection."));
        return;
    }
    const bool ok = connection->launch();
    const QString refusal = connection->refusal();
    connection.reset();
    if (!ok) {
        if (!refusal.isEmpty())
            emit message_request(QStringLiteral("Information"), refusal);
        return;
    }

    writeSessionRecord(mainWindow->unitPlatform(), manager.loggedOnUser, manager.connectionName);
    mainWindow->close();
    QTimer::singleShot(3, mainWindow, &QWidget::close);
}

bool writeSessionRecord(Platform& platform, const QString& userName, const QString& connectionName)
{
    // Written whole, so a shorter name never leaves the tail of a longer one.
    const QByteArray record = (userName + QLatin1Char('\n') + connectionName + QLatin1Char('\n')).toUtf8();
    DurableWriter writer(platform);
    if (writer.writeFile(platform.unitPath(wasConnectedPath), record))
        return true;
    malvo_syslog(3, "ConnectionTab: Can not open file: %s", qPrintable(wasConnectedPath));
    return false;
}

void ConnectionTab::on_btnNewConnection_Clicked()
{
    if (connectionCount() >= mainWindow->maxEntries) {
        emit message_request(QStringLiteral("Information"),
            QStringLiteral("The maximum number of connections is limited to %1. Remove any "
                           "connection before adding new connection.")
                .arg(mainWindow->maxEntries));
        return;
    }
    NewConnection dialog(mainWindow);
    const bool saved = dialog.exec() == QDialog::Accepted;
    fillConnectionList();
    if (saved)
        selectConnection(dialog.connectionName());
}

void ConnectionTab::on_btnEditConnection_Clicked()
{
    const QListWidgetItem* item = mainWindow->formFrame().listWidgetVM->currentItem();
    if (!item)
        return;
    EditConnection dialog(mainWindow, item->text());
    const bool saved = dialog.exec() == QDialog::Accepted;
    fillConnectionList();
    if (saved)
        selectConnection(dialog.connectionName());
}

void ConnectionTab::on_removeConnectionButton_clicked()
{
    malvo_syslog(6, "MainWindow: Action Remove Connection.\n");
    removeConnection(QStringLiteral("button_clicked"));
}

void ConnectionTab::on_listWidgetVM_itemDoubleClicked(QListWidgetItem*)
{
    mainWindow->formFrame().connectButton->click();
}

void ConnectionTab::on_brokerButton_clicked()
{
    ConnectionSettings dialog(mainWindow);
    dialog.exec();
}

bool ConnectionTab::removeConnection(const QString& name)
{
    QString target = name;
    if (name == QLatin1String("button_clicked")) {
        const QListWidgetItem* item = mainWindow->formFrame().listWidgetVM->currentItem();
        if (!item)
            return false;
        target = item->text();
        OsdMessageBox box(QStringLiteral("Remove connection"),
            QStringLiteral("Do you want to remove connection '") + target + QStringLiteral("' ?"),
            QMessageBox::Yes | QMessageBox::Cancel, mainWindow, QMessageBox::Question);
        connect(mainWindow, &MainWindow::closeActiveDialogs, &box, &QDialog::reject);
        if (box.exec() != QMessageBox::Yes)
            return false;
    }

    bool removed = false;
    // A removal that cannot be stored is undone, so the list never shows it gone.
    const QDomDocument before = mainWindow->document().cloneNode(true).toDocument();
    const bool saved = mainWindow->storage().commitChange(
        [&](QDomDocument& document) { removed = removeConnectionNamed(document, target); });
    if (!saved) {
        malvo_syslog(3, "MainWindow: Can not open file: %s", qPrintable(mainWindow->storage().databasePath));
        mainWindow->document() = before;
        removed = false;
    }
    fillConnectionList();
    if (!saved && name == QLatin1String("button_clicked"))
        emit message_request(QStringLiteral("Error"), QStringLiteral("The connection could not be removed."));
    return removed;
}
