// The OSD's file chooser on the USB folder: what each mode lists and shows,
// and when OK, Return and Cancel hand a name back.
#include "app/mainwindow.h"
#include "database.h"
#include "modal.h"
#include "testmain.h"
#include "testunit.h"
#include "upgrade/filedialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {

// The parts of the form a mode may hide, in its order.
const QStringList parts { "labelDirectory", "comboBoxDir", "filesTable", "labelFileName", "lineEditFileName",
    "labelFileExt", "comboBoxFileExt" };

void fillStick(TestUnit& unit)
{
    for (const char* name : { "/mnt/usb/RXU4200_V3.1.0.clu", "/mnt/usb/TXU4200_V1.0.clu", "/mnt/usb/config.ccfg",
                              "/mnt/usb/notes.txt" })
        QVERIFY(unit.writeFile(QLatin1String(name), "x"));
    QVERIFY(QDir().mkpath(unit.path(QStringLiteral("/mnt/usb/RXU4200_dir.clu"))));
    QVERIFY(QFile::link(unit.path(QStringLiteral("/mnt/usb/notes.txt")), unit.path(QStringLiteral("/mnt/usb/RXU4200_link.clu"))));
}

} // namespace

class TestFileDialog : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeLeftoverModals(); }
    void modes_data();
    void modes();
    void answers_data();
    void answers();
};

void TestFileDialog::modes_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("emptyStick");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("found");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("widgets");

    const QStringList listOnly { "filesTable" };
    const QStringList all { "RXU4200_V3.1.0.clu", "TXU4200_V1.0.clu", "config.ccfg", "notes.txt" };
    const QString upgrade = QStringLiteral("Available Upgrade Files");
    // clang-format off
    QTest::newRow("upgrade packages of the prefix") << upgrade << "RXU4200" << ".clu" << false
        << QStringList { "RXU4200_V3.1.0.clu" } << "1 file(s) found (Select File for Upgrade)" << true << "" << listOnly;
    QTest::newRow("upgrade, none for the prefix") << upgrade << "ZZZ" << ".clu" << false << QStringList()
        << "0 file(s) found (Select File for Upgrade)" << false << "" << listOnly;
    QTest::newRow("import") << "File Import" << "" << ".ccfg" << false << QStringList { "config.ccfg" } << "1 file(s) found"
        << true << "" << QStringList { "filesTable", "labelFileExt", "comboBoxFileExt" };
    QTest::newRow("import, all files") << "File Import" << "" << "All Files (*.*)" << false << all << "4 file(s) found"
        << true << "" << QStringList { "filesTable", "labelFileExt", "comboBoxFileExt" };
    QTest::newRow("save settings") << "Save As" << "" << ".ccfg" << false << QStringList { "config.ccfg" }
        << "1 file(s) found" << true << "config" << parts;
    QTest::newRow("save receiver diagnostics") << "Save As" << "*" << ".rxenc" << false << all << "4 file(s) found" << true
        << "RX_Diagnostics" << parts;
    QTest::newRow("save on an empty stick") << "Save As" << "*" << ".txenc" << true << QStringList() << "0 file(s) found"
        << true << "TX_Diagnostics" << parts;
    // clang-format on
}

void TestFileDialog::modes()
{
    QFETCH(QString, title);
    QFETCH(QString, search);
    QFETCH(QString, extension);
    QFETCH(bool, emptyStick);
    OsdWindow osd(databaseWithUsers());
    if (!emptyStick)
        fillStick(osd.unit);
    // "All Files" is the user's later choice in the dialog, not an extension it is opened with.
    const bool allFiles = extension.startsWith(QLatin1String("All"));
    FileDialog dialog(osd.window->context(), title, search, allFiles ? QStringLiteral(".ccfg") : extension);
    if (allFiles)
        dialog.findChild<QComboBox*>(QStringLiteral("comboBoxFileExt"))->setCurrentText(extension);
    QCOMPARE(dialog.windowTitle(), title);
    QStringList files, shown;
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("filesTable"));
    for (int i = 0; i < list->count(); ++i)
        files << list->item(i)->text();
    files.sort();
    QTEST(files, "files");
    QTEST(dialog.findChild<QLabel*>(QStringLiteral("filesFoundLabel"))->text(), "found");
    QTEST(dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled(), "okEnabled");
    QTEST(dialog.findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->text(), "name");
    for (const QString& name : parts)
        if (!dialog.findChild<QWidget*>(name)->isHidden())
            shown << name;
    QTEST(shown, "widgets");
    QVERIFY(osd.unit.hasLog(6, QStringLiteral("### FileDialog Constructor End ###\n")));
}

void TestFileDialog::answers_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("typed"); // "-" leaves the proposed name
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result"); // -1: still open
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("warning");

    const QString noName = QStringLiteral("No File Name Specified");
    const QString badName = QStringLiteral("The file name must not contain \"/\", \"\\\" or control characters.");
    // clang-format off
    QTest::newRow("proposed name keeps its extension") << "Save As" << ".txenc" << "-" << "ok" << 1 << "TX_Diagnostics.txenc" << "";
    QTest::newRow("typed name by Return") << "Save As" << ".rxenc" << "unit7" << "return" << 1 << "unit7.rxenc" << "";
    QTest::newRow("empty name stays open") << "Save As" << ".rxenc" << "" << "ok" << -1 << "" << noName;
    QTest::newRow("a folder in the name") << "Save As" << ".rxenc" << "../perm/x" << "ok" << -1 << "" << badName;
    QTest::newRow("a backslash in the name") << "Save As" << ".ccfg" << "..\\perm" << "ok" << -1 << "" << badName;
    QTest::newRow("a control character") << "Save As" << ".rxenc" << "a\tb" << "return" << -1 << "" << badName;
    QTest::newRow("package chosen by Return") << "Available Upgrade Files" << ".clu" << "-" << "return" << 1 << "RXU4200_V3.1.0.clu" << "";
    QTest::newRow("Return while OK is disabled") << "Available Upgrade Files" << ".none" << "-" << "return" << -1 << "" << "";
    QTest::newRow("Return on Cancel") << "Save As" << ".rxenc" << "-" << "return on cancel" << 0 << "" << "";
    QTest::newRow("closed for inactivity") << "Save As" << ".rxenc" << "-" << "inactivity" << 0 << "" << "";
    // clang-format on
}

void TestFileDialog::answers()
{
    QFETCH(QString, title);
    QFETCH(QString, extension);
    QFETCH(QString, typed);
    QFETCH(QString, action);
    OsdWindow osd(databaseWithUsers());
    fillStick(osd.unit);
    osd.window->context().setSelectedFile(QString());
    FileDialog dialog(osd.window->context(), title, QStringLiteral("RXU4200"), extension);
    dialog.show();
    if (typed != QLatin1String("-"))
        dialog.findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->setText(typed);
    int finished = -1;
    connect(&dialog, &QDialog::finished, [&](int code) { finished = code; });
    QTEST(answerAfter(QStringLiteral("Warning"), [&] {
        if (action == QLatin1String("ok"))
            dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        else if (action == QLatin1String("inactivity"))
            emit osd.window->closeActiveDialogs();
        else {
            if (action == QLatin1String("return on cancel"))
                dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"))->setFocus();
            QTest::keyClick(&dialog, Qt::Key_Return);
        }
    }), "warning");
    QTEST(finished, "result");
    QTEST(osd.window->context().selectedFile(), "chosen");
    if (action == QLatin1String("return on cancel"))
        QVERIFY(osd.unit.hasLog(6, QStringLiteral("FileDialog: Action Cancel Dialog\n")));
}

VELMO_TEST_MAIN(TestFileDialog)
#include "test_filedialog.moc"
