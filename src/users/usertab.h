#pragma once

#include <QObject>
#include <QString>

class MainWindow;

// The "Users" tab: the user list and its add, edit and remove actions, the
// automatic log-on choice, one's own password and one's favourites.
class UserTab : public QObject {
    Q_OBJECT

public:
    explicit UserTab(MainWindow* mainWindow);

    void fillUserList();

    void addUser();
    void editUser();
    void removeUser();
    void changeOwnPassword();
    void showMyFavorites();

private:
    bool confirmRemoval(const QString& name);
    // Everything that shows users or the logged-on user's connections.
    void refresh();

    MainWindow* mainWindow;
};
