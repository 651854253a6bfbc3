#pragma once
// The rules of the user records that need no widget: refusals, favourite slots
// and the pieces of a User element the dialogs rebuild.

#include "database/userlookup.h"

#include <QDomElement>
#include <QString>
#include <QStringList>

namespace UserRules {

// The privilege combo's texts, in the order the dialogs offer them.
QStringList privileges();
// The user whose name and privilege never change and who is never removed.
extern const char protectedUser[];
constexpr int favoriteSlotCount = 10;

// The section new users go into.
QDomElement usersSection(const QDomDocument& document);
// The one look-up of users, over every section.
using db::allUsers;
using db::findUser;
QStringList userNames(const QDomDocument& document);

// The slot a stored `Favorite` value names, or -1: only ASCII digits, whose
// value is below ten ("07" is slot 7, "99999999999" is none).
int favoriteSlot(const QString& value);
// Ten names, index = slot, empty = free; a later association overwrites an
// earlier one in the same slot.
QStringList favoritesOf(const QDomElement& user);
// Slots naming a connection outside `connections` are freed; always ten entries.
QStringList keepSelected(const QStringList& table, const QStringList& connections);
// Each association gets the first slot naming it that no earlier association
// took, or loses its `Favorite`: two associations of one connection keep two slots.
void storeFavorites(QDomElement user, const QStringList& table);

// Why `name` cannot be a user's name (empty when it can): it must come back
// the same from a restart and reach the unit's services as it is.
QString nameRefusal(const QString& name);
// The text of the refusal, or empty when the new user may be stored.
QString newUserRefusal(
    const QDomDocument& document, const QString& name, const QString& password, const QString& confirmation);
// The same for renaming `oldName` to `newName`; the duplicate text tells
// whether the other user comes before or after the edited one.
QString editRefusal(const QDomDocument& document, const QString& oldName, const QString& newName);
// `confirmer` is the person logged on, who confirms with their own password;
// an empty one never confirms, even where nothing is stored.
QString passwordRefusal(const QDomElement& confirmer, const QString& typedPassword,
    const QString& newPassword, const QString& confirmation);
QString removalRefusal(const QString& name, const QString& loggedOnUser);

// Safe mode is for administrators alone, however the name was vouched for.
bool admittedInSafeMode(const QDomElement& user);

// What the unit's own users make of a log-on. Only the directory can decide
// for a name unknown here or for a directory user (outside safe mode), and
// safe mode lets administrators alone in, whatever their directory flag.
enum class LocalLogon { Accepted, Refused, AskDirectory, SafeModeWrongPassword, SafeModeNotAdministrator };
LocalLogon localLogon(
    const QDomDocument& document, const QString& name, const QString& password, bool safeMode);

// Makes the associations of `user` those of `connections`, in that order, and
// its automatic connection `autoConnect`. An association that stays keeps its
// element with every attribute; every other child stays as it was.
void setConnections(QDomElement user, const QStringList& connections, const QString& autoConnect);
QStringList connectionsOf(const QDomElement& user);
QString autoConnectOf(const QDomElement& user);

} // namespace UserRules
