#pragma once

#include <QDialog>
#include <QStringList>

class OsdContext;
class QComboBox;
class QLabel;

namespace Ui {
class Favorites;
}

// The ten favourite slots of one user: shown read-only to the user as
// "My Favorites", chosen by an administrator as "Assign Favorites" with each
// connection in at most one slot.
class Favorites : public QDialog {
    Q_OBJECT

public:
    static const QString showMode;
    static const QString assignMode;

    // `connections`: the user's selected connections; `stored`: the current
    // table, empty for a new one.
    Favorites(OsdContext& context, QWidget* parent, const QString& mode, const QString& userName,
        const QStringList& connections, const QStringList& stored);
    ~Favorites() override;

    // The table as chosen, ten entries.
    QStringList favoriteSlots() const { return table; }

public slots:
    void on_pushButtonOkFavorites_clicked();
    void on_pushButtonSaveFavorites_clicked();
    void on_pushButtonCancelFavorites_clicked();
    void on_comboBoxF0ConnName_currentIndexChanged(int);
    void on_comboBoxF1ConnName_currentIndexChanged(int);
    void on_comboBoxF2ConnName_currentIndexChanged(int);
    void on_comboBoxF3ConnName_currentIndexChanged(int);
    void on_comboBoxF4ConnName_currentIndexChanged(int);
    void on_comboBoxF5ConnName_currentIndexChanged(int);
    void on_comboBoxF6ConnName_currentIndexChanged(int);
    void on_comboBoxF7ConnName_currentIndexChanged(int);
    void on_comboBoxF8ConnName_currentIndexChanged(int);
    void on_comboBoxF9ConnName_currentIndexChanged(int);

private:
    void choose(int slot);
    void refillCombos();

    Ui::Favorites* ui;
    QStringList pool;
    QStringList table;
    QList<QComboBox*> combos;
    QList<QLabel*> names;
    bool applying = false;
};

// A user's table as the main database file on disk holds it; ten empty slots
// when the file or the user cannot be read.
QStringList loadFavorites(OsdContext& context, const QString& userName);

// What an administrator chose in "Assign Favorites" within one user dialog;
// until something is chosen the stored table counts.
struct FavoriteChoice {
    bool chosen = false;
    QStringList table;
};

// Opens "Assign Favorites" for `userName` over `connections`, starting from
// the choice made before in the same dialog, else from the stored table of an
// existing user; Save keeps the new choice, Cancel the old.
void assignFavorites(OsdContext& context, QWidget* parent, const QString& userName, bool existingUser,
    const QStringList& connections, FavoriteChoice& choice);
