#pragma once
// The rules of the stored connections that need no widget: the kind a record
// is, what each kind stores and checks, taken names, and the references that
// follow a rename.

#include <QDomDocument>
#include <QDomElement>
#include <QString>

namespace ConnectionRules {

extern const char kindTransmitter[];
extern const char kindDirect[];
extern const char kindHorizon[];
extern const char kindPool[];
extern const char kindBroker[];
extern const char kindKvm[];
extern const char kindVnc[];
extern const char kindSsh[];

// Text fields of a connection, as bits.
enum Field { Ip = 1, Port = 2, User = 4, Password = 8, Domain = 16, LoadBal = 32 };
constexpr int allFields = Ip | Port | User | Password | Domain | LoadBal;

// The kind the form shows for a stored connection.
QString connectionKindOf(const QDomElement& connection);
// The fields checked after the name when a connection of `kind` is stored.
int checkedFields(const QString& kind);

// What the form holds when it stores; each kind takes only the values it keeps.
struct ConnectionValues {
    QString name;
    QString address;
    QString port;
    QString user;
    QString password;
    QString domain;
    QString loadBalance;
    bool shared = false;
    bool extendedDesktop = false;
    bool usb = false;
    bool audio = false;
    bool nla = false;
    bool viewOnly = false;
    bool persistent = false;
};

// Whether a connection of the first `Connections` section has exactly that name.
bool nameTaken(const QDomDocument& document, const QString& name);
// Points every reference to a renamed connection at its new name; favourite
// slots and other attributes of the references stay as they were.
void renameReferences(QDomDocument& document, const QString& oldName, const QString& newName);
// Writes `values` as a connection of `kind`: over the one named `originalName`
// where it stands, otherwise as a new one every administrator may use.
// `editing` is the edit dialog's store, which keeps a KVM record's view-only flag.
void storeConnection(QDomDocument& document, const QString& kind, const ConnectionValues& values,
    const QString& originalName, bool editing);

} // namespace ConnectionRules
