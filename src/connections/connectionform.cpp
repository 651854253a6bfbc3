#include "connectionform.h"
#include "ui_connectionform.h"

#include "app/osdcontext.h"
#include "connections/iconnection.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "rules/connectionrules.h"
#include "services/device_services.h"

#include <QCheckBox>
#include <QDomDocument>
#include <QSignalBlocker>

namespace ForbiddenCharacters {

const QStringList general { QStringLiteral("\""), QStringLiteral("'"), QStringLiteral("/"),
    QStringLiteral("\\"), QStringLiteral("["), QStringLiteral("]"), QStringLiteral(":"), QStringLiteral(";"),
    QStringLiteral("|"), QStringLiteral("="), QStringLiteral(","), QStringLiteral("+"), QStringLiteral("*"),
    QStringLiteral("?"), QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("`") };

const QStringList password { QStringLiteral("\""), QStringLiteral("'"), QStringLiteral(";"),
    QStringLiteral("`") };

QString shown(const QStringList& set)
{
    return set.join(QLatin1Char(' '));
}

bool containsAny(const QString& text, const QStringList& set)
{
    for (const QString& character : set)
        if (text.contains(character))
            return true;
    return false;
}

} // namespace ForbiddenCharacters

using namespace ConnectionRules;

namespace {

const char yes[] = "Yes";
const char trueText[] = "true";

// What a kind does to each option box.
enum class Option {
    Keep, // untouched
    Off, // disabled, state kept
    On, // enabled, state kept
    OnClear, // enabled and unchecked
    OffClear, // disabled and unchecked
    OffSet, // checked and disabled: the kind always uses it
};
enum OptionBox {
    ViewOnlyBox,
    UsbBox,
    AudioBox,
    NlaBox,
    PersistentBox,
    ExtDeskBox,
    PreEmptionBox,
    optionBoxCount
};

struct KindLayout {
    const char* kind;
    int enabled;
    int disabled; // shown but disabled; whatever is in neither is hidden
    const char* portText;
    const char* portPlaceholder;
    bool connectionTypeEnabled;
    Option options[optionBoxCount]; // in OptionBox order
};

using O = Option;
const KindLayout kindLayouts[] = {
    { kindTransmitter, Ip, allFields & ~Ip, nullptr, "3389", true,
        { O::On, O::On, O::On, O::Off, O::On, O::OnClear, O::Off } },
    { kindDirect, Ip | Port | User | Password | Domain, LoadBal, "3389", nullptr, false,
        { O::On, O::OnClear, O::OnClear, O::OnClear, O::OffClear, O::OnClear, O::Off } },
    { kindHorizon, Ip | User | Password, Domain, nullptr, nullptr, false,
        { O::Keep, O::OnClear, O::OffClear, O::OffClear, O::OffClear, O::OnClear, O::Keep } },
    // A pool is started as an RDP session to the pool host, so it needs what that session needs.
    { kindPool, Ip | Port | User | Password | Domain, LoadBal, "3389", nullptr, false,
        { O::Keep, O::OnClear, O::OnClear, O::OffSet, O::OffClear, O::OnClear, O::Keep } },
    { kindBroker, allFields, 0, "3389", nullptr, false,
        { O::Keep, O::OnClear, O::OnClear, O::OffSet, O::OffClear, O::OnClear, O::Keep } },
    { kindKvm, Ip, allFields & ~Ip, nullptr, "3389", true,
        { O::Off, O::On, O::On, O::Off, O::On, O::Off, O::Off } },
    // A VNC connection stores its view-only flag, so the user must be able to set it.
    { kindVnc, Ip | Port | Password, User | Domain | LoadBal, "5900", nullptr, false,
        { O::On, O::OffClear, O::OffClear, O::OffClear, O::OffClear, O::OffClear, O::Off } },
    { kindSsh, Ip | Port | User, Password | Domain | LoadBal, "22", nullptr, false,
        { O::Off, O::OffClear, O::OffClear, O::OffClear, O::OffClear, O::OffClear, O::Off } },
};

const KindLayout& layoutOf(const QString& kind)
{
    for (const KindLayout& layout : kindLayouts)
        if (kind == QLatin1String(layout.kind))
            return layout;
    return kindLayouts[0];
}

} // namespace

QStringList connectionKinds()
{
    QStringList kinds;
    for (const KindLayout& layout : kindLayouts)
        kinds << QLatin1String(layout.kind);
    return kinds;
}

ConnectionForm::ConnectionForm(OsdContext& context, Mode mode, QWidget* parent)
    : QWidget(parent)
    , context(context)
    , ui(new Ui::ConnectionForm)
    , mode(mode)
{
    ui->setupUi(this);
    if (mode == Mode::Edit) {
        ui->lineEditNewVMName->setObjectName(QStringLiteral("lineEditVMName"));
        ui->lineEditNewVMIPAddr->setObjectName(QStringLiteral("lineEditVMIPAddr"));
        ui->lineEditNewVMPort->setObjectName(QStringLiteral("lineEditVMPort"));
        ui->lineEditNewVMPassword->setObjectName(QStringLiteral("lineEditVMPassword"));
        ui->lineEditNewVMDomain->setObjectName(QStringLiteral("lineEditVMDomain"));
        ui->lineEditLoadBalNew->setObjectName(QStringLiteral("lineEditLoadBalEdit"));
        ui->checkBoxNLANew->setObjectName(QStringLiteral("checkBoxNLAEdit"));
        ui->comboBoxColourD->setObjectName(QStringLiteral("comboBoxColourDE"));
        ui->saveNewConnectionButton->setObjectName(QStringLiteral("saveConnectionButton"));
        ui->cancelNewConnectionButton->setObjectName(QStringLiteral("cancelConnectionButton"));
    }

    ui->lineEditNewVMName->setMaxLength(32);
    ui->lineEditNewVMIPAddr->setMaxLength(255);
    ui->lineEditNewVMPort->setMaxLength(5);
    ui->userNameLineEdit->setMaxLength(32);
    ui->lineEditNewVMPassword->setMaxLength(32);
    ui->lineEditNewVMDomain->setMaxLength(64);

    ui->comboBoxConnVia->addItems(connectionKinds());
    ui->comboBoxProtocol->addItems({ QStringLiteral("PCoIP"), QStringLiteral("Blaster") });
    ui->comboBoxConnType->addItems({ QStringLiteral("Private"), QStringLiteral("Shared") });
    ui->comboBoxColourD->addItems({ QStringLiteral("32"), QStringLiteral("15") });
    ui->comboBoxConnVia->setCurrentIndex(0);

    for (QWidget* widget : std::initializer_list<QWidget*> { ui->comboBoxColourD, ui->labelColourDepth,
             ui->labelBits, ui->comboBoxProtocol, ui->labelProtocol, ui->checkBoxPreEmption })
        widget->hide();
    ui->checkBoxPreEmption->setChecked(false);

    BoardInfo board {};
    su_get_board_info(&board);
    dualHead = su_is_dual_head_bi(&board) != 0;
    if (su_is_single_head_bi(&board) || !dualHead) {
        ui->checkBoxExtDesk->setChecked(false);
        ui->checkBoxExtDesk->hide();
    }

    // Return is ours: it clicks what has the focus, never a default button.
    for (QPushButton* button : { ui->saveNewConnectionButton, ui->cancelNewConnectionButton }) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    changeKind(QLatin1String(kindTransmitter));

    connect(ui->comboBoxConnVia, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        [this](int index) { emit kindChosen(ui->comboBoxConnVia->itemText(index)); });
    connect(ui->comboBoxConnType, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        [this](int index) { emit connectionTypeChosen(ui->comboBoxConnType->itemText(index)); });
    connect(ui->checkBoxNLANew, &QCheckBox::stateChanged, this, &ConnectionForm::nlaStateChanged);
    connect(ui->checkBoxPreEmption, &QCheckBox::stateChanged, this, &ConnectionForm::preEmptionStateChanged);
    connect(ui->saveNewConnectionButton, &QPushButton::clicked, this, &ConnectionForm::saveClicked);
    connect(ui->cancelNewConnectionButton, &QPushButton::clicked, this, &ConnectionForm::cancelClicked);
}

ConnectionForm::~ConnectionForm()
{
    delete ui;
}

QPushButton* ConnectionForm::saveButton() const
{
    return ui->saveNewConnectionButton;
}

QPushButton* ConnectionForm::cancelButton() const
{
    return ui->cancelNewConnectionButton;
}

void ConnectionForm::changeKind(const QString& kind)
{
    for (QLineEdit* field :
        { ui->lineEditNewVMPort, ui->userNameLineEdit, static_cast<QLineEdit*>(ui->lineEditNewVMPassword),
            ui->lineEditNewVMDomain, ui->lineEditLoadBalNew })
        field->clear();
    ui->lineEditNewVMPort->setPlaceholderText(QString());
    for (QComboBox* transmitter : { ui->comboBoxTx1, ui->comboBoxTx2, ui->comboBoxTx3, ui->comboBoxTx4 })
        transmitter->clear();
    applyKindLayout(kind);
}

void ConnectionForm::applyKindLayout(const QString& kind)
{
    const KindLayout& layout = layoutOf(kind);

    for (QWidget* widget :
        std::initializer_list<QWidget*> { ui->comboBoxTx1, ui->comboBoxTx2, ui->comboBoxTx3, ui->comboBoxTx4,
            ui->labelTx1, ui->labelTx2, ui->labelTx3, ui->labelTx4, ui->comboBoxProtocol, ui->labelProtocol })
        widget->hide();
    ui->comboBoxProtocol->setCurrentIndex(0);

    // The type is set before the options: its own handler re-enables audio and USB.
    ui->comboBoxConnType->setCurrentIndex(0);
    changeConnectionType(ui->comboBoxConnType->currentText());
    ui->comboBoxConnType->setEnabled(layout.connectionTypeEnabled);

    ui->lineEditNewVMName->setEnabled(true);
    const struct {
        Field field;
        QLineEdit* edit;
        QLabel* label;
    } fields[] = {
        { Ip, ui->lineEditNewVMIPAddr, ui->labelIPAddr },
        { Port, ui->lineEditNewVMPort, ui->labelPort },
        { User, ui->userNameLineEdit, ui->labelUserName },
        { Password, ui->lineEditNewVMPassword, ui->labelPassword },
        { Domain, ui->lineEditNewVMDomain, ui->labelDomain },
        { LoadBal, ui->lineEditLoadBalNew, ui->labelLoadBal },
    };
    for (const auto& entry : fields) {
        const bool shown = (layout.enabled | layout.disabled) & entry.field;
        entry.edit->setVisible(shown);
        entry.label->setVisible(shown);
        entry.edit->setEnabled(layout.enabled & entry.field);
    }
    if (layout.portText)
        ui->lineEditNewVMPort->setText(QLatin1String(layout.portText));
    if (layout.portPlaceholder)
        ui->lineEditNewVMPort->setPlaceholderText(QLatin1String(layout.portPlaceholder));

    QCheckBox* const boxes[optionBoxCount] = { ui->checkBoxViewOnly, ui->checkBoxUSBRedir, ui->checkBoxAudio,
        ui->checkBoxNLANew, ui->checkBoxPersistentConn, ui->checkBoxExtDesk, ui->checkBoxPreEmption };
    for (int i = 0; i < optionBoxCount; ++i) {
        QCheckBox* box = boxes[i];
        switch (layout.options[i]) {
        case Option::Keep:
            break;
        case Option::Off:
            box->setEnabled(false);
            break;
        case Option::On:
            box->setEnabled(true);
            break;
        case Option::OnClear:
            box->setChecked(false);
            box->setEnabled(true);
            break;
        case Option::OffClear:
            box->setChecked(false);
            box->setEnabled(false);
            break;
        case Option::OffSet:
            box->setChecked(true);
            box->setEnabled(false);
            break;
        }
    }
    // Extended desktop means nothing on a single-head unit.
    if (!dualHead)
        ui->checkBoxExtDesk->setChecked(false);
}

void ConnectionForm::changeConnectionType(const QString& text)
{
    ui->checkBoxAudio->setEnabled(true);
    ui->checkBoxUSBRedir->setEnabled(true);
    // A shared session must not hand the target's USB devices to one viewer.
    if (text == QLatin1String("Shared")) {
        ui->checkBoxUSBRedir->setChecked(false);
        ui->checkBoxUSBRedir->setEnabled(false);
    }
}

void ConnectionForm::fill(const QDomElement& connection)
{
    const QString kind = connectionKindOf(connection);
    {
        const QSignalBlocker blocker(ui->comboBoxConnVia);
        ui->comboBoxConnVia->setCurrentIndex(ui->comboBoxConnVia->findText(kind));
    }
    changeKind(kind);

    // A provided or imported database may hold longer values than can be typed;
    // they are shown whole, since a cut one would be stored on the next save.
    const std::pair<QLineEdit*, const char*> texts[] = { { ui->lineEditNewVMName, db::Name },
        { ui->lineEditNewVMIPAddr, db::IpAddress }, { ui->lineEditNewVMPort, db::Port },
        { ui->userNameLineEdit, db::UserName }, { ui->lineEditNewVMPassword, db::Password },
        { ui->lineEditNewVMDomain, db::Domain }, { ui->lineEditLoadBalNew, db::LoadBal } };
    for (const auto& text : texts) {
        const QString value = connection.attribute(QLatin1String(text.second));
        text.first->setMaxLength(qMax(text.first->maxLength(), value.size()));
        text.first->setText(value);
    }
    ui->lineEditNewVMPassword->maskText();

    const auto isYes = [&connection](const char* attribute) {
        return connection.attribute(attribute) == QLatin1String(yes);
    };
    ui->checkBoxViewOnly->setChecked(isYes(db::ViewOnly));
    ui->checkBoxUSBRedir->setChecked(isYes(db::UsbRedirection));
    ui->checkBoxAudio->setChecked(isYes(db::Audio));
    ui->checkBoxNLANew->setChecked(isYes(db::Nla));
    ui->checkBoxPersistentConn->setChecked(connection.attribute(db::Persistent) == QLatin1String(trueText));
    ui->checkBoxExtDesk->setChecked(dualHead && isYes(db::ExtDesk));
    // What the kind always uses shows as used, whatever an older record says.
    const KindLayout& layout = layoutOf(kind);
    QCheckBox* const boxes[optionBoxCount] = { ui->checkBoxViewOnly, ui->checkBoxUSBRedir, ui->checkBoxAudio,
        ui->checkBoxNLANew, ui->checkBoxPersistentConn, ui->checkBoxExtDesk, ui->checkBoxPreEmption };
    for (int i = 0; i < optionBoxCount; ++i)
        if (layout.options[i] == Option::OffSet)
            boxes[i]->setChecked(true);

    if (connection.attribute(db::ConnectionType) == QLatin1String("Shared")) {
        const QSignalBlocker blocker(ui->comboBoxConnType);
        ui->comboBoxConnType->setCurrentIndex(1);
        changeConnectionType(ui->comboBoxConnType->currentText());
    }
}

bool ConnectionForm::refuse(QLineEdit* field, const QString& message)
{
    context.showMessage(QStringLiteral("WARNING"), message);
    field->selectAll();
    field->setFocus();
    return false;
}

bool ConnectionForm::checkFields(const QString& kind, const QString& originalName)
{
    using namespace ForbiddenCharacters;
    const QString generalShown = shown(general);
    const QString invalid = QStringLiteral("Invalid characters are:\n");

    const auto notCarried = [](const char* field) -> QString {
        return QLatin1String(field) + QStringLiteral(" can only contain Latin-1 characters.");
    };

    const QString name = ui->lineEditNewVMName->text();
    if (containsAny(name, general))
        return refuse(ui->lineEditNewVMName,
            QStringLiteral("Connection name cannot contain certain characters. ") + invalid + generalShown);
    switch (nameFault(name)) {
    case NameFault::None:
    case NameFault::Empty: // said before any field is checked
        break;
    case NameFault::Blanks:
        return refuse(ui->lineEditNewVMName,
            QStringLiteral(
                "Connection name cannot begin or end with a blank or contain control characters."));
    case NameFault::NotLatin1:
        return refuse(ui->lineEditNewVMName, notCarried("Connection name"));
    case NameFault::TooLong:
        if (name == originalName) // a longer stored name stays as it is
            break;
        return refuse(
            ui->lineEditNewVMName, QStringLiteral("Connection name cannot be longer than 32 characters."));
    }

    const struct {
        Field field;
        QLineEdit* edit;
        const QStringList& set;
        QString message;
        const char*
            launcherField; // how the field is named when a launcher cannot carry it; null: none gets it
    } checks[] = {
        { Ip, ui->lineEditNewVMIPAddr, general,
            ui->lineEditNewVMIPAddr->text()
                + QStringLiteral("is not a valid IP address or DNS Host name. Invalid characters are:\n")
                + generalShown,
            "IP address or DNS Host name" },
        { User, ui->userNameLineEdit, general,
            QStringLiteral("Username cannot contain certain characters. ") + invalid + generalShown,
            "Username" },
        { Password, ui->lineEditNewVMPassword, password,
            QStringLiteral("Password cannot contain certain characters. ") + invalid + shown(password),
            "Password" },
        { Domain, ui->lineEditNewVMDomain, general,
            QStringLiteral("Domain cannot contain certain characters. ") + invalid + generalShown, "Domain" },
        { LoadBal, ui->lineEditLoadBalNew, general,
            QStringLiteral("Domain cannot contain certain characters. ") + invalid + generalShown, nullptr },
    };
    const int wanted = checkedFields(kind);
    for (const auto& check : checks) {
        if (!(wanted & check.field))
            continue;
        const QString text
            = check.field == Password ? ui->lineEditNewVMPassword->realText() : check.edit->text();
        if (containsAny(text, check.set))
            return refuse(check.edit, check.message);
        if (check.launcherField && !launcherCarries(text))
            return refuse(check.edit, notCarried(check.launcherField));
    }
    return true;
}

ConnectionValues ConnectionForm::typedValues() const
{
    ConnectionValues values;
    values.name = ui->lineEditNewVMName->text();
    values.address = ui->lineEditNewVMIPAddr->text();
    values.port = ui->lineEditNewVMPort->text();
    values.user = ui->userNameLineEdit->text();
    values.password = ui->lineEditNewVMPassword->realText();
    values.domain = ui->lineEditNewVMDomain->text();
    values.loadBalance = ui->lineEditLoadBalNew->text();
    values.shared = ui->comboBoxConnType->currentIndex() == 1;
    values.extendedDesktop = ui->checkBoxExtDesk->isChecked();
    values.usb = ui->checkBoxUSBRedir->isChecked();
    values.audio = ui->checkBoxAudio->isChecked();
    values.nla = ui->checkBoxNLANew->isChecked();
    values.viewOnly = ui->checkBoxViewOnly->isChecked();
    values.persistent = ui->checkBoxPersistentConn->isChecked();
    return values;
}

bool ConnectionForm::save(const QString& originalName)
{
    const QString name = ui->lineEditNewVMName->text();
    if (name.isEmpty()) {
        context.showMessage(
            QStringLiteral("Information"), QStringLiteral("Cannot leave connection name blank."));
        return false;
    }
    if (name != originalName && nameTaken(context.document(), name)) {
        context.showMessage(
            QStringLiteral("Information"), QStringLiteral("Connection with that name already exists."));
        return false;
    }
    const QString kind = ui->comboBoxConnVia->currentText();
    if (!checkFields(kind, originalName))
        return false;

    // A refused write must not leave the connection half-added in memory,
    // where the next try would find its own name taken.
    const ConnectionValues values = typedValues();
    const bool written = context.storage().commitOrUndo(
        [&](QDomDocument& target) {
            storeConnection(target, kind, values, originalName, mode == Mode::Edit);
        },
        DatabaseStorage::ChangeStart::MirrorCopyA);
    if (!written) {
        malvo_syslog(3, "Velmogui: Can not open file: %s", qPrintable(context.storage().databasePath));
        context.showMessage(
            QStringLiteral("Error"), QStringLiteral("The connection could not be saved."));
        return false;
    }
    lastSavedName = name;
    return true;
}

bool ConnectionForm::clickFocused()
{
    QWidget* focused = window()->focusWidget();
    if (auto* box = qobject_cast<QCheckBox*>(focused)) {
        box->click();
        return true;
    }
    if (focused == ui->saveNewConnectionButton || focused == ui->cancelNewConnectionButton) {
        static_cast<QPushButton*>(focused)->click();
        return true;
    }
    return false;
}
