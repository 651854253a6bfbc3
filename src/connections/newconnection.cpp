#include "newconnection.h"

#include "app/osdcontext.h"
#include "app/titleheader.h"
#include "services/device_services.h"

#include <QKeyEvent>
#include <QVBoxLayout>

NewConnection::NewConnection(OsdContext& context)
    : QDialog(context.window(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    malvo_syslog(5, "### NewConnection Constructor Start ###\n");
    setWindowTitle(QStringLiteral("New Connection"));
    TitleHeader::attach(this);
    form = new ConnectionForm(context, ConnectionForm::Mode::New, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(form);

    connect(form, &ConnectionForm::kindChosen, this, &NewConnection::on_comboBoxConnVia_currentIndexChanged);
    connect(form, &ConnectionForm::connectionTypeChosen, this,
        &NewConnection::on_comboBoxConnType_currentIndexChanged);
    connect(form, &ConnectionForm::nlaStateChanged, this, &NewConnection::on_checkBoxNLANew_stateChanged);
    connect(form, &ConnectionForm::preEmptionStateChanged, this,
        &NewConnection::on_checkBoxPreEmption_stateChanged);
    connect(form, &ConnectionForm::saveClicked, this, &NewConnection::on_saveNewConnectionButton_clicked);
    connect(form, &ConnectionForm::cancelClicked, this, &NewConnection::on_cancelNewConnectionButton_clicked);
    // The inactivity log-off closes us before it shows the log-on dialog.
    context.closeOnLogoff(this);
    malvo_syslog(5, "### NewConnection Constructor End ###\n");
}

NewConnection::~NewConnection() = default;

QString NewConnection::connectionName() const
{
    return form->savedName();
}

void NewConnection::on_saveNewConnectionButton_clicked()
{
    malvo_syslog(5, "NewConnection: Action Save Connection ");
    if (form->save())
        accept();
}

void NewConnection::on_cancelNewConnectionButton_clicked()
{
    malvo_syslog(5, "NewConnection: Action Cancel Dialog ");
    reject();
}

void NewConnection::on_comboBoxConnVia_currentIndexChanged(const QString& kind)
{
    form->changeKind(kind);
}

void NewConnection::on_comboBoxConnType_currentIndexChanged(const QString& text)
{
    form->changeConnectionType(text);
}

void NewConnection::on_checkBoxNLANew_stateChanged(int state)
{
    Q_UNUSED(state)
}

void NewConnection::on_checkBoxPreEmption_stateChanged(int state)
{
    // Pre-emption is never offered; nothing follows from its box.
    Q_UNUSED(state)
}

void NewConnection::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        form->clickFocused();
        return;
    }
    QDialog::keyPressEvent(event);
}
