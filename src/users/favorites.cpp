#include "favorites.h"

#include "app/titleheader.h"
#include "ui_favorites.h"

#include "app/osdcontext.h"
#include "database/databasestorage.h"
#include "platform/boundedread.h"
#include "platform/platform.h"
#include "rules/userrules.h"
#include "services/device_services.h"

#include <QDomDocument>

namespace {

constexpr qint64 maxDatabaseBytes = 16 * 1024 * 1024;

} // namespace

const QString Favorites::showMode = QStringLiteral("My Favorites");
const QString Favorites::assignMode = QStringLiteral("Assign Favorites");

QStringList loadFavorites(OsdContext& context, const QString& userName)
{
    QByteArray content;
    bool truncated = false;
    QDomDocument document;
    const QString path = context.platform().unitPath(context.storage().databasePath);
    if (readBounded(path, maxDatabaseBytes, &content, &truncated) && !truncated)
        document.setContent(content);
    return UserRules::favoritesOf(UserRules::findUser(document, userName));
}

Favorites::Favorites(OsdContext& context, QWidget* parent, const QString& mode, const QString& userName,
    const QStringList& connections, const QStringList& stored)
    : QDialog(parent)
    , ui(new Ui::Favorites)
{
    malvo_syslog(5, "### Favorites Constructor Start ###\n");
    ui->setupUi(this);
    TitleHeader::attach(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(mode);
    if (!userName.isEmpty())
        ui->groupBoxFavorites->setTitle(QStringLiteral("Favorites of ") + userName);
    for (int slot = 0; slot < UserRules::favoriteSlotCount; ++slot) {
        combos << findChild<QComboBox*>(QStringLiteral("comboBoxF%1ConnName").arg(slot));
        names << findChild<QLabel*>(QStringLiteral("labelF%1ConnName").arg(slot));
    }

    const bool assigning = mode == assignMode;
    // A slot may only hold one of the connections the user is given now.
    table = UserRules::keepSelected(stored, assigning ? connections : stored);
    for (const QString& name : connections)
        if (!table.contains(name) && !pool.contains(name))
            pool << name;
    for (int slot = 0; slot < UserRules::favoriteSlotCount; ++slot) {
        combos[slot]->setVisible(assigning);
        names[slot]->setVisible(!assigning);
        names[slot]->setText(table[slot]);
    }
    ui->pushButtonOkFavorites->setVisible(!assigning);
    ui->pushButtonSaveFavorites->setVisible(assigning);
    ui->pushButtonCancelFavorites->setVisible(assigning);
    if (assigning)
        refillCombos();

    context.closeOnLogoff(this);
    malvo_syslog(5, "### Favorites Constructor End ###\n");
}

Favorites::~Favorites()
{
    delete ui;
}

void Favorites::refillCombos()
{
    applying = true;
    QStringList offered = pool;
    offered.sort();
    for (int slot = 0; slot < UserRules::favoriteSlotCount; ++slot) {
        QComboBox* combo = combos[slot];
        combo->clear();
        combo->addItem(QString());
        if (!table[slot].isEmpty())
            combo->addItem(table[slot]);
        combo->addItems(offered);
        combo->setCurrentIndex(table[slot].isEmpty() ? 0 : 1);
    }
    applying = false;
}

void Favorites::choose(int slot)
{
    // Refilling the combos changes their index too; only a person's choice counts.
    if (applying)
        return;
    const QString chosen = combos[slot]->currentText();
    const QString previous = table[slot];
    if (chosen == previous)
        return;
    if (!previous.isEmpty())
        pool << previous;
    pool.removeAll(chosen);
    table[slot] = chosen;
    refillCombos();
    combos[slot]->setFocus();
}

void Favorites::on_pushButtonOkFavorites_clicked()
{
    malvo_syslog(5, "Favorites: Action Ok.\n");
    accept();
}

void Favorites::on_pushButtonSaveFavorites_clicked()
{
    malvo_syslog(5, "Favorites: Action Save Favorites.\n");
    accept();
}

void Favorites::on_pushButtonCancelFavorites_clicked()
{
    malvo_syslog(5, "Favorites: Action Cancel.\n");
    reject();
}

void Favorites::on_comboBoxF0ConnName_currentIndexChanged(int)
{
    choose(0);
}
void Favorites::on_comboBoxF1ConnName_currentIndexChanged(int)
{
    choose(1);
}
void Favorites::on_comboBoxF2ConnName_currentIndexChanged(int)
{
    choose(2);
}
void Favorites::on_comboBoxF3ConnName_currentIndexChanged(int)
{
    choose(3);
}
void Favorites::on_comboBoxF4ConnName_currentIndexChanged(int)
{
    choose(4);
}
void Favorites::on_comboBoxF5ConnName_currentIndexChanged(int)
{
    choose(5);
}
void Favorites::on_comboBoxF6ConnName_currentIndexChanged(int)
{
    choose(6);
}
void Favorites::on_comboBoxF7ConnName_currentIndexChanged(int)
{
    choose(7);
}
void Favorites::on_comboBoxF8ConnName_currentIndexChanged(int)
{
    choose(8);
}
void Favorites::on_comboBoxF9ConnName_currentIndexChanged(int)
{
    choose(9);
}

void assignFavorites(OsdContext& context, QWidget* parent, const QString& userName, bool existingUser,
    const QStringList& connections, FavoriteChoice& choice)
{
    const QStringList current = choice.chosen ? choice.table
        : existingUser                        ? loadFavorites(context, userName)
                                              : QStringList();
    Favorites dialog(context, parent, Favorites::assignMode, userName, connections, current);
    if (dialog.exec() != QDialog::Accepted)
        return;
    choice.chosen = true;
    choice.table = dialog.favoriteSlots();
}
