#pragma once

#include <QObject>
#include <QString>

class OsdContext;
class QListWidgetItem;
class QWidget;

namespace Ui {
class PageUsers;
}

// The "Users" tab: the user list and its add, edit and remove actions, one's
// own password and one's favourites. A change of the users is told by the
// context's usersChanged.
class UserTab : public QObject {
    Q_OBJECT

public:
    UserTab(OsdContext& context, QObject* parent);
    ~UserTab() override;

    // Sets the tab's widgets up in `shell` when the tab is first needed.
    void build(QWidget* shell);
    void fillUserList();
    // The add, edit and remove buttons, as the unit's management and the
    // privilege allow.
    void setActionsEnabled(bool enabled);

    void addUser();
    void editUser();
    void removeUser();
    void changeOwnPassword();
    void showMyFavorites();

signals:
    // The person logged on was renamed: the window shows and records the new name.
    void loggedOnUserRenamed(const QString& newName);

private:
    bool confirmRemoval(const QString& name);
    // The list, then everything else that shows users.
    void refresh();
    // Adding needs room, editing and removing a user.
    void updateActions();
    // The user chosen in the list; none before the tab is built.
    const QListWidgetItem* currentItem() const;

    OsdContext& context;
    // Null until the tab is built.
    Ui::PageUsers* ui = nullptr;
};
