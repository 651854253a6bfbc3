#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class OsdContext;
class QKeyEvent;

namespace Ui {
class FileDialog;
}

// The OSD's own file chooser for the USB memory device. The window title
// picks the mode: choosing an upgrade package, a file to import, or a name to
// save under. The chosen name goes to the context's selected file.
class FileDialog : public QDialog {
    Q_OBJECT

public:
    FileDialog(OsdContext& context, const QString& title, const QString& search, const QString& extension);
    ~FileDialog() override;

    void listFiles(const QString& filter);

public slots:
    void on_okButton_clicked();
    void on_comboBoxFileExt_currentIndexChanged(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool isUpgradeMode() const;
    bool isSaveMode() const;

    OsdContext& context;
    Ui::FileDialog* ui;
    QString title;
    QString extension;
    QString search;
    QString directory;
};

// The plain files (no links, folders or devices) of `folder` matching the
// name filter, in directory order; names a program could misread (control
// characters) are left out. A filter that is only an extension matches names
// ending in it.
QStringList listPlainFiles(const QString& folder, const QString& filter);
// The name "Save As" proposes for an extension.
QString defaultSaveName(const QString& extension);
// A name that may be created on the stick: one path component (no "/", and no
// "\" that a FAT stick or a Windows reader takes for one), not "." or "..",
// no control characters.
bool isSafeFileName(const QString& name);
// An upgrade package's name: ".clu" in any case, as the listings match it.
bool isPackageFileName(const QString& name);
