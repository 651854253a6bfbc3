#include "connectionpicker.h"

#include "database/dbnames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDomDocument>
#include <QListWidget>

ConnectionPicker::ConnectionPicker(QListWidget* available, QListWidget* selected, QCheckBox* autoConnect,
    QComboBox* autoConnectChoice, QObject* parent)
    : QObject(parent)
    , available(available)
    , selected(selected)
    , autoConnect(autoConnect)
    , autoConnectChoice(autoConnectChoice)
{
    connect(autoConnect, &QCheckBox::toggled, autoConnectChoice, &QWidget::setEnabled);
    autoConnectChoice->setEnabled(false);
}

QIcon ConnectionPicker::iconFor(const QString& name) const
{
    return sharedNames.contains(name) ? sharedIcon : privateIcon;
}

void ConnectionPicker::fill(
    const QDomDocument& document, const QStringList& selectedNames, const QString& autoConnectName)
{
    available->clear();
    selected->clear();
    sharedNames.clear();
    const QDomElement connections
        = document.documentElement().firstChildElement(QLatin1String(db::Connections));
    QStringList all;
    for (QDomElement connection = connections.firstChildElement(QLatin1String(db::Connection));
         !connection.isNull(); connection = connection.nextSiblingElement(QLatin1String(db::Connection))) {
        const QString name = connection.attribute(QLatin1String(db::Name));
        all << name;
        if (connection.attribute(QLatin1String(db::ConnectionType)) == QLatin1String("Shared"))
            sharedNames << name;
    }
    for (const QString& name : all)
        if (!selectedNames.contains(name))
            available->addItem(new QListWidgetItem(iconFor(name), name));
    for (const QString& name : selectedNames)
        selected->addItem(new QListWidgetItem(iconFor(name), name));
    // An administrator may be started on any connection, so a provided database
    // may name one outside the selection: it stays on offer, as it is stored.
    storedAutoConnect = selectedNames.contains(autoConnectName) ? QString() : autoConnectName;
    refillAutoConnectChoice();
    const int index = autoConnectChoice->findText(autoConnectName);
    autoConnect->setChecked(!autoConnectName.isEmpty() && index >= 0);
    if (index >= 0)
        autoConnectChoice->setCurrentIndex(index);
}

void ConnectionPicker::addCurrent()
{
    moveCurrent(available, selected);
}

void ConnectionPicker::removeCurrent()
{
    moveCurrent(selected, available);
}

void ConnectionPicker::moveCurrent(QListWidget* from, QListWidget* to)
{
    QListWidgetItem* item = from->currentItem();
    if (!item)
        return;
    to->addItem(from->takeItem(from->row(item)));
    to->setCurrentItem(to->item(to->count() - 1));
    refillAutoConnectChoice();
}

void ConnectionPicker::refillAutoConnectChoice()
{
    const QString chosen = autoConnectChoice->currentText();
    autoConnectChoice->clear();
    autoConnectChoice->addItems(selectedNames());
    if (!storedAutoConnect.isEmpty() && autoConnectChoice->findText(storedAutoConnect) < 0)
        autoConnectChoice->addItem(storedAutoConnect);
    const int index = autoConnectChoice->findText(chosen);
    if (index >= 0)
        autoConnectChoice->setCurrentIndex(index);
    if (autoConnectChoice->count() == 0)
        autoConnect->setChecked(false);
    autoConnect->setEnabled(autoConnectChoice->count() > 0);
}

QStringList ConnectionPicker::selectedNames() const
{
    QStringList names;
    for (int i = 0; i < selected->count(); ++i)
        names << selected->item(i)->text();
    return names;
}

QString ConnectionPicker::autoConnectName() const
{
    return autoConnect->isChecked() ? autoConnectChoice->currentText() : QString();
}
