#include "filedialog.h"
#include "ui_filedialog.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

#include "app/osdcontext.h"
#include "app/titleheader.h"
#include "platform/platform.h"
#include "services/device_services.h"

namespace {

const char upgradeTitle[] = "Available Upgrade Files";
const char importTitle[] = "File Import";
const char saveTitle[] = "Save As";

} // namespace

QStringList listPlainFiles(const QString& folder, const QString& filter)
{
    QString pattern = filter;
    if (pattern.startsWith(QLatin1Char('.')))
        pattern.prepend(QLatin1Char('*'));
    QStringList names;
    const QFileInfoList entries
        = QDir(folder).entryInfoList({ pattern }, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isFile() || !isSafeFileName(entry.fileName()))
            continue;
        names << entry.fileName();
    }
    return names;
}

QString defaultSaveName(const QString& extension)
{
    if (extension == QLatin1String(".ccfg"))
        return QStringLiteral("config");
    if (extension == QLatin1String(".txenc"))
        return QStringLiteral("TX_Diagnostics");
    return QStringLiteral("RX_Diagnostics");
}

bool isPackageFileName(const QString& name)
{
    return name.endsWith(QLatin1String(".clu"), Qt::CaseInsensitive);
}

bool isSafeFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

FileDialog::FileDialog(OsdContext& context, const QString& title, const QString& search, const QString& extension)
    : QDialog(context.window())
    , context(context)
    , ui(new Ui::FileDialog)
    , title(title)
    , extension(extension)
    , search(search)
    , directory(context.platform().unitPath(QStringLiteral("/mnt/usb")))
{
    malvo_syslog(6, "### FileDialog Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setWindowTitle(title);
    ui->okButton->setEnabled(true);
    ui->cancelButton->setEnabled(true);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    context.closeOnLogoff(this);

    // Filling the boxes is set-up, not a choice of the user.
    const QSignalBlocker blocker(ui->comboBoxFileExt);
    ui->comboBoxFileExt->addItem(extension.toUpper());
    ui->comboBoxDir->addItem(QStringLiteral("/mnt/usb"));

    QString filter;
    if (isUpgradeMode()) {
        filter = search + QLatin1Char('*') + extension;
        qDebug().noquote() << "Upgrade search string is" << QLatin1Char('"') + filter + QLatin1Char('"');
        ui->comboBoxFileExt->clear();
        ui->comboBoxFileExt->addItem(QStringLiteral("Upgrade Files"));
        for (QWidget* hidden : std::initializer_list<QWidget*> { ui->labelDirectory, ui->comboBoxDir,
                 ui->labelFileName, ui->lineEditFileName, ui->labelFileExt, ui->comboBoxFileExt })
            hidden->hide();
    } else if (isSaveMode()) {
        filter = extension == QLatin1String(".ccfg") ? QLatin1Char('*') + extension : QStringLiteral("*");
        ui->labelFileName->setText(QStringLiteral("File Name:"));
        ui->lineEditFileName->setText(defaultSaveName(extension));
    } else {
        filter = search + extension;
        ui->comboBoxFileExt->addItem(QStringLiteral("All Files (*.*)"));
        for (QWidget* hidden : std::initializer_list<QWidget*> { ui->labelDirectory, ui->comboBoxDir,
                 ui->labelFileName, ui->lineEditFileName })
            hidden->hide();
    }
    listFiles(filter);
    if (isSaveMode())
        ui->lineEditFileName->setFocus();
    malvo_syslog(6, "### FileDialog Constructor End ###\n");
}

FileDialog::~FileDialog()
{
    delete ui;
}

bool FileDialog::isUpgradeMode() const
{
    return title == QLatin1String(upgradeTitle);
}

bool FileDialog::isSaveMode() const
{
    return title == QLatin1String(saveTitle);
}

void FileDialog::listFiles(const QString& filter)
{
    ui->filesTable->clear();
    const QStringList names = listPlainFiles(directory, filter);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, ui->filesTable);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    }
    if (!names.isEmpty())
        ui->filesTable->setCurrentRow(names.size() - 1);
    QString found = QStringLiteral("%1 file(s) found").arg(names.size());
    if (isUpgradeMode())
        found += QStringLiteral(" (Select File for Upgrade)");
    ui->filesFoundLabel->setText(found);
    ui->filesTable->setFocus();
    ui->okButton->setEnabled(isSaveMode() || !names.isEmpty());
}

void FileDialog::on_comboBoxFileExt_currentIndexChanged(const QString& text)
{
    QString filter;
    if (text == QLatin1String("All Files (*.*)"))
        filter = QStringLiteral("*.*");
    else if (text == QLatin1String("Upgrade Files") && !isUpgradeMode())
        filter = QStringLiteral("upgrade");
    else
        filter = text.toLower();
    listFiles(filter);
}

void FileDialog::on_okButton_clicked()
{
    malvo_syslog(6, "FileDialog: Action File Selected.\n");
    QString name;
    if (isSaveMode()) {
        name = ui->lineEditFileName->text() + ui->comboBoxFileExt->currentText().toLower();
    } else if (QListWidgetItem* item = ui->filesTable->currentItem()) {
        name = item->text();
    }
    const QString extensionAlone = ui->comboBoxFileExt->currentText().toLower();
    // An empty name would leave the caller with the bare folder; the user
    // stays here to give one.
    if (name.isEmpty() || name == extensionAlone || (isSaveMode() && ui->lineEditFileName->text().isEmpty())) {
        malvo_syslog(6, "FileDialog: User Nessage: No File Name Specified.\n");
        context.showMessage(QStringLiteral("Warning"), QStringLiteral("No File Name Specified"));
        return;
    }
    if (!isSafeFileName(name)) {
        malvo_syslog(6, "FileDialog: User Nessage: Invalid File Name.\n");
        context.showMessage(QStringLiteral("Warning"),
                                QStringLiteral("The file name must not contain \"/\", \"\\\" or control characters."));
        return;
    }
    context.setSelectedFile(name);
    malvo_syslog(6, "FileDialog: Accept Dialog\n");
    accept();
}

void FileDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (focusWidget() == ui->cancelButton) {
        malvo_syslog(6, "FileDialog: Action Cancel Dialog\n");
        reject();
        return;
    }
    // Return stands for OK only while OK may be pressed.
    if (ui->okButton->isEnabled())
        on_okButton_clicked();
}
