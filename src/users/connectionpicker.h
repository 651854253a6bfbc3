#pragma once

#include <QIcon>
#include <QObject>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QDomDocument;
class QListWidget;

// The two connection lists of a user dialog and its automatic connection: a
// name sits in one list only, and the automatic connection is one of the
// selected connections or the one stored.
class ConnectionPicker : public QObject {
    Q_OBJECT

public:
    ConnectionPicker(QListWidget* available, QListWidget* selected, QCheckBox* autoConnect,
        QComboBox* autoConnectChoice, QObject* parent);

    // Every connection of the document not in `selectedNames` is available.
    void fill(const QDomDocument& document, const QStringList& selectedNames, const QString& autoConnectName);
    void addCurrent();
    void removeCurrent();

    QStringList selectedNames() const;
    // Empty when no automatic connection is wanted.
    QString autoConnectName() const;

private:
    void moveCurrent(QListWidget* from, QListWidget* to);
    void refillAutoConnectChoice();
    QIcon iconFor(const QString& name) const;

    QListWidget* available;
    QListWidget* selected;
    QCheckBox* autoConnect;
    QComboBox* autoConnectChoice;
    QStringList sharedNames;
    QString storedAutoConnect; // outside the selection, kept as stored
    const QIcon privateIcon { QStringLiteral(":/icons/icons/privateConn.png") };
    const QIcon sharedIcon { QStringLiteral(":/icons/icons/sharedConn.png") };
};
