#include "resolutionpage.h"
#include "ui_pagescreenresolution.h"

#include "app/lazyicon.h"
#include "app/osdcontext.h"
#include "connections/connectiontab.h"
#include "database/databasestorage.h"
#include "database/dbnames.h"
#include "platform/boundedread.h"
#include "platform/platform.h"
#include "rules/displayrules.h"
#include "rules/unitsettings.h"
#include "services/device_services.h"
#include "settings/controlpages.h"

#include <QTimer>

namespace {

const char directfbPath[] = "/usr/local/directfbrc";

QDomElement screenResolution(const QDomDocument& document)
{
    return unitSettingsGroup(document, db::ScreenResolution);
}

} // namespace

ResolutionPage::ResolutionPage(OsdContext& context, std::function<QString()> chosenConnection)
    : QObject(context.window())
    , context(context)
    , chosenConnection(std::move(chosenConnection))
    , ui(new Ui::PageScreenResolution())
{
}

ResolutionPage::~ResolutionPage()
{
    delete ui;
}

void ResolutionPage::build(QWidget* shell)
{
    ui->setupUi(shell);
    ui->applyScResButton->setIcon(lazyIcon(applyPicture));
    ui->applyGUIReslButton_2->setIcon(lazyIcon(applyPicture));
}

void ResolutionPage::setSessionResolutionEditable(bool editable)
{
    for (QWidget* widget : std::initializer_list<QWidget*> { ui->comboBox, ui->applyScResButton })
        widget->setEnabled(editable);
}

void ResolutionPage::showManaged()
{
    setSessionResolutionEditable(false);
    ui->applyGUIReslButton_2->show();
    ui->applyGUIReslButton_2->setEnabled(true);
}

QString ResolutionPage::rxDatabaseSelect(const QString& script, const QString& table, const QString& field)
{
    const ProgramResult result = context.platform().run(script, { QStringLiteral("SELECT"), field, table });
    QByteArray output = result.output.trimmed();
    const int zero = output.indexOf('\0');
    if (zero >= 0)
        output.truncate(zero);
    return QString::fromLatin1(output);
}

bool ResolutionPage::rxDatabaseUpdate(
    const QString& script, const QString& table, const QString& field, const QString& value)
{
    const ProgramResult result
        = context.platform().run(script, { QStringLiteral("UPDATE"), field, table, value });
    return result.started && result.exitCode == 0;
}

QStringList ResolutionPage::displayResolutions()
{
    char table[HAL_RESOLUTION_COUNT][HAL_RESOLUTION_LEN] = {};
    char preferred[HAL_RESOLUTION_LEN] = {};
    if (hal_get_display_resolutions(table, preferred) != 0) {
        malvo_syslog(3, "MainWindow: invalid EDID checksum returned by HAL");
        return standardResolutions();
    }
    QStringList modes;
    for (auto& entry : table) {
        const int length = int(qstrnlen(entry, HAL_RESOLUTION_LEN));
        if (length == 0)
            break;
        modes << QString::fromLatin1(entry, length);
    }
    bool usable = false;
    const QStringList list = monitorResolutions(
        QString::fromLatin1(preferred, int(qstrnlen(preferred, HAL_RESOLUTION_LEN))), modes, &usable);
    if (!usable)
        malvo_syslog(3, "MainWindow: invalid resolutions List returned by HAL");
    return list;
}

QString ResolutionPage::readRdpResolution()
{
    return readUnitSetting(context.document(), UnitSetting::RdpResolution);
}

void ResolutionPage::loadResolutionPage()
{
    fillPage(true);
}

void ResolutionPage::fillPage(bool mayFallBack)
{
    const QString stored = readRdpResolution();
    const QStringList list = sessionResolutions(displayResolutions());
    const QString osd = rxDatabaseSelect(
        QLatin1String(databaseScript), QStringLiteral("System"), QStringLiteral("OSDResolution"));
    ui->comboBox->clear();
    ui->comboBoxGUIRes->clear();
    ui->comboBox->addItems(list);
    ui->comboBox->addItem(QStringLiteral("Auto"));
    ui->comboBoxGUIRes->addItems(osdResolutions());

    bool matched = false;
    for (int i = 0; i < ui->comboBox->count(); ++i) {
        if (!stored.isEmpty() && resolutionOfItem(ui->comboBox->itemText(i)) == stored) {
            ui->comboBox->setCurrentIndex(i);
            matched = true;
        }
    }
    const int osdIndex = ui->comboBoxGUIRes->findText(osd);
    ui->comboBoxGUIRes->setCurrentIndex(osdIndex);
    if (matched || !mayFallBack)
        return;

    context.showWarning(QStringLiteral("Warning"), QStringLiteral("Selected RDP Resolution not supported."));
    ui->comboBox->setCurrentIndex(0);
    // Only a real resolution replaces the stored one, and only where the unit
    // owns its settings; the page is then filled once more, without a second try.
    const QString first = resolutionOfItem(ui->comboBox->itemText(0));
    if (first.isEmpty() || first == QLatin1String("Auto") || context.isManaged()
        || screenResolution(context.document()).isNull())
        return;
    if (storeRdpResolution(first))
        fillPage(false);
}

void ResolutionPage::readOsdModeFile()
{
    QByteArray content;
    if (!readBounded(context.platform().unitPath(QLatin1String(directfbPath)), 64 * 1024, &content)) {
        malvo_syslog(3, "MainWindow: Can not open file for reading: %s", directfbPath);
        return;
    }
    // A mode the OSD does not offer leaves the stored choice shown, and so does
    // "Auto": the file then names the mode Auto chose, not the choice.
    QComboBox* osdChoice = ui->comboBoxGUIRes;
    const QString mode = osdModeFromDirectfb(content);
    if (!mode.isEmpty() && osdChoice->currentText() != QLatin1String("Auto"))
        osdChoice->setCurrentText(mode);
}

bool ResolutionPage::storeRdpResolution(const QString& resolution)
{
    bool applied = false;
    const bool saved = context.storage().commitOrUndo([&](QDomDocument& document) {
        applied = writeUnitSetting(document, UnitSetting::RdpResolution, resolution);
    });
    if (saved && applied)
        return true;
    malvo_syslog(3, "MainWindow: Can not open file: %s", qPrintable(context.storage().databasePath));
    context.showWarning(
        QStringLiteral("Error"), QStringLiteral("The RDP/VMWare Connection Resolution could not be saved."));
    return false;
}

void ResolutionPage::on_applyScResButton_clicked()
{
    malvo_syslog(5, "MainWindow: Action Apply RDP Connection Screen Resolution.\n");
    QString text = ui->comboBox->currentText();
    if (text == QLatin1String("Auto"))
        text = ui->comboBox->itemText(1);
    const QString resolution = resolutionOfItem(text);
    // "Auto" alone names no resolution: nothing is stored, and the person is told.
    if (resolution.isEmpty() || resolution == QLatin1String("Auto")) {
        context.showWarning(
            QStringLiteral("Information"), QStringLiteral("The monitor offers no RDP Resolution to apply."));
        return;
    }
    storeRdpResolution(resolution);
}

void ResolutionPage::on_applyGUIReslButton_2_clicked()
{
    malvo_syslog(5, "MainWindow: Action Apply GUI Resolution.\n");
    // Neither the store nor the mode file named a mode the OSD offers: an
    // empty mode must not reach the store, nor the OSD restart for it.
    if (ui->comboBoxGUIRes->currentIndex() < 0) {
        context.showWarning(
            QStringLiteral("Information"), QStringLiteral("Select an OSD Resolution to apply."));
        return;
    }
    if (!rxDatabaseUpdate(QLatin1String(databaseScript), QStringLiteral("System"),
            QStringLiteral("OSDResolution"), ui->comboBoxGUIRes->currentText())) {
        malvo_syslog(3, "MainWindow: Can not store the OSD resolution %s",
            qPrintable(ui->comboBoxGUIRes->currentText()));
        context.showWarning(
            QStringLiteral("Error"), QStringLiteral("The OSD Resolution could not be changed."));
        return;
    }
    writeSessionRecord(context.platform(), context.loggedInUser(), chosenConnection());
    context.window()->close();
    QTimer::singleShot(3, context.window(), &QWidget::close);
}
