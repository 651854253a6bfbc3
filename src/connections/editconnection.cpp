#include "editconnection.h"

#include "app/osdcontext.h"
#include "app/titleheader.h"
#include "database/dbnames.h"
#include "services/device_services.h"

#include <QKeyEvent>
#include <QVBoxLayout>

EditConnection::EditConnection(OsdContext& context, const QString& connectionName)
    : QDialog(context.window(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , originalName(connectionName)
{
    malvo_syslog(5, "### EditConnection Constructor Start ###\n");
    setWindowTitle(QStringLiteral("Edit Connection"));
    TitleHeader::attach(this);
    form = new ConnectionForm(context, ConnectionForm::Mode::Edit, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(form);

    const QDomElement section = context.document().documentElement().firstChildElement(db::Connections);
    for (QDomElement entry = section.firstChildElement(db::Connection); !entry.isNull();
         entry = entry.nextSiblingElement(db::Connection)) {
        if (entry.attribute(db::Name) == connectionName) {
            form->fill(entry);
            break;
        }
    }

    connect(form, &ConnectionForm::kindChosen, this, &EditConnection::on_comboBoxConnVia_currentIndexChanged);
    connect(form, &ConnectionForm::connectionTypeChosen, this,
        &EditConnection::on_comboBoxConnType_currentIndexChanged);
    connect(form, &ConnectionForm::nlaStateChanged, this, &EditConnection::on_checkBoxNLAEdit_stateChanged);
    connect(form, &ConnectionForm::preEmptionStateChanged, this,
        &EditConnection::on_checkBoxPreEmption_stateChanged);
    connect(form, &ConnectionForm::saveClicked, this, &EditConnection::on_saveConnectionButton_clicked);
    connect(form, &ConnectionForm::cancelClicked, this, &EditConnection::on_cancelConnectionButton_clicked);
    // The inactivity log-off closes us before it shows the log-on dialog.
    context.closeOnLogoff(this);
    malvo_syslog(5, "### EditConnection Constructor End ###\n");
}

EditConnection::~EditConnection() = default;

QString EditConnection::connectionName() const
{
    return form->savedName();
}

void EditConnection::on_saveConnectionButton_clicked()
{
    malvo_syslog(5, "EditConnection: Action Save Connection ");
    if (form->save(originalName))
        accept();
}

void EditConnection::on_cancelConnectionButton_clicked()
{
    malvo_syslog(5, "EditConnection: Action Cancel Dialog ");
    reject();
}

void EditConnection::on_comboBoxConnVia_currentIndexChanged(const QString& kind)
{
    form->changeKind(kind);
}

void EditConnection::on_comboBoxConnType_currentIndexChanged(const QString& text)
{
    form->changeConnectionType(text);
}

void EditConnection::on_checkBoxNLAEdit_stateChanged(int state)
{
    Q_UNUSED(state)
}

void EditConnection::on_checkBoxPreEmption_stateChanged(int state)
{
    // Pre-emption is never offered; nothing follows from its box.
    Q_UNUSED(state)
}

void EditConnection::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        form->clickFocused();
        return;
    }
    QDialog::keyPressEvent(event);
}
