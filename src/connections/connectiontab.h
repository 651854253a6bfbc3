#pragma once

#include "connections/newconnection.h"

#include <QIcon>
#include <QObject>
#include <QString>

class OsdContext;
class Platform;
class QAbstractButton;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

// The window's frame widgets the Connections tab works with.
struct ConnectionTabWidgets {
    QListWidget* list = nullptr;
    QLineEdit* filter = nullptr;
    QAbstractButton* connect = nullptr;
    QAbstractButton* add = nullptr;
    QAbstractButton* edit = nullptr;
    QAbstractButton* remove = nullptr;
};

// Records who was logged on and which connection was current, so that the next
// start restores the log-on ("/tmp/WAS_CONNECTED", written whole).
bool writeSessionRecord(Platform& platform, const QString& userName, const QString& connectionName);

// The "Connections" tab: the list of the logged-on user's connections, its
// filter and buttons, and the connect, new, edit and remove actions.
class ConnectionTab : public QObject {
    Q_OBJECT

public:
    // The tab's widgets are the window's frame's; it works with them from attach() on.
    explicit ConnectionTab(OsdContext& context);

    // Connects the frame's list, filter and buttons to this tab, and the
    // users' changes to a refill of the list.
    void attach(const ConnectionTabWidgets& frameWidgets);

    void fillConnectionList();
    void updateListButtons();
    // `name` is a connection name, or "button_clicked" to ask about the current entry.
    bool removeConnection(const QString& name);

signals:
    void message_request(const QString& title, const QString& text);

public slots:
    void on_btnNewConnection_Clicked();
    void on_btnEditConnection_Clicked();
    void on_btnConnect_Clicked();
    void on_lineEditFilterConnections_textChanged(const QString& text);
    void on_removeConnectionButton_clicked();
    void on_listWidgetVM_itemDoubleClicked(QListWidgetItem* item);
    void on_brokerButton_clicked();

private:
    void listConnections(const QString& filter);
    void selectConnection(const QString& name);
    int connectionCount() const;
    int associationCount() const;

    // The entry's icon, decoded at the first fill (not before the log-on dialog) and
    // kept for the tab's life: decoding the image per entry was most of a refill's time.
    const QIcon& entryIcon(bool shared);

    OsdContext& context;
    ConnectionTabWidgets widgets;
    QIcon privateIcon;
    QIcon sharedIcon;
};
