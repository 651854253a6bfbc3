#include "connectiontab.h"

#include "app/lazyicon.h"
#include "app/osdcontext.h"
#include "app/osdmessagebox.h"
#include "connections/connectionmanager.h"
#include "connections/connectionsettings.h"
#include "connections/editconnection.h"
#include "connections/iconnection.h"
#include "connections/newconnection.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "database/schema.h"
#include "database/userlookup.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "services/device_services.h"

#include <QAbstractButton>
#include <QDebug>
#include <QHash>
#include <QLineEdit>
#include <QListWidget>
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

ConnectionTab::ConnectionTab(OsdContext& context)
    : QObject(context.window())
    , context(context)
{
}

void ConnectionTab::attach(const ConnectionTabWidgets& frameWidgets)
{
    widgets = frameWidgets;
    connect(widgets.add, &QAbstractButton::clicked, this,
        &ConnectionTab::on_btnNewConnection_Clicked);
    connect(widgets.edit, &QAbstractButton::clicked, this,
        &ConnectionTab::on_btnEditConnection_Clicked);
    connect(widgets.connect, &QAbstractButton::clicked, this, &ConnectionTab::on_btnConnect_Clicked);
    connect(widgets.remove, &QAbstractButton::clicked, this,
        &ConnectionTab::on_removeConnectionButton_clicked);
    connect(widgets.list, &QListWidget::itemDoubleClicked, this,
        &ConnectionTab::on_listWidgetVM_itemDoubleClicked);
    // The clear button shows only over text, and finding its icon searches the icon
    // themes, milliseconds at start-up: it is added with the first text.
    QLineEdit* filter = widgets.filter;
    connect(filter, &QLineEdit::textChanged, filter, [filter](const QString& text) {
        if (!text.isEmpty())
            filter->setClearButtonEnabled(true);
    });
    connect(widgets.filter, &QLineEdit::textChanged, this,
        &ConnectionTab::on_lineEditFilterConnections_textChanged);
    connect(this, &ConnectionTab::message_request, &context, &OsdContext::showMessage);
    connect(&context, &OsdContext::usersChanged, this, &ConnectionTab::fillConnectionList);
}

int ConnectionTab::connectionCount() const
{
    const QDomElement connections = section(context.document(), db::Connections);
    int count = 0;
    for (QDomElement connection = connections.firstChildElement(QLatin1String(db::Connection));
         !connection.isNull(); connection = connection.nextSiblingElement(QLatin1String(db::Connection)))
        ++count;
    return count;
}

int ConnectionTab::associationCount() const
{
    int count = 0;
    forEachAssociation(context.document(), context.loggedInUser(), [&count](const QString&) { ++count; });
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
    QListWidget* list = widgets.list;
    list->clear();
    const bool managed = context.isManaged();
    const QDomDocument& document = context.document();
    const QHash<QString, bool> shared = sharedByName(document);
    int walked = 0;
    forEachAssociation(document, context.loggedInUser(), [&](const QString& name) {
        // A managed unit lists all that the appliance gave; a local unit keeps to
        // its first entries, so a filter only narrows what the whole list holds.
        if (!managed && walked++ >= maxEntries)
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
    listConnections(widgets.filter->text());
    updateListButtons();
}

void ConnectionTab::selectConnection(const QString& name)
{
    const QList<QListWidgetItem*> rows = widgets.list->findItems(name, Qt::MatchExactly);
    if (!rows.isEmpty())
        widgets.list->setCurrentItem(rows.first());
}

void ConnectionTab::on_lineEditFilterConnections_textChanged(const QString& text)
{
    listConnections(text);
}

void ConnectionTab::updateListButtons()
{
    // On a managed unit the privilege view decides; the appliance owns the configuration.
    if (context.isManaged())
        return;
    const bool hasConnections = associationCount() > 0;
    for (QWidget* button :
        { static_cast<QWidget*>(widgets.connect), static_cast<QWidget*>(widgets.edit),
            static_cast<QWidget*>(widgets.remove) })
        button->setEnabled(hasConnections);
    widgets.add->setEnabled(!hasConnections || connectionCount() < maxEntries);
}

void ConnectionTab::on_btnConnect_Clicked()
{
    const QListWidgetItem* selected = widgets.list->currentItem();
    ConnectionManager manager(context, selected ? selected->text() : QString());
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

    writeSessionRecord(context.platform(), manager.loggedOnUser, manager.connectionName);
    context.window()->close();
    QTimer::singleShot(3, context.window(), &QWidget::close);
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
    if (connectionCount() >= maxEntries) {
        emit message_request(QStringLiteral("Information"),
            QStringLiteral("The maximum number of connections is limited to %1. Remove any "
                           "connection before adding new connection.")
                .arg(maxEntries));
        return;
    }
    NewConnection dialog(context);
    const bool saved = dialog.exec() == QDialog::Accepted;
    fillConnectionList();
    if (saved)
        selectConnection(dialog.connectionName());
}

void ConnectionTab::on_btnEditConnection_Clicked()
{
    const QListWidgetItem* item = widgets.list->currentItem();
    if (!item)
        return;
    EditConnection dialog(context, item->text());
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
    widgets.connect->click();
}

void ConnectionTab::on_brokerButton_clicked()
{
    ConnectionSettings dialog(context);
    dialog.exec();
}

bool ConnectionTab::removeConnection(const QString& name)
{
    QString target = name;
    if (name == QLatin1String("button_clicked")) {
        const QListWidgetItem* item = widgets.list->currentItem();
        if (!item)
            return false;
        target = item->text();
        OsdMessageBox box(QStringLiteral("Remove connection"),
            QStringLiteral("Do you want to remove connection '") + target + QStringLiteral("' ?"),
            QMessageBox::Yes | QMessageBox::Cancel, context.window(), QMessageBox::Question);
        connect(&context, &OsdContext::closeActiveDialogs, &box, &QDialog::reject);
        if (box.exec() != QMessageBox::Yes)
            return false;
    }

    bool removed = false;
    // A removal that cannot be stored is undone, so the list never shows it gone.
    const bool saved = context.storage().commitOrUndo(
        [&](QDomDocument& document) { removed = removeConnectionNamed(document, target); });
    if (!saved) {
        malvo_syslog(3, "MainWindow: Can not open file: %s", qPrintable(context.storage().databasePath));
        removed = false;
    }
    fillConnectionList();
    if (!saved && name == QLatin1String("button_clicked"))
        emit message_request(QStringLiteral("Error"), QStringLiteral("The connection could not be removed."));
    return removed;
}
