#pragma once
// The export file and the rules of an import, with no widget or unit in sight:
// the unit's export and import and the velmo-config tool share them, so a file
// one of them writes is a file the other reads, and a file the tool passes is a
// file the unit takes.

#include <QByteArray>
#include <QDomDocument>
#include <QString>
#include <QStringList>

namespace ConfigTransfer {

// A configuration is a few hundred KiB; an import file far beyond it is not one.
constexpr qint64 maxImportFileBytes = 32 * 1024 * 1024;

// The refusals of an import, as the unit shows them.
extern const char corruptedText[];
extern const char structureText[];

// The export file of a database document: its text with one space of
// indentation, enciphered with the export key, as Base64 text. Empty when the
// document has no text that reads back as itself.
QByteArray exportFileText(const QDomDocument& document);
// The export file of a document text exactly as given.
QByteArray exportFileOfText(const QByteArray& documentText);
// The document text inside an export file; empty when the file is none
// (too large, not Base64, wrong key, damaged).
QByteArray documentTextOf(const QByteArray& exportFile);

// The unit's own network, as its current document holds it.
struct UnitNetwork {
    QString dhcpChecked;
    QString staticChecked;
    QString address;
    QString mask;
    QString gateway;
    QString dns1;
    QString dns2;
};
UnitNetwork unitNetworkOf(const QDomDocument& document);

// What the unit does with its network after an import.
enum class NetworkChoice {
    Keep, // the file chooses what the unit has
    Dhcp, // switch to DHCP
    Static, // switch to the unit's own static addresses
    StaticRefused, // the file chooses static, but the unit's addresses are not a valid set
};

struct ImportPlan {
    QString refusal; // the unit's message; empty when the file is taken
    QDomDocument document; // to store, on an unmanaged unit
    // For the GUI settings file: line breaks and tabs removed; a power mode
    // other than "Auto"/"Manual" is replaced by the current one.
    QString autoLoginUser;
    QString rememberedUser;
    QString powerMode;
    NetworkChoice network = NetworkChoice::Keep;
    QStringList users;
    QStringList connections; // kept
    QStringList droppedPools; // transmitter pools an unmanaged unit must not carry
    int droppedReceivers = 0;
    int droppedTransmitters = 0;
    bool refused() const { return !refusal.isEmpty(); }
};

// Judges an import's document text and prepares what the unit stores: the
// unit keeps its own static addresses (`unit`), and an unmanaged unit drops
// the device records and the transmitter pools.
ImportPlan planImport(const QByteArray& documentText, const UnitNetwork& unit, bool unitManaged,
    const QString& currentPowerMode);

// What an import of the plan keeps and drops, one fact per line.
QString describePlan(const ImportPlan& plan);

} // namespace ConfigTransfer
