#pragma once
// The transmitter's side of a ConfigData record: setting it up for an
// operation and reading what the service left in it. Every text field is read
// no further than its own size: the service may fill one to the last byte.

#include <QString>
#include <QtGlobal>
#include <memory>

#include "services/device_services.h"

template <size_t N> QString recordText(const char (&field)[N])
{
    return QString::fromLatin1(field, int(qstrnlen(field, uint(N))));
}

// A terminated copy into a field of `size` bytes. A text that does not fit is
// refused (false, field left empty): cut, a path or address names another one.
bool setRecordText(char* field, size_t size, const QString& text);
template <size_t N> bool setRecordText(char (&field)[N], const QString& text)
{
    return setRecordText(field, N, text);
}
// A terminated copy cut to fit, for texts where the tail carries nothing.
void copyRecordText(char* field, size_t size, const QString& text);
template <size_t N> void copyRecordText(char (&field)[N], const QString& text)
{
    copyRecordText(field, N, text);
}

// A zero-filled record with the dialog's defaults, for the transmitter at `address`.
std::unique_ptr<ConfigData> newTxRecord(const QString& address);
void cfgDataDefaults(ConfigData* record, const QString& address);

// The multicast pair a transmitter without a MAC text is assumed to use.
extern const char defaultMulticastAddress[];
extern const char defaultMulticastPort[];

struct TxIdentity {
    QString mac;
    QString mcastPort;
    QString mpn;
    QString serial;
    QString swVersion;
    QString mcastAddr;
};
// An answer without a MAC text gets the default multicast pair, each in its own field.
void fillMulticastDefaults(ConfigData* record);
TxIdentity readTxIdentity(const ConfigData& record);
QString txInformationText(const QString& address, const TxIdentity& identity);

// The network settings as read, white space simplified; a gateway of "eth0" means none.
struct TxNetwork {
    QString ip;
    QString mask;
    QString gateway;
    QString mcastAddr;
};
TxNetwork readTxNetwork(const ConfigData& record);

// What the address search found. The network part is three lines: the mask,
// one not used, and one whose second word is the gateway; "NULL" or a shorter
// answer carries no network part.
struct TxDiscovery {
    QString address;
    QString mask;
    QString gateway;
    bool withNetwork = false;
};
TxDiscovery readTxDiscovery(const ConfigData& record);
QString discoveryMessage(const TxDiscovery& found);
